#include "StripArtwork.h"

#include "MbButtonTable.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

enum class Symbol { Back, PlayPause, Stop, Forward, Record };

struct Palette
{
    QColor top;    // body gradient, top
    QColor bottom; // body gradient, bottom
    QColor border;
    QColor symbol;
};

// Neutral buttons; the play/pause button is the primary one and carries the accent colour.
Palette PaletteFor(Symbol symbol, StripLook look)
{
    const bool primary = symbol == Symbol::PlayPause;
    const bool record = symbol == Symbol::Record;
    switch (look) {
    case StripLook::Normal:
        if (primary)
            return {QColor(0x3b, 0x88, 0xf0), QColor(0x1a, 0x62, 0xd0), QColor(0x15, 0x4f, 0xad), Qt::white};
        return {QColor(0xff, 0xff, 0xff), QColor(0xe4, 0xe7, 0xeb), QColor(0xa9, 0xb0, 0xba),
                record ? QColor(0xd9, 0x30, 0x25) : QColor(0x3c, 0x40, 0x46)};
    case StripLook::Over:
        if (primary)
            return {QColor(0x62, 0xa3, 0xff), QColor(0x2f, 0x79, 0xe8), QColor(0x1a, 0x5c, 0xc4), Qt::white};
        if (record)
            return {QColor(0xff, 0xff, 0xff), QColor(0xfc, 0xe3, 0xe1), QColor(0xd9, 0x30, 0x25),
                    QColor(0xea, 0x33, 0x27)};
        return {QColor(0xff, 0xff, 0xff), QColor(0xe3, 0xee, 0xfd), QColor(0x1a, 0x73, 0xe8), QColor(0x1a, 0x66, 0xd6)};
    case StripLook::Click:
        if (primary)
            return {QColor(0x12, 0x4a, 0xa6), QColor(0x1d, 0x62, 0xcc), QColor(0x0f, 0x3e, 0x8c),
                    QColor(0xe6, 0xee, 0xfb)};
        if (record)
            return {QColor(0xf2, 0xc9, 0xc5), QColor(0xfb, 0xe6, 0xe4), QColor(0xa8, 0x22, 0x1a),
                    QColor(0xb3, 0x24, 0x1b)};
        return {QColor(0xc9, 0xd3, 0xe0), QColor(0xe6, 0xeb, 0xf1), QColor(0x15, 0x58, 0xb0), QColor(0x15, 0x58, 0xb0)};
    }
    return {};
}

// A triangle pointing right (dir 1) or left (dir -1) whose flat side is at x, width w, height h.
QPainterPath Triangle(qreal x, qreal cy, qreal w, qreal h, int dir)
{
    QPainterPath path;
    path.moveTo(x, cy - h / 2);
    path.lineTo(x + dir * w, cy);
    path.lineTo(x, cy + h / 2);
    path.closeSubpath();
    return path;
}

QPainterPath SymbolPath(Symbol symbol, QPointF c)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    switch (symbol) {
    case Symbol::Back: // two triangles pointing left, the pair centred
        path.addPath(Triangle(c.x() + 0.5, c.y(), 6.5, 10, -1));
        path.addPath(Triangle(c.x() + 7.0, c.y(), 6.5, 10, -1));
        break;
    case Symbol::Forward:
        path.addPath(Triangle(c.x() - 0.5, c.y(), 6.5, 10, 1));
        path.addPath(Triangle(c.x() - 7.0, c.y(), 6.5, 10, 1));
        break;
    case Symbol::Stop:
        path.addRoundedRect(QRectF(c.x() - 5, c.y() - 5, 10, 10), 1.5, 1.5);
        break;
    case Symbol::Record:
        path.addEllipse(c, 6.0, 6.0);
        break;
    case Symbol::PlayPause: { // play triangle, then the two pause bars
        const qreal h = 15;
        const qreal left = c.x() - 10.5;
        path.addPath(Triangle(left, c.y(), 11, h, 1));
        path.addRoundedRect(QRectF(left + 14.0, c.y() - h / 2, 3.2, h), 0.8, 0.8);
        path.addRoundedRect(QRectF(left + 18.8, c.y() - h / 2, 3.2, h), 0.8, 0.8);
        break;
    }
    }
    return path;
}

void DrawButton(QPainter& p, const tMbButtonGeometry& g, Symbol symbol, StripLook look)
{
    const QPointF c(g.CenterX, g.CenterY);
    const qreal r = g.Radius;
    const Palette pal = PaletteFor(symbol, look);
    const bool pressed = look == StripLook::Click;

    // Soft shadow under the button, kept within the circle's width so no band clips it.
    p.setPen(Qt::NoPen);
    if (!pressed) {
        p.setBrush(QColor(0, 0, 0, 18));
        p.drawEllipse(c + QPointF(0, 1.6), r, r);
        p.setBrush(QColor(0, 0, 0, 26));
        p.drawEllipse(c + QPointF(0, 0.8), r, r);
    }

    // Body: lit from above at rest and under the pointer, sunk (gradient reversed) when pressed.
    QLinearGradient body(c.x(), c.y() - r, c.x(), c.y() + r);
    body.setColorAt(0, pal.top);
    body.setColorAt(1, pal.bottom);
    p.setBrush(body);
    p.setPen(QPen(pal.border, look == StripLook::Normal ? 1.0 : 1.5));
    const qreal inset = look == StripLook::Normal ? 0.5 : 0.75;
    p.drawEllipse(c, r - inset, r - inset);

    if (look == StripLook::Over && symbol == Symbol::PlayPause) { // a bright inner ring marks the hover
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
        p.drawEllipse(c, r - 3.0, r - 3.0);
    }

    if (pressed) { // inner shadow along the top edge
        QLinearGradient shade(c.x(), c.y() - r, c.x(), c.y() - r + 6);
        shade.setColorAt(0, QColor(0, 0, 0, 40));
        shade.setColorAt(1, QColor(0, 0, 0, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawEllipse(c, r - 1.5, r - 1.5);
    } else { // a thin highlight just inside the top edge
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, symbol == Symbol::PlayPause ? 70 : 200), 1.0));
        p.drawArc(QRectF(c.x() - r + 2, c.y() - r + 2, 2 * r - 4, 2 * r - 4), 30 * 16, 120 * 16);
    }

    // The symbol sinks with the button when pressed.
    const QPointF at = c + QPointF(0, pressed ? 0.8 : 0);
    p.setPen(QPen(pal.symbol, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(pal.symbol);
    p.drawPath(SymbolPath(symbol, at));
}

} // namespace

QImage DrawStripPicture(StripLook look, bool withRecord, int scale)
{
    QImage image(StripPictureWidth * scale, StripPictureHeight * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);

    const Symbol symbols[] = {Symbol::Back, Symbol::PlayPause, Symbol::Stop, Symbol::Forward, Symbol::Record};
    const int count = withRecord ? 5 : 4;

    // A faint tray behind the row; identical in the three looks, so the bands join without seams.
    const tMbButtonGeometry& first = MbButtonTable[0];
    const tMbButtonGeometry& last = MbButtonTable[count - 1];
    const QRectF tray(first.CenterX - first.Radius - 9, first.CenterY - 29, 0, 58);
    QRectF trayRect = tray;
    trayRect.setRight(last.CenterX + last.Radius + 9);
    p.setPen(QPen(QColor(0, 0, 0, 28), 1.0));
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawRoundedRect(trayRect.adjusted(0.5, 0.5, -0.5, -0.5), 29, 29);

    for (int i = 0; i < count; ++i)
        DrawButton(p, MbButtonTable[static_cast<std::size_t>(i)], symbols[i], look);
    p.end();
    return image;
}

QString StripPictureName(StripLook look, bool withRecord, int scale)
{
    QString name = look == StripLook::Normal ? QStringLiteral("btnnormal")
                   : look == StripLook::Over ? QStringLiteral("btnover")
                                             : QStringLiteral("btnclick");
    if (withRecord)
        name += QStringLiteral("rec");
    if (scale == 2)
        name += QStringLiteral("@2x");
    return name + QStringLiteral(".png");
}
