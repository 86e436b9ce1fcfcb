#pragma once
// The direct renderer, used when the surface renderer is off or has failed: each picture is
// converted to a bottom-up 24-bit bitmap and drawn into its pane straight onto the widget. Drawing
// onto a widget happens only while it paints (on the GUI thread); a picture shown by a worker
// asks for a repaint of its pane, and the paint draws the page again.
#include <QPainter>

#include <cstdint>
#include <vector>

#include "display/qt/display_recording.h"
#include "display/qt/screen_target.h"
#include "display/renderer.h"

namespace tamlorex {
class VideoWindow;
}

namespace tamlorex::display {

class DirectRenderer : public Renderer {
public:
    DirectRenderer(VideoWindow& window, ScreenTarget& target, DisplayRecording& recording);

    // Between these two the draw calls go onto the painter (the widget's paint).
    void BeginPaint(QPainter* painter) { painter_ = painter; }
    void EndPaint() { painter_ = nullptr; }

    void Reset(int clientWidth, int clientHeight) override {}
    void DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height) override;
    void DrawPictureView(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                         const PictureView& view) override;
    void DrawNotice(const Rect& pane, const std::vector<std::string>& lines) override;
    void DrawEmpty(const Rect& pane) override;
    void DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font) override;
    void Present(const Rect& area) override;
    void PicturesCleared() override;

private:
    // `source`: the part of the picture to stretch into the pane; null for all of it.
    void DrawPictureIn(const Rect& pane, const std::uint8_t* yuv, int width, int height, const QRectF& source);

    VideoWindow& window_;
    ScreenTarget& target_;
    DisplayRecording& recording_;
    QPainter* painter_ = nullptr;
    std::vector<std::uint8_t> conversion_;  // one 640 x 272 picture at 3 bytes per pixel
};

}  // namespace tamlorex::display
