// The MP3 step: the external encoder's argument vector and run, the progress position, and
// the in-process step over the real libgogo.so (settings mapping); failures of either kind
// (exit status, nothing written, full disk, library errors) and cancels during either.

#include "batch/mp3_step.h"
#include "core/output_file.h"
#include "encoder/gogo_tea.h"
#include "settings/settings.h"
#include "tests/batch/test_support.h"
#include "tests/encoder/fake_gogo.h"
#include "tests/encoder/mp3_frames.h"
#include "tests/encoder/test_support.h"

#include <QCoreApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

/// Thrown by a test's cancel point for a cancel confirmed with Yes.
struct ConfirmedCancel {};

/// The FakeGogo_Reset of the fake library, loaded as the binding loads it (same file, same
/// instance), so a test can script a failure in the middle of an encoding.
using FakeReset = void (*)(const FakeGogoScript*);
FakeReset FakeGogoReset()
{
    void* handle = ::dlopen(FAKE_GOGO_PATH, RTLD_NOW | RTLD_LOCAL);
    return handle ? reinterpret_cast<FakeReset>(::dlsym(handle, "FakeGogo_Reset")) : nullptr;
}

/// Lowers the largest file this process may write (a full disk, as far as the encoder can
/// tell: writes past it fail with EFBIG) for the lifetime of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_ {};
    void (*previousHandler_)(int) = nullptr;
};

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

    Mp3Step MakeStep(TGogoTea& tea) { return Mp3Step(settings_, events_, events_, tea, cancel_); }

    /// Writes a stand-in external encoder: a shell script that records its pid in pid.txt,
    /// finds its destination (the last argument) in $dst and then runs `body`.
    void UseEncoder(const std::string& body)
    {
        const std::string encoder = folder_.Sub("my bin") + "fake encoder";
        {
            std::ofstream script(encoder);
            script << "#!/bin/sh\necho $$ > '" << folder_.Path() << "pid.txt'\neval dst=\\${$#}\n"
                   << body << "\n";
        }
        std::filesystem::permissions(encoder, std::filesystem::perms::owner_all);
        settings_.EncoderPath = encoder;
    }

    /// Writes `count` MP3 frames (128 kbps, 44.1 kHz, silent) to frames.mp3 in "my bin" and
    /// returns its path; an encoder script copies it to its destination.
    std::string Mp3Frames(int count)
    {
        std::vector<std::uint8_t> frame(417, 0);
        frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90;
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < count; ++i)
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        const std::string path = folder_.Sub("my bin") + "frames.mp3";
        test::WriteFile(path, bytes);
        return path;
    }

    /// Names in the folder that are neither "my bin" nor pid.txt.
    std::vector<std::string> Outputs() const
    {
        std::vector<std::string> names;
        for (const auto& name : test::ListFolder(folder_.Path()))
            if (name != "my bin" && name != "pid.txt" && name != "args.txt")
                names.push_back(name);
        return names;
    }

    /// Whether the encoder that wrote pid.txt is still there (running or unreaped).
    bool EncoderProcessExists() const
    {
        const pid_t pid = std::stoi(Lines(folder_.Path() + "pid.txt"));
        return ::kill(pid, 0) == 0 || errno != ESRCH;
    }

    test::TempDir home_;
    test::TempFolder folder_;
    std::string library_;
    Settings settings_;
    test::RecordingStages events_;
    std::atomic<int> cancel_ { 0 };
    const Mp3Encoding::CancelPoint neverAsked_ = [] { ADD_FAILURE() << "no cancel was requested"; };
};

TEST_F(Mp3StepTest, ExternalEncoderGetsItsArgumentsWithoutAShell)
{
    // The encoder records each argument on a line and writes its output to the last one.
    const std::string record = folder_.Path() + "args.txt";
    const std::string frames = Mp3Frames(3);
    UseEncoder("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'\ncat '" + frames
               + "' > \"$dst\"");
    settings_.Mp3Bitrate = 192;
    settings_.OutputMode = 3;
    TGogoTea tea;
    auto step = MakeStep(tea);
    const std::string source = folder_.Path() + "it's a \"song\" $HOME;.wav";
    const std::string destination = folder_.Path() + "it's a \"song\" $HOME;.MP3";
    test::WriteWav(source, 2, 44100, 16, 1000);
    EXPECT_EQ(step.EncodeWithExternalEncoder(source, destination, neverAsked_), 0);
    // It writes to a hidden temporary file beside the destination, renamed when complete.
    const std::string args = Lines(record);
    ASSERT_EQ(args.rfind("-e\n-l3\n-b11\n" + source + "\n" + folder_.Path(), 0), 0u) << args;
    const std::string written = args.substr(args.rfind('/') + 1, args.size() - args.rfind('/') - 2);
    EXPECT_TRUE(IsTemporaryName(written)) << written;
    EXPECT_EQ(Lines(destination), Lines(frames));
    EXPECT_EQ(Outputs(),
              (std::vector<std::string> { "it's a \"song\" $HOME;.MP3", "it's a \"song\" $HOME;.wav" }));
    EXPECT_THAT(events_.Events(), ElementsAre("start encoding " + source, "end encoding"));

    // No handle of ours reaches the encoder: a file opened without close-on-exec stays here.
    const int opened = ::open(record.c_str(), O_RDONLY);
    ASSERT_GE(opened, 0);
    const int inherited = ::fcntl(opened, F_DUPFD, 50);  // far above the shell's own
    ::close(opened);
    ASSERT_GE(inherited, 50);
    UseEncoder("state=closed\n[ -e /proc/$$/fd/" + std::to_string(inherited)
               + " ] && state=open\necho $state > '" + record + "'\ncat '" + frames + "' > \"$dst\"");
    step.EncodeWithExternalEncoder(source, destination, neverAsked_);
    ::close(inherited);
    EXPECT_EQ(Lines(record), "closed\n");

    // Two encodings at once, from two threads, each into a temporary name of its own: the
    // encoder writes its destination's name, waits for the other one, then its frames.
    UseEncoder("printf '%s\\n' \"$dst\" > \"$dst\"\ni=0\nwhile [ $(ls -A '" + folder_.Path()
               + "' | grep -c orva) -lt 2 ] && [ $((i += 1)) -lt 500 ]; do sleep 0.01; done\ncat '" + frames
               + "' >> \"$dst\"");
    int results[2] = { -1, -1 };
    std::thread first(
        [&] { results[0] = step.EncodeWithExternalEncoder(source, folder_.Path() + "1.MP3", neverAsked_); });
    results[1] = step.EncodeWithExternalEncoder(source, folder_.Path() + "2.MP3", neverAsked_);
    first.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_NE(Lines(folder_.Path() + "1.MP3"), Lines(folder_.Path() + "2.MP3"));
}

TEST_F(Mp3StepTest, ExternalEncoderFailuresLeaveTheDestinationAsItWas)
{
    struct Case {
        const char* what;
        const char* body;  ///< nullptr: no encoder at the path
    };
    const Case cases[] = {
        { "exits with 3 after writing", "printf partial > \"$dst\"; exit 3" },
        { "exits with 0 but writes nothing", "exit 0" },
        { "is killed after writing", "printf partial > \"$dst\"; kill -9 $$" },
        { "runs into a full disk", "ulimit -f 1; head -c 4096 /dev/zero > \"$dst\"" },
        { "cannot be started", nullptr },
        // 1 s of audio takes 40 frames; an encoder that took a read error for the end of its
        // input stops short and still exits with 0.
        { "exits with 0 after too few frames", "cat \"$(dirname \"$0\")/frames.mp3\" > \"$dst\"" },
        { "exits with 0 after writing no MP3", "printf ID3 > \"$dst\"" },
    };
    const std::string source = folder_.Path() + "song.wav";
    const std::string destination = folder_.Path() + "song.MP3";
    test::WriteWav(source, 2, 44100, 16, 44100);
    Mp3Frames(36);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(destination, { 'o', 'l', 'd' });
        if (c.body)
            UseEncoder(c.body);
        else
            settings_.EncoderPath = folder_.Path() + "no such encoder";
        TGogoTea tea;
        auto step = MakeStep(tea);
        EXPECT_EQ(step.EncodeWithExternalEncoder(source, destination, neverAsked_), -1);
        EXPECT_EQ(Lines(destination), "old");
        EXPECT_EQ(Outputs(), (std::vector<std::string> { "song.MP3", "song.wav" }));  // no temporary left
        EXPECT_EQ(events_.EventsStartingWith("problem").back(), "problem EncodeFailed " + source);
        EXPECT_EQ(events_.Events().back(), "end encoding");
    }
    EXPECT_EQ(events_.EventsStartingWith("problem").size(), std::size(cases));
}

TEST_F(Mp3StepTest, CancelWhileTheExternalEncoderRuns)
{
    const std::string source = folder_.Path() + "song.wav";
    const std::string destination = folder_.Path() + "song.MP3";
    TGogoTea tea;
    auto step = MakeStep(tea);

    // Withdrawn: the encoder goes on (it finishes once asked) and its output counts.
    const std::string go = folder_.Path() + "go";
    const std::string frames = Mp3Frames(3);
    test::WriteWav(source, 2, 44100, 16, 2000);
    UseEncoder("cat '" + frames + "' > \"$dst\"\nwhile [ ! -e '" + go + "' ]; do sleep 0.02; done\ncat '"
               + frames + "' >> \"$dst\"");
    int asked = 0;
    cancel_ = 1;
    EXPECT_EQ(step.EncodeWithExternalEncoder(source, destination,
                                             [&] {
                                                 ++asked;
                                                 cancel_ = 0;
                                                 test::WriteFile(go, {});
                                             }),
              0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Lines(destination), Lines(frames) + Lines(frames));
    std::filesystem::remove(go);
    std::filesystem::remove(destination);
    std::filesystem::remove(source);

    // Confirmed: an encoder that ignores SIGTERM (and its children) is killed, its partial
    // output removed, and the cancel passes on.
    UseEncoder("trap '' TERM\nprintf part > \"$dst\"\nwhile :; do sleep 1; done");
    cancel_ = 1;
    EXPECT_THROW(step.EncodeWithExternalEncoder(source, destination, [] { throw ConfirmedCancel {}; }),
                 ConfirmedCancel);
    EXPECT_FALSE(EncoderProcessExists());
    EXPECT_THAT(Outputs(), ::testing::IsEmpty());
    EXPECT_THAT(events_.EventsStartingWith("problem"), ::testing::IsEmpty());
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
    int result = -1;
    RunOnWorker([&] { result = step.EncodeWithGogo(source, destination, neverAsked_); });

    EXPECT_EQ(result, 0);
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
    EXPECT_EQ(Outputs(), (std::vector<std::string> { "song.MP3", "song.wav" }));  // the WAV stays
    EXPECT_THAT(events_.Events(), ElementsAre("start encoding " + source, "end encoding"));

    // Each output mode maps to its own type; an unknown one keeps the last.
    const std::pair<int, TEncodeType> modes[] = { { 0, TEncodeType::_STEREO },
                                                  { 2, TEncodeType::_MSSTEREO },
                                                  { 1, TEncodeType::_JOINT },
                                                  { 9, TEncodeType::_JOINT } };
    for (const auto& [mode, type] : modes) {
        settings_.OutputMode = mode;
        settings_.UsePsy = 0;
        RunOnWorker([&] { step.EncodeWithGogo(source, destination, neverAsked_); });
        EXPECT_EQ(tea.EncodeType(), type) << mode;
        EXPECT_EQ(tea.BitRate(), 192);
        EXPECT_FALSE(tea.UsePsyAnalize());
    }
}

TEST_F(Mp3StepTest, GogoFailuresLeaveTheDestinationAsItWas)
{
    struct Case {
        const char* what;
        std::int64_t frames;  ///< of the source; -1: no source
        bool library = true;
        rlim_t fileSizeLimit = RLIM_INFINITY;
        bool fakeErrorMidway = false;
        std::int32_t fakeMp3Frames = 0;  ///< the fake ends complete after writing these frames
    };
    const Case cases[] = {
        { "refused: no source", -1 },
        { "no library", 44100, false },
        { "full disk when the file is closed", 44100, true, 4096 },
        { "full disk in the middle", 44100 * 20, true, 4096 },
        { "library error in the middle", 44100, true, RLIM_INFINITY, true },
        // 1 s of audio takes 40 frames: a library that took a read error for the end of its
        // input and called the file complete.
        { "library done after too few frames", 44100, true, RLIM_INFINITY, false, 36 },
    };
    const std::string source = folder_.Path() + "song.wav";
    const std::string destination = folder_.Path() + "song.MP3";
    const FakeReset fakeReset = FakeGogoReset();
    ASSERT_NE(fakeReset, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(source);
        if (c.frames >= 0)
            test::WriteWav(source, 2, 44100, 16, c.frames);
        const bool fake = c.fakeErrorMidway || c.fakeMp3Frames > 0;
        test::UseKeyStore(home_, fake ? FAKE_GOGO_PATH : c.library ? library_ : "");
        FakeGogoScript script;
        script.frames = 50;
        script.mp3Frames = c.fakeMp3Frames;
        script.errorAfter = c.fakeErrorMidway ? 3 : -1;
        script.errorCode = GOGO_ERR_WRITE;
        fakeReset(&script);
        test::WriteFile(destination, { 'o', 'l', 'd' });
        TGogoTea tea;
        auto step = MakeStep(tea);
        int result = 0;
        {
            FileSizeLimit limit(c.fileSizeLimit);
            RunOnWorker([&] { result = step.EncodeWithGogo(source, destination, neverAsked_); });
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(Lines(destination), "old");
        std::vector<std::string> expected { "song.MP3" };
        if (c.frames >= 0)
            expected.push_back("song.wav");
        EXPECT_EQ(Outputs(), expected);  // no temporary left
        EXPECT_EQ(events_.EventsStartingWith("problem").back(), "problem EncodeFailed " + source);
        EXPECT_EQ(events_.Events().back(), "end encoding");
        EXPECT_FALSE(tea.IsEncoding());
    }
    EXPECT_EQ(events_.EventsStartingWith("problem").size(), std::size(cases));
}

TEST_F(Mp3StepTest, CancelWhileTheLibraryEncodes)
{
    const std::string source = folder_.Path() + "long.wav";
    const std::string destination = folder_.Path() + "long.MP3";
    test::WriteWav(source, 2, 44100, 16, 44100 * 60);
    {
        // Withdrawn: the wait goes on to the finish and the file is complete.
        TGogoTea tea;
        auto step = MakeStep(tea);
        int asked = 0;
        int result = -1;
        cancel_ = 1;
        RunOnWorker([&] {
            result = step.EncodeWithGogo(source, destination, [&] {
                ++asked;
                cancel_ = 0;
            });
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(test::ReadMp3(destination).frames, 1 + (44100 * 60 + 1152 + 1151) / 1152);
        std::filesystem::remove(destination);
    }
    {
        // Confirmed: the encoding is aborted (it would never end by itself), nothing is left.
        test::UseKeyStore(home_, FAKE_GOGO_PATH);
        FakeGogoScript script;
        script.frames = 1000000;
        script.frameDelayMs = 1;
        FakeGogoReset()(&script);
        TGogoTea tea;
        auto step = MakeStep(tea);
        bool thrown = false;
        cancel_ = 1;
        RunOnWorker([&] {
            try {
                step.EncodeWithGogo(source, destination, [] { throw ConfirmedCancel {}; });
            } catch (const ConfirmedCancel&) {
                thrown = true;
            }
        });
        EXPECT_TRUE(thrown);
        EXPECT_FALSE(tea.IsEncoding());
        EXPECT_EQ(Outputs(), (std::vector<std::string> { "long.wav" }));
        EXPECT_THAT(events_.EventsStartingWith("problem"), ::testing::IsEmpty());
    }
}

}  // namespace
}  // namespace orva
