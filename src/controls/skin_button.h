#pragma once
// A button drawn from one strip of state frames side by side: 0 normal, 1 pressed or checked,
// 2 hover, 3 disabled, and optionally 4, a mask (black: the button, white: see-through). It tracks
// the hover, shows its pressed state only while the pointer is over it, acts as a push button, a
// check box or a radio button, and has a tooltip. (A QPushButton underneath, so that the window's
// code may treat every button of it as one; it is never a dialog's default button.)
#include <QColor>
#include <QImage>
#include <QPushButton>

namespace tamlorex::controls {

class SkinButton : public QPushButton {
    Q_OBJECT
public:
    enum class Kind { Push = 0, Check = 2, Radio = 4 };

    explicit SkinButton(Kind kind, QWidget* parent = nullptr);

    // Takes the strip (its device pixel ratio says how many pixels make one of the window's),
    // splits it into four frames, or five with `mask`, and resizes the button to one frame,
    // keeping its position. `edge` draws a 3-D edge round the button; `inset` is the distance of
    // the text and the focus rectangle from the edge. False for a strip too narrow for its frames.
    bool SetBitmap(const QImage& strip, bool edge = false, int inset = 0, bool mask = false);
    void SetTooltip(const QString& text);
    void SetTextColor(const QColor& color);

    Kind ButtonKind() const { return kind_; }
    bool Hovering() const { return hover_; }
    // The frame that the button shows now (0 to 3).
    int CurrentFrame() const;
    // The size of one frame in the window's pixels.
    QSize FrameSize() const { return frameSize_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void nextCheckState() override;
    bool hitButton(const QPoint& at) const override { return rect().contains(at); }
    QSize sizeHint() const override { return frameSize_; }

private:
    // The other radio buttons of the group (the same parent) clear their check.
    void ClearGroup();

    Kind kind_;
    QImage frames_[4];
    QSize frameSize_;
    bool edge_ = false;
    int inset_ = 0;
    QColor textColor_;
    bool hover_ = false;
    bool pressedTracking_ = false;
};

}  // namespace tamlorex::controls
