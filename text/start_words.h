#pragma once
// The words of the start command: its findings and the confirmation summary, in the process
// language. Shared by the desktop window, orva-cli and the tests that pin the texts.

#include "batch/start_command.h"
#include "settings/settings.h"

#include <string>
#include <vector>

namespace orva {

/// The message of a finding ("処理可能なファイルがありません。").
std::string FindingText(StartFinding finding, const std::string& path);

/// The confirmation summary, one string per line ("" for an empty line).
std::vector<std::string> BuildSummaryLines(const Settings& settings, int fileCount,
                                           const std::string& outputDirectory, const GogoEncoderInfo& gogo);
inline std::vector<std::string> BuildSummaryLines(const StartSummary& summary)
{
    return BuildSummaryLines(summary.settings, summary.fileCount, summary.outputDirectory, summary.gogo);
}

/// Why a file was left out of the list ("not a .wav file name").
std::string RefusalText(const ListRefusal& refusal);

/// The names of the MP3 output modes 0..3 (stereo, joint stereo, mid/side stereo, mono).
std::string OutputModeName(int mode);

}  // namespace orva
