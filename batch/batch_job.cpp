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
#include <optional>
#include <system_error>
#include <utility>

namespace orva {
namespace {

/// Thrown by CheckCancel after a confirmed cancel; caught only in BatchJob::Run.
struct JobCancelled {};

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

BatchJob::BatchJob(std::vector<FileEntry> entries, std::string outputDirectory, Settings settings,
                   BatchEvents& events, Mp3Encoding* mp3, BatchNotifier* notifier,
                   std::atomic<int>& cancelRequested)
    : m_entries(std::move(entries)), m_outputDirectory(std::move(outputDirectory)),
      m_settings(std::move(settings)), m_options(BatchOptions::FromSettings(m_settings)),
      m_target(m_options.target), m_events(events), m_mp3(mp3), m_notifier(notifier),
      m_cancelRequested(cancelRequested)
{
    m_outcome.entryCount = static_cast<int>(m_entries.size());
    for (const FileEntry& entry : m_entries) {
        const EntryPaths paths = MakeEntryPaths(entry, m_outputDirectory);
        m_batchFiles.insert(paths.source);
        m_batchFiles.insert(paths.output);
    }
}

BatchJob::~BatchJob()
{
    // Destroyed from its own onFinished callback: the thread is ending anyway.
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    Wait();
}

void BatchJob::Start(std::function<void(const BatchOutcome&)> onFinished)
{
    try {
        m_thread = std::thread([this, onFinished] {
            Run();
            if (onFinished)
                onFinished(Outcome());
        });
    } catch (const std::system_error&) {
        // No worker thread: nothing of the job runs, but the dialog must still be closable.
        m_events.JobEnded();
        {
            std::lock_guard lock(m_outcomeMutex);
            m_outcome.finished = true;
        }
        if (onFinished)
            onFinished(Outcome());
    }
}

void BatchJob::Wait()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

BatchOutcome BatchJob::Outcome() const
{
    std::lock_guard lock(m_outcomeMutex);
    return m_outcome;
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
        m_events.JobEnded();
    }
    m_commonRuns = nullptr;
    std::lock_guard lock(m_outcomeMutex);
    m_outcome.cancelled = cancelled;
    m_outcome.finished = true;
}

void BatchJob::JobThreadMain()
{
    m_events.JobStarted();
    if (m_options.peakMode == BatchOptions::PeakMode::PerFile)
        RunJobPerFilePeak(m_outputDirectory);
    else if (m_options.peakMode == BatchOptions::PeakMode::Common)
        RunJobCommonPeak(m_outputDirectory);
    m_events.JobEnded();
}

void BatchJob::CheckCancel()
{
    if (m_cancelRequested.load() == 0)
        return;
    if (m_events.ConfirmCancel()) {
        // The common mode's originals wait under their "_" names until every output is
        // complete: a cancel leaves them there, and says so.
        if (m_commonRuns != nullptr) {
            for (const EntryRun& run : *m_commonRuns) {
                if (run.setAside && !run.originalDeleted
                    && m_options.sourceAction == BatchOptions::SourceAction::Delete)
                    m_events.Problems().ReportProblem(Problem::DeleteFailed, run.paths.setAside);
            }
        }
        m_events.CloseCancelled();
        throw JobCancelled {};
    }
    m_cancelRequested.store(0);
}

BatchJob::Step BatchJob::Begin(EntryRun& run)
{
    Result<WaveSource> opened = WaveSource::Open(run.paths.source, WaveSource::Locking::Exclusive);
    if (!opened && opened.Error().problem == Problem::SourceBusy)
        return opened.Error();
    // A file under the "_" name may be the only copy of some audio (an earlier run's
    // original, set aside): it is never replaced, and the entry touches nothing.
    if (m_options.SetsSourceAside() && PathExists(run.paths.setAside))
        return Failure { Problem::CannotRename, run.paths.source };
    if (!opened)
        return opened.Error();
    run.source = std::move(*opened);
    if (Result<Done> probed = run.source.Probe(); !probed)
        return probed.Error();
    return std::nullopt;
}

BatchJob::Step BatchJob::Convert(EntryRun& run)
{
    if (m_options.resampleRate == 0)
        return std::nullopt;
    // The converted samples go to a hidden file of a name no user file has, in the output
    // folder (the source folder may be read-only); it goes on every path out of the entry.
    run.convertedFile.Set(MakeTemporaryPath(run.paths.output));
    if (run.convertedFile.Path().empty())
        return Failure { Problem::CannotCreate, run.paths.output };
    Result<WaveSource> converted =
        ConvertSource(m_events.Stages(), run.source, run.convertedFile.Path(), m_options.resampleRate);
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
    if (m_target.IsClassic()) {
        Result<SamplePeak> peak = ScanPeak(m_events.Stages(), working);
        if (!peak)
            return peak.Error();
        run.peak = *peak;
        return std::nullopt;
    }
    // A loudness that is not measurable leaves the file as it is (gain 1).
    run.analysis = std::make_unique<WaveAnalysis>();
    std::string error;
    if (!AnalyzeWaveSource(m_events.Stages(), working, *run.analysis, error))
        return Failure { Problem::CannotRead, working.Path() };
    run.peak = PeakOf(*run.analysis);
    return std::nullopt;
}

BatchJob::Step BatchJob::SetAside(EntryRun& run)
{
    if (!m_options.SetsSourceAside())
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
        : NormalizeSource(m_events.Stages(), working, run.paths.output, gain);
    if (written) {
        run.outputSize = *written;
        std::lock_guard lock(m_outcomeMutex);
        ++m_outcome.normalizedCount;
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
            m_events.Problems().ReportProblem(written.Error().problem, written.Error().path);
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
    WaveFileInfo info {};
    if (ProbeWaveFile(run.paths.output, info) < 0
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
    if (m_options.encoder == BatchOptions::Encoder::None || m_mp3 == nullptr)
        return std::nullopt;
    const std::string& output = run.paths.output;
    const std::string mp3 = Mp3PathFor(output);
    // "song.wav" and "song.WAV" both give "song.MP3": the second must not replace the first.
    if (m_mp3Files.count(mp3) != 0 || IsBatchFile(mp3))
        return Failure { Problem::EncodeFailed, output };
    const Mp3Encoding::CancelPoint cancelPoint = [this] { CheckCancel(); };
    const int result = m_options.encoder == BatchOptions::Encoder::Gogo
        ? m_mp3->EncodeWithGogo(output, mp3, cancelPoint)
        : m_mp3->EncodeWithExternalEncoder(output, mp3, cancelPoint);
    if (result < 0)
        return Failure { Problem::EncodeFailed, output, 0, true };
    m_mp3Files.insert(mp3);
    return std::nullopt;
}

std::optional<EntryOutcome> BatchJob::Finish(EntryRun& run, bool deferDelete)
{
    CheckCancel();
    if (m_options.sourceAction == BatchOptions::SourceAction::Delete) {
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
    if (m_notifier)
        m_notifier->SendFileMessage(run.entry->caption);
    return EntryOutcome::Done;
}

double BatchJob::GainFor(const EntryRun& run) const
{
    if (m_target.IsClassic())
        return FullScaleGain(*run.peak);
    return TargetGain(m_target, InputsOf(*run.analysis)).value_or(1.0);
}

EntryOutcome BatchJob::Fail(EntryRun& run, Failure failure, EntryOutcome outcome)
{
    run.failure = std::move(failure);
    return outcome;
}

void BatchJob::RunJobPerFilePeak(std::string outputDirectory)
{
    const int n = static_cast<int>(m_entries.size());
    m_events.PassStarted();
    for (int i = 0; i < n; ++i) {
        EntryRun run;
        run.index = i;
        run.entry = &m_entries[static_cast<size_t>(i)];
        run.paths = MakeEntryPaths(*run.entry, outputDirectory);
        m_events.EntryStarted(EntryStep::Process, i, n, run.entry->caption);
        EndEntry(run, ProcessEntry(run));
    }
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
    if (Step failed = Normalize(run, GainFor(run)))
        return Fail(run, *failed, EntryOutcome::LeftOut);
    return *Finish(run, false);
}

void BatchJob::RunJobCommonPeak(std::string outputDirectory)
{
    const size_t n = m_entries.size();
    m_events.PassStarted();
    // Every source stays open and locked from its scan to the end of its steps.
    std::vector<EntryRun> runs(n);
    m_commonRuns = &runs;
    // The start command let only files of one sample format in: their peaks compare.
    std::optional<SamplePeak> commonPeak;
    size_t loudest = 0;
    std::vector<bool> scanned(n, false);
    for (size_t i = 0; i < n; ++i) {
        EntryRun& run = runs[i];
        run.index = static_cast<int>(i);
        run.entry = &m_entries[i];
        run.paths = MakeEntryPaths(*run.entry, outputDirectory);
        m_events.EntryStarted(EntryStep::ScanForCommonPeak, run.index, static_cast<int>(n),
                              run.entry->caption);
        Step failed = Begin(run);
        if (!failed)
            failed = Measure(run);
        scanned[i] = !failed;
        if (failed) {
            Fail(run, *failed, EntryOutcome::LeftOut);
            run.source.Close();
        } else if (!commonPeak || run.peak->LouderThan(*commonPeak)) {
            commonPeak = run.peak;
            loudest = i;
        }
        EndEntry(run, scanned[i] ? EntryOutcome::Scanned : EntryOutcome::LeftOut);
        CheckCancel();
    }
    // With no file scanned the empty peak stands for the smallest one (1).
    if (n > 0)
        m_events.CommonPeakFound(commonPeak.value_or(SamplePeak {}), m_entries[loudest].caption);
    // One gain for the album: from the largest peak, or the loudness of all files together.
    double albumGain = commonPeak ? FullScaleGain(*commonPeak) : 1.0;
    if (!m_target.IsClassic()) {
        std::vector<GainInputs> inputs;
        std::vector<const LoudnessMeter*> meters;
        for (const EntryRun& run : runs) {
            if (run.analysis) {
                inputs.push_back(InputsOf(*run.analysis));
                meters.push_back(run.analysis->meter.get());
            }
        }
        const double albumLufs = m_target.mode == TargetMode::Loudness ? AlbumLoudness(meters) : -HUGE_VAL;
        albumGain = TargetGain(m_target, AlbumInputs(inputs, albumLufs)).value_or(1.0);
    }

    // Deleting waits until every entry has its complete output: a batch that stops half way
    // leaves every original, so that it can be run again.
    const bool deferDelete = m_options.sourceAction == BatchOptions::SourceAction::Delete;
    std::vector<EntryRun*> waiting;
    for (size_t i = 0; i < n; ++i) {
        EntryRun& run = runs[i];
        run.analysis.reset();
        // An entry whose scan failed has no measured peak: normalizing it with the common
        // peak could push its samples past full scale, so it is left as it is.
        if (!scanned[i])
            continue;
        if (Step failed = SetAside(run)) {
            EndEntry(run, Fail(run, *failed, EntryOutcome::LeftOut));
            continue;
        }
        m_events.EntryStarted(EntryStep::ProcessWithCommonPeak, run.index, static_cast<int>(n),
                              run.entry->caption);
        if (m_target.IsClassic())
            run.peak = commonPeak;
        std::optional<EntryOutcome> outcome;
        if (Step failed = Normalize(run, albumGain))
            outcome = Fail(run, *failed, EntryOutcome::LeftOut);
        else
            outcome = Finish(run, deferDelete);
        if (!outcome) {
            waiting.push_back(&run);
            continue;
        }
        EndEntry(run, *outcome);
        run.source.Close();
    }

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
        if (m_notifier)
            m_notifier->SendFileMessage(run->entry->caption);
        EndEntry(*run, EntryOutcome::Done);
    }
    m_commonRuns = nullptr;
    FinishBatch();
}

void BatchJob::FinishBatch()
{
    if (m_notifier)
        m_notifier->SendAllMessage();
    const BatchCounts counts = Outcome();
    m_events.BatchFinished(counts);
}

void BatchJob::EndEntry(EntryRun& run, EntryOutcome outcome)
{
    if (run.failure && !run.failure->reported) {
        m_events.Problems().ReportProblem(run.failure->problem, run.failure->path);
        run.failure->reported = true;
    }
    if (outcome == EntryOutcome::LeftOut || outcome == EntryOutcome::LaterStepFailed) {
        std::lock_guard lock(m_outcomeMutex);
        ++m_outcome.failedCount;
    }
    m_events.EntryFinished(run.index, outcome);
}

bool BatchJob::IsBatchFile(const std::string& path) const { return m_batchFiles.count(path) != 0; }

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
