#include "controls/viewer_slider.h"

#include "platform/notifier.h"

namespace tamlorex::controls {

ViewerSlider::ViewerSlider(int controlId, QWidget* parent) : QSlider(Qt::Horizontal, parent), controlId_(controlId)
{
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QSlider::sliderMoved, this, [this](int) { emit sliderMessage(kSliderMoving, controlId_); });
    connect(this, &QSlider::sliderReleased, this, [this] { emit sliderMessage(kSliderReleased, controlId_); });
    // Clicks on the track and keys move the value without a drag.
    connect(this, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    emit sliderMessage(kSliderMoving, controlId_);
                    emit sliderMessage(kSliderReleased, controlId_);
                },
                Qt::QueuedConnection);
        }
    });
}

}  // namespace tamlorex::controls
