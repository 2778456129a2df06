// The processing dialog's words for each event, in both languages.

#include "core/wave_file.h"
#include "text/language.h"
#include "text/processing_words.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using orva::Language;

/// Records the dialog's changes as "row1.label TEXT", "row2.pos 0", "caption TEXT", "ok 1",
/// "box TITLE|TEXT", "ask TITLE|TEXT".
struct View final : orva::DialogView {
    void SetRowLabel(int row, const std::string& text) override
    {
        Add("row" + std::to_string(row) + ".label " + text);
    }
    void SetRowPosition(int row, int position) override
    {
        Add("row" + std::to_string(row) + ".pos " + std::to_string(position));
    }
    void SetCaption(const std::string& text) override { Add("caption " + text); }
    void SetOkEnabled(bool enabled) override { Add(enabled ? "ok 1" : "ok 0"); }
    void SetCancelEnabled(bool enabled) override { Add(enabled ? "cancel 1" : "cancel 0"); }
    void ShowMessage(Box box, const std::string& title, const std::string& text) override
    {
        Add(std::string(box == Box::Plain ? "plain " : "box ") + title + "|" + text);
    }
    bool AskYesNo(const std::string& title, const std::string& text) override
    {
        Add("ask " + title + "|" + text);
        return true;
    }
    void CloseCancelled() override { Add("close"); }
    void Add(const std::string& change) { changes.push_back(change); }
    std::vector<std::string> changes;
};

struct EventCase {
    const char* event;
    std::function<void(orva::DialogPresenter&)> report;
    std::vector<std::string> japanese;
    std::vector<std::string> english;
};

TEST(ProcessingWords, EachEventInBothLanguages)
{
    using orva::Problem;
    using orva::Stage;
    const std::vector<EventCase> cases = {
        { "job started",
          [](auto& p) { p.JobStarted(); },
          { "row3.label 正規化処理", "row3.pos 0" },
          { "row3.label Normalization", "row3.pos 0" } },
        { "pass started", [](auto& p) { p.PassStarted(); }, { "row1.pos 0" }, { "row1.pos 0" } },
        { "entry finished", [](auto& p) { p.EntryFinished(0, orva::EntryOutcome::LeftOut); }, {}, {} },
        { "entry started",
          [](auto& p) { p.EntryStarted(orva::EntryStep::Process, 1, 4, "b.wav"); },
          { "row2.pos 0", "row3.pos 0", "row1.label 処理中ﾌｧｲﾙ(2/4):b.wav", "row1.pos 500" },
          { "row2.pos 0", "row3.pos 0", "row1.label Processing file (2/4): b.wav", "row1.pos 500" } },
        { "entry scanned for the common peak",
          [](auto& p) { p.EntryStarted(orva::EntryStep::ScanForCommonPeak, 0, 3, "a.wav"); },
          { "row2.pos 0", "row1.label ピーク取得中ﾌｧｲﾙ(1/3):a.wav", "row1.pos 333" },
          { "row2.pos 0", "row1.label Scanning for the peak (1/3): a.wav", "row1.pos 333" } },
        { "entry normalized with the common peak",
          [](auto& p) { p.EntryStarted(orva::EntryStep::ProcessWithCommonPeak, 2, 3, "c.wav"); },
          { "row3.pos 0", "row1.label 処理中ﾌｧｲﾙ(3/3):c.wav", "row1.pos 1000" },
          { "row3.pos 0", "row1.label Processing file (3/3): c.wav", "row1.pos 1000" } },
        { "common peak",
          [](auto& p) {
              p.CommonPeakFound({ orva::SampleFormat::S16, 32767, 0.0, 9 }, "a.wav");
          },
          { "row2.label ﾋﾟｰｸ採取終了(32767 in a.wav)" },
          { "row2.label Peak found (32767 in a.wav)" } },
        { "common peak of float files",
          [](auto& p) {
              p.CommonPeakFound({ orva::SampleFormat::F32, 0, 0.5, 9 }, "a.wav");
          },
          { "row2.label ﾋﾟｰｸ採取終了(0.5 in a.wav)" },
          { "row2.label Peak found (0.5 in a.wav)" } },
        { "conversion progress",
          [](auto& p) { p.Stages().StageProgress(Stage::Conversion, 208896, 400000, 522); },
          { "row2.label ｻﾝﾌﾟﾘﾝｸﾞﾚｰﾄ変換中(208896/400000)", "row2.pos 522" },
          { "row2.label Converting the sample rate (208896/400000)", "row2.pos 522" } },
        { "scan progress",
          [](auto& p) { p.Stages().StageProgress(Stage::Scan, 720896, 1000000, 720); },
          { "row2.label ﾋﾟｰｸ採取中(720896/1000000)", "row2.pos 720" },
          { "row2.label Scanning for the peak (720896/1000000)", "row2.pos 720" } },
        { "scan progress past 2 GiB",
          [](auto& p) { p.Stages().StageProgress(Stage::Scan, 2791309312, 2800000000, 996); },
          { "row2.label ﾋﾟｰｸ採取中(2791309312/2800000000)", "row2.pos 996" },
          { "row2.label Scanning for the peak (2791309312/2800000000)", "row2.pos 996" } },
        { "peak found",
          [](auto& p) {
              p.Stages().PeakFound({ orva::SampleFormat::U8, 128, 0.0, 7 });
          },
          { "row2.label ﾋﾟｰｸ採取終了(128 on 7)", "row2.pos 1000" },
          { "row2.label Peak found (128 at sample 7)", "row2.pos 1000" } },
        { "peak found in a silent file",
          [](auto& p) {
              p.Stages().PeakFound({ orva::SampleFormat::S16, 0, 0.0, 0 });
          },
          { "row2.label ﾋﾟｰｸ採取終了(1 on 0)", "row2.pos 1000" },
          { "row2.label Peak found (1 at sample 0)", "row2.pos 1000" } },
        { "peak found in a float file",
          [](auto& p) {
              p.Stages().PeakFound({ orva::SampleFormat::F32, 0, 0.25, 7 });
          },
          { "row2.label ﾋﾟｰｸ採取終了(0.25 on 7)", "row2.pos 1000" },
          { "row2.label Peak found (0.25 at sample 7)", "row2.pos 1000" } },
        { "normalization progress",
          [](auto& p) { p.Stages().StageProgress(Stage::Normalization, 720896, 800000, 901); },
          { "row3.label 正規化処理中(720896/800000)", "row3.pos 901" },
          { "row3.label Normalizing (720896/800000)", "row3.pos 901" } },
        { "normalization finished",
          [](auto& p) { p.Stages().StageFinished(Stage::Normalization); },
          { "row3.label 正規化終了", "row3.pos 1000" },
          { "row3.label Normalization finished", "row3.pos 1000" } },
        { "encoding started",
          [](auto& p) { p.Stages().StageStarted(Stage::Encoding, "/o/a.wav"); },
          { "row3.label 外部エンコーダ呼び出し中", "row3.pos 0" },
          { "row3.label Running the external encoder", "row3.pos 0" } },
        { "encoding finished",
          [](auto& p) { p.Stages().StageFinished(Stage::Encoding); },
          { "row3.label 外部エンコーダ終了", "row3.pos 1000" },
          { "row3.label External encoder finished", "row3.pos 1000" } },
        { "cannot read",
          [](auto& p) { p.Problems().ReportProblem(Problem::CannotRead, "/i/a.wav"); },
          { "box ORVA Process|ﾌｧｲﾙを正常に読み込めません。(/i/a.wav)" },
          { "box ORVA Process|The file cannot be read properly. (/i/a.wav)" } },
        { "cannot create",
          [](auto& p) { p.Problems().ReportProblem(Problem::CannotCreate, "/o/a.wav"); },
          { "box ORVA Process|ﾌｧｲﾙを正常に作成できません。(/o/a.wav)" },
          { "box ORVA Process|The file cannot be created properly. (/o/a.wav)" } },
        { "write failed",
          [](auto& p) { p.Problems().ReportProblem(Problem::WriteFailed, "/o/a.wav"); },
          { "box ORVA Process|書きこみに失敗しました。(/o/a.wav)" },
          { "box ORVA Process|Writing failed. (/o/a.wav)" } },
        { "cannot rename",
          [](auto& p) { p.Problems().ReportProblem(Problem::CannotRename, "/i/a.wav"); },
          { "box ORVA Process|ﾌｧｲﾙをﾘﾈｰﾑできません。(/i/a.wav)" },
          { "box ORVA Process|The file cannot be renamed. (/i/a.wav)" } },
        { "source busy",
          [](auto& p) { p.Problems().ReportProblem(Problem::SourceBusy, "/i/a.wav"); },
          { "box ORVA Process|ﾌｧｲﾙは他のﾊﾞｯﾁが処理中です。(/i/a.wav)" },
          { "box ORVA Process|The file is being processed by another batch. (/i/a.wav)" } },
        { "delete failed",
          [](auto& p) { p.Problems().ReportProblem(Problem::DeleteFailed, "/i/_a.wav"); },
          { "box ORVA Process|ﾌｧｲﾙを削除できません。(/i/_a.wav)" },
          { "box ORVA Process|The file cannot be deleted. (/i/_a.wav)" } },
        { "encoding failed",
          [](auto& p) { p.Problems().ReportProblem(Problem::EncodeFailed, "/o/a.wav"); },
          { "plain ORVA|エンコードに失敗しました[/o/a.wav]" },
          { "plain ORVA|Encoding failed [/o/a.wav]" } },
        { "batch finished",
          [](auto& p) {
              p.BatchFinished({ 2, 2, 0 });
          },
          { "caption 完了しました" },
          { "caption Finished" } },
        { "job ended", [](auto& p) { p.JobEnded(); }, { "ok 1", "cancel 0" }, { "ok 1", "cancel 0" } },
        { "cancel asked",
          [](auto& p) { p.ConfirmCancel(); },
          { "ask "
            "キャンセル|"
            "正規化は終了していません。キャンセルしますか？\n注：不正なファイルや作業ファイルが残される場合が"
            "あります。" },
          { "ask Cancel|The normalization is not finished. Cancel it?\nNote: broken files or working files "
            "may be "
            "left behind." } },
        { "cancel confirmed", [](auto& p) { p.CloseCancelled(); }, { "close" }, { "close" } },
    };
    for (const auto language : { Language::Japanese, Language::English }) {
        orva::SetProcessLanguage(language);
        for (const auto& row : cases) {
            SCOPED_TRACE(std::string(row.event)
                         + (language == Language::English ? " (English)" : " (Japanese)"));
            View view;
            orva::DialogPresenter presenter(view);
            row.report(presenter);
            EXPECT_EQ(view.changes, language == Language::English ? row.english : row.japanese);
        }
    }
    orva::SetProcessLanguage(Language::Japanese);
}

TEST(ProcessingWords, ProbeReasonsInBothLanguages)
{
    const struct {
        int code;
        const char* japanese;
        const char* english;
    } rows[] = {
        { orva::kProbeCannotOpen, "ファイルが開けません", "the file cannot be opened" },
        { orva::kProbeCannotRead, "ヘッダ部が読めません", "the header cannot be read" },
        { orva::kProbeNotWave, "WAVEファイルではありません", "not a WAVE file" },
        { orva::kProbeBadFmtSize, "fmtチャンクサイズがおかしい", "the fmt chunk size is wrong" },
        { orva::kProbeNoData, "dataチャンクが見つかりません", "no data chunk was found" },
        { orva::kProbeFmtMissing, "dataチャンクの前にfmtチャンクがありません",
          "no fmt chunk before the data chunk" },
        { orva::kProbeTruncated, "ヘッダ部が不完全です", "the header is incomplete" },
        { orva::kProbeBadRiffSize, "RIFFチャンクサイズがおかしい", "the RIFF chunk size is wrong" },
        { orva::kProbeTooLarge, "4GB以上のRIFFファイルはサイズを表せません",
          "a RIFF file of 4 GB or more cannot state its size" },
        { orva::kProbeBadDs64, "ds64チャンクがおかしい", "the ds64 chunk is wrong" },
        { -99, "core's text", "core's text" },  // a code without words: the core's own text
    };
    for (const auto language : { Language::Japanese, Language::English }) {
        orva::SetProcessLanguage(language);
        for (const auto& row : rows)
            EXPECT_EQ(orva::ProbeReason(row.code, "core's text"),
                      language == Language::English ? row.english : row.japanese)
                << row.code;
    }
    orva::SetProcessLanguage(Language::Japanese);
}

}  // namespace
