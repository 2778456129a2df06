// orva-cli settings against a real settings file.

#include "tests/settings/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/wait.h>

namespace orva {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string RunCommand(const std::string& command, int& status)
{
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, count);
        status = ::pclose(pipe);
    }
    return output;
}

TEST(SettingsCli, PrintsEveryFieldAndSavesThemBack)
{
    TempDir dir;
    const std::string ini = dir.File("my settings.ini");
    const std::string before = "[Window]\r\nForm1Left=33\r\nForm1Top=44\r\n"
                               "[ENCODE]\r\nRATE=128\r\nPATH=/opt/\x83\x5c\x83\x74\x83\x67/scmpx\r\n"
                               "[SSTP]\r\nSTATE=1\r\nPORT= 9821 \r\n";
    WriteFile(ini, before);
    const std::string command =
        std::string("cd '") + dir.path() + "' && '" ORVA_CLI_PATH "' settings --settings '" + ini + "'";
    int status = -1;
    const std::string output = RunCommand(command, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output,
              "SettingsFile=" + ini + "\nStartDirectory=" + dir.path()
                  + "\n"
                    "PeakMode=0\nSourceFileAction=0\nResampleRate=0\nMp3Bitrate=128\nEncoderKind=0\n"
                    "OutputMode=0\nUsePsy=0\nEncoderPath=/opt/ソフト/scmpx\nOutputDirMode=0\n"
                    "FixedOutputDir=\nSstpEnabled=1\n"
                    "SstpFileMessage=「$S」の正規化が終了しました！\n"
                    "SstpAllMessage=すべての正規化が終了しました！\n"
                    "SstpServer=127.0.0.1\nSstpPort=9821\nTargetMode=0\nTarget=0\nCeiling=-10\n");
    EXPECT_EQ(ReadFile(ini), before);  // printing alone writes nothing

    // Under an English locale a file without the SSTP messages starts from English ones...
    const std::string english = "export LC_ALL=en_US.UTF-8; unset LANGUAGE; " + command;
    EXPECT_NE(RunCommand(english, status)
                  .find("SstpFileMessage=Finished normalizing \"$S\"!\n"
                        "SstpAllMessage=Finished normalizing all files!\n"),
              std::string::npos);

    RunCommand(command + " --save", status);
    EXPECT_EQ(status, 0);
    const std::string after = ReadFile(ini);
    EXPECT_EQ(after.rfind("[Window]\r\nForm1Left=33\r\nForm1Top=44\r\n"
                          "[ENCODE]\r\nRATE=128\r\nPATH=/opt/\x83\x5c\x83\x74\x83\x67/scmpx\r\n",
                          0),
              0u);
    EXPECT_NE(after.find("PORT= 9821\r\n"), std::string::npos);
    EXPECT_NE(after.find("[ORVA]\r\nVERSION=1.0a\r\n"), std::string::npos);
    // ... and one that holds them keeps them.
    EXPECT_NE(RunCommand(english, status).find("SstpFileMessage=「$S」の正規化が終了しました！\n"),
              std::string::npos);

    // Without --settings the file is ./ORVA.INI where there is one, else the configuration
    // folder's; a misuse is refused.
    const std::string local = std::string("cd '") + dir.path() + "' && XDG_CONFIG_HOME='" + dir.File("config")
        + "' '" ORVA_CLI_PATH "' settings";
    EXPECT_EQ(RunCommand(local + " --save", status)
                  .rfind("SettingsFile=" + dir.File("config/orva/ORVA.INI") + "\n", 0),
              0u);
    EXPECT_EQ(status, 0);
    EXPECT_NE(ReadFile(dir.File("config/orva/ORVA.INI")).find("[SSTP]\r\n"), std::string::npos);
    WriteFile(dir.File("ORVA.INI"), "");
    EXPECT_EQ(RunCommand(local, status).rfind("SettingsFile=" + dir.File("ORVA.INI") + "\n", 0), 0u);
    // A result that cannot be written is a failure.
    RunCommand(local + " >/dev/full 2>/dev/null", status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    RunCommand(std::string("'" ORVA_CLI_PATH "' settings --bogus 2>/dev/null"), status);
    EXPECT_NE(status, 0);

    // A save that cannot replace the file is a failure, not a silent success.
    RunCommand(std::string("'" ORVA_CLI_PATH "' settings --save --settings '")
                   + dir.File("no such folder/x.ini") + "' >/dev/null 2>&1",
               status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

}  // namespace
}  // namespace orva
