#include "settings/profile.h"

#include "tests/settings/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace orva {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// How the Windows profile functions leave a file: CRLF, upper-case keys; plus what users
// and other programs add by hand (comments, blanks, quotes, other letter cases).
const std::string kWindowsFile = "; ORVA settings\r\n"
                                 "[ORVA]\r\n"
                                 "VERSION=1.0a\r\n"
                                 "\r\n"
                                 "[window]\r\n"
                                 "form1top = 120 \r\n"
                                 "Form1Left=\"-5\"\r\n"
                                 "[Mathod]\r\n"
                                 "CONVERT=1\r\n"
                                 "; DELETE=2\r\n"
                                 "SAMPLE=44100Hz\r\n"
                                 "\r\n"
                                 "[SSTP]\r\n"
                                 "SERVER = ' spaced host '\r\n"
                                 "ONE=\"unbalanced\r\n"
                                 "Extra=kept\r\n"
                                 "\r\n"
                                 "[mathod]\r\n"
                                 "DELETE=9\r\n";

TEST(ProfileFile, ReadsFilesOfTheWindowsProfileFunctions)
{
    TempDir dir;
    const std::string path = dir.File("ORVA.INI");
    WriteFile(path, kWindowsFile);
    const ProfileFile file(path);

    struct IntCase {
        const char* section;
        const char* key;
        int expected;
    };
    const IntCase ints[] = {
        { "Window", "Form1Top", 120 },  // names match in any letter case, blanks trimmed
        { "WINDOW", "FORM1LEFT", -5 },  // quotes removed before the number is read
        { "Mathod", "CONVERT", 1 },    { "Mathod", "SAMPLE", 44100 },  // leading number
        { "Mathod", "DELETE", 77 },  // a comment is no key; only the first "Mathod" counts
        { "ORVA", "VERSION", 1 },      { "SSTP", "ONE", 0 },  // no number
        { "Nowhere", "CONVERT", 77 },
    };
    for (const auto& c : ints)
        EXPECT_EQ(file.GetInt(c.section, c.key, 77), c.expected) << c.section << "/" << c.key;

    EXPECT_EQ(file.GetString("sstp", "server", "x"), " spaced host ");
    EXPECT_EQ(file.GetString("SSTP", "ONE", "x"), "\"unbalanced");
    EXPECT_EQ(file.GetString("SSTP", "EXTRA", "x"), "kept");
    EXPECT_EQ(file.GetString("SSTP", "PORT", "9801  "), "9801");
    EXPECT_TRUE(file.Contains("ORVA", "version"));
    EXPECT_FALSE(file.Contains("ORVA", "Form1Top"));

    EXPECT_EQ(GetPrivateProfileInt("Mathod", "CONVERT", 5, path), 1);
    EXPECT_EQ(GetPrivateProfileString("ORVA", "VERSION", "", path), "1.0a");
    EXPECT_EQ(GetPrivateProfileInt("Mathod", "CONVERT", 5, dir.File("missing.ini")), 5);
}

TEST(ProfileFile, IntegersAreTheLeadingDecimalNumber)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        { "-5", -5 },
        { "12abc", 12 },
        { "abc", 0 },
        { "+7", 7 },
        { "  42", 42 },
        { "- 3", 0 },
        { "0x10", 0 },
        { "007", 7 },
        { "2147483647", 2147483647 },
        { "-2147483648", INT32_MIN },
        { "4294967297", 1 },  // wraps like a 32-bit int
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseProfileInt(c.text), c.expected) << c.text;

    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[S]\nEMPTY=\nQUOTED=\"\"\nBLANK=   \n");
    const ProfileFile file(path);
    for (const char* key : { "EMPTY", "QUOTED", "BLANK" })
        EXPECT_EQ(file.GetInt("S", key, -1), -1) << key;  // an empty value gives the default
}

TEST(ProfileFile, KeepsTheFilesLineEnds)
{
    struct Case {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        { "", "[S]\r\nK=v\r\n" },               // a fresh file: CRLF
        { "[S]\nA=1\n", "[S]\nA=1\nK=v\n" },    // LF stays LF
        { "[S]\r\nA=1", "[S]\r\nA=1\r\nK=v" },  // no line end at the end
        { "[T]\nA=1", "[T]\nA=1\n[S]\nK=v\n" },
        { "[S]\r\nK=old\r\nB=2\r\n", "[S]\r\nK=v\r\nB=2\r\n" },
        { "[S]\nK=old", "[S]\nK=v" },
        // In place the line keeps its form; only the first section of a name counts; a
        // new key goes after the section's last line, before blank lines and comments.
        { "[s]\r\n k = \"old\" \r\n[S]\r\nK=x\r\n", "[s]\r\n k = v\r\n[S]\r\nK=x\r\n" },
        { "[S]\r\nA=1\r\n;c\r\n\r\n[T]\r\n", "[S]\r\nA=1\r\n;c\r\nK=v\r\n\r\n[T]\r\n" },
        { "\xEF\xBB\xBF[S]\nK=old\n", "\xEF\xBB\xBF[S]\nK=v\n" },  // editor's UTF-8 mark
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.File("x.ini");
        if (*c.before != '\0')
            WriteFile(path, c.before);
        EXPECT_TRUE(WritePrivateProfileString("S", "K", "v", path));
        EXPECT_EQ(ReadFile(path), c.after) << c.before;
    }
}

TEST(ProfileFile, ValuesReadBackAsWritten)
{
    const std::string values[] = {
        "plain",
        "",
        "  leading and trailing  ",
        "\"quoted\"",
        "'single'",
        "\"",
        "a=b;c",
        "\x83\x5c\x95\x5c",  // CP932 bytes whose second bytes are "\"
    };
    TempDir dir;
    const std::string path = dir.File("v.ini");
    for (const auto& value : values) {
        ASSERT_TRUE(WritePrivateProfileString("S", "K", value, path));
        EXPECT_EQ(GetPrivateProfileString("S", "K", "default", path), value) << value;
    }
    // A line break would end the line and let the rest pass for another key.
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "one\r\n[X]\nK=two", path));
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", path), "one  [X] K=two");
    EXPECT_FALSE(ProfileFile(path).Contains("X", "K"));
}

TEST(ProfileFile, SaveReplacesTheFileAndKeepsItsPermissions)
{
    TempDir dir;
    const std::string path = dir.File("ORVA.INI");
    WriteFile(path, "[S]\nK=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "2", path));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(path), "[S]\nK=2\n");

    // A link is followed: the file it names changes, the link stays a link.
    const std::string link = dir.File("link.ini");
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "3", link));
    EXPECT_EQ(ReadFile(path), "[S]\nK=3\n");
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()),
        2);  // nothing left beside
}

TEST(ProfileFile, FilesThatCannotBeWrittenStayAsTheyAre)
{
    TempDir dir;
    const std::string readOnly = dir.File("ro.ini");
    WriteFile(readOnly, "[S]\nK=1\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "2", readOnly));
    EXPECT_EQ(ReadFile(readOnly), "[S]\nK=1\n");

    // A path that cannot be read (here a folder) is never replaced by a fresh file.
    const std::string folder = dir.File("folder.ini");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "2", folder));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    const std::string fifo = dir.File("fifo.ini");  // must neither hang nor be replaced
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "2", fifo));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    EXPECT_FALSE(WritePrivateProfileString("S", "K", "2", dir.File("no/such/folder.ini")));

    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        const std::string lockedDir = dir.File("locked");
        ASSERT_EQ(::mkdir(lockedDir.c_str(), 0555), 0);
        EXPECT_FALSE(WritePrivateProfileString("S", "K", "2", lockedDir + "/x.ini"));
    }
}

}  // namespace
}  // namespace orva
