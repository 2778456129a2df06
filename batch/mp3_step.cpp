#include "batch/mp3_step.h"

#include "core/progress.h"
#include "encoder/gogo_tea.h"
#include "settings/settings.h"

#include <QCoreApplication>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace orva {
namespace {

/// Lets the calling thread's own events run, then sleeps 10 ms (the step's wait slice).
void PumpAndSleep()
{
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

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

Mp3Step::Mp3Step(const Settings& settings, ProgressRow& row3, MessageBoxes& messages, TGogoTea& GogoTea1,
                 const std::atomic<int>& CancelRequested)
    : settings_(settings), row3_(row3), messages_(messages), gogoTea_(GogoTea1),
      cancelRequested_(CancelRequested)
{
}

int Mp3Step::EncodeWithGogo(const std::string& source, const std::string& destination)
{
    row3_.SetLabel(Mp3StepStartText);
    row3_.SetPosition(0);
    try {
        // A cancel request that the user then withdrew stops the wait below without stopping
        // the encoder; let that encoding complete before this file's settings are made, so
        // the setters do not meet a busy component.
        while (gogoTea_.IsEncoding())
            PumpAndSleep();

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
        gogoTea_.SetDestFile(destination);

        gogoTea_.Execute();
        // IsEncoding clears when the owner thread has handled the finish or error message.
        while (gogoTea_.IsEncoding() && cancelRequested_.load() == 0)
            PumpAndSleep();
    } catch (const std::exception&) {
        messages_.ShowTitledMessage("ORVA", "エンコードに失敗しました[" + source + "]");
        std::remove(destination.c_str());
    }
    row3_.SetLabel(Mp3StepEndText);
    row3_.SetPosition(1000);
    return 0;
}

int Mp3Step::EncodeWithExternalEncoder(const std::string& source, const std::string& destination)
{
    row3_.SetLabel(Mp3StepStartText);
    row3_.SetPosition(0);

    // Started directly, without a shell: blanks and quotes in paths are plain characters.
    std::vector<std::string> arguments = ExternalEncoderArguments(settings_, source, destination);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // The encoder inherits no handle of ours beyond the standard streams (an open file or
    // socket of this process must not stay open for as long as the encoder runs).
    posix_spawn_file_actions_t actions;
    const bool haveActions = posix_spawn_file_actions_init(&actions) == 0;
    if (haveActions)
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t child = 0;
    bool started = false;
    if (!settings_.EncoderPath.empty()) {
        started = posix_spawn(&child, settings_.EncoderPath.c_str(), haveActions ? &actions : nullptr,
                              nullptr, argv.data(), environ)
            == 0;
        // Without close_range and /proc the closing action itself fails before the program
        // runs; start it then as it is rather than not at all.
        if (!started && haveActions)
            started =
                posix_spawn(&child, settings_.EncoderPath.c_str(), nullptr, nullptr, argv.data(), environ)
                == 0;
    }
    if (started) {
        // Wait without a limit; reaping the child releases it. Its exit status is not used.
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    }
    if (haveActions)
        posix_spawn_file_actions_destroy(&actions);

    row3_.SetLabel(Mp3StepEndText);
    row3_.SetPosition(1000);
    return 0;
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
