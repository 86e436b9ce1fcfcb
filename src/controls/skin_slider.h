#pragma once
// A slider drawn from bitmaps: a track (and a second track for the part already passed) and a
// thumb (and a second thumb shown while it is dragged). It keeps an integer position within its
// range and tells its window about movement with the slider messages: 0x28D1 on every change
// while the thumb is dragged, 0x28D2 when it is released and after every key that moves it, each
// with the slider's control id.
#include <QImage>
#include <QWidget>

#include <cstdint>

namespace tamlorex::controls {

class SkinSlider : public QWidget {
    Q_OBJECT
public:
    // The colour of the pixel at the key point stands for the key colour.
    static constexpr std::uint32_t kKeyAtPoint = 0xFF000000u;

    SkinSlider(int controlId, QWidget* parent);
    int ControlId() const { return controlId_; }

    // The normal and the second bitmap (a null second one: none). With `transparent`, pixels of
    // the key colour (0xRRGGBB, or kKeyAtPoint for the colour at `keyPoint`) are see-through.
    // A null normal bitmap unloads the set. Setting the track resizes the slider to the normal
    // track's size, except in stretch mode. False when the second bitmap's size differs from the
    // normal one's (the set is then unloaded).
    bool SetTrackBitmaps(const QImage& normal, const QImage& second, bool transparent = false,
                         std::uint32_t keyColor = 0, QPoint keyPoint = QPoint());
    bool SetThumbBitmaps(const QImage& normal, const QImage& second, bool transparent = false,
                         std::uint32_t keyColor = 0, QPoint keyPoint = QPoint());
    // Stretch mode keeps the size the layout gives and stretches the whole track bitmaps, drawn
    // as they are (no see-through pixels).
    void SetStretch(bool stretch);
    // Horizontal by default; a vertical slider runs from the top down.
    void SetOrientation(Qt::Orientation orientation);

    void SetRange(int minimum, int maximum, bool repaint = true);
    void SetPage(int page) { page_ = page; }
    // The value limited to the range.
    void SetPosition(int value);
    int GetPosition() const { return position_; }
    void SetMargins(int left, int top, int right, int bottom);
    // An inactive slider ignores the mouse and the keys and shows no thumb.
    void SetActive(bool active, bool repaint = true);
    bool Active() const { return active_; }
    void SetTooltip(const QString& text);

    // The thumb's centre pixel for a value, and the value at a centre pixel.
    int ThumbCentre(int value) const;
    int ValueAt(int centre) const;
    bool Dragging() const { return dragging_; }

    // The names the window uses.
    int value() const { return position_; }
    void setValue(int value) { SetPosition(value); }
    void setRange(int minimum, int maximum) { SetRange(minimum, maximum, true); }
    void setPageStep(int page) { SetPage(page); }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int pageStep() const { return page_; }
    bool isSliderDown() const { return dragging_; }

signals:
    void sliderMessage(std::uint32_t message, int controlId);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool Vertical() const { return vertical_; }
    // Along the travel: the client length, the thumb's length and the margins at both ends.
    int Length() const { return vertical_ ? height() : width(); }
    int ThumbLength() const;
    int LeadMargin() const { return vertical_ ? top_ : left_; }
    int TrailMargin() const { return vertical_ ? bottom_ : right_; }
    int Along(const QPointF& at) const { return static_cast<int>(vertical_ ? at.y() : at.x()); }
    void DragTo(int pointer);

    int controlId_;
    int minimum_ = 0;
    int maximum_ = 100;
    int page_ = 20;
    int position_ = 0;
    bool vertical_ = false;
    int left_ = 0;
    int top_ = 0;
    int right_ = 0;
    int bottom_ = 0;
    QImage track_;
    QImage trackSecond_;
    QImage trackPlain_;  // as given, for stretch mode
    QImage trackSecondPlain_;
    QImage thumb_;
    QImage thumbSecond_;
    bool stretch_ = false;
    bool active_ = true;
    bool dragging_ = false;
    int grabOffset_ = 0;
};

}  // namespace tamlorex::controls
