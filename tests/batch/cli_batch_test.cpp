// `orva-cli batch` end to end: real folders, a settings file of the test's own, SSTP to a
// loopback server, an external encoder, and the exit codes.

#include "test_support.h"
#include "tests/notify/loopback_server.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

namespace orva {
namespace {

using namespace test;
using Names = std::vector<std::string>;

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
    int Run(const Names& ini, const std::string& arguments)
    {
        std::string text;
        for (const auto& line : ini)
            text += line + "\r\n";
        WriteFile(m_ini, Bytes(text.begin(), text.end()));
        const std::string command = m_cli + " batch --settings " + m_ini + " " + arguments + " >"
            + temp.Path() + "stdout 2>" + temp.Path() + "stderr </dev/null";
        const int status = std::system(command.c_str());
        const Bytes outBytes = ReadFile(temp.Path() + "stdout");
        const Bytes errBytes = ReadFile(temp.Path() + "stderr");
        out.assign(outBytes.begin(), outBytes.end());
        err.assign(errBytes.begin(), errBytes.end());
        EXPECT_EQ(ReadFile(m_ini), Bytes(text.begin(), text.end()));  // never written
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    // A stand-in for the external encoder that writes its arguments into the destination.
    const std::string encoder = temp.Path() + "encoder.sh";
    const std::string script = "#!/bin/sh\nfor last; do :; done\necho \"$*\" > \"$last\"\n";
    WriteFile(encoder, Bytes(script.begin(), script.end()));
    std::filesystem::permissions(encoder, std::filesystem::perms::owner_all);
    WriteFile(in + "notes.txt", { 'x' });

    EXPECT_EQ(Run({ "[Mathod]", "DELETE=1", "[ENCODE]", "RATE=192", "ENCODER=1", "OUTMODE=1",
                    "PATH=" + encoder, "[SSTP]", "STATE=1", "PORT=" + std::to_string(server.port()) },
                  "--output " + in + " " + in + "a.wav " + in + "b.wav " + in + "notes.txt"),
              0)
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
    EXPECT_NE(requests[0].find("a.wav"), std::string::npos);
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

}  // namespace
}  // namespace orva
