// orva-cli batch: the start command's checks and the batch job over files named on the
// command line, with the terminal as the processing dialog. Never writes the settings file.

#include "batch/batch_job.h"
#include "batch/file_list.h"
#include "batch/mp3_step.h"
#include "batch/start_command.h"
#include "cli/batch_usage.h"
#include "cli/command.h"
#include "cli/terminal.h"
#include "encoder/gogo_tea.h"
#include "settings/settings_store.h"
#include "text/settings_words.h"
#include "text/start_words.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

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
        for (const std::string& line : BuildSummaryLines(summary))
            std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        return 1;
    }

    void RunBatch(const std::string& outputDirectory) override { runOutputDirectory = outputDirectory; }

    std::optional<std::string> runOutputDirectory;

private:
    std::string m_folder;
    TGogoTea* m_gogo;
    bool m_chosen = false;
};

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
    std::string settingsFile;
    std::string outputDir;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--settings" && i + 1 < args.size())
            settingsFile = args[++i];
        else if (args[i] == "--output" && i + 1 < args.size())
            outputDir = args[++i];
        else
            files.push_back(args[i]);
    }
    if (outputDir.empty() || files.empty()) {
        std::fprintf(stderr, "usage:\n%s\n", kBatchUsage);
        return 2;
    }
    struct stat status {};
    if (::stat(outputDir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        std::fprintf(stderr, "orva-cli batch: %s is not a folder\n", outputDir.c_str());
        return 2;
    }

    Settings settings;
    IniFilePath = settingsFile.empty() ? DefaultIniFilePath() : settingsFile;
    LoadSettings(settings, nullptr, DefaultSettingsInLanguage());

    static int argc = 1;
    static char name[] = "orva-cli";
    static char* argv[] = { name, nullptr };
    QCoreApplication app(argc, argv);

    struct sigaction previousPipe {};
    InterruptAsCancel::Install(SIGPIPE, OnBrokenPipe, previousPipe);

    // Every file left out gets one line naming it as given and why; the batch runs the rest.
    int leftOut = 0;
    const auto leaveOut = [&leftOut](const std::string& file, const std::string& why) {
        std::fprintf(stderr, "orva-cli batch: %s left out: %s\n", file.c_str(), why.c_str());
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

    // The encoder component lives on this (owner) thread, which runs the event loop while
    // the job's MP3 step waits on the worker thread.
    std::unique_ptr<TGogoTea> gogo;
    if (settings.Mp3Bitrate != 0)
        gogo = std::make_unique<TGogoTea>();

    TerminalStartHost host(ChosenFolderPath(outputDir), gogo.get());
    StartCommandFields fields;
    const StartOutcome outcome = RunStartCommand(list, settings, host, fields);
    if (outcome != StartOutcome::BatchRun || !host.runOutputDirectory)
        return 2;

    TerminalDialog dialog;
    dialog.view.yesWithoutAsking = &g_terminated;
    std::unique_ptr<BatchNotifier> notifier = MakeSstpNotifier(settings);
    // Ctrl-C and SIGTERM are the cancel button.
    std::atomic<int> cancelRequested { 0 };
    std::unique_ptr<Mp3Step> mp3;
    if (gogo)
        mp3 = std::make_unique<Mp3Step>(settings, dialog.events.Stages(), dialog.events.Problems(), *gogo,
                                        cancelRequested);
    BatchJob job(list.Entries(), *host.runOutputDirectory, settings, dialog.events, mp3.get(), notifier.get(),
                 cancelRequested);

    InterruptAsCancel interrupt(cancelRequested);
    job.Start([&app](const BatchOutcome&) {
        QMetaObject::invokeMethod(
            &app, [&app] { app.exit(0); }, Qt::QueuedConnection);
    });
    app.exec();
    job.Wait();
    FinishProgressLine();

    const BatchOutcome result = job.Outcome();
    if (result.cancelled)
        return 3;
    return leftOut == 0 && result.failedCount == 0 && result.normalizedCount == result.entryCount ? 0 : 1;
}

const CommandRegistration kBatch({ "batch", kBatchUsage, RunBatchCommand });

}  // namespace
}  // namespace orva::cli
