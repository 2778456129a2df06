// orva-cli probe / peak / normalize / resample end to end: output lines and exit codes.

#include "tests/core/orva_cli.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orva {
namespace {

using namespace orva::test;

TEST(CliCore, Commands)
{
    if (::access(OrvaCliPath().c_str(), X_OK) != 0)
        GTEST_SKIP() << "orva-cli is not built";
    TempDir dir;
    const std::string wav = dir.Write("a b.wav", PcmWave(2, 44100, 16, Words({ 100, -16384, 8192, 0 })));
    const std::string in = "'" + wav + "' ", out = "'" + dir.File("out.wav") + "' ",
                      err = dir.File("err.txt");
    EXPECT_EQ(OrvaCli("probe " + in),
              std::pair(0,
                        std::string("result=44\nformatTag=1\nchannels=2\nsampleRate=44100\n"
                                    "avgBytesPerSec=176400\nblockAlign=4\nbitsPerSample=16\nextraSize="
                                    "0\ndataSize=8\ndataOffset=44\nformatName=PCM\nsupported=1\n"
                                    "sampleFormat=s16\nvalidBits=16\n")));
    EXPECT_EQ(OrvaCli("probe " + dir.File("none.wav")),
              std::pair(1, std::string("result=-2\nerror=ファイルが開けません\n")));

    EXPECT_EQ(OrvaCli("peak " + in), std::pair(0, std::string("peak=16384\npeakDbfs=-6.02\n")));
    EXPECT_EQ(OrvaCli("normalize " + in + out).first, 0);
    EXPECT_EQ(OrvaCli("peak " + out).second, "peak=32767\npeakDbfs=0.00\n");
    EXPECT_EQ(OrvaCli("normalize " + in + out + "--peak 32767").first, 0);
    EXPECT_EQ(ReadFile(dir.File("out.wav")), ReadFile(wav));
    EXPECT_EQ(OrvaCli("normalize " + in + out + "--peak 0").first, 2);
    EXPECT_EQ(OrvaCli("normalize " + in + dir.File("no/dir/x.wav"), err).first, 1);
    const Bytes message = ReadFile(err);
    EXPECT_EQ(std::string(message.begin(), message.end()),
              "ﾌｧｲﾙを正常に作成できません。(" + dir.File("no/dir/x.wav") + ")\n");
    EXPECT_EQ(OrvaCli("peak " + dir.File("gone.wav")), std::pair(1, std::string()));

    // Outside Japanese locales the reasons and messages are English; the keys never change.
    const std::string english = "env -u LANGUAGE LC_ALL=en_US.UTF-8 ";
    EXPECT_EQ(OrvaCli("probe " + dir.File("none.wav"), "/dev/null", english),
              std::pair(1, std::string("result=-2\nerror=the file cannot be opened\n")));
    EXPECT_EQ(OrvaCli("normalize " + in + dir.File("no/dir/x.wav"), err, english).first, 1);
    const Bytes englishMessage = ReadFile(err);
    EXPECT_EQ(std::string(englishMessage.begin(), englishMessage.end()),
              "The file cannot be created properly. (" + dir.File("no/dir/x.wav") + ")\n");

    EXPECT_EQ(OrvaCli("resample " + in + out + "22050").first, 0);
    EXPECT_NE(OrvaCli("probe " + out).second.find("sampleRate=22050\navgBytesPerSec=88200\nblockAlign=4\n"),
              std::string::npos);
    EXPECT_EQ(OrvaCli("resample " + in + out + "fast").first, 2);

    // An RF64 file converts and normalizes to a target like any other.
    Bytes rf64 = { 'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E' };
    Bytes ds64;
    for (const uint64_t size : { uint64_t(4 + 36 + 24 + 24), uint64_t(16), uint64_t(4) }) {
        Put32(ds64, uint32_t(size));
        Put32(ds64, uint32_t(size >> 32));
    }
    Put32(ds64, 0);
    AddChunk(rf64, "ds64", ds64);
    AddChunk(rf64, "fmt ", FmtBody(1, 2, 44100, 16));
    AddChunk(rf64, "data", Words({ 100, -16384, 8192, 0, 5, 6, 7, 8 }), 0xFFFFFFFF);
    const std::string rf64Path = "'" + dir.Write("rf64.wav", rf64) + "' ";
    EXPECT_EQ(OrvaCli("resample " + rf64Path + out + "22050", err).first, 0);
    EXPECT_EQ(OrvaCli("normalize " + rf64Path + out + "--mode sample --target -1", err).first, 0);

    // A name's control characters reach the terminal escaped.
    EXPECT_EQ(OrvaCli("resample '" + dir.File("e\x1b[2J.wav") + "' " + out + "22050", err).first, 1);
    const Bytes escaped = ReadFile(err);
    EXPECT_EQ(std::string(escaped.begin(), escaped.end()).rfind(dir.File("e\\x1b[2J.wav: "), 0), 0u);

    // A result that cannot be written fails the command.
    for (const std::string& command : { "probe " + in, "peak " + in, "analyze " + in })
        EXPECT_EQ(OrvaCli(command + ">/dev/full", err).first, 1) << command;

    // Samples the list marks unsupported are refused, not read as 16-bit words.
    Bytes chunks;
    AddChunk(chunks, "fmt ", FmtBody(1, 2, 44100, 20));
    AddChunk(chunks, "data", Bytes(60, 1));
    const std::string wide = "'" + dir.Write("wide.wav", Riff(chunks)) + "' ";
    for (const std::string& command : { "peak " + wide, "normalize " + wide + out + "--peak 9" }) {
        EXPECT_EQ(OrvaCli(command, err), std::pair(1, std::string())) << command;
        const Bytes reason = ReadFile(err);
        EXPECT_NE(std::string(reason.begin(), reason.end()).find("unsupported format (PCM, 20 bit)"),
                  std::string::npos);
    }

    // Bytes after the RIFF form are reported; ordinary files print no such line (above).
    Bytes tagged = ReadFile(wav);
    tagged.insert(tagged.end(), 300, 'T');
    EXPECT_NE(OrvaCli("probe '" + dir.Write("tagged.wav", tagged) + "'")
                  .second.find("validBits=16\ntrailingBytes=300\n"),
              std::string::npos);
    // Headers of absurd channel counts are refused with their reason by every command, never
    // aborting or growing with the count: 65,534 channels, and 32,769 over 80 KB of samples.
    Bytes many, wider;
    AddChunk(many, "fmt ", FmtBody(1, 65534, 44100, 16));
    AddChunk(many, "data", Bytes(1024, 1));
    AddChunk(wider, "fmt ", FmtBody(1, 32769, 44100, 16));
    AddChunk(wider, "data", Bytes(80000, 1));
    for (const std::string& file :
         { dir.Write("many.wav", Riff(many)), dir.Write("wider.wav", Riff(wider)) }) {
        EXPECT_EQ(OrvaCli("probe " + file),
                  std::pair(1, std::string("result=-14\nerror=チャンネル数が多すぎます\n")));
        EXPECT_EQ(OrvaCli("peak " + file, err).first, 1);
        for (const std::string& command :
             { "analyze " + file, "normalize " + file + " " + out + "--mode true",
               "normalize " + file + " " + out + "--mode loudness --target -23" }) {
            EXPECT_EQ(OrvaCli(command, err).first, 1) << command;
            const Bytes reason = ReadFile(err);
            EXPECT_NE(std::string(reason.begin(), reason.end()).find("チャンネル数が多すぎます"),
                      std::string::npos)
                << command;
        }
    }
}

// A read error (injected with strace where it runs) fails the command and leaves no output;
// a kill in the middle of the write leaves nothing under the output's name.
TEST(CliCore, ReadErrorsAndKillsLeaveNoOutput)
{
    if (::access(OrvaCliPath().c_str(), X_OK) != 0)
        GTEST_SKIP() << "orva-cli is not built";
    TempDir dir;
    std::vector<int> words(3000000);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = int(i % 2000) - 1000;
    const Bytes source = PcmWave(2, 44100, 16, Words(words));
    const std::string wav = dir.Write("in.wav", source), out = dir.File("out.wav");
    // Large enough to be read ahead on a second thread while it is normalized.
    words.resize(9000000);
    const std::string large = dir.Write("large.wav", PcmWave(2, 44100, 16, Words(words)));

    if (std::system("strace -o /dev/null true >/dev/null 2>&1") == 0) {
        // Reads of the source: the format check, the command's probe, then the header or samples.
        // strace counts each thread's reads: the 20th of the large file is its reader's 20th.
        const struct {
            const char* command;
            int failingRead;
            bool large;
        } cases[] = {
            { "peak", 3, false },
            { "peak", 5, false },
            { "normalize", 3, false },
            { "normalize --peak 1000", 3, false },
            { "normalize --peak 1000", 4, false },
            { "normalize --peak 1000", 10, false },
            { "normalize --peak 1000", 20, true },
            { "resample 22050", 3, false },
        };
        for (const auto& c : cases) {
            std::string command = c.command;
            const auto space = command.find(' ');
            const std::string verb = command.substr(0, space);
            const std::string rest = space == std::string::npos ? "" : command.substr(space);
            const std::string file = c.large ? large : wav;
            const std::string args = verb + " " + file + (verb == "peak" ? "" : " " + out) + rest;
            const std::string line = "strace -f -o /dev/null -P " + file
                + " -e trace=read -e inject=read:error=EIO:when=" + std::to_string(c.failingRead) + " "
                + OrvaCliPath() + " " + args + " 2>" + dir.File("err.txt");
            const int status = std::system(line.c_str());
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << line;
            EXPECT_FALSE(std::filesystem::exists(out)) << line;
            const Bytes message = ReadFile(dir.File("err.txt"));
            if (verb != "resample") {
                EXPECT_NE(std::string(message.begin(), message.end())
                              .find("ﾌｧｲﾙを正常に読み込めません。(" + file + ")"),
                          std::string::npos)
                    << line;
            }
        }
    }

    // The kill comes once the output file is open (found among the child's descriptors).
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string program = OrvaCliPath();
        ::execl(program.c_str(), program.c_str(), "normalize", wav.c_str(), out.c_str(), "--peak", "1000",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    bool killed = false;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        std::error_code error;
        for (const auto& fd :
             std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/fd", error)) {
            const auto target = std::filesystem::read_symlink(fd.path(), error).string();
            if (!killed && target.rfind(dir.File(""), 0) == 0 && target != wav) {
                ::kill(child, SIGKILL);
                killed = true;
            }
        }
    }
    if (WIFSIGNALED(status)) {
        EXPECT_FALSE(std::filesystem::exists(out));
    } else {
        EXPECT_EQ(std::filesystem::file_size(out), source.size());  // finished before the kill
    }
    EXPECT_EQ(ReadFile(wav), source);
}

TEST(CliCore, WideAndFloatFormats)
{
    if (::access(OrvaCliPath().c_str(), X_OK) != 0)
        GTEST_SKIP() << "orva-cli is not built";
    TempDir dir;
    // Extensible 24-bit stereo, 20 valid bits; 32-bit float; 64-bit float; silent float.
    Bytes ext = FmtBody(0xFFFE, 2, 48000, 24, 18, 22);
    Put16(ext, 20), Put32(ext, 3), Put16(ext, 1), Put16(ext, 0);
    ext.insert(ext.end(), { 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 });
    Bytes chunks;
    AddChunk(chunks, "fmt ", ext);
    AddChunk(chunks, "data", { 0x00, 0x00, 0x40, 0x00, 0x00, 0xC0 });  // +2^22, -2^22
    const std::string s24 = dir.Write("s24.wav", Riff(chunks));
    const auto floatWave = [&](const char* name, uint16_t bits, std::vector<double> values) {
        Bytes data, body;
        for (double v : values) {
            const float f = float(v);
            const auto* p =
                bits == 32 ? reinterpret_cast<const uint8_t*>(&f) : reinterpret_cast<const uint8_t*>(&v);
            data.insert(data.end(), p, p + bits / 8);
        }
        AddChunk(body, "fmt ", FmtBody(3, 1, 8000, bits));
        AddChunk(body, "data", data);
        return dir.Write(name, Riff(body));
    };
    const std::string f32 = floatWave("f32.wav", 32, { 0.1, -0.3 }),
                      f64 = floatWave("f64.wav", 64, { 0.1, -0.3 }),
                      silent = floatWave("silent.wav", 32, { 0.0, -0.0 });
    const std::string out = dir.File("out.wav");

    const std::string probe = OrvaCli("probe " + s24).second;
    EXPECT_NE(probe.find("formatName=Extensible\nsupported=1\nsampleFormat=s24\nvalidBits=20\nsubFormat=1\n"
                         "channelMask=0x3\n"),
              std::string::npos)
        << probe;
    EXPECT_NE(OrvaCli("probe " + f64).second.find("sampleFormat=f64\nvalidBits=64\n"), std::string::npos);
    EXPECT_EQ(
        OrvaCli("probe --json " + s24).second,
        "{\"file\":\"" + s24
            + R"(","result":66,"formatTag":65534,"channels":2,"sampleRate":48000,"avgBytesPerSec":288000,)"
              R"("blockAlign":6,"bitsPerSample":24,"extraSize":22,"dataSize":6,"dataOffset":68,)"
              R"("formatName":"Extensible","supported":true,"sampleFormat":"s24","validBits":20,)"
              R"("subFormat":1,"channelMask":3})"
              "\n");
    // 8-bit: the 0x00 byte is 128 below the midpoint, full scale and no more.
    const std::string u8 = dir.Write("u8.wav", PcmWave(1, 8000, 8, { 0x80, 0x00, 0xC0 }));
    struct Case {
        std::string file, peak, json;  // json: the object after its "file" member
    } cases[] = {
        { s24, "peak=4194304\npeakDbfs=-6.02\n", R"("peak":4194304,"peakDbfs":-6.02})" },
        { f32, "peak=0.300000012\npeakDbfs=-10.46\n", R"("peak":0.300000012,"peakDbfs":-10.46})" },
        { f64, "peak=0.29999999999999999\npeakDbfs=-10.46\n",
          R"("peak":0.29999999999999999,"peakDbfs":-10.46})" },
        { u8, "peak=128\npeakDbfs=0.00\n", R"("peak":128,"peakDbfs":0.00})" },
        { silent, "peak=0\npeakDbfs=-inf\n",
          R"("peak":0,"peakDbfs":null,"nullReasons":{"peakDbfs":"silent"}})" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OrvaCli("peak " + c.file), std::pair(0, c.peak)) << c.file;
        EXPECT_EQ(OrvaCli("peak --json " + c.file),
                  std::pair(0, "{\"file\":\"" + c.file + "\"," + c.json + "\n"));
        ASSERT_EQ(OrvaCli("normalize " + c.file + " " + out).first, 0) << c.file;
    }
    EXPECT_EQ(OrvaCli("peak " + out).second, "peak=0\npeakDbfs=-inf\n");
    // JSON strings: quotes, backslashes and control characters escaped; bytes that are not
    // UTF-8 (a lone 0xFF, a cut sequence) become U+FFFD, and UTF-8 stays as it is.
    const std::string odd =
        dir.Write("q\"\\\x01\xff\xe3\x81\xe3\x81\x82.wav", PcmWave(1, 8000, 8, { 0x80, 0xC0 }));
    EXPECT_EQ(OrvaCli("peak --json '" + odd + "'").second,
              "{\"file\":\"" + dir.File("") + R"(q\"\\\u0001\ufffd\ufffd\ufffd)" + "\xe3\x81\x82"
                  + R"(.wav","peak":64,"peakDbfs":-6.02})" + "\n");
    // A decimal peak for float files; the loudest sample then stops at full scale.
    EXPECT_EQ(OrvaCli("normalize " + f64 + " " + out + " --peak 0.15").first, 0);
    EXPECT_EQ(OrvaCli("peak " + out).second, "peak=1\npeakDbfs=0.00\n");
    EXPECT_EQ(OrvaCli("normalize " + f32 + " " + out + " --peak 0").first, 2);
    EXPECT_EQ(OrvaCli("normalize " + s24 + " " + out + " --peak 8388608").first, 0);
    EXPECT_EQ(OrvaCli("normalize " + s24 + " " + out + " --peak 8388609").first, 2);
}

}  // namespace
}  // namespace orva
