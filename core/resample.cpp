#include "core/resample.h"

#include "core/byte_io.h"
#include "core/output_file.h"
#include "core/wave_file.h"
#include "core/wave_source.h"

#include <sys/stat.h>

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace orva {
namespace {

constexpr size_t kBlockSize = 4096;          // source bytes fed per block
constexpr size_t kOutputBufferSize = 65536;  // destination bytes per soxr call
constexpr int kBlocksPerUpdate = 51;         // label and bar after every 51st block

// One conversion: the resampler, the frame-aligned staging buffers and the output.
// soxr counts frames ("samples per channel"); the file counts bytes. Each sample format
// goes through the soxr type that holds it: 16-bit through int16, 24- and 32-bit through
// int32 (24-bit samples at the top of the word), float and double as they are; 8-bit data
// has no soxr type and goes through float.
class Conversion {
public:
    Conversion(SampleFormat format, unsigned channels, double sourceRate, double destinationRate,
               uint64_t dataLimit)
        : format_(format), channels_(channels), sampleBytes_(SampleBytes(format)),
          frameBytes_(channels * SampleBytes(format)), sourceRate_(sourceRate),
          destinationRate_(destinationRate), dataLimit_(dataLimit)
    {
    }

    ~Conversion()
    {
        if (soxr_)
            soxr_delete(soxr_);
    }

    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    bool Open()
    {
        if (frameBytes_ == 0)
            return false;
        // Integer data goes through soxr's integer interfaces without dither (they round
        // and clip).
        soxr_datatype_t type = SOXR_FLOAT32_I;
        if (format_ == SampleFormat::S16)
            type = SOXR_INT16_I;
        else if (format_ == SampleFormat::S24 || format_ == SampleFormat::S32)
            type = SOXR_INT32_I;
        else if (format_ == SampleFormat::F64)
            type = SOXR_FLOAT64_I;
        const soxr_io_spec_t io = soxr_io_spec(type, type);
        soxr_io_spec_t ioNoDither = io;
        ioNoDither.flags |= SOXR_NO_DITHER;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        soxr_ = soxr_create(sourceRate_, destinationRate_, channels_, &error, &ioNoDither, &quality, nullptr);
        if (error || !soxr_)
            return false;
        // Staging holds one block plus the bytes of a frame cut by the previous block
        // (a frame can be longer than a block when there are many channels).
        staging_.resize(kBlockSize + frameBytes_);
        outputFrames_ = std::max<size_t>(1, kOutputBufferSize / frameBytes_);
        output_.resize(outputFrames_ * frameBytes_);
        const size_t inputSamples = (kBlockSize + frameBytes_) / frameBytes_ * channels_;
        if (format_ == SampleFormat::U8) {
            floatInput_.resize(inputSamples);
            floatOutput_.resize(outputFrames_ * channels_);
        } else if (format_ == SampleFormat::S24) {
            wideInput_.resize(inputSamples);
            wideOutput_.resize(outputFrames_ * channels_);
        }
        return true;
    }

    /// Space for the next block, after the carried bytes of a cut frame.
    uint8_t* BlockSpace() { return staging_.data() + carried_; }

    /// Converts the whole frames among the carried bytes and a block of byteCount bytes.
    bool Feed(ByteSink& sink, size_t byteCount)
    {
        const size_t total = carried_ + byteCount;
        const size_t frames = total / frameBytes_;
        const void* input = staging_.data();
        size_t sampleSize = sampleBytes_;
        if (format_ == SampleFormat::U8) {
            for (size_t i = 0; i < frames * channels_; ++i)
                floatInput_[i] = static_cast<float>(staging_[i] - 128) / 128.0f;
            input = floatInput_.data();
            sampleSize = sizeof(float);
        } else if (format_ == SampleFormat::S24) {
            for (size_t i = 0; i < frames * channels_; ++i) {
                const uint8_t* p = staging_.data() + 3 * i;
                wideInput_[i] = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8)
                                                     | (static_cast<uint32_t>(p[1]) << 16)
                                                     | (static_cast<uint32_t>(p[2]) << 24));
            }
            input = wideInput_.data();
            sampleSize = sizeof(int32_t);
        }
        size_t done = 0;
        while (done < frames) {
            size_t used = 0;
            size_t produced = 0;
            const auto* in = static_cast<const uint8_t*>(input) + done * channels_ * sampleSize;
            if (soxr_process(soxr_, in, frames - done, &used, OutputSpace(), outputFrames_, &produced))
                return false;
            if (!Emit(sink, produced))
                return false;
            if (used == 0 && produced == 0)
                return false;  // no progress: the resampler is stuck
            done += used;
        }
        carried_ = total - frames * frameBytes_;
        std::memmove(staging_.data(), staging_.data() + frames * frameBytes_, carried_);
        return true;
    }

    /// Drains what the resampler still holds at the end of the input.
    bool Flush(ByteSink& sink)
    {
        for (;;) {
            size_t produced = 0;
            if (soxr_process(soxr_, nullptr, 0, nullptr, OutputSpace(), outputFrames_, &produced))
                return false;
            if (produced == 0)
                return true;
            if (!Emit(sink, produced))
                return false;
        }
    }

    uint64_t WrittenBytes() const { return written_; }

private:
    void* OutputSpace()
    {
        if (format_ == SampleFormat::U8)
            return floatOutput_.data();
        if (format_ == SampleFormat::S24)
            return wideOutput_.data();
        return output_.data();
    }

    bool Emit(ByteSink& sink, size_t frames)
    {
        if (frames == 0)
            return true;
        const size_t bytes = frames * frameBytes_;
        if (written_ + bytes > dataLimit_)
            return false;  // the header's size fields could not describe the output
        if (format_ == SampleFormat::U8) {
            for (size_t i = 0; i < frames * channels_; ++i) {
                const long v = std::lround(floatOutput_[i] * 128.0f);
                output_[i] = static_cast<uint8_t>(std::clamp(v, -128L, 127L) + 128);
            }
        } else if (format_ == SampleFormat::S24) {
            // The top three bytes, rounded to the nearest 24-bit step.
            for (size_t i = 0; i < frames * channels_; ++i) {
                const int64_t v =
                    std::clamp<int64_t>((int64_t { wideOutput_[i] } + 128) >> 8, -8388608, 8388607);
                const auto u = static_cast<uint32_t>(v);
                output_[3 * i] = static_cast<uint8_t>(u);
                output_[3 * i + 1] = static_cast<uint8_t>(u >> 8);
                output_[3 * i + 2] = static_cast<uint8_t>(u >> 16);
            }
        }
        written_ += bytes;
        return sink.Write(output_.data(), bytes);
    }

    const SampleFormat format_;
    const unsigned channels_;
    const size_t sampleBytes_;
    const size_t frameBytes_;
    const double sourceRate_;
    const double destinationRate_;
    const uint64_t dataLimit_;
    soxr_t soxr_ = nullptr;
    std::vector<uint8_t> staging_;
    std::vector<uint8_t> output_;
    std::vector<float> floatInput_;
    std::vector<float> floatOutput_;
    std::vector<int32_t> wideInput_;
    std::vector<int32_t> wideOutput_;
    size_t outputFrames_ = 0;
    size_t carried_ = 0;
    uint64_t written_ = 0;
};

}  // namespace

int ConvertSampleRateData(StageEvents& events, ByteSource& in, ByteSink& sink, const WaveFileInfo& info,
                          const WaveFormat& destinationFormat)
{
    // Plain 8- and 16-bit PCM keeps the 46-byte header it always had; other formats, and
    // sources that were extensible, get the extensible header common tools expect of them;
    // RF64 sources stay RF64.
    const SampleFormat format = info.sampleFormat;
    const bool legacy = (format == SampleFormat::U8 || format == SampleFormat::S16)
        && info.format.formatTag == 1 && !info.rf64;
    FreshHeader header;
    if (legacy) {
        const auto fresh = MakeFreshHeader(destinationFormat);
        header.bytes.assign(fresh.begin(), fresh.end());
    } else {
        header = MakeHeaderFor(format, destinationFormat.sampleRate, destinationFormat.channels,
                               info.format.channelMask, info.rf64);
    }
    const uint64_t dataLimit = legacy ? kFreshDataLimit
        : header.rf64                 ? UINT64_MAX
                                      : 0xFFFFFFFFull - (header.bytes.size() - 8);
    Conversion conversion(format, destinationFormat.channels, info.format.sampleRate,
                          destinationFormat.sampleRate, dataLimit);
    if (!conversion.Open())
        return kCopyWriteFailed;
    if (!sink.Write(header.bytes.data(), header.bytes.size()))
        return kCopyWriteFailed;

    // Blocks of 4,096 bytes up to the declared data size; a source that ends early is
    // converted as far as it goes.
    const auto dataSize = static_cast<int64_t>(info.dataSize);
    int64_t remaining = dataSize;
    int blockCount = 0;
    while (remaining > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(remaining, kBlockSize));
        const long long got = in.Read(conversion.BlockSpace(), n);
        if (got < 0)
            return kCopyReadFailed;
        remaining -= static_cast<int64_t>(kBlockSize);
        if (!conversion.Feed(sink, static_cast<size_t>(got)))
            return kCopyWriteFailed;
        if (static_cast<size_t>(got) < n)
            break;
        if (++blockCount >= kBlocksPerUpdate) {
            const int64_t converted = dataSize - std::max<int64_t>(remaining, 0);
            events.StageProgress(
                Stage::Conversion, converted, dataSize,
                static_cast<int>(static_cast<double>(converted) / static_cast<double>(dataSize) * 1000.0));
            blockCount = 0;
        }
    }
    if (!conversion.Flush(sink))
        return kCopyWriteFailed;
    const bool patched = legacy ? PatchFreshHeader(sink, static_cast<uint32_t>(conversion.WrittenBytes()))
                                : PatchHeader(sink, header, conversion.WrittenBytes());
    if (!patched)
        return kCopyWriteFailed;
    return 0;
}

namespace {

// The conversion of an open source into destination; 0, kCopyReadFailed or -1.
int ConvertInto(StageEvents& events, const WaveSource& source, const std::string& destination, int rate)
{
    const WaveFileInfo& info = source.Info();
    const WaveFormat& from = info.format;
    if (rate <= 0 || from.channels == 0 || info.sampleFormat == SampleFormat::None || from.sampleRate == 0)
        return -1;
    WaveFormat to = MakePcmFormat(static_cast<uint32_t>(rate), from.bitsPerSample, from.channels);
    if (IsFloatFormat(info.sampleFormat))
        to.formatTag = 3;

    DescriptorReader in = source.ReaderAt(info.dataOffset);
    if (!in.IsOpen())
        return kCopyReadFailed;
    // The destination is replaced whole, and appears only when complete: never the source.
    struct stat status {};
    const bool isSource = ::lstat(destination.c_str(), &status) == 0
        && static_cast<uint64_t>(status.st_dev) == source.Identity().device
        && static_cast<uint64_t>(status.st_ino) == source.Identity().inode;
    OutputFile sink;
    if (isSource || !sink.Open(destination))
        return -1;
    const int converted = ConvertSampleRateData(events, in, sink, info, to);
    if (converted != 0) {
        sink.Discard();
        return converted == kCopyReadFailed ? kCopyReadFailed : -1;
    }
    return sink.Close() ? 0 : -1;
}

}  // namespace

Result<WaveSource> ConvertSource(StageEvents& events, const WaveSource& source,
                                 const std::string& destination, int rate)
{
    const int converted = ConvertInto(events, source, destination, rate);
    if (converted == kCopyReadFailed)
        return Failure { Problem::CannotRead, source.Path() };
    if (converted != 0)
        return Failure { Problem::CannotCreate, destination };
    return WaveSource::OpenProbed(destination, WaveSource::Locking::None);
}

int ConvertSampleRate(StageEvents& events, const std::string& source, const std::string& destination,
                      int rate, int bitsPerSample, int channels)
{
    Result<WaveSource> opened = WaveSource::OpenProbed(source, WaveSource::Locking::None);
    if (!opened)
        return opened.Error().detail == kProbeCannotRead ? kCopyReadFailed : -1;
    // The stream converts the rate only: width and channel count stay the source's.
    const WaveFormat& from = opened->Info().format;
    if (channels <= 0 || from.bitsPerSample != bitsPerSample || from.channels != channels)
        return -1;
    return ConvertInto(events, *opened, destination, rate);
}

}  // namespace orva
