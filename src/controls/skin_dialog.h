#pragma once
// The base of the skinned main window: a background bitmap whose four quadrants make the corners
// and whose middle strips stretch along the edges, rounded window corners, and a window that moves
// when dragged by any point.
#include <QDialog>
#include <QImage>

namespace tamlorex::controls {

class SkinDialog : public QDialog {
    Q_OBJECT
public:
    explicit SkinDialog(QWidget* parent = nullptr);

    // The bitmap (its device pixel ratio says how many pixels make one of the window's).
    void SetBackground(const QImage& background);
    const QImage& Background() const { return background_; }
    // The corner ellipse of the rounded window (12 x 12 for the main window).
    void SetCornerEllipse(int width, int height);
    QSize CornerEllipse() const { return corner_; }
    void SetDragToMove(bool on) { dragToMove_ = on; }

    // The skin of a client area of `size`: corners and edges only; the middle is left as it is.
    void PaintBackground(QPainter& painter, QSize size) const;
    // The rounded window of `size`.
    QRegion WindowRegion(QSize size) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage background_;
    QSize corner_{12, 12};
    bool dragToMove_ = true;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace tamlorex::controls
