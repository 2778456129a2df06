// orva-cli batch with an MP3 bitrate, end to end with either encoder kind: the in-process
// encoder finds build/libgogo.so beside the program (the key store is empty), and the
// external kind runs tools/scmpx-lame. Both leave the normalized WAV and a playable MP3.

#include "tests/encoder/mp3_frames.h"
#include "tests/encoder/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace orva {
namespace {

TEST(CliMp3Test, BatchWritesWavAndPlayableMp3WithEitherEncoder)
{
    const std::string cli = test::BuildDir() + "/orva-cli";
    if (!std::filesystem::exists(cli))
        GTEST_SKIP() << "orva-cli not built";
    const bool haveLame = std::system("command -v lame >/dev/null 2>&1") == 0;
    const std::string scmpx = std::string(ORVA_TEST_SOURCE_DIR) + "/tools/scmpx-lame";

    struct Case {
        const char* name;
        std::string encodeSection;
    };
    const Case cases[] = {
        { "gogo", "ENCODER=0\r\nOUTMODE=1\r\n" },
        { "external", "ENCODER=1\r\nOUTMODE=1\r\nPATH=" + scmpx + "\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "external" && !haveLame)
            continue;
        test::TempDir home;
        test::UseKeyStore(home, "");  // no key store: the library must be found beside orva-cli
        test::TempDir work;
        std::filesystem::create_directories(work.File("in"));
        std::filesystem::create_directories(work.File("out"));
        const long frames = 44100 * 3 / 2;
        test::WriteWav(work.File("in/song.wav"), 2, 44100, 16, frames);
        std::ofstream(work.File("ORVA.INI")) << "[ENCODE]\r\nRATE=128\r\n" << c.encodeSection;

        const std::string command = "cd '" + work.Path() + "' && '" + cli
            + "' batch --settings ORVA.INI --output out in/song.wav >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        EXPECT_TRUE(std::filesystem::exists(work.File("out/song.wav")));
        const auto mp3 = test::ReadMp3(work.File("out/song.MP3"));
        EXPECT_TRUE(mp3.valid);
        EXPECT_EQ(mp3.bitrate, 128);
        EXPECT_EQ(mp3.channelMode, 1);
        EXPECT_EQ(mp3.sampleRate, 44100);
        if (std::system("command -v mpg123 >/dev/null 2>&1") == 0) {
            const std::string decode = "mpg123 -q -w '" + work.File("decoded.wav") + "' '"
                + work.File("out/song.MP3") + "' 2>/dev/null";
            ASSERT_EQ(std::system(decode.c_str()), 0);
            EXPECT_EQ(static_cast<long>((std::filesystem::file_size(work.File("decoded.wav")) - 44) / 4),
                      frames);
        }
    }
}

}  // namespace
}  // namespace orva
