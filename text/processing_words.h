#pragma once
// The words of the processing dialog: how the batch job's and the core's events appear on
// its three label-and-bar rows, caption, buttons and message boxes, in the process language.
// Shared by the desktop window, orva-cli and the tests that pin the texts.

#include "batch/batch_events.h"
#include "core/progress.h"

#include <cstdint>
#include <string>

namespace orva {

/// The processing dialog's controls. Rows are 1..3; bar positions run from 0 to 1000.
class DialogView {
public:
    /// The two message boxes of a batch.
    enum class Box {
        Process,  ///< "ORVA Process", exclamation icon, OK
        Plain,    ///< "ORVA", no icon, OK (the encoder's failure)
    };

    virtual ~DialogView() = default;
    virtual void SetRowLabel(int row, const std::string& text) = 0;
    virtual void SetRowPosition(int row, int position) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetOkEnabled(bool enabled) = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;
    /// Shows a box and blocks until it is dismissed.
    virtual void ShowMessage(Box box, const std::string& title, const std::string& text) = 0;
    /// Shows a Yes/No question box and blocks until it is answered; true means Yes.
    virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
    /// Closes the dialog with the result Cancel.
    virtual void CloseCancelled() = 0;
};

/// Words every event on a DialogView: row 1 follows the entries, row 2 the conversion and the
/// scan, row 3 the normalization and the MP3 step.
class DialogPresenter : public BatchEvents, private StageEvents, private ProblemReports {
public:
    explicit DialogPresenter(DialogView& view) : view_(view) {}

    StageEvents& Stages() override { return *this; }
    ProblemReports& Problems() override { return *this; }
    void JobStarted() override;
    void PassStarted() override;
    void EntryStarted(EntryStep step, int index, int count, const std::string& name) override;
    /// The dialog shows an entry's end only through the steps' own rows.
    void EntryFinished(int, EntryOutcome) override {}
    void CommonPeakFound(const SamplePeak& peak, const std::string& name) override;
    void BatchFinished(const BatchCounts& counts) override;
    void JobEnded() override;
    bool ConfirmCancel() override;
    void CloseCancelled() override;

private:
    void StageStarted(Stage stage, const std::string& path) override;
    void StageProgress(Stage stage, int64_t doneBytes, int64_t totalBytes, int share) override;
    void PeakFound(const SamplePeak& peak) override;
    void StageFinished(Stage stage) override;
    void ReportProblem(Problem problem, const std::string& path) override;

    DialogView& view_;
};

/// The label of a stage's progress ("ﾋﾟｰｸ採取中(65536/100000)").
std::string StageProgressText(Stage stage, int64_t doneBytes, int64_t totalBytes);
/// The closing label of a scan ("ﾋﾟｰｸ採取終了(32767 on 5)").
std::string PeakFoundText(const SamplePeak& peak);
/// The message of a problem with its path; `box` receives the box it belongs in.
std::string ProblemText(Problem problem, const std::string& path, DialogView::Box* box = nullptr);
/// Why a file does not probe, for a ProbeResult below 0; `fallback` (the core's own reason)
/// for a code without words here.
std::string ProbeReason(int probeResult, const std::string& fallback);
/// Title and text of the cancel question.
std::string CancelPromptTitle();
std::string CancelPromptText();

}  // namespace orva
