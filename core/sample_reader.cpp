#include "core/sample_reader.h"

#include "core/sample_kernels.h"

#include <algorithm>
#include <cstring>

namespace orva {
namespace {

template <typename Out> void Convert(const uint8_t* in, size_t count, SampleFormat format, Out* out)
{
    // One switch per block, one conversion per sample.
    switch (format) {
    case SampleFormat::U8:
        for (size_t i = 0; i < count; ++i)
            out[i] = static_cast<Out>((in[i] - 128) / 128.0);
        break;
    case SampleFormat::F32:
        for (size_t i = 0; i < count; ++i) {
            float x;
            std::memcpy(&x, in + 4 * i, 4);
            out[i] = static_cast<Out>(x);
        }
        break;
    default: {
        const size_t width = SampleBytes(format);
        for (size_t i = 0; i < count; ++i)
            out[i] = static_cast<Out>(SampleValue(in + width * i, format));
    }
    }
}

}  // namespace

bool SampleReader::Open(const std::string& path)
{
    if (ProbeWaveFile(path, info_) < 0 || info_.sampleFormat == SampleFormat::None
        || info_.format.channels == 0)
        return false;
    if (!file_.Open(path) || !file_.Skip(info_.dataOffset))
        return false;
    frameBytes_ = SampleBytes(info_.sampleFormat) * info_.format.channels;
    remaining_ = info_.dataSize / frameBytes_ * frameBytes_;
    return true;
}

long long SampleReader::Fill(size_t frameCount)
{
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(remaining_, uint64_t { frameCount } * frameBytes_));
    raw_.resize(want);
    if (want == 0)
        return 0;
    const long long got = file_.Read(raw_.data(), want);
    if (got < 0)
        return -1;
    // A file that shrank since the probe ends at its last whole frame.
    const size_t frames = static_cast<size_t>(got) / frameBytes_;
    remaining_ = static_cast<size_t>(got) < want ? 0 : remaining_ - want;
    return static_cast<long long>(frames);
}

long long SampleReader::Read(double* out, size_t frameCount)
{
    const long long frames = Fill(frameCount);
    if (frames > 0)
        Convert(raw_.data(), static_cast<size_t>(frames) * Channels(), info_.sampleFormat, out);
    return frames;
}

long long SampleReader::Read(float* out, size_t frameCount)
{
    const long long frames = Fill(frameCount);
    if (frames > 0)
        Convert(raw_.data(), static_cast<size_t>(frames) * Channels(), info_.sampleFormat, out);
    return frames;
}

}  // namespace orva
