// orva-cli analyze, and normalize to a target level: the loudness module from the command line.

#include "cli/command.h"
#include "cli/json_object.h"
#include "cli/terminal.h"
#include "core/normalize.h"
#include "core/peak_scan.h"
#include "core/wave_file.h"
#include "loudness/target_gain.h"
#include "loudness/wave_analysis.h"
#include "settings/settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orva::cli {
namespace {

constexpr const char* kAnalyzeUsage = "orva-cli analyze [--json] [--album] FILE...";

/// A level as the analysis prints it: two decimals, "-inf" when there is nothing to measure.
void PrintLevel(const char* key, double db)
{
    if (std::isinf(db) && db < 0.0)
        std::printf("%s=-inf\n", key);
    else
        std::printf("%s=%.2f\n", key, db);
}

// Why a loudness figure is -infinity: a rate the filter cannot take, too short for its
// window, or (with the window filled) silent or below the gates.
const char* LoudnessReason(const LoudnessMeter& meter, unsigned long sampleRate, double seconds,
                           const char* otherwise)
{
    if (!meter.MeasuresLoudness())
        return "unsupportedRate";
    return static_cast<double>(meter.FrameCount()) < seconds * static_cast<double>(sampleRate) ? "tooShort"
                                                                                               : otherwise;
}

void PrintAnalysis(const std::string& path, const WaveAnalysis& analysis, bool asJson)
{
    const LoudnessLevels& levels = analysis.levels;
    const WaveFormat& format = analysis.info.format;
    const std::string layout = ChannelLayoutName(format.channels, format.channelMask);
    if (!asJson) {
        std::printf("file=%s\n", path.c_str());
        PrintLevel("samplePeakDbfs", MagnitudeToDb(levels.samplePeak));
        PrintLevel("truePeakDbtp", MagnitudeToDb(levels.truePeak));
        PrintLevel("loudnessLufs", levels.integratedLufs);
        PrintLevel("loudnessRangeLu", levels.rangeLu);
        PrintLevel("momentaryMaxLufs", levels.momentaryMaxLufs);
        PrintLevel("shortTermMaxLufs", levels.shortTermMaxLufs);
        std::printf("layout=%s\n", layout.c_str());
        return;
    }
    const LoudnessMeter& meter = *analysis.meter;
    const unsigned long rate = format.sampleRate;
    JsonObject json;
    json.Text("file", path)
        .Level("samplePeakDbfs", MagnitudeToDb(levels.samplePeak), "silent")
        .Level("truePeakDbtp", MagnitudeToDb(levels.truePeak), "silent")
        .Level("loudnessLufs", levels.integratedLufs, LoudnessReason(meter, rate, 0.4, "belowGate"))
        .Level("loudnessRangeLu", levels.rangeLu, LoudnessReason(meter, rate, 3.0, "belowGate"))
        .Level("momentaryMaxLufs", levels.momentaryMaxLufs, LoudnessReason(meter, rate, 0.4, "silent"))
        .Level("shortTermMaxLufs", levels.shortTermMaxLufs, LoudnessReason(meter, rate, 3.0, "silent"))
        .Text("layout", layout)
        .Integer("channels", format.channels)
        .Integer("sampleRate", format.sampleRate);
    std::fputs(json.Line().c_str(), stdout);
}

int RunAnalyze(const std::vector<std::string>& arguments)
{
    std::vector<std::string> args = arguments;
    const bool asJson = TakeFlag(args, "--json");
    const bool album = TakeFlag(args, "--album");
    if (args.empty())
        return Usage(kAnalyzeUsage);
    TerminalDialog dialog;
    std::vector<std::unique_ptr<WaveAnalysis>> measured;
    int status = 0;
    for (const std::string& path : args) {
        auto analysis = std::make_unique<WaveAnalysis>();
        std::string error;
        const bool ok = AnalyzeWaveFile(dialog.events.Stages(), path, *analysis, error);
        FinishProgressLine();
        if (!ok) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(),
                         ProbeReason(analysis->probeFailure, error).c_str());
            status = 1;
            continue;
        }
        if (!measured.empty() && !asJson)
            std::printf("\n");
        PrintAnalysis(path, *analysis, asJson);
        std::fflush(stdout);
        measured.push_back(std::move(analysis));
    }
    // The figures album mode takes its one gain from: the largest peaks and the loudness of
    // all files together.
    if (measured.size() > 1 || (album && !measured.empty())) {
        double samplePeak = 0.0, truePeak = 0.0;
        std::vector<const LoudnessMeter*> meters;
        for (const auto& analysis : measured) {
            samplePeak = std::max(samplePeak, analysis->levels.samplePeak);
            truePeak = std::max(truePeak, analysis->levels.truePeak);
            meters.push_back(analysis->meter.get());
        }
        const double loudness = AlbumLoudness(meters), range = AlbumRange(meters);
        if (asJson) {
            JsonObject json;
            json.Integer("albumFiles", static_cast<long long>(measured.size()))
                .Level("albumSamplePeakDbfs", MagnitudeToDb(samplePeak), "silent")
                .Level("albumTruePeakDbtp", MagnitudeToDb(truePeak), "silent")
                .Level("albumLoudnessLufs", loudness, "belowGate")
                .Level("albumLoudnessRangeLu", range, "belowGate");
            std::fputs(json.Line().c_str(), stdout);
        } else {
            std::printf("\n");
            PrintLevel("albumSamplePeakDbfs", MagnitudeToDb(samplePeak));
            PrintLevel("albumTruePeakDbtp", MagnitudeToDb(truePeak));
            PrintLevel("albumLoudnessLufs", loudness);
            PrintLevel("albumLoudnessRangeLu", range);
        }
    }
    return status;
}

// A level in dB with at most one decimal that matters, as tenths within [low, high].
bool ParseTenths(const std::string& text, int low, int high, int& tenths)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double db = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(db))
        return false;
    const double scaled = std::round(db * 10.0);
    if (scaled < low || scaled > high)
        return false;
    tenths = static_cast<int>(scaled);
    return true;
}

}  // namespace

bool HasTargetOptions(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--mode" || arg == "--target" || arg == "--ceiling")
            return true;
    }
    return false;
}

int RunTargetNormalize(const std::vector<std::string>& args, const char* usage)
{
    std::vector<std::string> files;
    std::string peakText, modeText = "sample", targetText, ceilingText;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string* value = arg == "--peak" ? &peakText
            : arg == "--mode"                ? &modeText
            : arg == "--target"              ? &targetText
            : arg == "--ceiling"             ? &ceilingText
                                             : nullptr;
        if (value == nullptr) {
            files.push_back(arg);
        } else if (i + 1 < args.size()) {
            *value = args[++i];
        } else {
            files.clear();
            break;
        }
    }
    NormalizationTarget target;
    if (modeText == "true")
        target.mode = TargetMode::TruePeak;
    else if (modeText == "loudness")
        target.mode = TargetMode::Loudness;
    else if (modeText != "sample")
        files.clear();
    if (files.size() != 2)
        return Usage(usage);
    const int mode = static_cast<int>(target.mode);
    target.levelTenths = DefaultTargetTenths(mode);
    target.ceilingTenths = kDefaultCeilingTenths;
    if (!targetText.empty()
        && !ParseTenths(targetText, MinTargetTenths(mode), MaxTargetTenths(mode), target.levelTenths)) {
        std::fprintf(stderr, "orva-cli normalize: --target takes a level from %.1f to %.1f dB in %s mode\n",
                     MinTargetTenths(mode) / 10.0, MaxTargetTenths(mode) / 10.0, modeText.c_str());
        return 2;
    }
    if (!ceilingText.empty()
        && !ParseTenths(ceilingText, kMinCeilingTenths, kMaxCeilingTenths, target.ceilingTenths)) {
        std::fprintf(stderr, "orva-cli normalize: --ceiling takes a level from %.1f to %.1f dBTP\n",
                     kMinCeilingTenths / 10.0, kMaxCeilingTenths / 10.0);
        return 2;
    }
    if (!peakText.empty() && target.mode != TargetMode::SamplePeak) {
        std::fprintf(stderr, "orva-cli normalize: --peak takes a number from 1 to 32768 (sample mode)\n");
        return 2;
    }
    SamplePeak given;
    if (!peakText.empty() && !ParsePeak(peakText, files[0], given))
        return 2;

    const std::string& source = files[0];
    TerminalDialog dialog;
    StageEvents& stages = dialog.events.Stages();
    ProblemReports& problems = dialog.events.Problems();
    GainInputs inputs;
    WaveFileInfo info {};
    if (const int64_t probed = ProbeWaveFile(source, info); probed < 0) {
        std::fprintf(stderr, "%s: %s\n", source.c_str(),
                     ProbeReason(static_cast<int>(probed), ErrorText()).c_str());
        return 1;
    }
    inputs.bitsPerSample = info.format.bitsPerSample;
    inputs.format = info.sampleFormat;
    if (target.mode == TargetMode::SamplePeak) {
        std::optional<SamplePeak> scanned;
        if (peakText.empty())
            scanned = ScanPeak(stages, problems, source);
        else if (given.format == info.sampleFormat)
            scanned = given;
        if (!scanned)
            return 1;
        inputs.peak = scanned->Integer();
        inputs.level = scanned->level;
    } else {
        WaveAnalysis analysis;
        std::string error;
        if (!AnalyzeWaveFile(stages, source, analysis, error)) {
            FinishProgressLine();
            std::fprintf(stderr, "%s: %s\n", source.c_str(),
                         ProbeReason(analysis.probeFailure, error).c_str());
            return 1;
        }
        inputs = InputsOf(analysis);
    }
    const std::optional<double> gain = TargetGain(target, inputs);
    if (!gain) {
        FinishProgressLine();
        std::fprintf(stderr, "%s: no measurable loudness; copied unchanged\n", source.c_str());
    }
    const int result = NormalizeFileWithGain(stages, problems, source, files[1], gain.value_or(1.0));
    FinishProgressLine();
    return result < 0 ? 1 : 0;
}

namespace {

const CommandRegistration kAnalyze(
    { "analyze",
      "  orva-cli analyze [--json] [--album] FILE...\n"
      "                                          print sample peak, true peak, loudness, loudness range\n"
      "                                          and layout; the album's figures for several files",
      RunAnalyze });

}  // namespace
}  // namespace orva::cli
