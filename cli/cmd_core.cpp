// orva-cli probe / peak / normalize / resample: the audio core from the command line.

#include "cli/command.h"
#include "cli/json_object.h"
#include "cli/terminal.h"
#include "core/format_tag.h"
#include "core/normalize.h"
#include "core/peak_scan.h"
#include "core/resample.h"
#include "core/sample_kernels.h"
#include "core/wave_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace orva::cli {
namespace {

// A whole decimal number within [low, high], or false.
bool ParseNumber(const std::string& text, long low, long high, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

// False (after a line on stderr) for a file that probes but holds samples the list would
// mark unsupported: they must not be read as something they are not.
bool SupportedOrSaySo(const std::string& path)
{
    WaveFileInfo info {};
    if (ProbeWaveFile(path, info) < 0 || IsSupportedFormat(info.format))
        return true;  // the command's own steps report a file that does not probe
    std::fprintf(stderr, "%s: unsupported format (%s, %u bit)\n", Printable(path).c_str(),
                 FormatTagName(info.format.formatTag).c_str(), info.format.bitsPerSample);
    return false;
}

constexpr const char* kProbeUsage = "orva-cli probe [--json] FILE";
constexpr const char* kPeakUsage = "orva-cli peak [--json] FILE";
constexpr const char* kNormalizeUsage =
    "orva-cli normalize SRC DST [--peak N] [--mode sample|true|loudness] [--target DB] [--ceiling DB]";
constexpr const char* kResampleUsage = "orva-cli resample SRC DST RATE";

int ProbeJson(const std::string& path)
{
    WaveFileInfo info {};
    const int64_t result = ProbeWaveFile(path, info);
    JsonObject json;
    json.Text("file", path).Integer("result", result);
    if (result < 0) {
        std::fputs(json.Text("error", ProbeReason(result, ErrorText())).Line().c_str(), stdout);
        return 1;
    }
    const WaveFormat& f = info.format;
    const bool extensible = f.formatTag == 0xFFFE;
    json.Integer("formatTag", f.formatTag)
        .Integer("channels", f.channels)
        .Integer("sampleRate", f.sampleRate)
        .Integer("avgBytesPerSec", f.avgBytesPerSec)
        .Integer("blockAlign", f.blockAlign)
        .Integer("bitsPerSample", f.bitsPerSample)
        .Integer("extraSize", f.extraSize)
        .Integer("dataSize", static_cast<long long>(info.dataSize))
        .Integer("dataOffset", static_cast<long long>(info.dataOffset))
        .Text("formatName", FormatTagName(f.formatTag))
        .Raw("supported", IsSupportedFormat(f) ? "true" : "false")
        .Text("sampleFormat", SampleFormatName(info.sampleFormat))
        .Integer("validBits", extensible ? f.validBits : f.bitsPerSample);
    if (extensible)
        json.Integer("subFormat", f.subFormat).Integer("channelMask", f.channelMask);
    if (info.trailingBytes > 0)
        json.Integer("trailingBytes", static_cast<long long>(info.trailingBytes));
    std::fputs(json.Line().c_str(), stdout);
    return 0;
}

int RunProbe(const std::vector<std::string>& arguments)
{
    std::vector<std::string> args = arguments;
    const bool asJson = TakeFlag(args, "--json");
    if (args.size() != 1)
        return Usage(kProbeUsage);
    if (asJson)
        return ProbeJson(args[0]);
    WaveFileInfo info {};
    const int64_t result = ProbeWaveFile(args[0], info);
    std::printf("result=%lld\n", static_cast<long long>(result));
    if (result < 0) {
        std::printf("error=%s\n", ProbeReason(result, ErrorText()).c_str());
        return 1;
    }
    const WaveFormat& f = info.format;
    std::printf(
        "formatTag=%u\nchannels=%u\nsampleRate=%u\navgBytesPerSec=%u\nblockAlign=%u\n"
        "bitsPerSample=%u\nextraSize=%u\ndataSize=%llu\ndataOffset=%llu\nformatName=%s\nsupported=%d\n",
        f.formatTag, f.channels, f.sampleRate, f.avgBytesPerSec, f.blockAlign, f.bitsPerSample, f.extraSize,
        static_cast<unsigned long long>(info.dataSize), static_cast<unsigned long long>(info.dataOffset),
        FormatTagName(f.formatTag).c_str(), IsSupportedFormat(f) ? 1 : 0);
    // Extensible headers state the significant bits themselves; other headers mean all of them.
    const bool extensible = f.formatTag == 0xFFFE;
    std::printf("sampleFormat=%s\nvalidBits=%u\n", SampleFormatName(info.sampleFormat),
                extensible ? f.validBits : f.bitsPerSample);
    if (extensible)
        std::printf("subFormat=%u\nchannelMask=0x%X\n", f.subFormat, f.channelMask);
    if (info.trailingBytes > 0)
        std::printf("trailingBytes=%llu\n", static_cast<unsigned long long>(info.trailingBytes));
    return 0;
}

int RunPeak(const std::vector<std::string>& arguments)
{
    std::vector<std::string> args = arguments;
    const bool asJson = TakeFlag(args, "--json");
    if (args.size() != 1)
        return Usage(kPeakUsage);
    if (!SupportedOrSaySo(args[0]))
        return 1;
    TerminalDialog dialog;
    const std::optional<SamplePeak> peak =
        ScanPeak(dialog.events.Stages(), dialog.events.Problems(), args[0]);
    FinishProgressLine();
    if (!peak)
        return 1;
    // 8-bit samples reach 128 below the midpoint: measured against that, no sample reads
    // above 0 dBFS.
    const double dbfs = peak->format == SampleFormat::U8 && !peak->IsSilent()
        ? 20.0 * std::log10(static_cast<double>(peak->Integer()) / 128.0)
        : peak->Dbfs();
    if (asJson) {
        JsonObject json;
        json.Text("file", args[0]).Raw("peak", PeakText(*peak)).Level("peakDbfs", dbfs, "silent");
        std::fputs(json.Line().c_str(), stdout);
        return 0;
    }
    std::printf("peak=%s\n", PeakText(*peak).c_str());
    if (std::isinf(dbfs))
        std::printf("peakDbfs=-inf\n");
    else
        std::printf("peakDbfs=%.2f\n", dbfs);
    return 0;
}

int RunNormalize(const std::vector<std::string>& args)
{
    if (HasTargetOptions(args))
        return RunTargetNormalize(args, kNormalizeUsage);
    std::optional<SamplePeak> peak;
    if (args.size() == 4 && args[2] == "--peak") {
        SamplePeak given;
        if (!ParsePeak(args[3], args[0], given))
            return 2;
        peak = given;
    } else if (args.size() != 2) {
        return Usage(kNormalizeUsage);
    }
    if (!SupportedOrSaySo(args[0]))
        return 1;
    TerminalDialog dialog;
    if (!peak) {
        peak = ScanPeak(dialog.events.Stages(), dialog.events.Problems(), args[0]);
        if (!peak)
            return 1;
    }
    const int result =
        NormalizeFile(dialog.events.Stages(), dialog.events.Problems(), args[0], args[1], *peak);
    FinishProgressLine();
    if (result < 0) {
        // A source that does not probe fails without a box of its own (one that cannot be
        // read has had its message).
        WaveFileInfo info {};
        const int64_t probed = ProbeWaveFile(args[0], info);
        if (probed < 0 && probed != kProbeCannotRead)
            std::fprintf(stderr, "%s: %s\n", Printable(args[0]).c_str(),
                         ProbeReason(probed, ErrorText()).c_str());
        return 1;
    }
    return 0;
}

int RunResample(const std::vector<std::string>& args)
{
    long rate = 0;
    if (args.size() != 3)
        return Usage(kResampleUsage);
    if (!ParseNumber(args[2], 1, 1000000, rate)) {
        std::fprintf(stderr, "orva-cli resample: RATE takes a number from 1 to 1000000 (Hz)\n");
        return 2;
    }
    WaveFileInfo info {};
    if (const int64_t probed = ProbeWaveFile(args[0], info); probed < 0) {
        std::fprintf(stderr, "%s: %s\n", Printable(args[0]).c_str(),
                     ProbeReason(static_cast<int>(probed), ErrorText()).c_str());
        return 1;
    }
    TerminalDialog dialog;
    const int result = ConvertSampleRate(dialog.events.Stages(), args[0], args[1], static_cast<int>(rate),
                                         info.format.bitsPerSample, info.format.channels);
    FinishProgressLine();
    if (result < 0) {
        std::fprintf(stderr, "orva-cli resample: conversion of %s failed\n", Printable(args[0]).c_str());
        return 1;
    }
    return 0;
}

const CommandRegistration kProbe(
    { "probe",
      "  orva-cli probe [--json] FILE            check a WAV file, print its header as key=value (or JSON)",
      RunProbe });
const CommandRegistration
    kPeak({ "peak", "  orva-cli peak [--json] FILE             print the peak sample magnitude", RunPeak });
const CommandRegistration kNormalize(
    { "normalize",
      "  orva-cli normalize SRC DST [--peak N]   write SRC scaled so that its peak (or N) reaches full "
      "scale\n"
      "  orva-cli normalize SRC DST --mode sample|true|loudness [--target DB] [--ceiling DB]\n"
      "                                          ... or so that its sample peak, true peak or loudness\n"
      "                                          reaches the target (the true peak at most the ceiling)",
      RunNormalize });
const CommandRegistration
    kResample({ "resample", "  orva-cli resample SRC DST RATE          convert SRC's sample rate to RATE Hz",
                RunResample });

}  // namespace

int Usage(const char* usage)
{
    std::fprintf(stderr, "usage: %s\n", usage);
    return 2;
}

bool TakeFlag(std::vector<std::string>& args, const char* flag) { return std::erase(args, flag) > 0; }

// The peak given with --peak, in the terms of SRC's sample format: a whole number from 1 to
// 2^(N-1) for N-bit integers (1 to 32768 for 8- and 16-bit files, as always), a decimal above
// 0 for float. A source that does not probe takes the 16-bit range and fails later.
bool ParsePeak(const std::string& text, const std::string& source, SamplePeak& peak)
{
    WaveFileInfo info {};
    peak.format = ProbeWaveFile(source, info) >= 0 ? info.sampleFormat : SampleFormat::S16;
    if (IsFloatFormat(peak.format)) {
        char* end = nullptr;
        errno = 0;
        peak.level = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
        if (errno != 0 || *end != '\0' || !(peak.level > 0.0) || !std::isfinite(peak.level)) {
            std::fprintf(stderr,
                         "orva-cli normalize: --peak takes a decimal number above 0 for float files\n");
            return false;
        }
        return true;
    }
    long high = 32768;
    if (peak.format == SampleFormat::S24)
        high = 8388608;
    else if (peak.format == SampleFormat::S32)
        high = 2147483648L;
    long value = 0;
    if (!ParseNumber(text, 1, high, value)) {
        std::fprintf(stderr, "orva-cli normalize: --peak takes a number from 1 to %ld\n", high);
        return false;
    }
    peak.magnitude = value;
    return true;
}

}  // namespace orva::cli
