#include "loudness/wave_analysis.h"

#include "core/byte_io.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace orva {
namespace {

constexpr size_t kChunkFrames = 131072;  // frames read and measured at a time
// Bytes read at a time at most: wide frames are read fewer at a time, so that the buffers
// never grow with the channel count a header claims.
constexpr size_t kChunkBudget = kChunkFrames * 16;

// Interleaved samples to floats at full scale 1.0 (the integer full scale is 2^(bits-1),
// as the loudness library takes integer samples). NaN and infinities in float files are
// not audio: the meter takes them as silence, as the peak scan ignores them.
void ToFloat(const uint8_t* data, size_t sampleCount, SampleFormat format, float* out)
{
    if (format == SampleFormat::U8) {
        for (size_t i = 0; i < sampleCount; ++i)
            out[i] = static_cast<float>(static_cast<int>(data[i]) - 128) * (1.0f / 128.0f);
    } else if (format == SampleFormat::S16) {
        for (size_t i = 0; i < sampleCount; ++i) {
            const auto v = static_cast<int16_t>(static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
            out[i] = static_cast<float>(v) * (1.0f / 32768.0f);
        }
    } else if (format == SampleFormat::S24) {
        S24ToFloat(data, sampleCount, out);
    } else {
        const size_t width = SampleBytes(format);
        for (size_t i = 0; i < sampleCount; ++i) {
            const double x = SampleValue(data + width * i, format);
            out[i] = std::isfinite(x) ? static_cast<float>(x) : 0.0f;
        }
    }
}

}  // namespace

double FullScaleOf(SampleFormat format)
{
    if (IsFloatFormat(format))
        return 1.0;
    return std::ldexp(1.0, static_cast<int>(SampleBytes(format)) * 8 - 1);
}

SamplePeak PeakOf(const WaveAnalysis& analysis)
{
    return SamplePeak { analysis.info.sampleFormat, analysis.peak, analysis.level, 0 };
}

bool AnalyzeWaveFile(StageEvents& events, const std::string& path, WaveAnalysis& result, std::string& error)
{
    const Result<WaveSource> source = WaveSource::OpenProbed(path, WaveSource::Locking::None);
    if (!source) {
        result = WaveAnalysis {};
        result.probeFailure = source.Error().detail;
        error = ProbeResultText(source.Error().detail);
        return false;
    }
    return AnalyzeWaveSource(events, *source, result, error);
}

bool AnalyzeWaveSource(StageEvents& events, const WaveSource& source, WaveAnalysis& result,
                       std::string& error)
{
    result = WaveAnalysis {};
    result.info = source.Info();
    const WaveFileInfo& info = result.info;
    const SampleFormat format = info.sampleFormat;
    if (format == SampleFormat::None) {
        error = "unsupported sample format";
        return false;
    }
    DescriptorReader file = source.ReaderAt(info.dataOffset);
    if (!file.IsOpen()) {
        error = "cannot open the file";
        return false;
    }
    const unsigned channels = info.format.channels;
    const bool isFloat = IsFloatFormat(format);
    const size_t frameBytes = static_cast<size_t>(channels) * SampleBytes(format);
    result.meter = std::make_unique<LoudnessMeter>(channels, info.format.sampleRate, info.format.channelMask);
    if (frameBytes == 0) {
        result.levels = result.meter->Levels();
        return true;
    }

    const auto dataSize = static_cast<int64_t>(info.dataSize);
    const size_t chunkFrames = std::max<size_t>(1, std::min(kChunkFrames, kChunkBudget / frameBytes));
    const size_t byteCount = chunkFrames * frameBytes;
    const IoBuffer bytes(byteCount, info.dataOffset);
    // Two blocks of frames in turn: the meter may still read the last one while the next is
    // read and converted.
    std::vector<float> frames[2] = { std::vector<float>(chunkFrames * channels),
                                     std::vector<float>(chunkFrames * channels) };
    size_t turn = 0;
    // However this function is left, the meter lets go of the frames before they go, and of
    // its helper thread (meters are kept for album figures).
    struct Release {
        LoudnessMeter& meter;
        ~Release() { meter.Finish(); }
    } release { *result.meter };
    int64_t done = 0;
    bool sourceEnded = false;
    bool missing = false;  // the file holds fewer sample bytes than its header claims
    // The largest magnitude (level for float) and the index of the first sample that
    // reaches it, as the scan reports them.
    SamplePeak largest { format, 0, 0.0, 0 };
    int64_t samplesDone = 0, largestAt = 0;
    while (done < dataSize && !sourceEnded) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(dataSize - done, byteCount));
        const long long read = ReadUntilEnd(file, bytes.data(), want, sourceEnded);
        if (read < 0) {
            error = "cannot read the file";
            return false;
        }
        const size_t got = static_cast<size_t>(read);
        missing = missing || got < want;
        const size_t frameCount = got / frameBytes;
        const size_t sampleCount = frameCount * channels;
        float* const block = frames[turn].data();
        turn ^= 1;
        ToFloat(bytes.data(), sampleCount, format, block);
        result.meter->AddFramesInBackground(block, frameCount);
        const size_t sampleBytes = frameCount * frameBytes;
        SamplePeak blockPeak { format, 0, 0.0, 0 };
        if (isFloat)
            blockPeak.level = MaxFiniteLevel(bytes.data(), sampleBytes, format);
        else
            blockPeak.magnitude = MaxIntegerMagnitude(bytes.data(), sampleBytes, format);
        if (isFloat ? blockPeak.level > largest.level : blockPeak.magnitude > largest.magnitude) {
            largest = blockPeak;
            largestAt =
                samplesDone + static_cast<int64_t>(FirstSampleAtPeak(bytes.data(), sampleBytes, blockPeak));
        }
        samplesDone += static_cast<int64_t>(sampleCount);
        done += static_cast<int64_t>(want);
        events.StageProgress(Stage::Scan, done, dataSize,
                             BarPosition(static_cast<double>(info.dataOffset + done),
                                         static_cast<double>(info.declaredLength)));
    }
    result.levels = result.meter->Levels();
    result.peak = largest.magnitude;
    result.level = largest.level;
    // The exact peak, not the meter's single-precision one, and no NaN or infinity.
    result.levels.samplePeak =
        isFloat ? largest.level : static_cast<double>(largest.magnitude) / FullScaleOf(format);
    result.levels.truePeak = std::max(result.levels.truePeak, result.levels.samplePeak);
    // Sample bytes the file does not hold are read as zero bytes by the scan and the
    // normalization: for 8-bit data that is a full-scale sample, which the gain must respect.
    if (missing && format == SampleFormat::U8) {
        result.peak = 128;
        result.levels.samplePeak = 1.0;
        result.levels.truePeak = std::max(result.levels.truePeak, 1.0);
        largestAt = samplesDone;
    }
    largest.magnitude = result.peak;
    largest.position = largestAt;
    events.PeakFound(largest);
    return true;
}

GainInputs InputsOf(const WaveAnalysis& analysis)
{
    GainInputs inputs;
    inputs.bitsPerSample = analysis.info.format.bitsPerSample;
    inputs.format = analysis.info.sampleFormat;
    inputs.peak = std::max<int64_t>(analysis.peak, 1);
    inputs.level = analysis.level;
    inputs.levels = analysis.levels;
    return inputs;
}

}  // namespace orva
