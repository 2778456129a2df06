#pragma once
// Adapts a Qt top-level window to the settings store's PositionedWindow, so every window
// restores and saves its place by the same rule (settings/settings_store.h). GUI thread only.

#include "settings/settings_store.h"

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
    void Move(int top, int left) override;

private:
    QWidget* window_;
};

/// RestoreWindowPosition for a Qt window with its two "Window" keys.
void RestoreWidgetPosition(QWidget* window, const char* topKey, const char* leftKey);
/// SaveWindowPosition for a Qt window with its two "Window" keys.
void SaveWidgetPosition(QWidget* window, const char* topKey, const char* leftKey);
