#pragma once
// Test doubles of the reporting interfaces: they record every event in order, as data.

#include "core/progress.h"
#include "core/sample_kernels.h"

#include <functional>
#include <mutex>
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

/// Records the stage events and the problems, one string per event in order:
/// "start encoding PATH", "progress scan DONE/TOTAL SHARE" (unless `recordProgress` is off),
/// "peak 900 70000", "end normalization", "problem CannotRead PATH". Any thread may report.
class RecordingStages : public StageEvents, public ProblemReports {
public:
    void StageStarted(Stage stage, const std::string& path) override
    {
        Record("start " + Name(stage) + " " + path);
    }
    void StageProgress(Stage stage, int64_t done, int64_t total, int share) override
    {
        if (recordProgress)
            Record("progress " + Name(stage) + " " + std::to_string(done) + "/" + std::to_string(total) + " "
                   + std::to_string(share));
    }
    void PeakFound(const SamplePeak& peak) override
    {
        Record("peak " + PeakText(peak) + " " + std::to_string(peak.position));
    }
    void StageFinished(Stage stage) override { Record("end " + Name(stage)); }
    void ReportProblem(Problem problem, const std::string& path) override
    {
        const char* const names[] = { "CannotRead", "CannotCreate", "WriteFailed", "CannotRename",
                                      "SourceBusy", "DeleteFailed", "EncodeFailed" };
        Record(std::string("problem ") + names[static_cast<int>(problem)] + " " + path);
    }

    std::vector<std::string> Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<std::string> EventsStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const std::string& event : Events())
            if (event.rfind(prefix, 0) == 0)
                found.push_back(event);
        return found;
    }

    bool recordProgress = true;                       ///< set before the work starts
    std::function<void(const std::string&)> onEvent;  ///< runs after each event

protected:
    void Record(const std::string& event)
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        }
        if (onEvent)
            onEvent(event);
    }

private:
    static std::string Name(Stage stage)
    {
        const char* const names[] = { "conversion", "scan", "normalization", "encoding" };
        return names[static_cast<int>(stage)];
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

}  // namespace orva::test
