#include "ui/tool_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// Tool images are drawn on a 16 x 16 grid and scaled to the pixmap's size.
constexpr int kGrid = 16;

struct Palette {
    QColor ink;     ///< outlines
    QColor paper;   ///< fills of pages
    QColor accent;  ///< the sign that tells the command apart
};

void DrawPage(QPainter& p, const Palette& c)
{
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13, 4.5);
    page.lineTo(13, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    p.setPen(QPen(c.ink, 1));
    p.setBrush(c.paper);
    p.drawPath(page);
    p.drawLine(QPointF(10, 1.5), QPointF(10, 4.5));
    p.drawLine(QPointF(10, 4.5), QPointF(13, 4.5));
}

void DrawGlyph(QPainter& p, ToolIcon kind, const Palette& c)
{
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case ToolIcon::New:
        DrawPage(p, c);
        break;
    case ToolIcon::Add:
        DrawPage(p, c);
        p.setPen(QPen(c.accent, 2.2));
        p.drawLine(QPointF(11.5, 8), QPointF(11.5, 15));
        p.drawLine(QPointF(8, 11.5), QPointF(15, 11.5));
        break;
    case ToolIcon::Remove:
        DrawPage(p, c);
        p.setPen(QPen(c.accent, 2.2));
        p.drawLine(QPointF(8.5, 8.5), QPointF(14.5, 14.5));
        p.drawLine(QPointF(14.5, 8.5), QPointF(8.5, 14.5));
        break;
    case ToolIcon::Play: {
        QPainterPath triangle;
        triangle.moveTo(4, 2.5);
        triangle.lineTo(13.5, 8);
        triangle.lineTo(4, 13.5);
        triangle.closeSubpath();
        p.setPen(QPen(c.ink, 1));
        p.setBrush(c.accent);
        p.drawPath(triangle);
        break;
    }
    case ToolIcon::Stop:
        p.setPen(QPen(c.ink, 1));
        p.setBrush(c.accent);
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
        break;
    case ToolIcon::Options: {
        // A gear: eight teeth around a ring.
        p.setPen(Qt::NoPen);
        p.setBrush(c.ink);
        p.translate(8, 8);
        for (int i = 0; i < 8; ++i) {
            p.drawRect(QRectF(-1.3, -7.5, 2.6, 3.5));
            p.rotate(45);
        }
        p.setPen(QPen(c.ink, 1));
        p.setBrush(c.accent);
        p.drawEllipse(QPointF(0, 0), 5, 5);
        p.setBrush(c.paper);
        p.drawEllipse(QPointF(0, 0), 2, 2);
        p.resetTransform();
        break;
    }
    case ToolIcon::Start: {
        // Bars of a waveform raised to a common ceiling.
        p.setPen(QPen(c.ink, 1));
        p.drawLine(QPointF(1, 2.5), QPointF(15, 2.5));
        p.setPen(Qt::NoPen);
        p.setBrush(c.accent);
        const double heights[] = { 5, 9, 12, 7, 11, 4 };
        for (int i = 0; i < 6; ++i)
            p.drawRect(QRectF(1.5 + i * 2.3, 15 - heights[i], 1.6, heights[i]));
        p.setBrush(c.ink);
        p.drawRect(QRectF(1.5 + 2 * 2.3, 3, 1.6, 12));
        break;
    }
    case ToolIcon::Analyze: {
        // A level meter: a scale with its needle.
        p.setPen(QPen(c.ink, 1));
        p.setBrush(c.paper);
        p.drawRect(QRectF(1.5, 3.5, 13, 10));
        p.setPen(QPen(c.accent, 1.2));
        p.drawArc(QRectF(3.5, 6, 9, 9), 30 * 16, 120 * 16);
        p.setPen(QPen(c.ink, 1.4));
        p.drawLine(QPointF(8, 12.5), QPointF(11.5, 6.5));
        break;
    }
    case ToolIcon::About: {
        p.setPen(QPen(c.ink, 1));
        p.setBrush(c.accent);
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.setPen(Qt::NoPen);
        p.setBrush(c.paper);
        p.drawEllipse(QPointF(8, 4.8), 1.2, 1.2);
        p.drawRect(QRectF(7, 7, 2, 5.5));
        break;
    }
    }
}

Palette EnabledPalette(ToolIcon kind)
{
    const QColor ink(40, 40, 40);
    const QColor paper(255, 255, 255);
    switch (kind) {
    case ToolIcon::Add:
    case ToolIcon::Play:
        return { ink, paper, QColor(30, 150, 50) };
    case ToolIcon::Remove:
    case ToolIcon::Stop:
        return { ink, paper, QColor(200, 40, 40) };
    case ToolIcon::Options:
        return { ink, paper, QColor(150, 150, 160) };
    case ToolIcon::Start:
        return { ink, paper, QColor(40, 110, 210) };
    case ToolIcon::Analyze:
        return { ink, paper, QColor(30, 150, 50) };
    case ToolIcon::About:
        return { QColor(20, 60, 140), paper, QColor(40, 110, 210) };
    case ToolIcon::New:
        break;
    }
    return { ink, paper, ink };
}

QPixmap DrawTool(ToolIcon kind, int size, bool enabled)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.scale(double(size) / kGrid, double(size) / kGrid);
    if (enabled) {
        DrawGlyph(p, kind, EnabledPalette(kind));
    } else {
        // The classic disabled look: a white relief one pixel down-right under a grey glyph.
        const Palette relief { Qt::white, Qt::white, Qt::white };
        const Palette grey { QColor(128, 128, 128), QColor(212, 212, 212), QColor(128, 128, 128) };
        p.save();
        p.translate(1, 1);
        DrawGlyph(p, kind, relief);
        p.restore();
        DrawGlyph(p, kind, grey);
    }
    return pixmap;
}

}  // namespace

QIcon MakeToolIcon(ToolIcon kind)
{
    QIcon icon;
    for (int size : { 16, 32 }) {
        icon.addPixmap(DrawTool(kind, size, true), QIcon::Normal);
        icon.addPixmap(DrawTool(kind, size, false), QIcon::Disabled);
    }
    return icon;
}

QIcon MakeProgramIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 48, 64, 128 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        // Same drawing as resources/orva.svg.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(24, 58, 112));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        p.setPen(QPen(QColor(255, 200, 60), 3, Qt::DashLine));
        p.drawLine(QPointF(8, 14), QPointF(56, 14));
        p.drawLine(QPointF(8, 50), QPointF(56, 50));
        p.setPen(QPen(QColor(120, 220, 255), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath wave;
        wave.moveTo(8, 32);
        const double peaks[] = { -10, 14, -18, 18, -12, 8, -4 };
        for (int i = 0; i < 7; ++i)
            wave.lineTo(12 + i * 6.5, 32 + peaks[i]);
        wave.lineTo(56, 32);
        p.drawPath(wave);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
