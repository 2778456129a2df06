#include "batch/mp3_step.h"

#include "batch/file_ops.h"
#include "core/output_file.h"
#include "core/progress.h"
#include "core/wave_file.h"
#include "encoder/gogo_tea.h"
#include "encoder/mp3_length.h"
#include "settings/settings.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orva {
namespace {

using namespace std::chrono_literals;

/// How often a wait looks at the cancel flag, which is set without any wake-up.
constexpr std::chrono::milliseconds kCancelCheckInterval = 100ms;
/// How long a stopped encoder (a terminated program, an aborted library encoding) gets to end.
constexpr std::chrono::milliseconds kStopGrace = 2000ms;

/// Leaves a wait when a cancel request comes without a cancel point to ask.
struct EncodingCancelled {};

/// True for a regular file with something in it.
bool HasContent(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

/// True when the MP3 at `mp3` is as long as the WAV at `wave` it was encoded from: an
/// encoder that stopped early and said nothing (a read error it took for the end of its
/// input) is caught here. A WAV that cannot be probed cannot vouch for the MP3.
bool CoversSource(const std::string& mp3, const std::string& wave)
{
    WaveFileInfo info;
    if (ProbeWaveFile(wave, info) < 0 || info.format.blockAlign == 0)
        return false;
    return Mp3CoversWave(MeasureMp3(mp3), info.dataSize / info.format.blockAlign, info.format.sampleRate);
}

/// A running library encoding that is aborted, and given kStopGrace to close its file,
/// when the scope is left before it finished (a confirmed cancel unwinding the job).
class RunningGogo {
public:
    explicit RunningGogo(TGogoTea& tea) : tea_(tea) {}
    ~RunningGogo()
    {
        if (!finished_) {
            tea_.AbortEncode();
            tea_.WaitForFinish(kStopGrace);
        }
    }
    RunningGogo(const RunningGogo&) = delete;
    RunningGogo& operator=(const RunningGogo&) = delete;
    void Finished() { finished_ = true; }

private:
    TGogoTea& tea_;
    bool finished_ = false;
};

/// The external encoder's process: started in a process group of its own (a terminal's
/// Ctrl-C reaches only this program, which asks first; a stop reaches the encoder's own
/// children too), reaped before the object goes, and stopped if it is still running then.
class EncoderProcess {
public:
    EncoderProcess() = default;
    ~EncoderProcess()
    {
        if (pid_ > 0 && !ended_)
            Stop();
        if (pidfd_ >= 0)
            ::close(pidfd_);
    }
    EncoderProcess(const EncoderProcess&) = delete;
    EncoderProcess& operator=(const EncoderProcess&) = delete;

    bool Start(const std::string& program, std::vector<std::string> arguments)
    {
        if (program.empty())
            return false;
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        posix_spawnattr_t attributes;
        if (posix_spawnattr_init(&attributes) != 0)
            return false;
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        // The encoder inherits no handle of ours beyond the standard streams (an open file or
        // socket of this process must not stay open for as long as the encoder runs), and
        // reads nothing from a terminal it does not own (that would stop it for good).
        posix_spawn_file_actions_t actions;
        const bool haveActions = posix_spawn_file_actions_init(&actions) == 0;
        if (haveActions) {
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        }
        bool started = posix_spawn(&pid_, program.c_str(), haveActions ? &actions : nullptr, &attributes,
                                   argv.data(), environ)
            == 0;
        // Without close_range and /proc the closing action itself fails before the program
        // runs; start it then as it is rather than not at all.
        if (!started && haveActions)
            started = posix_spawn(&pid_, program.c_str(), nullptr, &attributes, argv.data(), environ) == 0;
        if (haveActions)
            posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (!started) {
            pid_ = 0;
            return false;
        }
#ifdef SYS_pidfd_open
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
#endif
        return true;
    }

    /// Waits until the program has ended (and reaps it) or `limit` has passed; true when ended.
    bool WaitFor(std::chrono::milliseconds limit)
    {
        if (ended_)
            return true;
        if (pidfd_ >= 0) {
            pollfd entry { pidfd_, POLLIN, 0 };
            const int ready = ::poll(&entry, 1, static_cast<int>(limit.count()));
            if (ready > 0)
                return Reap(0);
            if (ready < 0 && errno != EINTR) {
                ::close(pidfd_);  // look in steps from now on
                pidfd_ = -1;
            }
            return false;
        }
        // No process descriptors (an old kernel): look in short steps.
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (Reap(WNOHANG))
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(10ms);
        }
    }

    /// True when the program ended by itself with status 0.
    bool Succeeded() const { return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0; }

    /// Ends the program's group: SIGTERM, then SIGKILL when it has not ended after kStopGrace.
    void Stop()
    {
        Signal(SIGTERM);
        if (!WaitFor(kStopGrace)) {
            Signal(SIGKILL);
            Reap(0);
        }
    }

private:
    void Signal(int signal)
    {
        if (::kill(-pid_, signal) != 0)
            ::kill(pid_, signal);
    }

    bool Reap(int options)
    {
        pid_t result;
        do {
            result = ::waitpid(pid_, &status_, options);
        } while (result < 0 && errno == EINTR);
        if (result == 0)
            return false;
        if (result < 0)
            status_ = -1;  // not our child any more: nothing to wait for, no status to trust
        ended_ = true;
        return true;
    }

    pid_t pid_ = 0;
    int pidfd_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

const char* BitrateOption(int kbps)
{
    switch (kbps) {
    case 80:
        return "-b6";
    case 96:
        return "-b7";
    case 112:
        return "-b8";
    case 128:
        return "-b9";
    case 160:
        return "-b10";
    case 192:
        return "-b11";
    case 224:
        return "-b12";
    case 256:
        return "-b13";
    case 320:
        return "-b14";
    default:
        return "-b9";
    }
}

}  // namespace

Mp3Step::Mp3Step(const Settings& settings, StageEvents& stages, ProblemReports& problems, TGogoTea& GogoTea1,
                 const std::atomic<int>& CancelRequested)
    : settings_(settings), stages_(stages), problems_(problems), gogoTea_(GogoTea1),
      cancelRequested_(CancelRequested)
{
}

void Mp3Step::CheckCancel(const CancelPoint& cancelPoint) const
{
    if (cancelRequested_.load() == 0)
        return;
    if (!cancelPoint)
        throw EncodingCancelled {};
    cancelPoint();
}

int Mp3Step::Encode(Runner run, const std::string& source, const std::string& destination,
                    const CancelPoint& cancelPoint)
{
    stages_.StageStarted(Stage::Encoding, source);
    ScopedFileRemoval temporary(MakeTemporaryPath(destination));
    int result = -1;
    try {
        const bool complete =
            !temporary.Path().empty() && (this->*run)(source, temporary.Path(), cancelPoint);
        if (complete && HasContent(temporary.Path()) && CoversSource(temporary.Path(), source)
            && PublishTemporaryFile(temporary.Path(), destination)) {
            temporary.Keep();
            result = 0;
        } else {
            problems_.ReportProblem(Problem::EncodeFailed, source);
        }
    } catch (const EncodingCancelled&) {
    }
    stages_.StageFinished(Stage::Encoding);
    return result;
}

int Mp3Step::EncodeWithGogo(const std::string& source, const std::string& destination,
                            const CancelPoint& cancelPoint)
{
    return Encode(&Mp3Step::RunGogo, source, destination, cancelPoint);
}

bool Mp3Step::RunGogo(const std::string& source, const std::string& temporary, const CancelPoint& cancelPoint)
{
    // Another user of the component may have left an encoding running; the setters below
    // would refuse a busy component.
    while (!gogoTea_.WaitForFinish(kCancelCheckInterval))
        CheckCancel(cancelPoint);
    try {
        gogoTea_.SetPriority(TThreadPriority::tpNormal);
        gogoTea_.SetUseLPF16(true);
        gogoTea_.SetEncodeMode(TEncodeMode::_FILE);
        gogoTea_.SetEncodeFormat(TEncodeFormat::_FORMAT_OF_MP3);
        gogoTea_.SetUseVBR(false);
        gogoTea_.SetBitrate(settings_.OutputMode == 3 ? settings_.Mp3Bitrate / 2 : settings_.Mp3Bitrate);
        gogoTea_.SetUsePsy(settings_.UsePsy != 0);
        switch (settings_.OutputMode) {
        case 0:
            gogoTea_.SetEncodeType(TEncodeType::_STEREO);
            break;
        case 1:
            gogoTea_.SetEncodeType(TEncodeType::_JOINT);
            break;
        case 2:
            gogoTea_.SetEncodeType(TEncodeType::_MSSTEREO);
            break;
        case 3:
            gogoTea_.SetEncodeType(TEncodeType::_MONO);
            break;
        default:
            break;
        }
        gogoTea_.SetSourceFile(source);
        gogoTea_.SetDestFile(temporary);
        gogoTea_.Execute();
    } catch (const std::exception&) {
        return false;  // a refused configuration or no library
    }
    RunningGogo running(gogoTea_);
    while (!gogoTea_.WaitForFinish(kCancelCheckInterval))
        CheckCancel(cancelPoint);
    running.Finished();
    return gogoTea_.LastEncodingComplete();
}

int Mp3Step::EncodeWithExternalEncoder(const std::string& source, const std::string& destination,
                                       const CancelPoint& cancelPoint)
{
    return Encode(&Mp3Step::RunExternalEncoder, source, destination, cancelPoint);
}

bool Mp3Step::RunExternalEncoder(const std::string& source, const std::string& temporary,
                                 const CancelPoint& cancelPoint)
{
    EncoderProcess encoder;
    if (!encoder.Start(settings_.EncoderPath, ExternalEncoderArguments(settings_, source, temporary)))
        return false;
    while (!encoder.WaitFor(kCancelCheckInterval))
        CheckCancel(cancelPoint);  // a confirmed cancel leaves here; the encoder is stopped
    return encoder.Succeeded();
}

int GogoTea1Progress(int nowFrames, int AllFrames)
{
    if (AllFrames <= 0)
        return 0;
    const long long position = static_cast<long long>(nowFrames) * 1000 / AllFrames;
    return static_cast<int>(position < 0 ? 0 : position > 1000 ? 1000 : position);
}

std::vector<std::string> ExternalEncoderArguments(const Settings& settings, const std::string& source,
                                                  const std::string& destination)
{
    std::vector<std::string> arguments { settings.EncoderPath, "-e", "-l3",
                                         BitrateOption(settings.Mp3Bitrate) };
    if (settings.OutputMode == 0)
        arguments.emplace_back("-s");
    if (settings.OutputMode == 1)
        arguments.emplace_back("-j");
    arguments.push_back(source);
    arguments.push_back(destination);
    return arguments;
}

}  // namespace orva
