#include "controls/skin_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

#include "platform/notifier.h"

namespace tamlorex::controls {
namespace {

qreal Ratio(const QImage& image) { return image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0; }

QSize LogicalSize(const QImage& image)
{
    return QSize(qRound(image.width() / Ratio(image)), qRound(image.height() / Ratio(image)));
}

// The bitmap as drawn: with `transparent`, the key-colour pixels become see-through.
QImage Prepared(const QImage& image, bool transparent, std::uint32_t keyColor, QPoint keyPoint)
{
    QImage prepared = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    prepared.setDevicePixelRatio(Ratio(image));
    if (!transparent) return prepared;
    QRgb key = keyColor & 0xFFFFFFu;
    if (keyColor == SkinSlider::kKeyAtPoint) {
        if (!prepared.rect().contains(keyPoint)) return prepared;
        key = prepared.pixel(keyPoint) & 0xFFFFFFu;
    }
    for (int y = 0; y < prepared.height(); ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(prepared.scanLine(y));
        for (int x = 0; x < prepared.width(); ++x) {
            if (qAlpha(pixel[x]) == 255 && (pixel[x] & 0xFFFFFFu) == key) pixel[x] = 0;
        }
    }
    return prepared;
}

// A bitmap and its optional second one, prepared into `out` and `outSecond`; both stay empty
// without a normal bitmap (true) or when the second is not the normal one's size, which it must
// be to take its place (false).
bool PreparedPair(const QImage& normal, const QImage& second, bool transparent, std::uint32_t keyColor,
                  QPoint keyPoint, QImage& out, QImage& outSecond)
{
    out = QImage();
    outSecond = QImage();
    if (normal.isNull()) return true;
    if (!second.isNull() && second.size() != normal.size()) return false;
    out = Prepared(normal, transparent, keyColor, keyPoint);
    if (!second.isNull()) outSecond = Prepared(second, transparent, keyColor, keyPoint);
    return true;
}

}  // namespace

SkinSlider::SkinSlider(int controlId, QWidget* parent) : QWidget(parent), controlId_(controlId)
{
    setFocusPolicy(Qt::ClickFocus);
}

bool SkinSlider::SetTrackBitmaps(const QImage& normal, const QImage& second, bool transparent, std::uint32_t keyColor,
                                 QPoint keyPoint)
{
    // As drawn, and as given (stretch mode draws the plain ones).
    const bool ok = PreparedPair(normal, second, transparent, keyColor, keyPoint, track_, trackSecond_);
    PreparedPair(normal, second, false, 0, QPoint(), trackPlain_, trackSecondPlain_);
    if (!track_.isNull() && !stretch_) resize(LogicalSize(track_));
    update();
    return ok;
}

bool SkinSlider::SetThumbBitmaps(const QImage& normal, const QImage& second, bool transparent, std::uint32_t keyColor,
                                 QPoint keyPoint)
{
    const bool ok = PreparedPair(normal, second, transparent, keyColor, keyPoint, thumb_, thumbSecond_);
    update();
    return ok;
}

void SkinSlider::SetStretch(bool stretch)
{
    stretch_ = stretch;
    update();
}

void SkinSlider::SetOrientation(Qt::Orientation orientation)
{
    vertical_ = orientation == Qt::Vertical;
    update();
}

void SkinSlider::SetRange(int minimum, int maximum, bool repaint)
{
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = std::clamp(position_, minimum_, std::max(minimum_, maximum_));
    if (repaint) update();
}

void SkinSlider::SetPosition(int value)
{
    position_ = std::clamp(value, minimum_, std::max(minimum_, maximum_));
    update();
}

void SkinSlider::SetMargins(int left, int top, int right, int bottom)
{
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
    update();
}

void SkinSlider::SetActive(bool active, bool repaint)
{
    active_ = active;
    if (!active_ && dragging_) {
        dragging_ = false;
        releaseMouse();
    }
    if (repaint) update();
}

void SkinSlider::SetTooltip(const QString& text)
{
    if (!text.isEmpty()) setToolTip(text);
}

int SkinSlider::ThumbLength() const
{
    if (thumb_.isNull()) return 0;
    const QSize size = LogicalSize(thumb_);
    return vertical_ ? size.height() : size.width();
}

int SkinSlider::ThumbCentre(int value) const
{
    const int tw = ThumbLength();
    const std::int64_t travel = Length() - TrailMargin() - LeadMargin() - tw;
    const std::int64_t product = static_cast<std::int64_t>(value - minimum_) * travel;
    const std::int64_t step = maximum_ > minimum_ ? product / (static_cast<std::int64_t>(maximum_) - minimum_) : product;
    return LeadMargin() + tw / 2 + static_cast<int>(step);
}

int SkinSlider::ValueAt(int centre) const
{
    const int tw = ThumbLength();
    const double travel = Length() - TrailMargin() - LeadMargin() - tw;
    // No travel left: every pixel is the minimum.
    if (travel <= 0) return minimum_;
    const double value = (centre - tw / 2 - LeadMargin()) / travel * (static_cast<double>(maximum_) - minimum_) + minimum_;
    return static_cast<int>(std::trunc(std::clamp(value, -2147483648.0, 2147483647.0)));
}

void SkinSlider::DragTo(int pointer)
{
    const int tw = ThumbLength();
    const int low = LeadMargin() + tw / 2;
    const int high = std::max(low, Length() - TrailMargin() - tw / 2);
    const int centre = std::clamp(pointer - grabOffset_, low, high);
    if (centre == ThumbCentre(position_)) return;
    position_ = std::clamp(ValueAt(centre), minimum_, std::max(minimum_, maximum_));
    update();
    emit sliderMessage(kSliderMoving, controlId_);
}

void SkinSlider::mousePressEvent(QMouseEvent* event)
{
    if (!active_ || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    dragging_ = true;
    const int pointer = Along(event->position());
    const int d = pointer - ThumbCentre(position_);
    // On the thumb it keeps its grip; elsewhere its centre jumps to the pointer.
    grabOffset_ = std::abs(d) <= ThumbLength() / 2 ? d : 0;
    DragTo(pointer);
    update();
}

void SkinSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!active_ || !dragging_) {
        event->ignore();
        return;
    }
    DragTo(Along(event->position()));
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!active_ || !dragging_ || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    dragging_ = false;
    update();
    emit sliderMessage(kSliderReleased, controlId_);
}

void SkinSlider::keyPressEvent(QKeyEvent* event)
{
    if (!active_) {
        event->ignore();
        return;
    }
    const std::int64_t position = position_;
    std::int64_t next = position;
    switch (event->key()) {
    case Qt::Key_PageUp: next = position - page_; break;
    case Qt::Key_PageDown: next = position + page_; break;
    case Qt::Key_End: next = maximum_; break;
    case Qt::Key_Home: next = minimum_; break;
    case Qt::Key_Right:
    case Qt::Key_Down: next = position + 1; break;
    case Qt::Key_Left:
    case Qt::Key_Up: next = position - 1; break;
    default: event->ignore(); return;
    }
    position_ = static_cast<int>(std::clamp<std::int64_t>(next, minimum_, std::max(minimum_, maximum_)));
    update();
    emit sliderMessage(kSliderReleased, controlId_);
}

void SkinSlider::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void SkinSlider::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void SkinSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int W = width();
    const int H = height();
    const int centre = ThumbCentre(position_);
    if (!track_.isNull()) {
        const qreal ratio = Ratio(track_);
        const int split = std::clamp(centre, 0, Length());
        // The part before the split and the rest, along the travel.
        const auto before = [&](int end) { return vertical_ ? QRect(0, 0, W, end) : QRect(0, 0, end, H); };
        const auto after = [&](int start) {
            return vertical_ ? QRect(0, start, W, H - start) : QRect(start, 0, W - start, H);
        };
        if (stretch_) {
            // Whole bitmaps as they are: the passed part before the thumb's centre, the rest after.
            const QImage& passed = trackSecondPlain_.isNull() ? trackPlain_ : trackSecondPlain_;
            if (split > 0) painter.drawImage(before(split), passed);
            if (split < Length()) painter.drawImage(after(split), trackPlain_);
        } else if (!trackSecond_.isNull() && active_) {
            // Each part from its own place in its bitmap.
            const auto source = [ratio](const QRect& r) {
                return QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio);
            };
            painter.drawImage(before(split), trackSecond_, source(before(split)));
            painter.drawImage(after(split), track_, source(after(split)));
        } else {
            painter.drawImage(QPoint(0, 0), track_);
        }
    }
    if (active_ && !thumb_.isNull()) {
        const QImage& thumb = dragging_ && !thumbSecond_.isNull() ? thumbSecond_ : thumb_;
        const QSize size = LogicalSize(thumb_);
        const QPoint at = vertical_ ? QPoint(left_, centre - size.height() / 2) : QPoint(centre - size.width() / 2, top_);
        painter.drawImage(at, thumb);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}  // namespace tamlorex::controls
