// TGogoTea and the binding against the recording fake library: the configuration calls and
// their order, version and unit gating, the event sequence of an encoding, aborts, the
// setters' refusals, the memory-input ring buffer, and the MP3 length check.

#include "encoder/gogo_defs.h"
#include "encoder/gogo_tea.h"
#include "encoder/mp3_length.h"
#include "tests/encoder/fake_gogo.h"
#include "tests/encoder/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <sstream>

namespace orva {
namespace {

using test::EventLog;
using test::PumpFor;
using test::PumpUntil;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<std::string> LogLines(const std::string& prefix = "")
{
    std::vector<std::string> lines;
    std::istringstream in(FakeGogo_Log());
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

/// The reason of the refusal a call raises; nullopt when it raises none.
template <typename Call> std::optional<GogoTeaRefusal> Refusal(Call call)
{
    try {
        call();
    } catch (const EGogoTeaError& error) {
        return error.Reason();
    }
    return std::nullopt;
}

class GogoTeaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::UseKeyStore(home_, FAKE_GOGO_PATH);
        FakeGogo_Reset(&script_);
    }

    /// Resets the fake with the current script, then makes the component.
    std::unique_ptr<TGogoTea> Make()
    {
        FakeGogo_Reset(&script_);
        auto tea = std::make_unique<TGogoTea>();
        FakeGogo_Reset(&script_);  // drop construction's calls from the log
        return tea;
    }

    TempDir home_;
    FakeGogoScript script_;
};

TEST_F(GogoTeaTest, ConfigurationItemsInOrderWithEveryOptionOn)
{
    script_.unitBits = 0x2 | 0x4 | 0x20;  // no KNI
    auto tea = Make();
    EXPECT_EQ(tea->DLLPath(), FAKE_GOGO_PATH);
    tea->SetSourceFile("/in/a b.wav");
    tea->SetDestFile("/out/a b.MP3");
    tea->SetUsePsy(true);
    tea->SetBitrate(192);
    tea->SetUseLPF16(true);
    tea->SetUseVBR(true);
    tea->SetVBRLevel(3);
    tea->SetSetOfUseUnit(
        { TUseUnit::_USE_MMX, TUseUnit::_USE_KNI, TUseUnit::_USE_EX_3DNOW, TUseUnit::_USE_SPC1 });
    tea->SetEmphasis(TEmphasis::_CCITT_EMPH);
    tea->SetEncodeType(TEncodeType::_MSSTEREO);
    tea->SetProcessors(2);
    tea->SetSameRate(true);
    tea->SetExtFilter({ 10, 90, true });
    tea->SetVBRBitrate({ true, 64, 256 });
    tea->SetMSSetting({ true, 20, 30 });
    const char id3[] = "ID3data";
    tea->SetID3TagInfo({ 7, id3 });

    tea->QuerySettings();
    EXPECT_THAT(LogLines("set "),
                ElementsAre("set 1 0 /in/a b.wav", "set 2 0 /out/a b.MP3", "set 8 1", "set 4 192", "set 9 1",
                            "set 18 3", "set 10 1", "set 11 0", "set 12 0", "set 13 1", "set 14 1",
                            "set 15 0", "set 17 3", "set 3 3", "set 19 2", "set 6 44100", "set 31 10 90",
                            "set 30 64 256", "set 32 20 30", "set 26 0", "set 16 7 ID3data"));
    const auto lines = LogLines();
    EXPECT_EQ(lines.front(), "init");
    EXPECT_EQ(lines[lines.size() - 2], "detect");
    EXPECT_EQ(lines.back(), "get 15");
    EXPECT_EQ(tea->AllFrames(), 10);
    EXPECT_EQ(tea->EncodeResult(), 0);
}

TEST_F(GogoTeaTest, DefaultsSendTheMinimalConfiguration)
{
    auto tea = Make();
    tea->SetSourceFile("s.wav");
    tea->SetDestFile("d.MP3");
    tea->QuerySettings();
    EXPECT_THAT(LogLines("set "),
                ElementsAre("set 1 0 s.wav", "set 2 0 d.MP3", "set 8 0", "set 4 128", "set 9 0", "set 10 1",
                            "set 11 1", "set 12 1", "set 13 1", "set 14 0", "set 15 0", "set 17 0", "set 3 2",
                            "set 19 1", "set 26 0"));
    // Four unit tests, each asking the library anew.
    EXPECT_EQ(LogLines("units").size(), 4u);
}

TEST_F(GogoTeaTest, VersionGatesTheLaterItems)
{
    struct Case {
        std::uint32_t version;
        bool format;
        bool extended;
    };
    for (const Case c : { Case { 549, false, false }, Case { 555, true, false }, Case { 560, true, true } }) {
        SCOPED_TRACE(c.version);
        script_.versionCode = c.version;
        auto tea = Make();
        tea->SetExtFilter({ 55, 70, true });
        tea->SetMSSetting({ true, 75, 66 });
        const char id3[] = "TAGX";
        tea->SetID3TagInfo({ 4, id3 });
        tea->QuerySettings();
        const auto sets = LogLines("set ");
        const auto has = [&sets](const std::string& prefix) {
            return std::any_of(sets.begin(), sets.end(),
                               [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        };
        EXPECT_EQ(has("set 26 "), c.format);
        EXPECT_EQ(has("set 16 "), c.format);
        EXPECT_EQ(has("set 31 "), c.extended);
        EXPECT_EQ(has("set 32 "), c.extended);
        EXPECT_FALSE(has("set 30 "));  // VBR range only with UseVBR
    }
}

TEST_F(GogoTeaTest, RiffTagsGoInOrderAndAreFreedAfterTheQuery)
{
    auto tea = Make();
    tea->SetEncodeFormat(TEncodeFormat::_FORMAT_OF_RIFF_RMP);
    const char first[] = "INAMfirst";
    const char second[] = "ICMTsecond";
    tea->AddRmpTagInfo({ 9, first });
    tea->AddRmpTagInfo({ 10, second });
    tea->Execute();
    auto sets = LogLines("set 2");
    EXPECT_THAT(std::vector<std::string>(sets.end() - 3, sets.end()),
                ElementsAre("set 26 2", "set 27 9 INAMfirst", "set 27 10 ICMTsecond"));

    // Consumed by the query: after the encoding, a new query sends no tags.
    ASSERT_TRUE(PumpUntil([&] { return !tea->IsEncoding(); }));
    FakeGogo_Reset(&script_);
    tea->QuerySettings();
    EXPECT_THAT(LogLines("set 27"), ::testing::IsEmpty());
}

TEST_F(GogoTeaTest, RefusedConfigurationsRaiseTheirReasons)
{
    {
        script_.initializeResult = 4;
        auto tea = Make();
        EXPECT_EQ(Refusal([&] { tea->QuerySettings(); }), GogoTeaRefusal::NoFpu);
        EXPECT_EQ(tea->EncodeResult(), 4);
        EXPECT_THAT(LogLines("set "), ::testing::IsEmpty());
    }
    script_.initializeResult = 0;
    {
        script_.detectResult = 9;
        auto tea = Make();
        EXPECT_EQ(Refusal([&] { tea->Execute(); }), GogoTeaRefusal::BadConfiguration);
        EXPECT_EQ(tea->EncodeResult(), 9);
        EXPECT_FALSE(tea->IsEncoding());
        // Not prepared: a corrected configuration may be tried again.
        script_.detectResult = 0;
        FakeGogo_Reset(&script_);
        EXPECT_NO_THROW(tea->QuerySettings());
    }
    {
        script_.detectThrows = true;
        auto tea = Make();
        EXPECT_EQ(Refusal([&] { tea->QuerySettings(); }), GogoTeaRefusal::BadConfiguration);
        EXPECT_EQ(tea->EncodeResult(), 10);
    }
}

TEST_F(GogoTeaTest, APreparedComponentRefusesASecondQuery)
{
    auto tea = Make();
    tea->QuerySettings();
    EXPECT_EQ(Refusal([&] { tea->QuerySettings(); }), GogoTeaRefusal::Busy);
    EXPECT_EQ(Refusal([&] { tea->Execute(); }), GogoTeaRefusal::Busy);
    EXPECT_FALSE(tea->IsEncoding());
}

TEST_F(GogoTeaTest, CompleteEncodingReportsProgressThenFinish)
{
    script_.frames = 10;
    auto tea = Make();
    EventLog events(*tea);
    tea->SetFrequency(3);
    tea->Execute();
    EXPECT_TRUE(tea->IsEncoding());
    ASSERT_TRUE(PumpUntil([&] { return events.finishes > 0; }));
    EXPECT_THAT(events.events,
                ElementsAre("progress 0 10", "progress 3 10", "progress 6 10", "progress 9 10",
                            "progress 10 10", "finish complete"));
    EXPECT_FALSE(tea->IsEncoding());
    EXPECT_TRUE(tea->WaitForFinish(std::chrono::milliseconds(0)));
    EXPECT_TRUE(tea->LastEncodingComplete());
    EXPECT_EQ(tea->EncodeResult(), 0);
    const auto lines = LogLines();
    EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()), ElementsAre("close", "end"));
    EXPECT_EQ(FakeGogo_FrameCalls(), 10);
}

TEST_F(GogoTeaTest, LibraryErrorReportsErrorThenAbortedFinish)
{
    struct Case {
        std::int32_t code;
        bool throws;
        int expected;
    };
    for (const Case c : { Case { 5, false, 5 }, Case { 0, true, 10 } }) {
        SCOPED_TRACE(c.expected);
        script_.errorAfter = 3;
        script_.errorCode = c.code;
        script_.frameThrows = c.throws;
        auto tea = Make();
        EventLog events(*tea);
        tea->Execute();
        ASSERT_TRUE(PumpUntil([&] { return events.finishes > 0; }));
        EXPECT_THAT(events.events,
                    ElementsAre("progress 0 10", "error " + std::to_string(c.expected), "finish aborted"));
        EXPECT_EQ(tea->EncodeResult(), c.expected);
        EXPECT_FALSE(tea->LastEncodingComplete());
        EXPECT_EQ(FakeGogo_FrameCalls(), c.throws ? 1 : 4);
        EXPECT_THAT(LogLines("close"), ::testing::SizeIs(1));
    }
}

TEST_F(GogoTeaTest, AbortStopsARunningEncodingOnly)
{
    script_.frames = 100000;
    script_.frameDelayMs = 1;
    auto tea = Make();
    EventLog events(*tea);

    tea->AbortEncode();  // nothing runs: nothing is posted
    PumpFor(250);
    EXPECT_TRUE(events.events.empty());

    tea->Execute();
    EXPECT_FALSE(tea->WaitForFinish(std::chrono::milliseconds(0)));
    ASSERT_TRUE(PumpUntil([&] { return FakeGogo_FrameCalls() >= 5; }));
    tea->AbortEncode();
    tea->AbortEncode();  // a second request (or one after the end) brings no second finish
    ASSERT_TRUE(PumpUntil([&] { return events.finishes > 0; }));
    PumpFor(100);
    EXPECT_EQ(events.finishes, 1);
    EXPECT_FALSE(tea->LastEncodingComplete());
    EXPECT_EQ(events.events.front(), "progress 0 100000");
    EXPECT_EQ(events.events.back(), "finish aborted");
    EXPECT_FALSE(tea->IsEncoding());
    EXPECT_LT(FakeGogo_FrameCalls(), 100000);
    const auto lines = LogLines();
    EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()), ElementsAre("close", "end"));
}

TEST_F(GogoTeaTest, SettersRefuseWhileEncodingButPriorityIsTaken)
{
    script_.frames = 100000;
    script_.frameDelayMs = 1;
    auto tea = Make();
    EventLog events(*tea);
    tea->Execute();
    EXPECT_EQ(Refusal([&] { tea->SetBitrate(192); }), GogoTeaRefusal::Busy);
    EXPECT_EQ(tea->BitRate(), 128);
    // Busy is checked before the range.
    EXPECT_EQ(Refusal([&] { tea->SetVBRLevel(10); }), GogoTeaRefusal::Busy);
    EXPECT_EQ(Refusal([&] { tea->SetSourceFile("x"); }), GogoTeaRefusal::Busy);
    EXPECT_NO_THROW(tea->SetPriority(TThreadPriority::tpNormal));
    EXPECT_EQ(tea->Priority(), TThreadPriority::tpNormal);
    tea->AbortEncode();
    ASSERT_TRUE(PumpUntil([&] { return events.finishes > 0; }));
    EXPECT_NO_THROW(tea->SetBitrate(192));
}

TEST_F(GogoTeaTest, RangeChecks)
{
    auto tea = Make();
    const auto range = GogoTeaRefusal::OutOfRange;
    EXPECT_EQ(Refusal([&] { tea->SetVBRLevel(10); }), range);
    EXPECT_EQ(Refusal([&] { tea->SetVBRLevel(-1); }), range);
    EXPECT_EQ(Refusal([&] { tea->SetFrequency(0); }), range);
    EXPECT_EQ(Refusal([&] { tea->SetExtFilter({ 55, 101, false }); }), range);
    EXPECT_EQ(Refusal([&] { tea->SetExtFilter({ -1, 70, false }); }), range);
    EXPECT_EQ(Refusal([&] { tea->SetVBRBitrate({ false, -1, 128 }); }), range);
    EXPECT_EQ(Refusal([&] { tea->SetMSSetting({ false, 75, 101 }); }), range);
    EXPECT_EQ(Refusal([&] { tea->AddRmpTagInfo({ 0, "x" }); }), range);
    EXPECT_EQ(Refusal([&] { tea->SetID3TagInfo({ 4, nullptr }); }), range);
    // Old values kept; the bounds themselves accepted.
    EXPECT_EQ(tea->VBRLevel(), 5);
    EXPECT_EQ(tea->Frequency(), 100);
    EXPECT_EQ(tea->ExtFilter().High, 70);
    EXPECT_NO_THROW(tea->SetVBRLevel(0));
    EXPECT_NO_THROW(tea->SetVBRLevel(9));
    EXPECT_NO_THROW(tea->SetExtFilter({ 0, 100, true }));
    EXPECT_NO_THROW(tea->SetMSSetting({ true, 0, 100 }));
    EXPECT_NO_THROW(tea->SetFrequency(1));
}

TEST_F(GogoTeaTest, RingBufferBoundsAndWrapAround)
{
    auto tea = Make();
    std::vector<std::uint8_t> data(0x100000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<std::uint8_t> out(0x100000);

    // Outside memory mode the buffer does nothing and reports success.
    EXPECT_TRUE(tea->WriteBuffer(data.data(), 10));
    EXPECT_TRUE(tea->ReadBuffer(out.data(), 10));
    EXPECT_EQ(tea->ReadBufferEx(out.data(), 10), 0);

    tea->SetEncodeMode(TEncodeMode::_MEMORY);
    EXPECT_FALSE(tea->WriteBuffer(data.data(), 0xFFFFF));  // exactly the free count
    EXPECT_TRUE(tea->WriteBuffer(data.data(), 0xFFFFE));
    EXPECT_FALSE(tea->WriteBuffer(data.data(), 1));      // full
    EXPECT_FALSE(tea->ReadBuffer(out.data(), 0xFFFFF));  // more than available: nothing taken
    ASSERT_TRUE(tea->ReadBuffer(out.data(), 0xFFFF0));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 0xFFFF0, data.begin()));

    // The next write wraps past the end of the ring.
    ASSERT_TRUE(tea->WriteBuffer(data.data() + 100, 1000));
    std::fill(out.begin(), out.end(), 0xAA);
    EXPECT_EQ(tea->ReadBufferEx(out.data(), 1024), 14 + 1000);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 14, data.begin() + 0xFFFF0));
    EXPECT_TRUE(std::equal(out.begin() + 14, out.begin() + 1014, data.begin() + 100));
    EXPECT_TRUE(std::all_of(out.begin() + 1014, out.begin() + 1024, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(out[1024], 0xAA);
    EXPECT_TRUE(tea->ReadBuffer(out.data(), 0));
    EXPECT_TRUE(tea->WriteBuffer(data.data(), 0));
}

TEST(ByteRingTest, EveryWrapPointKeepsTheBytesInOrder)
{
    // A ring of 8 holds 7; each start offset puts the wrap at another place of each copy.
    const std::uint8_t data[7] = { 1, 2, 3, 4, 5, 6, 7 };
    for (int offset = 0; offset < 8; ++offset) {
        SCOPED_TRACE(offset);
        ByteRing ring(8);
        std::uint8_t out[8] = {};
        ASSERT_TRUE(ring.Write(data, offset));
        ASSERT_TRUE(ring.Read(out, offset));
        EXPECT_EQ(ring.Available(), 0);
        EXPECT_EQ(ring.Free(), 7);
        EXPECT_FALSE(ring.Write(data, 8));  // more than it holds: nothing written
        EXPECT_EQ(ring.Available(), 0);
        ASSERT_TRUE(ring.Write(data, 5));
        ASSERT_TRUE(ring.Write(data + 5, 2));
        EXPECT_EQ(ring.Free(), 0);
        EXPECT_FALSE(ring.Write(data, 1));
        EXPECT_FALSE(ring.Read(out, 8));  // more than held: nothing taken
        ASSERT_TRUE(ring.Read(out, 3));
        EXPECT_EQ(ring.ReadSome(out + 3, 8), 4);
        EXPECT_TRUE(std::equal(out, out + 7, data));
        EXPECT_EQ(ring.ReadSome(out, 8), 0);
    }
}

TEST(Mp3LengthTest, FramesAndCoverage)
{
    // 128 kbps 44.1 kHz MPEG-1 layer III: 417 bytes, 1152 samples; MPEG-2 at 64 kbps 22.05 kHz:
    // 208 bytes, 576 samples.
    const auto frames = [](int count, bool mpeg2 = false) {
        std::string frame(mpeg2 ? 208 : 417, '\0');
        frame[0] = '\xFF', frame[1] = mpeg2 ? '\xF3' : '\xFB', frame[2] = mpeg2 ? '\x80' : '\x90';
        std::string bytes;
        for (int i = 0; i < count; ++i)
            bytes += frame;
        return bytes;
    };
    const std::string id3v2 = std::string("ID3\x03\0\0\0\0\0\x0A", 10) + std::string(10, 'x');
    const std::string id3v1 = "TAG" + std::string(125, ' ');
    struct Case {
        const char* what;
        std::string bytes;
        std::int64_t frames;
        int samplesPerFrame;
    };
    const Case cases[] = {
        { "frames only", frames(40), 40, 1152 },
        { "tags before and after", id3v2 + frames(40) + id3v1, 40, 1152 },
        { "an encoder's message before the frames", "lame: encoding\n" + frames(40), 40, 1152 },
        { "the last frame cut", frames(40).substr(0, 40 * 417 - 1), 39, 1152 },
        { "MPEG-2 frames", frames(10, true), 10, 576 },
        { "no frames", "ID3", 0, 0 },
    };
    TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.File("x.MP3");
        std::ofstream(path, std::ios::binary) << c.bytes;
        const Mp3Length length = MeasureMp3(path);
        EXPECT_TRUE(length.readable);
        EXPECT_EQ(length.frames, c.frames);
        EXPECT_EQ(length.samplesPerFrame, c.samplesPerFrame);
    }
    // 40 frames at 44.1 kHz cover 1 s (with what the encoder adds, two frames to spare) at
    // any source rate, not 2 s; 36 frames fall short of 1 s.
    Mp3Length mp3 { true, 40, 1152, 44100 };
    EXPECT_TRUE(Mp3CoversWave(mp3, 44100, 44100));
    EXPECT_TRUE(Mp3CoversWave(mp3, 22050, 22050));
    EXPECT_TRUE(Mp3CoversWave(mp3, 96000, 96000));
    EXPECT_FALSE(Mp3CoversWave(mp3, 44100, 22050));
    EXPECT_FALSE(Mp3CoversWave(mp3, 44100 * 2, 44100));
    mp3.frames = 36;
    EXPECT_FALSE(Mp3CoversWave(mp3, 44100, 44100));
    EXPECT_TRUE(Mp3CoversWave({ true, 0, 0, 0 }, 0, 44100));  // nothing to cover
    EXPECT_FALSE(Mp3CoversWave({ true, 0, 0, 0 }, 1, 44100));
    EXPECT_FALSE(Mp3CoversWave({ false, 40, 1152, 44100 }, 1, 44100));  // a read error
    EXPECT_FALSE(Mp3CoversWave(MeasureMp3(folder.File("missing.MP3")), 1, 44100));
}

TEST_F(GogoTeaTest, MemoryInputRecordAndReadFunction)
{
    auto tea = Make();
    tea->SetEncodeMode(TEncodeMode::_MEMORY);
    tea->QuerySettings();
    EXPECT_EQ(LogLines("set 1 ").front(), "set 1 2 memory -1 16 44100 2 read");
    const GogoReadFunction read = FakeGogo_MemoryInput().read;
    ASSERT_NE(read, nullptr);

    const std::uint8_t bytes[10] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 };
    ASSERT_TRUE(tea->WriteBuffer(bytes, 10));
    std::uint8_t out[8] = {};
    EXPECT_EQ(read(out, 8), 0);  // enough bytes: a full block
    EXPECT_EQ(out[7], 8);

    // Not ended: the read waits until the writer has ended the input, then pads.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        tea->WriteBuffer(nullptr, 0);
    });
    std::fill(std::begin(out), std::end(out), 0xEE);
    EXPECT_EQ(read(out, 8), 0);
    writer.join();
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(out[1], 10);
    EXPECT_TRUE(std::all_of(out + 2, out + 8, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(read(out, 8), 1);  // ended and empty

    // No instance any more: the end of input, not an unfilled buffer reported as data.
    tea.reset();
    EXPECT_EQ(read(out, 8), 1);
}

TEST_F(GogoTeaTest, DestructionDuringAnEncodingClosesTheEncoder)
{
    script_.frames = 100000;
    script_.frameDelayMs = 1;
    auto tea = Make();
    tea->Execute();
    ASSERT_TRUE(PumpUntil([&] { return FakeGogo_FrameCalls() >= 3; }));
    tea.reset();
    const auto lines = LogLines();
    EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()), ElementsAre("close", "end"));
    PumpFor(50);  // nothing is delivered to the destroyed component
}

// --- the binding ----------------------------------------------------------------------------

TEST(GogoDefsTest, LoadsThroughTheKeyStoreAndCountsUsers)
{
    TempDir home;
    test::UseKeyStore(home, FAKE_GOGO_PATH);
    ASSERT_EQ(GogoUseCount(), 0);
    ASSERT_TRUE(InitGogoDefs());
    EXPECT_EQ(GogoDLLPath(), FAKE_GOGO_PATH);
    EXPECT_NE(GogoFunctions(), nullptr);
    ASSERT_TRUE(InitGogoDefs());
    EXPECT_EQ(GogoUseCount(), 2);
    DeallocateGogoDLL();
    EXPECT_NE(GogoFunctions(), nullptr);
    DeallocateGogoDLL();
    EXPECT_EQ(GogoFunctions(), nullptr);
    EXPECT_EQ(GogoUseCount(), 0);
    DeallocateGogoDLL();  // never below 0
    EXPECT_EQ(GogoUseCount(), 0);
}

TEST(GogoDefsTest, RefusesMissingOrIncompleteLibraries)
{
    TempDir home;
    for (const std::string& path :
         { std::string(), home.File("absent.so"), std::string(FAKE_GOGO_INCOMPLETE_PATH) }) {
        SCOPED_TRACE(path);
        test::UseKeyStore(home, path);
        EXPECT_FALSE(InitGogoDefs());
        EXPECT_EQ(GogoUseCount(), 0);
        EXPECT_EQ(GogoFunctions(), nullptr);
    }
}

TEST(GogoDefsTest, KeyStoreWritesOnlyTheLibraryPath)
{
    // before (nullptr: no file) -> after writing "/new path/libgogo.so"
    struct Row {
        const char* before;
        const char* after;
    };
    const Row rows[] = {
        { nullptr, "[Software\\MarineCat\\GOGO_DLL]\nINSTPATH=/new path/libgogo.so\n" },
        { "[Other]\nINSTPATH=/elsewhere\n[software\\marinecat\\gogo_dll]\ninstpath = \"/old/libgogo.so\"\n",
          "[Other]\nINSTPATH=/elsewhere\n[software\\marinecat\\gogo_dll]\ninstpath = /new "
          "path/libgogo.so\n" },
        { "; kept\r\n[Other]\r\nA=1\r\n",
          "; kept\r\n[Other]\r\nA=1\r\n[Software\\MarineCat\\GOGO_DLL]\r\nINSTPATH=/new "
          "path/libgogo.so\r\n" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before ? row.before : "(no file)");
        TempDir home;
        const std::string store = home.File("sub/orva/registry.ini");
        if (row.before) {
            std::filesystem::create_directories(home.File("sub/orva"));
            std::ofstream(store) << row.before;
        }
        ASSERT_TRUE(WriteGogoInstallPath(store, "/new path/libgogo.so"));
        EXPECT_EQ(ReadGogoInstallPath(store), "/new path/libgogo.so");
        std::ifstream in(store);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, row.after);
        EXPECT_FALSE(WriteGogoInstallPath(store, "/a\nb/libgogo.so"));
        EXPECT_EQ(ReadGogoInstallPath(store), "/new path/libgogo.so");
    }
}

TEST(GogoTeaWithoutLibraryTest, OperationsNeedingTheLibraryThrow)
{
    TempDir home;
    test::UseKeyStore(home, "");
    TGogoTea tea;
    EXPECT_EQ(tea.DLLPath(), "");
    EXPECT_THROW(tea.VersionString(), EGogoLibraryMissing);
    EXPECT_THROW(tea.Execute(), EGogoLibraryMissing);
    EXPECT_FALSE(tea.IsEncoding());
    EXPECT_THROW(tea.EncodeFrames(), EGogoLibraryMissing);
    tea.AbortEncode();
}

}  // namespace
}  // namespace orva
