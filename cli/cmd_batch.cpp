// orva-cli batch: the start command's checks and the batch job over files named on the
// command line, with the terminal as the processing dialog. Never writes the settings file:
// the flags override it for the one run.

#include "batch/batch_job.h"
#include "batch/file_list.h"
#include "batch/mp3_step.h"
#include "batch/serialized_events.h"
#include "batch/start_command.h"
#include "cli/batch_options.h"
#include "cli/command.h"
#include "cli/terminal.h"
#include "encoder/gogo_tea.h"
#include "loudness/wave_analysis.h"
#include "settings/settings_store.h"
#include "text/settings_words.h"
#include "text/start_words.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace orva::cli {
namespace {

/// The cancel flag of the running job, set from the signal handlers (lock-free atomics).
std::atomic<std::atomic<int>*> g_cancelFlag { nullptr };
/// Set by SIGTERM: the cancel prompt is answered Yes without asking.
std::atomic<bool> g_terminated { false };

extern "C" void OnInterrupt(int)
{
    if (std::atomic<int>* flag = g_cancelFlag.load())
        flag->store(1);
}

extern "C" void OnTerminate(int signal)
{
    g_terminated.store(true);
    OnInterrupt(signal);
}

// A reader that went away (`orva-cli batch ... | head`) must not end the batch halfway: the
// write fails instead. A handler, unlike SIG_IGN, is not inherited by the encoder program.
extern "C" void OnBrokenPipe(int) {}

/// Ctrl-C presses the cancel button while the job runs, SIGTERM presses it and answers Yes;
/// the old handlers come back after.
class InterruptAsCancel {
public:
    explicit InterruptAsCancel(std::atomic<int>& flag)
    {
        g_cancelFlag.store(&flag);
        Install(SIGINT, OnInterrupt, m_previousInterrupt);
        Install(SIGTERM, OnTerminate, m_previousTerminate);
    }
    ~InterruptAsCancel()
    {
        sigaction(SIGINT, &m_previousInterrupt, nullptr);
        sigaction(SIGTERM, &m_previousTerminate, nullptr);
        g_cancelFlag.store(nullptr);
    }
    InterruptAsCancel(const InterruptAsCancel&) = delete;
    InterruptAsCancel& operator=(const InterruptAsCancel&) = delete;

    /// Installs handler for signal (no SA_RESTART: a prompt's read returns to look at it).
    static void Install(int signal, void (*handler)(int), struct sigaction& previous)
    {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &previous);
    }

private:
    struct sigaction m_previousInterrupt {};
    struct sigaction m_previousTerminate {};
};

/// The start command's front end: DIR is the one folder the chooser can give.
class TerminalStartHost final : public StartCommandHost {
public:
    TerminalStartHost(std::string folder, TGogoTea* gogo) : m_folder(std::move(folder)), m_gogo(gogo) {}

    void StopPlayback() override {}
    void ReportFinding(StartFinding finding, const std::string& path) override
    {
        TerminalView().ShowMessage(DialogView::Box::Process, "ORVA Process", FindingText(finding, path));
    }

    GogoEncoderInfo ReadGogoEncoderInfo() override
    {
        if (m_gogo == nullptr)
            throw EGogoLibraryMissing();
        GogoEncoderInfo info;
        info.VersionString = m_gogo->VersionString();
        info.DLLPath = m_gogo->DLLPath();
        return info;
    }

    /// The first call gives DIR; a second call (after an overlap) can choose nothing.
    std::optional<std::string> ChooseFolder(const std::string&) override
    {
        if (m_chosen)
            return std::nullopt;
        m_chosen = true;
        return m_folder;
    }

    int ShowConfirmation(const StartSummary& summary) override
    {
        if (!quiet) {
            for (const std::string& line : BuildSummaryLines(summary))
                std::printf("%s\n", Printable(line).c_str());
            std::fflush(stdout);
        }
        return 1;
    }

    void RunBatch(const std::string& outputDirectory) override { runOutputDirectory = outputDirectory; }

    std::optional<std::string> runOutputDirectory;
    bool quiet = false;

private:
    std::string m_folder;
    TGogoTea* m_gogo;
    bool m_chosen = false;
};

/// The batch on the terminal: the dialog's messages, and progress as one line that redraws
/// (overall bar, file k of n, step and percentage, throughput, time left) on a terminal, or
/// one line per finished file elsewhere. Events come from the worker threads, one at a time;
/// with several entries running, the line shows the one that started last.
class BatchProgress final : public BatchEvents, private StageEvents, private ProblemReports {
public:
    BatchProgress(DialogPresenter& dialog, bool commonPeak, bool quiet, int jobs)
        : m_dialog(dialog), m_passes(commonPeak ? 2 : 1), m_quiet(quiet), m_jobs(jobs),
          m_terminal(StderrIsTerminal())
    {
    }

    StageEvents& Stages() override { return *this; }
    ProblemReports& Problems() override { return *this; }
    void JobStarted() override { m_dialog.JobStarted(); }
    void PassStarted() override { m_dialog.PassStarted(); }
    void EntryStarted(EntryStep step, int index, int count, const std::string& name) override
    {
        if (m_names.size() < static_cast<size_t>(count))
            m_names.resize(static_cast<size_t>(count));
        if (index >= 0 && index < count)
            m_names[static_cast<size_t>(index)] = name;
        const int pass = step == EntryStep::ProcessWithCommonPeak ? 1 : 0;
        if (pass != m_pass)
            m_finishedInPass = 0;
        m_pass = pass;
        m_index = index;
        m_count = count;
        m_name = name;
        m_fraction = 0.0;
        m_dialog.EntryStarted(step, index, count, name);
        Draw();
    }
    void EntryFinished(int index, EntryOutcome outcome) override
    {
        m_dialog.EntryFinished(index, outcome);
        ++m_finishedInPass;
        if (outcome == EntryOutcome::Scanned)
            return;
        ++(outcome == EntryOutcome::Done ? doneCount : failedCount);
        if (m_terminal || m_quiet)
            return;
        const char* result = outcome == EntryOutcome::Done ? "done"
            : outcome == EntryOutcome::LeftOut             ? "failed"
                                                           : "normalized, a later step failed";
        // The entry that finished, which need not be the one that started last.
        const std::string& name = index >= 0 && static_cast<size_t>(index) < m_names.size()
            ? m_names[static_cast<size_t>(index)]
            : m_name;
        std::fprintf(stderr, "orva-cli batch: [%d/%d] %s: %s\n", index + 1, m_count, Printable(name).c_str(),
                     result);
    }
    void CommonPeakFound(const SamplePeak& peak, const std::string& name) override
    {
        m_dialog.CommonPeakFound(peak, name);
    }
    void BatchFinished(const BatchCounts& counts) override { m_dialog.BatchFinished(counts); }
    void JobEnded() override { m_dialog.JobEnded(); }
    bool ConfirmCancel() override { return m_dialog.ConfirmCancel(); }
    void CloseCancelled() override { m_dialog.CloseCancelled(); }

    /// Entries that ended done, and that failed at some step (read once the job has ended).
    int doneCount = 0;
    int failedCount = 0;

private:
    void StageStarted(Stage stage, const std::string& path) override
    {
        m_stage = stage;
        m_dialog.Stages().StageStarted(stage, path);
        Draw();
    }
    void StageProgress(Stage stage, int64_t doneBytes, int64_t totalBytes, int share) override
    {
        if (stage != m_stage || doneBytes < m_stageBytes)
            m_stageBytes = 0;
        m_stage = stage;
        m_bytes += doneBytes - m_stageBytes;
        m_stageBytes = doneBytes;
        m_percent = totalBytes > 0 ? static_cast<int>(100 * doneBytes / totalBytes) : 0;
        // Conversion and scan fill an entry's first half, normalization and encoding its second.
        const double half = stage == Stage::Conversion || stage == Stage::Scan ? 0.0 : 0.5;
        m_fraction = m_passes == 2 ? share / 1000.0 : half + share / 2000.0;
        m_dialog.Stages().StageProgress(stage, doneBytes, totalBytes, share);
        Draw();
    }
    void PeakFound(const SamplePeak& peak) override { m_dialog.Stages().PeakFound(peak); }
    void StageFinished(Stage stage) override
    {
        m_stageBytes = 0;
        m_dialog.Stages().StageFinished(stage);
    }
    void ReportProblem(Problem problem, const std::string& path) override
    {
        m_dialog.Problems().ReportProblem(problem, path);
    }

    void Draw()
    {
        if (!m_terminal || m_quiet || m_count == 0)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastDraw < std::chrono::milliseconds(100) && m_fraction > 0.0 && m_fraction < 1.0)
            return;
        m_lastDraw = now;
        // With several entries at once, the bar counts those that finished.
        const int before = m_jobs == 1 ? m_index : m_finishedInPass;
        const double overall =
            std::clamp((m_pass * m_count + before + m_fraction) / (m_passes * m_count), 0.0, 1.0);
        constexpr int kWidth = 20;
        const int filled = static_cast<int>(overall * kWidth);
        const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '-');
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        static const char* const kSteps[] = { "converting", "scanning", "normalizing", "encoding" };
        std::string line = "[" + bar + "] " + std::to_string(m_index + 1) + "/" + std::to_string(m_count)
            + " " + kSteps[static_cast<int>(m_stage)] + " " + std::to_string(m_percent) + "%";
        char rate[64] = {};
        if (seconds > 0.5) {
            std::snprintf(rate, sizeof rate, "  %.1f MB/s", m_bytes / seconds / 1e6);
            line += rate;
            if (overall > 0.01) {
                const int left = static_cast<int>(seconds * (1.0 - overall) / overall);
                std::snprintf(rate, sizeof rate, "  %d:%02d left", left / 60, left % 60);
                line += rate;
            }
        }
        DrawProgressLine(line + "  " + Printable(m_name));
    }

    DialogPresenter& m_dialog;
    const int m_passes;
    const bool m_quiet;
    const int m_jobs;
    const bool m_terminal;
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_lastDraw {};
    int m_pass = 0, m_index = 0, m_count = 0, m_percent = 0, m_finishedInPass = 0;
    double m_fraction = 0.0;
    Stage m_stage = Stage::Scan;
    int64_t m_bytes = 0, m_stageBytes = 0;
    std::string m_name;
    std::vector<std::string> m_names;  ///< each entry's name, by index
};

std::string GainText(std::optional<double> gain)
{
    if (!gain)
        return "no measurable loudness, copied unchanged";
    char text[48];
    std::snprintf(text, sizeof text, "gain %+.2f dB", 20.0 * std::log10(*gain));
    return text;
}

/// What the batch would do with each entry, and the gain each would get; reads the files,
/// writes nothing. The gain of a conversion is that of the source before it.
void PrintDryRun(const std::vector<FileEntry>& entries, const std::string& outputDirectory,
                 const Settings& settings)
{
    NullStageEvents stages;
    const NormalizationTarget target = TargetFromSettings(settings);
    std::vector<std::unique_ptr<WaveAnalysis>> analyses(entries.size());
    std::vector<std::string> errors(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        analyses[i] = std::make_unique<WaveAnalysis>();
        if (!AnalyzeWaveFile(stages, entries[i].FullPath(), *analyses[i], errors[i]))
            analyses[i].reset();
    }
    std::optional<double> albumGain;
    const bool common = settings.PeakMode == 1 && settings.ResampleRate == 0;
    if (common) {
        std::vector<GainInputs> inputs;
        std::vector<const LoudnessMeter*> meters;
        for (const auto& analysis : analyses) {
            if (analysis) {
                inputs.push_back(InputsOf(*analysis));
                meters.push_back(analysis->meter.get());
            }
        }
        const double albumLufs = target.mode == TargetMode::Loudness ? AlbumLoudness(meters) : -HUGE_VAL;
        if (!inputs.empty())
            albumGain = TargetGain(target, AlbumInputs(inputs, albumLufs));
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const EntryPaths paths = MakeEntryPaths(entries[i], outputDirectory);
        std::string line = Printable(paths.source) + ": ";
        if (!analyses[i]) {
            std::printf("%scannot be read (%s)\n", line.c_str(), Printable(errors[i]).c_str());
            continue;
        }
        if (settings.ResampleRate != 0)
            line += "convert to " + std::to_string(settings.ResampleRate) + " Hz, ";
        line += "normalize to " + Printable(paths.output) + " ("
            + GainText(common ? albumGain : TargetGain(target, InputsOf(*analyses[i])))
            + (common ? ", common to all files" : "") + ")";
        if (settings.ResampleRate == 0 && settings.SourceFileAction == 1)
            line += ", set the source aside as " + Printable(paths.setAside);
        else if (settings.ResampleRate == 0 && settings.SourceFileAction == 2)
            line += ", delete the source";
        if (settings.Mp3Bitrate != 0)
            line +=
                ", encode " + Printable(paths.mp3) + " at " + std::to_string(settings.Mp3Bitrate) + " kbps";
        std::printf("%s\n", line.c_str());
    }
}

/// Why a settings file named on the command line cannot be read; empty when it can.
std::string UnreadableReason(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    char byte = 0;
    struct stat status {};
    std::string reason;
    if (::fstat(fd, &status) != 0)
        reason = std::strerror(errno);
    else if (S_ISDIR(status.st_mode))
        reason = std::strerror(EISDIR);
    else if (::read(fd, &byte, 1) < 0)
        reason = std::strerror(errno);
    ::close(fd);
    return reason;
}

/// DIR as the folder chooser would return it: absolute, without a trailing "/" (but "/").
std::string ChosenFolderPath(const std::string& dir)
{
    // Without a current folder (deleted meanwhile) a relative DIR stays as it is.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(dir, error);
    std::string path = error ? dir : absolute.lexically_normal().string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

int RunBatchCommand(const std::vector<std::string>& args)
{
    const auto started = std::chrono::steady_clock::now();
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("usage:\n%s\n", kBatchUsage);
        return 0;
    }
    BatchArguments arguments;
    std::string problem;
    if (!ParseBatchArguments(args, arguments, problem)) {
        std::fprintf(stderr, "orva-cli batch: %s\nusage:\n%s\n", Printable(problem).c_str(), kBatchUsage);
        return 2;
    }
    const std::string& outputDir = arguments.outputDir;
    struct stat status {};
    if (::stat(outputDir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        std::fprintf(stderr, "orva-cli batch: %s is not a folder\n", Printable(outputDir).c_str());
        return 2;
    }
    // A file named on purpose must be there; the default may be missing (the defaults apply).
    if (!arguments.settingsFile.empty()) {
        if (const std::string reason = UnreadableReason(arguments.settingsFile); !reason.empty()) {
            std::fprintf(stderr, "orva-cli batch: cannot read settings %s: %s\n",
                         Printable(arguments.settingsFile).c_str(), reason.c_str());
            return 2;
        }
    }

    Settings settings;
    IniFilePath = arguments.settingsFile.empty() ? DefaultIniFilePath() : arguments.settingsFile;
    LoadSettings(settings, nullptr, DefaultSettingsInLanguage());
    if (!ApplyBatchArguments(arguments, settings, problem)) {
        std::fprintf(stderr, "orva-cli batch: %s\n", Printable(problem).c_str());
        return 2;
    }
    const std::vector<std::string>& files = arguments.files;

    static int argc = 1;
    static char name[] = "orva-cli";
    static char* argv[] = { name, nullptr };
    QCoreApplication app(argc, argv);

    struct sigaction previousPipe {};
    InterruptAsCancel::Install(SIGPIPE, OnBrokenPipe, previousPipe);

    // Every file left out gets one line naming it as given and why; the batch runs the rest.
    int leftOut = 0;
    const auto leaveOut = [&leftOut](const std::string& file, const std::string& why) {
        std::fprintf(stderr, "orva-cli batch: %s left out: %s\n", Printable(file).c_str(),
                     Printable(why).c_str());
        ++leftOut;
    };
    FileListModel list;
    std::vector<std::string> listed;  // each row's file as given
    for (const std::string& file : files) {
        // An empty argument has no absolute form; the list refuses it like any other non-WAV name.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(file, error);
        ListRefusal refusal;
        if (list.AddFileToList(error ? file : absolute.lexically_normal().string(), &refusal))
            listed.push_back(file);
        else
            leaveOut(file, RefusalText(refusal));
    }
    // The start command removes these rows without a word.
    for (size_t row = 0; row < list.Entries().size(); ++row) {
        const FileEntry& entry = list.Entries()[row];
        if (!entry.supported)
            leaveOut(listed[row],
                     "unsupported format (" + entry.subItems[FormatTagCell] + ", " + entry.subItems[BitsCell]
                         + " bit)");
    }

    const int jobs =
        arguments.jobs.value_or(static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u)));
    // The encoder components live on this (owner) thread, which runs the event loop while
    // the job's MP3 steps wait on the worker threads: one per job (made once the entries are
    // known), as two encodings at once must not share one.
    std::vector<std::unique_ptr<TGogoTea>> gogos;
    if (settings.Mp3Bitrate != 0)
        gogos.push_back(std::make_unique<TGogoTea>());
    TGogoTea* const gogo = gogos.empty() ? nullptr : gogos.front().get();

    TerminalStartHost host(ChosenFolderPath(outputDir), gogo);
    host.quiet = arguments.quiet;
    StartCommandFields fields;
    const StartOutcome outcome = RunStartCommand(list, settings, host, fields);
    if (outcome != StartOutcome::BatchRun || !host.runOutputDirectory)
        return 2;
    if (arguments.dryRun) {
        PrintDryRun(list.Entries(), *host.runOutputDirectory, settings);
        return 0;
    }

    while (!gogos.empty() && gogos.size() < std::min(static_cast<size_t>(jobs), list.Entries().size()))
        gogos.push_back(std::make_unique<TGogoTea>());

    TerminalDialog dialog;
    dialog.view.yesWithoutAsking = &g_terminated;
    dialog.view.drawsLabels = false;
    BatchProgress progress(dialog.events, settings.PeakMode == 1 && settings.ResampleRate == 0,
                           arguments.quiet, jobs);
    SerializedBatchEvents events(progress);
    std::unique_ptr<BatchNotifier> notifier = MakeSstpNotifier(settings);
    // Ctrl-C and SIGTERM are the cancel button.
    std::atomic<int> cancelRequested { 0 };
    std::vector<std::unique_ptr<Mp3Step>> mp3Steps;
    std::vector<Mp3Encoding*> encodings;
    for (const auto& component : gogos) {
        mp3Steps.push_back(std::make_unique<Mp3Step>(settings, events.Stages(), events.Problems(), *component,
                                                     cancelRequested));
        encodings.push_back(mp3Steps.back().get());
    }
    BatchJob job(list.Entries(), *host.runOutputDirectory, settings, events,
                 encodings.empty() ? nullptr : encodings.front(), notifier.get(), cancelRequested);
    job.SetJobs(jobs, encodings);

    InterruptAsCancel interrupt(cancelRequested);
    job.Start([&app](const BatchOutcome&) {
        QMetaObject::invokeMethod(
            &app, [&app] { app.exit(0); }, Qt::QueuedConnection);
    });
    app.exec();
    job.Wait();
    FinishProgressLine();

    const BatchOutcome result = job.Outcome();
    const int done = progress.doneCount;
    const int failed = progress.failedCount;
    // Entries the batch never reached (a cancel) count as left out, with the files refused.
    const int notReached = std::max(0, result.entryCount - done - failed);
    const int code = result.cancelled                                                ? 3
        : leftOut == 0 && failed == 0 && result.normalizedCount == result.entryCount ? 0
                                                                                     : 1;
    if (!arguments.quiet || code != 0) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::fprintf(stderr, "orva-cli batch: %d done, %d failed, %d left out%s in %.1f s\n", done, failed,
                     leftOut + notReached, result.cancelled ? " (cancelled)" : "", seconds);
    }
    return code;
}

const CommandRegistration kBatch({ "batch", kBatchUsage, RunBatchCommand, false });

}  // namespace
}  // namespace orva::cli
