#pragma once
// The program's application object: Japanese fonts and translations set up before the first
// window, and the standard display of an error that escapes an event handler.

#include <QApplication>

#include <exception>

class OrvaApplication final : public QApplication {
    Q_OBJECT
public:
    OrvaApplication(int& argc, char** argv);

    /// Delivers an event; an exception escaping its handler is shown and the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;

    /// The standard error box (title "ORVA", error icon) for an exception.
    static void ShowException(const std::exception& error);
};

/// Prepares the process before the QApplication exists: pins the multimedia backend to
/// GStreamer (Qt's other backend here aborts on machines without an audio device) unless
/// the environment names one, and loads the font aliases.
void PrepareDesktop();

/// Loads the font aliases shipped with the program into fontconfig, so the Windows font
/// names the windows ask for ("ＭＳ Ｐゴシック", "ＭＳ ゴシック") resolve to the IPA fonts.
/// Call before the QApplication exists. Returns false when the aliases could not be loaded.
bool LoadFontAliases();

/// The display the window system plugin would connect to is missing: the platform named by
/// `-platform`/`QT_QPA_PLATFORM` (or the default, X11 or Wayland) needs DISPLAY or
/// WAYLAND_DISPLAY and neither is set. `environment` reads a variable (getenv).
bool DisplayMissing(int argc, char** argv, const char* (*environment)(const char*));
