#pragma once
// The display recording of Player mode ("Save AVI"): while it runs, every pane that is drawn is drawn
// a second time into a recording image of the AVI frame size, and the image goes to the capture
// writer once per round of channels (when a channel comes round again).
#include <QFont>
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

#include "display/qt/pixel_format.h"
#include "display/renderer.h"

namespace tamlorex {
class VideoWindow;
}

namespace tamlorex::display {

// Where the finished frames go: the AVI capture writer's WriteCaptureFrame with its result code.
class CaptureFrameSink {
public:
    virtual ~CaptureFrameSink() = default;
    // A bottom-up 24-bit frame of the recording size; key is always 1 here.
    virtual int WriteCaptureFrame(const std::uint8_t* dib24, int key) = 0;
};

inline constexpr char kErrorAviSurface[] = "Failed to create AVI surface.";

class DisplayRecording {
public:
    // Runs while a sink is set. Everything below is called under the video window's lock.
    void Start(CaptureFrameSink* sink, int width, int height);
    void Stop();
    bool Active() const { return sink_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint16_t ChannelMask() const { return mask_; }
    const QImage& Image() const { return image_; }

    // The picture of the pane just drawn (already converted, any format Qt can draw), or of a
    // zoomed pane its part `source` (null: all of it); false with the failure text when the
    // recording image cannot be made.
    bool DrawPicture(VideoWindow& window, const Rect& pane, const QImage& picture, SurfaceFormatType type,
                     std::string& error, const QRectF& source = QRectF());
    // The OSD text pass belonging to that pane, at the same place relative to the recording pane.
    void DrawText(int x, int y, const QString& text, const QColor& color, const QFont& font);
    void Clear();  // the channel mask

private:
    bool EnsureImage(SurfaceFormatType type);

    CaptureFrameSink* sink_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    SurfaceFormatType type_ = kFormatUnknown;
    QImage image_;
    std::vector<std::uint8_t> frame_;
    std::uint16_t mask_ = 0;
    Rect pane_;           // the pane last drawn, in window coordinates
    Rect recordingPane_;  // its place in the recording image
    bool havePane_ = false;
};

}  // namespace tamlorex::display
