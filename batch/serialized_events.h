#pragma once
// The batch events of a front end, delivered one at a time: a job that runs several entries
// at once calls them from several threads, and a front end written for one caller then sees
// every call complete before the next begins. A blocking call (a problem report, the cancel
// question) holds the other threads at their next event until it is answered.

#include "batch/batch_events.h"

#include <mutex>

namespace orva {

class SerializedBatchEvents final : public BatchEvents, private StageEvents, private ProblemReports {
public:
    explicit SerializedBatchEvents(BatchEvents& events) : events_(events) {}

    StageEvents& Stages() override { return *this; }
    ProblemReports& Problems() override { return *this; }
    void JobStarted() override
    {
        Locked([&] { events_.JobStarted(); });
    }
    void PassStarted() override
    {
        Locked([&] { events_.PassStarted(); });
    }
    void EntryStarted(EntryStep step, int index, int count, const std::string& name) override
    {
        Locked([&] { events_.EntryStarted(step, index, count, name); });
    }
    void EntryFinished(int index, EntryOutcome outcome) override
    {
        Locked([&] { events_.EntryFinished(index, outcome); });
    }
    void CommonPeakFound(const SamplePeak& peak, const std::string& name) override
    {
        Locked([&] { events_.CommonPeakFound(peak, name); });
    }
    void BatchFinished(const BatchCounts& counts) override
    {
        Locked([&] { events_.BatchFinished(counts); });
    }
    void JobEnded() override
    {
        Locked([&] { events_.JobEnded(); });
    }
    bool ConfirmCancel() override
    {
        bool confirmed = false;
        Locked([&] { confirmed = events_.ConfirmCancel(); });
        return confirmed;
    }
    void CloseCancelled() override
    {
        Locked([&] { events_.CloseCancelled(); });
    }

private:
    void StageStarted(Stage stage, const std::string& path) override
    {
        Locked([&] { events_.Stages().StageStarted(stage, path); });
    }
    void StageProgress(Stage stage, int64_t doneBytes, int64_t totalBytes, int share) override
    {
        Locked([&] { events_.Stages().StageProgress(stage, doneBytes, totalBytes, share); });
    }
    void PeakFound(const SamplePeak& peak) override
    {
        Locked([&] { events_.Stages().PeakFound(peak); });
    }
    void StageFinished(Stage stage) override
    {
        Locked([&] { events_.Stages().StageFinished(stage); });
    }
    void ReportProblem(Problem problem, const std::string& path) override
    {
        Locked([&] { events_.Problems().ReportProblem(problem, path); });
    }

    // Recursive: a front end may report from inside one of its own calls.
    template <typename Call> void Locked(Call call)
    {
        std::lock_guard lock(mutex_);
        call();
    }

    BatchEvents& events_;
    std::recursive_mutex mutex_;
};

}  // namespace orva
