// The file list: which files it takes, the cells of a row, and the removal commands.

#include "batch/file_list.h"
#include "core/format_tag.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace orva {
namespace {

using namespace test;
using Names = std::vector<std::string>;

Names Captions(const FileListModel& list)
{
    Names captions;
    for (const FileEntry& entry : list.Entries())
        captions.push_back(entry.caption);
    return captions;
}

TEST(FileList, AddsOnlyNewWavNamesThatProbe)
{
    TempFolder temp;
    const std::string a = temp.Sub("a");
    const std::string b = temp.Sub("b");
    const Bytes wav = MakeWav(2, 44100, 16, Bytes(8));
    for (const std::string& path :
         { a + "x.wav", a + "y.Wav", a + "z.wave", a + "noext", b + "x.wav", b + "X.WAV" })
        WriteFile(path, wav);
    WriteFile(a + "text.wav", { 'h', 'i', '\n' });
    Bytes zero = wav;
    zero[4] = 0;  // RIFF size field 0: a recording whose header was never finished
    zero[5] = 0;
    WriteFile(a + "zero.wav", zero);
    Bytes empty = MakeWav(2, 44100, 16, {});
    empty[4] = 0;  // ... and one with no samples behind it either
    WriteFile(a + "empty.wav", empty);

    const std::pair<std::string, bool> cases[] = {
        { a + "x.wav", true },        { b + "x.wav", false },  // same name in another folder
        { b + "X.WAV", true },                                 // names differ in letter case
        { a + "y.Wav", true },        { a + "z.wave", false },  { a + "noext", false },
        { a + "text.wav", false },    { a + "zero.wav", true }, { a + "empty.wav", false },
        { a + "missing.wav", false },
    };
    FileListModel list;
    for (const auto& [path, added] : cases)
        EXPECT_EQ(list.AddFileToList(path), added) << path;
    EXPECT_EQ(Captions(list), (Names { "x.wav", "X.WAV", "y.Wav", "zero.wav" }));
    EXPECT_EQ(list.Entries()[1].FullPath(), b + "X.WAV");
}

TEST(FileList, RowCellsDescribeTheFile)
{
    TempFolder temp;
    Bytes pcm = MakeWav(1, 22050, 16, Bytes(4));
    pcm[4] = 0xE8;  // declared RIFF size 1000, whatever the real length
    pcm[5] = 0x03;
    WriteFile(temp.Path() + "pcm.wav", pcm);
    WriteFile(temp.Path() + "eight.wav", MakeWav(2, 8000, 8, { 128, 128 }));
    WriteFile(temp.Path() + "deep.wav", MakeWav(2, 48000, 24, Bytes(6)));
    WriteFile(temp.Path() + "float.wav", MakeWav(1, 44100, 32, Bytes(4), 3));
    // Extensible: 24 valid bits in 32-bit containers, the PCM sub-format GUID.
    Bytes extensible = MakeWav(2, 48000, 32, Bytes(8), 0xFFFE);
    const Bytes extension = { 22, 0, 24,   0, 3,    0, 0, 0,    1, 0,    0,    0,
                              0,  0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71 };
    extensible.insert(extensible.begin() + 36, extension.begin(), extension.end());
    extensible[16] = 40, extensible[4] += 24;
    WriteFile(temp.Path() + "ext.wav", extensible);
    WriteFile(temp.Path() + "adpcm.wav", MakeWav(1, 8000, 4, Bytes(4), 0x11));
    FileListModel list;
    for (const char* name : { "pcm.wav", "eight.wav", "deep.wav", "float.wav", "ext.wav", "adpcm.wav" })
        ASSERT_TRUE(list.AddFileToList(temp.Path() + name)) << name;

    EXPECT_EQ(list.Entries()[0].subItems,
              (std::array<std::string, 6> { temp.Path(), FormatTagName(1), "22050", "16", "1", "1008" }));
    EXPECT_TRUE(list.Entries()[0].supported);
    EXPECT_EQ(list.Entries()[1].subItems[BitsCell], "8");
    EXPECT_TRUE(list.Entries()[1].supported);
    EXPECT_EQ(list.Entries()[2].subItems[BitsCell], "24");
    EXPECT_TRUE(list.Entries()[2].supported);
    EXPECT_EQ(list.Entries()[3].subItems[FormatTagCell], FormatTagName(3));
    EXPECT_TRUE(list.Entries()[3].supported);
    // An extensible file shows its sub-format and its valid bits.
    EXPECT_EQ(list.Entries()[4].subItems[FormatTagCell], "PCM");
    EXPECT_EQ(list.Entries()[4].subItems[BitsCell], "24");
    EXPECT_EQ(list.Entries()[4].sampleFormat, SampleFormat::S32);
    EXPECT_FALSE(list.Entries()[5].supported);

    // The view's columns: the caption, sub-items 0 to 5, then the support column, which
    // holds no text (the front end words it) but the flag.
    EXPECT_EQ(list.columnCount(), 8);
    EXPECT_EQ(list.data(list.index(0, 0)).toString().toStdString(), "pcm.wav");
    EXPECT_EQ(list.data(list.index(0, 6)).toString().toStdString(), "1008");
    for (const int row : { 0, 5 }) {
        EXPECT_EQ(list.data(list.index(row, FileListModel::SupportColumn)), QVariant(QString())) << row;
        EXPECT_EQ(list.data(list.index(row, 2), FileListModel::SupportedRole), QVariant(row == 0)) << row;
    }

    // A relative path is listed with its absolute folder.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(temp.Sub("sub"));
    WriteFile("rel.wav", MakeWav(1, 8000, 8, { 128 }));
    const bool added = list.AddFileToList("rel.wav");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(added);
    EXPECT_EQ(list.Entries().back().Directory(),
              std::filesystem::canonical(temp.Path() + "sub").string() + "/");
}

TEST(FileList, RemovalCommandsCloseTheGaps)
{
    FileListModel list;
    int removedSignals = 0;
    QObject::connect(&list, &QAbstractItemModel::rowsRemoved, &list, [&] { ++removedSignals; });
    const auto row = [](const std::string& name, bool supported = true) {
        FileEntry entry;
        entry.caption = name;
        entry.supported = supported;
        return entry;
    };
    for (const char* name : { "1.wav", "2.wav", "3.wav", "4.wav", "5.wav" })
        list.AppendEntry(row(name));
    list.RemoveSelectedFiles({ 0, 1, 3, 99 });
    EXPECT_EQ(Captions(list), (Names { "3.wav", "5.wav" }));
    EXPECT_EQ(removedSignals, 2);  // one per run of adjacent rows

    list.Clear();
    for (const char* name : { "a.wav", "b.wav", "d.wav" })
        list.AppendEntry(row(name, false));
    list.AppendEntry(row("c.wav"));
    list.RemoveUnsupportedFiles();
    EXPECT_EQ(Captions(list), (Names { "c.wav" }));
}

}  // namespace
}  // namespace orva
