#include "batch/batch_job.h"

#include "batch/file_ops.h"
#include "batch/mp3_encoding.h"
#include "core/byte_io.h"
#include "core/normalize.h"
#include "core/output_file.h"
#include "core/peak_scan.h"
#include "core/resample.h"
#include "core/wave_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

namespace orva {
namespace {

/// Thrown by CheckCancel after a confirmed cancel; caught only in BatchJob::Run.
struct JobCancelled {};

// Runs one entry's steps: whatever they throw (memory running out on a hostile file) fails
// that entry alone. A confirmed cancel is no exception of this kind and passes.
template <typename Steps> auto Guarded(EntryRun& run, Steps steps) -> decltype(steps())
{
    try {
        return steps();
    } catch (const std::exception&) {
        run.failure = Failure { Problem::CannotRead, run.paths.source };
        return EntryOutcome::LeftOut;
    }
}

// True when the entry's output may take its name: not a file this batch has produced or
// still reads, nor an existing "_" file.
bool OutputNameIsFree(const EntryPaths& paths)
{
    const ReplaceGuard* guard = ReplaceGuard::Current();
    return guard == nullptr || !guard->Forbids(paths.output, paths.source);
}

}  // namespace

std::string PrefixedPath(const std::string& path)
{
    const auto slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "_" + path.substr(nameStart);
}

std::string Mp3PathFor(const std::string& path)
{
    const auto slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    const size_t baseEnd = (dot == std::string::npos || dot < nameStart) ? path.size() : dot;
    return path.substr(0, baseEnd) + ".MP3";
}

EntryPaths MakeEntryPaths(const FileEntry& entry, const std::string& outputDirectory)
{
    EntryPaths paths;
    paths.source = entry.FullPath();
    paths.output = outputDirectory + entry.caption;
    paths.setAside = PrefixedPath(paths.source);
    paths.mp3 = Mp3PathFor(paths.output);
    return paths;
}

BatchOptions BatchOptions::FromSettings(const Settings& settings)
{
    BatchOptions options;
    options.peakMode = settings.PeakMode == 0 ? PeakMode::PerFile
        : settings.PeakMode == 1              ? PeakMode::Common
                                              : PeakMode::Unknown;
    options.sourceAction = settings.SourceFileAction == 0 ? SourceAction::Keep
        : settings.SourceFileAction == 2                  ? SourceAction::Delete
                                                          : SourceAction::Rename;
    options.resampleRate = settings.ResampleRate >= 1 ? settings.ResampleRate : 0;
    options.encoder = settings.Mp3Bitrate < 1 ? Encoder::None
        : settings.EncoderKind == 0           ? Encoder::Gogo
        : settings.EncoderKind == 1           ? Encoder::External
                                              : Encoder::None;
    options.target = TargetFromSettings(settings);
    return options;
}

BatchJob::BatchJob(std::vector<FileEntry> entries, std::string outputDirectory, const Settings& settings,
                   BatchEvents& events, Mp3Encoding* mp3, BatchNotifier* notifier,
                   std::atomic<int>& cancelRequested)
    : entries_(std::move(entries)), outputDirectory_(std::move(outputDirectory)),
      options_(BatchOptions::FromSettings(settings)), events_(events), mp3_(mp3), notifier_(notifier),
      cancelRequested_(cancelRequested)
{
    outcome_.entryCount = static_cast<int>(entries_.size());
    for (const FileEntry& entry : entries_) {
        const EntryPaths paths = MakeEntryPaths(entry, outputDirectory_);
        batchFiles_.insert(paths.source);
        batchFiles_.insert(paths.output);
    }
}

BatchJob::~BatchJob()
{
    // Destroyed from its own onFinished callback: the thread is ending anyway.
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    Wait();
}

void BatchJob::SetJobs(int jobs, std::vector<Mp3Encoding*> encodings)
{
    jobs_ = std::clamp(jobs, 1, 64);
    encodings_ = std::move(encodings);
}

Mp3Encoding* BatchJob::EncoderFor(int lane) const
{
    const auto at = static_cast<size_t>(lane);
    return at < encodings_.size() && encodings_[at] != nullptr ? encodings_[at] : mp3_;
}

void BatchJob::ForEachEntry(size_t n, const std::function<void(size_t, int)>& body)
{
    if (jobs_ == 1) {
        for (size_t i = 0; i < n; ++i)
            body(i, 0);
        return;
    }
    std::atomic<size_t> next { 0 };
    std::atomic<bool> stop { false };
    std::mutex endMutex;
    std::exception_ptr error;
    bool cancelled = false;
    ReplaceGuard* const guard = ReplaceGuard::Current();
    const auto work = [&](int lane) {
        const ReplaceGuard::Share shared(guard);
        try {
            for (size_t i = next++; i < n && !stop.load(); i = next++)
                body(i, lane);
        } catch (const JobCancelled&) {
            stop.store(true);
            std::lock_guard lock(endMutex);
            cancelled = true;
        } catch (...) {
            stop.store(true);
            std::lock_guard lock(endMutex);
            if (!error)
                error = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    const int count = static_cast<int>(std::min<size_t>(static_cast<size_t>(jobs_), n));
    try {
        for (int lane = 1; lane < count; ++lane)
            workers.emplace_back(work, lane);
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the ones there share the entries.
    }
    work(0);
    for (std::thread& worker : workers)
        worker.join();
    if (error)
        std::rethrow_exception(error);
    if (cancelled) {
        ReportCancel();
        throw JobCancelled {};
    }
}

void BatchJob::Start(std::function<void(const BatchOutcome&)> onFinished)
{
    try {
        thread_ = std::thread([this, onFinished] {
            Run();
            if (onFinished)
                onFinished(Outcome());
        });
    } catch (const std::system_error&) {
        // No worker thread: nothing of the job runs, but the dialog must still be closable,
        // and no entry counts as done.
        events_.JobEnded();
        {
            std::lock_guard lock(outcomeMutex_);
            outcome_.failedCount = outcome_.entryCount;
            outcome_.finished = true;
        }
        if (onFinished)
            onFinished(Outcome());
    }
}

void BatchJob::Wait()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

BatchOutcome BatchJob::Outcome() const
{
    std::lock_guard lock(outcomeMutex_);
    return outcome_;
}

void BatchJob::Run()
{
    bool cancelled = false;
    try {
        JobThreadMain();
    } catch (const JobCancelled&) {
        cancelled = true;
    } catch (const std::exception&) {
        // Nothing the job calls is meant to throw; should something do so anyway, the job
        // ends here and the dialog can still be closed with OK.
        events_.JobEnded();
    }
    commonRuns_ = nullptr;
    std::lock_guard lock(outcomeMutex_);
    outcome_.cancelled = cancelled;
    outcome_.finished = true;
}

void BatchJob::JobThreadMain()
{
    events_.JobStarted();
    std::vector<std::string> sources;
    for (const FileEntry& entry : entries_)
        sources.push_back(entry.FullPath());
    const ReplaceGuard guard(sources);
    RemoveStaleTemporaries(outputDirectory_.empty() ? "." : outputDirectory_);
    if (options_.peakMode == BatchOptions::PeakMode::PerFile)
        RunJobPerFilePeak(outputDirectory_);
    else if (options_.peakMode == BatchOptions::PeakMode::Common)
        RunJobCommonPeak(outputDirectory_);
    events_.JobEnded();
}

void BatchJob::CheckCancel()
{
    if (jobs_ > 1) {
        // The close waits until every worker has stopped (ForEachEntry reports it).
        std::lock_guard lock(cancelMutex_);
        if (cancelConfirmed_)
            throw JobCancelled {};
        if (cancelRequested_.load() == 0)
            return;
        if (events_.ConfirmCancel()) {
            cancelConfirmed_ = true;
            throw JobCancelled {};
        }
        cancelRequested_.store(0);
        return;
    }
    if (cancelRequested_.load() == 0)
        return;
    if (events_.ConfirmCancel()) {
        ReportCancel();
        throw JobCancelled {};
    }
    cancelRequested_.store(0);
}

void BatchJob::ReportCancel()
{
    // The common mode's originals wait under their "_" names until every output is
    // complete: a cancel leaves them there, and says so.
    if (commonRuns_ != nullptr) {
        for (const EntryRun& run : *commonRuns_) {
            if (run.setAside && !run.originalDeleted
                && options_.sourceAction == BatchOptions::SourceAction::Delete)
                events_.Problems().ReportProblem(Problem::DeleteFailed, run.paths.setAside);
        }
    }
    events_.CloseCancelled();
}

void BatchJob::SendFileMessage(const EntryRun& run)
{
    if (notifier_ == nullptr)
        return;
    std::lock_guard lock(notifyMutex_);
    notifier_->SendFileMessage(run.entry->caption);
}

BatchJob::Step BatchJob::Begin(EntryRun& run)
{
    Result<WaveSource> opened = WaveSource::Open(run.paths.source, WaveSource::Locking::Exclusive);
    if (!opened && opened.Error().problem == Problem::SourceBusy)
        return opened.Error();
    // A file under the "_" name may be the only copy of some audio (an earlier run's
    // original, set aside): it is never replaced, and the entry touches nothing.
    if (options_.SetsSourceAside() && PathExists(run.paths.setAside))
        return Failure { Problem::CannotRename, run.paths.source };
    if (!OutputNameIsFree(run.paths))
        return Failure { Problem::CannotCreate, run.paths.output };
    if (!opened)
        return opened.Error();
    run.source = std::move(*opened);
    if (Result<Done> probed = run.source.Probe(); !probed)
        return probed.Error();
    return std::nullopt;
}

BatchJob::Step BatchJob::Convert(EntryRun& run)
{
    if (options_.resampleRate == 0)
        return std::nullopt;
    // The converted samples go to a hidden file of a name no user file has, in the output
    // folder (the source folder may be read-only); it goes on every path out of the entry.
    run.convertedFile.Set(MakeTemporaryPath(run.paths.output));
    if (run.convertedFile.Path().empty())
        return Failure { Problem::CannotCreate, run.paths.output };
    Result<WaveSource> converted =
        ConvertSource(events_.Stages(), run.source, run.convertedFile.Path(), options_.resampleRate);
    if (!converted) {
        if (converted.Error().problem == Problem::CannotRead && converted.Error().path == run.source.Path())
            return converted.Error();
        return Failure { Problem::CannotCreate, run.paths.output };
    }
    run.converted = std::move(*converted);
    return std::nullopt;
}

BatchJob::Step BatchJob::Measure(EntryRun& run)
{
    const WaveSource& working = run.Working();
    if (options_.target.IsClassic()) {
        Result<SamplePeak> peak = ScanPeak(events_.Stages(), working);
        if (!peak)
            return peak.Error();
        run.peak = *peak;
        return std::nullopt;
    }
    // A loudness that is not measurable leaves the file as it is (gain 1).
    run.analysis = std::make_unique<WaveAnalysis>();
    std::string error;
    if (!AnalyzeWaveSource(events_.Stages(), working, *run.analysis, error))
        return Failure { Problem::CannotRead, working.Path() };
    run.peak = PeakOf(*run.analysis);
    return std::nullopt;
}

BatchJob::Step BatchJob::SetAside(EntryRun& run)
{
    if (!options_.SetsSourceAside())
        return std::nullopt;
    // Nothing under the "_" name is ever replaced or deleted (Begin refused an existing one;
    // this catches one that appeared since), nor is a name this batch will write; and only
    // the very file that was measured is moved.
    if (IsBatchFile(run.paths.setAside) || !run.source.IsFileAt(run.paths.source)
        || !RenameWithoutReplace(run.paths.source, run.paths.setAside))
        return Failure { Problem::CannotRename, run.paths.source };
    run.setAside = true;
    run.source.SetPath(run.paths.setAside);
    return std::nullopt;
}

BatchJob::Step BatchJob::Normalize(EntryRun& run, double gain)
{
    const WaveSource& working = run.Working();
    Result<uint64_t> written = run.peak && run.peak->format != working.Info().sampleFormat
        ? Result<uint64_t>(Failure { Problem::CannotRead, working.Path() })
        : NormalizeSource(events_.Stages(), working, run.paths.output, gain);
    if (written) {
        run.outputSize = *written;
        std::lock_guard lock(outcomeMutex_);
        ++outcome_.normalizedCount;
        return std::nullopt;
    }
    // The output did not appear: a set-aside source goes back to its name, unless the
    // failure names it where it is.
    if (run.setAside && written.Error().path != run.source.Path()) {
        if (run.source.IsFileAt(run.paths.setAside)
            && RenameWithoutReplace(run.paths.setAside, run.paths.source)) {
            run.setAside = false;
            run.source.SetPath(run.paths.source);
        } else {
            events_.Problems().ReportProblem(written.Error().problem, written.Error().path);
            return Failure { Problem::CannotRename, run.paths.setAside };
        }
    }
    return written.Error();
}

BatchJob::Step BatchJob::CheckOutput(EntryRun& run)
{
    // The set-aside source is the user's only copy of the audio: it goes only once the output
    // is complete (it probes, holds what was written) and on stable storage, so that a crash
    // right after cannot lose both.
    // A source holding bytes after its form holds audio or data the output does not carry.
    WaveFileInfo info {};
    if (run.source.Info().trailingBytes != 0 || ProbeWaveFile(run.paths.output, info) < 0
        || FileSizeAt(run.paths.output) != static_cast<int64_t>(run.outputSize)
        || !FlushToStableStorage(run.paths.output))
        return Failure { Problem::DeleteFailed, run.paths.setAside };
    return std::nullopt;
}

BatchJob::Step BatchJob::DeleteOriginal(EntryRun& run)
{
    // Checked after the flushes, right before the unlink: only the very file that was
    // measured, unchanged, is deleted.
    if (!run.source.IsFileAt(run.paths.setAside) || !DeleteFileAt(run.paths.setAside))
        return Failure { Problem::DeleteFailed, run.paths.setAside };
    run.originalDeleted = true;
    return std::nullopt;
}

BatchJob::Step BatchJob::EncodeMp3(EntryRun& run)
{
    Mp3Encoding* const encoder = EncoderFor(run.lane);
    if (options_.encoder == BatchOptions::Encoder::None || encoder == nullptr)
        return std::nullopt;
    const std::string& output = run.paths.output;
    const std::string mp3 = Mp3PathFor(output);
    // "song.wav" and "song.WAV" both give "song.MP3": the second must not replace the first.
    // The name is taken before the encoding starts, so that two running at once cannot both
    // find it free; a failed encoding gives it back.
    {
        const ReplaceGuard* guard = ReplaceGuard::Current();
        std::lock_guard lock(mp3FilesMutex_);
        if (mp3Files_.count(mp3) != 0 || IsBatchFile(mp3) || (guard != nullptr && guard->Forbids(mp3)))
            return Failure { Problem::EncodeFailed, output };
        mp3Files_.insert(mp3);
    }
    const Mp3Encoding::CancelPoint cancelPoint = [this] { CheckCancel(); };
    int result = -1;
    try {
        result = options_.encoder == BatchOptions::Encoder::Gogo
            ? encoder->EncodeWithGogo(output, mp3, cancelPoint)
            : encoder->EncodeWithExternalEncoder(output, mp3, cancelPoint);
    } catch (...) {
        std::lock_guard lock(mp3FilesMutex_);
        mp3Files_.erase(mp3);
        throw;
    }
    if (result < 0) {
        std::lock_guard lock(mp3FilesMutex_);
        mp3Files_.erase(mp3);
        return Failure { Problem::EncodeFailed, output, 0, true };
    }
    return std::nullopt;
}

std::optional<EntryOutcome> BatchJob::Finish(EntryRun& run, bool deferDelete)
{
    CheckCancel();
    if (options_.sourceAction == BatchOptions::SourceAction::Delete) {
        Step failed = CheckOutput(run);
        if (!failed && !deferDelete)
            failed = DeleteOriginal(run);
        if (failed)
            return Fail(run, *failed, EntryOutcome::LaterStepFailed);
    }
    if (Step failed = EncodeMp3(run))
        return Fail(run, *failed, EntryOutcome::LaterStepFailed);
    CheckCancel();
    if (deferDelete)
        return std::nullopt;
    SendFileMessage(run);
    return EntryOutcome::Done;
}

double BatchJob::GainFor(const EntryRun& run) const
{
    if (options_.target.IsClassic())
        return FullScaleGain(*run.peak);
    return TargetGain(options_.target, InputsOf(*run.analysis)).value_or(1.0);
}

EntryOutcome BatchJob::Fail(EntryRun& run, Failure failure, EntryOutcome outcome)
{
    run.failure = std::move(failure);
    return outcome;
}

void BatchJob::RunJobPerFilePeak(std::string outputDirectory)
{
    const int n = static_cast<int>(entries_.size());
    events_.PassStarted();
    ForEachEntry(entries_.size(), [&](size_t i, int lane) {
        EntryRun run;
        run.index = static_cast<int>(i);
        run.lane = lane;
        run.entry = &entries_[i];
        run.paths = MakeEntryPaths(*run.entry, outputDirectory);
        events_.EntryStarted(EntryStep::Process, run.index, n, run.entry->caption);
        EndEntry(run, Guarded(run, [&] { return ProcessEntry(run); }));
    });
    FinishBatch();
}

EntryOutcome BatchJob::ProcessEntry(EntryRun& run)
{
    if (Step failed = Begin(run))
        return Fail(run, *failed, EntryOutcome::LeftOut);
    if (Step failed = Convert(run))
        return Fail(run, *failed, EntryOutcome::LeftOut);
    CheckCancel();
    if (Step failed = Measure(run))
        return Fail(run, *failed, EntryOutcome::LeftOut);
    CheckCancel();
    if (Step failed = SetAside(run))
        return Fail(run, *failed, EntryOutcome::LeftOut);
    const double gain = GainFor(run);
    if (run.analysis)
        events_.TargetGainFound(run.analysis->levels, gain);
    if (Step failed = Normalize(run, gain))
        return Fail(run, *failed, EntryOutcome::LeftOut);
    return *Finish(run, false);
}

void BatchJob::RunJobCommonPeak(std::string outputDirectory)
{
    const size_t n = entries_.size();
    events_.PassStarted();
    // Every source stays open and locked from its scan to the end of its steps.
    std::vector<EntryRun> runs(n);
    commonRuns_ = &runs;
    // The start command let only files of one sample format in: their peaks compare.
    // One flag per entry that its worker alone writes (vector<bool> packs them into shared words).
    std::vector<char> scanned(n, 0);
    ForEachEntry(n, [&](size_t i, int lane) {
        EntryRun& run = runs[i];
        run.index = static_cast<int>(i);
        run.lane = lane;
        run.entry = &entries_[i];
        run.paths = MakeEntryPaths(*run.entry, outputDirectory);
        events_.EntryStarted(EntryStep::ScanForCommonPeak, run.index, static_cast<int>(n),
                             run.entry->caption);
        const EntryOutcome outcome = Guarded(run, [&] {
            Step failed = Begin(run);
            if (!failed)
                failed = Measure(run);
            return failed ? Fail(run, *failed, EntryOutcome::LeftOut) : EntryOutcome::Scanned;
        });
        scanned[i] = outcome == EntryOutcome::Scanned;
        if (!scanned[i])
            run.source.Close();
        EndEntry(run, outcome);
        CheckCancel();
    });
    std::optional<SamplePeak> commonPeak;
    size_t loudest = 0;
    for (size_t i = 0; i < n; ++i) {
        if (scanned[i] && (!commonPeak || runs[i].peak->LouderThan(*commonPeak))) {
            commonPeak = runs[i].peak;
            loudest = i;
        }
    }
    // With no file scanned the empty peak stands for the smallest one (1).
    if (n > 0)
        events_.CommonPeakFound(commonPeak.value_or(SamplePeak {}), entries_[loudest].caption);
    // One gain for the album: from the largest peak, or the loudness of all files together.
    double albumGain = commonPeak ? FullScaleGain(*commonPeak) : 1.0;
    if (!options_.target.IsClassic()) {
        std::vector<GainInputs> inputs;
        std::vector<const LoudnessMeter*> meters;
        for (const EntryRun& run : runs) {
            if (run.analysis) {
                inputs.push_back(InputsOf(*run.analysis));
                meters.push_back(run.analysis->meter.get());
            }
        }
        const double albumLufs =
            options_.target.mode == TargetMode::Loudness ? AlbumLoudness(meters) : -HUGE_VAL;
        albumGain = TargetGain(options_.target, AlbumInputs(inputs, albumLufs)).value_or(1.0);
    }

    // Deleting waits until every entry has its complete output: a batch that stops half way
    // leaves every original, so that it can be run again.
    const bool deferDelete = options_.sourceAction == BatchOptions::SourceAction::Delete;
    std::vector<EntryRun*> waiting;
    std::mutex waitingMutex;
    ForEachEntry(n, [&](size_t i, int lane) {
        EntryRun& run = runs[i];
        run.lane = lane;
        run.analysis.reset();
        // An entry whose scan failed has no measured peak: normalizing it with the common
        // peak could push its samples past full scale, so it is left as it is.
        if (!scanned[i])
            return;
        // Outputs of earlier entries may stand under this name since the scan.
        Step failed =
            OutputNameIsFree(run.paths) ? SetAside(run) : Failure { Problem::CannotCreate, run.paths.output };
        if (failed) {
            EndEntry(run, Fail(run, *failed, EntryOutcome::LeftOut));
            return;
        }
        events_.EntryStarted(EntryStep::ProcessWithCommonPeak, run.index, static_cast<int>(n),
                             run.entry->caption);
        if (options_.target.IsClassic())
            run.peak = commonPeak;
        else if (run.analysis)
            events_.TargetGainFound(run.analysis->levels, albumGain);
        std::optional<EntryOutcome> outcome;
        outcome = Guarded(run, [&] {
            if (Step normalizeFailed = Normalize(run, albumGain))
                return std::optional(Fail(run, *normalizeFailed, EntryOutcome::LeftOut));
            return Finish(run, deferDelete);
        });
        if (!outcome) {
            std::lock_guard lock(waitingMutex);
            waiting.push_back(&run);
            return;
        }
        EndEntry(run, *outcome);
        // A later step failed: the original stays set aside, and the batch says where.
        if (deferDelete && run.setAside && run.failure && run.failure->path != run.paths.setAside)
            events_.Problems().ReportProblem(Problem::DeleteFailed, run.paths.setAside);
        run.source.Close();
    });
    // The deletes and announcements below go in the list's order, however the entries ran.
    std::sort(waiting.begin(), waiting.end(),
              [](const EntryRun* a, const EntryRun* b) { return a->index < b->index; });

    const bool everyOutputComplete = waiting.size() == n;
    for (EntryRun* run : waiting) {
        if (Step failed = everyOutputComplete ? DeleteOriginal(*run)
                                              : Failure { Problem::DeleteFailed, run->paths.setAside })
            Fail(*run, *failed, EntryOutcome::LaterStepFailed);
    }
    for (EntryRun* run : waiting) {
        if (run->failure) {
            EndEntry(*run, EntryOutcome::LaterStepFailed);
            continue;
        }
        SendFileMessage(*run);
        EndEntry(*run, EntryOutcome::Done);
    }
    commonRuns_ = nullptr;
    FinishBatch();
}

void BatchJob::FinishBatch()
{
    if (notifier_)
        notifier_->SendAllMessage();
    const BatchCounts counts = Outcome();
    events_.BatchFinished(counts);
}

void BatchJob::EndEntry(EntryRun& run, EntryOutcome outcome)
{
    if (run.failure && !run.failure->reported) {
        events_.Problems().ReportProblem(run.failure->problem, run.failure->path);
        run.failure->reported = true;
    }
    if (outcome == EntryOutcome::LeftOut || outcome == EntryOutcome::LaterStepFailed) {
        std::lock_guard lock(outcomeMutex_);
        ++outcome_.failedCount;
    }
    events_.EntryFinished(run.index, outcome);
}

bool BatchJob::IsBatchFile(const std::string& path) const { return batchFiles_.count(path) != 0; }

NormalizationTarget TargetFromSettings(const Settings& settings)
{
    NormalizationTarget target;
    target.mode = settings.TargetMode == 1 ? TargetMode::TruePeak
        : settings.TargetMode == 2         ? TargetMode::Loudness
                                           : TargetMode::SamplePeak;
    target.levelTenths = settings.Target;
    target.ceilingTenths = settings.Ceiling;
    return target;
}

}  // namespace orva
