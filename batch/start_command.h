#pragma once
// The start command: the checks before a batch, the output folder, the confirmation summary
// and the start of the batch. The desktop window (its SpeedButton6Click) and `orva-cli batch`
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

/// What a check of the start command found, for the front end to word.
enum class StartFinding {
    NoFiles,         ///< no supported file is left in the list
    MixedBits,       ///< the common-peak mode got files of different sample widths
    EncoderMissing,  ///< the external encoder program (its path given) does not exist
    GogoMissing,     ///< the encoder library is not loaded
    Overlap,         ///< the output folder is a source folder while sources stay in place
};

/// What the confirmation summary shows.
struct StartSummary {
    Settings settings;
    int fileCount = 0;
    std::string outputDirectory;
    GogoEncoderInfo gogo;
};

/// What the start command needs from its front end.
class StartCommandHost {
public:
    virtual ~StartCommandHost() = default;
    /// Stops a playing entry (SpeedButton3Click).
    virtual void StopPlayback() = 0;
    /// Shows a finding in the "ORVA Process" box (exclamation icon, OK); blocks until
    /// dismissed. `path` is the encoder's for EncoderMissing, else empty.
    virtual void ReportFinding(StartFinding finding, const std::string& path) = 0;
    /// Reads VersionString and DLLPath of the encoder component; throws (any exception)
    /// when the encoder library is not loaded.
    virtual GogoEncoderInfo ReadGogoEncoderInfo() = 0;
    /// The folder chooser, opened at `initialFolder`: the chosen folder's path, or nothing.
    virtual std::optional<std::string> ChooseFolder(const std::string& initialFolder) = 0;
    /// Shows the summary (cleared first, black text, one entry per line) in the confirmation
    /// dialog and returns ConfirmAnswer: 1 OK, -1 Cancel, 0 closed otherwise.
    virtual int ShowConfirmation(const StartSummary& summary) = 0;
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

/// The start command, steps in order: stop playback, remove unsupported rows, refuse an
/// empty list, force PeakMode and SourceFileAction to 0 when ResampleRate is on, refuse
/// mixed sample widths in the common-peak mode, check the encoder, choose the output folder
/// (again after an overlap), confirm, run. Changes `settings` as described there.
StartOutcome RunStartCommand(FileListModel& list, Settings& settings, StartCommandHost& host,
                             StartCommandFields& fields);

/// The folder chooser step: the chosen path or empty; remembers it in FixedOutputDir when
/// OutputDirMode is 0.
std::string BrowseOutputFolder(Settings& settings, StartCommandHost& host);

/// The output folder for a chosen path: the path with "/" appended unless it ends with one.
std::string OutputDirectoryFor(const std::string& chosenPath);

}  // namespace orva
