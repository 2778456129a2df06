#include "text/processing_words.h"

#include "core/wave_file.h"
#include "text/catalogue.h"
#include "text/format.h"

#include <algorithm>

namespace orva {
namespace {

/// An integer peak as the labels show it: at least 1, within int.
int IntegerPeak(const SamplePeak& peak)
{
    return static_cast<int>(std::min<int64_t>(peak.Integer(), INT32_MAX));
}

/// Share of entries begun, 0..1000.
int EntryPosition(int index, int count)
{
    return count > 0 ? static_cast<int>(((static_cast<int64_t>(index) + 1) * 1000) / count) : 0;
}

int RowOf(Stage stage) { return stage == Stage::Conversion || stage == Stage::Scan ? 2 : 3; }

}  // namespace

std::string StageProgressText(Stage stage, int64_t doneBytes, int64_t totalBytes)
{
    const char* format = "";
    switch (stage) {
    case Stage::Conversion:
        format = ORVA_TR("Processing", "ｻﾝﾌﾟﾘﾝｸﾞﾚｰﾄ変換中(%lld/%lld)");
        break;
    case Stage::Scan:
        format = ORVA_TR("Processing", "ﾋﾟｰｸ採取中(%lld/%lld)");
        break;
    case Stage::Normalization:
        format = ORVA_TR("Processing", "正規化処理中(%lld/%lld)");
        break;
    case Stage::Encoding:
        return {};
    }
    return Format(format, static_cast<long long>(doneBytes), static_cast<long long>(totalBytes));
}

std::string PeakFoundText(const SamplePeak& peak)
{
    const int sampleIndex = static_cast<int>(peak.position);
    if (IsFloatFormat(peak.format))
        return Format(ORVA_TR("Processing", "ﾋﾟｰｸ採取終了(%s on %d)"), PeakText(peak).c_str(), sampleIndex);
    return Format(ORVA_TR("Processing", "ﾋﾟｰｸ採取終了(%d on %d)"), IntegerPeak(peak), sampleIndex);
}

std::string ProblemText(Problem problem, const std::string& path, DialogView::Box* box)
{
    const char* format = "";
    DialogView::Box shown = DialogView::Box::Process;
    switch (problem) {
    case Problem::CannotRead:
        format = ORVA_TR("Processing", "ﾌｧｲﾙを正常に読み込めません。(%s)");
        break;
    case Problem::CannotCreate:
        format = ORVA_TR("Processing", "ﾌｧｲﾙを正常に作成できません。(%s)");
        break;
    case Problem::WriteFailed:
        format = ORVA_TR("Processing", "書きこみに失敗しました。(%s)");
        break;
    case Problem::CannotRename:
        format = ORVA_TR("Processing", "ﾌｧｲﾙをﾘﾈｰﾑできません。(%s)");
        break;
    case Problem::SourceBusy:
        format = ORVA_TR("Processing", "ﾌｧｲﾙは他のﾊﾞｯﾁが処理中です。(%s)");
        break;
    case Problem::DeleteFailed:
        format = ORVA_TR("Processing", "ﾌｧｲﾙを削除できません。(%s)");
        break;
    case Problem::EncodeFailed:
        format = ORVA_TR("Processing", "エンコードに失敗しました[%s]");
        shown = DialogView::Box::Plain;
        break;
    }
    if (box != nullptr)
        *box = shown;
    return Format(format, path.c_str());
}

std::string ProbeReason(int probeResult, const std::string& fallback)
{
    switch (probeResult) {
    case kProbeCannotOpen:
        return ORVA_TR("Probe", "ファイルが開けません");
    case kProbeCannotRead:
        return ORVA_TR("Probe", "ヘッダ部が読めません");
    case kProbeNotWave:
        return ORVA_TR("Probe", "WAVEファイルではありません");
    case kProbeBadFmtSize:
        return ORVA_TR("Probe", "fmtチャンクサイズがおかしい");
    case kProbeNoData:
        return ORVA_TR("Probe", "dataチャンクが見つかりません");
    case kProbeFmtMissing:
        return ORVA_TR("Probe", "dataチャンクの前にfmtチャンクがありません");
    case kProbeTruncated:
        return ORVA_TR("Probe", "ヘッダ部が不完全です");
    case kProbeBadRiffSize:
        return ORVA_TR("Probe", "RIFFチャンクサイズがおかしい");
    case kProbeTooLarge:
        return ORVA_TR("Probe", "4GB以上のRIFFファイルはサイズを表せません");
    case kProbeBadDs64:
        return ORVA_TR("Probe", "ds64チャンクがおかしい");
    case kProbeTooManyChannels:
        return ORVA_TR("Probe", "チャンネル数が多すぎます");
    default:
        return fallback;
    }
}

std::string CancelPromptTitle() { return ORVA_TR("Processing", "キャンセル"); }

std::string CancelPromptText()
{
    return ORVA_TR("Processing",
                   "正規化は終了していません。キャンセルしますか？\n"
                   "注：不正なファイルや作業ファイルが残される場合があります。");
}

void DialogPresenter::JobStarted()
{
    view_.SetRowLabel(3, ORVA_TR("Processing", "正規化処理"));
    view_.SetRowPosition(3, 0);
}

void DialogPresenter::PassStarted() { view_.SetRowPosition(1, 0); }

void DialogPresenter::EntryStarted(EntryStep step, int index, int count, const std::string& name)
{
    if (step != EntryStep::ProcessWithCommonPeak)
        view_.SetRowPosition(2, 0);
    if (step != EntryStep::ScanForCommonPeak)
        view_.SetRowPosition(3, 0);
    const char* format = step == EntryStep::ScanForCommonPeak
        ? ORVA_TR("Processing", "ピーク取得中ﾌｧｲﾙ(%d/%d):%s")
        : ORVA_TR("Processing", "処理中ﾌｧｲﾙ(%d/%d):%s");
    view_.SetRowLabel(1, Format(format, index + 1, count, name.c_str()));
    view_.SetRowPosition(1, EntryPosition(index, count));
}

void DialogPresenter::CommonPeakFound(const SamplePeak& peak, const std::string& name)
{
    if (IsFloatFormat(peak.format))
        view_.SetRowLabel(
            2, Format(ORVA_TR("Processing", "ﾋﾟｰｸ採取終了(%s in %s)"), PeakText(peak).c_str(), name.c_str()));
    else
        view_.SetRowLabel(
            2, Format(ORVA_TR("Processing", "ﾋﾟｰｸ採取終了(%d in %s)"), IntegerPeak(peak), name.c_str()));
}

void DialogPresenter::BatchFinished(const BatchCounts&)
{
    view_.SetCaption(ORVA_TR("Processing", "完了しました"));
}

void DialogPresenter::JobEnded()
{
    view_.SetOkEnabled(true);
    view_.SetCancelEnabled(false);
}

bool DialogPresenter::ConfirmCancel() { return view_.AskYesNo(CancelPromptTitle(), CancelPromptText()); }

void DialogPresenter::CloseCancelled() { view_.CloseCancelled(); }

void DialogPresenter::StageStarted(Stage stage, const std::string&)
{
    if (stage != Stage::Encoding)
        return;
    view_.SetRowLabel(3, ORVA_TR("Processing", "外部エンコーダ呼び出し中"));
    view_.SetRowPosition(3, 0);
}

void DialogPresenter::StageProgress(Stage stage, int64_t doneBytes, int64_t totalBytes, int share)
{
    if (stage != Stage::Encoding)
        view_.SetRowLabel(RowOf(stage), StageProgressText(stage, doneBytes, totalBytes));
    view_.SetRowPosition(RowOf(stage), share);
}

void DialogPresenter::PeakFound(const SamplePeak& peak)
{
    view_.SetRowLabel(2, PeakFoundText(peak));
    view_.SetRowPosition(2, 1000);
}

void DialogPresenter::StageFinished(Stage stage)
{
    if (stage == Stage::Normalization)
        view_.SetRowLabel(3, ORVA_TR("Processing", "正規化終了"));
    else if (stage == Stage::Encoding)
        view_.SetRowLabel(3, ORVA_TR("Processing", "外部エンコーダ終了"));
    else
        return;
    view_.SetRowPosition(3, 1000);
}

void DialogPresenter::ReportProblem(Problem problem, const std::string& path)
{
    DialogView::Box box = DialogView::Box::Process;
    const std::string text = ProblemText(problem, path, &box);
    view_.ShowMessage(box, box == DialogView::Box::Plain ? "ORVA" : "ORVA Process", text);
}

}  // namespace orva
