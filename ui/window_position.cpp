#include "ui/window_position.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace {

/// The frame's width on each side of the window, or null while unknown. A window that has
/// never been framed borrows the margins of one that has: the window manager gives every
/// window of the program the same decoration.
QMargins FrameMargins(const QWidget* window)
{
    if (const QWindow* handle = window->windowHandle(); handle != nullptr && !handle->frameMargins().isNull())
        return handle->frameMargins();
    for (const QWindow* other : QGuiApplication::topLevelWindows()) {
        if (other->isVisible() && !other->frameMargins().isNull())
            return other->frameMargins();
    }
    return {};
}

/// The window's size as it will show: a layout that fixes or limits it is applied first.
QSize FrameSize(QWidget* window)
{
    if (QLayout* layout = window->layout(); layout != nullptr)
        layout->activate();
    return window->size().grownBy(FrameMargins(window));
}

/// The screen that shows most of `frame`, or the one nearest to it when none does.
const QScreen* NearestScreen(const QRect& frame)
{
    const QScreen* best = QGuiApplication::primaryScreen();
    long long bestArea = -1;
    long long bestDistance = std::numeric_limits<long long>::max();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        const QRect common = area.intersected(frame);
        const long long shown =
            common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
        const long long dx = std::max({ area.left() - frame.right(), frame.left() - area.right(), 0 });
        const long long dy = std::max({ area.top() - frame.bottom(), frame.top() - area.bottom(), 0 });
        const long long distance = dx * dx + dy * dy;
        if (shown > bestArea || (shown == 0 && bestArea == 0 && distance < bestDistance)) {
            best = screen;
            bestArea = shown;
            bestDistance = distance;
        }
    }
    return best;
}

/// `frame` moved as little as needed to lie wholly on the nearest screen (its top-left
/// corner wins when it is larger than the screen).
QPoint OnNearestScreen(const QRect& frame)
{
    const QScreen* screen = NearestScreen(frame);
    if (screen == nullptr)
        return frame.topLeft();
    const QRect area = screen->availableGeometry();
    const int x = std::max(std::min(frame.x(), area.right() + 1 - frame.width()), area.left());
    const int y = std::max(std::min(frame.y(), area.bottom() + 1 - frame.height()), area.top());
    return { x, y };
}

/// Where the frame's top-left corner is: from the window manager's own report while the
/// window is framed, else from where the window was put.
QPoint FramePosition(const QWidget* window)
{
    if (const QWindow* handle = window->windowHandle();
        handle != nullptr && window->isVisible() && !handle->frameMargins().isNull())
        return handle->framePosition();
    return window->pos();
}

}  // namespace

int WidgetPosition::Top() const { return FramePosition(window_).y(); }

int WidgetPosition::Left() const { return FramePosition(window_).x(); }

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

// The window's final size is known only when it is shown: that is when it is brought onto a
// screen (PlaceBeforeShowing, KeepFrameOnScreen).
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

void PlaceFrame(QWidget* window, QPoint frameTopLeft)
{
    const QMargins margins = FrameMargins(window);
    const QPoint place = OnNearestScreen(QRect(frameTopLeft, FrameSize(window)));
    if (margins.isNull()) {
        // No frame known yet (the first window, or no window manager): Qt hands the place to
        // the window manager as the frame's.
        window->move(place);
        return;
    }
    // The window's own place inside the frame, given as such: what the window manager does
    // with it does not depend on when it learns the frame.
    window->setGeometry(QRect(place + QPoint(margins.left(), margins.top()), window->size()));
}

void KeepFrameOnScreen(QWidget* window) { PlaceFrame(window, FramePosition(window)); }

void CentreFrameOnScreen(QWidget* window, const QWidget* reference)
{
    const QScreen* screen = reference != nullptr && reference->isVisible() ? reference->screen()
                                                                           : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = FrameSize(window);
    PlaceFrame(
        window,
        QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2));
}

void PlaceBeforeShowing(QWidget* window)
{
    // A place given before (restored or designed) is kept on a screen; without one the
    // window opens centred over the window it belongs to.
    if (window->testAttribute(Qt::WA_Moved)) {
        KeepFrameOnScreen(window);
        return;
    }
    CentreFrameOnWindow(window,
                        window->parentWidget() != nullptr ? window->parentWidget()->window() : nullptr);
}

void CentreFrameOnWindow(QWidget* window, const QWidget* owner)
{
    if (owner == nullptr || !owner->isVisible()) {
        CentreFrameOnScreen(window, owner);
        return;
    }
    const QSize size = FrameSize(window);
    const QRect ownerFrame(FramePosition(owner), FrameSize(const_cast<QWidget*>(owner)));
    PlaceFrame(window, ownerFrame.center() - QPoint(size.width() / 2, size.height() / 2));
}
