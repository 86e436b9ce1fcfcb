#include "controls/skin_button.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionFocusRect>

namespace tamlorex::controls {
namespace {

// A raised (or sunken) edge one pixel wide all round.
void DrawEdge(QPainter& painter, const QRect& r, bool sunken, const QPalette& palette)
{
    const QColor light = palette.color(QPalette::Light);
    const QColor dark = palette.color(QPalette::Dark);
    painter.setPen(sunken ? dark : light);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(sunken ? light : dark);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

SkinButton::SkinButton(Kind kind, QWidget* parent)
    : QPushButton(parent), kind_(kind), textColor_(palette().color(QPalette::ButtonText))
{
    setAutoDefault(false);
    setDefault(false);
    setMouseTracking(true);
    setCheckable(kind != Kind::Push);
    setAutoExclusive(false);
    // A radio button that becomes checked, however it happens, clears the rest of its group.
    connect(this, &QAbstractButton::toggled, this, [this](bool checked) {
        if (checked && kind_ == Kind::Radio) ClearGroup();
    });
}

bool SkinButton::SetBitmap(const QImage& strip, bool edge, int inset, bool mask)
{
    const int count = mask ? 5 : 4;
    const qreal ratio = strip.devicePixelRatio() > 0 ? strip.devicePixelRatio() : 1.0;
    const int frameWidth = strip.width() / count;
    if (strip.isNull() || frameWidth <= 0 || strip.height() <= 0) return false;
    const QImage source = strip.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage maskFrame;
    if (mask) maskFrame = source.copy(4 * frameWidth, 0, frameWidth, source.height()).convertToFormat(QImage::Format_ARGB32);
    for (int i = 0; i < 4; ++i) {
        QImage frame = source.copy(i * frameWidth, 0, frameWidth, source.height());
        if (mask) {
            // White in the mask shows what lies under the button, black shows the frame.
            for (int y = 0; y < frame.height(); ++y) {
                auto* pixel = reinterpret_cast<QRgb*>(frame.scanLine(y));
                const auto* cover = reinterpret_cast<const QRgb*>(maskFrame.constScanLine(y));
                for (int x = 0; x < frame.width(); ++x) {
                    const int keep = 255 - qGray(cover[x]);
                    const QRgb p = pixel[x];
                    pixel[x] = qRgba(qRed(p) * keep / 255, qGreen(p) * keep / 255, qBlue(p) * keep / 255,
                                     qAlpha(p) * keep / 255);
                }
            }
        }
        frame.setDevicePixelRatio(ratio);
        frames_[i] = frame;
    }
    frameSize_ = QSize(qRound(frameWidth / ratio), qRound(source.height() / ratio));
    edge_ = edge;
    inset_ = inset;
    resize(frameSize_);
    update();
    return true;
}

void SkinButton::SetTooltip(const QString& text)
{
    if (!text.isEmpty()) setToolTip(text);
}

void SkinButton::SetTextColor(const QColor& color)
{
    textColor_ = color;
    update();
}

int SkinButton::CurrentFrame() const
{
    if (!isEnabled()) return 3;
    if (isDown() || isChecked()) return 1;
    return hover_ ? 2 : 0;
}

void SkinButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int frame = CurrentFrame();
    if (!frames_[frame].isNull()) painter.drawImage(QPoint(0, 0), frames_[frame]);
    const QRect r = rect();
    if (edge_) DrawEdge(painter, r.adjusted(0, 0, -1, -1), frame == 1, palette());
    if (frame != 1 && frame != 3 && hasFocus() && inset_ > 0) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(inset_, inset_, -inset_, -inset_);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
    if (text().isEmpty()) return;
    QRect textRect = r.adjusted(inset_ + 2, 0, -(inset_ + 2), 0);
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    if (frame == 3) {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(textRect, flags, text());
        painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(textRect.translated(-1, -1), flags, text());
        return;
    }
    if (frame == 1) textRect.translate(1, 1);
    painter.setPen(textColor_);
    painter.drawText(textRect, flags, text());
}

void SkinButton::enterEvent(QEnterEvent* event)
{
    if (!hover_ && !pressedTracking_) {
        hover_ = true;
        update();
    }
    QPushButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event)
{
    hover_ = false;
    update();
    QPushButton::leaveEvent(event);
}

void SkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        hover_ = false;
        pressedTracking_ = true;
    }
    // Shows the pressed state; from here on it follows whether the pointer is over the button,
    // and a release away from it sends no click.
    QPushButton::mousePressEvent(event);
}

void SkinButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressedTracking_ && !hover_ && rect().contains(event->position().toPoint())) {
        hover_ = true;
        update();
    }
    QPushButton::mouseMoveEvent(event);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) pressedTracking_ = false;
    QPushButton::mouseReleaseEvent(event);
}

void SkinButton::focusOutEvent(QFocusEvent* event)
{
    pressedTracking_ = false;
    QPushButton::focusOutEvent(event);
}

void SkinButton::nextCheckState()
{
    // A radio button becomes checked; a check box toggles.
    if (kind_ == Kind::Radio) setChecked(true);
    else if (kind_ == Kind::Check) setChecked(!isChecked());
}

void SkinButton::ClearGroup()
{
    QWidget* group = parentWidget();
    if (group == nullptr) return;
    for (SkinButton* other : group->findChildren<SkinButton*>(Qt::FindDirectChildrenOnly)) {
        if (other != this && other->kind_ == Kind::Radio && other->isChecked()) other->setChecked(false);
    }
}

}  // namespace tamlorex::controls
