#include "controls/skin_dialog.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace tamlorex::controls {

SkinDialog::SkinDialog(QWidget* parent) : QDialog(parent) {}

void SkinDialog::SetBackground(const QImage& background)
{
    background_ = background;
    update();
}

void SkinDialog::SetCornerEllipse(int width, int height)
{
    corner_ = QSize(width, height);
}

void SkinDialog::PaintBackground(QPainter& painter, QSize size) const
{
    if (background_.isNull()) return;
    const qreal r = background_.devicePixelRatio() > 0 ? background_.devicePixelRatio() : 1.0;
    // The bitmap's size in the window's pixels; all divisions truncate.
    const int Wb = static_cast<int>(background_.width() / r);
    const int Hb = static_cast<int>(background_.height() / r);
    const int W = size.width();
    const int H = size.height();
    const int halfW = Wb / 2;
    const int halfH = Hb / 2;
    // One rectangle of the bitmap, given in the window's pixels, drawn into `target`.
    const auto draw = [&](const QRect& target, int x, int y, int w, int h) {
        if (target.width() <= 0 || target.height() <= 0 || w <= 0 || h <= 0) return;
        painter.drawImage(QRectF(target), background_, QRectF(x * r, y * r, w * r, h * r));
    };
    // The edges: strips Wb/10 wide at x = Wb/2 (top and bottom halves) and Hb/10 high at y = Hb/2
    // (left and right halves), stretched between the corners.
    draw(QRect(halfW, 0, W - Wb, halfH), halfW, 0, Wb / 10, halfH);
    draw(QRect(halfW, H - halfH - 1, W - Wb, halfH), halfW, halfH, Wb / 10, Hb - halfH);
    draw(QRect(0, halfH, halfW, H - Hb), 0, halfH, halfW, Hb / 10);
    draw(QRect(W - halfW - 1, halfH, halfW, H - Hb), halfW, halfH, Wb - halfW, Hb / 10);
    // The corners, unscaled, from the four quadrants.
    draw(QRect(0, 0, halfW, halfH), 0, 0, halfW, halfH);
    draw(QRect(W - halfW - 1, 0, Wb - halfW, halfH), halfW, 0, Wb - halfW, halfH);
    draw(QRect(0, H - halfH - 1, halfW, Hb - halfH), 0, halfH, halfW, Hb - halfH);
    draw(QRect(W - halfW - 1, H - halfH - 1, Wb - halfW, Hb - halfH), halfW, halfH, Wb - halfW, Hb - halfH);
}

QRegion SkinDialog::WindowRegion(QSize size) const
{
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, size.width(), size.height()), corner_.width() / 2.0, corner_.height() / 2.0);
    return QRegion(path.toFillPolygon().toPolygon());
}

void SkinDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintBackground(painter, size());
}

void SkinDialog::mousePressEvent(QMouseEvent* event)
{
    if (dragToMove_ && event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        return;
    }
    QDialog::mousePressEvent(event);
}

void SkinDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void SkinDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

}  // namespace tamlorex::controls
