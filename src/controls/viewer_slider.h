#pragma once
// A slider that reports its movement to the main window the way the skinned sliders will: message
// 0x28D1 while the thumb is dragged, 0x28D2 when it is released or moved with the keyboard, each
// with the slider's control id.
#include <QSlider>

#include <cstdint>

namespace tamlorex::controls {

class ViewerSlider : public QSlider {
    Q_OBJECT
public:
    ViewerSlider(int controlId, QWidget* parent);
    int ControlId() const { return controlId_; }

signals:
    void sliderMessage(std::uint32_t message, int controlId);

private:
    int controlId_;
};

}  // namespace tamlorex::controls
