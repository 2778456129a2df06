// The MP3 step: the external encoder's argument vector and run, the progress position, and
// the in-process step over the real libgogo.so (settings mapping, failure box, cancel, and a
// later file waiting for an encoding that a withdrawn cancel left running).

#include "batch/mp3_step.h"
#include "encoder/gogo_tea.h"
#include "settings/settings.h"
#include "tests/batch/test_support.h"
#include "tests/encoder/mp3_frames.h"
#include "tests/encoder/test_support.h"

#include <QCoreApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace orva {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;

/// The component delivers its events to the thread that made it: this test's main thread.
void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "mp3_step_test";
    static char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

/// Runs `step` on a worker thread (like the batch job) while this thread handles events.
void RunOnWorker(const std::function<void()>& step)
{
    std::atomic<bool> done { false };
    std::thread worker([&] {
        step();
        done = true;
    });
    test::PumpUntil([&] { return done.load(); }, 120000);
    worker.join();
}

std::string Lines(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ExternalEncoderArgumentsTest, BitrateAndModeOptions)
{
    struct Case {
        int bitrate;
        int outputMode;
        std::vector<std::string> middle;  // between "-l3" and the source
    };
    const Case cases[] = {
        { 192, 3, { "-b11" } },  // forced mono: bitrate not halved, no mode option
        { 192, 1, { "-b11", "-j" } }, { 64, 0, { "-b9", "-s" } },  // a rate outside the table
        { 128, 2, { "-b9" } },                                     // mid-side: no mode option
        { 80, 0, { "-b6", "-s" } },                                // both ends of the table
        { 320, 7, { "-b14" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bitrate) + "/" + std::to_string(c.outputMode));
        Settings settings;
        settings.EncoderPath = "/opt/enc/scmpx";
        settings.Mp3Bitrate = c.bitrate;
        settings.OutputMode = c.outputMode;
        settings.UsePsy = 1;  // plays no part
        std::vector<std::string> expected { "/opt/enc/scmpx", "-e", "-l3" };
        expected.insert(expected.end(), c.middle.begin(), c.middle.end());
        expected.push_back("/in/a.wav");
        expected.push_back("/in/a.MP3");
        EXPECT_EQ(ExternalEncoderArguments(settings, "/in/a.wav", "/in/a.MP3"), expected);
    }
}

TEST(GogoTea1ProgressTest, Positions)
{
    EXPECT_EQ(GogoTea1Progress(0, 0), 0);
    EXPECT_EQ(GogoTea1Progress(5, 0), 0);
    EXPECT_EQ(GogoTea1Progress(1, 3), 333);
    EXPECT_EQ(GogoTea1Progress(10, 10), 1000);
    EXPECT_EQ(GogoTea1Progress(2000000, 2000000), 1000);  // no overflow of nowFrames * 1000
}

class Mp3StepTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override
    {
        library_ = test::BuildDir() + "/libgogo.so";
        test::UseKeyStore(home_, library_);
        settings_.Mp3Bitrate = 128;
        settings_.OutputMode = 1;
    }

    Mp3Step MakeStep(TGogoTea& tea)
    {
        return Mp3Step(settings_, dialog_.Row3(), dialog_.Messages(), tea, cancel_);
    }

    test::TempDir home_;
    test::TempFolder folder_;
    std::string library_;
    Settings settings_;
    test::RecordingDialog dialog_;
    std::atomic<int> cancel_ { 0 };
};

TEST_F(Mp3StepTest, ExternalEncoderGetsItsArgumentsWithoutAShell)
{
    // A stand-in encoder in a folder with a blank: records each argument on a line.
    const std::string bin = folder_.Sub("my bin");
    const std::string record = folder_.Path() + "args.txt";
    const std::string encoder = bin + "fake encoder";
    {
        std::ofstream script(encoder);
        script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record << "'\n";
    }
    std::filesystem::permissions(encoder, std::filesystem::perms::owner_all);
    settings_.EncoderPath = encoder;
    settings_.Mp3Bitrate = 192;
    settings_.OutputMode = 3;
    TGogoTea tea;
    auto step = MakeStep(tea);
    const std::string source = folder_.Path() + "it's a \"song\" $HOME;.wav";
    const std::string destination = folder_.Path() + "it's a \"song\" $HOME;.MP3";
    EXPECT_EQ(step.EncodeWithExternalEncoder(source, destination), 0);
    EXPECT_EQ(Lines(record), "-e\n-l3\n-b11\n" + source + "\n" + destination + "\n");
    EXPECT_THAT(dialog_.Events(),
                ElementsAre("row3.label 外部エンコーダ呼び出し中", "row3.pos 0",
                            "row3.label 外部エンコーダ終了", "row3.pos 1000"));

    // No handle of ours reaches the encoder: a file opened without close-on-exec stays here.
    const int opened = ::open(record.c_str(), O_RDONLY);
    ASSERT_GE(opened, 0);
    const int inherited = ::fcntl(opened, F_DUPFD, 50);  // far above the shell's own
    ::close(opened);
    ASSERT_GE(inherited, 50);
    {
        std::ofstream script(encoder);
        script << "#!/bin/sh\nstate=closed\n[ -e /proc/$$/fd/" << inherited
               << " ] && state=open\necho $state > '" << record << "'\n";
    }
    step.EncodeWithExternalEncoder(source, destination);
    ::close(inherited);
    EXPECT_EQ(Lines(record), "closed\n");

    // An encoder that cannot be started: nothing waited for, nothing shown but the end texts.
    settings_.EncoderPath = folder_.Path() + "no such encoder";
    EXPECT_EQ(step.EncodeWithExternalEncoder(source, destination), 0);
    EXPECT_EQ(dialog_.Events().size(), 12u);
}

TEST_F(Mp3StepTest, GogoEncodesWithTheSettingsMapped)
{
    const std::string source = folder_.Path() + "song.wav";
    const std::string destination = folder_.Path() + "song.MP3";
    test::WriteWav(source, 2, 44100, 16, 44100);
    settings_.Mp3Bitrate = 192;
    settings_.OutputMode = 3;
    settings_.UsePsy = 2;
    TGogoTea tea;
    auto step = MakeStep(tea);
    RunOnWorker([&] { step.EncodeWithGogo(source, destination); });

    EXPECT_EQ(tea.BitRate(), 96);
    EXPECT_EQ(tea.EncodeType(), TEncodeType::_MONO);
    EXPECT_TRUE(tea.UsePsyAnalize());
    EXPECT_TRUE(tea.UseLPF());
    EXPECT_EQ(tea.Priority(), TThreadPriority::tpNormal);
    EXPECT_FALSE(tea.IsEncoding());
    const auto mp3 = test::ReadMp3(destination);
    EXPECT_TRUE(mp3.valid);
    EXPECT_EQ(mp3.bitrate, 96);
    EXPECT_EQ(mp3.channelMode, 3);
    EXPECT_TRUE(test::Exists(source));  // the normalized WAV stays
    EXPECT_THAT(dialog_.Events(),
                ElementsAre("row3.label 外部エンコーダ呼び出し中", "row3.pos 0",
                            "row3.label 外部エンコーダ終了", "row3.pos 1000"));

    // Each output mode maps to its own type; an unknown one keeps the last.
    const std::pair<int, TEncodeType> modes[] = { { 0, TEncodeType::_STEREO },
                                                  { 2, TEncodeType::_MSSTEREO },
                                                  { 1, TEncodeType::_JOINT },
                                                  { 9, TEncodeType::_JOINT } };
    for (const auto& [mode, type] : modes) {
        settings_.OutputMode = mode;
        settings_.UsePsy = 0;
        RunOnWorker([&] { step.EncodeWithGogo(source, destination); });
        EXPECT_EQ(tea.EncodeType(), type) << mode;
        EXPECT_EQ(tea.BitRate(), 192);
        EXPECT_FALSE(tea.UsePsyAnalize());
    }
}

TEST_F(Mp3StepTest, RefusedEncodingShowsTheBoxAndDeletesTheDestination)
{
    const std::string source = folder_.Path() + "missing.wav";
    const std::string destination = folder_.Path() + "missing.MP3";
    for (const bool loaded : { true, false }) {
        SCOPED_TRACE(loaded);
        if (!loaded)
            test::UseKeyStore(home_, "");
        test::WriteFile(destination, { 1, 2, 3 });
        TGogoTea tea;
        auto step = MakeStep(tea);
        RunOnWorker([&] { step.EncodeWithGogo(source, destination); });
        EXPECT_THAT(dialog_.Events(), Contains("titled ORVA エンコードに失敗しました[" + source + "]"));
        EXPECT_EQ(dialog_.Events().back(), "row3.pos 1000");
        EXPECT_FALSE(test::Exists(destination));
    }
}

TEST_F(Mp3StepTest, CancelEndsTheWaitAndTheNextFileWaitsForTheEncoder)
{
    const std::string longSource = folder_.Path() + "long.wav";
    const std::string shortSource = folder_.Path() + "short.wav";
    test::WriteWav(longSource, 2, 44100, 16, 44100 * 30);
    test::WriteWav(shortSource, 2, 44100, 16, 4410);
    TGogoTea tea;
    auto step = MakeStep(tea);

    cancel_ = 1;
    RunOnWorker([&] { step.EncodeWithGogo(longSource, folder_.Path() + "long.MP3"); });
    EXPECT_TRUE(tea.IsEncoding());  // the encoder goes on
    EXPECT_EQ(dialog_.Events().back(), "row3.pos 1000");

    // The cancel is withdrawn: the next file waits for that encoding, then encodes.
    cancel_ = 0;
    RunOnWorker([&] { step.EncodeWithGogo(shortSource, folder_.Path() + "short.MP3"); });
    EXPECT_THAT(dialog_.EventsStartingWith("titled"), ::testing::IsEmpty());
    EXPECT_TRUE(test::ReadMp3(folder_.Path() + "long.MP3").valid);
    EXPECT_TRUE(test::ReadMp3(folder_.Path() + "short.MP3").valid);
    EXPECT_EQ(test::ReadMp3(folder_.Path() + "long.MP3").frames, 1 + (44100 * 30 + 1152 + 1151) / 1152);
}

}  // namespace
}  // namespace orva
