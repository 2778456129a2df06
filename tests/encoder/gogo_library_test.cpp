// The real libgogo.so through TGogoTea: WAV files of each supported layout become MP3 files
// of the right rate, mode, bitrate and length; unusable inputs are refused; a source cut
// while it is read fails the encoding; memory input, tags, aborts and a second encoding
// after an abort; two components encoding at once write what each writes alone.

#include "encoder/gogo_defs.h"
#include "encoder/gogo_tea.h"
#include "encoder/mp3_length.h"
#include "tests/encoder/mp3_frames.h"
#include "tests/encoder/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace orva {
namespace {

using test::EventLog;
using test::PumpUntil;
using test::ReadMp3;
using test::TempDir;

std::string LibraryPath() { return test::BuildDir() + "/libgogo.so"; }

bool HaveMpg123() { return std::system("command -v mpg123 >/dev/null 2>&1") == 0; }

/// Decodes an MP3 file with mpg123 and returns the sample frames per channel, or -1.
long DecodedFrames(const std::string& mp3, const std::string& wav, int channels)
{
    const std::string command = "mpg123 -q -w '" + wav + "' '" + mp3 + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return -1;
    const auto bytes = std::filesystem::file_size(wav);
    return static_cast<long>((bytes - 44) / static_cast<unsigned long>(2 * channels));
}

class GogoLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(LibraryPath())) << LibraryPath();
        test::UseKeyStore(home_, LibraryPath());
        tea_ = std::make_unique<TGogoTea>();
        tea_->SetPriority(TThreadPriority::tpNormal);
        tea_->SetFrequency(1);
        events_ = std::make_unique<EventLog>(*tea_);
    }

    /// Encodes `source` into `destination` with the current properties and waits for the end.
    void Encode(const std::string& source, const std::string& destination)
    {
        tea_->SetSourceFile(source);
        tea_->SetDestFile(destination);
        tea_->Execute();
        ASSERT_TRUE(PumpUntil([&] { return !tea_->IsEncoding(); }, 60000));
    }

    TempDir home_;
    TempDir files_;
    std::unique_ptr<TGogoTea> tea_;
    std::unique_ptr<EventLog> events_;
};

TEST_F(GogoLibraryTest, IdentifiesItself)
{
    EXPECT_GE(tea_->VersionCode(), 560u);
    EXPECT_THAT(tea_->VersionString(), ::testing::HasSubstr("LAME"));
    EXPECT_NE(tea_->UnitStates() & 0x1u, 0u);
    EXPECT_EQ(tea_->DLLPath(), LibraryPath());
}

TEST_F(GogoLibraryTest, EncodesEachInputLayout)
{
    struct Case {
        const char* name;
        int channels, rate, bits;
        TEncodeType type;
        int bitrate;
        int expectedBitrate, expectedMode, expectedSamplesPerFrame;
        int formatTag = 1;
    };
    const Case cases[] = {
        { "stereo 16-bit joint 128", 2, 44100, 16, TEncodeType::_JOINT, 128, 128, 1, 1152 },
        { "forced mono at 96", 2, 44100, 16, TEncodeType::_MONO, 96, 96, 3, 1152 },
        { "plain stereo 48 kHz", 2, 48000, 16, TEncodeType::_STEREO, 192, 192, 0, 1152 },
        { "8-bit mono 22050 Hz", 1, 22050, 8, TEncodeType::_JOINT, 64, 64, 3, 576 },
        { "mid-side stereo", 2, 32000, 16, TEncodeType::_MSSTEREO, 128, 128, 1, 1152 },
        { "24-bit stereo", 2, 48000, 24, TEncodeType::_JOINT, 192, 192, 1, 1152 },
        { "32-bit mono", 1, 44100, 32, TEncodeType::_JOINT, 96, 96, 3, 1152 },
        { "float stereo", 2, 44100, 32, TEncodeType::_JOINT, 128, 128, 1, 1152, 3 },
        { "double mono", 1, 22050, 64, TEncodeType::_JOINT, 64, 64, 3, 576, 3 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long frames = c.rate * 2 + 123;
        const std::string wav = files_.File("in.wav");
        const std::string mp3 = files_.File("out.MP3");
        test::WriteWav(wav, c.channels, c.rate, c.bits, frames, c.formatTag);
        events_->events.clear();
        tea_->SetEncodeType(c.type);
        tea_->SetBitrate(c.bitrate);
        Encode(wav, mp3);
        const int calls =
            static_cast<int>((frames + c.expectedSamplesPerFrame - 1) / c.expectedSamplesPerFrame);
        EXPECT_EQ(tea_->AllFrames(), calls);
        ASSERT_FALSE(events_->events.empty());
        EXPECT_EQ(events_->events.back(), "finish complete");
        EXPECT_EQ(events_->events[events_->events.size() - 2],
                  "progress " + std::to_string(calls) + " " + std::to_string(calls));

        const auto summary = ReadMp3(mp3);
        EXPECT_TRUE(summary.valid);
        EXPECT_TRUE(summary.hasInfoTag);
        EXPECT_EQ(summary.sampleRate, c.rate);
        EXPECT_EQ(summary.bitrate, c.expectedBitrate);
        EXPECT_EQ(summary.channelMode, c.expectedMode);
        EXPECT_EQ(summary.samplesPerFrame, c.expectedSamplesPerFrame);
        EXPECT_TRUE(Mp3CoversWave(MeasureMp3(mp3), static_cast<std::uint64_t>(frames),
                                  static_cast<std::uint32_t>(c.rate)));
        if (HaveMpg123()) {
            EXPECT_EQ(DecodedFrames(mp3, files_.File("decoded.wav"), c.expectedMode == 3 ? 1 : 2), frames);
        }
    }
}

TEST_F(GogoLibraryTest, RefusesUnusableInputs)
{
    const std::string mp3 = files_.File("out.MP3");
    const std::string fourChannels = files_.File("quad.wav");
    test::WriteWav(fourChannels, 4, 44100, 16, 1000);
    const std::string notWav = files_.File("text.wav");
    std::ofstream(notWav) << "not a wave file at all";
    for (const std::string& source : { fourChannels, notWav, files_.File("missing.wav") }) {
        SCOPED_TRACE(source);
        try {
            tea_->SetSourceFile(source);
            tea_->SetDestFile(mp3);
            tea_->Execute();
            ADD_FAILURE() << "accepted";
        } catch (const EGogoTeaError& error) {
            EXPECT_EQ(error.Reason(), GogoTeaRefusal::BadConfiguration);
        }
        EXPECT_NE(tea_->EncodeResult(), 0);
        EXPECT_FALSE(tea_->IsEncoding());
        EXPECT_FALSE(std::filesystem::exists(mp3));
    }
    // An output that is the input itself is refused before the input is emptied.
    const std::string wav = files_.File("in.wav");
    test::WriteWav(wav, 2, 44100, 16, 1000);
    const auto size = std::filesystem::file_size(wav);
    EXPECT_THROW(Encode(wav, files_.File("./in.wav")), EGogoTeaError);
    EXPECT_EQ(std::filesystem::file_size(wav), size);
    // The RIFF output formats are refused too.
    tea_->SetEncodeFormat(TEncodeFormat::_FORMAT_OF_RIFF_WAVE);
    EXPECT_THROW(Encode(wav, mp3), EGogoTeaError);
}

TEST_F(GogoLibraryTest, SourceCutWhileItIsReadFailsTheEncoding)
{
    // Each read path: interleaved 16-bit, 8-bit widened, and one buffer per channel; through
    // an encoder handle and through the process-wide entry points.
    struct Case {
        const char* name;
        int channels, bits;
        bool handle = true;
    };
    const Case cases[] = { { "16-bit stereo", 2, 16 },
                           { "8-bit mono", 1, 8 },
                           { "24-bit stereo", 2, 24 },
                           { "16-bit stereo, process-wide", 2, 16, false } };
    const GogoEntryPoints* library = GogoFunctions();
    ASSERT_NE(library, nullptr);
    ASSERT_NE(library->MPGE_createEncoder, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wav = files_.File("cut.wav");
        const std::string mp3 = files_.File("cut.MP3");
        test::WriteWav(wav, c.channels, 44100, c.bits, 44100 * 2);
        GogoEncoder* encoder = c.handle ? library->MPGE_createEncoder() : nullptr;
        const auto set = [&](int item, int value, const std::string& text) {
            void* pointer = const_cast<char*>(text.c_str());
            return c.handle ? library->MPGE_setConfigure_r(encoder, item, value, pointer)
                            : library->MPGE_setConfigure(item, value, pointer);
        };
        const auto frame = [&] {
            return c.handle ? library->MPGE_processFrame_r(encoder) : library->MPGE_processFrame();
        };
        if (c.handle)
            ASSERT_NE(encoder, nullptr);
        else
            library->MPGE_initializeWork();
        set(GOGO_ITEM_INPUT, GOGO_INPUT_FILE, wav);
        set(GOGO_ITEM_OUTPUT, 0, mp3);
        ASSERT_EQ(c.handle ? library->MPGE_detectConfigure_r(encoder) : library->MPGE_detectConfigure(),
                  GOGO_OK);
        std::filesystem::resize_file(wav, std::filesystem::file_size(wav) / 2);
        int result = GOGO_OK;
        for (int calls = 0; result == GOGO_OK && calls < 1000; ++calls)
            result = frame();
        EXPECT_EQ(result, GOGO_ERR_INPUT);
        if (c.handle) {
            library->MPGE_endCoder_r(encoder);
            library->MPGE_destroyEncoder(encoder);
        } else {
            library->MPGE_endCoder();
        }
    }
}

TEST_F(GogoLibraryTest, TwoComponentsEncodeAtOnceAsEachDoesAlone)
{
    // Different inputs and settings, so that any state shared between the encodings shows.
    const std::string wavs[2] = { files_.File("a.wav"), files_.File("b.wav") };
    test::WriteWav(wavs[0], 2, 44100, 16, 44100 * 8);
    test::WriteWav(wavs[1], 1, 48000, 24, 48000 * 6);
    TGogoTea second;
    TGogoTea* teas[2] = { tea_.get(), &second };
    second.SetPriority(TThreadPriority::tpNormal);
    second.SetBitrate(192);
    second.SetEncodeType(TEncodeType::_MONO);
    const auto encodeBoth = [&](const std::string& suffix, bool atOnce) {
        for (int i = 0; i < 2; ++i) {
            teas[i]->SetSourceFile(wavs[i]);
            teas[i]->SetDestFile(files_.File(std::to_string(i) + suffix));
            teas[i]->Execute();
            if (!atOnce) {
                ASSERT_TRUE(PumpUntil([&] { return !teas[i]->IsEncoding(); }, 60000));
            }
        }
        ASSERT_TRUE(PumpUntil([&] { return !teas[0]->IsEncoding() && !teas[1]->IsEncoding(); }, 60000));
        EXPECT_TRUE(teas[0]->LastEncodingComplete());
        EXPECT_TRUE(teas[1]->LastEncodingComplete());
    };
    encodeBoth(".alone.MP3", false);
    encodeBoth(".together.MP3", true);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const auto alone = test::ReadFileBytes(files_.File(std::to_string(i) + ".alone.MP3"));
        EXPECT_FALSE(alone.empty());
        EXPECT_TRUE(alone == test::ReadFileBytes(files_.File(std::to_string(i) + ".together.MP3")));
    }
    // Each output covers its source.
    EXPECT_TRUE(Mp3CoversWave(MeasureMp3(files_.File("0.together.MP3")), 44100 * 8, 44100));
    EXPECT_TRUE(Mp3CoversWave(MeasureMp3(files_.File("1.together.MP3")), 48000 * 6, 48000));
}

TEST_F(GogoLibraryTest, LeadingId3TagKeepsTheInfoFrameBehindIt)
{
    const std::string wav = files_.File("in.wav");
    const std::string mp3 = files_.File("out.MP3");
    test::WriteWav(wav, 2, 44100, 16, 44100);
    // A minimal ID3v2.3 tag: header with a 10-byte body of padding.
    const unsigned char id3[20] = { 'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10 };
    tea_->SetID3TagInfo({ 20, id3 });
    Encode(wav, mp3);
    const auto summary = ReadMp3(mp3);
    EXPECT_EQ(summary.leadingBytes, 20);
    EXPECT_TRUE(summary.valid);
    EXPECT_TRUE(summary.hasInfoTag);
    if (HaveMpg123()) {
        EXPECT_EQ(DecodedFrames(mp3, files_.File("decoded.wav"), 2), 44100);
    }
}

TEST_F(GogoLibraryTest, EncodesFromMemory)
{
    const std::string mp3 = files_.File("memory.MP3");
    tea_->SetEncodeMode(TEncodeMode::_MEMORY);
    tea_->SetDestFile(mp3);
    tea_->QuerySettings();
    tea_->Execute();
    // About 1 s of stereo 16-bit samples pushed in 2 KiB pieces from another thread.
    std::thread writer([this] {
        std::vector<std::int16_t> block(1024);
        for (int written = 0; written < 44100; written += 512) {
            for (int i = 0; i < 512; ++i) {
                block[static_cast<std::size_t>(2 * i)] =
                    static_cast<std::int16_t>(8000 * std::sin((written + i) * 0.06));
                block[static_cast<std::size_t>(2 * i + 1)] = block[static_cast<std::size_t>(2 * i)];
            }
            while (!tea_->WriteBuffer(block.data(), 2048))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        tea_->WriteBuffer(nullptr, 0);
    });
    const bool ended = PumpUntil([&] { return !tea_->IsEncoding(); }, 60000);
    writer.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(events_->events.back(), "finish complete");
    const auto summary = ReadMp3(mp3);
    EXPECT_TRUE(summary.valid);
    EXPECT_EQ(summary.sampleRate, 44100);
    if (HaveMpg123()) {
        // 87 pushes of 512 frames; the read function zero-pads the last block of 1152.
        EXPECT_EQ(DecodedFrames(mp3, files_.File("decoded.wav"), 2), 39 * 1152);
    }
}

TEST_F(GogoLibraryTest, AbortThenEncodeAgain)
{
    const std::string wav = files_.File("long.wav");
    test::WriteWav(wav, 2, 44100, 16, 44100 * 20);
    tea_->SetSourceFile(wav);
    tea_->SetDestFile(files_.File("aborted2.MP3"));
    tea_->Execute();
    ASSERT_TRUE(PumpUntil([&] { return events_->events.size() >= 2; }));
    tea_->AbortEncode();
    ASSERT_TRUE(PumpUntil([&] { return !tea_->IsEncoding(); }));
    EXPECT_EQ(events_->events.back(), "finish aborted");

    const std::string shortWav = files_.File("short.wav");
    test::WriteWav(shortWav, 2, 44100, 16, 4410);
    events_->events.clear();
    Encode(shortWav, files_.File("after.MP3"));
    EXPECT_EQ(events_->events.back(), "finish complete");
    EXPECT_TRUE(ReadMp3(files_.File("after.MP3")).valid);
}

}  // namespace
}  // namespace orva
