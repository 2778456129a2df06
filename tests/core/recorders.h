#pragma once
// Test doubles of the reporting interfaces: they record every event in order, worded as the
// processing dialog words them (Japanese unless a test chooses otherwise).

#include "core/progress.h"
#include "core/sample_kernels.h"
#include "text/processing_words.h"

#include <string>
#include <vector>

namespace orva::test {

/// An integer peak of an 8- or 16-bit file.
inline SamplePeak IntPeak(int bits, int64_t magnitude)
{
    SamplePeak peak;
    peak.format = bits == 8 ? SampleFormat::U8 : SampleFormat::S16;
    peak.magnitude = magnitude;
    return peak;
}

/// The labels and bar positions that the stage events put on their dialog row.
struct RecordingRow final : StageEvents, private DialogView {
    RecordingRow() : presenter(static_cast<DialogView&>(*this)) {}
    void StageStarted(Stage stage, const std::string& path) override
    {
        presenter.Stages().StageStarted(stage, path);
    }
    void StageProgress(Stage stage, int64_t done, int64_t total, int share) override
    {
        presenter.Stages().StageProgress(stage, done, total, share);
    }
    void PeakFound(int peak, int64_t sampleIndex) override
    {
        presenter.Stages().PeakFound(peak, sampleIndex);
    }
    void StageFinished(Stage stage) override { presenter.Stages().StageFinished(stage); }

    std::vector<std::string> labels;
    std::vector<int> positions;

private:
    void SetRowLabel(int, const std::string& text) override { labels.push_back(text); }
    void SetRowPosition(int, int position) override { positions.push_back(position); }
    void SetCaption(const std::string&) override {}
    void SetOkEnabled(bool) override {}
    void SetCancelEnabled(bool) override {}
    void ShowMessage(Box, const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void CloseCancelled() override {}

    DialogPresenter presenter;
};

/// The texts of the problems reported.
struct RecordingBoxes final : ProblemReports {
    void ReportProblem(Problem problem, const std::string& path) override
    {
        messages.push_back(ProblemText(problem, path));
    }
    std::vector<std::string> messages;
};

}  // namespace orva::test
