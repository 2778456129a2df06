// The peak scan: magnitudes, the first position, missing bytes and the progress texts.

#include "core/normalize.h"
#include "core/peak_scan.h"
#include "tests/core/recorders.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <random>

namespace orva {
namespace {

using namespace orva::test;

int Scan(const Bytes& file, RecordingStages* row = nullptr)
{
    TempDir dir;
    RecordingStages ignored, boxes;
    const std::optional<SamplePeak> peak = ScanPeak(row ? *row : ignored, boxes, dir.Write("scan.wav", file));
    EXPECT_TRUE(boxes.Events().empty());
    return peak ? int(peak->Integer()) : -1;
}

std::vector<int> WithAt(size_t count, int fill, size_t at, int value)
{
    std::vector<int> words(count, fill);
    words[at] = value;
    return words;
}

TEST(PeakScan, Magnitudes)
{
    Bytes claimsMore = PcmWave(1, 8000, 8, Bytes(100, 130));
    claimsMore[41] = 4;  // the data chunk claims 1,024 more bytes than the file holds
    struct Case {
        const char* name;
        Bytes file;
        int peak;
    } cases[] = {
        { "silent 16-bit", PcmWave(1, 8000, 16, Words({ 0, 0, 0 })), 1 },
        { "silent 8-bit", PcmWave(1, 8000, 8, Bytes(9, 128)), 1 },
        { "8-bit byte 0", PcmWave(1, 8000, 8, { 128, 0, 255 }), 128 },
        { "8-bit 1 and 255", PcmWave(1, 8000, 8, { 1, 255, 128 }), 127 },
        { "16-bit -32768", PcmWave(1, 8000, 16, Words({ 5, -32768, 32767 })), 32768 },
        { "16-bit +-32767", PcmWave(1, 8000, 16, Words({ -32767, 32767 })), 32767 },
        { "stereo", PcmWave(2, 8000, 16, Words({ 1000, 20000, -1000, -19999 })), 20000 },
        { "odd trailing byte", PcmWave(1, 8000, 16, { 0x10, 0x00, 0xFF }), 16 },
        { "chunk end", PcmWave(2, 8000, 16, Words(WithAt(70000, 7, 32767, -2222))), 2222 },
        { "chunk start", PcmWave(2, 8000, 16, Words(WithAt(70000, 7, 32768, -2222))), 2222 },
        { "last sample", PcmWave(1, 8000, 16, Words(WithAt(70000, 7, 69999, 2222))), 2222 },
        { "8-bit data cut to the file", claimsMore, 2 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Scan(c.file), c.peak) << c.name;
}

TEST(PeakScan, ClosingTextNamesTheFirstSampleAtThePeak)
{
    std::vector<int> words = WithAt(150000, 0, 70000, -900);
    words[10] = 500;
    words[140000] = 900;
    RecordingStages row;
    EXPECT_EQ(Scan(PcmWave(1, 8000, 16, Words(words)), &row), 900);
    EXPECT_EQ(row.Events().back(), "peak 900 70000");
}

TEST(PeakScan, LabelAfterEveryEleventhChunk)
{
    RecordingStages ten, eleven;
    Scan(PcmWave(1, 8000, 16, Bytes(65536 * 10)), &ten);
    EXPECT_EQ(ten.Events(), std::vector<std::string> { "peak 1 0" });
    // A tail after the data makes the declared length longer: the bar stops short of 1000.
    Scan(PcmWave(1, 8000, 16, Bytes(65536 * 11), Bytes(100000)), &eleven);
    EXPECT_EQ(eleven.Events(),  // 878 = 1000 * 720940 / 820940
              (std::vector<std::string> { "progress scan 720896/720896 878", "peak 1 0" }));
}

TEST(PeakScan, UnreadableFileShowsItsPath)
{
    TempDir dir;
    RecordingStages row, boxes;
    for (const std::string& path : { dir.File("gone.wav"), dir.Write("bad.wav", Bytes(100, 'x')) }) {
        EXPECT_FALSE(ScanPeak(row, boxes, path).has_value());
        EXPECT_EQ(boxes.Events().back(), "problem CannotRead " + path);
    }
    EXPECT_TRUE(row.Events().empty());
}

TEST(PeakScan, VectorPathsMatchThePlainLoop)
{
    std::mt19937 random(42);
    Bytes data(70000);
    for (bool baselineOnly : { false, true }) {
        UseBaselineKernelsOnly(baselineOnly);
        for (int round = 0; round < 200; ++round) {
            const int spread = 1 + int(random() % 256);  // narrow ranges put the extreme anywhere
            for (auto& b : data)
                b = uint8_t(128 + int(random() % spread) - spread / 2);
            const size_t offset = random() % 64, length = random() % (data.size() - offset);
            if (round % 3 == 0 && length > 1)
                data[offset + length - 1] = round % 2 ? 0 : 0x80;
            int bytePeak = 0, wordPeak = 0;
            for (size_t i = 0; i < length; ++i)
                bytePeak = std::max(bytePeak, std::abs(data[offset + i] - 128));
            for (size_t i = 0; i + 1 < length; i += 2)
                wordPeak = std::max(wordPeak, std::abs(int(int16_t(Get16(data, offset + i)))));
            ASSERT_EQ(MaxMagnitude(data.data() + offset, length, true), bytePeak) << round;
            ASSERT_EQ(MaxMagnitude(data.data() + offset, length, false), wordPeak) << round;
            // The same bytes as 24-bit samples converted for the loudness meter.
            std::vector<float> floats(length / 3);
            S24ToFloat(data.data() + offset, floats.size(), floats.data());
            for (size_t i = 0; i < floats.size(); ++i) {
                const uint8_t* p = data.data() + offset + 3 * i;
                const auto v =
                    int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
                ASSERT_EQ(floats[i], float(v) / 8388608.0f) << round << " sample " << i;
            }
        }
    }
    UseBaselineKernelsOnly(false);
}

}  // namespace
}  // namespace orva
