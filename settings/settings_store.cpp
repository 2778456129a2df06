// ORVA.INI: the Settings record and the windows' positions. Every load reads the file
// once; every save changes it in memory and replaces it in one atomic step.

#include "settings/settings_store.h"

#include "settings/profile.h"
#include "settings/sjis.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <string_view>

namespace orva {

std::string IniFilePath;

namespace {

constexpr std::string_view kWindowSection = "Window";

std::string CurrentDirectory()
{
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
            return std::string(buffer.c_str());
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return ".";
        buffer.resize(buffer.size() * 2);
    }
}

/// "$XDG_CONFIG_HOME/orva", or "$HOME/.config/orva"; a relative XDG_CONFIG_HOME is ignored as
/// the XDG rules say. Empty when neither names a folder.
std::string ConfigFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return std::string(config) + "/orva";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/')
        return {};
    return std::string(home) + "/.config/orva";
}

/// Creates the configuration folder (and its parents, private to the user) before the first
/// save to a settings file inside it; a file named elsewhere gets no folders made for it.
void PrepareFolderOf(const std::string& path)
{
    const std::string folder = ConfigFolder();
    if (folder.empty() || path != folder + "/ORVA.INI")
        return;
    for (size_t slash = 1; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string prefix = folder.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return;  // the save then fails and says so
    }
}

const std::string& SettingsPath() { return SettingsFilePath(); }

/// A text field: CP932 in the file (UTF-8 in a file that starts with the UTF-8 mark), at
/// most 255 bytes as CP932 counts them, UTF-8 in memory.
std::string ReadText(const ProfileFile& file, std::string_view section, std::string_view key,
                     std::string_view defaultUtf8)
{
    if (!file.Contains(section, key))
        return std::string(defaultUtf8);
    const std::string stored = file.GetString(section, key, "");
    if (file.IsUtf8())
        return CutToShiftJisLength(stored, kMaxShiftJisTextBytes);
    return FromShiftJis(CutShiftJis(stored, kMaxShiftJisTextBytes));
}

/// A text as it is stored: a C string (it ends at a zero byte) of at most 255 CP932 bytes.
std::string StoredText(const std::string& utf8)
{
    return CutToShiftJisLength(std::string_view(utf8.c_str()), kMaxShiftJisTextBytes);
}

void WriteText(ProfileFile& file, std::string_view section, std::string_view key, const std::string& utf8)
{
    const std::string text = StoredText(utf8);
    file.WriteString(section, key,
                     file.IsUtf8() ? text
                                   : std::string(CutShiftJis(ToShiftJis(text), kMaxShiftJisTextBytes)));
}

void WriteInt(ProfileFile& file, std::string_view section, std::string_view key, int value)
{
    file.WriteString(section, key, std::to_string(value));
}

void RestoreFrom(const ProfileFile& file, PositionedWindow& window, const char* topKey, const char* leftKey)
{
    const int heightLimit = window.ScreenHeight() - 16;
    const int widthLimit = window.ScreenWidth() - 16;
    const int top = file.GetInt(kWindowSection, topKey, -1);
    const int left = file.GetInt(kWindowSection, leftKey, -1);
    // No lower bound: a negative position other than -1 is applied.
    if (top != -1 && left != -1 && top < heightLimit && left < widthLimit)
        window.Move(top, left);
}

void WritePosition(ProfileFile& file, const PositionedWindow& window, const char* topKey, const char* leftKey)
{
    const bool minimized = window.IsMinimized();
    WriteInt(file, kWindowSection, topKey, minimized ? window.NormalTop() : window.Top());
    WriteInt(file, kWindowSection, leftKey, minimized ? window.NormalLeft() : window.Left());
}

}  // namespace

std::string DefaultIniFilePath()
{
    const std::string local = CurrentDirectory() + "/ORVA.INI";
    struct stat status {};
    if (::stat(local.c_str(), &status) == 0)
        return local;
    const std::string folder = ConfigFolder();
    return folder.empty() ? local : folder + "/ORVA.INI";
}

const std::string& SettingsFilePath()
{
    if (IniFilePath.empty())
        IniFilePath = DefaultIniFilePath();
    return IniFilePath;
}

void LoadSettings(Settings& settings, PositionedWindow* mainWindow, const Settings& defaults)
{
    const ProfileFile file(SettingsPath());
    if (mainWindow != nullptr)
        RestoreFrom(file, *mainWindow, "Form1Top", "Form1Left");

    settings.EncoderPath.clear();
    settings.StartDirectory = CurrentDirectory();

    settings.PeakMode = file.GetInt("Mathod", "CONVERT", 0);
    settings.SourceFileAction = file.GetInt("Mathod", "DELETE", 0);
    settings.ResampleRate = file.GetInt("Mathod", "SAMPLE", 0);
    settings.Mp3Bitrate = file.GetInt("ENCODE", "RATE", 0);
    settings.OutputMode = file.GetInt("ENCODE", "OUTMODE", 0);
    settings.UsePsy = file.GetInt("ENCODE", "PSY", 0);
    settings.EncoderKind = file.GetInt("ENCODE", "ENCODER", 0);
    settings.EncoderPath = ReadText(file, "ENCODE", "PATH", "");

    settings.OutputDirMode = file.GetInt("WDIR", "STATE", 0);
    settings.FixedOutputDir = ReadText(file, "WDIR", "PATH", "");

    settings.SstpEnabled = file.GetInt("SSTP", "STATE", 0);
    settings.SstpFileMessage = ReadText(file, "SSTP", "ONE", defaults.SstpFileMessage);
    settings.SstpAllMessage = ReadText(file, "SSTP", "ALL", defaults.SstpAllMessage);
    settings.SstpServer = ReadText(file, "SSTP", "SERVER", defaults.SstpServer);
    settings.SstpPort = ReadText(file, "SSTP", "PORT", defaults.SstpPort);

    // Levels from a hand-edited file are brought into the range the options dialog allows.
    settings.TargetMode = std::clamp(file.GetInt("Mathod", "TARGETMODE", 0), 0, 2);
    settings.Target = std::clamp(file.GetInt("Mathod", "TARGET", DefaultTargetTenths(settings.TargetMode)),
                                 MinTargetTenths(settings.TargetMode), MaxTargetTenths(settings.TargetMode));
    settings.Ceiling = std::clamp(file.GetInt("Mathod", "CEILING", kDefaultCeilingTenths), kMinCeilingTenths,
                                  kMaxCeilingTenths);
}

bool SaveSettings(const Settings& settings, const PositionedWindow* mainWindow)
{
    PrepareFolderOf(SettingsPath());
    ProfileFile file(SettingsPath());
    // A text that CP932 cannot hold ("/home/josé") would come back as something else: only
    // then does the file become UTF-8, so a file of CP932 texts stays as it always was.
    for (const std::string* text :
         { &settings.EncoderPath, &settings.FixedOutputDir, &settings.SstpFileMessage,
           &settings.SstpAllMessage, &settings.SstpServer, &settings.SstpPort }) {
        if (!FitsShiftJis(StoredText(*text)))
            file.ConvertToUtf8();
    }
    file.WriteString("ORVA", "VERSION", "1.0a");
    if (mainWindow != nullptr) {
        WritePosition(file, *mainWindow, "Form1Top", "Form1Left");
    } else {
        // No window (orva-cli): a stored position stays as it is; a missing one is written
        // as -1 (which reads as missing), so a fresh file still gets its sections in order.
        for (const char* key : { "Form1Top", "Form1Left" }) {
            if (!file.Contains(kWindowSection, key))
                WriteInt(file, kWindowSection, key, -1);
        }
    }

    WriteInt(file, "Mathod", "CONVERT", settings.PeakMode);
    WriteInt(file, "Mathod", "DELETE", settings.SourceFileAction);
    WriteInt(file, "Mathod", "SAMPLE", settings.ResampleRate);
    // The target keys join the file once they mean something, so that a file of someone who
    // never chose a target stays as it always was.
    const bool classicTarget =
        settings.TargetMode == 0 && settings.Target == 0 && settings.Ceiling == kDefaultCeilingTenths;
    if (!classicTarget || file.Contains("Mathod", "TARGETMODE") || file.Contains("Mathod", "TARGET")
        || file.Contains("Mathod", "CEILING")) {
        WriteInt(file, "Mathod", "TARGETMODE", settings.TargetMode);
        WriteInt(file, "Mathod", "TARGET", settings.Target);
        WriteInt(file, "Mathod", "CEILING", settings.Ceiling);
    }

    WriteInt(file, "ENCODE", "RATE", settings.Mp3Bitrate);
    WriteInt(file, "ENCODE", "OUTMODE", settings.OutputMode);
    WriteInt(file, "ENCODE", "PSY", settings.UsePsy);
    WriteInt(file, "ENCODE", "ENCODER", settings.EncoderKind);
    WriteText(file, "ENCODE", "PATH", settings.EncoderPath);

    WriteInt(file, "WDIR", "STATE", settings.OutputDirMode);
    WriteText(file, "WDIR", "PATH", settings.FixedOutputDir);

    WriteInt(file, "SSTP", "STATE", settings.SstpEnabled);
    WriteText(file, "SSTP", "ONE", settings.SstpFileMessage);
    WriteText(file, "SSTP", "ALL", settings.SstpAllMessage);
    WriteText(file, "SSTP", "SERVER", settings.SstpServer);
    WriteText(file, "SSTP", "PORT", settings.SstpPort);

    return file.Save();
}

void RestoreWindowPosition(PositionedWindow& window, const char* topKey, const char* leftKey)
{
    RestoreFrom(ProfileFile(SettingsPath()), window, topKey, leftKey);
}

void SaveWindowPosition(const PositionedWindow& window, const char* topKey, const char* leftKey)
{
    PrepareFolderOf(SettingsPath());
    ProfileFile file(SettingsPath());
    WritePosition(file, window, topKey, leftKey);
    file.Save();
}

void ReadWindowSize(const char* widthKey, const char* heightKey, int& width, int& height)
{
    const ProfileFile file(SettingsPath());
    width = file.GetInt(kWindowSection, widthKey, -1);
    height = file.GetInt(kWindowSection, heightKey, -1);
}

void SaveWindowSize(const char* widthKey, const char* heightKey, int width, int height)
{
    PrepareFolderOf(SettingsPath());
    ProfileFile file(SettingsPath());
    WriteInt(file, kWindowSection, widthKey, width);
    WriteInt(file, kWindowSection, heightKey, height);
    file.Save();
}

int ReadWindowValue(const char* key, int fallback)
{
    return ProfileFile(SettingsPath()).GetInt(kWindowSection, key, fallback);
}

void SaveWindowValue(const char* key, int value)
{
    ProfileFile file(SettingsPath());
    WriteInt(file, kWindowSection, key, value);
    file.Save();
}

std::string ReadWindowText(const char* key)
{
    return ReadText(ProfileFile(SettingsPath()), kWindowSection, key, "");
}

void SaveWindowText(const char* key, const std::string& text)
{
    ProfileFile file(SettingsPath());
    WriteText(file, kWindowSection, key, text);
    file.Save();
}

}  // namespace orva
