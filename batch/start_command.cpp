#include "batch/start_command.h"

#include "batch/file_ops.h"
#include "core/byte_io.h"

namespace orva {
namespace {

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

StartOutcome RunStartCommand(FileListModel& list, Settings& settings, StartCommandHost& host,
                             StartCommandFields& fields)
{
    host.StopPlayback();
    list.RemoveUnsupportedFiles();
    const int fileCount = list.Count();
    if (fileCount == 0) {
        host.ReportFinding(StartFinding::NoFiles, {});
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
                host.ReportFinding(StartFinding::MixedBits, {});
                return StartOutcome::Refused;
            }
        }
    }
    GogoEncoderInfo gogo;
    if (settings.Mp3Bitrate != 0) {
        if (settings.EncoderKind == 1) {
            if (!RegularFileExists(settings.EncoderPath)) {
                host.ReportFinding(StartFinding::EncoderMissing, settings.EncoderPath);
                return StartOutcome::Refused;
            }
        } else {
            try {
                gogo = host.ReadGogoEncoderInfo();
            } catch (...) {
                host.ReportFinding(StartFinding::GogoMissing, {});
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
            host.ReportFinding(StartFinding::Overlap, {});
            continue;
        }
        break;
    }
    fields.ConfirmAnswer = 0;
    fields.ConfirmAnswer = host.ShowConfirmation({ settings, fileCount, fields.OutputDirectory, gogo });
    if (fields.ConfirmAnswer != 1)
        return StartOutcome::NotConfirmed;
    host.RunBatch(fields.OutputDirectory);
    return StartOutcome::BatchRun;
}

}  // namespace orva
