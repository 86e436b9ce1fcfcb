#pragma once
// The video window on screen: a child widget over the VideoWindow model. It hands the model's draw
// calls to the surface renderer while that is active and to the direct renderer otherwise, paints
// on the GUI thread, follows its size, and turns mouse events into the model's mouse messages.
#include <QRegion>
#include <QWidget>

#include <functional>
#include <mutex>
#include <string>

#include "display/qt/direct_renderer.h"
#include "display/qt/display_recording.h"
#include "display/qt/screen_target.h"
#include "display/qt/surface_renderer.h"
#include "display/renderer.h"

namespace tamlorex {
class VideoWindow;
}

namespace tamlorex::display {

class VideoWidget : public QWidget, public Renderer, public ScreenTarget {
    Q_OBJECT
public:
    VideoWidget(VideoWindow& window, QWidget* parent);
    ~VideoWidget() override;

    // The "Use DirectDraw" setting: the surface renderer when on (if it can run), else direct.
    void SetUseDirectDraw(bool on);
    bool GetUseDirectDraw() const;
    bool SurfacesActive() const;
    std::string LastError() const;
    // For the tests of the formats: the display's format as the surface renderer sees it.
    void SetDisplayFormat(const PixelFormatDesc& format);

    // The display recording of Player mode; the sink gets one frame per round of channels.
    // Player mode's recording draws through the surfaces: when the setting is off they are turned
    // on for the recording and off again when it stops; the setting itself is not changed.
    void StartDisplayRecording(CaptureFrameSink* sink, int width, int height);
    void StopDisplayRecording();

    // Message boxes raised under the lock (the blit test) go here, on the GUI thread.
    void SetMessageHandler(std::function<void(const std::string& text, const std::string& caption)> handler);

    // "Reset Zoom" of the popup menu: the pane the menu was opened over (the last right press)
    // returns to 1x, or every pane when the press was over none.
    void ResetZoomAtMenu();

    // Gives the model the widget's size at once (a hidden widget gets its resize event only later).
    void SyncClientSize();

    SurfaceRenderer& Surfaces() { return surface_; }
    VideoWindow& Model() { return window_; }

    // Renderer: the model's draw calls, under its lock, on any thread.
    void Reset(int clientWidth, int clientHeight) override;
    void DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height) override;
    void DrawPictureView(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                         const PictureView& view) override;
    void DrawNotice(const Rect& pane, const std::vector<std::string>& lines) override;
    void DrawEmpty(const Rect& pane) override;
    void DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font) override;
    void Present(const Rect& area) override;
    void PicturesCleared() override;

    // ScreenTarget.
    void RequestRepaint(const Rect& area) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The wheel zooms the pane under the pointer; a middle click returns it to 1x.
    void wheelEvent(QWheelEvent* event) override;

private:
    // The cursor over a zoomed pane shows that a drag pans it.
    void UpdateCursor(const QPoint& at);
    // A picture, whole (`view` null) or zoomed, the way now in use.
    void DrawPictureWay(const Rect& pane, const std::uint8_t* yuv, int width, int height, const PictureView* view);
    void FlushRepaint();
    bool UsingSurfaces() const;

    VideoWindow& window_;
    DisplayRecording recording_;
    SurfaceRenderer surface_;
    DirectRenderer direct_;
    bool drawingDirect_ = false;  // the current pane goes the direct way after a surface failure
    bool surfacesForRecording_ = false;  // the surfaces are on for a display recording, not by the setting
    QPoint menuPoint_{-1, -1};            // where the right button was last pressed

    std::mutex repaintMutex_;
    QRegion pendingRepaint_;
    bool repaintPosted_ = false;
    std::function<void(const std::string&, const std::string&)> messageHandler_;
};

}  // namespace tamlorex::display
