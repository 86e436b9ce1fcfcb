#include "controls/skin_art.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace tamlorex::controls::art {
namespace {

const QColor kAmber(0xFF, 0xB5, 0x3F);
const QColor kAmberDeep(0xE0, 0x8A, 0x22);
const QColor kRecordRed(0xF0, 0x4A, 0x4A);
const QColor kEdge{QRgb(kEdgeColor)};

// How a button looks in each frame of its strip.
struct Look {
    QColor top, bottom, border, glyph;
    qreal shift;  // the glyph moves right and down while pressed
    bool highlight;
};

Look LookOf(int frame)
{
    switch (frame) {
    case 1: return {QColor(0x1A, 0x1D, 0x22), QColor(0x24, 0x28, 0x2E), QColor(0xA8, 0x74, 0x28), kAmber, 1.0, false};
    case 2: return {QColor(0x4D, 0x55, 0x61), QColor(0x37, 0x3D, 0x46), QColor(0x7A, 0x84, 0x92), Qt::white, 0.0, true};
    case 3: return {QColor(0x2A, 0x2E, 0x34), QColor(0x24, 0x27, 0x2C), QColor(0x34, 0x38, 0x3F), QColor(0x5A, 0x60, 0x6A), 0.0, false};
    default: return {QColor(0x3C, 0x42, 0x4B), QColor(0x2A, 0x2E, 0x35), QColor(0x50, 0x57, 0x62), QColor(0xD8, 0xDC, 0xE2), 0.0, true};
    }
}

QImage NewImage(QSize size, qreal ratio, QColor fill = Qt::transparent)
{
    QImage image(qRound(size.width() * ratio), qRound(size.height() * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(fill);
    return image;
}

QFont GlyphFont(qreal pixels, int weight = QFont::Bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qRound(pixels));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

// Shapes, centred on (cx, cy).
QPolygonF Triangle(qreal cx, qreal cy, qreal w, qreal h, bool right)
{
    const qreal l = cx - w / 2;
    const qreal r = cx + w / 2;
    if (right) return QPolygonF({QPointF(l, cy - h / 2), QPointF(r, cy), QPointF(l, cy + h / 2)});
    return QPolygonF({QPointF(r, cy - h / 2), QPointF(l, cy), QPointF(r, cy + h / 2)});
}

QPolygonF Chevron(qreal cx, qreal cy, qreal w, qreal h, bool up)
{
    if (up) return QPolygonF({QPointF(cx - w / 2, cy + h / 2), QPointF(cx, cy - h / 2), QPointF(cx + w / 2, cy + h / 2)});
    return QPolygonF({QPointF(cx - w / 2, cy - h / 2), QPointF(cx, cy + h / 2), QPointF(cx + w / 2, cy - h / 2)});
}

void FillPolygon(QPainter& p, const QPolygonF& polygon, const QColor& color)
{
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    p.fillPath(path, color);
}

void FillRounded(QPainter& p, const QRectF& r, qreal radius, const QColor& color)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, color);
}

void Text(QPainter& p, const QRectF& r, const QString& text, qreal pixels, const QColor& color, int weight = QFont::Bold)
{
    p.setFont(GlyphFont(pixels, weight));
    p.setPen(color);
    p.drawText(r, Qt::AlignCenter, text);
}

void Speaker(QPainter& p, qreal cx, qreal cy, const QColor& c, bool muted)
{
    const qreal x = cx - 7;
    FillPolygon(p, QPolygonF({QPointF(x, cy - 2.5), QPointF(x + 3, cy - 2.5), QPointF(x + 7, cy - 6), QPointF(x + 7, cy + 6),
                              QPointF(x + 3, cy + 2.5), QPointF(x, cy + 2.5)}),
                c);
    QPen pen(c, 1.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (muted) {
        p.drawLine(QPointF(x + 9.5, cy - 3), QPointF(x + 15, cy + 3));
        p.drawLine(QPointF(x + 9.5, cy + 3), QPointF(x + 15, cy - 3));
    } else {
        p.drawArc(QRectF(x + 4.5, cy - 4, 8, 8), -50 * 16, 100 * 16);
        p.drawArc(QRectF(x + 3, cy - 7, 14, 14), -50 * 16, 100 * 16);
    }
}

void Grid(QPainter& p, qreal cx, qreal cy, int n, const QColor& c)
{
    const qreal w = 15;
    const qreal h = 12;
    if (n == 1) {
        p.setPen(QPen(c, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(cx - w / 2 + 0.8, cy - h / 2 + 0.8, w - 1.6, h - 1.6), 1.5, 1.5);
        return;
    }
    const qreal gap = n >= 4 ? 1.0 : 1.5;
    const qreal cw = (w - gap * (n - 1)) / n;
    const qreal ch = (h - gap * (n - 1)) / n;
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col)
            FillRounded(p, QRectF(cx - w / 2 + col * (cw + gap), cy - h / 2 + row * (ch + gap), cw, ch), 0.8, c);
}

// The picture on a button, centred in `area`; `fill` is the button's face colour.
void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& area, const QColor& c, const QColor& fill, int frame)
{
    const qreal cx = area.center().x();
    const qreal cy = area.center().y();
    switch (glyph) {
    case Glyph::Play:
    case Glyph::DvrPlay: FillPolygon(p, Triangle(cx + 1, cy, 10, 12, true), c); break;
    case Glyph::PlayReverse: FillPolygon(p, Triangle(cx - 1, cy, 10, 12, false), c); break;
    case Glyph::Pause:
    case Glyph::DvrPause:
        FillRounded(p, QRectF(cx - 5, cy - 6, 3.5, 12), 0.8, c);
        FillRounded(p, QRectF(cx + 1.5, cy - 6, 3.5, 12), 0.8, c);
        break;
    case Glyph::PreviousFrame:
        FillRounded(p, QRectF(cx - 6, cy - 5.5, 2.5, 11), 0.6, c);
        FillPolygon(p, Triangle(cx + 1.5, cy, 8, 11, false), c);
        break;
    case Glyph::NextFrame:
        FillRounded(p, QRectF(cx + 3.5, cy - 5.5, 2.5, 11), 0.6, c);
        FillPolygon(p, Triangle(cx - 1.5, cy, 8, 11, true), c);
        break;
    case Glyph::FastForward:
    case Glyph::DvrFastForward:
        FillPolygon(p, Triangle(cx - 3.5, cy, 7, 11, true), c);
        FillPolygon(p, Triangle(cx + 3.5, cy, 7, 11, true), c);
        break;
    case Glyph::FastRewind:
    case Glyph::DvrRewind:
        FillPolygon(p, Triangle(cx - 3.5, cy, 7, 11, false), c);
        FillPolygon(p, Triangle(cx + 3.5, cy, 7, 11, false), c);
        break;
    case Glyph::StillCapture: {
        FillRounded(p, QRectF(cx - 3.5, cy - 6.5, 7, 3), 1, c);
        FillRounded(p, QRectF(cx - 9, cy - 4.5, 18, 11), 2.2, c);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(QPointF(cx, cy + 1), 4.2, 4.2);
        p.setBrush(c);
        p.drawEllipse(QPointF(cx, cy + 1), 2.4, 2.4);
        p.setBrush(fill);
        p.drawEllipse(QPointF(cx + 6, cy - 2.2), 1, 1);
        break;
    }
    case Glyph::Split1: Grid(p, cx, cy, 1, c); break;
    case Glyph::Split4: Grid(p, cx, cy, 2, c); break;
    case Glyph::Split9:
    case Glyph::DvrSplit9: Grid(p, cx, cy, 3, c); break;
    case Glyph::Split16: Grid(p, cx, cy, 4, c); break;
    case Glyph::Mute: Speaker(p, cx, cy, c, frame == 1); break;
    case Glyph::Open: {
        QPainterPath back;
        back.moveTo(cx - 8, cy - 5.5);
        back.lineTo(cx - 3, cy - 5.5);
        back.lineTo(cx - 1.5, cy - 4);
        back.lineTo(cx + 7, cy - 4);
        back.lineTo(cx + 7, cy + 5.5);
        back.lineTo(cx - 8, cy + 5.5);
        back.closeSubpath();
        p.fillPath(back, c);
        FillPolygon(p, QPolygonF({QPointF(cx - 8, cy + 5.5), QPointF(cx - 5.5, cy - 1.5), QPointF(cx + 9.5, cy - 1.5),
                                  QPointF(cx + 7, cy + 5.5)}),
                    fill);
        FillPolygon(p, QPolygonF({QPointF(cx - 7, cy + 5.5), QPointF(cx - 4.8, cy - 0.5), QPointF(cx + 8.5, cy - 0.5),
                                  QPointF(cx + 6.3, cy + 5.5)}),
                    c);
        break;
    }
    case Glyph::Connect: {
        // A plug: cable from the left, body, two prongs to the right.
        p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(cx - 10, cy), QPointF(cx - 5, cy));
        FillRounded(p, QRectF(cx - 5, cy - 5, 8, 10), 2, c);
        FillRounded(p, QRectF(cx + 3, cy - 3.8, 6, 2), 0.8, c);
        FillRounded(p, QRectF(cx + 3, cy + 1.8, 6, 2), 0.8, c);
        break;
    }
    case Glyph::DvrStop: FillRounded(p, QRectF(cx - 5, cy - 5, 10, 10), 1.5, c); break;
    case Glyph::DvrRecord:
        p.setPen(Qt::NoPen);
        p.setBrush(frame == 3 ? c : kRecordRed);
        p.drawEllipse(QPointF(cx, cy), 5.5, 5.5);
        break;
    case Glyph::DvrChannel1: Text(p, area, QStringLiteral("1"), 13, c); break;
    case Glyph::DvrChannel2: Text(p, area, QStringLiteral("2"), 13, c); break;
    case Glyph::DvrChannel3: Text(p, area, QStringLiteral("3"), 13, c); break;
    case Glyph::DvrChannel4: Text(p, area, QStringLiteral("4"), 13, c); break;
    case Glyph::DvrMenu:
        for (int i = -1; i <= 1; ++i) FillRounded(p, QRectF(cx - 6.5, cy - 1 + i * 4, 13, 2), 1, c);
        break;
    case Glyph::DvrUp: FillPolygon(p, Chevron(cx, cy, 12, 7.5, true), c); break;
    case Glyph::DvrDown: FillPolygon(p, Chevron(cx, cy, 12, 7.5, false), c); break;
    case Glyph::DvrSelect: Text(p, area, QStringLiteral("OK"), 10.5, c); break;
    case Glyph::Minimize: FillRounded(p, QRectF(cx - 4.5, cy + 2, 9, 2), 1, c); break;
    case Glyph::Close:
        p.setPen(QPen(c, 1.7, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(cx - 3.8, cy - 3.8), QPointF(cx + 3.8, cy + 3.8));
        p.drawLine(QPointF(cx - 3.8, cy + 3.8), QPointF(cx + 3.8, cy - 3.8));
        break;
    case Glyph::PlayerMode:
    case Glyph::ClientMode: {
        const qreal dot = area.left() + 12;
        p.setPen(QPen(frame == 1 ? kAmber : c, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(dot, cy), 4.5, 4.5);
        if (frame == 1) {
            p.setPen(Qt::NoPen);
            p.setBrush(kAmber);
            p.drawEllipse(QPointF(dot, cy), 2.4, 2.4);
        }
        Text(p, QRectF(area.left() + 19, area.top(), area.width() - 23, area.height()),
             glyph == Glyph::PlayerMode ? QStringLiteral("Player") : QStringLiteral("Client"), 11.5, c, QFont::DemiBold);
        break;
    }
    case Glyph::SaveAvi:
        p.setPen(Qt::NoPen);
        p.setBrush(frame == 3 ? c : kRecordRed);
        p.drawEllipse(QPointF(area.left() + 10, cy), 3.6, 3.6);
        Text(p, QRectF(area.left() + 15, area.top(), area.width() - 18, area.height()), QStringLiteral("AVI"), 10.5, c);
        break;
    case Glyph::StopAvi:
        FillRounded(p, QRectF(area.left() + 5, cy - 3, 6, 6), 1, frame == 3 ? c : kRecordRed);
        Text(p, QRectF(area.left() + 13, area.top(), area.width() - 15, area.height()), QStringLiteral("STOP"), 9, c);
        break;
    }
}

// The face of a button in one frame, within `r`.
void DrawFace(QPainter& p, Glyph glyph, const QRectF& r, int frame)
{
    Look look = LookOf(frame);
    const bool titleButton = glyph == Glyph::Minimize || glyph == Glyph::Close;
    const qreal radius = glyph == Glyph::PlayerMode || glyph == Glyph::ClientMode ? r.height() / 2 : 4.0;
    if (glyph == Glyph::Close && frame == 2) {
        look.top = QColor(0xE0, 0x4B, 0x45);
        look.bottom = QColor(0xC2, 0x36, 0x31);
        look.border = QColor(0xF0, 0x70, 0x6A);
    }
    if (glyph == Glyph::StopAvi && frame != 3) look.border = kRecordRed.darker(frame == 2 ? 100 : 130);
    const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
    if (!(titleButton && frame == 0)) {
        QLinearGradient gradient(body.topLeft(), body.bottomLeft());
        gradient.setColorAt(0, look.top);
        gradient.setColorAt(1, look.bottom);
        p.setPen(QPen(look.border, 1.0));
        p.setBrush(gradient);
        p.drawRoundedRect(body, radius, radius);
        if (look.highlight) {
            p.setPen(QPen(QColor(255, 255, 255, 28), 1.0));
            p.drawLine(QPointF(body.left() + radius, body.top() + 1), QPointF(body.right() - radius, body.top() + 1));
        }
    }
    const QRectF area = r.translated(look.shift, look.shift);
    DrawGlyph(p, glyph, area, look.glyph, look.bottom, frame);
}

// The panel colours of the window at a row of the background picture.
QColor PanelColor(int row)
{
    const int H = kBackgroundHeight;
    if (row < 25) {
        const qreal t = row / 24.0;
        return QColor::fromRgbF(0.205 - 0.06 * t, 0.225 - 0.065 * t, 0.255 - 0.07 * t);
    }
    const int panel = H - 74;
    if (row >= panel) {
        const qreal t = (row - panel) / 73.0;
        return QColor::fromRgbF(0.165 - 0.05 * t, 0.180 - 0.055 * t, 0.205 - 0.06 * t);
    }
    return QColor(0x1B, 0x1E, 0x23);
}

// Fills the see-through pixels with the key colour (half-covered edge pixels keep their colour).
QImage Keyed(QImage image)
{
    const QRgb key = 0xFF000000u | kSliderKey;
    for (int y = 0; y < image.height(); ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(pixel[x]) == 0) pixel[x] = key;
    }
    return image;
}

}  // namespace

QImage ButtonStrip(Glyph glyph, QSize frame, bool mask, qreal ratio)
{
    const int count = mask ? 5 : 4;
    QImage strip = NewImage(QSize(frame.width() * count, frame.height()), ratio);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int i = 0; i < 4; ++i) DrawFace(p, glyph, QRectF(i * frame.width(), 0, frame.width(), frame.height()), i);
    if (mask) {
        const QRectF r(4 * frame.width(), 0, frame.width(), frame.height());
        p.fillRect(r, Qt::white);
        const qreal radius = glyph == Glyph::PlayerMode || glyph == Glyph::ClientMode ? r.height() / 2 : 4.0;
        FillRounded(p, r, radius, Qt::black);
    }
    return strip;
}

QImage Background(qreal ratio)
{
    const int W = kBackgroundWidth;
    const int H = kBackgroundHeight;
    QImage image = NewImage(QSize(W, H), ratio, Qt::transparent);
    QPainter p(&image);
    // The window's panels, as if the picture ran one pixel further right and down: the window's
    // last column and row are its edge.
    for (int row = 0; row < H; ++row) p.fillRect(QRectF(0, row, W, 1), PanelColor(row));
    // The rounded outer edge.
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outside;
    outside.addRect(QRectF(0, 0, W + 1, H + 1));
    QPainterPath inside;
    inside.addRoundedRect(QRectF(0.5, 0.5, W, H), 6, 6);
    p.fillPath(outside.subtracted(inside), kEdge);
    p.setPen(QPen(kEdge, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.5, 0.5, W, H), 6, 6);
    p.setRenderHint(QPainter::Antialiasing, false);
    // A lit line under the top edge and the top bar's lower edge.
    p.fillRect(QRectF(5, 1, W - 5, 1), QColor(255, 255, 255, 22));
    p.fillRect(QRectF(1, 24, W, 1), QColor(0x12, 0x14, 0x17));
    // The bottom panel: a lit line at its top and the well round the status line.
    const int panel = H - 74;
    p.fillRect(QRectF(1, panel, W, 1), QColor(0x12, 0x14, 0x17));
    p.fillRect(QRectF(1, panel + 1, W, 1), QColor(255, 255, 255, 18));
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF well(10.5, panel + 2.5, 191, 19);
    p.setPen(QPen(QColor(255, 255, 255, 26), 1.0));
    p.setBrush(QColor(0x05, 0x06, 0x07));
    p.drawRoundedRect(well.translated(0, 0.5), 3, 3);
    p.setPen(QPen(QColor(0x0C, 0x0D, 0x10), 1.0));
    p.drawRoundedRect(well, 3, 3);
    return image;
}

QImage PositionTrack(bool passed, qreal ratio)
{
    // Drawn whole and stretched: the panel behind it is part of the picture.
    const int w = 100;
    const int h = kPositionTrackHeight;
    QImage image = NewImage(QSize(w, h), ratio);
    QPainter p(&image);
    const int firstRow = kBackgroundHeight - 52 + 1;  // the background row behind the slider's top
    for (int row = 0; row < h; ++row) p.fillRect(QRectF(0, row, w, 1), PanelColor(firstRow + row));
    const QRectF groove(0, h / 2.0 - 2.5, w, 5);
    if (passed) {
        QLinearGradient gradient(groove.topLeft(), groove.bottomLeft());
        gradient.setColorAt(0, kAmber);
        gradient.setColorAt(1, kAmberDeep);
        p.fillRect(groove, gradient);
        p.fillRect(QRectF(0, groove.top(), w, 1), QColor(0xFF, 0xD2, 0x8A));
    } else {
        p.fillRect(groove, QColor(0x0B, 0x0C, 0x0E));
        p.fillRect(QRectF(0, groove.bottom(), w, 1), QColor(255, 255, 255, 24));
    }
    return image;
}

QImage PositionThumb(bool dragging, qreal ratio)
{
    QImage image = NewImage(QSize(12, kPositionTrackHeight), ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(6, kPositionTrackHeight / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawEllipse(centre + QPointF(0, 0.6), 5.6, 5.6);
    QLinearGradient gradient(0, 1, 0, kPositionTrackHeight - 1);
    gradient.setColorAt(0, dragging ? QColor(0xFF, 0xD0, 0x80) : QColor(0xF4, 0xF5, 0xF7));
    gradient.setColorAt(1, dragging ? kAmberDeep : QColor(0xB8, 0xBE, 0xC6));
    p.setBrush(gradient);
    p.drawEllipse(centre, 5, 5);
    p.setBrush(dragging ? QColor(0x4A, 0x2C, 0x08) : kAmberDeep);
    p.drawEllipse(centre, 1.6, 1.6);
    p.end();
    return Keyed(image);
}

QImage VolumeTrack(bool passed, qreal ratio)
{
    const int w = kVolumeTrackWidth;
    const int h = kVolumeTrackHeight;
    QImage image = NewImage(QSize(w, h), ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A wedge that grows to the right, as loud sound does.
    const QPolygonF wedge({QPointF(4, h - 4), QPointF(w - 4, 3), QPointF(w - 4, h - 4)});
    QPainterPath path;
    path.addPolygon(wedge);
    path.closeSubpath();
    if (passed) {
        QLinearGradient gradient(0, 3, 0, h - 4);
        gradient.setColorAt(0, kAmber);
        gradient.setColorAt(1, kAmberDeep);
        p.fillPath(path, gradient);
    } else {
        p.fillPath(path, QColor(0x0B, 0x0C, 0x0E));
        p.strokePath(path, QPen(QColor(0x4A, 0x50, 0x5A), 1.0));
    }
    p.end();
    return Keyed(image);
}

QImage VolumeThumb(bool dragging, qreal ratio)
{
    QImage image = NewImage(QSize(8, kVolumeTrackHeight), ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bar(1.5, 1.5, 5, kVolumeTrackHeight - 3);
    p.setPen(QPen(QColor(0, 0, 0, 140), 1.0));
    QLinearGradient gradient(bar.topLeft(), bar.bottomLeft());
    gradient.setColorAt(0, dragging ? QColor(0xFF, 0xD0, 0x80) : QColor(0xF4, 0xF5, 0xF7));
    gradient.setColorAt(1, dragging ? kAmberDeep : QColor(0xB0, 0xB6, 0xBF));
    p.setBrush(gradient);
    p.drawRoundedRect(bar, 2, 2);
    p.end();
    return Keyed(image);
}

QImage AppIconImage(int size)
{
    // The same picture as the desktop icon (packaging/tamlorex-viewer.svg): a recorder's lens on a
    // dark rounded body, with the red recording light.
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    QLinearGradient body(0, 12, 0, 244);
    body.setColorAt(0, QColor(0x44, 0x50, 0x5F));
    body.setColorAt(1, QColor(0x1B, 0x21, 0x29));
    p.setPen(QPen(QColor(0x0D, 0x10, 0x14), 4));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(12, 12, 232, 232), 48, 48);
    const QPointF lens(128, 136);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x0C, 0x0F, 0x13));
    p.drawEllipse(lens, 82, 82);
    p.setPen(QPen(QColor(0x9A, 0xA6, 0xB5), 10));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(lens, 76, 76);
    QRadialGradient glass(QPointF(72 + 0.38 * 112, 80 + 0.34 * 112), 0.75 * 112);
    glass.setColorAt(0, QColor(0x5C, 0xB4, 0xEE));
    glass.setColorAt(0.5, QColor(0x1F, 0x55, 0x92));
    glass.setColorAt(1, QColor(0x0A, 0x1A, 0x2E));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(lens, 56, 56);
    p.setBrush(QColor(0x05, 0x0B, 0x14));
    p.drawEllipse(lens, 22, 22);
    p.save();
    p.translate(104, 112);
    p.rotate(-40);
    p.setBrush(QColor(255, 255, 255, 153));
    p.drawEllipse(QPointF(0, 0), 16, 9);
    p.restore();
    p.setPen(QPen(QColor(0x7F, 0x17, 0x14), 3));
    p.setBrush(QColor(0xE5, 0x39, 0x35));
    p.drawEllipse(QPointF(206, 50), 17, 17);
    return image;
}

QIcon AppIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    return icon;
}

}  // namespace tamlorex::controls::art
