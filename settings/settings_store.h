#pragma once
// Loading and saving the Settings record and the windows' positions in ORVA.INI.
// Runs on the GUI thread only (orva-cli: its main thread).

#include "settings/settings.h"

#include <string>

namespace orva {

/// Path of the settings file. Empty until LoadSettings fills it with DefaultIniFilePath();
/// set it before LoadSettings to use another file (orva-cli --settings, tests).
extern std::string IniFilePath;

/// The settings file when none is named: the current directory's "ORVA.INI" where that
/// file exists (stored settings and scripts rely on it), else "orva/ORVA.INI" in the user's
/// configuration folder ($XDG_CONFIG_HOME, or ~/.config).
std::string DefaultIniFilePath();

/// The settings file in use (IniFilePath, filled with the default when still empty).
const std::string& SettingsFilePath();

/// A window whose position is kept in the settings file. Coordinates in pixels.
class PositionedWindow {
public:
    virtual ~PositionedWindow() = default;
    virtual int Top() const = 0;
    virtual int Left() const = 0;
    /// True while the window is minimized; then NormalTop/NormalLeft give its restored place.
    virtual bool IsMinimized() const = 0;
    virtual int NormalTop() const = 0;
    virtual int NormalLeft() const = 0;
    /// Size of the primary screen.
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    /// Sets the window's top, then its left.
    virtual void Move(int top, int left) = 0;
};

/// Fills IniFilePath (when empty) and StartDirectory, restores the main window's position
/// ("Form1Top"/"Form1Left"; mainWindow may be null) and reads every stored field. A missing
/// or unreadable file, section or key gives the field's default; a text's default comes from
/// `defaults` (the front ends pass the SSTP messages in the user's language). Texts come
/// back whole up to 255 bytes of CP932.
void LoadSettings(Settings& settings, PositionedWindow* mainWindow, const Settings& defaults = Settings {});

/// Writes the version key, the main window's position and every stored field, in one
/// atomic replacement of the file. With mainWindow null the stored "Form1Top"/"Form1Left"
/// are written back as they were (-1 when missing). Returns false when the file could not
/// be replaced (the desktop program ignores that on close; orva-cli reports it).
bool SaveSettings(const Settings& settings, const PositionedWindow* mainWindow);

/// Moves the window to the stored position when both keys are present, neither is -1,
/// and top < screen height - 16 and left < screen width - 16.
void RestoreWindowPosition(PositionedWindow& window, const char* topKey, const char* leftKey);

/// Writes the window's top and left (its normal placement when minimized) to "Window".
void SaveWindowPosition(const PositionedWindow& window, const char* topKey, const char* leftKey);

/// Reads a window's stored size ("Window" keys such as "Form5Width"/"Form5Height");
/// -1 for a key that is missing.
void ReadWindowSize(const char* widthKey, const char* heightKey, int& width, int& height);

/// Writes a window's size to "Window".
void SaveWindowSize(const char* widthKey, const char* heightKey, int width, int height);

/// Reads a number of the "Window" section (a view choice such as the hidden columns);
/// `fallback` when the key is missing.
int ReadWindowValue(const char* key, int fallback);
/// Writes a number to the "Window" section.
void SaveWindowValue(const char* key, int value);
/// Reads a text of the "Window" section (UTF-8; a folder such as the last add folder);
/// empty when the key is missing.
std::string ReadWindowText(const char* key);
/// Writes a text to the "Window" section, stored like the other texts (at most 255 bytes).
void SaveWindowText(const char* key, const std::string& text);

}  // namespace orva
