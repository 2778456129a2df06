// orva-cli settings / notify: the settings file and the SSTP notifier from the terminal.

#include "cli/command.h"
#include "notify/sstp.h"
#include "settings/settings_store.h"
#include "text/settings_words.h"

#include <cstdio>
#include <optional>

namespace orva::cli {
namespace {

struct Options {
    std::optional<std::string> settingsFile;
    std::optional<std::string> fileName;
    bool save = false;
};

/// Parses the options both commands share; prints the problem and returns false on misuse.
bool ParseOptions(const char* command, const std::vector<std::string>& args, bool allowSave, bool allowFile,
                  Options& options)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--settings" && i + 1 < args.size()) {
            options.settingsFile = args[++i];
        } else if (allowFile && arg == "--file" && i + 1 < args.size()) {
            options.fileName = args[++i];
        } else if (allowSave && arg == "--save") {
            options.save = true;
        } else {
            std::fprintf(stderr, "orva-cli %s: unexpected argument '%s'\n", command, arg.c_str());
            return false;
        }
    }
    if (options.settingsFile)
        IniFilePath = *options.settingsFile;
    return true;
}

void PrintField(const char* name, const std::string& value) { std::printf("%s=%s\n", name, value.c_str()); }

void PrintField(const char* name, int value) { std::printf("%s=%d\n", name, value); }

int RunSettings(const std::vector<std::string>& args)
{
    Options options;
    if (!ParseOptions("settings", args, true, false, options))
        return 2;
    Settings settings;
    PrintField("SettingsFile", SettingsFilePath());
    LoadSettings(settings, nullptr, DefaultSettingsInLanguage());
    PrintField("StartDirectory", settings.StartDirectory);
    PrintField("PeakMode", settings.PeakMode);
    PrintField("SourceFileAction", settings.SourceFileAction);
    PrintField("ResampleRate", settings.ResampleRate);
    PrintField("Mp3Bitrate", settings.Mp3Bitrate);
    PrintField("EncoderKind", settings.EncoderKind);
    PrintField("OutputMode", settings.OutputMode);
    PrintField("UsePsy", settings.UsePsy);
    PrintField("EncoderPath", settings.EncoderPath);
    PrintField("OutputDirMode", settings.OutputDirMode);
    PrintField("FixedOutputDir", settings.FixedOutputDir);
    PrintField("SstpEnabled", settings.SstpEnabled);
    PrintField("SstpFileMessage", settings.SstpFileMessage);
    PrintField("SstpAllMessage", settings.SstpAllMessage);
    PrintField("SstpServer", settings.SstpServer);
    PrintField("SstpPort", settings.SstpPort);
    PrintField("TargetMode", settings.TargetMode);
    PrintField("Target", settings.Target);
    PrintField("Ceiling", settings.Ceiling);
    if (options.save && !SaveSettings(settings, nullptr)) {
        std::fprintf(stderr, "orva-cli settings: cannot write %s\n", IniFilePath.c_str());
        return 1;
    }
    return 0;
}

int RunNotify(const std::vector<std::string>& args)
{
    Options options;
    if (!ParseOptions("notify", args, false, true, options))
        return 2;
    Settings settings;
    LoadSettings(settings, nullptr, DefaultSettingsInLanguage());
    // Failures are silent, as they are in a batch.
    if (options.fileName)
        SendSstpFileMessage(settings, *options.fileName);
    else
        SendSstpAllMessage(settings);
    return 0;
}

const CommandRegistration settingsCommand({
    "settings",
    "  orva-cli settings [--settings FILE] [--save]   print the settings file's path and its settings;"
    " --save writes them back",
    RunSettings,
});

const CommandRegistration notifyCommand({
    "notify",
    "  orva-cli notify [--settings FILE] [--file NAME]   send the SSTP message for NAME,"
    " or the end-of-batch message",
    RunNotify,
});

}  // namespace
}  // namespace orva::cli
