// Real-world WAV layouts, built at test time byte by byte (recorder and tagger layouts,
// extensible, RF64, unfinalized sizes) or by sox: each through the probe, the peak scan and
// the normalization, checked against a model of the rule written out here sample by sample,
// and every byte outside the samples against the source.

#include "core/normalize.h"
#include "core/peak_scan.h"
#include "core/sample_kernels.h"
#include "core/sample_reader.h"
#include "tests/core/recorders.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#endif

namespace orva {
namespace {

using namespace orva::test;

// ---- the model: one sample at a time, in the plainest terms ----

struct Format {
    SampleFormat sample;
    unsigned width;  // bytes
    bool isFloat;
};

Format Describe(SampleFormat f)
{
    switch (f) {
    case SampleFormat::U8:
        return { f, 1, false };
    case SampleFormat::S16:
        return { f, 2, false };
    case SampleFormat::S24:
        return { f, 3, false };
    case SampleFormat::S32:
    case SampleFormat::F32:
        return { f, 4, f == SampleFormat::F32 };
    default:
        return { f, 8, true };
    }
}

int64_t IntAt(const Bytes& b, size_t at, unsigned width)
{
    if (width == 1)
        return int64_t { b[at] } - 128;
    uint64_t u = 0;
    for (unsigned k = 0; k < width; ++k)
        u |= uint64_t { b[at + k] } << (8 * k);
    const unsigned shift = 64 - 8 * width;
    return static_cast<int64_t>(u << shift) >> shift;
}

double FloatAt(const Bytes& b, size_t at, unsigned width)
{
    if (width == 4) {
        float x;
        std::memcpy(&x, &b[at], 4);
        return x;
    }
    double x;
    std::memcpy(&x, &b[at], 8);
    return x;
}

// Expected output bytes of one sample.
Bytes ModelSample(const Bytes& in, size_t at, const Format& f, double peakValue)
{
    Bytes out(in.begin() + long(at), in.begin() + long(at + f.width));
    if (f.isFloat) {
        const double x = FloatAt(in, at, f.width);
        if (!std::isfinite(x) || peakValue == 0.0)
            return out;
        double y = x * (1.0 / peakValue);
        y = y > 1.0 ? 1.0 : y < -1.0 ? -1.0 : y;
        if (f.width == 4) {
            const float r = float(y);
            std::memcpy(out.data(), &r, 4);
        } else {
            std::memcpy(out.data(), &y, 8);
        }
        return out;
    }
    const double full = f.width == 1 ? 127.0 : std::ldexp(1.0, int(8 * f.width - 1)) - 1.0;
    const double p = std::min(std::max(peakValue, 1.0), full);
    const double gain = full / p;
    const int64_t v = IntAt(in, at, f.width);
    int64_t r;
    if (f.width == 1) {
        r = int64_t(std::trunc(double(v) * gain + 128.0));
        r = std::clamp<int64_t>(r, 0, 255);
        out[0] = uint8_t(r);
        return out;
    }
    r = int64_t(std::trunc(double(v) * gain));
    r = std::clamp<int64_t>(r, -int64_t(full) - 1, int64_t(full));
    for (unsigned k = 0; k < f.width; ++k)
        out[k] = uint8_t(uint64_t(r) >> (8 * k));
    return out;
}

// ---- builders ----

Bytes ExtensibleFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t validBits, uint32_t mask,
                    uint16_t subFormat)
{
    Bytes body = FmtBody(0xFFFE, channels, rate, bits, 18, 22);
    Put16(body, validBits), Put32(body, mask), Put16(body, subFormat), Put16(body, 0);
    body.insert(body.end(), { 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 });
    return body;
}

Bytes Samples(const Format& f, size_t count, uint32_t seed, double scale = 0.5)
{
    std::mt19937 random(seed);
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        const double x = (double(random()) / 4294967296.0 * 2.0 - 1.0) * scale;
        if (f.isFloat) {
            Bytes b(f.width);
            if (f.width == 4) {
                const float v = float(x);
                std::memcpy(b.data(), &v, 4);
            } else {
                std::memcpy(b.data(), &x, 8);
            }
            out.insert(out.end(), b.begin(), b.end());
        } else if (f.width == 1) {
            out.push_back(uint8_t(128 + int(x * 127)));
        } else {
            const auto v = int64_t(x * (std::ldexp(1.0, int(8 * f.width - 1)) - 1));
            for (unsigned k = 0; k < f.width; ++k)
                out.push_back(uint8_t(uint64_t(v) >> (8 * k)));
        }
    }
    return out;
}

Bytes Chunk(const char* id, const Bytes& body)
{
    Bytes out;
    AddChunk(out, id, body);
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

void Set32(Bytes& b, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[at + size_t(k)] = uint8_t(v >> (8 * k));
}

// "RF64" -1 "WAVE" ds64 fmt data(-1) samples, then more chunks.
Bytes Rf64(const Bytes& fmt, const Bytes& samples, const Bytes& trailing = {}, const char* form = "RF64")
{
    Bytes ds64;
    const uint64_t riff = 4 + 36 + fmt.size() + 8 + 8 + samples.size() + samples.size() % 2 + trailing.size();
    Put32(ds64, uint32_t(riff)), Put32(ds64, uint32_t(riff >> 32));
    Put32(ds64, uint32_t(samples.size())), Put32(ds64, 0);
    Put32(ds64, 0), Put32(ds64, 0), Put32(ds64, 0);
    Bytes out { uint8_t(form[0]), uint8_t(form[1]), uint8_t(form[2]), uint8_t(form[3]) };
    Put32(out, 0xFFFFFFFF);
    out.insert(out.end(), { 'W', 'A', 'V', 'E' });
    AddChunk(out, "ds64", ds64);
    AddChunk(out, "fmt ", fmt);
    AddChunk(out, "data", samples, 0xFFFFFFFFLL);
    out.insert(out.end(), trailing.begin(), trailing.end());
    return out;
}

// A file that sox writes from a synthesized signal; empty when sox is not there.
Bytes Sox(const TempDir& dir, const std::string& options, const std::string& effect)
{
    const std::string path = dir.File("sox.wav");
    const std::string command =
        "sox -n -r 44100 " + options + " '" + path + "' synth " + effect + " 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return {};
    return ReadFile(path);
}

// ---- the table ----

struct Layout {
    std::string name;
    Bytes file;
    SampleFormat format;
    unsigned channels;
    uint64_t dataOffset, dataSize;
    unsigned validBits = 0;       // 0: not checked
    bool sizesRewritten = false;  // the output's size fields state the clamped truth
};

TEST(RealWorldLayouts, ProbePeakAndEveryByteOfTheOutput)
{
    TempDir dir;
    const Format s16 = Describe(SampleFormat::S16), s24 = Describe(SampleFormat::S24),
                 u8 = Describe(SampleFormat::U8), f32 = Describe(SampleFormat::F32),
                 f64 = Describe(SampleFormat::F64), s32 = Describe(SampleFormat::S32);
    const Bytes fmt16 = FmtBody(1, 2, 48000, 16), fmt24 = FmtBody(1, 2, 48000, 24);
    const Bytes stereo16 = Samples(s16, 2 * 3000, 1), stereo24 = Samples(s24, 2 * 2000, 2, 0.9);
    // A broadcast extension of 602 bytes (version 1, no coding history) and longer ones.
    const Bytes bext = Chunk("bext", Bytes(602, 'b')), bextLong = Chunk("bext", Bytes(857, 'h'));
    const Bytes ixml = Chunk("iXML", Bytes(1533, 'x')), list = Chunk("LIST", Bytes(226, 'i'));
    const Bytes junk = Chunk("JUNK", Bytes(4096, 0)), odd = Chunk("smpl", Bytes(37, 's'));
    const Bytes tail = Chunk("LIST", Bytes(41, 't'));

    Bytes floats = Samples(f32, 400, 3, 1.7);  // overs above 1.0, a NaN with payload, infinities
    const uint32_t specials[] = { 0x7FC01234u, 0x7F800001u, 0x7F800000u, 0xFF800000u };
    for (size_t k = 0; k < std::size(specials); ++k)
        for (int b = 0; b < 4; ++b)
            floats[4 * (10 + 37 * k) + size_t(b)] = uint8_t(specials[k] >> (8 * b));
    Bytes doubles = Samples(f64, 300, 4, 0.25);
    const uint64_t quietNan = 0x7FF8000000000123ull;
    std::memcpy(&doubles[8 * 7], &quietNan, 8);

    std::vector<Layout> rows = {
        { "bext 602", Riff(Cat({ bext, Chunk("fmt ", fmt16), Chunk("data", stereo16) })), SampleFormat::S16,
          2, 654, stereo16.size(), 16 },
        { "bext + iXML", Riff(Cat({ bextLong, Chunk("fmt ", fmt16), ixml, Chunk("data", stereo16), tail })),
          SampleFormat::S16, 2, 2452, stereo16.size() },
        { "LIST of 226", Riff(Cat({ Chunk("fmt ", fmt16), list, Chunk("data", stereo16) })),
          SampleFormat::S16, 2, 278, stereo16.size() },
        { "4 KiB JUNK, 24-bit", Riff(Cat({ junk, Chunk("fmt ", fmt24), Chunk("data", stereo24) })),
          SampleFormat::S24, 2, 4148, stereo24.size(), 24 },
        { "odd chunk with pad, 8-bit",
          Riff(Cat({ Chunk("fmt ", FmtBody(1, 1, 8000, 8)), odd, Chunk("data", Samples(u8, 777, 5)), tail })),
          SampleFormat::U8, 1, 90, 777 },
        { "extensible 16-bit 6 channels",
          Riff(Cat({ Chunk("fmt ", ExtensibleFmt(6, 48000, 16, 16, 0x3F, 1)),
                     Chunk("data", Samples(s16, 600, 6)) })),
          SampleFormat::S16, 6, 68, 1200, 16 },
        { "extensible 24-in-32 float mask",
          Riff(Cat({ Chunk("fmt ", ExtensibleFmt(2, 96000, 32, 24, 3, 1)),
                     Chunk("data", Samples(s32, 500, 7, 0.3)) })),
          SampleFormat::S32, 2, 68, 2000, 24 },
        { "extensible float",
          Riff(Cat({ Chunk("fmt ", ExtensibleFmt(2, 48000, 32, 32, 3, 3)),
                     Chunk("data", Samples(f32, 500, 8, 0.6)) })),
          SampleFormat::F32, 2, 68, 2000, 32 },
        { "float tag 3 with specials and overs",
          Riff(Cat({ Chunk("fmt ", FmtBody(3, 1, 44100, 32, 18)), Chunk("fact", Bytes(4, 1)),
                     Chunk("data", floats) })),
          SampleFormat::F32, 1, 58, floats.size() },
        { "double", Riff(Cat({ Chunk("fmt ", FmtBody(3, 2, 44100, 64, 18)), Chunk("data", doubles) })),
          SampleFormat::F64, 2, 46, doubles.size() },
        { "silent float is copied",
          Riff(Cat({ Chunk("fmt ", FmtBody(3, 1, 8000, 32)), Chunk("data", Bytes(64)) })), SampleFormat::F32,
          1, 44, 64 },
        { "RF64 24-bit", Rf64(fmt24, stereo24, tail), SampleFormat::S24, 2, 80, stereo24.size() },
        { "BW64 16-bit", Rf64(fmt16, stereo16, {}, "BW64"), SampleFormat::S16, 2, 80, stereo16.size() },
    };

    // Headers that were never finalized, and sizes that claim more than the file holds.
    const Bytes base = PcmWave(2, 8000, 16, Samples(s16, 2 * 500, 9));  // 2,000 sample bytes
    for (auto [name, riff, data, cut] :
         { std::tuple { "data size 0, RIFF 0", 0u, 0u, 0 },
           { "data size 0x7FFFF000", 0x7FFFF000u, 0x7FFFF000u, 0 },
           { "data size 0xFFFFFFFF, partial frame", 0xFFFFFFFFu, 0xFFFFFFFFu, 3 },
           { "data reaches past the end", 2036u, 2000u, 150 } }) {
        Bytes file = base;
        Set32(file, 4, riff), Set32(file, 40, data);
        file.resize(file.size() - size_t(cut));
        const uint64_t whole = (file.size() - 44) / 4 * 4;
        rows.push_back({ name, file, SampleFormat::S16, 2, 44, whole, 16, true });
    }
    // A finalized empty data chunk with a chunk after it stays empty.
    rows.push_back({ "finalized empty data", Riff(Cat({ Chunk("fmt ", fmt16), Chunk("data", {}), tail })),
                     SampleFormat::S16, 2, 44, 0 });

    struct SoxRow {
        const char* options;
        SampleFormat format;
        uint64_t offset;
    } soxRows[] = {
        { "-c 2 -b 24 -e signed-integer", SampleFormat::S24, 80 },
        { "-c 2 -b 32 -e signed-integer", SampleFormat::S32, 80 },
        { "-c 2 -b 32 -e floating-point", SampleFormat::F32, 58 },
        { "-c 1 -b 64 -e floating-point", SampleFormat::F64, 58 },
        { "-c 6 -b 16", SampleFormat::S16, 80 },
    };
    for (const SoxRow& s : soxRows) {
        const Bytes file = Sox(dir, s.options, "0.3 sine 440 vol 0.7");
        if (file.empty()) {
            ADD_FAILURE() << "sox is needed for the row " << s.options;
            continue;
        }
        rows.push_back(
            { std::string("sox ") + s.options, file, s.format, 0, s.offset, file.size() - s.offset });
    }

    for (const Layout& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.Write("in.wav", row.file);
        WaveFileInfo info {};
        ASSERT_GE(ProbeWaveFile(path, info), 0) << ErrorText();
        EXPECT_EQ(info.sampleFormat, row.format);
        EXPECT_EQ(info.dataOffset, row.dataOffset);
        EXPECT_EQ(info.dataSize, row.dataSize);
        if (row.channels) {
            EXPECT_EQ(info.format.channels, row.channels);
        }
        if (row.validBits) {
            EXPECT_EQ(info.format.formatTag == 0xFFFE ? info.format.validBits : info.format.bitsPerSample,
                      row.validBits);
        }

        // The model's peak: the largest magnitude (finite, for float).
        const Format f = Describe(row.format);
        double peakValue = 0.0;
        for (size_t at = row.dataOffset; at + f.width <= row.dataOffset + row.dataSize; at += f.width) {
            const double v =
                f.isFloat ? FloatAt(row.file, at, f.width) : double(IntAt(row.file, at, f.width));
            if (std::isfinite(v))
                peakValue = std::max(peakValue, std::fabs(v));
        }
        RecordingStages progress, boxes;
        const std::optional<SamplePeak> peak = ScanPeak(progress, boxes, path);
        ASSERT_TRUE(peak.has_value());
        EXPECT_EQ(peak->format, row.format);
        if (f.isFloat)
            EXPECT_EQ(peak->level, peakValue);
        else
            EXPECT_EQ(double(peak->magnitude), peakValue);

        ASSERT_EQ(NormalizeFile(progress, boxes, path, dir.File("out.wav"), *peak), 0);
        const Bytes out = ReadFile(dir.File("out.wav"));
        Bytes expected = row.file;
        for (size_t at = row.dataOffset; at + f.width <= row.dataOffset + row.dataSize; at += f.width) {
            const Bytes sample = ModelSample(row.file, at, f, peakValue);
            std::copy(sample.begin(), sample.end(), expected.begin() + long(at));
        }
        if (row.sizesRewritten) {
            expected.resize(row.dataOffset + row.dataSize);
            Set32(expected, 4, uint32_t(expected.size() - 8));
            Set32(expected, row.dataOffset - 4, uint32_t(row.dataSize));
        }
        ASSERT_EQ(out.size(), expected.size());
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], expected[i]) << "byte " << i;

        // The same samples as numbers, in blocks that cut frames across reads.
        SampleReader reader;
        ASSERT_TRUE(reader.Open(path));
        std::vector<double> values(7 * reader.Channels());
        size_t at = row.dataOffset;
        for (long long frames; (frames = reader.Read(values.data(), 7)) > 0;) {
            for (size_t k = 0; k < size_t(frames) * reader.Channels(); ++k, at += f.width) {
                const double v = f.isFloat ? FloatAt(row.file, at, f.width)
                                           : double(IntAt(row.file, at, f.width))
                        / (f.width == 1 ? 128.0 : std::ldexp(1.0, int(8 * f.width - 1)));
                if (std::isnan(v))
                    ASSERT_TRUE(std::isnan(values[k]));
                else
                    ASSERT_EQ(values[k], v) << at;
            }
        }
        EXPECT_EQ(at,
                  row.dataOffset
                      + row.dataSize / (f.width * info.format.channels) * f.width * info.format.channels);
    }
}

TEST(RealWorldLayouts, LargeSizesFromSparseFiles)
{
    TempDir dir;
    // A plain RIFF file of 4 GiB or more cannot state its sizes; RF64 states them in 64 bits.
    const Bytes samples = Samples(Describe(SampleFormat::S16), 8, 1);
    for (bool rf64 : { false, true }) {
        const std::string path = dir.Write(
            "big.wav", rf64 ? Rf64(FmtBody(1, 2, 48000, 16), samples) : PcmWave(2, 48000, 16, samples));
        const uint64_t length = (uint64_t { 5 } << 30) + 2;
        ASSERT_EQ(::truncate(path.c_str(), off_t(length)), 0);
        WaveFileInfo info {};
        const int64_t result = ProbeWaveFile(path, info);
        if (!rf64) {
            EXPECT_EQ(result, kProbeTooLarge);
            continue;
        }
        ASSERT_EQ(result, 0xFFFFFFFF);
        EXPECT_EQ(info.dataSize, 16u);  // as the ds64 chunk says
        std::filesystem::remove(path);
    }
}

/// Whether the upper halves of the YMM registers hold data (XINUSE bit 2 of XGETBV 1): SSE
/// code run so pays a state transition on every instruction. False where it cannot be told.
bool UpperYmmInUse()
{
#if defined(__x86_64__) && defined(__GNUC__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & (1u << 27)))  // OSXSAVE
        return false;
    if (!__get_cpuid_count(0xD, 1, &eax, &ebx, &ecx, &edx) || !(eax & 4))  // XGETBV 1
        return false;
    uint32_t low = 0, high = 0;
    asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    return (low & 4) != 0;
#else
    return false;
#endif
}

TEST(SampleKernels, VectorPathsMatchThePlainLoop)
{
    std::mt19937 random(7);
    for (SampleFormat format :
         { SampleFormat::S24, SampleFormat::S32, SampleFormat::F32, SampleFormat::F64 }) {
        Bytes data(3 * 4 * 8 * 1001);
        for (auto& b : data)
            b = uint8_t(random());
        // Some full-scale and special values among the noise.
        for (size_t i = 0; i + 8 < data.size(); i += 997)
            std::fill_n(data.begin() + long(i), 8, uint8_t(i % 3 ? 0x7F : 0xFF));
        for (double gain : { 0.25, 1.0, 1.5, 1000.0, 3e9 }) {
            for (long skip : { 0, 5 }) {
                Bytes fast(data.begin() + skip, data.end()), plain = fast;
                ScaleSamples(fast.data(), fast.size(), format, gain);
                EXPECT_FALSE(UpperYmmInUse()) << "scaling " << SampleFormatName(format);
                IsFloatFormat(format) ? void(MaxFiniteLevel(fast.data(), fast.size(), format))
                                      : void(MaxIntegerMagnitude(fast.data(), fast.size(), format));
                EXPECT_FALSE(UpperYmmInUse()) << "scanning " << SampleFormatName(format);
                ScaleSamplesScalar(plain.data(), plain.size(), format, gain);
                ASSERT_EQ(fast, plain) << SampleFormatName(format) << " gain " << gain << " skip " << skip;
            }
        }
    }
}

}  // namespace
}  // namespace orva
