#pragma once
// What the audio core and the batch job report while they work: events as data, never
// words. The front ends word them (the desktop window on its dialog rows, orva-cli on the
// terminal, in the language of the locale), and tests record them.

#include "core/sample_kernels.h"

#include <cstdint>
#include <string>

namespace orva {

/// The stages a file goes through.
enum class Stage {
    Conversion,     ///< sample-rate conversion into a working file
    Scan,           ///< reading the samples for their peak
    Normalization,  ///< writing the scaled output
    Encoding,       ///< the MP3 step
};

/// What went wrong with a file; the path it concerns travels with it.
enum class Problem {
    CannotRead,    ///< the file cannot be read (properly)
    CannotCreate,  ///< the output cannot be created
    WriteFailed,   ///< writing the output failed
    CannotRename,  ///< the source cannot be set aside under its "_" name
    SourceBusy,    ///< another batch is processing the source
    DeleteFailed,  ///< the source set aside cannot be deleted
    EncodeFailed,  ///< the MP3 step failed for this output
};

/// The bar's position for part of whole: 1000 * part / whole, truncated toward zero and kept
/// within 0..1000 (a header may declare a length shorter than the data it holds).
inline int BarPosition(double part, double whole)
{
    const double position = 1000.0 * part / whole;
    if (!(position >= 0.0))
        return 0;
    return position >= 1000.0 ? 1000 : static_cast<int>(position);
}

/// Progress of the stages of one file. Called on the thread doing the work.
class StageEvents {
public:
    virtual ~StageEvents() = default;
    /// A stage began on `path` (reported by the stages that have no progress of their own).
    virtual void StageStarted(Stage stage, const std::string& path) = 0;
    /// `doneBytes` of `totalBytes` of the stage's data are done; `share` (0..1000) is the
    /// part of the whole file behind it, which the bar shows.
    virtual void StageProgress(Stage stage, int64_t doneBytes, int64_t totalBytes, int share) = 0;
    /// The scan found `peak` (in the file's own scale; first reached at `peak.position`).
    virtual void PeakFound(const SamplePeak& peak) = 0;
    /// The stage completed.
    virtual void StageFinished(Stage stage) = 0;
};

/// Problems the person must see. Blocks the calling thread until they have seen it.
class ProblemReports {
public:
    virtual ~ProblemReports() = default;
    virtual void ReportProblem(Problem problem, const std::string& path) = 0;
};

/// Reports nothing (for callers that want no progress).
class NullStageEvents final : public StageEvents {
public:
    void StageStarted(Stage, const std::string&) override {}
    void StageProgress(Stage, int64_t, int64_t, int) override {}
    void PeakFound(const SamplePeak&) override {}
    void StageFinished(Stage) override {}
};

}  // namespace orva
