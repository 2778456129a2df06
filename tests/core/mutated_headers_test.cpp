// Bad input, the fuzz target's deterministic sibling (so that build-asan covers it): mutated
// and truncated headers through the probe, the scan and the normalization, from memory.
// Invariants: no read outside the given bytes, results in range, outputs exactly as long as
// the header declares, no sample wrapped around.

#include "core/byte_io.h"
#include "core/normalize.h"
#include "core/peak_scan.h"
#include "tests/core/memory_io.h"
#include "tests/core/recorders.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <random>

namespace orva {
namespace {

using namespace orva::test;

Bytes RandomWave(std::mt19937& random)
{
    Bytes chunks, samples(random() % 3000);
    if (random() % 3 == 0)
        AddChunk(chunks, "fact", Bytes(random() % 9, 1));
    const size_t fmtSizes[] = { 16, 18, 40 };
    AddChunk(chunks, "fmt ",
             FmtBody(1, uint16_t(1 + random() % 3), 8000, random() % 2 ? 8 : 16, fmtSizes[random() % 3]));
    if (random() % 2)
        AddChunk(chunks, "LIST", Bytes(random() % 40, 'i'));
    for (auto& b : samples)
        b = uint8_t(random());
    AddChunk(chunks, "data", samples);
    if (random() % 2)
        AddChunk(chunks, "LIST", Bytes(random() % 50, 't'));
    return Riff(chunks);
}

void Mutate(std::mt19937& random, Bytes& file)
{
    const uint32_t extremes[] = { 0,          1,          15,         16,         17,        256,
                                  0x7FFFFFF7, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF8, 0xFFFFFFFF };
    for (int edits = 1 + int(random() % 4); edits > 0 && !file.empty(); --edits) {
        const size_t at = random() % std::min<size_t>(file.size(), 96);
        const uint32_t value = random() % 2 ? extremes[random() % std::size(extremes)] : uint32_t(random());
        switch (random() % 4) {
        case 0:
            file[at] = uint8_t(value);
            break;
        case 1:  // a 32-bit field
            for (size_t k = 0; k < 4 && at + k < file.size(); ++k)
                file[at + k] = uint8_t(value >> (8 * k));
            break;
        case 2:
            file.resize(value % (file.size() + 1));
            break;
        default:  // a known chunk id
            for (size_t k = 0; k < 4 && at + k < file.size(); ++k)
                file[at + k] = uint8_t((value % 2 ? "data" : "fmt ")[k]);
        }
    }
}

TEST(MutatedHeaders, ProbeScanAndNormalizeStayInBounds)
{
    std::mt19937 random(20261207);
    int probed = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes file = RandomWave(random);
        Mutate(random, file);
        // An exact-size copy of the first 256 bytes, so that ASan sees any read past them.
        const std::vector<uint8_t> image(file.begin(),
                                         file.begin() + long(std::min<size_t>(file.size(), 256)));
        WaveFileInfo info {};
        const int64_t result = ParseWaveHeader(info, image.data(), image.size(), file.size());
        if (result < 0) {
            ASSERT_FALSE(ProbeResultText(int(result))[0] == '\0') << result;
            continue;
        }
        ++probed;
        // The samples never reach past the end of the file.
        ASSERT_LE(info.dataOffset + info.dataSize, file.size());
        ASSERT_TRUE(info.dataOffset >= 20 && info.dataOffset <= 256) << info.dataOffset;
        if (info.sampleFormat == SampleFormat::None)
            continue;

        MemorySource scanned(file);
        Bytes header(size_t(info.dataOffset));
        scanned.Read(header.data(), header.size());
        RecordingStages row;
        const SamplePeak peak = ScanPeakData(row, scanned, info).value();
        ASSERT_TRUE(peak.magnitude >= 0
                    && peak.magnitude <= (info.format.bitsPerSample == 8 ? 128 : 1ll << 31))
            << peak.magnitude;

        MemorySource source(file);
        MemorySink sink;
        ASSERT_EQ(NormalizeData(row, source, sink, info, peak), 0);
        const Bytes& out = sink.Bytes();
        // Never longer than the file: nothing is invented.
        const uint64_t dataEnd = info.dataOffset + info.dataSize;
        const uint64_t expected = info.dataSize != info.dataSizeField
            ? dataEnd
            : std::max<uint64_t>(dataEnd, std::min<uint64_t>(info.declaredLength, file.size()));
        ASSERT_EQ(out.size(), expected);
        ASSERT_TRUE(std::equal(out.begin() + 8, out.begin() + long(info.dataOffset) - 4, file.begin() + 8));
        // No sample wraps around: every scaled sample keeps the sign of its source sample.
        const size_t begin = size_t(info.dataOffset), end = size_t(dataEnd);
        const auto sign = [](int v) { return (v > 0) - (v < 0); };
        for (size_t i = begin; info.sampleFormat == SampleFormat::U8 && i < end; ++i)
            ASSERT_EQ(sign(out[i] - 128), sign(file[i] - 128)) << i;
        for (size_t i = begin; info.sampleFormat == SampleFormat::S16 && i + 1 < end; i += 2)
            ASSERT_EQ(sign(int16_t(Get16(out, i))), sign(int16_t(Get16(file, i)))) << i;
    }
    EXPECT_GT(probed, 400);
}

TEST(MutatedHeaders, HugeDeclaredSizesAreCutToTheFile)
{
    // 2^31 - 1 declared data bytes behind a 46-byte file: the samples are the two bytes that
    // are there, and the output's size fields say so.
    Bytes file = PcmWave(1, 8000, 8, Bytes { 200, 60 });
    file[40] = file[41] = file[42] = 0xFF, file[43] = 0x7F;
    WaveFileInfo info {};
    ASSERT_GE(ParseWaveHeader(info, file.data(), file.size()), 0);
    EXPECT_EQ(info.dataSize, 2u);
    MemorySource source(file);
    Bytes header(44);
    source.Read(header.data(), header.size());
    RecordingStages row;
    EXPECT_EQ(ScanPeakData(row, source, info)->magnitude, 72);

    MemorySource again(file);
    MemorySink sink;
    EXPECT_EQ(NormalizeData(row, again, sink, info, IntPeak(8, 72)), 0);
    ASSERT_EQ(sink.Bytes().size(), 46u);
    EXPECT_EQ(Get32(sink.Bytes(), 4), 38u);
    EXPECT_EQ(Get32(sink.Bytes(), 40), 2u);
}

}  // namespace
}  // namespace orva
