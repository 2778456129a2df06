#include "batch/start_command.h"

#include "batch/file_ops.h"
#include "core/byte_io.h"

namespace orva {
namespace {

const char* const kOutputModeNames[] = { "ステレオ", "ジョイントステレオ", "ミッドサイドステレオ",
                                         "強制モノラル" };

/// True when the output folder is the folder of a row: the same text, or another spelling
/// of the same folder (a link, "." or ".." parts), which would let outputs overwrite sources.
bool OverlapsSourceFolder(const std::string& outputDirectory, const FileListModel& list)
{
    for (const FileEntry& entry : list.Entries()) {
        if (outputDirectory == entry.Directory() || IsSameFile(outputDirectory, entry.Directory()))
            return true;
    }
    return false;
}

}  // namespace

std::string OutputDirectoryFor(const std::string& chosenPath)
{
    if (!chosenPath.empty() && chosenPath.back() == '/')
        return chosenPath;
    return chosenPath + "/";
}

std::string BrowseOutputFolder(Settings& settings, StartCommandHost& host)
{
    const std::optional<std::string> chosen = host.ChooseFolder(settings.FixedOutputDir);
    if (!chosen || chosen->empty())
        return {};
    if (settings.OutputDirMode == 0)
        settings.FixedOutputDir = *chosen;
    return *chosen;
}

StartOutcome SpeedButton6Click(FileListModel& list, Settings& settings, StartCommandHost& host,
                               StartCommandFields& fields)
{
    host.StopPlayback();
    list.RemoveUnsupportedFiles();
    const int fileCount = list.Count();
    if (fileCount == 0) {
        host.ShowProcessMessage(NoFilesText);
        return StartOutcome::Refused;
    }
    if (settings.ResampleRate > 0) {
        settings.SourceFileAction = 0;
        settings.PeakMode = 0;
    }
    if (settings.PeakMode == 1) {
        // Peaks compare only within one sample format (s32 and f32 share 32 bits; 24 valid
        // bits may sit in 24- or 32-bit containers).
        const FileEntry& first = list.Entries().front();
        for (const FileEntry& entry : list.Entries()) {
            if (entry.subItems[BitsCell] != first.subItems[BitsCell]
                || entry.sampleFormat != first.sampleFormat) {
                host.ShowProcessMessage(MixedBitsText);
                return StartOutcome::Refused;
            }
        }
    }
    GogoEncoderInfo gogo;
    if (settings.Mp3Bitrate != 0) {
        if (settings.EncoderKind == 1) {
            if (!RegularFileExists(settings.EncoderPath)) {
                host.ShowProcessMessage("外部エンコーダが見つかりません。\n [" + settings.EncoderPath + "]");
                return StartOutcome::Refused;
            }
        } else {
            try {
                gogo = host.ReadGogoEncoderInfo();
            } catch (...) {
                host.ShowProcessMessage(GogoMissingText);
                return StartOutcome::Refused;
            }
        }
    }
    for (;;) {
        const std::string chosen = BrowseOutputFolder(settings, host);
        if (chosen.empty())
            return StartOutcome::NoFolder;
        fields.OutputDirectory = OutputDirectoryFor(chosen);
        if (settings.SourceFileAction == 0 && OverlapsSourceFolder(fields.OutputDirectory, list)) {
            host.ShowProcessMessage(OverlapText);
            continue;
        }
        break;
    }
    const std::vector<std::string> lines =
        BuildSummaryLines(settings, fileCount, fields.OutputDirectory, gogo);
    fields.ConfirmAnswer = 0;
    fields.ConfirmAnswer = host.ShowConfirmation(lines);
    if (fields.ConfirmAnswer != 1)
        return StartOutcome::NotConfirmed;
    host.RunBatch(fields.OutputDirectory);
    return StartOutcome::BatchRun;
}

std::vector<std::string> BuildSummaryLines(const Settings& settings, int fileCount,
                                           const std::string& outputDirectory, const GogoEncoderInfo& gogo)
{
    const std::string rule(41, '-');
    std::vector<std::string> lines;
    lines.push_back(rule);
    lines.push_back("         ORVA 変換オプション");
    lines.push_back(rule);
    lines.push_back("変換するファイル数： " + std::to_string(fileCount) + " 個");
    lines.push_back("保存先ディレクトリ：" + outputDirectory);
    lines.push_back(settings.PeakMode == 0 ? "ピーク取得方法　　：ファイルごと"
                                           : "ピーク取得方法　　：全ファイルから一括取得");
    lines.push_back("");

    // An encoder kind other than the two known ones makes no MP3 file, so it shows as none.
    const bool encodes = settings.Mp3Bitrate != 0 && (settings.EncoderKind == 0 || settings.EncoderKind == 1);
    if (!encodes) {
        lines.push_back("外部エンコーダ：なし");
    } else {
        if (settings.EncoderKind == 0) {
            lines.push_back("外部エンコーダ：午後のこ～だ(" + gogo.VersionString + ")");
            lines.push_back("　実行ファイル：" + gogo.DLLPath);
        } else {
            lines.push_back("外部エンコーダ：SCMPX");
            lines.push_back("　実行ファイル：" + settings.EncoderPath);
        }
        const int bitrate = settings.OutputMode == 3 ? settings.Mp3Bitrate / 2 : settings.Mp3Bitrate;
        lines.push_back("　ビットレート：" + std::to_string(bitrate) + " kbps/sec");
        const bool knownMode = settings.OutputMode >= 0 && settings.OutputMode <= 3;
        lines.push_back(std::string("　出力モード　：")
                        + (knownMode ? kOutputModeNames[settings.OutputMode] : ""));
        lines.push_back(settings.EncoderKind == 0 && settings.UsePsy != 0
                            ? "　オプション　：心理音響モデル演算"
                            : "　オプション　：なし");
        lines.push_back("");
        lines.push_back("※外部エンコーダの種類と実行ファイルの種別が");
        lines.push_back("　同一であることを、必ず確認してください。");
        lines.push_back("　違う場合、エンコード時にエラーになります。");
    }
    lines.push_back("");
    lines.push_back(settings.ResampleRate > 0
                        ? "サンプリングレート変換： " + std::to_string(settings.ResampleRate) + " Hz"
                        : std::string("サンプリングレート変換：なし"));
    if (settings.SstpEnabled > 0)
        lines.push_back("ＳＳＴＰ：有効");
    lines.push_back("");
    if (settings.SourceFileAction == 1) {
        lines.push_back("※リネームオプションが指定されています。");
        lines.push_back("　変換前のファイル名はリネームされます。");
    } else if (settings.SourceFileAction == 2) {
        lines.push_back("※削除オプションが指定されています。");
        lines.push_back("　ORVAが変換を失敗した場合、ファイルを復活させる");
        lines.push_back("　ことはできません。");
        lines.push_back("　十分なテストを行うまでは使用しないで下さい。");
    }
    return lines;
}

}  // namespace orva
