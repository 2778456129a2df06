#include "cli/batch_options.h"

#include "settings/sjis.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace orva::cli {

const char* const kBatchUsage =
    "  orva-cli batch [OPTION...] --output DIR [--] FILE...\n"
    "                                          normalize WAV files as the settings and options say\n"
    "                                          (exit 0 all done, 1 some failed, 2 refused, 3 cancelled)\n"
    "      --settings FILE                     the settings file (default: ./ORVA.INI where it exists,\n"
    "                                          else $XDG_CONFIG_HOME/orva/ORVA.INI); never written\n"
    "      --common-peak | --per-file          one gain for all files, or one per file\n"
    "      --mode sample|true|loudness         what the target is: sample peak, true peak, loudness\n"
    "      --target DB                         the target level (-30..0 dB; loudness -50..-5 LUFS)\n"
    "      --ceiling DB                        true-peak ceiling of the loudness mode (-30..0 dBTP)\n"
    "      --keep | --rename | --delete        leave the source, set it aside as _NAME, or delete it\n"
    "      --resample RATE | --no-resample     convert to 22050, 32000, 44100 or 48000 Hz first\n"
    "      --mp3 BITRATE | --no-mp3            also encode MP3 (64 80 96 112 128 160 192 224 256 320)\n"
    "      --encoder library|PATH              the encoder library, or an external encoder program\n"
    "      --mp3-mode stereo|joint|mid-side|mono   (the external encoder: stereo or joint)\n"
    "      --psy | --no-psy                    the encoder library's psychoacoustic model\n"
    "      --sstp HOST[:PORT] | --no-sstp      announce finished files over SSTP\n"
    "      --dry-run                           say what would be done and each file's gain; touch nothing\n"
    "      --quiet                             print errors only\n"
    "      --jobs N                            process up to N files at once (1..64; default: one per\n"
    "                                          processor; 1: one after the other)\n"
    "      --                                  every later argument is a file";

namespace {

constexpr long kMaxJobs = 64;
constexpr int kResampleRates[] = { 22050, 32000, 44100, 48000 };
constexpr int kBitrates[] = { 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 };
const char* const kTargetModes[] = { "sample", "true", "loudness" };
const char* const kOutputModes[] = { "stereo", "joint", "mid-side", "mono" };

bool ParseWhole(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

/// A level in dB with at most one decimal, as tenths.
bool ParseTenths(const std::string& text, int& tenths)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || std::fabs(value) > 1000.0)
        return false;
    const double scaled = value * 10.0;
    tenths = static_cast<int>(std::lround(scaled));
    return std::fabs(scaled - tenths) < 1e-6;
}

template <typename T, size_t N, typename V> int IndexOf(const T (&list)[N], const V& text)
{
    for (size_t i = 0; i < N; ++i) {
        if (text == list[i])
            return static_cast<int>(i);
    }
    return -1;
}

template <size_t N> std::string Joined(const int (&list)[N])
{
    std::string text;
    for (int value : list)
        text += (text.empty() ? "" : ", ") + std::to_string(value);
    return text;
}

std::string Tenths(int tenths)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", tenths / 10.0);
    return text;
}

}  // namespace

bool ParseBatchArguments(const std::vector<std::string>& args, BatchArguments& parsed, std::string& problem)
{
    // The flag that set each group, so that a contradiction ("--keep --delete") is named.
    std::map<std::string, std::string> setBy;
    const auto choose = [&](const std::string& group, const std::string& flag) {
        const auto [it, fresh] = setBy.emplace(group, flag);
        if (!fresh && it->second != flag) {
            problem = it->second + " and " + flag + " contradict each other";
            return false;
        }
        return true;
    };
    bool filesOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (filesOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            parsed.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            filesOnly = true;
            continue;
        }
        const auto value = [&](std::string& text) {
            if (i + 1 >= args.size()) {
                problem = arg + " needs a value";
                return false;
            }
            text = args[++i];
            return true;
        };
        std::string text;
        long number = 0;
        int tenths = 0;
        // The flag's value, one of `list` (whole numbers in `unit`).
        const auto listed = [&](const auto& list, const char* unit, std::optional<int>& chosen) {
            if (!value(text))
                return false;
            if (!ParseWhole(text, number) || number != static_cast<int>(number)
                || IndexOf(list, static_cast<int>(number)) < 0) {
                problem = arg + " takes one of " + Joined(list) + " (" + unit + "), not '" + text + "'";
                return false;
            }
            chosen = static_cast<int>(number);
            return true;
        };
        if (arg == "--dry-run") {
            parsed.dryRun = true;
        } else if (arg == "--quiet") {
            parsed.quiet = true;
        } else if (arg == "--jobs") {
            if (!value(text))
                return false;
            if (!ParseWhole(text, number) || number < 1 || number > kMaxJobs) {
                problem =
                    "--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ", not '" + text + "'";
                return false;
            }
            parsed.jobs = static_cast<int>(number);
        } else if (arg == "--settings" || arg == "--output") {
            if (!value(text))
                return false;
            (arg == "--settings" ? parsed.settingsFile : parsed.outputDir) = text;
        } else if (arg == "--common-peak" || arg == "--per-file") {
            if (!choose("peak", arg))
                return false;
            parsed.peakMode = arg == "--common-peak" ? 1 : 0;
        } else if (arg == "--keep" || arg == "--rename" || arg == "--delete") {
            if (!choose("source", arg))
                return false;
            parsed.sourceFileAction = arg == "--keep" ? 0 : arg == "--rename" ? 1 : 2;
        } else if (arg == "--mode") {
            if (!value(text))
                return false;
            const int mode = IndexOf(kTargetModes, text);
            if (mode < 0) {
                problem = "--mode takes sample, true or loudness, not '" + text + "'";
                return false;
            }
            parsed.targetMode = mode;
        } else if (arg == "--target") {
            if (!value(text))
                return false;
            if (!ParseTenths(text, tenths)) {
                problem = "--target takes a level in dB with at most one decimal, not '" + text + "'";
                return false;
            }
            parsed.target = tenths;
        } else if (arg == "--ceiling") {
            if (!value(text))
                return false;
            if (!ParseTenths(text, tenths) || tenths < kMinCeilingTenths || tenths > kMaxCeilingTenths) {
                problem = "--ceiling takes a level from " + Tenths(kMinCeilingTenths) + " to "
                    + Tenths(kMaxCeilingTenths) + " dBTP, not '" + text + "'";
                return false;
            }
            parsed.ceiling = tenths;
        } else if (arg == "--resample" || arg == "--no-resample") {
            if (!choose("resample", arg))
                return false;
            if (arg == "--no-resample") {
                parsed.resampleRate = 0;
            } else {
                if (!listed(kResampleRates, "Hz", parsed.resampleRate))
                    return false;
            }
        } else if (arg == "--mp3" || arg == "--no-mp3") {
            if (!choose("mp3", arg))
                return false;
            if (arg == "--no-mp3") {
                parsed.mp3Bitrate = 0;
            } else {
                if (!listed(kBitrates, "kbps", parsed.mp3Bitrate))
                    return false;
            }
        } else if (arg == "--encoder") {
            if (!value(text))
                return false;
            if (text.empty() || CutToShiftJisLength(text, kMaxShiftJisTextBytes) != text) {
                problem = "--encoder takes 'library' or the path of an encoder program (at most "
                    + std::to_string(kMaxShiftJisTextBytes) + " bytes)";
                return false;
            }
            parsed.encoder = text;
        } else if (arg == "--mp3-mode") {
            if (!value(text))
                return false;
            const int mode = IndexOf(kOutputModes, text);
            if (mode < 0) {
                problem = "--mp3-mode takes stereo, joint, mid-side or mono, not '" + text + "'";
                return false;
            }
            parsed.outputMode = mode;
        } else if (arg == "--psy" || arg == "--no-psy") {
            if (!choose("psy", arg))
                return false;
            parsed.usePsy = arg == "--psy" ? 1 : 0;
        } else if (arg == "--sstp" || arg == "--no-sstp") {
            if (!choose("sstp", arg))
                return false;
            parsed.sstp = arg == "--sstp";
            if (arg == "--no-sstp")
                continue;
            if (!value(text))
                return false;
            // HOST, HOST:PORT, or [IPv6]:PORT; a bare IPv6 address has no port.
            std::string host = text;
            std::optional<std::string> port;
            const size_t colon = text.rfind(':');
            if (!text.empty() && text[0] == '[') {
                const size_t close = text.find(']');
                host = close == std::string::npos ? std::string() : text.substr(1, close - 1);
                if (close != std::string::npos && close + 1 < text.size()) {
                    if (text[close + 1] != ':')
                        host.clear();
                    port = text.substr(close + 2);
                }
            } else if (colon != std::string::npos && text.find(':') == colon) {
                host = text.substr(0, colon);
                port = text.substr(colon + 1);
            }
            if (host.empty() || CutToShiftJisLength(host, kMaxShiftJisTextBytes) != host) {
                problem = "--sstp takes HOST or HOST:PORT, not '" + text + "'";
                return false;
            }
            if (port && (!ParseWhole(*port, number) || number < 1 || number > 65535)) {
                problem = "--sstp takes a port from 1 to 65535, not '" + *port + "'";
                return false;
            }
            parsed.sstpServer = host;
            if (port)
                parsed.sstpPort = std::to_string(number);
        } else {
            problem = "unknown option " + arg + " (a file of that name goes after --)";
            return false;
        }
    }
    if (parsed.outputDir.empty() || parsed.files.empty()) {
        problem = parsed.outputDir.empty() ? "--output DIR is missing" : "no FILE given";
        return false;
    }
    return true;
}

bool ApplyBatchArguments(const BatchArguments& parsed, Settings& settings, std::string& problem)
{
    if (parsed.peakMode)
        settings.PeakMode = *parsed.peakMode;
    if (parsed.sourceFileAction)
        settings.SourceFileAction = *parsed.sourceFileAction;
    if (parsed.resampleRate)
        settings.ResampleRate = *parsed.resampleRate;
    // The dialog's conversion runs per file and leaves the source alone.
    if (settings.ResampleRate != 0) {
        if (parsed.peakMode.value_or(0) != 0 || parsed.sourceFileAction.value_or(0) != 0) {
            problem = "a sample-rate conversion runs per file and keeps the source: drop "
                + std::string(parsed.peakMode.value_or(0) != 0 ? "--common-peak" : "--rename/--delete")
                + " or add --no-resample";
            return false;
        }
        if (parsed.resampleRate) {
            settings.PeakMode = 0;
            settings.SourceFileAction = 0;
        }
    }

    if (parsed.targetMode && *parsed.targetMode != settings.TargetMode) {
        settings.TargetMode = *parsed.targetMode;
        settings.Target = DefaultTargetTenths(settings.TargetMode);
    }
    if (parsed.target) {
        const int mode = settings.TargetMode;
        if (*parsed.target < MinTargetTenths(mode) || *parsed.target > MaxTargetTenths(mode)) {
            problem = "--target takes a level from " + Tenths(MinTargetTenths(mode)) + " to "
                + Tenths(MaxTargetTenths(mode))
                + (mode == 2       ? " LUFS"
                       : mode == 1 ? " dBTP"
                                   : " dBFS")
                + " in " + kTargetModes[mode] + " mode";
            return false;
        }
        settings.Target = *parsed.target;
    }
    if (parsed.ceiling)
        settings.Ceiling = *parsed.ceiling;

    if (parsed.mp3Bitrate)
        settings.Mp3Bitrate = *parsed.mp3Bitrate;
    if (settings.Mp3Bitrate == 0) {
        if (parsed.encoder || parsed.outputMode || parsed.usePsy) {
            problem = "--encoder, --mp3-mode and --psy need --mp3 BITRATE";
            return false;
        }
        if (parsed.mp3Bitrate) {
            settings.OutputMode = 0;
            settings.UsePsy = 0;
            settings.EncoderKind = 0;
        }
    } else {
        if (parsed.encoder) {
            settings.EncoderKind = *parsed.encoder == "library" ? 0 : 1;
            if (settings.EncoderKind == 1)
                settings.EncoderPath = *parsed.encoder;
        }
        if (parsed.outputMode)
            settings.OutputMode = *parsed.outputMode;
        if (parsed.usePsy)
            settings.UsePsy = *parsed.usePsy;
        // Only a flag of the encoder's own makes its options what the dialog would make them;
        // a settings file's values stand as the batch has always read them.
        const bool encoderFlags = parsed.encoder || parsed.outputMode || parsed.usePsy;
        if (settings.EncoderKind == 1 && encoderFlags) {
            if (parsed.outputMode.value_or(0) > 1 || parsed.usePsy.value_or(0) != 0) {
                problem =
                    std::string(parsed.usePsy.value_or(0) != 0 ? "--psy" : "--mp3-mode mid-side and mono")
                    + " need the encoder library (--encoder library)";
                return false;
            }
            settings.OutputMode = settings.OutputMode == 1 ? 1 : 0;
            settings.UsePsy = 0;
        }
    }

    if (parsed.sstp) {
        settings.SstpEnabled = *parsed.sstp ? 1 : 0;
        if (*parsed.sstp) {
            settings.SstpServer = parsed.sstpServer;
            if (parsed.sstpPort)
                settings.SstpPort = *parsed.sstpPort;
        }
    }
    return true;
}

}  // namespace orva::cli
