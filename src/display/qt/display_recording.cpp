#include "display/qt/display_recording.h"

#include <QPainter>

#include <cstring>

#include "display/qt/pane_layout.h"
#include "display/video_window.h"

namespace tamlorex::display {

void DisplayRecording::Start(CaptureFrameSink* sink, int width, int height)
{
    sink_ = sink;
    width_ = width;
    height_ = height;
    mask_ = 0;
    havePane_ = false;
    image_ = QImage();
}

void DisplayRecording::Stop()
{
    sink_ = nullptr;
    mask_ = 0;
    havePane_ = false;
    image_ = QImage();
}

void DisplayRecording::Clear() { mask_ = 0; }

bool DisplayRecording::EnsureImage(SurfaceFormatType type)
{
    if (!image_.isNull() && image_.width() == width_ && image_.height() == height_ && type_ == type) return true;
    type_ = type;
    image_ = QImage(width_, height_, ImageFormatFor(type));
    if (image_.isNull()) return false;
    image_.fill(Qt::black);
    return true;
}

bool DisplayRecording::DrawPicture(VideoWindow& window, const Rect& pane, const QImage& picture, SurfaceFormatType type,
                                   std::string& error, const QRectF& source)
{
    havePane_ = false;
    if (sink_ == nullptr || window.GetMode() != 1 || width_ <= 0 || height_ <= 0 || pane.Width() <= 0 ||
        pane.Height() <= 0)
        return true;
    if (!EnsureImage(type)) {
        error = kErrorAviSurface;
        return false;
    }
    int slot = -1;
    for (int s = 0; s < kMaxChannels && slot < 0; ++s)
        if (window.PaneOnPage(s) && window.PaneRect(s) == pane) slot = s;
    if (slot < 0) return true;

    const std::uint16_t bit = static_cast<std::uint16_t>(1u << slot);
    if ((mask_ & bit) != 0) {
        // The channel came round again: the image holds one round of pictures.
        frame_.resize(static_cast<std::size_t>(width_) * height_ * 3);
        const QImage& source = image_;
        std::vector<std::uint8_t> packed;
        const int bytes = BytesPerPixel(type_);
        const std::uint8_t* bits = source.constBits();
        if (source.bytesPerLine() != width_ * bytes) {
            packed.resize(static_cast<std::size_t>(width_) * bytes * height_);
            for (int y = 0; y < height_; ++y)
                std::memcpy(packed.data() + static_cast<std::size_t>(y) * width_ * bytes, source.constScanLine(y),
                            static_cast<std::size_t>(width_) * bytes);
            bits = packed.data();
        }
        if (ReadBack(type_, frame_.data(), bits, width_, height_)) sink_->WriteCaptureFrame(frame_.data(), 1);
        mask_ = 0;
    }
    recordingPane_ = PaneOf(slot, window.GetSplit(), window.GetPage(), window.GetChannelCount(), width_, height_);
    pane_ = pane;
    QPainter painter(&image_);
    const QRect target(recordingPane_.left, recordingPane_.top, recordingPane_.Width(), recordingPane_.Height());
    if (source.isNull()) painter.drawImage(target, picture);
    else painter.drawImage(QRectF(target), picture, source);
    havePane_ = true;
    mask_ |= bit;
    return true;
}

void DisplayRecording::DrawText(int x, int y, const QString& text, const QColor& color, const QFont& font)
{
    if (sink_ == nullptr || !havePane_ || image_.isNull()) return;
    QPainter painter(&image_);
    painter.setFont(font);
    painter.setPen(color);
    const int left = recordingPane_.left + (x - pane_.left);
    const int top = recordingPane_.top + (y - pane_.top);
    painter.drawText(QPoint(left, top + painter.fontMetrics().ascent()), text);
}

}  // namespace tamlorex::display
