#include "gogo/wave_input.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gogo {
namespace {

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint64_t Le64(const std::uint8_t* p)
{
    return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

// The part every sub-format GUID of a registered tag shares (bytes 2..15 as stored).
constexpr std::uint8_t kGuidTail[14] = { 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 };

/// True when a file read of `wanted` frames that gave `got` lost samples. A request never goes
/// past the data the file held when it was opened, so coming up short means a read error
/// (ferror) or a file cut while it is read: samples are missing either way, and an encoding
/// of what was read would pass for the whole file.
bool ShortRead(std::size_t got, long wanted) { return got < static_cast<std::size_t>(wanted); }

}  // namespace

PcmInput::~PcmInput()
{
    if (file_)
        std::fclose(file_);
}

int PcmInput::OpenFile(const std::string& path)
{
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_)
        return GOGO_ERR_INPUT;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    if (std::fseek(file_, 0, SEEK_END) != 0)
        return GOGO_ERR_INPUT;
    const long fileSize = std::ftell(file_);
    std::rewind(file_);

    std::uint8_t header[12];
    if (std::fread(header, 1, 12, file_) != 12 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return GOGO_ERR_INPUT;
    // RF64 and BW64 keep their sizes in a ds64 chunk; the data chunk's field then reads -1.
    const bool rf64 = std::memcmp(header, "RF64", 4) == 0 || std::memcmp(header, "BW64", 4) == 0;
    if (!rf64 && std::memcmp(header, "RIFF", 4) != 0)
        return GOGO_ERR_INPUT;

    // Walk the chunks (each padded to an even size) until both "fmt " and "data" are seen.
    bool haveFormat = false;
    bool haveData = false;
    int formatTag = 0;
    long dataOffset = 0;
    std::int64_t dataBytes = 0;
    std::uint64_t ds64DataBytes = 0;
    long position = 12;
    while (!(haveFormat && haveData) && position + 8 <= fileSize) {
        std::uint8_t chunk[8];
        if (std::fseek(file_, position, SEEK_SET) != 0 || std::fread(chunk, 1, 8, file_) != 8)
            break;
        const std::uint32_t size = Le32(chunk + 4);
        const long body = position + 8;
        if (std::memcmp(chunk, "ds64", 4) == 0 && size >= 16) {
            std::uint8_t sizes[16];
            if (std::fread(sizes, 1, 16, file_) != 16)
                return GOGO_ERR_INPUT;
            ds64DataBytes = Le64(sizes + 8);
        } else if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFormat) {
            std::uint8_t format[40] {};
            if (size < 16 || std::fread(format, 1, std::min<std::uint32_t>(size, 40), file_) == 0)
                return GOGO_ERR_INPUT;
            formatTag = Le16(format);
            layout_.channels = Le16(format + 2);
            layout_.sampleRate = static_cast<int>(Le32(format + 4));
            layout_.bitsPerSample = Le16(format + 14);
            // Extensible: the sub-format GUID names the real tag.
            if (formatTag == 0xFFFE)
                formatTag = size >= 40 && std::memcmp(format + 26, kGuidTail, sizeof kGuidTail) == 0
                    ? Le16(format + 24)
                    : 0;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            dataOffset = body;
            const std::uint64_t declared = rf64 && size == 0xFFFFFFFFu ? ds64DataBytes : size;
            // A size beyond the end of the file (a truncated file) is cut to what is there.
            dataBytes = static_cast<std::int64_t>(std::min<std::uint64_t>(
                declared, static_cast<std::uint64_t>(std::max<long>(0, fileSize - body))));
            haveData = true;
        }
        position = body + static_cast<long>(size) + static_cast<long>(size & 1u);
    }
    if (!haveFormat || !haveData)
        return GOGO_ERR_INPUT;
    const int bits = layout_.bitsPerSample;
    layout_.isFloat = formatTag == 3;
    const bool known = formatTag == 1 ? (bits == 8 || bits == 16 || bits == 24 || bits == 32)
                                      : formatTag == 3 && (bits == 32 || bits == 64);
    if (!known || layout_.channels < 1 || layout_.channels > 2 || layout_.sampleRate <= 0)
        return GOGO_ERR_FORMAT;
    const int blockBytes = layout_.channels * layout_.bitsPerSample / 8;
    totalFrames_ = dataBytes / blockBytes;
    framesLeft_ = totalFrames_;
    if (std::fseek(file_, dataOffset, SEEK_SET) != 0)
        return GOGO_ERR_INPUT;
    return GOGO_OK;
}

int PcmInput::OpenMemory(const GogoMemoryInput& input)
{
    if (!input.read || input.bitsPerSample != 16 || input.channels < 1 || input.channels > 2
        || input.samplesPerSec <= 0)
        return GOGO_ERR_FORMAT;
    read_ = input.read;
    layout_ = PcmLayout { input.channels, input.samplesPerSec, 16 };
    if (input.size >= 0) {
        totalFrames_ = input.size / (2 * input.channels);
        framesLeft_ = totalFrames_;
    }
    return GOGO_OK;
}

long PcmInput::Read(std::int16_t* out, long frameCount)
{
    if (framesLeft_ >= 0)
        frameCount = static_cast<long>(std::min<std::int64_t>(frameCount, framesLeft_));
    if (frameCount <= 0 || ended_)
        return 0;
    const int samples = static_cast<int>(frameCount) * layout_.channels;
    long frames = 0;
    if (read_) {
        // The read function fills the whole request (zero-padded at the end) or reports the end.
        if (read_(out, static_cast<std::uint32_t>(samples * 2)) != GOGO_OK) {
            ended_ = true;
            return 0;
        }
        frames = frameCount;
    } else if (layout_.bitsPerSample == 16) {
        const std::size_t got = std::fread(out, static_cast<std::size_t>(2 * layout_.channels),
                                           static_cast<std::size_t>(frameCount), file_);
        if (ShortRead(got, frameCount))
            return -1;
        frames = static_cast<long>(got);
    } else {
        bytes_.resize(static_cast<std::size_t>(samples));
        const std::size_t got = std::fread(bytes_.data(), static_cast<std::size_t>(layout_.channels),
                                           static_cast<std::size_t>(frameCount), file_);
        if (ShortRead(got, frameCount))
            return -1;
        frames = static_cast<long>(got);
        // 8-bit WAV samples are unsigned with 128 as silence.
        for (long i = 0; i < frames * layout_.channels; ++i)
            out[i] = static_cast<std::int16_t>((bytes_[static_cast<std::size_t>(i)] - 128) * 256);
    }
    if (framesLeft_ >= 0)
        framesLeft_ -= frames;
    if (frames < frameCount)
        ended_ = true;
    return frames;
}

long PcmInput::ReadWide(std::int32_t* intLeft, std::int32_t* intRight, float* floatLeft, float* floatRight,
                        long frameCount)
{
    if (framesLeft_ >= 0)
        frameCount = static_cast<long>(std::min<std::int64_t>(frameCount, framesLeft_));
    if (frameCount <= 0 || ended_ || !file_)
        return 0;
    const int width = layout_.bitsPerSample / 8;
    const std::size_t frameBytes = static_cast<std::size_t>(width * layout_.channels);
    bytes_.resize(frameBytes * static_cast<std::size_t>(frameCount));
    const std::size_t got =
        std::fread(bytes_.data(), frameBytes, static_cast<std::size_t>(frameCount), file_);
    if (ShortRead(got, frameCount))
        return -1;
    const long frames = static_cast<long>(got);
    for (long i = 0; i < frames; ++i) {
        for (int c = 0; c < layout_.channels; ++c) {
            const std::uint8_t* p = bytes_.data() + static_cast<std::size_t>(i) * frameBytes
                + static_cast<std::size_t>(c * width);
            if (layout_.isFloat) {
                double x;
                if (width == 4) {
                    float f;
                    std::memcpy(&f, p, 4);
                    x = f;
                } else {
                    std::memcpy(&x, p, 8);
                }
                // The encoder gets no NaN or infinity: silence and full scale stand in.
                x = std::isnan(x) ? 0.0 : std::clamp(x, -1.0, 1.0);
                (c == 0 ? floatLeft : floatRight)[i] = static_cast<float>(x);
            } else {
                // 24-bit samples go to the top of the 32-bit word: LAME's full scale is 2^31.
                const std::uint32_t u = width == 3 ? (static_cast<std::uint32_t>(p[0]) << 8)
                        | (static_cast<std::uint32_t>(p[1]) << 16) | (static_cast<std::uint32_t>(p[2]) << 24)
                                                   : Le32(p);
                (c == 0 ? intLeft : intRight)[i] = static_cast<std::int32_t>(u);
            }
        }
    }
    if (framesLeft_ >= 0)
        framesLeft_ -= frames;
    if (frames < frameCount)
        ended_ = true;
    return frames;
}

}  // namespace gogo
