// orva-cli probe / peak / normalize / resample end to end: output lines and exit codes.

#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace orva {
namespace {

using namespace orva::test;

// The program under test: in ORVA_BUILD_DIR, or beside the tests folder the tests run in.
std::string OrvaCliPath()
{
    const char* buildDir = std::getenv("ORVA_BUILD_DIR");
    return std::string(buildDir && *buildDir ? buildDir : "..") + "/orva-cli";
}

// Runs orva-cli with arguments for the shell; returns the exit code and stdout.
std::pair<int, std::string> OrvaCli(const std::string& args, const std::string& errFile = "/dev/null")
{
    FILE* pipe = ::popen((OrvaCliPath() + " " + args + " 2>" + errFile).c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, out };
}

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
                                    "0\ndataSize=8\ndataOffset=44\nformatName=PCM\nsupported=1\n")));
    EXPECT_EQ(OrvaCli("probe " + dir.File("none.wav")),
              std::pair(1, std::string("result=-2\nerror=ファイルが開けません\n")));

    EXPECT_EQ(OrvaCli("peak " + in), std::pair(0, std::string("peak=16384\n")));
    EXPECT_EQ(OrvaCli("normalize " + in + out).first, 0);
    EXPECT_EQ(OrvaCli("peak " + out).second, "peak=32767\n");
    EXPECT_EQ(OrvaCli("normalize " + in + out + "--peak 32767").first, 0);
    EXPECT_EQ(ReadFile(dir.File("out.wav")), ReadFile(wav));
    EXPECT_EQ(OrvaCli("normalize " + in + out + "--peak 0").first, 2);
    EXPECT_EQ(OrvaCli("normalize " + in + dir.File("no/dir/x.wav"), err).first, 1);
    const Bytes message = ReadFile(err);
    EXPECT_EQ(std::string(message.begin(), message.end()),
              "ﾌｧｲﾙを正常に作成できません。(" + dir.File("no/dir/x.wav") + ")\n");
    EXPECT_EQ(OrvaCli("peak " + dir.File("gone.wav")), std::pair(1, std::string()));

    EXPECT_EQ(OrvaCli("resample " + in + out + "22050").first, 0);
    EXPECT_NE(OrvaCli("probe " + out).second.find("sampleRate=22050\navgBytesPerSec=88200\nblockAlign=4\n"),
              std::string::npos);
    EXPECT_EQ(OrvaCli("resample " + in + out + "fast").first, 2);
}

}  // namespace
}  // namespace orva
