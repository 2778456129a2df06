#pragma once
// Adapts a Qt top-level window to the settings store's PositionedWindow, so every window
// restores and saves its place by the same rule (settings/settings_store.h), and places
// windows before they are shown so the window manager never has to be corrected.
// A window's place is that of its frame's top-left corner (title bar included), in screen
// pixels: stored, restored and compared as such. GUI thread only.

#include "settings/settings_store.h"

#include <QPoint>

class QWidget;

class WidgetPosition final : public orva::PositionedWindow {
public:
    /// The window is not owned and must outlive this adapter.
    explicit WidgetPosition(QWidget* window) : window_(window) {}

    int Top() const override;
    int Left() const override;
    bool IsMinimized() const override;
    int NormalTop() const override;
    int NormalLeft() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;
    /// Puts the frame's top-left corner there; the showing brings the frame onto a screen.
    void Move(int top, int left) override;

private:
    QWidget* window_;
};

/// RestoreWindowPosition for a Qt window with its two "Window" keys.
void RestoreWidgetPosition(QWidget* window, const char* topKey, const char* leftKey);
/// SaveWindowPosition for a Qt window with its two "Window" keys.
void SaveWidgetPosition(QWidget* window, const char* topKey, const char* leftKey);

/// Moves a top-level window so that its frame's top-left corner is at `frameTopLeft`, moved
/// as little as needed for the whole frame to lie on the nearest screen. Works before the
/// first showing (the window manager places the frame there) and between showings.
void PlaceFrame(QWidget* window, QPoint frameTopLeft);
/// PlaceFrame at the window's present place: call before showing once its size is final.
void KeepFrameOnScreen(QWidget* window);
/// Centres the window's frame on the screen that shows `reference` (the primary screen when
/// it is null or hidden); call before showing.
void CentreFrameOnScreen(QWidget* window, const QWidget* reference);
/// Before a dialog's showing: keeps a place it was given on a screen, or centres it over
/// the window it belongs to.
void PlaceBeforeShowing(QWidget* window);

/// Centres the window's frame over `owner`'s frame when the owner is shown, else on the
/// screen; either way on a screen.
void CentreFrameOnWindow(QWidget* window, const QWidget* owner);
