// Sample-rate conversion: the fresh header, length after the flush over a table of ratios,
// channels kept in place across block edges that cut frames, progress and failures.

#include "core/resample.h"
#include "core/wave_file.h"
#include "tests/core/recorders.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace orva {
namespace {

using namespace orva::test;

struct Converted {
    int result;
    Bytes bytes;
    WaveFileInfo info {};
    std::vector<std::string> events;
};

Converted Convert(const Bytes& source, int rate, int bits, int channels)
{
    TempDir dir;
    Converted out;
    RecordingStages events;
    out.result =
        ConvertSampleRate(events, dir.Write("in.wav", source), dir.File("out.wav"), rate, bits, channels);
    out.events = events.Events();
    out.bytes = ReadFile(dir.File("out.wav"));
    if (out.result == 0) {
        const int64_t riff = ParseWaveHeader(out.info, out.bytes.data(), out.bytes.size());
        EXPECT_EQ(riff, out.info.rf64 ? 0xFFFFFFFF : int64_t(out.bytes.size() - 8));
        EXPECT_EQ(out.info.dataSize, out.bytes.size() - out.info.dataOffset);
    }
    return out;
}

int Level(int channel) { return (channel % 2 ? -1 : 1) * (channel + 1) * 1000; }

Bytes Cat2(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// frameCount frames of 16-bit data, channel c holding the constant Level(c).
Bytes Constant(uint16_t channels, uint32_t rate, size_t frameCount)
{
    std::vector<int> words;
    for (size_t i = 0; i < frameCount * channels; ++i)
        words.push_back(Level(int(i % channels)));
    return PcmWave(channels, rate, 16, Words(words));
}

TEST(Resample, Headers)
{
    const Converted stereo = Convert(Constant(2, 44100, 44100), 22050, 16, 2);
    ASSERT_EQ(stereo.result, 0);
    const WaveFormat& f = stereo.info.format;
    EXPECT_EQ(std::tuple(f.formatTag, f.channels, f.sampleRate, f.avgBytesPerSec, f.blockAlign,
                         f.bitsPerSample, f.extraSize),
              std::tuple(1, 2, 22050u, 88200u, 4, 16, 0));
    EXPECT_EQ(stereo.info.dataSize, 22050u * 4);

    const Converted empty = Convert(PcmWave(2, 44100, 16, {}), 48000, 16, 2);
    EXPECT_EQ(empty.bytes.size(), 46u);
    EXPECT_TRUE(empty.events.empty());
}

TEST(Resample, EightBitMonoTo48k)
{
    Bytes samples(8000, 128);  // silence, then a full-scale square wave
    for (size_t i = 4000; i < 8000; ++i)
        samples[i] = (i / 40) % 2 ? 255 : 0;
    const Converted out = Convert(PcmWave(1, 8000, 8, samples), 48000, 8, 1);
    ASSERT_EQ(out.result, 0);
    EXPECT_EQ(out.info.format.avgBytesPerSec, 48000u);
    EXPECT_EQ(out.info.format.blockAlign, 1);
    ASSERT_EQ(out.info.dataSize, 48000u);
    EXPECT_EQ(std::count(out.bytes.begin() + 1046, out.bytes.begin() + 20046, 128), 19000);  // stays exact
    const auto [low, high] = std::minmax_element(out.bytes.begin() + 26046, out.bytes.end());
    EXPECT_LE(*low, 5);  // clamped at the extremes, not wrapped around
    EXPECT_GE(*high, 250);
}

TEST(Resample, LengthAfterFlushOverRatios)
{
    const std::tuple<uint32_t, uint32_t, uint16_t, size_t> cases[] = {
        { 44100, 22050, 2, 44100 }, { 44100, 48000, 2, 10000 }, { 48000, 44100, 1, 12345 },
        { 22050, 44100, 2, 1 },     { 8000, 48000, 1, 4096 },   { 32000, 44100, 3, 7001 },
        { 48000, 8000, 6, 999 },    { 44100, 44100, 2, 5000 },  { 11025, 32000, 5, 3000 },
    };
    for (const auto& [from, to, channels, frames] : cases) {
        SCOPED_TRACE(std::to_string(from) + "->" + std::to_string(to) + " x" + std::to_string(channels));
        const Converted out = Convert(Constant(channels, from, frames), int(to), 16, channels);
        ASSERT_EQ(out.result, 0);
        const size_t frameBytes = 2u * channels, outFrames = size_t(out.info.dataSize) / frameBytes;
        ASSERT_EQ(out.info.dataSize % frameBytes, 0u);
        EXPECT_NEAR(double(outFrames), std::round(double(frames) * to / from), 1.0);
        for (int ch = 0; outFrames > 200 && ch < channels; ++ch)
            EXPECT_NEAR(int16_t(Get16(out.bytes, 46 + outFrames / 2 * frameBytes + 2 * ch)), Level(ch), 2)
                << ch;
    }
}

TEST(Resample, LabelAfterEveryFiftyFirstBlock)
{
    EXPECT_TRUE(Convert(PcmWave(1, 44100, 16, Bytes(4096 * 50)), 48000, 16, 1).events.empty());
    EXPECT_EQ(Convert(PcmWave(1, 44100, 16, Bytes(4096 * 51 + 100)), 48000, 16, 1).events,
              std::vector<std::string> { "progress conversion 208896/208996 999" });
    // When the 51st block is the last and short, the count stops at the data size.
    EXPECT_EQ(Convert(PcmWave(1, 44100, 16, Bytes(4096 * 51 - 100)), 48000, 16, 1).events,
              std::vector<std::string> { "progress conversion 208796/208796 1000" });
}

TEST(Resample, FailuresLeaveNoOutput)
{
    TempDir dir;
    RecordingStages row;
    const Bytes wave = Constant(2, 44100, 100);
    const std::string stereo = dir.Write("in.wav", wave), target = dir.File("out.wav");
    Bytes chunks;
    AddChunk(chunks, "fmt ", FmtBody(1, 2, 44100, 20));
    AddChunk(chunks, "data", Bytes(60));
    const std::string odd = dir.Write("odd.wav", Riff(chunks));  // 20-bit containers: no format
    const std::tuple<std::string, std::string, int, int, int> cases[] = {
        { dir.File("none.wav"), target, 22050, 16, 2 },
        { odd, target, 22050, 20, 2 },
        { stereo, target, 22050, 8, 2 },
        { stereo, target, 22050, 16, 1 },
        { stereo, target, 0, 16, 2 },
        { stereo, dir.File("no/dir/x.wav"), 22050, 16, 2 },
        { stereo, stereo, 22050, 16, 2 },
        { stereo, "/dev/full", 22050, 16, 2 },
    };
    for (const auto& [source, destination, rate, bits, channels] : cases)
        EXPECT_EQ(ConvertSampleRate(row, source, destination, rate, bits, channels), -1)
            << destination << rate << bits << channels;
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(ReadFile(stereo), wave);
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));  // a device is never removed

    Bytes claimsMore = Constant(2, 44100, 1000);
    claimsMore[42] = 1;  // 69,536 bytes declared, 4,000 present: converts what exists
    EXPECT_NEAR(Convert(claimsMore, 22050, 16, 2).info.dataSize / 4, 500, 1);
}

// Every sample format converts into the same format with a header common tools read: a
// constant level per channel comes out at the same level.
TEST(Resample, EveryFormatKeepsItsFormat)
{
    const auto constant = [](const Bytes& fmt, size_t frameCount, const Bytes& frame) {
        Bytes chunks, data;
        for (size_t i = 0; i < frameCount; ++i)
            data.insert(data.end(), frame.begin(), frame.end());
        AddChunk(chunks, "fmt ", fmt);
        AddChunk(chunks, "data", data);
        return Riff(chunks);
    };
    const auto bytesOf = [](auto value) {
        const auto* p = reinterpret_cast<const uint8_t*>(&value);
        return Bytes(p, p + sizeof value);
    };
    Bytes ext6 = FmtBody(0xFFFE, 6, 44100, 16, 18, 22);
    Put16(ext6, 16), Put32(ext6, 0x3F), Put16(ext6, 1), Put16(ext6, 0);
    ext6.insert(ext6.end(), { 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 });
    Bytes frame6;
    for (int c = 0; c < 6; ++c)
        Put16(frame6, uint32_t(Level(c)));
    const Bytes s24Frame { 0x00, 0x00, 0x20, 0x00, 0x00, 0xE0 };  // +2^21, -2^21
    Bytes s32Frame, f32Frame = Cat2(bytesOf(0.25f), bytesOf(-0.5f)),
                    f64Frame = Cat2(bytesOf(0.25), bytesOf(-0.5));
    Put32(s32Frame, 1u << 29), Put32(s32Frame, uint32_t(-(1 << 28)));
    struct Case {
        const char* name;
        Bytes file;
        SampleFormat format;
        uint16_t bits, channels;
        std::vector<double> levels;  // per channel, full scale 1
    } cases[] = {
        { "s24",
          constant(FmtBody(1, 2, 44100, 24), 4410, s24Frame),
          SampleFormat::S24,
          24,
          2,
          { 0.25, -0.25 } },
        { "s32",
          constant(FmtBody(1, 2, 44100, 32), 4410, s32Frame),
          SampleFormat::S32,
          32,
          2,
          { 0.25, -0.125 } },
        { "f32",
          constant(FmtBody(3, 2, 44100, 32), 4410, f32Frame),
          SampleFormat::F32,
          32,
          2,
          { 0.25, -0.5 } },
        { "f64",
          constant(FmtBody(3, 2, 44100, 64), 4410, f64Frame),
          SampleFormat::F64,
          64,
          2,
          { 0.25, -0.5 } },
        { "16-bit 6 channels extensible",
          constant(ext6, 4410, frame6),
          SampleFormat::S16,
          16,
          6,
          { 1000 / 32768.0, -2000 / 32768.0, 3000 / 32768.0, -4000 / 32768.0, 5000 / 32768.0,
            -6000 / 32768.0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Converted out = Convert(c.file, 48000, c.bits, c.channels);
        ASSERT_EQ(out.result, 0);
        EXPECT_EQ(out.info.sampleFormat, c.format);
        EXPECT_EQ(out.info.format.formatTag, 0xFFFE);
        EXPECT_EQ(out.info.format.channels, c.channels);
        EXPECT_EQ(out.info.format.sampleRate, 48000u);
        EXPECT_EQ(out.info.format.blockAlign, c.channels * c.bits / 8);
        const size_t width = c.bits / 8u, frames = out.info.dataSize / (width * c.channels);
        EXPECT_NEAR(double(frames), 4800.0, 1.0);
        // A frame from the middle, away from the filter's edges.
        const size_t at = out.info.dataOffset + frames / 2 * width * c.channels;
        for (size_t ch = 0; ch < c.channels; ++ch) {
            const size_t p = at + ch * width;
            double v;
            if (c.format == SampleFormat::F32) {
                float f;
                std::memcpy(&f, &out.bytes[p], 4);
                v = f;
            } else if (c.format == SampleFormat::F64) {
                std::memcpy(&v, &out.bytes[p], 8);
            } else {
                uint64_t u = 0;
                for (size_t k = 0; k < width; ++k)
                    u |= uint64_t { out.bytes[p + k] } << (8 * k);
                v = double(int64_t(u << (64 - 8 * width)) >> (64 - 8 * width))
                    / std::ldexp(1.0, int(8 * width - 1));
            }
            EXPECT_NEAR(v, c.levels[ch], 1e-3) << ch;
        }
        // sox, where installed, reads the header as it stands.
        TempDir dir;
        const std::string path = dir.Write("out.wav", out.bytes);
        if (std::system("command -v sox >/dev/null") == 0) {
            EXPECT_EQ(std::system(("sox -V1 '" + path + "' -n stat 2>/dev/null").c_str()), 0);
        }
    }
}

}  // namespace
}  // namespace orva
