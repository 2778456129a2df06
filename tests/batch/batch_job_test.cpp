// The batch job over real folders: both modes, setting sources aside, rate conversion, the
// MP3 step, failing entries, and what a cancel leaves behind at each checkpoint.

#include "batch/batch_job.h"
#include "batch/serialized_events.h"
#include "core/output_file.h"
#include "core/wave_file.h"
#include "loudness/wave_analysis.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

namespace orva {
namespace {

using namespace test;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

struct Fixture {
    TempFolder temp;
    std::string in = temp.Sub("in");
    std::string out = temp.Sub("out");
    RecordingEvents events;
    RecordingMp3 mp3;
    RecordingNotifier notifier;
    Settings settings;
    Mp3Encoding* encoder = &mp3;    ///< null: no encoder is available
    std::atomic<int> cancel { 0 };  ///< the cancel button's flag
    int jobs = 1;                   ///< entries at once (more than one: the events serialized)

    /// Writes 16-bit stereo files with the given peaks into `in` and lists them.
    std::vector<FileEntry> Entries(const std::vector<std::pair<std::string, int>>& files)
    {
        FileListModel list;
        for (const auto& [name, peak] : files) {
            WriteFile(in + name, MakeWav(2, 44100, 16, Ramp16(3000, 2, peak)));
            EXPECT_TRUE(list.AddFileToList(in + name));
        }
        return list.Entries();
    }

    /// The same with `frames` frames each (a second or more has a measurable loudness).
    std::vector<FileEntry> LongEntries(const std::vector<std::pair<std::string, int>>& files, size_t frames)
    {
        FileListModel list;
        for (const auto& [name, peak] : files) {
            WriteFile(in + name, MakeWav(2, 44100, 16, Ramp16(frames, 2, peak)));
            EXPECT_TRUE(list.AddFileToList(in + name));
        }
        return list.Entries();
    }

    /// Runs the job on its worker thread; `prepare` sees the job before it starts.
    BatchOutcome Run(const std::vector<FileEntry>& entries, const std::string& outputDirectory,
                     const std::function<void(BatchJob&)>& prepare = {})
    {
        SerializedBatchEvents serialized(events);
        BatchJob job(entries, outputDirectory, settings,
                     jobs > 1 ? static_cast<BatchEvents&>(serialized) : events, encoder, &notifier, cancel);
        job.SetJobs(jobs);
        if (prepare)
            prepare(job);
        std::thread::id finishedOn;
        job.Start([&](const BatchOutcome&) { finishedOn = std::this_thread::get_id(); });
        job.Wait();
        EXPECT_NE(finishedOn, std::thread::id());
        EXPECT_NE(finishedOn, std::this_thread::get_id());
        return job.Outcome();
    }
};

TEST(BatchJob, PerFileModeNormalizesEachFileWithItsOwnPeak)
{
    Fixture f;
    const auto entries = f.Entries({ { "a.wav", 16384 }, { "b.wav", 8000 } });
    const auto sourceA = ReadFile(f.in + "a.wav");
    EXPECT_EQ(f.Run(entries, f.out).normalizedCount, 2);

    EXPECT_EQ(Peak16(f.out + "a.wav"), 32767);
    EXPECT_EQ(Peak16(f.out + "b.wav"), 32767);
    EXPECT_EQ(ReadFile(f.in + "a.wav"), sourceA);
    EXPECT_EQ(f.notifier.calls, (Names { "file a.wav", "file b.wav", "all" }));
    EXPECT_EQ(f.events.Events(),
              (Names { "job start", "pass", "entry process 1/2 a.wav", "peak 16384 3000", "end normalization",
                       "entry end 1 done", "entry process 2/2 b.wav", "peak 8000 3000", "end normalization",
                       "entry end 2 done", "batch 2 2 0", "job end" }));
}

TEST(BatchJob, SourceActionsInTheSourceFolder)
{
    for (int action : { 1, 2 }) {
        for (bool oldPrefixedFile : { false, true }) {
            SCOPED_TRACE(testing::Message() << "action " << action << " old _song.wav " << oldPrefixedFile);
            Fixture f;
            f.settings.SourceFileAction = action;
            const auto entries = f.Entries({ { "song.wav", 1000 } });
            const auto source = ReadFile(f.in + "song.wav");
            if (oldPrefixedFile) {
                // Perhaps the only copy of an earlier original: the entry touches nothing.
                WriteFile(f.in + "_song.wav", { 1, 2, 3 });
                EXPECT_EQ(f.Run(entries, f.in).failedCount, 1);
                EXPECT_EQ(f.events.EventsStartingWith("problem"),
                          Names { "problem CannotRename " + f.in + "song.wav" });
                EXPECT_EQ(ListFolder(f.in), (Names { "_song.wav", "song.wav" }));
                EXPECT_EQ(ReadFile(f.in + "_song.wav"), (Bytes { 1, 2, 3 }));
                EXPECT_EQ(ReadFile(f.in + "song.wav"), source);
                EXPECT_TRUE(f.notifier.calls == Names { "all" });
                continue;
            }
            EXPECT_EQ(f.Run(entries, f.in).normalizedCount, 1);
            EXPECT_EQ(Peak16(f.in + "song.wav"), 32767);
            if (action == 1) {
                EXPECT_EQ(ListFolder(f.in), (Names { "_song.wav", "song.wav" }));
                EXPECT_EQ(ReadFile(f.in + "_song.wav"), source);
            } else {
                EXPECT_EQ(ListFolder(f.in), (Names { "song.wav" }));
            }
        }
    }
}

TEST(BatchJob, SourceIsDeletedOnlyWhenTheOutputReachedStorage)
{
    Fixture f;
    f.settings.SourceFileAction = 2;
    const auto entries = f.Entries({ { "a.wav", 1000 } });
    f.events.onEvent = [&f](const std::string& event) {
        if (event == "end normalization")
            fs::remove(f.out + "a.wav");  // the output is gone before it could be flushed
    };
    f.Run(entries, f.out);
    EXPECT_EQ(ListFolder(f.in), (Names { "_a.wav" }));
}

TEST(BatchJob, FailingEntryIsSkippedAndTheBatchGoesOn)
{
    struct Case {
        const char* name;
        int peakMode, action, rate;
        std::function<std::string(Fixture&, std::vector<FileEntry>&)>
            breakEntry;       ///< gives the output folder
        std::string problem;  ///< "IN/" and "TEMP/" are replaced
        Names in;
        Names done = { "b.wav" };  ///< entries normalized and announced
    };
    // Whatever a step throws (memory running out on a hostile file) fails that entry only.
    const auto throwAtFirstPeak = [](Fixture& f, std::vector<FileEntry>&) {
        f.events.onEvent = [thrown = false](const std::string& event) mutable {
            if (!thrown && event.rfind("peak", 0) == 0) {
                thrown = true;
                throw std::bad_alloc();
            }
        };
        return f.out;
    };
    const Case cases[] = {
        { "rename fails",
          0,
          1,
          0,
          [](Fixture& f, std::vector<FileEntry>&) {
              WriteFile(f.temp.Sub("in/_a.wav") + "x", { 1 });
              return f.out;
          },
          "CannotRename IN/a.wav",
          { "_a.wav", "_b.wav", "a.wav" } },
        { "scan fails",
          0,
          1,
          0,
          [](Fixture& f, std::vector<FileEntry>&) {
              fs::remove(f.in + "a.wav");
              return f.out;
          },
          "CannotRead IN/a.wav",
          { "_b.wav" } },
        { "scan fails, common peak",
          1,
          1,
          0,
          [](Fixture& f, std::vector<FileEntry>&) {
              fs::remove(f.in + "a.wav");
              return f.out;
          },
          "CannotRead IN/a.wav",
          { "_b.wav" } },
        // The source changed into a format the conversion cannot take since it was listed.
        { "conversion fails",
          0,
          0,
          22050,
          [](Fixture& f, std::vector<FileEntry>&) {
              WriteFile(f.in + "a.wav", MakeWav(2, 44100, 20, Bytes(600)));
              return f.out;
          },
          "CannotCreate OUT/a.wav",
          { "a.wav", "b.wav" } },
        // A source that no longer probes is not converted, and an old temporary file is not used.
        { "source no longer probes",
          0,
          0,
          22050,
          [](Fixture& f, std::vector<FileEntry>&) {
              WriteFile(f.in + "a.wav", { 'n', 'o' });
              WriteFile(f.in + "_a.wav", MakeWav(2, 22050, 16, Ramp16(100, 2, 50)));
              return f.out;
          },
          "CannotRead IN/a.wav",
          { "_a.wav", "a.wav", "b.wav" } },
        // "_a.wav" is itself an entry: it is neither deleted nor overwritten.
        { "prefixed name is another entry",
          0,
          1,
          0,
          [](Fixture& f, std::vector<FileEntry>& entries) {
              entries.push_back(f.Entries({ { "_a.wav", 1000 } }).front());
              return f.out;
          },
          "CannotRename IN/a.wav",
          { "__a.wav", "_b.wav", "a.wav" },
          { "b.wav", "_a.wav" } },
        // An output that is the source under another name would replace the file being read
        // (a symbolic link there is replaced instead, see the on-disk situations).
        { "output is the source",
          0,
          0,
          0,
          [](Fixture& f, std::vector<FileEntry>&) {
              fs::create_hard_link(f.in + "a.wav", f.temp.Sub("alias") + "a.wav");
              return f.temp.Path() + "alias/";
          },
          "CannotCreate TEMP/alias/a.wav",
          { "a.wav", "b.wav" } },
        { "a step throws", 0, 1, 0, throwAtFirstPeak, "CannotRead IN/a.wav", { "_b.wav", "a.wav" } },
        { "a step throws, common peak",
          1,
          1,
          0,
          throwAtFirstPeak,
          "CannotRead IN/a.wav",
          { "_b.wav", "a.wav" } },
        // An earlier run's original set aside in the output folder.
        { "output name starts with _",
          0,
          0,
          0,
          [](Fixture& f, std::vector<FileEntry>& entries) {
              WriteFile(f.out + "_a.wav", { 1, 2, 3 });
              entries[0] = f.Entries({ { "_a.wav", 1000 } }).front();
              return f.out;
          },
          "CannotCreate OUT/_a.wav",
          { "_a.wav", "a.wav", "b.wav" } },
        // The output would replace a later entry's source: a.wav stays, not set aside.
        { "output name is another entry's source",
          0,
          1,
          0,
          [](Fixture& f, std::vector<FileEntry>& entries) {
              const std::string other = f.temp.Sub("other");
              WriteFile(other + "a.wav", MakeWav(2, 44100, 16, Ramp16(3000, 2, 500)));
              FileListModel list;
              EXPECT_TRUE(list.AddFileToList(other + "a.wav"));
              entries.push_back(list.Entries().front());
              return other;
          },
          "CannotCreate TEMP/other/a.wav",
          { "_b.wav", "a.wav" },
          { "b.wav", "a.wav" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.settings.PeakMode = c.peakMode;
        f.settings.SourceFileAction = c.action;
        f.settings.ResampleRate = c.rate;
        auto entries = f.Entries({ { "a.wav", 1000 }, { "b.wav", 1000 } });
        const std::string output = c.breakEntry(f, entries);
        const auto sourceA = ReadFile(f.in + "a.wav");  // as the entry meets it
        const BatchOutcome outcome = f.Run(entries, output);

        std::string problem = c.problem;
        for (const auto& [key, value] : { std::pair<std::string, std::string> { "IN/", f.in },
                                          { "OUT/", f.out },
                                          { "TEMP/", f.temp.Path() } }) {
            if (const auto at = problem.find(key); at != std::string::npos)
                problem.replace(at, key.size(), value);
        }
        EXPECT_EQ(f.events.EventsStartingWith("problem"), Names { "problem " + problem });
        EXPECT_EQ(f.events.EventsStartingWith("entry end 1 "), Names { "entry end 1 left out" });
        EXPECT_EQ(f.events.EventsStartingWith("entry end 2 ").back(), "entry end 2 done");
        EXPECT_EQ(ListFolder(f.in), c.in);
        if (Exists(f.in + "a.wav")) {
            EXPECT_EQ(ReadFile(f.in + "a.wav"), sourceA);
        }
        Names announced;
        for (const std::string& name : c.done)
            announced.push_back("file " + name);
        announced.push_back("all");
        EXPECT_EQ(f.notifier.calls, announced);
        EXPECT_EQ(outcome.normalizedCount, static_cast<int>(c.done.size()));
        EXPECT_EQ(outcome.failedCount, 1);
        EXPECT_FALSE(Exists(f.out + "a.wav"));
    }
}

// Situations on disk that once lost an original. In every row the original audio survives
// byte for byte (under its own or its "_" name) and a failed entry takes none of its later
// steps.
TEST(BatchJob, OriginalsSurviveOnDiskSituations)
{
    struct Case {
        const char* name;
        int peakMode, action, rate;
        std::function<void(Fixture&)> prepare;  ///< before the run
        std::string trigger;                    ///< event that calls `meddle`
        std::function<void(Fixture&)> meddle;
        std::string problem;  ///< "IN/" is replaced; "" for none
        Names in, out;
    };
    const auto append = [](const std::string& path) {
        Bytes bytes = ReadFile(path);
        bytes.push_back(0);
        WriteFile(path, bytes);
    };
    // Another, louder file renamed over the source's name.
    const auto replace = [](Fixture& f) {
        WriteFile(f.temp.Path() + "loud.wav", MakeWav(2, 44100, 16, Ramp16(3000, 2, 30000)));
        fs::rename(f.temp.Path() + "loud.wav", f.in + "a.wav");
    };
    int held = -1;  // a lock another process holds on its temporary
    const Case cases[] = {
        // What is normalized is the file that was scanned, never another one with its peak.
        { "source replaced between scan and normalization",
          0,
          0,
          0,
          {},
          "peak",
          replace,
          "",
          { "a.wav" },
          { "a.MP3", "a.wav" } },
        { "source replaced between the scans and the normalization, common peak",
          1,
          0,
          0,
          {},
          "common peak",
          replace,
          "",
          { "a.wav" },
          { "a.MP3", "a.wav" } },
        // The output fails after the source was set aside: the source goes back to its name.
        { "output cannot be created after the rename",
          0,
          1,
          0,
          [](Fixture& f) { WriteFile(f.temp.Sub("out/a.wav") + "x", { 1 }); },
          "",
          {},
          "CannotCreate OUT/a.wav",
          { "a.wav" },
          { "a.wav" } },
        { "existing _NAME, common peak, delete",
          1,
          2,
          0,
          [](Fixture& f) {
              WriteFile(f.in + "_a.wav", { 1, 2, 3 });
          },
          "",
          {},
          "CannotRename IN/a.wav",
          { "_a.wav", "a.wav" },
          {} },
        { "symbolic link at the output name",
          0,
          0,
          0,
          [](Fixture& f) { fs::create_symlink(f.in + "a.wav", f.out + "a.wav"); },
          "",
          {},
          "",
          { "a.wav" },
          { "a.MP3", "a.wav" } },
        { "hard link at the output name",
          0,
          0,
          0,
          [](Fixture& f) {
              WriteFile(f.in + "keep.wav", { 7, 8, 9 });
              fs::create_hard_link(f.in + "keep.wav", f.out + "a.wav");
          },
          "",
          {},
          "",
          { "a.wav", "keep.wav" },
          { "a.MP3", "a.wav" } },
        { "source locked by another batch", 0, 2, 0, {}, "", {}, "SourceBusy IN/a.wav", { "a.wav" }, {} },
        { "source changed between scan and rename",
          0,
          1,
          0,
          {},
          "peak",
          [append](Fixture& f) { append(f.in + "a.wav"); },
          "CannotRename IN/a.wav",
          { "a.wav" },
          {} },
        { "source changed between the scans and the rename, common peak",
          1,
          1,
          0,
          {},
          "common peak",
          [append](Fixture& f) { append(f.in + "a.wav"); },
          "CannotRename IN/a.wav",
          { "a.wav" },
          {} },
        { "set-aside copy changed before the delete",
          0,
          2,
          0,
          {},
          "end normalization",
          [append](Fixture& f) { append(f.in + "_a.wav"); },
          "DeleteFailed IN/_a.wav",
          { "_a.wav" },
          { "a.wav" } },
        { "output cut short before the delete",
          1,
          2,
          0,
          {},
          "end normalization",
          [](Fixture& f) { fs::resize_file(f.out + "a.wav", fs::file_size(f.out + "a.wav") - 2); },
          "DeleteFailed IN/_a.wav",
          { "_a.wav" },
          { "a.wav" } },
        { "a user's _a.wav beside a converted a.wav",
          0,
          0,
          22050,
          [](Fixture& f) {
              WriteFile(f.in + "_a.wav", { 4, 5, 6 });
          },
          "",
          {},
          "",
          { "_a.wav", "a.wav" },
          { "a.MP3", "a.wav" } },
        // Audio recorded after the last header update: the output holds what the header
        // states, so the source holds more and stays.
        { "bytes after the RIFF form, delete",
          0,
          2,
          0,
          [](Fixture& f) {
              Bytes bytes = ReadFile(f.in + "a.wav");
              bytes.insert(bytes.end(), 4096, 0x55);
              WriteFile(f.in + "a.wav", bytes);
          },
          "",
          {},
          "DeleteFailed IN/_a.wav",
          { "_a.wav" },
          { "a.wav" } },
        // Only the temporary of a process that is gone and whose lock is free goes.
        { "temporaries of killed and running batches",
          0,
          0,
          0,
          [&held](Fixture& f) {
              for (const char* name : { ".orva-4194305-1-0.tmp", ".orva-4194306-2-0.tmp", ".orva-1-3-0.tmp" })
                  WriteFile(f.out + name, { 1 });
              held = ::open((f.out + ".orva-4194306-2-0.tmp").c_str(), O_RDONLY | O_CLOEXEC);
              ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
          },
          "",
          {},
          "",
          { "a.wav" },
          { ".orva-1-3-0.tmp", ".orva-4194306-2-0.tmp", "a.MP3", "a.wav" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.settings.PeakMode = c.peakMode;
        f.settings.SourceFileAction = c.action;
        f.settings.ResampleRate = c.rate;
        f.settings.Mp3Bitrate = 128;
        const auto entries = f.Entries({ { "a.wav", 1000 } });
        if (c.prepare)
            c.prepare(f);
        const Bytes original = ReadFile(f.in + "a.wav");
        std::map<std::string, Bytes> before;
        for (const std::string& name : ListFolder(f.in))
            before[name] = ReadFile(f.in + name);
        const int other = ::open((f.in + "a.wav").c_str(), O_RDONLY | O_CLOEXEC);
        if (c.problem.find("SourceBusy") != std::string::npos) {
            ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
        }
        f.events.onEvent = [&f, &c, done = false](const std::string& event) mutable {
            if (!done && !c.trigger.empty() && event.rfind(c.trigger, 0) == 0) {
                done = true;
                c.meddle(f);
            }
        };
        const BatchOutcome outcome = f.Run(entries, f.out);
        ::close(other);

        std::string problem = c.problem;
        if (const auto at = problem.find("IN/"); at != std::string::npos)
            problem.replace(at, 3, f.in);
        if (const auto at = problem.find("OUT/"); at != std::string::npos)
            problem.replace(at, 4, f.out);
        EXPECT_EQ(f.events.EventsStartingWith("problem"),
                  problem.empty() ? Names {} : Names { "problem " + problem });
        EXPECT_EQ(outcome.failedCount, problem.empty() ? 0 : 1);
        EXPECT_EQ(ListFolder(f.in), c.in);
        EXPECT_EQ(ListFolder(f.out), c.out);
        if (!problem.empty()) {
            EXPECT_EQ(f.notifier.calls, Names { "all" });
        }
        EXPECT_EQ(f.mp3.calls.size(), problem.empty() ? 1u : 0u);
        // The original, as the entry met it, under its own name or set aside.
        const Bytes met = Exists(f.in + "a.wav") ? ReadFile(f.in + "a.wav") : ReadFile(f.in + "_a.wav");
        if (c.trigger.empty()) {
            EXPECT_EQ(met, original);
            for (const auto& [name, bytes] : before) {
                if (name != "a.wav") {
                    EXPECT_EQ(ReadFile(f.in + name), bytes) << name;
                }
            }
        }
        if (problem.empty()) {
            EXPECT_FALSE(fs::is_symlink(f.out + "a.wav"));
        }
        // Only the scanned peak itself reaches full scale.
        if (Exists(f.out + "a.wav") && ListFolder(f.out).size() > 1) {
            const Bytes output = ReadFile(f.out + "a.wav");
            int fullScale = 0;
            for (size_t i = 44; i + 1 < output.size(); i += 2)
                fullScale += std::abs(int16_t(output[i] | output[i + 1] << 8)) >= 32767;
            EXPECT_LE(fullScale, 2);
        }
        if (held >= 0)
            ::close(std::exchange(held, -1));
    }
}

// A case-insensitive output folder (exFAT through FUSE on a loop device): take.wav and
// TAKE.wav have one output name, and the second output must not replace the first.
TEST(BatchJob, NamesDifferingInCaseKeepEveryOriginal)
{
    TempFolder disk;
    const std::string image = disk.Path() + "exfat.img", mount = disk.Sub("mnt");
    const auto run = [](const std::string& command) { return std::system(command.c_str()) == 0; };
    std::string loop;
    if (run("truncate -s 16M " + image + " && mkfs.exfat " + image + " >/dev/null 2>&1")) {
        if (FILE* pipe = ::popen(("losetup -f --show " + image + " 2>/dev/null").c_str(), "r")) {
            char line[64] = {};
            if (std::fgets(line, sizeof line, pipe) != nullptr)
                loop.assign(line, std::strcspn(line, "\n"));
            ::pclose(pipe);
        }
    }
    if (loop.empty())
        GTEST_SKIP() << "no exFAT image on a loop device (needs exfatprogs and root)";
    if (!run("mount.exfat-fuse " + loop + " " + mount + " >/dev/null 2>&1")) {
        EXPECT_TRUE(run("losetup -d " + loop));
        GTEST_SKIP() << "mounting exFAT through FUSE is not allowed here";
    }
    for (const auto& [peakMode, action] : { std::pair { 0, 2 }, { 0, 1 }, { 1, 2 }, { 1, 1 } }) {
        SCOPED_TRACE("peak mode " + std::to_string(peakMode) + ", action " + std::to_string(action));
        Fixture f;
        f.settings.PeakMode = peakMode;
        f.settings.SourceFileAction = action;
        const auto entries = f.Entries({ { "take.wav", 1000 }, { "TAKE.wav", 2000 } });
        const Bytes second = ReadFile(f.in + "TAKE.wav");
        const BatchOutcome outcome = f.Run(entries, mount);

        // Common peak with deleting: the failed entry keeps every original, and says where.
        const bool keepsAll = peakMode == 1 && action == 2;
        Names problems { "problem CannotCreate " + mount + "TAKE.wav" };
        if (keepsAll)
            problems.push_back("problem DeleteFailed " + f.in + "_take.wav");
        EXPECT_EQ(f.events.EventsStartingWith("problem"), problems);
        EXPECT_EQ(outcome.failedCount, keepsAll ? 2 : 1);
        EXPECT_EQ(ListFolder(f.in),
                  (action == 2 && !keepsAll ? Names { "TAKE.wav" } : Names { "TAKE.wav", "_take.wav" }));
        EXPECT_EQ(ReadFile(f.in + "TAKE.wav"), second);
        EXPECT_EQ(ListFolder(mount), Names { "take.wav" });
        EXPECT_EQ(Peak16(mount + "take.wav"), peakMode == 0 ? 32767 : 16383);  // common peak: TAKE's
        fs::remove(mount + "take.wav");
    }
    EXPECT_TRUE(run("umount " + mount + " && losetup -d " + loop));
}

TEST(BatchJob, CommonPeakModeUsesTheLoudestFile)
{
    struct Case {
        int peakA, peakB;
        std::string common;
        int outputA;
    } cases[] = {
        { 10000, 20000, "common peak 20000 b.wav", 16383 },
        { 20000, 20000, "common peak 20000 a.wav", 32767 },  // the first loudest is named
    };
    for (const Case& c : cases) {
        // Two jobs scan side by side and still name the first loudest file.
        Fixture two;
        two.settings.PeakMode = 1;
        two.jobs = 2;
        EXPECT_EQ(
            two.Run(two.Entries({ { "a.wav", c.peakA }, { "b.wav", c.peakB } }), two.out).normalizedCount, 2);
        EXPECT_EQ(two.events.EventsStartingWith("common"), Names { c.common });
        EXPECT_EQ(Peak16(two.out + "a.wav"), c.outputA);

        Fixture f;
        f.settings.PeakMode = 1;
        EXPECT_EQ(f.Run(f.Entries({ { "a.wav", c.peakA }, { "b.wav", c.peakB } }), f.out).normalizedCount, 2);
        EXPECT_EQ(f.events.EventsStartingWith("common"), Names { c.common });
        EXPECT_EQ(Peak16(f.out + "a.wav"), c.outputA);
        EXPECT_EQ(Peak16(f.out + "b.wav"), 32767);
        EXPECT_EQ(f.events.EventsStartingWith("entry"),
                  (Names { "entry scan 1/2 a.wav", "entry end 1 scanned", "entry scan 2/2 b.wav",
                           "entry end 2 scanned", "entry common 1/2 a.wav", "entry end 1 done",
                           "entry common 2/2 b.wav", "entry end 2 done" }));
    }

    Fixture f;  // a single entry whose scan fails is still named, with the common peak 1
    f.settings.PeakMode = 1;
    const auto entries = f.Entries({ { "a.wav", 500 } });
    fs::remove(f.in + "a.wav");
    f.Run(entries, f.out);
    EXPECT_EQ(f.events.EventsStartingWith("common"), Names { "common peak 1 a.wav" });

    // Deleting waits for every output: one entry that fails keeps every original, and says where.
    Fixture d;
    d.settings.PeakMode = 1;
    d.settings.SourceFileAction = 2;
    const auto pair = d.Entries({ { "a.wav", 500 }, { "b.wav", 700 } });
    fs::remove(d.in + "b.wav");
    const BatchOutcome outcome = d.Run(pair, d.out);
    EXPECT_EQ(d.events.EventsStartingWith("problem"),
              (Names { "problem CannotRead " + d.in + "b.wav", "problem DeleteFailed " + d.in + "_a.wav" }));
    EXPECT_EQ(ListFolder(d.in), Names { "_a.wav" });
    EXPECT_EQ(ListFolder(d.out), Names { "a.wav" });
    EXPECT_EQ(outcome.failedCount, 2);
    EXPECT_EQ(d.notifier.calls, Names { "all" });

    // So does an MP3 step that fails (the encoder has shown why).
    Fixture e;
    e.settings.PeakMode = 1;
    e.settings.SourceFileAction = 2;
    e.settings.Mp3Bitrate = 128;
    e.mp3.result = -1;
    EXPECT_EQ(e.Run(e.Entries({ { "a.wav", 500 } }), e.out).failedCount, 1);
    EXPECT_EQ(e.events.EventsStartingWith("problem"), Names { "problem DeleteFailed " + e.in + "_a.wav" });
    EXPECT_EQ(ListFolder(e.in), Names { "_a.wav" });
}

TEST(BatchJob, TargetsGiveOneGainPerFileOrOneForTheAlbum)
{
    // Two files whose peaks differ by a factor of about two; each row checks the outputs'
    // peaks (exactly where the rule fixes them) or their levels.
    struct Case {
        const char* name;
        int peakMode, targetMode, target;
    } cases[] = {
        { "sample peak at -6 dBFS, per file", 0, 0, -60 }, { "true peak at -1 dBTP, per file", 0, 1, -10 },
        { "loudness at -23 LUFS, per file", 0, 2, -230 },  { "sample peak at -6 dBFS, album", 1, 0, -60 },
        { "true peak at -1 dBTP, album", 1, 1, -10 },      { "loudness at -20 LUFS, album", 1, 2, -200 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.settings.PeakMode = c.peakMode;
        f.settings.TargetMode = c.targetMode;
        f.settings.Target = c.target;
        EXPECT_EQ(
            f.Run(f.LongEntries({ { "a.wav", 16384 }, { "b.wav", 8000 } }, 44100), f.out).normalizedCount, 2);
        const double gainA = Peak16(f.out + "a.wav") / 16384.0, gainB = Peak16(f.out + "b.wav") / 8000.0;
        NullStageEvents row;
        std::string error;
        WaveAnalysis a, b;
        ASSERT_TRUE(AnalyzeWaveFile(row, f.out + "a.wav", a, error));
        ASSERT_TRUE(AnalyzeWaveFile(row, f.out + "b.wav", b, error));
        if (c.peakMode == 1) {
            EXPECT_NEAR(gainA, gainB, 1.0 / 8000);
        } else if (c.targetMode == 0) {
            // (full scale / peak) x 10^(T/20), in that order, then truncated.
            EXPECT_EQ(Peak16(f.out + "b.wav"), int(8000 * (32767.0 / 8000 * std::pow(10.0, -6.0 / 20.0))));
        } else if (c.targetMode == 1) {
            EXPECT_NEAR(MagnitudeToDb(a.levels.truePeak), -1.0, 0.1);
            EXPECT_NEAR(MagnitudeToDb(b.levels.truePeak), -1.0, 0.1);
        } else {
            EXPECT_NEAR(a.levels.integratedLufs, -23.0, 0.1);
            EXPECT_NEAR(b.levels.integratedLufs, -23.0, 0.1);
        }
        const double level = c.target / 10.0;
        const double loudest = c.targetMode == 0 ? MagnitudeToDb(a.levels.samplePeak)
            : c.targetMode == 1                  ? MagnitudeToDb(a.levels.truePeak)
                                                 : 0.0;
        if (c.targetMode != 2) {
            EXPECT_NEAR(loudest, level, 0.1);
        }
        EXPECT_TRUE(f.events.EventsStartingWith("problem").empty());
    }

    // The wider formats: a 24-bit and a float file (its peak above full scale) each reach
    // the loudness target under the ceiling.
    for (const uint16_t tag : { 1, 3 }) {
        SCOPED_TRACE(tag);
        Fixture f;
        f.settings.TargetMode = 2;
        f.settings.Target = -200;
        Bytes data;
        for (int i = 0; i < 2 * 44100 * 2; ++i) {
            const double x = 1.5 * std::sin(2.0 * M_PI * 997.0 * (i / 2) / 44100.0);
            const float f32 = float(x);
            uint32_t word = uint32_t(int32_t(std::lround(x / 1.5 * 8388607.0)));
            if (tag == 3)
                std::memcpy(&word, &f32, 4);
            for (int b = 0; b < (tag == 3 ? 4 : 3); ++b)
                data.push_back(uint8_t(word >> (8 * b)));
        }
        WriteFile(f.in + "w.wav", MakeWav(2, 44100, tag == 3 ? 32 : 24, data, tag));
        FileListModel list;
        ASSERT_TRUE(list.AddFileToList(f.in + "w.wav"));
        EXPECT_EQ(f.Run(list.Entries(), f.out).normalizedCount, 1);
        NullStageEvents row;
        std::string error;
        WaveAnalysis out;
        ASSERT_TRUE(AnalyzeWaveFile(row, f.out + "w.wav", out, error));
        EXPECT_NEAR(out.levels.integratedLufs, -20.0, 0.1);
        EXPECT_LE(MagnitudeToDb(out.levels.truePeak), -1.0 + 0.1);
        EXPECT_TRUE(f.events.EventsStartingWith("problem").empty());
    }

    // Too short for a loudness: copied as it is; the analysis reports as the scan does.
    Fixture f;
    f.settings.TargetMode = 2;
    f.settings.Target = -230;
    EXPECT_EQ(f.Run(f.Entries({ { "a.wav", 16384 } }), f.out).normalizedCount, 1);
    EXPECT_EQ(ReadFile(f.out + "a.wav"), ReadFile(f.in + "a.wav"));
    EXPECT_EQ(f.events.EventsStartingWith("peak"), Names { "peak 16384 3000" });
}

TEST(BatchJob, RateConversionWritesTheNewFormatAndRemovesTheTemporaryFile)
{
    struct Case {
        uint16_t channels, bits;
        size_t dataBytes;
        int rate;
        uint32_t avgBytesPerSec;
        uint16_t blockAlign;
    } cases[] = {
        { 2, 16, 44100 * 4, 22050, 88200, 4 },
        { 1, 8, 8000, 48000, 48000, 1 },
        { 2, 16, 0, 22050, 88200, 4 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.channels << " ch " << c.bits << " bit " << c.dataBytes << " bytes");
        Fixture f;
        f.settings.ResampleRate = c.rate;
        Bytes data(c.dataBytes);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(c.bits == 8 ? 96 + i % 64 : i % 2 ? (i / 2) % 16 : 0);
        const auto source = MakeWav(c.channels, 44100, c.bits, data);
        WriteFile(f.in + "song.wav", source);
        FileListModel list;
        ASSERT_TRUE(list.AddFileToList(f.in + "song.wav"));
        // The converted samples wait in a hidden file of the output folder.
        Names outDuringScan;
        f.events.onEvent = [&](const std::string& event) {
            if (event.rfind("peak", 0) == 0)
                outDuringScan = ListFolder(f.out);
        };
        EXPECT_EQ(f.Run(list.Entries(), f.out).normalizedCount, 1);

        ASSERT_EQ(outDuringScan.size(), 1u);
        EXPECT_TRUE(IsTemporaryName(outDuringScan[0]));
        EXPECT_EQ(ListFolder(f.in), (Names { "song.wav" }));
        EXPECT_EQ(ListFolder(f.out), (Names { "song.wav" }));
        EXPECT_EQ(ReadFile(f.in + "song.wav"), source);
        WaveFileInfo info {};
        ASSERT_GE(ProbeWaveFile(f.out + "song.wav", info), 0);
        const WaveFormat& w = info.format;
        EXPECT_EQ((std::vector<uint32_t> { w.formatTag, w.channels, w.sampleRate, w.avgBytesPerSec,
                                           w.blockAlign, w.bitsPerSample, w.extraSize }),
                  (std::vector<uint32_t> { 1, c.channels, static_cast<uint32_t>(c.rate), c.avgBytesPerSec,
                                           c.blockAlign, c.bits, 0 }));
        EXPECT_EQ(fs::file_size(f.out + "song.wav"), 46u + static_cast<uint32_t>(info.dataSize));
        EXPECT_NEAR(info.dataSize, static_cast<double>(c.dataBytes) * c.rate / 44100, c.blockAlign * 2.0);
    }
}

TEST(BatchJob, Mp3StepFollowsTheEncoderKind)
{
    struct Case {
        int bitrate, kind;
        bool haveEncoder;
        std::string call;  ///< "" for none
    } cases[] = {
        { 128, 0, true, "gogo " }, { 128, 1, true, "external " }, { 128, 2, true, "" },
        { 0, 0, true, "" },        { 128, 0, false, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bitrate << " kind " << c.kind << " encoder " << c.haveEncoder);
        Fixture f;
        f.settings.Mp3Bitrate = c.bitrate;
        f.settings.EncoderKind = c.kind;
        if (!c.haveEncoder)
            f.encoder = nullptr;
        f.Run(f.Entries({ { "song.wav", 1000 } }), f.out);
        EXPECT_EQ(f.mp3.calls,
                  c.call.empty() ? Names {} : Names { c.call + f.out + "song.wav " + f.out + "song.MP3" });
        EXPECT_EQ(f.notifier.calls, (Names { "file song.wav", "all" }));
    }
}

TEST(BatchJob, AnMp3FileThatIsNotWrittenFailsTheEntry)
{
    struct Case {
        const char* what;
        Names files;
        int encoderResult;
        Names calls;     ///< of the MP3 step, by file name
        Names notified;  ///< "file" announcements
        Names failures;  ///< outputs named by an EncodeFailed problem
        Names ends;
    };
    const Case cases[] = {
        { "encoder fails", { "song.wav" }, -1, { "song.wav" }, {}, {}, { "entry end 1 later step failed" } },
        // The second name gives the same MP3 name: it is not encoded over the first.
        { "same MP3 name",
          { "song.wav", "song.WAV" },
          0,
          { "song.wav" },
          { "song.wav" },
          { "song.WAV" },
          { "entry end 1 done", "entry end 2 later step failed" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.settings.Mp3Bitrate = 128;
        f.mp3.result = c.encoderResult;
        std::vector<std::pair<std::string, int>> files;
        for (const std::string& name : c.files)
            files.emplace_back(name, 1000);
        const BatchOutcome outcome = f.Run(f.Entries(files), f.out);
        EXPECT_EQ(outcome.normalizedCount, static_cast<int>(c.files.size()));
        EXPECT_EQ(outcome.failedCount, static_cast<int>(c.files.size() - c.notified.size()));
        Names calls, notified, failures;
        for (const std::string& name : c.calls)
            calls.push_back("gogo " + f.out + name + " " + f.out + "song.MP3");
        for (const std::string& name : c.notified)
            notified.push_back("file " + name);
        notified.push_back("all");
        for (const std::string& name : c.failures)
            failures.push_back("problem EncodeFailed " + f.out + name);
        EXPECT_EQ(f.mp3.calls, calls);
        EXPECT_EQ(f.notifier.calls, notified);
        EXPECT_EQ(f.events.EventsStartingWith("problem"), failures);
        EXPECT_EQ(f.events.EventsStartingWith("entry end"), c.ends);
    }
}

TEST(BatchJob, CancelAnsweredNoGoesOnFromTheSamePoint)
{
    Fixture f;
    const BatchOutcome outcome =
        f.Run(f.Entries({ { "a.wav", 1000 }, { "b.wav", 1000 } }), f.out, [&](BatchJob&) {
            f.events.onEvent = [&f](const std::string& event) {
                if (event == "entry process 1/2 a.wav")
                    f.cancel = 1;
            };
        });
    EXPECT_EQ(f.events.EventsStartingWith("ask"), (Names { "ask no" }));
    EXPECT_EQ(outcome.normalizedCount, 2);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_EQ(f.notifier.calls, (Names { "file a.wav", "file b.wav", "all" }));
}

TEST(BatchJob, CancelAnsweredYesStopsAtEachCheckpoint)
{
    struct Case {
        const char* name;
        int peakMode, action, rate, bitrate;
        std::string trigger;  ///< event after which cancel is pressed; "mp3" for the MP3 step
        Names in, out;
    } cases[] = {
        // The conversion's temporary file goes with the cancel.
        { "per-file before scan", 0, 0, 22050, 0, "entry process 1/2", { "a.wav", "b.wav" }, {} },
        { "per-file after scan", 0, 0, 22050, 0, "peak", { "a.wav", "b.wav" }, {} },
        { "per-file after normalize", 0, 2, 0, 0, "end normalization", { "_a.wav", "b.wav" }, { "a.wav" } },
        { "per-file after mp3", 0, 2, 0, 128, "mp3", { "b.wav" }, { "a.MP3", "a.wav" } },
        { "common after first scan", 1, 1, 0, 0, "peak", { "a.wav", "b.wav" }, {} },
        { "common after normalize", 1, 2, 0, 0, "end normalization", { "_a.wav", "b.wav" }, { "a.wav" } },
        // Originals wait under their "_" names until every output is complete.
        { "common after mp3", 1, 2, 0, 128, "mp3", { "_a.wav", "b.wav" }, { "a.MP3", "a.wav" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.settings.PeakMode = c.peakMode;
        f.settings.SourceFileAction = c.action;
        f.settings.ResampleRate = c.rate;
        f.settings.Mp3Bitrate = c.bitrate;
        f.events.answers = { true };
        const BatchOutcome outcome =
            f.Run(f.Entries({ { "a.wav", 1000 }, { "b.wav", 1000 } }), f.out, [&](BatchJob&) {
                auto press = [&f, pressed = false]() mutable {
                    f.cancel = pressed ? 0 : 1;
                    pressed = true;
                };
                f.mp3.onCall = [press, &c]() mutable {
                    if (c.trigger == "mp3")
                        press();
                };
                f.events.onEvent = [press, &c](const std::string& event) mutable {
                    if (event.rfind(c.trigger, 0) == 0)
                        press();
                };
            });
        EXPECT_TRUE(outcome.cancelled);
        EXPECT_EQ(ListFolder(f.in), c.in);
        EXPECT_EQ(ListFolder(f.out), c.out);
        EXPECT_TRUE(f.notifier.calls.empty());
        // A cancel in the common mode's delete says where the originals wait.
        Names tail { "ask yes" };
        for (const std::string& name : c.in) {
            if (c.peakMode == 1 && c.action == 2 && name[0] == '_')
                tail.push_back("problem DeleteFailed " + f.in + name);
        }
        tail.push_back("close");
        const auto events = f.events.Events();
        EXPECT_EQ(Names(events.end() - static_cast<long>(tail.size()), events.end()), tail);
        EXPECT_TRUE(f.events.EventsStartingWith("job end").empty());
    }

    // Two jobs: asked once, closed once after both stopped, and no original is deleted.
    Fixture two;
    two.jobs = 2;
    two.settings.PeakMode = 1;
    two.settings.SourceFileAction = 2;
    two.events.answers = { true };
    const auto entries =
        two.Entries({ { "a.wav", 1000 }, { "b.wav", 2000 }, { "c.wav", 3000 }, { "d.wav", 900 } });
    const BatchOutcome outcome = two.Run(entries, two.out, [&](BatchJob&) {
        two.events.onEvent = [&two](const std::string& event) {
            if (event.rfind("end normalization", 0) == 0)
                two.cancel = 1;
        };
    });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(two.events.EventsStartingWith("ask"), Names { "ask yes" });
    EXPECT_EQ(two.events.Events().back(), "close");
    EXPECT_EQ(two.events.EventsStartingWith("close").size(), 1u);
    for (const char* name : { "a.wav", "b.wav", "c.wav", "d.wav" })
        EXPECT_TRUE(Exists(two.in + name) || Exists(two.in + "_" + name)) << name;
}

TEST(BatchJob, UnknownPeakModeRunsNothingButEnds)
{
    Fixture f;
    f.settings.PeakMode = 7;
    f.Run(f.Entries({ { "a.wav", 1000 } }), f.out);
    EXPECT_EQ(f.events.Events(), (Names { "job start", "job end" }));
    EXPECT_TRUE(f.notifier.calls.empty());
}

TEST(BatchJob, PathsOfAnEntry)
{
    FileEntry entry;
    entry.caption = "my.song.Wav";
    entry.subItems[DirectoryCell] = "/in/";
    const EntryPaths paths = MakeEntryPaths(entry, "/out/");
    EXPECT_EQ((Names { paths.source, paths.output, paths.setAside, paths.mp3 }),
              (Names { "/in/my.song.Wav", "/out/my.song.Wav", "/in/_my.song.Wav", "/out/my.song.MP3" }));
    EXPECT_EQ(Mp3PathFor("/a.b/noext"), "/a.b/noext.MP3");
}

}  // namespace
}  // namespace orva
