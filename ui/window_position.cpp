#include "ui/window_position.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

// Positions are those of the outer frame (what the user sees move), in screen pixels.

int WidgetPosition::Top() const { return window_->pos().y(); }

int WidgetPosition::Left() const { return window_->pos().x(); }

bool WidgetPosition::IsMinimized() const { return window_->isMinimized(); }

int WidgetPosition::NormalTop() const
{
    // normalGeometry() is the client area; keep the frame's offset to it.
    const int frameOffset = window_->geometry().y() - window_->pos().y();
    return window_->normalGeometry().isValid() ? window_->normalGeometry().y() - frameOffset : Top();
}

int WidgetPosition::NormalLeft() const
{
    const int frameOffset = window_->geometry().x() - window_->pos().x();
    return window_->normalGeometry().isValid() ? window_->normalGeometry().x() - frameOffset : Left();
}

int WidgetPosition::ScreenWidth() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size().width() : 0;
}

int WidgetPosition::ScreenHeight() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size().height() : 0;
}

void WidgetPosition::Move(int top, int left) { window_->move(left, top); }

void RestoreWidgetPosition(QWidget* window, const char* topKey, const char* leftKey)
{
    WidgetPosition position(window);
    orva::RestoreWindowPosition(position, topKey, leftKey);
}

void SaveWidgetPosition(QWidget* window, const char* topKey, const char* leftKey)
{
    const WidgetPosition position(window);
    orva::SaveWindowPosition(position, topKey, leftKey);
}
