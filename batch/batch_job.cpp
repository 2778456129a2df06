#include "batch/batch_job.h"

#include "batch/file_ops.h"
#include "batch/mp3_encoding.h"
#include "core/byte_io.h"
#include "core/normalize.h"
#include "core/output_file.h"
#include "core/peak_scan.h"
#include "core/resample.h"
#include "core/wave_file.h"
#include "loudness/wave_analysis.h"

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

// Runs one entry's steps: whatever they throw (memory running out on a hostile file) fails
// that entry alone. A confirmed cancel is no exception of this kind and passes.
template <typename Steps>
EntryOutcome Guarded(ProblemReports& problems, const std::string& source, Steps steps)
{
    try {
        return steps();
    } catch (const std::exception&) {
        problems.ReportProblem(Problem::CannotRead, source);
        return EntryOutcome::LeftOut;
    }
}

// True when the entry's output may take its name; else reports the create problem.
bool OutputNameIsFree(ProblemReports& problems, const EntryPaths& paths)
{
    const ReplaceGuard* guard = ReplaceGuard::Current();
    if (guard == nullptr || !guard->Forbids(paths.output, paths.source))
        return true;
    problems.ReportProblem(Problem::CannotCreate, paths.output);
    return false;
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

BatchJob::BatchJob(std::vector<FileEntry> entries, std::string outputDirectory, Settings settings,
                   BatchEvents& events, Mp3Encoding* mp3, BatchNotifier* notifier)
    : m_entries(std::move(entries)), m_outputDirectory(std::move(outputDirectory)),
      m_settings(std::move(settings)), m_target(TargetFromSettings(m_settings)), m_events(events), m_mp3(mp3),
      m_notifier(notifier)
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
        // No worker thread: nothing of the job runs, but the dialog must still be closable,
        // and no entry counts as done.
        m_events.JobEnded();
        {
            std::lock_guard lock(m_outcomeMutex);
            m_outcome.failedCount = m_outcome.entryCount;
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
    std::lock_guard lock(m_outcomeMutex);
    m_outcome.cancelled = cancelled;
    m_outcome.finished = true;
}

void BatchJob::JobThreadMain()
{
    m_events.JobStarted();
    std::vector<std::string> sources;
    for (const FileEntry& entry : m_entries)
        sources.push_back(entry.FullPath());
    const ReplaceGuard guard(sources);
    RemoveStaleTemporaries(m_outputDirectory.empty() ? "." : m_outputDirectory);
    if (m_settings.PeakMode == 0)
        RunJobPerFilePeak(m_outputDirectory);
    else if (m_settings.PeakMode == 1)
        RunJobCommonPeak(m_outputDirectory);
    m_events.JobEnded();
}

void BatchJob::CheckCancel()
{
    if (CancelRequested.load() == 0)
        return;
    if (m_events.ConfirmCancel()) {
        m_events.CloseCancelled();
        throw JobCancelled {};
    }
    CancelRequested.store(0);
}

bool BatchJob::BeginEntry(const EntryPaths& paths, SourceLock& lock, FileIdentity& identity)
{
    ProblemReports& problems = m_events.Problems();
    if (lock.Lock(paths.source, identity) == SourceLock::Busy) {
        problems.ReportProblem(Problem::SourceBusy, paths.source);
        return false;
    }
    // A file under the "_" name may be the only copy of some audio (an earlier run's
    // original, set aside): it is never replaced, and the entry touches nothing.
    if (m_settings.SourceFileAction != 0 && PathExists(paths.setAside)) {
        problems.ReportProblem(Problem::CannotRename, paths.source);
        return false;
    }
    return OutputNameIsFree(problems, paths);
}

void BatchJob::RunJobPerFilePeak(std::string outputDirectory)
{
    const int n = static_cast<int>(m_entries.size());
    m_events.PassStarted();
    for (int i = 0; i < n; ++i) {
        const FileEntry& entry = m_entries[static_cast<size_t>(i)];
        m_events.EntryStarted(EntryStep::Process, i, n, entry.caption);
        const EntryPaths paths = MakeEntryPaths(entry, outputDirectory);
        EndEntry(i, Guarded(m_events.Problems(), paths.source, [&] { return ProcessEntry(entry, paths); }));
    }
    FinishBatch();
}

EntryOutcome BatchJob::ProcessEntry(const FileEntry& entry, const EntryPaths& paths)
{
    StageEvents& stages = m_events.Stages();
    ProblemReports& problems = m_events.Problems();
    const bool resample = m_settings.ResampleRate >= 1;
    std::string workingFile = paths.source;

    SourceLock lock;
    FileIdentity identity;
    if (!BeginEntry(paths, lock, identity))
        return EntryOutcome::LeftOut;

    // The converted samples go to a hidden file of a name no user file has, in the output
    // folder (the source folder may be read-only); it goes on every path out of here.
    ScopedFileRemoval converted;
    WaveFileInfo info {};
    const bool sourceProbes = ProbeWaveFile(paths.source, info) >= 0;
    if (resample && sourceProbes) {
        converted.Set(MakeTemporaryPath(paths.output));
        const int result = converted.Path().empty()
            ? -1
            : ConvertSampleRate(stages, paths.source, converted.Path(), m_settings.ResampleRate,
                                info.format.bitsPerSample, info.format.channels);
        if (result < 0) {
            if (result == kCopyReadFailed)
                problems.ReportProblem(Problem::CannotRead, paths.source);
            else
                problems.ReportProblem(Problem::CannotCreate, paths.output);
            return EntryOutcome::LeftOut;
        }
        workingFile = converted.Path();
    }
    // A source that no longer probes is not converted: the scan below reads the source
    // itself, fails with its message and skips the entry.

    CheckCancel();
    // The classic normalization scans the peak; a target measures what it needs.
    const bool classic = m_target.IsClassic();
    std::optional<SamplePeak> peak;
    double gain = 1.0;
    WaveAnalysis analysis;
    if (classic)
        peak = ScanPeak(stages, problems, workingFile);
    if ((classic ? !peak : !MeasureEntry(workingFile, analysis)) || (resample && !sourceProbes))
        return EntryOutcome::LeftOut;
    CheckCancel();
    if (m_settings.SourceFileAction != 0 && !SetSourceAside(workingFile, identity))
        return EntryOutcome::LeftOut;
    uint64_t outputSize = 0;
    if (!classic)
        gain = TargetGain(m_target, InputsOf(analysis)).value_or(1.0);
    if (!(classic ? NormalizeEntry(workingFile, paths.output, *peak, outputSize)
                  : NormalizeEntryWithGain(workingFile, paths.output, gain, outputSize)))
        return EntryOutcome::LeftOut;
    return FinishEntry(entry, workingFile, identity, paths.output, outputSize);
}

void BatchJob::RunJobCommonPeak(std::string outputDirectory)
{
    const size_t n = m_entries.size();
    StageEvents& stages = m_events.Stages();
    ProblemReports& problems = m_events.Problems();

    m_events.PassStarted();
    // The start command let only files of one sample format in: their peaks compare.
    std::optional<SamplePeak> commonPeak;
    const bool classic = m_target.IsClassic();
    // With a target every file is measured and kept until all are, for the album's loudness.
    std::vector<std::unique_ptr<WaveAnalysis>> analyses;
    size_t loudest = 0;
    std::vector<bool> scanned(n, false);
    // Every source stays locked from its scan to the end of its steps.
    std::vector<SourceLock> locks(n);
    std::vector<FileIdentity> identities(n);
    for (size_t i = 0; i < n; ++i) {
        const FileEntry& entry = m_entries[i];
        const EntryPaths paths = MakeEntryPaths(entry, outputDirectory);
        m_events.EntryStarted(EntryStep::ScanForCommonPeak, static_cast<int>(i), static_cast<int>(n),
                              entry.caption);
        const auto scan = [&] {
            if (!BeginEntry(paths, locks[i], identities[i]))
                return EntryOutcome::LeftOut;
            std::optional<SamplePeak> peak;
            if (classic) {
                peak = ScanPeak(stages, problems, paths.source);
            } else {
                auto analysis = std::make_unique<WaveAnalysis>();
                if (MeasureEntry(paths.source, *analysis)) {
                    peak = PeakOf(*analysis);
                    analyses.push_back(std::move(analysis));
                }
            }
            scanned[i] = peak.has_value();
            if (peak && (!commonPeak || peak->LouderThan(*commonPeak))) {
                commonPeak = peak;
                loudest = i;
            }
            return scanned[i] ? EntryOutcome::Scanned : EntryOutcome::LeftOut;
        };
        EndEntry(static_cast<int>(i), Guarded(problems, paths.source, scan));
        CheckCancel();
    }
    // With no file scanned the empty peak stands for the smallest one (1).
    if (n > 0)
        m_events.CommonPeakFound(commonPeak.value_or(SamplePeak {}), m_entries[loudest].caption);
    // One gain for the album: from the largest peaks, or the loudness of all files together.
    double albumGain = 1.0;
    if (!classic) {
        std::vector<GainInputs> inputs;
        std::vector<const LoudnessMeter*> meters;
        for (const auto& analysis : analyses) {
            inputs.push_back(InputsOf(*analysis));
            meters.push_back(analysis->meter.get());
        }
        const double albumLufs = m_target.mode == TargetMode::Loudness ? AlbumLoudness(meters) : -HUGE_VAL;
        albumGain = TargetGain(m_target, AlbumInputs(inputs, albumLufs)).value_or(1.0);
        analyses.clear();
    }

    for (size_t i = 0; i < n; ++i) {
        const FileEntry& entry = m_entries[i];
        const EntryPaths paths = MakeEntryPaths(entry, outputDirectory);
        // An entry whose scan failed has no measured peak: normalizing it with the common
        // peak could push its samples past full scale, so it is left as it is.
        if (!scanned[i])
            continue;
        std::string workingFile = paths.source;
        // Outputs of earlier entries may stand under this name since the scan.
        if (!OutputNameIsFree(problems, paths)
            || (m_settings.SourceFileAction != 0 && !SetSourceAside(workingFile, identities[i]))) {
            EndEntry(static_cast<int>(i), EntryOutcome::LeftOut);
            continue;
        }
        m_events.EntryStarted(EntryStep::ProcessWithCommonPeak, static_cast<int>(i), static_cast<int>(n),
                              entry.caption);
        const EntryOutcome outcome = Guarded(problems, paths.source, [&] {
            uint64_t outputSize = 0;
            const bool normalized = classic
                ? NormalizeEntry(workingFile, paths.output, *commonPeak, outputSize)
                : NormalizeEntryWithGain(workingFile, paths.output, albumGain, outputSize);
            if (!normalized)
                return EntryOutcome::LeftOut;
            const EntryOutcome finished =
                FinishEntry(entry, workingFile, identities[i], paths.output, outputSize);
            locks[i].Release();
            return finished;
        });
        EndEntry(static_cast<int>(i), outcome);
    }
    FinishBatch();
}

EntryOutcome BatchJob::FinishEntry(const FileEntry& entry, const std::string& workingFile,
                                   const FileIdentity& identity, const std::string& output,
                                   uint64_t outputSize)
{
    CheckCancel();
    // Not done: nothing to announce.
    if (m_settings.SourceFileAction == 2 && !DeleteWorkingFile(workingFile, identity, output, outputSize))
        return EntryOutcome::LaterStepFailed;
    if (!EncodeMp3(output))
        return EntryOutcome::LaterStepFailed;
    CheckCancel();
    if (m_notifier)
        m_notifier->SendFileMessage(entry.caption);
    return EntryOutcome::Done;
}

void BatchJob::FinishBatch()
{
    if (m_notifier)
        m_notifier->SendAllMessage();
    BatchCounts counts;
    {
        std::lock_guard lock(m_outcomeMutex);
        counts.entryCount = m_outcome.entryCount;
        counts.normalizedCount = m_outcome.normalizedCount;
        counts.failedCount = m_outcome.failedCount;
    }
    m_events.BatchFinished(counts);
}

void BatchJob::EndEntry(int index, EntryOutcome outcome)
{
    if (outcome == EntryOutcome::LeftOut || outcome == EntryOutcome::LaterStepFailed) {
        std::lock_guard lock(m_outcomeMutex);
        ++m_outcome.failedCount;
    }
    m_events.EntryFinished(index, outcome);
}

bool BatchJob::SetSourceAside(std::string& workingFile, const FileIdentity& identity)
{
    const std::string prefixed = PrefixedPath(workingFile);
    // Nothing under the "_" name is ever replaced or deleted (BeginEntry refused an existing
    // one; this catches one that appeared since), nor is a name this batch will write; and
    // only the very file that was scanned is moved.
    FileIdentity current;
    if (IsBatchFile(prefixed) || !ReadFileIdentity(workingFile, current) || !(current == identity)
        || !RenameWithoutReplace(workingFile, prefixed)) {
        m_events.Problems().ReportProblem(Problem::CannotRename, workingFile);
        return false;
    }
    workingFile = prefixed;
    return true;
}

bool BatchJob::IsBatchFile(const std::string& path) const { return m_batchFiles.count(path) != 0; }

bool BatchJob::NormalizeEntry(const std::string& workingFile, const std::string& output,
                              const SamplePeak& peak, uint64_t& outputSize)
{
    if (NormalizeFile(m_events.Stages(), m_events.Problems(), workingFile, output, peak, &outputSize) < 0)
        return false;
    std::lock_guard lock(m_outcomeMutex);
    ++m_outcome.normalizedCount;
    return true;
}

bool BatchJob::NormalizeEntryWithGain(const std::string& workingFile, const std::string& output, double gain,
                                      uint64_t& outputSize)
{
    if (NormalizeFileWithGain(m_events.Stages(), m_events.Problems(), workingFile, output, gain, &outputSize)
        < 0)
        return false;
    std::lock_guard lock(m_outcomeMutex);
    ++m_outcome.normalizedCount;
    return true;
}

bool BatchJob::MeasureEntry(const std::string& path, WaveAnalysis& analysis)
{
    std::string error;
    if (AnalyzeWaveFile(m_events.Stages(), path, analysis, error))
        return true;
    m_events.Problems().ReportProblem(Problem::CannotRead, path);
    return false;
}

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

bool BatchJob::DeleteWorkingFile(const std::string& workingFile, const FileIdentity& identity,
                                 const std::string& output, uint64_t outputSize)
{
    // The set-aside source is the user's only copy of the audio. It goes only when it is
    // still the file that was scanned, and the output is complete (it probes, holds what was
    // written) and on stable storage: a crash right now must not lose both.
    // A source holding bytes after its form holds audio or data the output does not carry.
    FileIdentity current;
    WaveFileInfo info {};
    WaveFileInfo source {};
    const bool deleted = ReadFileIdentity(workingFile, current) && current == identity
        && ProbeWaveFile(workingFile, source) >= 0 && source.trailingBytes == 0
        && ProbeWaveFile(output, info) >= 0 && FileSizeAt(output) == static_cast<int64_t>(outputSize)
        && FlushToStableStorage(output) && DeleteFileAt(workingFile);
    if (!deleted)
        m_events.Problems().ReportProblem(Problem::DeleteFailed, workingFile);
    return deleted;
}

bool BatchJob::EncodeMp3(const std::string& output)
{
    if (m_settings.Mp3Bitrate < 1 || m_mp3 == nullptr
        || (m_settings.EncoderKind != 0 && m_settings.EncoderKind != 1))
        return true;
    const std::string mp3 = Mp3PathFor(output);
    // "song.wav" and "song.WAV" both give "song.MP3": the second must not replace the first.
    const ReplaceGuard* guard = ReplaceGuard::Current();
    if (m_mp3Files.count(mp3) != 0 || IsBatchFile(mp3) || (guard != nullptr && guard->Forbids(mp3))) {
        m_events.Problems().ReportProblem(Problem::EncodeFailed, output);
        return false;
    }
    const Mp3Encoding::CancelPoint cancelPoint = [this] { CheckCancel(); };
    const int result = m_settings.EncoderKind == 0
        ? m_mp3->EncodeWithGogo(output, mp3, cancelPoint)
        : m_mp3->EncodeWithExternalEncoder(output, mp3, cancelPoint);
    if (result < 0)
        return false;
    m_mp3Files.insert(mp3);
    return true;
}

}  // namespace orva
