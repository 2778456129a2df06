#include "encoder/mp3_length.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace orva {
namespace {

/// Reads a file front to back through a window, for a walk that moves forward in small steps.
class WindowReader {
public:
    explicit WindowReader(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), window_(kWindow)
    {
    }
    ~WindowReader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    WindowReader(const WindowReader&) = delete;
    WindowReader& operator=(const WindowReader&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Failed() const { return failed_; }

    /// Copies `length` (at most kWindow) bytes at `offset`; false at the end of the file or
    /// on a read error (Failed() tells which).
    bool Get(std::uint64_t offset, std::uint8_t* out, std::size_t length)
    {
        if (offset < start_ || offset + length > start_ + filled_) {
            start_ = offset;
            filled_ = 0;
            while (filled_ < kWindow) {
                const ssize_t got = ::pread(fd_, window_.data() + filled_, kWindow - filled_,
                                            static_cast<off_t>(start_ + filled_));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0)
                    failed_ = true;
                if (got <= 0)
                    break;
                filled_ += static_cast<std::size_t>(got);
            }
            if (filled_ < length)
                return false;
        }
        std::memcpy(out, window_.data() + (offset - start_), length);
        return true;
    }

private:
    static constexpr std::size_t kWindow = 64 * 1024;
    int fd_;
    bool failed_ = false;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    std::vector<std::uint8_t> window_;
};

struct FrameHeader {
    int samples = 0;     ///< samples per channel in the frame
    int sampleRate = 0;  ///< Hz
    int bytes = 0;       ///< the whole frame, header included
};

/// Decodes a four-byte MPEG audio frame header; false for anything else (including the
/// free-format bitrate, whose frame length the header does not give).
bool DecodeHeader(const std::uint8_t* h, FrameHeader& frame)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return false;
    const int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
    const int layer = (h[1] >> 1) & 3;    // 3 layer I, 2 layer II, 1 layer III, 0 reserved
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return false;
    static constexpr int kBitrates[3][3][15] = {
        // MPEG-1: layer I, II, III
        { { 0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448 },
          { 0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384 },
          { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 } },
        // MPEG-2 and 2.5: layer I, II, III
        { { 0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256 },
          { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 },
          { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 } },
        {},
    };
    static constexpr int kRates[3] = { 44100, 48000, 32000 };
    const bool mpeg1 = version == 3;
    const int layerIndex = 3 - layer;  // 0 layer I, 1 layer II, 2 layer III
    const int kbps = kBitrates[mpeg1 ? 0 : 1][layerIndex][bitrateIndex];
    frame.sampleRate = kRates[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    if (layerIndex == 0) {
        frame.samples = 384;
        frame.bytes = (12 * kbps * 1000 / frame.sampleRate + padding) * 4;
    } else {
        frame.samples = layerIndex == 2 && !mpeg1 ? 576 : 1152;
        frame.bytes = frame.samples / 8 * kbps * 1000 / frame.sampleRate + padding;
    }
    return true;
}

/// How far into the file the first frame is looked for.
constexpr std::uint64_t kSyncSearch = 64 * 1024;

}  // namespace

Mp3Length MeasureMp3(const std::string& path)
{
    Mp3Length length;
    WindowReader file(path);
    if (!file.IsOpen())
        return length;
    std::uint64_t position = 0;
    std::uint8_t bytes[10];
    if (file.Get(0, bytes, 10) && std::memcmp(bytes, "ID3", 3) == 0) {
        const std::uint64_t body = (bytes[6] & 0x7Fu) << 21 | (bytes[7] & 0x7Fu) << 14
            | (bytes[8] & 0x7Fu) << 7 | (bytes[9] & 0x7Fu);
        position = 10 + body + ((bytes[5] & 0x10) ? 10 : 0);  // a footer repeats the header
    }
    // Like a player, look past leading bytes that are no frame (an encoder's own header or
    // message) for the first frame that is followed by another one or by the end of the file.
    FrameHeader frame;
    for (std::uint64_t start = position; start < position + kSyncSearch; ++start) {
        if (!file.Get(start, bytes, 4))
            break;
        if (!DecodeHeader(bytes, frame))
            continue;
        const std::uint64_t next = start + static_cast<std::uint64_t>(frame.bytes);
        FrameHeader following;
        if ((file.Get(next, bytes, 4) && DecodeHeader(bytes, following)) || !file.Get(next, bytes, 1)) {
            position = start;
            break;
        }
    }
    while (file.Get(position, bytes, 4) && DecodeHeader(bytes, frame)) {
        // A frame cut by the end of the file does not count.
        std::uint8_t last;
        if (!file.Get(position + static_cast<std::uint64_t>(frame.bytes) - 1, &last, 1))
            break;
        if (length.frames == 0) {
            length.samplesPerFrame = frame.samples;
            length.sampleRate = frame.sampleRate;
        }
        ++length.frames;
        position += static_cast<std::uint64_t>(frame.bytes);
    }
    length.readable = !file.Failed();
    return length;
}

bool Mp3CoversWave(const Mp3Length& mp3, std::uint64_t waveFrames, std::uint32_t waveRate)
{
    if (!mp3.readable)
        return false;
    if (waveFrames == 0)
        return true;
    if (mp3.frames == 0 || waveRate == 0)
        return false;
    // The WAV's frames at the MP3's rate, whole seconds apart so that no product overflows.
    const auto mp3Rate = static_cast<std::uint64_t>(mp3.sampleRate);
    const std::uint64_t needed =
        waveFrames / waveRate * mp3Rate + waveFrames % waveRate * mp3Rate / waveRate + kMp3EncoderDelay;
    const auto covered =
        static_cast<std::uint64_t>(mp3.frames + 2) * static_cast<std::uint64_t>(mp3.samplesPerFrame);
    return covered >= needed;
}

}  // namespace orva
