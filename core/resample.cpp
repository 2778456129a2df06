#include "core/resample.h"

#include "core/byte_io.h"
#include "core/output_file.h"
#include "core/wave_file.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace orva {
namespace {

constexpr size_t kBlockSize = 4096;          // source bytes fed per block
constexpr size_t kOutputBufferSize = 65536;  // destination bytes per soxr call
constexpr int kBlocksPerUpdate = 51;         // label and bar after every 51st block

// One conversion: the resampler, the frame-aligned staging buffers and the output.
// soxr counts frames ("samples per channel"); the file counts bytes.
class Conversion {
public:
    Conversion(const WaveFormat& sourceFormat, const WaveFormat& destinationFormat)
        : eightBit_(sourceFormat.bitsPerSample == 8), channels_(sourceFormat.channels),
          frameBytes_(static_cast<size_t>(sourceFormat.channels) * (eightBit_ ? 1 : 2)),
          sourceRate_(sourceFormat.sampleRate), destinationRate_(destinationFormat.sampleRate)
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
        // 16-bit data goes through soxr's integer interface without dither (it rounds and
        // clips); 8-bit data has no soxr type and goes through float.
        const soxr_datatype_t type = eightBit_ ? SOXR_FLOAT32_I : SOXR_INT16_I;
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
        if (eightBit_) {
            floatInput_.resize((kBlockSize + frameBytes_) / frameBytes_ * channels_);
            floatOutput_.resize(outputFrames_ * channels_);
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
        if (eightBit_) {
            for (size_t i = 0; i < frames * channels_; ++i)
                floatInput_[i] = static_cast<float>(staging_[i] - 128) / 128.0f;
            input = floatInput_.data();
        }
        const size_t sampleSize = eightBit_ ? sizeof(float) : 2;
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
    void* OutputSpace() { return eightBit_ ? static_cast<void*>(floatOutput_.data()) : output_.data(); }

    bool Emit(ByteSink& sink, size_t frames)
    {
        if (frames == 0)
            return true;
        const size_t bytes = frames * frameBytes_;
        if (written_ + bytes > kFreshDataLimit)
            return false;  // the header's size fields could not describe the output
        if (eightBit_) {
            for (size_t i = 0; i < frames * channels_; ++i) {
                const long v = std::lround(floatOutput_[i] * 128.0f);
                output_[i] = static_cast<uint8_t>(std::clamp(v, -128L, 127L) + 128);
            }
        }
        written_ += bytes;
        return sink.Write(output_.data(), bytes);
    }

    const bool eightBit_;
    const unsigned channels_;
    const size_t frameBytes_;
    const double sourceRate_;
    const double destinationRate_;
    soxr_t soxr_ = nullptr;
    std::vector<uint8_t> staging_;
    std::vector<uint8_t> output_;
    std::vector<float> floatInput_;
    std::vector<float> floatOutput_;
    size_t outputFrames_ = 0;
    size_t carried_ = 0;
    uint64_t written_ = 0;
};

}  // namespace

int ConvertSampleRateData(ProgressRow& row2, ByteSource& in, ByteSink& sink, const WaveFileInfo& info,
                          const WaveFormat& destinationFormat)
{
    Conversion conversion(info.format, destinationFormat);
    if (!conversion.Open())
        return kCopyWriteFailed;
    const auto header = MakeFreshHeader(destinationFormat);
    if (!sink.Write(header.data(), header.size()))
        return kCopyWriteFailed;

    // Blocks of 4,096 bytes up to the declared data size; a source that ends early is
    // converted as far as it goes.
    const int64_t dataSize = info.dataSize;
    int64_t remaining = dataSize;
    int blockCount = 0;
    char text[96];
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
            std::snprintf(text, sizeof text, "ｻﾝﾌﾟﾘﾝｸﾞﾚｰﾄ変換中(%d/%d)", static_cast<int>(converted),
                          static_cast<int>(dataSize));
            row2.SetLabel(text);
            row2.SetPosition(
                static_cast<int>(static_cast<double>(converted) / static_cast<double>(dataSize) * 1000.0));
            blockCount = 0;
        }
    }
    if (!conversion.Flush(sink))
        return kCopyWriteFailed;
    if (!PatchFreshHeader(sink, static_cast<uint32_t>(conversion.WrittenBytes())))
        return kCopyWriteFailed;
    return 0;
}

int ConvertSampleRate(ProgressRow& row2, const std::string& source, const std::string& destination, int rate,
                      int bitsPerSample, int channels)
{
    WaveFileInfo info {};
    const int probed = ProbeWaveFile(source, info);
    if (probed == kProbeCannotRead)
        return kCopyReadFailed;
    if (probed < 0)
        return -1;
    // The stream converts the rate only: width and channel count stay the source's.
    const WaveFormat& from = info.format;
    if (rate <= 0 || (bitsPerSample != 8 && bitsPerSample != 16) || channels <= 0 || !IsSupportedFormat(from)
        || from.bitsPerSample != bitsPerSample || from.channels != channels || from.sampleRate == 0)
        return -1;
    const WaveFormat to = MakePcmFormat(static_cast<uint32_t>(rate), static_cast<uint16_t>(bitsPerSample),
                                        static_cast<uint16_t>(channels));

    FileSource in;
    if (!in.Open(source) || !in.Skip(static_cast<uint64_t>(info.dataOffset)))
        return -1;
    // The destination is replaced whole, and appears only when complete: never the source.
    OutputFile sink;
    if (IsSameEntry(source, destination) || !sink.Open(destination))
        return -1;
    const int converted = ConvertSampleRateData(row2, in, sink, info, to);
    if (converted != 0) {
        sink.Discard();
        return converted;
    }
    return sink.Close() ? 0 : -1;
}

}  // namespace orva
