#pragma once
// The command line of `orva-cli batch`: where the settings come from, and a flag for every
// option of the options dialog that overrides the settings file for one run (never saved).

#include "settings/settings.h"

#include <optional>
#include <string>
#include <vector>

namespace orva::cli {

/// What `orva-cli batch` was asked to do; an option not given leaves the settings file's.
struct BatchArguments {
    std::string settingsFile;  ///< --settings; empty: the default file
    std::string outputDir;     ///< --output
    std::vector<std::string> files;
    bool dryRun = false;
    bool quiet = false;
    std::optional<int> jobs;  ///< --jobs: entries at once; none given: one per processor

    std::optional<int> peakMode;          ///< --common-peak / --per-file
    std::optional<int> targetMode;        ///< --mode
    std::optional<int> target;            ///< --target, tenths of a dB (checked against the mode later)
    std::optional<int> ceiling;           ///< --ceiling, tenths of a dBTP
    std::optional<int> sourceFileAction;  ///< --keep / --rename / --delete
    std::optional<int> resampleRate;      ///< --resample RATE / --no-resample (0)
    std::optional<int> mp3Bitrate;        ///< --mp3 BITRATE / --no-mp3 (0)
    std::optional<std::string> encoder;   ///< --encoder: "library" or the external encoder's path
    std::optional<int> outputMode;        ///< --mp3-mode
    std::optional<int> usePsy;            ///< --psy / --no-psy
    std::optional<bool> sstp;             ///< --sstp HOST[:PORT] / --no-sstp
    std::string sstpServer;
    std::optional<std::string> sstpPort;
};

/// Reads the arguments after `batch`. Everything after "--" is a file. False with `problem`
/// set for an unknown option, a missing or bad value, or two options that contradict.
bool ParseBatchArguments(const std::vector<std::string>& args, BatchArguments& parsed, std::string& problem);

/// Applies the flags over settings read from the file, as the options dialog would set them:
/// a sample-rate conversion runs per file and keeps the source; the external encoder has
/// two output modes and no psychoacoustic model. False with `problem` set for a combination
/// the dialog does not allow (or a target outside its mode's range).
bool ApplyBatchArguments(const BatchArguments& parsed, Settings& settings, std::string& problem);

/// The usage lines of `orva-cli batch`, every flag included.
extern const char* const kBatchUsage;

}  // namespace orva::cli
