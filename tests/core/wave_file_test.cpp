// The probe's chunk walk with its result codes and texts, the fresh header, format names.

#include "core/byte_io.h"
#include "core/format_tag.h"
#include "core/wave_file.h"
#include "tests/core/memory_io.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace orva {
namespace {

using namespace orva::test;

const Bytes kFmt16 = FmtBody(1, 2, 44100, 16);

Bytes File(std::initializer_list<std::pair<const char*, Bytes>> chunks, int64_t riffSize = -1)
{
    Bytes body;
    for (const auto& [id, content] : chunks)
        AddChunk(body, id, content);
    return Riff(body, riffSize);
}

Bytes Edited(Bytes file, size_t at, const std::string& bytes, size_t length = SIZE_MAX)
{
    std::copy(bytes.begin(), bytes.end(), file.begin() + long(at));
    file.resize(std::min(length, file.size()));
    return file;
}

TEST(WaveProbe, ChunkWalk)
{
    const Bytes canonical = File({ { "fmt ", kFmt16 }, { "data", Bytes(8) } });
    Bytes hugeData = File({ { "fmt ", kFmt16 } }), negativeFmt = Riff({}),
          backwards = File({ { "fmt ", kFmt16 } });
    AddChunk(hugeData, "data", {}, 0xFFFFFFF0LL);
    AddChunk(negativeFmt, "fmt ", kFmt16, 0xFFFFFFFFLL);
    AddChunk(backwards, "LIST", {}, 0xFFFFFFF8LL);  // would wrap the offset back onto itself
    Bytes appended = canonical,
          unfinalized = Edited(File({ { "fmt ", kFmt16 }, { "data", Bytes(18) } }), 4, std::string(4, '\0'));
    appended.insert(appended.end(), 100, 'T');
    unfinalized = Edited(unfinalized, 40, std::string(4, '\0'));
    struct Case {
        const char* name;
        Bytes image;
        int result;  // 1: success (the RIFF size field)
        uint64_t dataOffset = 0, dataSize = 0;
        uint16_t extraSize = 0;
        uint64_t trailingBytes = 0;
    } cases[] = {
        { "canonical", canonical, 1, 44, 8 },
        { "18-byte fmt", File({ { "fmt ", FmtBody(1, 1, 8000, 8, 18, 0x1234) }, { "data", Bytes(4) } }), 1,
          46, 4, 0x1234 },
        { "odd LIST padded", File({ { "fmt ", kFmt16 }, { "LIST", Bytes(5) }, { "data", Bytes(2) } }), 1, 58,
          2 },
        { "fact before fmt", File({ { "fact", Bytes(4) }, { "fmt ", kFmt16 }, { "data", Bytes(2) } }), 1, 56,
          2 },
        { "data header at 248", File({ { "fmt ", kFmt16 }, { "JUNK", Bytes(204) }, { "data", Bytes(16) } }),
          1, 256, 16 },
        { "riff size 0", File({ { "fmt ", kFmt16 }, { "data", Bytes(2) } }, 0), 1, 44, 2 },
        { "riff size 2^31-1", File({ { "fmt ", kFmt16 }, { "data", Bytes(2) } }, 0x7FFFFFFF), 1, 44, 2 },
        { "riff size 2^31", File({ { "fmt ", kFmt16 }, { "data", Bytes(2) } }, 0x80000000LL), 1, 44, 2 },
        { "data header at 4 KiB", File({ { "fmt ", kFmt16 }, { "JUNK", Bytes(4096) }, { "data", Bytes(4) } }),
          1, 4148, 4 },
        { "fmt size 14", File({ { "fmt ", FmtBody(1, 1, 8000, 8, 14) }, { "data", Bytes(2) } }), -6 },
        { "fmt size negative", negativeFmt, -6 },
        { "RIFX", Edited(canonical, 0, "RIFX"), -4 },
        { "AVI form", Edited(canonical, 8, "AVI "), -4 },
        { "lower-case riff", Edited(canonical, 0, "riff"), -4 },
        { "no data", File({ { "fmt ", kFmt16 } }), -7 },
        { "data beyond 256", File({ { "fmt ", kFmt16 }, { "JUNK", Bytes(220) }, { "data", Bytes(2) } }), 1,
          272, 2 },
        { "size wrapping back", backwards, -7 },
        { "data before fmt", File({ { "data", Bytes(2) }, { "fmt ", kFmt16 } }), -8 },
        { "empty file", {}, -9 },
        { "11 bytes", Edited(canonical, 0, "", 11), -9 },
        { "fmt body cut", Edited(canonical, 0, "", 30), -9 },
        { "data header cut", Edited(canonical, 0, "", 40), -9 },
        { "data size 2^31 or more: none there", hugeData, 1, 44, 0 },
        { "RF64 without ds64", Edited(canonical, 0, "RF64"), -13 },
        { "bytes after the form", appended, 1, 44, 8, 0, 100 },
        { "lone pad after an odd form", File({ { "fmt ", kFmt16 }, { "data", Bytes(3) } }, 39), 1, 44, 3 },
        { "unfinalized sizes: samples to the end", unfinalized, 1, 44, 16 },
        { "64 channels", File({ { "fmt ", FmtBody(1, 64, 8000, 16) }, { "data", Bytes(128) } }), 1, 44, 128 },
        { "65 channels", File({ { "fmt ", FmtBody(1, 65, 8000, 16) }, { "data", Bytes(130) } }), -14 },
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WaveFileInfo info {};
        const int64_t result = ProbeWaveFile(dir.Write("case.wav", c.image), info);
        if (c.result > 0) {
            EXPECT_EQ(result, int64_t(Get32(c.image, 4)));
            EXPECT_EQ(info.riffSize, result);
            EXPECT_EQ(info.dataOffset, c.dataOffset);
            EXPECT_EQ(info.dataSize, c.dataSize);
            EXPECT_EQ(info.format.extraSize, c.extraSize);
            EXPECT_EQ(info.trailingBytes, c.trailingBytes);
        } else {
            EXPECT_EQ(result, c.result);
            EXPECT_EQ(ErrorText(), ProbeResultText(result));
        }
    }
}

// A source that cannot seek passes over a long chunk by reading it; one that ends inside
// that chunk (here at 4 KiB, the next chunk at 4100), short of the length it was given,
// has its header cut short.
TEST(WaveProbe, UnseekableSourceEndingInsideAChunk)
{
    const Bytes image = File({ { "fmt ", kFmt16 }, { "LIST", Bytes(4056) }, { "data", Bytes(4) } });
    MemorySource source(image.data(), 4096);
    WaveFileInfo info {};
    EXPECT_EQ(ProbeWaveSource(source, image.size(), info), kProbeTruncated);
}

TEST(WaveProbe, FailureCodesAndSupport)
{
    TempDir dir;
    WaveFileInfo info {};
    ASSERT_EQ(::mkfifo(dir.File("pipe.wav").c_str(), 0600), 0);
    const std::pair<std::string, int> failures[] = {
        { dir.File("missing.wav"), kProbeCannotOpen },
        { dir.File("pipe.wav"), kProbeCannotOpen },  // a named pipe without writer: no hang
        { dir.File(""), kProbeCannotRead },          // a folder opens but cannot be read
        { dir.Write("x.wav", Bytes(64, 'x')), kProbeNotWave },
        { dir.Write("y.wav", File({ { "fmt ", FmtBody(1, 1, 8000, 8, 14) } })), kProbeBadFmtSize },
    };
    for (const auto& [path, code] : failures) {
        EXPECT_EQ(ProbeWaveFile(path, info), code) << path;
        EXPECT_EQ(ErrorText(), ProbeResultText(code));
    }
    // Success leaves the last failure's text; support depends on tag and width only.
    EXPECT_GE(ProbeWaveFile(dir.Write("z.wav", PcmWave(6, 1, 8, Bytes(6))), info), 0);
    EXPECT_EQ(ErrorText(), ProbeResultText(kProbeBadFmtSize));
    EXPECT_TRUE(IsSupportedFormat(info.format));
    for (auto [tag, bits, supported] : { std::tuple { 1, 16, true },
                                         { 1, 24, true },
                                         { 1, 20, false },
                                         { 3, 32, true },
                                         { 3, 16, false },
                                         { 0x11, 4, false },
                                         { 0xFFFE, 16, false } })
        EXPECT_EQ(IsSupportedFormat(WaveFormat { uint16_t(tag), 2, 44100, 0, 4, uint16_t(bits), 0 }),
                  supported)
            << tag;
}

TEST(FreshHeader, LayoutPatchAndProbe)
{
    EXPECT_EQ(MakePcmFormat(48000, 8, 1).avgBytesPerSec, 48000u);
    const WaveFormat format = MakePcmFormat(22050, 16, 2);
    MemorySink sink;
    const auto header = MakeFreshHeader(format);
    ASSERT_TRUE(sink.Write(header.data(), header.size()));
    EXPECT_EQ(sink.Bytes(), File({ { "fmt ", FmtBody(1, 2, 22050, 16, 18) }, { "data", {} } }, 36));

    ASSERT_TRUE(sink.Write(Bytes(1000, 7).data(), 1000));
    ASSERT_TRUE(PatchFreshHeader(sink, 1000));
    const Bytes& out = sink.Bytes();
    EXPECT_EQ(out.size(), 1046u);
    WaveFileInfo info {};
    EXPECT_EQ(ParseWaveHeader(info, out.data(), out.size()), 1038);
    EXPECT_EQ(info.sampleFormat, SampleFormat::S16);
    EXPECT_EQ(info.dataOffset, 46u);
    EXPECT_EQ(info.dataSize, 1000u);
    EXPECT_EQ(info.format.avgBytesPerSec, 88200u);
    EXPECT_EQ(info.format.blockAlign, 4);
}

TEST(FormatTagName, KnownAndUnknownTags)
{
    EXPECT_EQ(FormatTagName(1), "PCM");
    EXPECT_EQ(FormatTagName(0x11), "IMA ADPCM");
    EXPECT_EQ(FormatTagName(0x55), "MPEG Layer-3");
    EXPECT_EQ(FormatTagName(0xFFFE), "Extensible");
    for (unsigned tag : { 0u, 0x1234u, 0xFFFFu, 0x10001u })
        EXPECT_EQ(FormatTagName(tag), "Unknown") << tag;
    for (unsigned tag = 0; tag < 0x10000; ++tag)
        ASSERT_LE(FormatTagName(tag).size(), 47u) << tag;
}

}  // namespace
}  // namespace orva
