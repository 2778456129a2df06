// `orva-cli batch` end to end: real folders, a settings file of the test's own, SSTP to a
// loopback server, an external encoder, and the exit codes.

#include "cli/batch_options.h"
#include "core/wave_file.h"
#include "loudness/wave_analysis.h"
#include "test_support.h"
#include "tests/notify/loopback_server.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

namespace orva {
namespace {

using namespace test;
using Names = std::vector<std::string>;

// A stand-in for the external encoder that writes its arguments into the destination, then
// the three MP3 frames that 0.1 s of audio takes (the length check counts them).
const std::string kStandInEncoder =
    "#!/bin/sh\nfor last; do :; done\necho \"$*\" > \"$last\"\n"
    "for i in 1 2 3; do printf '\\377\\373\\220\\000'; head -c 413 /dev/zero; done >> \"$last\"\n";

class CliBatch : public testing::Test {
protected:
    void SetUp() override
    {
        const char* buildDir = std::getenv("ORVA_BUILD_DIR");
        m_cli = std::string(buildDir ? buildDir : ".") + "/orva-cli";
        if (!Exists(m_cli))
            GTEST_SKIP() << "orva-cli is not built";
        for (const char* name : { "a.wav", "b.wav" })
            WriteFile(in + name, MakeWav(2, 44100, 16, Ramp16(4410, 2, 1000)));
        WriteFile(in + "c8.wav", MakeWav(1, 8000, 8, Bytes(800, 140)));
    }

    /// Runs `orva-cli batch --settings INI ARGS` (INI: the lines joined with CR LF); returns
    /// the exit code and keeps stdout and stderr.
    /// `prefix` goes before the program (a fault injector).
    int Run(const Names& ini, const std::string& arguments, const std::string& prefix = "")
    {
        std::string text;
        for (const auto& line : ini)
            text += line + "\r\n";
        WriteFile(m_ini, Bytes(text.begin(), text.end()));
        const std::string command = prefix + m_cli + " batch --settings " + m_ini + " " + arguments + " >"
            + temp.Path() + "stdout 2>" + temp.Path() + "stderr </dev/null";
        const int status = std::system(command.c_str());
        const Bytes outBytes = ReadFile(temp.Path() + "stdout");
        const Bytes errBytes = ReadFile(temp.Path() + "stderr");
        out.assign(outBytes.begin(), outBytes.end());
        err.assign(errBytes.begin(), errBytes.end());
        EXPECT_EQ(ReadFile(m_ini), Bytes(text.begin(), text.end()));  // never written
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    /// Starts `orva-cli batch --settings INI ARGS...` with stdout on a pipe nobody reads;
    /// returns its process id.
    pid_t Start(const Names& ini, const Names& arguments)
    {
        std::string text;
        for (const auto& line : ini)
            text += line + "\r\n";
        WriteFile(m_ini, Bytes(text.begin(), text.end()));
        int ends[2];
        if (::pipe(ends) != 0)
            return -1;
        ::close(ends[0]);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(ends[1], STDOUT_FILENO);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDERR_FILENO);
            std::vector<std::string> words { m_cli, "batch", "--settings", m_ini };
            words.insert(words.end(), arguments.begin(), arguments.end());
            std::vector<char*> argv;
            for (std::string& word : words)
                argv.push_back(word.data());
            argv.push_back(nullptr);
            ::execv(m_cli.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(ends[1]);
        return child;
    }

    TempFolder temp;
    std::string in = temp.Sub("in");
    std::string outDir = temp.Sub("out");
    std::string out, err;

private:
    std::string m_cli;
    std::string m_ini = temp.Path() + "ORVA.INI";
};

TEST_F(CliBatch, RenameInTheSourceFolderWithMp3AndSstp)
{
    LoopbackServer server(LoopbackServer::Behaviour::AnswerAndClose);
    const std::string encoder = temp.Path() + "encoder.sh";
    const std::string script = kStandInEncoder;
    WriteFile(encoder, Bytes(script.begin(), script.end()));
    std::filesystem::permissions(encoder, std::filesystem::perms::owner_all);
    WriteFile(in + "notes.txt", { 'x' });

    EXPECT_EQ(Run({ "[Mathod]", "DELETE=1", "[ENCODE]", "RATE=192", "ENCODER=1", "OUTMODE=1",
                    "PATH=" + encoder, "[SSTP]", "STATE=1", "PORT=" + std::to_string(server.port()) },
                  "--jobs 1 --output " + in + " " + in + "a.wav " + in + "b.wav " + in + "notes.txt"),
              1)  // notes.txt was left out; one job: the announcements in the list's order
        << err;
    EXPECT_EQ(ListFolder(in),
              (Names { "_a.wav", "_b.wav", "a.MP3", "a.wav", "b.MP3", "b.wav", "c8.wav", "notes.txt" }));
    EXPECT_EQ(Peak16(in + "a.wav"), 32767);
    EXPECT_EQ(Peak16(in + "_a.wav"), 1000);
    // The encoder wrote to a hidden temporary name beside a.MP3, renamed when it was done.
    const Bytes mp3 = ReadFile(in + "a.MP3");
    EXPECT_EQ(std::string(mp3.begin(), mp3.end()).rfind("-e -l3 -b11 -j " + in + "a.wav " + in + ".orva-", 0),
              0u);
    EXPECT_NE(out.find("変換するファイル数： 2 個\n保存先ディレクトリ：" + in + "\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("ＳＳＴＰ：有効\n\n※リネームオプションが指定されています。\n"), std::string::npos)
        << out;

    const Names requests = server.requests(3);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].rfind("SEND SSTP/1.0\r\nSender: ORVA\r\nScript: ", 0), 0u);
    EXPECT_NE(requests[0].find("a.wav"), std::string::npos) << requests[0] << requests[1] << requests[2];
    EXPECT_NE(requests[1].find("b.wav"), std::string::npos);
    EXPECT_EQ(requests[2].find(".wav"), std::string::npos);
}

TEST_F(CliBatch, ExitCodes)
{
    // An output that cannot be created fails that entry only.
    WriteFile(temp.Sub("out/a.wav") + "x", { 1 });
    EXPECT_EQ(Run({}, "--output " + outDir + " " + in + "a.wav " + in + "b.wav"), 1);
    EXPECT_NE(err.find("ﾌｧｲﾙを正常に作成できません。(" + outDir + "a.wav)"), std::string::npos) << err;
    EXPECT_EQ(Peak16(outDir + "b.wav"), 32767);

    // An MP3 file the encoder did not write fails its entry.
    const std::string encoder = temp.Path() + "failing encoder.sh";
    WriteFile(encoder,
              { '#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n', 'e', 'x', 'i', 't', ' ', '1', '\n' });
    std::filesystem::permissions(encoder, std::filesystem::perms::owner_all);
    EXPECT_EQ(Run({ "[ENCODE]", "RATE=128", "ENCODER=1", "PATH=" + encoder },
                  "--output " + outDir + " " + in + "b.wav"),
              1);
    EXPECT_NE(err.find("エンコードに失敗しました[" + outDir + "b.wav]"), std::string::npos) << err;
    EXPECT_FALSE(Exists(outDir + "b.MP3"));

    // Refusals, an overlap among them, exit with 2 before anything is written.
    EXPECT_EQ(Run({}, "--output " + in + " " + in + "b.wav"), 2);
    EXPECT_NE(err.find("変換前と変換後のﾃﾞｨﾚｸﾄﾘが重なっています。"), std::string::npos) << err;
    EXPECT_EQ(Run({ "[Mathod]", "CONVERT=1" }, "--output " + outDir + " " + in + "b.wav " + in + "c8.wav"),
              2);
    EXPECT_EQ(Run({}, "--output " + outDir + " " + in + "missing.wav ''"), 2);
    EXPECT_NE(err.find("処理可能なファイルがありません。"), std::string::npos) << err;
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Run({}, in + "b.wav"), 2);
    EXPECT_EQ(ListFolder(in), (Names { "a.wav", "b.wav", "c8.wav" }));
    // A settings file named on purpose must be readable (the last --settings counts).
    for (const auto& [settings, reason] : { std::pair(temp.Path() + "none.ini", "No such file or directory"),
                                            std::pair(in, "Is a directory") }) {
        EXPECT_EQ(Run({}, "--settings " + settings + " --output " + outDir + " " + in + "b.wav"), 2);
        EXPECT_NE(err.find("cannot read settings " + settings + ": " + reason + "\n"), std::string::npos)
            << err;
    }

    // Common peak, delete, and a conversion that forces the per-file mode.
    std::filesystem::remove_all(outDir + "a.wav");
    EXPECT_EQ(Run({ "[Mathod]", "CONVERT=1", "DELETE=2", "SAMPLE=22050" },
                  "--output " + outDir + " " + in + "c8.wav " + in + "b.wav"),
              0)
        << err;
    EXPECT_EQ(ListFolder(in), (Names { "a.wav", "b.wav", "c8.wav" }));
    EXPECT_NE(out.find("ピーク取得方法　　：ファイルごと\n"), std::string::npos);
    EXPECT_EQ(Run({ "[Mathod]", "CONVERT=1", "DELETE=2" },
                  "--output " + outDir + " " + in + "a.wav " + in + "b.wav"),
              0)
        << err;
    EXPECT_EQ(ListFolder(in), (Names { "c8.wav" }));
}

// Several entries at once: every situation ends as it does one after the other, with the
// same exit code, the same files on both sides and the same bytes in them.
TEST_F(CliBatch, TwoJobsEndAsOneDoes)
{
    WriteFile(in + "d.wav", MakeWav(2, 44100, 16, Ramp16(8820, 2, 3000)));
    const std::string failing = temp.Path() + "failing encoder.sh";
    WriteFile(failing,
              { '#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n', 'e', 'x', 'i', 't', ' ', '1', '\n' });
    std::filesystem::permissions(failing, std::filesystem::perms::owner_all);
    struct Row {
        Names ini;
        int code;
        bool blockOutput = false;  ///< a folder stands where a.wav's output goes
    };
    const Row rows[] = {
        { {}, 0 },
        { { "[Mathod]", "DELETE=1" }, 0 },
        { { "[Mathod]", "DELETE=2" }, 0 },
        { { "[Mathod]", "DELETE=2" }, 1, true },
        { { "[Mathod]", "CONVERT=1", "DELETE=2" }, 0 },
        { { "[Mathod]", "CONVERT=1", "DELETE=2" }, 1, true },
        { { "[Mathod]", "CONVERT=1", "DELETE=1", "[ENCODE]", "RATE=128" }, 0 },
        { { "[Mathod]", "SAMPLE=22050", "[ENCODE]", "RATE=128" }, 0 },
        { { "[Mathod]", "DELETE=2", "[ENCODE]", "RATE=128", "ENCODER=1", "PATH=" + failing }, 1 },
        { { "[Mathod]", "CONVERT=1", "DELETE=2", "[ENCODE]", "RATE=128", "ENCODER=1", "PATH=" + failing },
          1 },
        { { "[Mathod]", "TARGETMODE=2", "TARGET=-200", "CONVERT=1" }, 0 },
    };
    std::map<std::string, Bytes> originals;
    for (const std::string& name : ListFolder(in))
        originals[name] = ReadFile(in + name);
    for (const Row& row : rows) {
        std::map<std::string, Bytes> seen[2];
        for (int jobs : { 1, 2 }) {
            SCOPED_TRACE(row.ini.empty() ? "defaults" : row.ini.back() + " --jobs " + std::to_string(jobs));
            std::filesystem::remove_all(in);
            std::filesystem::remove_all(outDir);
            temp.Sub("in");
            temp.Sub("out");
            for (const auto& [name, bytes] : originals)
                WriteFile(in + name, bytes);
            if (row.blockOutput)
                std::filesystem::create_directory(outDir + "a.wav");
            EXPECT_EQ(Run(row.ini,
                          "--jobs " + std::to_string(jobs) + " --output " + outDir + " " + in + "a.wav " + in
                              + "b.wav " + in + "d.wav"),
                      row.code)
                << err;
            for (const std::string& folder : { in, outDir }) {
                for (const std::string& name : ListFolder(folder)) {
                    if (!std::filesystem::is_directory(folder + name))
                        seen[jobs - 1][folder + name] = ReadFile(folder + name);
                }
            }
            // No audio is lost: each original is still there, under its name or set aside,
            // unless its complete output is.
            for (const char* name : { "a.wav", "b.wav", "d.wav" }) {
                const auto& files = seen[jobs - 1];
                EXPECT_TRUE(files.count(in + name) != 0 || files.count(in + "_" + name) != 0
                            || files.count(outDir + name) != 0)
                    << name;
            }
        }
        EXPECT_EQ(seen[0], seen[1]);
    }

    // One announcement per file as it finishes, in whatever order; the batch's own after them.
    LoopbackServer server(LoopbackServer::Behaviour::AnswerAndClose);
    EXPECT_EQ(Run({ "[SSTP]", "STATE=1", "PORT=" + std::to_string(server.port()) },
                  "--jobs 2 --output " + outDir + " " + in + "a.wav " + in + "b.wav " + in + "d.wav"),
              0)
        << err;
    const Names requests = server.requests(4);
    ASSERT_EQ(requests.size(), 4u);
    for (const char* name : { "a.wav", "b.wav", "d.wav" })
        EXPECT_EQ(std::count_if(
                      requests.begin(), requests.begin() + 3,
                      [&](const std::string& request) { return request.find(name) != std::string::npos; }),
                  1)
            << name;
    EXPECT_EQ(requests[3].find(".wav"), std::string::npos);
}

// Every file left out is named on stderr, and anything left out or failed makes exit code 1.
TEST_F(CliBatch, LeftOutAndFailedFilesAreNamed)
{
    WriteFile(in + "wide.wav", MakeWav(2, 44100, 20, Bytes(60, 1)));
    WriteFile(in + "notes.txt", { 'x' });
    const std::string twin = temp.Sub("twin") + "a.wav";
    WriteFile(twin, ReadFile(in + "a.wav"));
    std::filesystem::create_directory(in + "folder.wav");
    EXPECT_EQ(Run({},
                  "--output " + outDir + " " + in + "a.wav " + twin + " " + in + "notes.txt " + in
                      + "missing.wav " + in + "wide.wav " + in + "folder.wav"),
              1);
    for (const std::string& line :
         { twin + " left out: a file of the same name is already listed (" + in + "a.wav)",
           in + "notes.txt left out: not a .wav file name", in + "missing.wav left out: ファイルが開けません",
           in + "wide.wav left out: unsupported format (PCM, 20 bit)",
           in + "folder.wav left out: ﾌｧｲﾙを正常に読み込めません。(" + in + "folder.wav)" })
        EXPECT_NE(err.find("orva-cli batch: " + line + "\n"), std::string::npos) << line << "\n" << err;
    EXPECT_EQ(Peak16(outDir + "a.wav"), 32767);
    // Off a terminal: one line per finished file, and the totals at the end.
    EXPECT_NE(err.find("orva-cli batch: [1/1] a.wav: done\norva-cli batch: 1 done, 0 failed, 5 left out in "),
              std::string::npos)
        << err;

    // After "--" every argument is a file, even one named like an option; control characters
    // in a name reach the terminal escaped.
    WriteFile(in + "--settings", { 'x' });
    WriteFile(in + "-x.wav", ReadFile(in + "b.wav"));
    std::filesystem::remove(outDir + "a.wav");
    EXPECT_EQ(
        Run({}, "--output " + outDir + " -- --settings -x.wav 'bell\a\x1b[2J\r.txt'", "cd " + in + " && "), 1)
        << err;
    EXPECT_NE(err.find("orva-cli batch: --settings left out: not a .wav file name\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("orva-cli batch: bell\\x07\\x1b[2J\\r.txt left out: "), std::string::npos) << err;
    EXPECT_EQ(Peak16(outDir + "-x.wav"), 32767);
    for (const std::string& file : { outDir + "-x.wav", in + "-x.wav", in + "--settings" })
        std::filesystem::remove(file);

    // A read error of the source while it is normalized (strace injects it where it runs):
    // the entry fails, its set-aside source stays, and no later step runs.
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
        return;
    const auto source = ReadFile(in + "b.wav");
    // Reads of b.wav on the batch's worker thread (strace counts each thread's own): the
    // entry's one probe, the scan's samples (the 2nd), then the normalization's (the 3rd).
    for (int failingRead : { 2, 3 }) {
        SCOPED_TRACE(failingRead);
        const std::string strace = "strace -f -o /dev/null -P " + in + "b.wav -P " + in
            + "_b.wav -e trace=read -e inject=read:error=EIO:when=" + std::to_string(failingRead) + " ";
        EXPECT_EQ(Run({ "[Mathod]", "DELETE=2" }, "--output " + outDir + " " + in + "b.wav", strace), 1);
        EXPECT_NE(err.find("ﾌｧｲﾙを正常に読み込めません。(" + in + (failingRead == 2 ? "" : "_") + "b.wav)"),
                  std::string::npos)
            << err;
        EXPECT_EQ(ListFolder(outDir), Names {});
        const std::string kept = in + (failingRead == 2 ? "b.wav" : "_b.wav");
        EXPECT_EQ(ReadFile(kept), source);
        if (failingRead == 3) {
            std::filesystem::rename(kept, in + "b.wav");
        }
    }
}

// Each source is opened once by the file list and once by its entry, whose one probe, scan
// and normalization all read through that descriptor, in either peak mode.
TEST_F(CliBatch, EachSourceIsOpenedAndProbedOncePerEntry)
{
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace cannot trace here";
    const std::string log = temp.Path() + "strace.log";
    for (const char* peakMode : { "0", "1" }) {
        SCOPED_TRACE(peakMode);
        // The leak checker of a sanitizer build cannot work under ptrace.
        const std::string strace = "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 strace -f -o " + log + " -P "
            + in + "a.wav -P " + in + "b.wav -e trace=open,openat,read ";
        EXPECT_EQ(Run({ "[Mathod]", std::string("CONVERT=") + peakMode },
                      "--output " + outDir + " " + in + "a.wav " + in + "b.wav", strace),
                  0)
            << err;
        const Bytes bytes = ReadFile(log);
        const std::string calls(bytes.begin(), bytes.end());
        const auto count = [&calls](const std::string& what) {
            size_t n = 0;
            for (size_t at = calls.find(what); at != std::string::npos; at = calls.find(what, at + 1))
                ++n;
            return n;
        };
        for (const char* name : { "a.wav", "b.wav" })
            EXPECT_EQ(count("open(\"" + in + name) + count("openat(AT_FDCWD, \"" + in + name), 2u) << calls;
        // Per file: the list's probe, the entry's probe, the scan and the normalization.
        EXPECT_EQ(count(" read("), 8u) << calls;
    }
}

// A reader of stdout that went away does not stop the batch; SIGTERM cancels it like Ctrl-C
// answered Yes, removing the temporary file.
TEST_F(CliBatch, BrokenPipeAndTermination)
{
    int status = 0;
    pid_t child = Start({}, { "--output", outDir, in + "a.wav" });
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Peak16(outDir + "a.wav"), 32767);

    const Bytes big = MakeWav(2, 44100, 16, Ramp16(2000000, 2, 500));
    WriteFile(in + "big.wav", big);
    child = Start({ "[Mathod]", "SAMPLE=22050" }, { "--output", outDir, in + "big.wav" });
    ASSERT_GT(child, 0);
    // The signal comes once the conversion has its temporary file in the output folder open.
    bool signalled = false;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        std::error_code error;
        for (const auto& fd :
             std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/fd", error)) {
            const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
            if (!signalled && target.rfind(outDir, 0) == 0) {
                ::kill(child, SIGTERM);
                signalled = true;
            }
        }
    }
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(ListFolder(outDir), Names { "a.wav" });
    EXPECT_EQ(ReadFile(in + "big.wav"), big);
}

// A kill in the middle of a batch, in each mode: every original survives under its own or
// its "_" name, and nothing incomplete stands under an output's name.
TEST_F(CliBatch, KillLeavesOriginalsAndNoIncompleteOutput)
{
    const Bytes big = MakeWav(2, 44100, 16, Ramp16(1500000, 2, 700));
    const std::string encoder = temp.Path() + "encoder.sh";
    const std::string script = "#!/bin/sh\nfor last; do :; done\necho mp3 > \"$last\"\n";
    WriteFile(encoder, Bytes(script.begin(), script.end()));
    std::filesystem::permissions(encoder, std::filesystem::perms::owner_all);
    const Names modes[] = {
        { "[Mathod]", "DELETE=2" },
        { "[Mathod]", "DELETE=1", "CONVERT=1" },
        { "[Mathod]", "SAMPLE=22050", "[ENCODE]", "RATE=128", "ENCODER=1", "PATH=" + encoder },
    };
    for (const Names& ini : modes) {
        SCOPED_TRACE(ini[1]);
        // On a busy machine the batch may end before the kill finds its moment; the checks
        // hold either way, and another try gives the kill its chance.
        bool killed = false;
        for (int attempt = 0; attempt < 5 && !killed; ++attempt) {
            for (const char* name : { "x.wav", "y.wav" })
                WriteFile(in + name, big);
            const pid_t child = Start(ini, { "--output", outDir, in + "x.wav", in + "y.wav" });
            ASSERT_GT(child, 0);
            // The kill comes while the first file is written into the output folder.
            int status = 0;
            while (::waitpid(child, &status, WNOHANG) == 0) {
                std::error_code error;
                for (const auto& fd :
                     std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/fd", error)) {
                    const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
                    if (!killed && target.rfind(outDir, 0) == 0) {
                        ::kill(child, SIGKILL);
                        killed = true;
                    }
                }
            }
            for (const char* name : { "x.wav", "y.wav" }) {
                const std::string kept = Exists(in + name) ? in + name : in + "_" + name;
                EXPECT_EQ(ReadFile(kept), big) << name;
            }
            for (const std::string& name : ListFolder(outDir)) {
                WaveFileInfo info {};
                if (name.size() > 4 && name.substr(name.size() - 4) == ".wav") {
                    ASSERT_GE(ProbeWaveFile(outDir + name, info), 0) << name;
                    EXPECT_EQ(std::filesystem::file_size(outDir + name), uint64_t(info.riffSize) + 8) << name;
                }
                std::filesystem::remove(outDir + name);
            }
            for (const std::string& name : ListFolder(in))
                std::filesystem::remove(in + name);
        }
        EXPECT_TRUE(killed);
    }
}

/// Every option a flag can set, as key=value lines.
std::string Dump(const Settings& s)
{
    std::ostringstream out;
    out << "PeakMode=" << s.PeakMode << "\nSourceFileAction=" << s.SourceFileAction
        << "\nResampleRate=" << s.ResampleRate << "\nMp3Bitrate=" << s.Mp3Bitrate
        << "\nEncoderKind=" << s.EncoderKind << "\nOutputMode=" << s.OutputMode << "\nUsePsy=" << s.UsePsy
        << "\nEncoderPath=" << s.EncoderPath << "\nSstpEnabled=" << s.SstpEnabled
        << "\nSstpServer=" << s.SstpServer << "\nSstpPort=" << s.SstpPort << "\nTargetMode=" << s.TargetMode
        << "\nTarget=" << s.Target << "\nCeiling=" << s.Ceiling << "\n";
    return out.str();
}

// One row per flag: the settings it sets over the file's, or why it is refused.
TEST(CliBatchFlags, EachFlagSetsItsOption)
{
    struct Row {
        const char* args;
        const char* expected;  ///< lines of Dump, or the start of the problem
        Settings file = {};
    };
    Settings psyFile, commonFile, resampleFile, sstpFile;
    psyFile.Mp3Bitrate = 128, psyFile.UsePsy = 1, psyFile.OutputMode = 2, psyFile.SourceFileAction = 2;
    commonFile.PeakMode = 1;
    resampleFile.ResampleRate = 22050;
    sstpFile.SstpEnabled = 1;
    // A hand-edited file: options the dialog would not combine stand unless a flag changes them.
    Settings externalFile = psyFile;
    externalFile.EncoderKind = 1;
    const Row rows[] = {
        { "--common-peak", "PeakMode=1\n" },
        { "--per-file", "PeakMode=0\n", commonFile },
        { "--common-peak --per-file", "--common-peak and --per-file contradict" },
        { "--mode true", "TargetMode=1\nTarget=-10\n" },
        { "--mode loudness --target -16", "TargetMode=2\nTarget=-160\n" },
        { "--mode fast", "--mode takes sample, true or loudness" },
        { "--target -14.5", "Target=-145\n" },
        { "--target -31", "--target takes a level from -30.0 to 0.0 dBFS in sample mode" },
        { "--mode loudness --target -4", "--target takes a level from -50.0 to -5.0 LUFS" },
        { "--target -1.25", "--target takes a level in dB with at most one decimal" },
        { "--target", "--target needs a value" },
        { "--ceiling -1", "Ceiling=-10\n" },
        { "--ceiling 0.5", "--ceiling takes a level from -30.0 to 0.0 dBTP" },
        { "--rename", "SourceFileAction=1\n" },
        { "--delete", "SourceFileAction=2\n" },
        { "--keep", "SourceFileAction=0\n", psyFile },
        { "--keep --delete", "--keep and --delete contradict" },
        { "--resample 48000", "PeakMode=0\nSourceFileAction=0\nResampleRate=48000\n", psyFile },
        { "--resample 44000", "--resample takes one of 22050, 32000, 44100, 48000" },
        { "--resample 22050 --rename", "a sample-rate conversion runs per file" },
        { "--no-resample", "ResampleRate=0\n", resampleFile },
        { "--mp3 192", "Mp3Bitrate=192\n" },
        { "--mp3 100", "--mp3 takes one of 64, 80" },
        { "--no-mp3", "Mp3Bitrate=0\nEncoderKind=0\nOutputMode=0\nUsePsy=0\n", psyFile },
        { "--mp3 128 --encoder library", "EncoderKind=0\n" },
        { "--mp3 128 --encoder /usr/bin/lame",
          "EncoderKind=1\nOutputMode=0\nUsePsy=0\nEncoderPath=/usr/bin/lame\n" },
        { "--encoder /usr/bin/lame", "EncoderKind=1\nOutputMode=0\nUsePsy=0\n", psyFile },
        { "--mp3 128 --mp3-mode mid-side", "OutputMode=2\n" },
        { "--mp3 128 --mp3-mode quad", "--mp3-mode takes stereo, joint, mid-side or mono" },
        { "--mp3 128 --encoder /x --mp3-mode mono", "--mp3-mode mid-side and mono need the encoder library" },
        { "--mp3 128 --psy", "UsePsy=1\n" },
        { "--no-psy", "UsePsy=0\n", psyFile },
        { "--mp3 192", "Mp3Bitrate=192\nEncoderKind=1\nOutputMode=2\nUsePsy=1\n", externalFile },
        { "--keep", "EncoderKind=1\nOutputMode=2\nUsePsy=1\n", externalFile },
        { "--mp3 128 --encoder /x --psy", "--psy need the encoder library" },
        { "--psy", "--encoder, --mp3-mode and --psy need --mp3" },
        { "--sstp mascot.local:9821", "SstpEnabled=1\nSstpServer=mascot.local\nSstpPort=9821\n" },
        { "--sstp [::1]:9801", "SstpEnabled=1\nSstpServer=::1\nSstpPort=9801\n" },
        { "--sstp ::1", "SstpServer=::1\nSstpPort=9801\n" },
        { "--sstp host:0", "--sstp takes a port from 1 to 65535" },
        { "--no-sstp", "SstpEnabled=0\n", sstpFile },
        { "--bogus", "unknown option --bogus" },
        { "--dry-run --quiet -- --bogus", "PeakMode=0\n" },
        { "--jobs 64", "PeakMode=0\n" },
        { "--jobs 0", "--jobs takes a number from 1 to 64, not '0'" },
        { "--jobs 65", "--jobs takes a number from 1 to 64" },
        { "--jobs two", "--jobs takes a number from 1 to 64" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        std::vector<std::string> args { "--output", "o", "f.wav" };
        std::istringstream words(row.args);
        for (std::string word; words >> word;)
            args.push_back(word);
        cli::BatchArguments parsed;
        std::string problem;
        Settings settings = row.file;
        const bool ok = cli::ParseBatchArguments(args, parsed, problem)
            && cli::ApplyBatchArguments(parsed, settings, problem);
        const std::string expected = row.expected;
        if (expected.rfind("--", 0) == 0 || expected.find(' ') != std::string::npos) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(problem.rfind(expected, 0), 0u) << problem;
            continue;
        }
        ASSERT_TRUE(ok) << problem;
        std::istringstream lines(expected);
        const std::string dump = Dump(settings);
        for (std::string line; std::getline(lines, line);)
            EXPECT_NE(dump.find(line + "\n"), std::string::npos) << line << "\n" << dump;
    }
}

/// Two seconds of a 1 kHz sine at `amplitude` (of 32767), stereo 16-bit at 44.1 kHz.
Bytes Sine16(double amplitude)
{
    Bytes data;
    for (int i = 0; i < 88200; ++i) {
        const auto v =
            static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(i * 2 * M_PI * 1000 / 44100)));
        for (int c = 0; c < 2; ++c)
            data.insert(data.end(), { uint8_t(v & 0xff), uint8_t((v >> 8) & 0xff) });
    }
    return data;
}

// The README's recipes, end to end, with no options in the settings file.
TEST_F(CliBatch, Recipes)
{
    WriteFile(in + "loud.wav", MakeWav(2, 44100, 16, Sine16(0.5)));
    WriteFile(in + "quiet.wav", MakeWav(2, 44100, 16, Sine16(0.1)));
    const auto analyze = [](const std::string& path) {
        WaveAnalysis analysis;
        std::string error;
        struct : StageEvents {
            void StageStarted(Stage, const std::string&) override {}
            void StageProgress(Stage, int64_t, int64_t, int) override {}
            void PeakFound(const SamplePeak&) override {}
            void StageFinished(Stage) override {}
        } stages;
        EXPECT_TRUE(AnalyzeWaveFile(stages, path, analysis, error)) << error;
        return analysis;
    };
    // A podcast to -16 LUFS with the true peak at most -1 dBTP.
    EXPECT_EQ(Run({},
                  "--mode loudness --target -16 --ceiling -1 --keep --output " + outDir + " -- " + in
                      + "quiet.wav"),
              0)
        << err;
    WaveAnalysis podcast = analyze(outDir + "quiet.wav");
    EXPECT_NEAR(podcast.levels.integratedLufs, -16.0, 0.1);
    EXPECT_LE(20 * std::log10(podcast.levels.truePeak), -1.0 + 1e-6);
    EXPECT_NE(err.find("orva-cli batch: 1 done, 0 failed, 0 left out in "), std::string::npos) << err;

    // An album to -14 LUFS with one gain: the files keep their balance.
    EXPECT_EQ(Run({},
                  "--common-peak --mode loudness --target -14 --ceiling 0 --output " + outDir + " -- " + in
                      + "loud.wav " + in + "quiet.wav"),
              0)
        << err;
    const WaveAnalysis loud = analyze(outDir + "loud.wav"), quiet = analyze(outDir + "quiet.wav");
    EXPECT_NEAR(loud.levels.integratedLufs - quiet.levels.integratedLufs, 20 * std::log10(5.0), 0.1);
    // The quiet track lies below the relative gate: the album's loudness is the loud one's.
    EXPECT_NEAR(loud.levels.integratedLufs, -14.0, 0.1);

    // A folder to 48 kHz MP3 (an external stand-in encoder writes its arguments).
    const std::string encoder = temp.Path() + "encoder.sh";
    const std::string script = kStandInEncoder;
    WriteFile(encoder, Bytes(script.begin(), script.end()));
    std::filesystem::permissions(encoder, std::filesystem::perms::owner_all);
    EXPECT_EQ(Run({},
                  "--resample 48000 --mp3 192 --encoder " + encoder + " --output " + outDir + " -- " + in
                      + "a.wav " + in + "b.wav"),
              0)
        << err;
    WaveFileInfo info {};
    ASSERT_GE(ProbeWaveFile(outDir + "b.wav", info), 0);
    EXPECT_EQ(info.format.sampleRate, 48000u);
    const Bytes mp3 = ReadFile(outDir + "b.MP3");
    EXPECT_EQ(std::string(mp3.begin(), mp3.end()).rfind("-e -l3 -b11 -s " + outDir + "b.wav ", 0), 0u)
        << std::string(mp3.begin(), mp3.end());

    // A dry run says what would happen and touches nothing.
    const auto before = ListFolder(outDir);
    EXPECT_EQ(Run({}, "--dry-run --rename --output " + outDir + " " + in + "loud.wav"), 0) << err;
    EXPECT_NE(out.find(in + "loud.wav: normalize to " + outDir
                       + "loud.wav (gain +6.02 dB), set the source aside as " + in + "_loud.wav\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(ListFolder(outDir), before);
    EXPECT_TRUE(Exists(in + "loud.wav"));

    // Quiet: nothing but errors.
    EXPECT_EQ(Run({}, "--quiet --output " + outDir + " " + in + "loud.wav"), 0) << err;
    EXPECT_EQ(out + err, "");
    EXPECT_EQ(Run({}, "--quiet --output " + outDir + " " + in + "loud.wav " + in + "none.wav"), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("none.wav left out"), std::string::npos) << err;
}

}  // namespace
}  // namespace orva
