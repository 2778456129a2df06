#pragma once
// The start command: the checks before a batch, the output folder, the confirmation summary
// and the start of the batch. The desktop window (SpeedButton6Click) and `orva-cli batch`
// drive the same function through StartCommandHost. Runs on the user-interface thread.

#include "batch/file_list.h"
#include "settings/settings.h"

#include <optional>
#include <string>
#include <vector>

namespace orva {

/// The two texts of the in-process encoder that the summary shows.
struct GogoEncoderInfo {
    std::string VersionString;  ///< empty when the library's version call failed
    std::string DLLPath;
};

/// What the start command needs from its front end.
class StartCommandHost {
public:
    virtual ~StartCommandHost() = default;
    /// Stops a playing entry (SpeedButton3Click).
    virtual void StopPlayback() = 0;
    /// The "ORVA Process" box (exclamation icon, OK); blocks until dismissed.
    virtual void ShowProcessMessage(const std::string& text) = 0;
    /// Reads VersionString and DLLPath of the encoder component; throws (any exception)
    /// when the encoder library is not loaded.
    virtual GogoEncoderInfo ReadGogoEncoderInfo() = 0;
    /// The folder chooser, opened at `initialFolder`: the chosen folder's path, or nothing.
    virtual std::optional<std::string> ChooseFolder(const std::string& initialFolder) = 0;
    /// Shows the summary (cleared first, black text, one entry per line) in the confirmation
    /// dialog and returns ConfirmAnswer: 1 OK, -1 Cancel, 0 closed otherwise.
    virtual int ShowConfirmation(const std::vector<std::string>& lines) = 0;
    /// Runs the batch over the list with `outputDirectory` (the progress dialog, modal).
    virtual void RunBatch(const std::string& outputDirectory) = 0;
};

/// How a start command ended.
enum class StartOutcome {
    Refused,       ///< a check failed and its message was shown
    NoFolder,      ///< the folder chooser returned nothing
    NotConfirmed,  ///< the confirmation ended without OK
    BatchRun,      ///< RunBatch was called
};

/// The fields of the main window that the start command writes.
struct StartCommandFields {
    std::string OutputDirectory;  ///< ends with "/"
    int ConfirmAnswer = 0;
};

/// Message texts of the start command.
inline constexpr const char* NoFilesText = "処理可能なファイルがありません。";
inline constexpr const char* MixedBitsText =
    "音量の一括取得時には、異なるビットレートの\nファイルを同時に処理できません。";
inline constexpr const char* OverlapText = "変換前と変換後のﾃﾞｨﾚｸﾄﾘが重なっています。";
inline constexpr const char* GogoMissingText = "外部エンコーダが見つかりません。\n [GOGO.DLL]";
/// Title of the folder chooser.
inline constexpr const char* ChooseFolderTitle =
    "正規化したファイルを保存するディレクトリを選択してください。";

/// The start command, steps in order: stop playback, remove unsupported rows, refuse an
/// empty list, force PeakMode and SourceFileAction to 0 when ResampleRate is on, refuse
/// mixed sample widths in the common-peak mode, check the encoder, choose the output folder
/// (again after an overlap), confirm, run. Changes `settings` as described there.
StartOutcome SpeedButton6Click(FileListModel& list, Settings& settings, StartCommandHost& host,
                               StartCommandFields& fields);

/// The folder chooser step: the chosen path or empty; remembers it in FixedOutputDir when
/// OutputDirMode is 0.
std::string BrowseOutputFolder(Settings& settings, StartCommandHost& host);

/// The output folder for a chosen path: the path with "/" appended unless it ends with one.
std::string OutputDirectoryFor(const std::string& chosenPath);

/// The confirmation summary, one string per line ("" for an empty line).
std::vector<std::string> BuildSummaryLines(const Settings& settings, int fileCount,
                                           const std::string& outputDirectory, const GogoEncoderInfo& gogo);

}  // namespace orva
