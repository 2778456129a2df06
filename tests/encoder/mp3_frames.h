#pragma once
// A walk over the MPEG audio frame headers of an MP3 file, for checking encoder output.

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orva::test {

struct Mp3Summary {
    bool valid = false;    ///< at least one frame and nothing but frames (and tags) found
    int frames = 0;        ///< audio frames, the leading Info/Xing frame included
    int sampleRate = 0;    ///< Hz, of the first frame
    int bitrate = 0;       ///< kbps, of the last audio frame (the Info frame may differ)
    int channelMode = -1;  ///< 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int samplesPerFrame = 0;
    bool hasInfoTag = false;  ///< "Info" or "Xing" in the first frame
    long leadingBytes = 0;    ///< bytes before the first frame (an ID3v2 tag)
};

inline Mp3Summary ReadMp3(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    Mp3Summary summary;
    std::size_t position = 0;
    if (bytes.size() >= 10 && std::memcmp(bytes.data(), "ID3", 3) == 0) {
        const std::size_t size = (bytes[6] & 0x7Fu) << 21 | (bytes[7] & 0x7Fu) << 14 | (bytes[8] & 0x7Fu) << 7
            | (bytes[9] & 0x7Fu);
        position = 10 + size;
    }
    summary.leadingBytes = static_cast<long>(position);
    static const int bitratesV1[] = { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0 };
    static const int bitratesV2[] = { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0 };
    static const int ratesV1[] = { 44100, 48000, 32000, 0 };
    while (position + 4 <= bytes.size()) {
        const unsigned char* h = bytes.data() + position;
        if (h[0] == 'T' && h[1] == 'A' && h[2] == 'G' && bytes.size() - position == 128)
            break;  // ID3v1
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
            return summary;
        const int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        const int layer = (h[1] >> 1) & 3;    // 1: layer III
        const int bitrateIndex = h[2] >> 4;
        const int rateIndex = (h[2] >> 2) & 3;
        const int padding = (h[2] >> 1) & 1;
        if (layer != 1 || version == 1 || rateIndex == 3)
            return summary;
        const int rate = ratesV1[rateIndex] / (version == 3 ? 1 : version == 2 ? 2 : 4);
        const int bitrate = (version == 3 ? bitratesV1 : bitratesV2)[bitrateIndex];
        if (bitrate == 0)
            return summary;
        const int samples = version == 3 ? 1152 : 576;
        const std::size_t length = static_cast<std::size_t>(samples / 8 * bitrate * 1000 / rate + padding);
        if (summary.frames == 0) {
            summary.sampleRate = rate;
            summary.samplesPerFrame = samples;
            const std::size_t end = std::min(bytes.size(), position + length);
            for (std::size_t i = position + 4; i + 4 <= end; ++i)
                if (!std::memcmp(&bytes[i], "Info", 4) || !std::memcmp(&bytes[i], "Xing", 4))
                    summary.hasInfoTag = true;
        }
        summary.bitrate = bitrate;
        summary.channelMode = h[3] >> 6;
        ++summary.frames;
        position += length;
    }
    summary.valid = summary.frames > 0 && position <= bytes.size();
    return summary;
}

}  // namespace orva::test
