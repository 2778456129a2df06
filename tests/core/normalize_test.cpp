// Normalization: exact rounding of both widths, the copied header and tail, the output file
// (replaced whole, failures reported, never the source) and the vector paths.

#include "core/byte_io.h"
#include "core/normalize.h"
#include "core/output_file.h"
#include "core/peak_scan.h"
#include "core/resample.h"
#include "tests/core/memory_io.h"
#include "tests/core/recorders.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orva {
namespace {

using namespace orva::test;

struct Output {
    int result;
    Bytes bytes;
    std::vector<std::string> events;
};

Output Normalize(const Bytes& source, int peak, int bits = 16)
{
    TempDir dir;
    Output out;
    RecordingStages events;
    out.result =
        NormalizeFile(events, events, dir.Write("in.wav", source), dir.File("out.wav"), IntPeak(bits, peak));
    out.bytes = ReadFile(dir.File("out.wav"));
    out.events = events.Events();
    return out;
}

TEST(Normalize, Rounding)
{
    struct Case {
        uint16_t bits;
        int peak;
        Bytes in, out;
    } cases[] = {
        { 16, 16384, Words({ 16384, -16384, 1, -1, 8192 }), Words({ 32767, -32767, 1, -1, 16383 }) },
        { 16, 49, Words({ 49, -49, 1 }), Words({ 32766, -32766, 668 }) },
        { 16, 1, Words({ 0, 1, -1 }), Words({ 0, 32767, -32767 }) },
        { 16, 32767, Words({ 32767, -32767, -1 }), Words({ 32767, -32767, -1 }) },
        { 16, 32768, Words({ -32768, 5 }), Words({ -32768, 5 }) },
        { 8, 64, { 192, 64, 128, 129, 127, 128 }, { 255, 1, 128, 129, 126, 128 } },
        { 8, 13, { 115, 141 }, { 0, 255 } },
        { 8, 128, { 0, 255, 77, 1 }, { 0, 255, 77, 1 } },
    };
    for (const auto& c : cases) {
        const Output out = Normalize(PcmWave(1, 8000, c.bits, c.in), c.peak, c.bits);
        ASSERT_EQ(out.result, 0);
        EXPECT_EQ(Bytes(out.bytes.begin() + 44, out.bytes.end()), c.out) << c.bits << "-bit peak " << c.peak;
        EXPECT_EQ(out.events, std::vector<std::string> { "end normalization" });
    }
}

TEST(Normalize, HeaderAndTailAreCopied)
{
    Bytes trailing;
    AddChunk(trailing, "LIST", Bytes { 'I', 'N', 'F', 'O', 'a' });
    AddChunk(trailing, "id3 ", Bytes(300, 9));
    std::vector<int> words;
    for (int i = 0; i < 100000; ++i)
        words.push_back(i * 7919 % 65535 - 32767);
    const Bytes source = PcmWave(2, 48000, 16, Words(words), trailing);
    EXPECT_EQ(Normalize(source, 32767).bytes, source);  // gain 1.0: byte for byte

    // Bytes beyond the declared length are not copied; a RIFF size below the data's end
    // leaves no tail; sample bytes the file does not hold are not invented, and the size
    // fields then say what the output holds.
    Bytes longer = PcmWave(1, 8000, 16, Words({ 100, -50 }), trailing);
    longer.insert(longer.end(), { 'x', 'y', 'z' });
    const Output out = Normalize(longer, 100);
    EXPECT_EQ(out.bytes.size(), longer.size() - 3);
    EXPECT_EQ(WordsOf(out.bytes, 44, 2), (std::vector<int> { 32767, -16383 }));
    EXPECT_TRUE(std::equal(out.bytes.begin() + 48, out.bytes.end(), longer.begin() + 48));
    Bytes shortRiff = longer;
    shortRiff[4] = 20, shortRiff[5] = 0;
    EXPECT_EQ(Normalize(shortRiff, 100).bytes.size(), 48u);
    Bytes missing = PcmWave(1, 8000, 16, Words({ 1000, -1000 }));
    missing[40] = 8, missing[4] = 44;
    const Bytes cut = Normalize(missing, 1000).bytes;
    ASSERT_EQ(cut.size(), 48u);
    EXPECT_EQ(WordsOf(cut, 44, 2), (std::vector<int> { 32767, -32767 }));
    EXPECT_EQ(Get32(cut, 4), 40u);
    EXPECT_EQ(Get32(cut, 40), 4u);
}

TEST(Normalize, OutputFileAndFailures)
{
    TempDir dir;
    RecordingStages row, boxes;
    const Bytes wave = PcmWave(1, 8000, 16, Words(std::vector<int>(40000, 9)));
    const std::string source = dir.Write("in.wav", wave);
    const std::string longer = dir.Write("old.wav", Bytes(200000, 0xEE));
    EXPECT_EQ(NormalizeFile(row, boxes, source, longer, IntPeak(16, 9)), 0);
    EXPECT_EQ(ReadFile(longer).size(), wave.size());  // replaced whole

    EXPECT_EQ(
        NormalizeFile(row, boxes, dir.Write("bad.wav", Bytes(99)), dir.File("never.wav"), IntPeak(16, 9)),
        -1);
    SamplePeak otherFormat;  // a peak of float samples cannot scale 16-bit ones
    otherFormat.format = SampleFormat::F32, otherFormat.level = 0.5;
    EXPECT_EQ(NormalizeFile(row, boxes, source, dir.File("zero.wav"), otherFormat), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("never.wav"))
                 || std::filesystem::exists(dir.File("zero.wav")));
    EXPECT_TRUE(boxes.Events().empty());

    std::filesystem::create_hard_link(source, dir.File("link.wav"));
    const std::string nowhere = dir.File("no/folder/out.wav");
    for (const std::string& output : { nowhere, source, dir.File("link.wav") })
        EXPECT_EQ(NormalizeFile(row, boxes, source, output, IntPeak(16, 9)), -1);
    EXPECT_EQ(ReadFile(source), wave);
    EXPECT_EQ(boxes.Events().front(), "problem CannotCreate " + nowhere);
    EXPECT_EQ(boxes.Events().size(), 3u);

    EXPECT_EQ(NormalizeFile(row, boxes, source, "/dev/full", IntPeak(16, 9)), -1);
    EXPECT_EQ(boxes.Events().back(), "problem WriteFailed /dev/full");

    // A named pipe nobody reads is refused at once instead of blocking the batch forever.
    const std::string pipe = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(NormalizeFile(row, boxes, source, pipe, IntPeak(16, 9)), -1);
    EXPECT_EQ(boxes.Events().back(), "problem CannotCreate " + pipe);
}

TEST(Normalize, WriteFailureInHeaderDataOrTail)
{
    Bytes trailing;
    AddChunk(trailing, "LIST", Bytes(100, 1));
    const Bytes source = PcmWave(1, 8000, 16, Words(std::vector<int>(70000, 9)), trailing);
    WaveFileInfo info {};
    ASSERT_GE(ParseWaveHeader(info, source.data(), source.size()), 0);
    for (size_t room : { size_t { 10 }, size_t { 44 + 65536 }, source.size() - 1, source.size() }) {
        MemorySource in(source);
        MemorySink out;
        out.LimitTo(room);
        RecordingStages row;
        EXPECT_EQ(NormalizeData(row, in, out, info, IntPeak(16, 9)), room == source.size() ? 0 : -1) << room;
    }
}

// A read that fails is never the end of the file: wherever it strikes, the pass over the
// source fails instead of counting the missing bytes as zeros.
TEST(Normalize, ReadErrorsFailEveryPassOverTheSource)
{
    Bytes trailing;
    AddChunk(trailing, "LIST", Bytes(70000, 1));
    const Bytes source = PcmWave(2, 44100, 16, Words(std::vector<int>(100000, 300)), trailing);
    WaveFileInfo info {};
    ASSERT_GE(ParseWaveHeader(info, source.data(), source.size()), 0);
    const size_t dataEnd = 44 + 200000;
    enum Pass { Probe, Scan, Normalization, Conversion };
    const struct {
        const char* name;
        Pass pass;
        size_t failAt;  // offset in the file of the first byte that cannot be read
    } cases[] = {
        { "header", Probe, 20 },
        { "header's last byte", Probe, 43 },
        { "first data chunk", Scan, 44 },
        { "data chunk edge", Scan, 44 + 65536 },
        { "last data byte", Scan, dataEnd - 1 },
        { "normalization: header", Normalization, 43 },
        { "normalization: data", Normalization, 44 + 100000 },
        { "normalization: tail", Normalization, source.size() - 1 },
        { "conversion: first block", Conversion, 44 },
        { "conversion: last block", Conversion, dataEnd - 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource in(source);
        in.FailFrom(c.failAt);
        const size_t start = c.pass == Scan || c.pass == Conversion ? 44 : 0;
        Bytes skipped(start);
        ASSERT_EQ(in.Read(skipped.data(), start), static_cast<long long>(start));
        MemorySink out;
        RecordingStages row;
        switch (c.pass) {
        case Probe: {
            WaveFileInfo probed {};
            EXPECT_EQ(ProbeWaveSource(in, source.size(), probed), kProbeCannotRead);
            break;
        }
        case Scan:
            EXPECT_FALSE(ScanPeakData(row, in, info).has_value());
            break;
        case Normalization:
            EXPECT_EQ(NormalizeData(row, in, out, info, IntPeak(16, 300)), kCopyReadFailed);
            break;
        case Conversion:
            EXPECT_EQ(ConvertSampleRateData(row, in, out, info, MakePcmFormat(48000, 16, 2)),
                      kCopyReadFailed);
            break;
        }
    }

    // The same through files: a folder named like a WAV file opens but cannot be read.
    TempDir dir;
    const std::string folder = dir.File("folder.wav");
    std::filesystem::create_directory(folder);
    RecordingStages row, boxes;
    WaveFileInfo probed {};
    EXPECT_EQ(ProbeWaveFile(folder, probed), kProbeCannotRead);
    EXPECT_FALSE(ScanPeak(row, boxes, folder).has_value());
    EXPECT_EQ(NormalizeFile(row, boxes, folder, dir.File("out.wav"), IntPeak(16, 300)), -1);
    EXPECT_EQ(ConvertSampleRate(row, folder, dir.File("out.wav"), 48000, 16, 2), kCopyReadFailed);
    EXPECT_EQ(boxes.Events(), std::vector<std::string>(2, "problem CannotRead " + folder));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
}

// From 16 MiB on the source is read a piece ahead on a second thread: a read error in a
// later piece, a source that ends early (its missing samples are scaled zero bytes) and a
// sink that stops taking bytes end the pass with the bytes and labels of one thread.
TEST(Normalize, LargeSourcesReadAhead)
{
    const size_t count = 17 << 20;  // 8-bit samples: a zero byte scales to a loud sample
    Bytes samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = uint8_t(i * 7919 % 251);
    Bytes trailing;
    AddChunk(trailing, "LIST", Bytes(1000, 1));
    const Bytes source = PcmWave(1, 44100, 8, samples, trailing);
    WaveFileInfo info {};
    ASSERT_GE(ParseWaveHeader(info, source.data(), source.size()), 0);
    const double gain = NormalizeGain(8, 100);
    const struct {
        const char* name;
        size_t available;  // bytes the source holds
        size_t failAt;     // offset of the first byte that cannot be read
        size_t room;       // bytes the sink takes
        int result;
        size_t labels;  // a label per 11 * 64 KiB of samples written
    } cases[] = {
        { "whole", source.size(), SIZE_MAX, SIZE_MAX, 0, 24 },
        { "read error in the 35th piece", source.size(), 44 + 9000000, SIZE_MAX, kCopyReadFailed, 12 },
        { "source ends in the samples", 44 + 5000001, SIZE_MAX, SIZE_MAX, 0, 24 },
        { "sink full after the first piece", source.size(), SIZE_MAX, 300000, kCopyWriteFailed, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource in(source.data(), c.available);
        in.FailFrom(c.failAt);
        MemorySink out;
        out.LimitTo(c.room);
        RecordingStages row;
        ASSERT_EQ(NormalizeDataWithGain(row, in, out, info, gain), c.result);
        EXPECT_EQ(row.Events().size(), c.labels);
        EXPECT_EQ(in.MisplacedReads(), 0u);
        if (c.result == 0) {
            Bytes expected(source.begin(), source.begin() + long(c.available));
            expected.resize(source.size(), 0);
            ScaleSamplesScalar(expected.data() + 44, count, SampleFormat::U8, gain);
            EXPECT_TRUE(out.Bytes() == expected);
        }
    }
}

// Outputs appear under their name only when complete, and replace a link standing there
// instead of writing through it.
TEST(Normalize, OutputsArePublishedWhole)
{
    TempDir dir;
    RecordingStages row, boxes;
    const Bytes wave = PcmWave(1, 8000, 16, Words(std::vector<int>(40000, 9)));
    const std::string source = dir.Write("in.wav", wave);
    const Bytes other = PcmWave(1, 8000, 16, Words({ 1, 2, 3 }));
    const std::string otherFile = dir.Write("other.wav", other);
    std::filesystem::create_symlink(otherFile, dir.File("symlink.wav"));
    std::filesystem::create_hard_link(otherFile, dir.File("hardlink.wav"));
    for (const char* name : { "symlink.wav", "hardlink.wav" }) {
        EXPECT_EQ(NormalizeFile(row, boxes, source, dir.File(name), IntPeak(16, 9)), 0) << name;
        EXPECT_FALSE(std::filesystem::is_symlink(dir.File(name)));
        EXPECT_EQ(ReadFile(dir.File(name)).size(), wave.size());
    }
    EXPECT_EQ(ReadFile(otherFile), other);
    // A link to a device is written through: there is no file to replace.
    std::filesystem::create_symlink("/dev/null", dir.File("null.wav"));
    EXPECT_EQ(NormalizeFile(row, boxes, source, dir.File("null.wav"), IntPeak(16, 9)), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("null.wav")));
    std::filesystem::create_symlink(source, dir.File("tosource.wav"));
    EXPECT_EQ(ConvertSampleRate(row, source, dir.File("tosource.wav"), 16000, 16, 1), 0);
    EXPECT_EQ(ReadFile(source), wave);

    // A failed write leaves the old file under the name as it was.
    MemorySource in(wave);
    OutputFile failing;
    ASSERT_TRUE(failing.Open(otherFile));
    EXPECT_TRUE(failing.Write(wave.data(), 100));
    failing.Discard();
    EXPECT_EQ(ReadFile(otherFile), other);

    // A kill in the middle of the write leaves nothing under the name, nor beside it where
    // the file system has anonymous files.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OutputFile out;
        if (out.Open(dir.File("killed.wav")) && out.Write(wave.data(), wave.size()))
            ::raise(SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(std::filesystem::exists(dir.File("killed.wav")));

    // The named temporaries for writers that need a path: hidden, unique, created here.
    const std::string first = MakeTemporaryPath(dir.File("song.MP3"));
    const std::string second = MakeTemporaryPath(dir.File("song.MP3"));
    EXPECT_NE(first, second);
    EXPECT_TRUE(IsTemporaryName(first));
    EXPECT_EQ(first.rfind(dir.File(".orva-"), 0), 0u);
    EXPECT_TRUE(PublishTemporaryFile(first, dir.File("song.MP3")));
    EXPECT_FALSE(PublishTemporaryFile(second, dir.File("no/folder/song.MP3")));
    EXPECT_FALSE(std::filesystem::exists(first) || std::filesystem::exists(second));
    EXPECT_EQ(MakeTemporaryPath(dir.File("no/folder/song.MP3")), "");
    EXPECT_FALSE(IsTemporaryName("song.wav"));
    size_t leftOver = 0;
    for (const auto& item : std::filesystem::directory_iterator(dir.File("")))
        leftOver += IsTemporaryName(item.path().filename().string());
    EXPECT_EQ(leftOver, 0u);
}

TEST(Normalize, LabelAfterEveryEleventhChunk)
{
    EXPECT_EQ(Normalize(PcmWave(1, 8000, 16, Bytes(65536 * 10)), 1).events.size(), 1u);
    // The share's divisor is the RIFF size field.
    EXPECT_EQ(Normalize(PcmWave(1, 8000, 16, Bytes(65536 * 11)), 1).events,
              (std::vector<std::string> { "progress normalization 720896/720896 999", "end normalization" }));
}

TEST(Normalize, VectorPathsMatchThePlainLoopOnEveryWord)
{
    Bytes all;
    for (uint32_t w = 0; w < 65536; ++w)
        Put16(all, w);
    for (bool baselineOnly : { false, true }) {
        UseBaselineKernelsOnly(baselineOnly);
        for (int peak :
             { 1, 2, 3, 7, 13, 49, 64, 127, 128, 1000, 12345, 16384, 16385, 32766, 32767, 32768 }) {
            for (long skip : { 0, 6 }) {  // unaligned starts and a remainder loop
                Bytes fast(all.begin() + skip, all.end() - 2), plain = fast;
                ScaleSamples16(fast.data(), fast.size(), NormalizeGain(16, peak));
                ScaleSamples16Scalar(plain.data(), plain.size(), NormalizeGain(16, peak));
                ASSERT_EQ(fast, plain) << "peak " << peak << " skip " << skip << " baseline " << baselineOnly;
            }
        }
    }
    UseBaselineKernelsOnly(false);
}

}  // namespace
}  // namespace orva
