#include "settings/settings_store.h"

#include "settings/profile.h"
#include "settings/sjis.h"
#include "tests/settings/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

namespace orva {
namespace {

using test::ReadFile;
using test::WriteFile;

/// A window double on a 1024x768 screen that records where it was moved.
class FakeWindow final : public PositionedWindow {
public:
    int Top() const override { return top; }
    int Left() const override { return left; }
    bool IsMinimized() const override { return minimized; }
    int NormalTop() const override { return normalTop; }
    int NormalLeft() const override { return normalLeft; }
    int ScreenWidth() const override { return 1024; }
    int ScreenHeight() const override { return 768; }
    void Move(int newTop, int newLeft) override { top = newTop, left = newLeft, moved = true; }

    int top = 10, left = 20;
    bool minimized = false;
    int normalTop = 0, normalLeft = 0;
    bool moved = false;
};

/// Every stored field, one per line, for comparing whole records.
std::string Dump(const Settings& s)
{
    std::ostringstream out;
    out << s.PeakMode << ' ' << s.SourceFileAction << ' ' << s.ResampleRate << ' ' << s.Mp3Bitrate << ' '
        << s.EncoderKind << ' ' << s.OutputMode << ' ' << s.UsePsy << ' ' << s.OutputDirMode << ' '
        << s.SstpEnabled << "\n"
        << s.EncoderPath << "\n"
        << s.FixedOutputDir << "\n"
        << s.SstpFileMessage << "\n"
        << s.SstpAllMessage << "\n"
        << s.SstpServer << "\n"
        << s.SstpPort << "\n"
        << s.TargetMode << ' ' << s.Target << ' ' << s.Ceiling;
    return out.str();
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { IniFilePath = dir.File("ORVA.INI"); }
    void TearDown() override { IniFilePath.clear(); }

    test::TempDir dir;
};

/// Sets (or, for null, removes) an environment variable for one scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Which file is used when none is named: the current folder's where it exists, else the
// user's configuration folder.
TEST_F(SettingsStoreTest, DefaultFileIsTheLocalOneOrTheConfigFolders)
{
    struct Case {
        bool localFile;
        const char* xdgConfigHome;  // relative to dir, "" unset, "rel" relative (ignored)
        const char* expected;       // relative to dir
    };
    const Case cases[] = {
        { true, "xdg", "work/ORVA.INI" },
        { false, "xdg", "xdg/orva/ORVA.INI" },
        { false, "", "home/.config/orva/ORVA.INI" },
        { false, "rel", "home/.config/orva/ORVA.INI" },
    };
    const auto previous = std::filesystem::current_path();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::filesystem::create_directories(dir.File("work"));
        std::filesystem::remove(dir.File("work/ORVA.INI"));
        if (c.localFile)
            WriteFile(dir.File("work/ORVA.INI"), "");
        const std::string xdg = std::string(c.xdgConfigHome) == "rel" ? "rel/config"
            : *c.xdgConfigHome != '\0'                                ? dir.File(c.xdgConfigHome)
                                                                      : "";
        ScopedVariable home("HOME", dir.File("home").c_str());
        ScopedVariable config("XDG_CONFIG_HOME", xdg.empty() ? nullptr : xdg.c_str());
        std::filesystem::current_path(dir.File("work"));
        IniFilePath.clear();
        EXPECT_EQ(SettingsFilePath(), dir.File(c.expected));
        // The first save makes the configuration folder; the current folder gets nothing.
        EXPECT_TRUE(SaveSettings(Settings(), nullptr));
        std::filesystem::current_path(previous);
        EXPECT_NE(ReadFile(dir.File(c.expected)).find("[Mathod]"), std::string::npos);
        EXPECT_EQ(std::filesystem::exists(dir.File("work/ORVA.INI")), c.localFile);
    }
    // A file named elsewhere gets no folders made for it.
    IniFilePath = dir.File("none/ORVA.INI");
    EXPECT_FALSE(SaveSettings(Settings(), nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir.File("none")));
}

TEST_F(SettingsStoreTest, FirstStartGivesDefaultsAndCloseWritesEveryKeyInOrder)
{
    IniFilePath.clear();  // the default: the configuration folder's ORVA.INI
    ScopedVariable config("XDG_CONFIG_HOME", dir.path().c_str());
    Settings settings;
    settings.PeakMode = 5;
    settings.EncoderPath = "left over";
    FakeWindow window;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    LoadSettings(settings, &window);
    std::filesystem::current_path(previous);
    EXPECT_EQ(IniFilePath, dir.File("orva/ORVA.INI"));
    EXPECT_EQ(settings.StartDirectory, dir.path());
    EXPECT_EQ(Dump(settings), Dump(Settings()));
    EXPECT_FALSE(window.moved);

    SaveSettings(settings, &window);
    EXPECT_EQ(ReadFile(IniFilePath),
              "[ORVA]\r\nVERSION=1.0a\r\n"
              "[Window]\r\nForm1Top=10\r\nForm1Left=20\r\n"
              "[Mathod]\r\nCONVERT=0\r\nDELETE=0\r\nSAMPLE=0\r\n"
              "[ENCODE]\r\nRATE=0\r\nOUTMODE=0\r\nPSY=0\r\nENCODER=0\r\nPATH=\r\n"
              "[WDIR]\r\nSTATE=0\r\nPATH=\r\n"
              "[SSTP]\r\nSTATE=0\r\n"
              "ONE=\x81\x75$S\x81\x76\x82\xcc\x90\xb3\x8b\x4b\x89\xbb\x82\xaa\x8f\x49\x97\xb9"
              "\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49\r\n"
              "ALL=\x82\xb7\x82\xd7\x82\xc4\x82\xcc\x90\xb3\x8b\x4b\x89\xbb\x82\xaa\x8f\x49\x97\xb9"
              "\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49\r\n"
              "SERVER=127.0.0.1\r\nPORT=9801\r\n");
}

TEST_F(SettingsStoreTest, EveryFieldRoundTrips)
{
    const Settings saved { "",
                           1,
                           2,
                           44100,
                           320,
                           1,
                           3,
                           1,
                           "/opt/scmpx/SCMPX.EXE",
                           1,
                           "/home/ユーザー/音楽 (出力)",
                           1,
                           "\"$S\" です",
                           "",
                           " mascot.local",
                           "-1" };
    SaveSettings(saved, nullptr);
    Settings loaded;
    LoadSettings(loaded, nullptr);
    EXPECT_EQ(Dump(loaded), Dump(saved));  // an empty text stays empty, not the default
    // No window: a missing main-window position is written as "missing".
    EXPECT_NE(ReadFile(IniFilePath).find("[Window]\r\nForm1Top=-1\r\nForm1Left=-1\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, AWindowsFileIsReadAndRewrittenWithItsOtherContentIntact)
{
    const std::string head = "; written by hand\r\n"
                             "[Window]\r\nForm4Top=5\r\nForm4Left=6\r\nForm1Top=100\r\nForm1Left=200\r\n";
    WriteFile(IniFilePath,
              head
                  + "[mathod]\r\nconvert = 1\r\nSample=\"22050\"\r\n"
                    "[SSTP]\r\nState=1\r\nONE=\x8c\xdf\x8c\xe3\x82\xcc$S\x81\x60\r\nPort=9821abc\r\n"
                    "[Other]\r\nKey=value\r\n");
    Settings settings;
    FakeWindow window;
    LoadSettings(settings, &window);
    Settings expected;
    expected.PeakMode = 1;
    expected.ResampleRate = 22050;
    expected.SstpEnabled = 1;
    expected.SstpFileMessage = "午後の$S～";
    expected.SstpPort = "9821abc";
    EXPECT_EQ(Dump(settings), Dump(expected));
    EXPECT_TRUE(window.moved);
    EXPECT_EQ(window.top, 100);
    EXPECT_EQ(window.left, 200);

    settings.SourceFileAction = 0;
    window.top = 150;
    SaveSettings(settings, &window);
    std::string after = head
        + "[mathod]\r\nconvert = 1\r\nSample=22050\r\nDELETE=0\r\n"
          "[SSTP]\r\nState=1\r\nONE=\x8c\xdf\x8c\xe3\x82\xcc$S\x81\x60\r\nPort=9821abc\r\n"
          "ALL="
        + ToShiftJis(expected.SstpAllMessage)
        + "\r\nSERVER=127.0.0.1\r\n"
          "[Other]\r\nKey=value\r\n"
          "[ORVA]\r\nVERSION=1.0a\r\n"
          "[ENCODE]\r\nRATE=0\r\nOUTMODE=0\r\nPSY=0\r\nENCODER=0\r\nPATH=\r\n"
          "[WDIR]\r\nSTATE=0\r\nPATH=\r\n";
    after.replace(after.find("Form1Top=100"), 12, "Form1Top=150");
    EXPECT_EQ(ReadFile(IniFilePath), after);
}

TEST_F(SettingsStoreTest, TargetLevelsTakeTheModesDefaultsAndRanges)
{
    struct Case {
        const char* mathod;
        int mode, target, ceiling;
    };
    const Case cases[] = {
        { "", 0, 0, -10 },
        { "TARGETMODE=1\r\n", 1, -10, -10 },
        { "TARGETMODE=2\r\n", 2, -230, -10 },
        { "TARGETMODE=2\r\nTARGET=-140\r\nCEILING=-20\r\n", 2, -140, -20 },
        { "TARGETMODE=2\r\nTARGET=0\r\nCEILING=15\r\n", 2, -50, 0 },
        { "TARGETMODE=2\r\nTARGET=-900\r\nCEILING=-999\r\n", 2, -500, -300 },
        { "TARGETMODE=0\r\nTARGET=30\r\n", 0, 0, -10 },
        { "TARGETMODE=1\r\nTARGET=-301\r\n", 1, -300, -10 },
        { "TARGETMODE=7\r\n", 2, -230, -10 },
        { "TARGETMODE=-3\r\nTARGET=-55\r\n", 0, -55, -10 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mathod);
        WriteFile(IniFilePath, std::string("[Mathod]\r\n") + c.mathod);
        Settings settings;
        LoadSettings(settings, nullptr);
        EXPECT_EQ(settings.TargetMode, c.mode);
        EXPECT_EQ(settings.Target, c.target);
        EXPECT_EQ(settings.Ceiling, c.ceiling);
    }

    // Saved at the end of [Mathod] once chosen, and kept there when set back.
    WriteFile(IniFilePath, "[Mathod]\r\nCONVERT=1\r\n[SSTP]\r\nSTATE=0\r\n");
    Settings settings;
    settings.TargetMode = 2, settings.Target = -160, settings.Ceiling = -20;
    SaveSettings(settings, nullptr);
    EXPECT_NE(ReadFile(IniFilePath)
                  .find("[Mathod]\r\nCONVERT=0\r\nDELETE=0\r\nSAMPLE=0\r\n"
                        "TARGETMODE=2\r\nTARGET=-160\r\nCEILING=-20\r\n[SSTP]"),
              std::string::npos);
    SaveSettings(Settings(), nullptr);
    EXPECT_NE(ReadFile(IniFilePath).find("TARGETMODE=0\r\nTARGET=0\r\nCEILING=-10\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, TextsOfUpTo255BytesComeBackWhole)
{
    // "a" and 127 double-byte characters: 255 bytes ending on a double-byte character.
    std::string longest = "a";
    for (int i = 0; i < 127; ++i)
        longest += "ソ";
    Settings saved;
    saved.SstpAllMessage = longest;
    saved.SstpFileMessage = longest + "b";  // one byte too long: cut on saving
    SaveSettings(saved, nullptr);
    const std::string file = ReadFile(IniFilePath);
    Settings loaded;
    LoadSettings(loaded, nullptr);
    EXPECT_EQ(loaded.SstpAllMessage, longest);
    EXPECT_EQ(loaded.SstpFileMessage, longest);
    SaveSettings(loaded, nullptr);
    EXPECT_EQ(ReadFile(IniFilePath), file);  // byte for byte

    // A longer value written by someone else is cut at a character boundary.
    std::string tooLong = "[SSTP]\r\nALL=";
    for (int i = 0; i < 200; ++i)
        tooLong += "\x83\x5c";
    WriteFile(IniFilePath, tooLong + "\r\n");
    LoadSettings(loaded, nullptr);
    EXPECT_EQ(ToShiftJis(loaded.SstpAllMessage), tooLong.substr(12, 254));
}

TEST_F(SettingsStoreTest, TextsThatCp932LacksSwitchTheFileToUtf8)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string comment = "; \x8e\x9e\x8a\xd4\r\n";  // "時間" in CP932, someone else's line
    struct Case {
        std::string encoderPath, outputDir;
        bool utf8;  ///< the file after the save
    };
    const Case cases[] = {
        { "/home/josé/enc/scmpx", "/srv/Café-out", true },
        { "/opt/enc", "/home/😀", true },
        { "/opt/ソ表～", "/home/ユーザー", false },  // CP932 holds all of it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoderPath);
        WriteFile(IniFilePath, comment + "[Other]\r\nKey=\x95\x5c\r\n");
        Settings saved;
        saved.EncoderPath = c.encoderPath;
        saved.FixedOutputDir = c.outputDir;
        SaveSettings(saved, nullptr);
        const std::string file = ReadFile(IniFilePath);
        EXPECT_EQ(file.rfind(c.utf8 ? bom + "; 時間\r\n[Other]\r\nKey=表\r\n" : comment, 0), 0u);
        Settings loaded;
        LoadSettings(loaded, nullptr);
        EXPECT_EQ(Dump(loaded), Dump(saved));

        // Once UTF-8, always UTF-8: a save with CP932 texts only keeps the file as it is.
        SaveSettings(loaded, nullptr);
        EXPECT_EQ(ReadFile(IniFilePath), file);
        loaded.EncoderPath = "/opt/enc";
        loaded.FixedOutputDir = "/opt/out";
        SaveSettings(loaded, nullptr);
        EXPECT_EQ(ReadFile(IniFilePath).rfind(bom, 0) == 0, c.utf8);
    }

    // A UTF-8 file written by hand is read as UTF-8, its texts cut as CP932 would count them.
    std::string longest;
    for (int i = 0; i < 130; ++i)
        longest += "é";
    WriteFile(IniFilePath, bom + "[ENCODE]\nPATH=/home/josé/enc\n[SSTP]\nONE=" + longest + "\n");
    Settings loaded;
    LoadSettings(loaded, nullptr);
    EXPECT_EQ(loaded.EncoderPath, "/home/josé/enc");
    EXPECT_EQ(loaded.SstpFileMessage, longest);  // 130 characters: 130 bytes as CP932 counts
}

TEST_F(SettingsStoreTest, WindowPositionIsRestoredOnlyWhenUsable)
{
    struct Case {
        std::optional<const char*> top, left;
        bool applied;
    };
    const Case cases[] = {
        { "100", "200", true }, { "100", std::nullopt, false }, { std::nullopt, "200", false },
        { "-1", "200", false }, { "100", "-1", false },         { "-5", "-7", true },
        { "752", "0", false },  { "751", "0", true },   // screen height 768 - 16
        { "0", "1008", false }, { "0", "1007", true },  // screen width 1024 - 16
        { "abc", "0", true },
    };
    for (const auto& c : cases) {
        std::string text = "[Window]\n";
        if (c.top)
            text += std::string("Form2Top=") + *c.top + "\n";
        if (c.left)
            text += std::string("Form2Left=") + *c.left + "\n";
        WriteFile(IniFilePath, text);
        FakeWindow window;
        RestoreWindowPosition(window, "Form2Top", "Form2Left");
        EXPECT_EQ(window.moved, c.applied) << text;
        if (c.applied && window.moved) {
            EXPECT_EQ(window.top, ParseProfileInt(*c.top));
            EXPECT_EQ(window.left, ParseProfileInt(*c.left));
        }
    }
}

TEST_F(SettingsStoreTest, PositionsAreSavedWithTheNormalPlacementAndNeverIntoAReadOnlyFile)
{
    // A minimized dialog closed first in a fresh file: the main window's keys join its section.
    FakeWindow dialog;
    dialog.minimized = true;
    dialog.normalTop = -30;
    dialog.normalLeft = 40;
    SaveWindowPosition(dialog, "Form4Top", "Form4Left");
    FakeWindow main;
    SaveSettings(Settings(), &main);
    EXPECT_EQ(ReadFile(IniFilePath)
                  .rfind("[Window]\r\nForm4Top=-30\r\nForm4Left=40\r\nForm1Top=10\r\n"
                         "Form1Left=20\r\n[ORVA]\r\nVERSION=1.0a\r\n[Mathod]\r\n",
                         0),
              0u);

    WriteFile(IniFilePath, "[Mathod]\r\nCONVERT=1\r\n");
    std::filesystem::permissions(IniFilePath, std::filesystem::perms::owner_read);
    SaveSettings(Settings(), &main);
    SaveWindowPosition(main, "Form5Top", "Form5Left");
    EXPECT_EQ(ReadFile(IniFilePath), "[Mathod]\r\nCONVERT=1\r\n");
}

}  // namespace
}  // namespace orva
