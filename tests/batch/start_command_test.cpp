// The start command: its checks in order and the folder choice; the words of its findings and
// its summary lines.

#include "batch/start_command.h"
#include "test_support.h"
#include "text/language.h"
#include "text/start_words.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace orva {
namespace {

using test::TempFolder;
using Names = std::vector<std::string>;

/// A scripted front end that records what the start command asks of it.
struct FakeHost final : StartCommandHost {
    void StopPlayback() override { events.push_back("stop"); }
    /// Records "finding NAME" or "finding NAME PATH".
    void ReportFinding(StartFinding finding, const std::string& path) override
    {
        const char* const names[] = { "NoFiles", "MixedBits", "EncoderMissing", "GogoMissing", "Overlap" };
        events.push_back("finding " + std::string(names[static_cast<int>(finding)])
                         + (path.empty() ? "" : " ") + path);
    }
    GogoEncoderInfo ReadGogoEncoderInfo() override
    {
        if (!gogoLoaded)
            throw std::runtime_error("not loaded");
        return { "3.13", "/usr/lib/libgogo.so" };
    }
    std::optional<std::string> ChooseFolder(const std::string& initialFolder) override
    {
        chooserStarts.push_back(initialFolder);
        if (folders.empty())
            return std::nullopt;
        auto answer = folders.front();
        folders.erase(folders.begin());
        return answer;
    }
    int ShowConfirmation(const StartSummary& shown) override
    {
        summary = shown;
        return confirmAnswer;
    }
    void RunBatch(const std::string& outputDirectory) override { events.push_back("run " + outputDirectory); }

    Names events, chooserStarts;
    StartSummary summary;
    bool gogoLoaded = true;
    std::vector<std::optional<std::string>> folders { "/out" };
    int confirmAnswer = 1;
};

FileEntry Row(const std::string& directory, const std::string& name, const std::string& bits = "16",
              bool supported = true)
{
    FileEntry entry;
    entry.caption = name;
    entry.subItems[DirectoryCell] = directory;
    entry.subItems[BitsCell] = bits;
    entry.supported = supported;
    return entry;
}

TEST(StartCommand, ChecksInOrder)
{
    TempFolder temp;
    test::WriteFile(temp.Path() + "scmpx", { '#' });
    struct Case {
        const char* name;
        Names bits;  ///< one row per entry; "24" rows are unsupported
        int peakMode = 0, rate = 0, bitrate = 0, kind = 0;
        std::string encoderPath;
        bool gogoLoaded = true;
        std::string refusal;  ///< the finding; "" when the batch runs
    } cases[] = {
        { "only unsupported rows", { "24", "24" }, 0, 0, 0, 0, "", true, "NoFiles" },
        { "mixed widths, common peak", { "16", "16", "8" }, 1, 0, 0, 0, "", true, "MixedBits" },
        { "mixed widths after an unsupported row", { "24", "16", "8" }, 1, 0, 0, 0, "", true, "MixedBits" },
        { "one width, common peak", { "24", "16", "16" }, 1, 0, 0, 0, "", true, "" },
        { "mixed widths, conversion forces per file", { "16", "8" }, 1, 44100, 0, 0, "", true, "" },
        { "no MP3: the encoder is not checked", { "16" }, 0, 0, 0, 1, "/nowhere", true, "" },
        { "external encoder present", { "16" }, 0, 0, 128, 1, temp.Path() + "scmpx", true, "" },
        { "external encoder path empty", { "16" }, 0, 0, 128, 1, "", true, "EncoderMissing" },
        { "external encoder path a folder",
          { "16" },
          0,
          0,
          128,
          1,
          temp.Path(),
          true,
          "EncoderMissing " + temp.Path() },
        { "gogo missing", { "16" }, 0, 0, 128, 0, "", false, "GogoMissing" },
        { "unknown kind checks gogo", { "16" }, 0, 0, 128, 5, "", false, "GogoMissing" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileListModel list;
        for (size_t i = 0; i < c.bits.size(); ++i)
            list.AppendEntry(Row("/in/", std::to_string(i) + ".wav", c.bits[i], c.bits[i] != "24"));
        Settings settings;
        settings.PeakMode = c.peakMode;
        settings.ResampleRate = c.rate;
        settings.SourceFileAction = 2;
        settings.Mp3Bitrate = c.bitrate;
        settings.EncoderKind = c.kind;
        settings.EncoderPath = c.encoderPath;
        FakeHost host;
        host.gogoLoaded = c.gogoLoaded;
        StartCommandFields fields;
        const StartOutcome outcome = RunStartCommand(list, settings, host, fields);

        EXPECT_EQ(host.events.front(), "stop");
        EXPECT_EQ(host.events.back(), c.refusal.empty() ? "run /out/" : "finding " + c.refusal);
        EXPECT_EQ(outcome, c.refusal.empty() ? StartOutcome::BatchRun : StartOutcome::Refused);
        EXPECT_EQ(host.chooserStarts.size(), c.refusal.empty() ? 1u : 0u);
        for (const FileEntry& entry : list.Entries())
            EXPECT_TRUE(entry.supported);
        if (c.rate > 0) {
            // The conversion forces the per-file mode and no source action, also in the summary.
            for (const Settings& s : { settings, host.summary.settings })
                EXPECT_EQ(std::make_pair(s.PeakMode, s.SourceFileAction), std::make_pair(0, 0));
        }
    }
}

TEST(StartCommand, OutputFolderChoice)
{
    TempFolder temp;
    const std::string in = temp.Sub("in");
    const std::string inNoSlash = in.substr(0, in.size() - 1);
    std::filesystem::create_directory_symlink(in, temp.Path() + "alias");
    struct Case {
        const char* name;
        int action = 0;
        int dirMode = 0;
        std::vector<std::optional<std::string>> folders;
        StartOutcome outcome;
        std::string outputDirectory;
        int overlaps = 0;
        std::string remembered;
    } cases[] = {
        { "root", 0, 0, { "/" }, StartOutcome::BatchRun, "/", 0, "/" },
        { "letter case differs",
          0,
          0,
          { temp.Path() + "IN" },
          StartOutcome::BatchRun,
          temp.Path() + "IN/",
          0,
          temp.Path() + "IN" },
        { "source folder with rename", 1, 0, { inNoSlash }, StartOutcome::BatchRun, in, 0, inNoSlash },
        { "source folder twice, then nothing",
          0,
          0,
          { inNoSlash, in, std::nullopt },
          StartOutcome::NoFolder,
          in,
          2,
          in },
        { "fixed folder is not overwritten",
          0,
          1,
          { inNoSlash, std::nullopt },
          StartOutcome::NoFolder,
          in,
          1,
          "/start" },
        { "source folder through a link",
          0,
          0,
          { temp.Path() + "alias", "/out" },
          StartOutcome::BatchRun,
          "/out/",
          1,
          "/out" },
        { "chooser cancelled", 0, 0, {}, StartOutcome::NoFolder, "", 0, "/start" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileListModel list;
        list.AppendEntry(Row("/elsewhere/", "b.wav"));
        list.AppendEntry(Row(in, "a.wav"));
        Settings settings;
        settings.SourceFileAction = c.action;
        settings.OutputDirMode = c.dirMode;
        settings.FixedOutputDir = "/start";
        FakeHost host;
        host.folders = c.folders;
        StartCommandFields fields;
        EXPECT_EQ(RunStartCommand(list, settings, host, fields), c.outcome);
        EXPECT_EQ(fields.OutputDirectory, c.outputDirectory);
        EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "finding Overlap"), c.overlaps);
        EXPECT_EQ(host.chooserStarts.front(), "/start");
        EXPECT_EQ(settings.FixedOutputDir, c.remembered);
    }
}

TEST(StartCommand, ConfirmationDecidesTheRun)
{
    for (int answer : { 1, -1, 0 }) {
        FileListModel list;
        list.AppendEntry(Row("/in/", "a.wav"));
        Settings settings;
        FakeHost host;
        host.confirmAnswer = answer;
        StartCommandFields fields;
        EXPECT_EQ(RunStartCommand(list, settings, host, fields),
                  answer == 1 ? StartOutcome::BatchRun : StartOutcome::NotConfirmed);
        EXPECT_EQ(fields.ConfirmAnswer, answer);
        EXPECT_EQ(host.events.back() == "run /out/", answer == 1);
    }
}

TEST(StartWords, EachFindingInBothLanguages)
{
    struct Case {
        StartFinding finding;
        std::string path, japanese, english;
    } cases[] = {
        { StartFinding::NoFiles, "", "処理可能なファイルがありません。",
          "There are no files that can be processed." },
        { StartFinding::MixedBits, "",
          "音量の一括取得時には、異なるビットレートの\nファイルを同時に処理できません。",
          "With the common peak of all files, files of different\nbit depths cannot be processed together." },
        { StartFinding::EncoderMissing, "/bin/x", "外部エンコーダが見つかりません。\n [/bin/x]",
          "The external encoder was not found.\n [/bin/x]" },
        { StartFinding::EncoderMissing, "", "外部エンコーダが見つかりません。\n []",
          "The external encoder was not found.\n []" },
        { StartFinding::GogoMissing, "", "外部エンコーダが見つかりません。\n [GOGO.DLL]",
          "The external encoder was not found.\n [GOGO.DLL]" },
        { StartFinding::Overlap, "", "変換前と変換後のﾃﾞｨﾚｸﾄﾘが重なっています。",
          "The source and output folders are the same." },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindingText(c.finding, c.path), c.japanese);
        SetProcessLanguage(Language::English);
        EXPECT_EQ(FindingText(c.finding, c.path), c.english);
        SetProcessLanguage(Language::Japanese);
    }
}

TEST(Summary, FullText)
{
    Settings settings;
    settings.PeakMode = 1;
    settings.Mp3Bitrate = 128;
    settings.OutputMode = 1;
    settings.UsePsy = 1;
    settings.SstpEnabled = 1;
    settings.SourceFileAction = 2;
    EXPECT_EQ(BuildSummaryLines(settings, 3, "/out/", { "3.13", "/usr/lib/libgogo.so" }),
              (Names { "-----------------------------------------",
                       "         ORVA 変換オプション",
                       "-----------------------------------------",
                       "変換するファイル数： 3 個",
                       "保存先ディレクトリ：/out/",
                       "ピーク取得方法　　：全ファイルから一括取得",
                       "",
                       "外部エンコーダ：午後のこ～だ(3.13)",
                       "　実行ファイル：/usr/lib/libgogo.so",
                       "　ビットレート：128 kbps/sec",
                       "　出力モード　：ジョイントステレオ",
                       "　オプション　：心理音響モデル演算",
                       "",
                       "※外部エンコーダの種類と実行ファイルの種別が",
                       "　同一であることを、必ず確認してください。",
                       "　違う場合、エンコード時にエラーになります。",
                       "",
                       "サンプリングレート変換：なし",
                       "ＳＳＴＰ：有効",
                       "",
                       "※削除オプションが指定されています。",
                       "　ORVAが変換を失敗した場合、ファイルを復活させる",
                       "　ことはできません。",
                       "　十分なテストを行うまでは使用しないで下さい。" }));

    SetProcessLanguage(Language::English);
    EXPECT_EQ(BuildSummaryLines(settings, 3, "/out/", { "3.13", "/usr/lib/libgogo.so" }),
              (Names { "-----------------------------------------",
                       "         ORVA conversion options",
                       "-----------------------------------------",
                       "Files to convert   : 3",
                       "Output folder      : /out/",
                       "Peak method        : common peak of all files",
                       "",
                       "External encoder   : Gogo (3.13)",
                       "  Executable       : /usr/lib/libgogo.so",
                       "  Bit rate         : 128 kbps/sec",
                       "  Output mode      : Joint stereo",
                       "  Options          : psychoacoustic model",
                       "",
                       "* Make sure that the kind of external encoder",
                       "  matches the kind of the executable file.",
                       "  If they differ, encoding fails with an error.",
                       "",
                       "Sample-rate conversion: none",
                       "SSTP               : enabled",
                       "",
                       "* The delete option is set.",
                       "  If ORVA fails to convert a file, the file",
                       "  cannot be restored.",
                       "  Do not use it until you have tested it enough." }));
    SetProcessLanguage(Language::Japanese);
}

TEST(Summary, VariableLines)
{
    struct Case {
        int bitrate, kind, outputMode, usePsy, rate, sstp, action;
        Names tail;  ///< the lines from the eighth on
    } cases[] = {
        { 0, 1, 0, 0, 0, 0, 0, { "外部エンコーダ：なし", "", "サンプリングレート変換：なし", "" } },
        { 128,
          4,
          0,
          0,
          22050,
          0,
          1,  // an unknown encoder kind makes no MP3 file
          { "外部エンコーダ：なし", "", "サンプリングレート変換： 22050 Hz", "",
            "※リネームオプションが指定されています。", "　変換前のファイル名はリネームされます。" } },
        { 128,
          1,
          3,
          1,
          0,
          0,
          0,
          { "外部エンコーダ：SCMPX", "　実行ファイル：/bin/scmpx", "　ビットレート：64 kbps/sec",
            "　出力モード　：強制モノラル", "　オプション　：なし" } },
        { 80,
          0,
          3,
          0,
          0,
          0,
          0,
          { "外部エンコーダ：午後のこ～だ()", "　実行ファイル：", "　ビットレート：40 kbps/sec",
            "　出力モード　：強制モノラル", "　オプション　：なし" } },
        { 128,
          0,
          2,
          0,
          0,
          0,
          0,
          { "外部エンコーダ：午後のこ～だ()", "　実行ファイル：", "　ビットレート：128 kbps/sec",
            "　出力モード　：ミッドサイドステレオ", "　オプション　：なし" } },
        { 192,
          1,
          0,
          0,
          0,
          0,
          0,
          { "外部エンコーダ：SCMPX", "　実行ファイル：/bin/scmpx", "　ビットレート：192 kbps/sec",
            "　出力モード　：ステレオ", "　オプション　：なし" } },
    };
    for (const Case& c : cases) {
        Settings settings;
        settings.Mp3Bitrate = c.bitrate;
        settings.EncoderKind = c.kind;
        settings.OutputMode = c.outputMode;
        settings.UsePsy = c.usePsy;
        settings.ResampleRate = c.rate;
        settings.SstpEnabled = c.sstp;
        settings.SourceFileAction = c.action;
        settings.EncoderPath = "/bin/scmpx";
        const Names lines = BuildSummaryLines(settings, 1, "/o/", {});
        ASSERT_GE(lines.size(), 7 + c.tail.size());
        EXPECT_EQ(Names(lines.begin() + 7, lines.begin() + 7 + static_cast<long>(c.tail.size())), c.tail);
    }
}

TEST(Summary, TargetLineOnlyWhenNotTheClassicPeak)
{
    struct Case {
        int mode, target, ceiling;
        const char* line;  ///< the line after the peak method, or "" (the default summary)
    } cases[] = {
        { 0, 0, -10, "" },
        { 0, 0, -30, "" },  // the ceiling counts only for loudness
        { 0, -5, -10, "目標レベル　　　　：サンプルピーク -0.5 dBFS" },
        { 1, -10, -10, "目標レベル　　　　：トゥルーピーク -1.0 dBTP" },
        { 2, -230, -15, "目標レベル　　　　：ラウドネス -23.0 LUFS（上限 -1.5 dBTP）" },
    };
    for (const Case& c : cases) {
        Settings settings;
        settings.TargetMode = c.mode, settings.Target = c.target, settings.Ceiling = c.ceiling;
        const Names lines = BuildSummaryLines(settings, 1, "/o/", {});
        EXPECT_EQ(lines[6], *c.line ? c.line : "");
        EXPECT_EQ(lines.size(), BuildSummaryLines(Settings(), 1, "/o/", {}).size() + (*c.line ? 1 : 0));
    }
}

}  // namespace
}  // namespace orva
