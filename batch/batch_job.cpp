#include "batch/batch_job.h"

#include "batch/file_ops.h"
#include "batch/mp3_encoding.h"
#include "core/normalize.h"
#include "core/peak_scan.h"
#include "core/resample.h"
#include "core/wave_file.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <system_error>
#include <utility>

namespace orva {
namespace {

/// Thrown by CheckCancel after a confirmed cancel; caught only in BatchJob::Run.
struct JobCancelled {};

template <typename... Args> std::string Format(const char* format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<size_t>(length));
    return text;
}

/// Share of entries begun, 0..1000.
int EntryPosition(size_t index, size_t count) { return static_cast<int>(((index + 1) * 1000) / count); }

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
    paths.temporary = PrefixedPath(paths.source);
    paths.mp3 = Mp3PathFor(paths.output);
    return paths;
}

BatchJob::BatchJob(std::vector<FileEntry> entries, std::string outputDirectory, Settings settings,
                   ProcessingDialog& dialog, Mp3Encoding* mp3, BatchNotifier* notifier)
    : m_entries(std::move(entries)), m_outputDirectory(std::move(outputDirectory)),
      m_settings(std::move(settings)), m_dialog(dialog), m_mp3(mp3), m_notifier(notifier)
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
        m_dialog.SetOkEnabled(true);
        m_dialog.SetCancelEnabled(false);
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
        m_dialog.SetOkEnabled(true);
        m_dialog.SetCancelEnabled(false);
    }
    std::lock_guard lock(m_outcomeMutex);
    m_outcome.cancelled = cancelled;
    m_outcome.finished = true;
}

void BatchJob::JobThreadMain()
{
    m_dialog.Row3().SetLabel("正規化処理");
    m_dialog.Row3().SetPosition(0);
    if (m_settings.PeakMode == 0)
        RunJobPerFilePeak(m_outputDirectory);
    else if (m_settings.PeakMode == 1)
        RunJobCommonPeak(m_outputDirectory);
    m_dialog.SetOkEnabled(true);
    m_dialog.SetCancelEnabled(false);
}

void BatchJob::CheckCancel()
{
    if (CancelRequested.load() == 0)
        return;
    if (m_dialog.AskYesNo(CancelPromptTitle, CancelPromptText)) {
        m_dialog.CloseCancelled();
        throw JobCancelled {};
    }
    CancelRequested.store(0);
}

void BatchJob::RunJobPerFilePeak(std::string outputDirectory)
{
    const size_t n = m_entries.size();
    ProgressRow& row1 = m_dialog.Row1();
    ProgressRow& row2 = m_dialog.Row2();
    ProgressRow& row3 = m_dialog.Row3();
    MessageBoxes& boxes = m_dialog.Messages();
    const bool resample = m_settings.ResampleRate >= 1;

    row1.SetPosition(0);
    for (size_t i = 0; i < n; ++i) {
        row2.SetPosition(0);
        row3.SetPosition(0);
        const FileEntry& entry = m_entries[i];
        const EntryPaths paths = MakeEntryPaths(entry, outputDirectory);
        std::string workingFile = paths.source;

        row1.SetLabel(Format("処理中ﾌｧｲﾙ(%d/%d):%s", static_cast<int>(i + 1), static_cast<int>(n),
                             entry.caption.c_str()));
        row1.SetPosition(EntryPosition(i, n));

        WaveFileInfo info {};
        const bool sourceProbes = ProbeWaveFile(paths.source, info) >= 0;
        if (resample && sourceProbes && IsBatchFile(paths.temporary)) {
            // The temporary name is another entry's source or output ("song.wav" beside
            // "_song.wav"): converting would overwrite it and then delete it.
            boxes.ShowProcessMessage(Format("ﾌｧｲﾙを正常に作成できません。(%s)", paths.temporary.c_str()));
            continue;
        }
        if (resample && sourceProbes) {
            if (ConvertSampleRate(row2, paths.source, paths.temporary, m_settings.ResampleRate,
                                  info.format.bitsPerSample, info.format.channels)
                < 0) {
                // Whatever stands under the temporary name now is not this conversion's
                // output; the scan below must find nothing there.
                if (RegularFileExists(paths.temporary))
                    DeleteFileAt(paths.temporary);
            }
            workingFile = paths.temporary;
        }
        // A source that no longer probes is not converted: the scan below reads the source
        // itself, fails with its message and skips the entry.

        CheckCancel();
        const std::optional<SamplePeak> peak = ScanPeak(row2, boxes, workingFile);
        if (!peak || (resample && !sourceProbes))
            continue;
        CheckCancel();
        if (m_settings.SourceFileAction != 0 && !SetSourceAside(workingFile))
            continue;
        if (!NormalizeEntry(workingFile, paths.output, *peak))
            continue;
        FinishEntry(entry, workingFile, paths.output, m_settings.SourceFileAction == 2 || resample);
    }
    FinishBatch();
}

void BatchJob::RunJobCommonPeak(std::string outputDirectory)
{
    const size_t n = m_entries.size();
    ProgressRow& row1 = m_dialog.Row1();
    ProgressRow& row2 = m_dialog.Row2();
    ProgressRow& row3 = m_dialog.Row3();
    MessageBoxes& boxes = m_dialog.Messages();

    row1.SetPosition(0);
    // The start command let only files of one sample format in: their peaks compare.
    std::optional<SamplePeak> commonPeak;
    size_t loudest = 0;
    std::vector<bool> scanned(n, false);
    for (size_t i = 0; i < n; ++i) {
        row2.SetPosition(0);
        const FileEntry& entry = m_entries[i];
        const std::string source = entry.FullPath();
        row1.SetLabel(Format("ピーク取得中ﾌｧｲﾙ(%d/%d):%s", static_cast<int>(i + 1), static_cast<int>(n),
                             entry.caption.c_str()));
        row1.SetPosition(EntryPosition(i, n));
        const std::optional<SamplePeak> peak = ScanPeak(row2, boxes, source);
        scanned[i] = peak.has_value();
        if (peak && (!commonPeak || peak->LouderThan(*commonPeak))) {
            commonPeak = peak;
            loudest = i;
        }
        CheckCancel();
    }
    if (n > 0) {
        const std::string peakText = commonPeak ? PeakText(*commonPeak) : "1";
        row2.SetLabel(Format("ﾋﾟｰｸ採取終了(%s in %s)", peakText.c_str(), m_entries[loudest].caption.c_str()));
    }

    for (size_t i = 0; i < n; ++i) {
        const FileEntry& entry = m_entries[i];
        const EntryPaths paths = MakeEntryPaths(entry, outputDirectory);
        // An entry whose scan failed has no measured peak: normalizing it with the common
        // peak could push its samples past full scale, so it is left as it is.
        if (!scanned[i])
            continue;
        std::string workingFile = paths.source;
        if (m_settings.SourceFileAction != 0 && !SetSourceAside(workingFile))
            continue;
        row3.SetPosition(0);
        row1.SetLabel(Format("処理中ﾌｧｲﾙ(%d/%d):%s", static_cast<int>(i + 1), static_cast<int>(n),
                             entry.caption.c_str()));
        row1.SetPosition(EntryPosition(i, n));
        if (!NormalizeEntry(workingFile, paths.output, *commonPeak))
            continue;
        FinishEntry(entry, workingFile, paths.output, m_settings.SourceFileAction == 2);
    }
    FinishBatch();
}

void BatchJob::FinishEntry(const FileEntry& entry, const std::string& workingFile, const std::string& output,
                           bool deleteWorkingFile)
{
    CheckCancel();
    if (deleteWorkingFile)
        DeleteWorkingFile(workingFile, output);
    EncodeMp3(output);
    CheckCancel();
    if (m_notifier)
        m_notifier->SendFileMessage(entry.caption);
}

void BatchJob::FinishBatch()
{
    if (m_notifier)
        m_notifier->SendAllMessage();
    m_dialog.SetCaption("完了しました");
}

bool BatchJob::SetSourceAside(std::string& workingFile)
{
    const std::string prefixed = PrefixedPath(workingFile);
    // An old set-aside file goes without asking, but never a file of this batch: another
    // entry's source ("_song.wav" beside "song.wav") or an output written before.
    const bool batchFile = IsBatchFile(prefixed);
    if (!batchFile && PathExists(prefixed))
        DeleteFileAt(prefixed);
    if (batchFile || !RenameWithoutReplace(workingFile, prefixed)) {
        m_dialog.Messages().ShowProcessMessage(Format("ﾌｧｲﾙをﾘﾈｰﾑできません。(%s)", workingFile.c_str()));
        return false;
    }
    workingFile = prefixed;
    return true;
}

bool BatchJob::IsBatchFile(const std::string& path) const { return m_batchFiles.count(path) != 0; }

bool BatchJob::NormalizeEntry(const std::string& workingFile, const std::string& output,
                              const SamplePeak& peak)
{
    if (NormalizeFile(m_dialog.Row3(), m_dialog.Messages(), workingFile, output, peak) < 0)
        return false;
    std::lock_guard lock(m_outcomeMutex);
    ++m_outcome.normalizedCount;
    return true;
}

void BatchJob::DeleteWorkingFile(const std::string& workingFile, const std::string& output)
{
    // A prefixed source is the user's only copy of the audio: the output must be on stable
    // storage before it goes, or a crash right now could lose both. A temporary file from a
    // rate conversion needs no such care.
    if (m_settings.SourceFileAction == 2 && !FlushToStableStorage(output))
        return;
    DeleteFileAt(workingFile);
}

void BatchJob::EncodeMp3(const std::string& output)
{
    if (m_settings.Mp3Bitrate < 1 || m_mp3 == nullptr)
        return;
    const std::string mp3 = Mp3PathFor(output);
    if (m_settings.EncoderKind == 0)
        m_mp3->EncodeWithGogo(output, mp3);
    else if (m_settings.EncoderKind == 1)
        m_mp3->EncodeWithExternalEncoder(output, mp3);
}

}  // namespace orva
