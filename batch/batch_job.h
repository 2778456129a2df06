#pragma once
// The batch job: normalizes the entries of the file list on a worker thread of its own (or
// several entries at once on as many threads), optionally converting the sample rate first, setting the
// source aside, encoding an MP3 file and announcing each file over SSTP. Its inputs are fixed when it is
// built; it reports only through its events. Paths use "/" as separator.

#include "batch/batch_events.h"
#include "batch/file_list.h"
#include "batch/file_ops.h"
#include "core/result.h"
#include "core/sample_kernels.h"
#include "core/wave_source.h"
#include "loudness/target_gain.h"
#include "loudness/wave_analysis.h"
#include "settings/settings.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace orva {

class Mp3Encoding;

/// Announcements of finished files and of the finished batch.
class BatchNotifier {
public:
    virtual ~BatchNotifier() = default;
    /// After an entry is done; `fileName` is the entry's caption.
    virtual void SendFileMessage(const std::string& fileName) = 0;
    /// After the last entry.
    virtual void SendAllMessage() = 0;
};

/// Sends the announcements over SSTP with the given settings (nothing when disabled there).
std::unique_ptr<BatchNotifier> MakeSstpNotifier(const Settings& settings);

/// The paths of one entry, built by plain concatenation.
struct EntryPaths {
    std::string source;    ///< entry folder + file name
    std::string output;    ///< output folder + file name
    std::string setAside;  ///< entry folder + "_" + file name (the source set aside)
    std::string mp3;       ///< output folder + base name + ".MP3"
};

/// Path helpers. `PrefixedPath("/in/song.wav")` is "/in/_song.wav";
/// `Mp3PathFor("/out/song.wav")` is "/out/song.MP3" (the last extension replaced).
std::string PrefixedPath(const std::string& path);
std::string Mp3PathFor(const std::string& path);
EntryPaths MakeEntryPaths(const FileEntry& entry, const std::string& outputDirectory);

/// The normalization target the settings ask for (TARGETMODE, TARGET, CEILING).
NormalizationTarget TargetFromSettings(const Settings& settings);

/// How a job ended, for callers that report an exit status: its counts (failed entries took
/// none of their later steps) and how it stopped.
struct BatchOutcome : BatchCounts {
    bool cancelled = false;  ///< ended by a confirmed cancel
    bool finished = false;   ///< JobThreadMain has returned or the job was cancelled
};

/// The settings a job runs by, as types, built once from the settings (the target among them).
struct BatchOptions {
    enum class PeakMode { PerFile, Common, Unknown };  ///< Unknown: the job runs no pass
    enum class SourceAction { Keep, Rename, Delete };
    enum class Encoder { None, Gogo, External };

    PeakMode peakMode = PeakMode::PerFile;
    SourceAction sourceAction = SourceAction::Keep;
    int resampleRate = 0;  ///< Hz; 0: the rate stays
    Encoder encoder = Encoder::None;
    NormalizationTarget target;

    static BatchOptions FromSettings(const Settings& settings);
    bool SetsSourceAside() const { return sourceAction != SourceAction::Keep; }
};

/// One entry through its steps: what it works on and what it found. A step touches only its
/// own entry's state (the job's shared parts, its events and announcements, are reached
/// through the job), so that entries could one day run side by side.
struct EntryRun {
    int index = 0;
    int lane = 0;  ///< the worker running the entry: it encodes with that worker's MP3 step
    const FileEntry* entry = nullptr;
    EntryPaths paths;
    WaveSource source;                       ///< open and locked from Begin to the entry's end
    ScopedFileRemoval convertedFile;         ///< the conversion's working file, removed at the end
    WaveSource converted;                    ///< open when the rate was converted
    std::optional<SamplePeak> peak;          ///< the measured peak
    std::unique_ptr<WaveAnalysis> analysis;  ///< what a target needs, when there is one
    bool setAside = false;                   ///< the source stands under its "_" name
    bool originalDeleted = false;
    uint64_t outputSize = 0;         ///< bytes of the complete output
    std::optional<Failure> failure;  ///< why the entry failed, reported when it ends

    /// What is measured and normalized: the converted file, or the source itself.
    const WaveSource& Working() const { return converted.IsOpen() ? converted : source; }
};

class BatchJob {
public:
    /// Everything the job reads, fixed when it is built. The events, the MP3 step, the
    /// notifier and the cancel flag must outlive the job. A null `mp3` means no encoder is
    /// available: the MP3 step encodes nothing. A null `notifier` sends nothing.
    /// `cancelRequested` is the front end's cancel button: set to 1 from any thread; the job
    /// reads it and clears it when the person withdraws the cancel.
    BatchJob(std::vector<FileEntry> entries, std::string outputDirectory, const Settings& settings,
             BatchEvents& events, Mp3Encoding* mp3, BatchNotifier* notifier,
             std::atomic<int>& cancelRequested);
    /// Waits for the worker thread.
    ~BatchJob();

    BatchJob(const BatchJob&) = delete;
    BatchJob& operator=(const BatchJob&) = delete;

    /// Runs up to `jobs` entries at once (1..64; 1, the default, is one after the other).
    /// Worker k encodes with `encodings[k]` (the job's own `mp3` where there is none): two
    /// encodings must not share one encoder component. With more than one job, the events,
    /// the MP3 steps' events and the notifier are called from several threads: the events
    /// must be made safe for that (SerializedBatchEvents); announcements are sent one at a
    /// time, in the order entries finish. Call before Start.
    void SetJobs(int jobs, std::vector<Mp3Encoding*> encodings = {});

    /// Starts the worker thread running JobThreadMain. `onFinished` (optional) runs on the
    /// worker thread as its last action, also after a cancel. Call once.
    void Start(std::function<void(const BatchOutcome&)> onFinished = {});
    /// Blocks until the worker thread has ended; returns at once if it never started.
    void Wait();
    /// The outcome so far (complete once `finished` is true).
    BatchOutcome Outcome() const;

    /// Runs the whole job on the calling thread: JobThreadMain with the cancel unwinding
    /// caught. What the worker thread runs; also for callers that bring their own thread.
    void Run();

    /// The body of the job: reports its start, runs the mode's pass, then reports its end. A confirmed cancel
    /// leaves it by an exception that Run() catches.
    void JobThreadMain();
    /// Per-file peak mode over all entries (PeakMode 0).
    void RunJobPerFilePeak(std::string outputDirectory);
    /// Common peak mode over all entries (PeakMode 1).
    void RunJobCommonPeak(std::string outputDirectory);
    /// The job's cancel point: asks when the cancel flag is set; on Yes reports the close
    /// and unwinds the job to Run(); on No clears the flag and returns.
    void CheckCancel();

private:
    using Step = std::optional<Failure>;
    /// Opens, locks and probes the source; checks that its "_" name is free when it will be
    /// needed.
    Step Begin(EntryRun& run);
    /// Converts the sample rate into a working file, when asked to.
    Step Convert(EntryRun& run);
    /// Measures what the normalization needs: the peak, or the levels a target needs.
    Step Measure(EntryRun& run);
    /// Moves the source to its "_" name while it is still the file that was measured.
    Step SetAside(EntryRun& run);
    /// Writes the output with gain; on failure puts a set-aside source back.
    Step Normalize(EntryRun& run, double gain);
    /// Checks that the output is complete and on stable storage before its original may go.
    Step CheckOutput(EntryRun& run);
    /// Deletes the set-aside original while it is still the file that was measured.
    Step DeleteOriginal(EntryRun& run);
    /// The MP3 step for the entry's output.
    Step EncodeMp3(EntryRun& run);
    /// The steps after the normalization: deleting the original (unless deferDelete), the
    /// MP3 step and, unless deferDelete, the announcement. Nothing when all is done so far.
    std::optional<EntryOutcome> Finish(EntryRun& run, bool deferDelete);
    /// The gain of one entry in the per-file mode.
    double GainFor(const EntryRun& run) const;
    /// Every step of one entry in the per-file mode.
    EntryOutcome ProcessEntry(EntryRun& run);
    /// Records a failed step and gives the outcome it leads to.
    EntryOutcome Fail(EntryRun& run, Failure failure, EntryOutcome outcome);
    /// Reports the entry's failure (once), counts its outcome and reports it.
    void EndEntry(EntryRun& run, EntryOutcome outcome);
    /// The end-of-batch announcement and caption, common to both modes.
    void FinishBatch();
    /// Announces a finished entry.
    void SendFileMessage(const EntryRun& run);
    /// Reports a confirmed cancel (and the originals it leaves set aside), then closes.
    void ReportCancel();
    /// Runs body(index, lane) for every index below n: one after the other, or on up to
    /// jobs_ threads, each taking the next index. A confirmed cancel or an error on one
    /// stops the others taking more; once all have stopped it is passed on.
    void ForEachEntry(size_t n, const std::function<void(size_t, int)>& body);
    Mp3Encoding* EncoderFor(int lane) const;
    bool IsBatchFile(const std::string& path) const;

    const std::vector<FileEntry> entries_;
    std::set<std::string> batchFiles_;  ///< every entry's source and output path
    std::mutex mp3FilesMutex_;
    std::set<std::string> mp3Files_;  ///< MP3 files this batch has written or is writing
    const std::string outputDirectory_;
    const BatchOptions options_;
    /// Common mode: the entries whose originals wait under their "_" names for the end.
    std::vector<EntryRun>* commonRuns_ = nullptr;
    BatchEvents& events_;
    Mp3Encoding* const mp3_;
    BatchNotifier* const notifier_;
    std::atomic<int>& cancelRequested_;
    int jobs_ = 1;
    std::vector<Mp3Encoding*> encodings_;
    std::mutex notifyMutex_;
    /// With several jobs: the cancel question is asked by one worker at a time, and once
    /// confirmed the others stop at their next cancel point without asking again.
    std::mutex cancelMutex_;
    bool cancelConfirmed_ = false;

    mutable std::mutex outcomeMutex_;
    BatchOutcome outcome_;
    std::thread thread_;
};

}  // namespace orva
