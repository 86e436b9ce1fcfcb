#pragma once
// The surface renderer: each picture is converted straight into a picture surface in the display's
// pixel format, stretched into its pane of a back surface of the window's size, and the back
// surface is drawn onto the window in one step when the window paints.
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

#include "display/qt/display_recording.h"
#include "display/qt/pixel_format.h"
#include "display/qt/screen_target.h"
#include "display/renderer.h"

namespace tamlorex {
class VideoWindow;
}

namespace tamlorex::display {

inline constexpr char kErrorVideoSurface[] = "Failed to create video surface.";
inline constexpr char kErrorBackSurface[] = "Failed to create back surface.";
inline constexpr char kErrorChannelSurface[] = "Failed to create channel surface.";
inline constexpr char kBlitTestMessage[] = "Your graphic card does not fully support DirectDraw.";
inline constexpr char kBlitTestCaption[] = "Display error";

// Background of new surfaces, RGB(10, 10, 10).
inline constexpr std::uint32_t kSurfaceBackground = 0x0A0A0A;
inline constexpr int kInitialPictureWidth = 640;
inline constexpr int kInitialPictureHeight = 272;
inline constexpr int kBlitTestSize = 64;

class SurfaceRenderer : public Renderer {
public:
    SurfaceRenderer(VideoWindow& window, ScreenTarget& target, DisplayRecording& recording);

    // The display's pixel format (from the screen unless a test sets another).
    void SetDisplayFormat(const PixelFormatDesc& format) { display_ = format; }
    // The "Use DirectDraw" setting: on initialises at once, off releases every surface.
    void SetUse(bool on, int clientWidth, int clientHeight);
    bool GetUse() const { return use_; }
    // Builds the surfaces for the client size; true when the renderer is active afterwards.
    bool Initialise(int clientWidth, int clientHeight);
    bool Active() const { return active_; }
    void ReleaseAll();
    const std::string& LastError() const { return lastError_; }
    SurfaceFormatType FormatType() const { return type_; }

    const QImage& BackSurface() const { return back_; }
    const QImage& PictureSurface() const { return picture_; }
    // How often the picture surface was made, for the tests of its reuse.
    int PictureSurfaceCreations() const { return pictureCreations_; }
    // The back surface as the window shows it (type 3 keeps blue in the low bits).
    QImage ScreenImage() const;

    // The blit test runs once per process (after its surfaces could be made).
    static bool BlitTestDone();
    static void ResetBlitTestForTests();
    // A test replaces the comparison's outcome: the next test "fails" when the hook returns false.
    using BlitCompareHook = bool (*)();
    static void SetBlitCompareHookForTests(BlitCompareHook hook);

    void Reset(int clientWidth, int clientHeight) override;
    void DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height) override;
    void DrawPictureView(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                         const PictureView& view) override;
    void DrawNotice(const Rect& pane, const std::vector<std::string>& lines) override;
    void DrawEmpty(const Rect& pane) override;
    void DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font) override;
    void Present(const Rect& area) override;
    void PicturesCleared() override;

    // False when the last DrawPicture could not draw (the caller may draw the pane another way).
    bool LastDrawOk() const { return lastDrawOk_; }

private:
    // An off-screen surface of the display's format filled with the background colour.
    bool CreateSurface(QImage& surface, int width, int height);
    bool RunBlitTest();
    bool ConvertPicture(const std::uint8_t* yuv, int width, int height);
    // `source`: the part of the picture to stretch into the pane; null for all of it.
    void DrawPictureIn(const Rect& pane, const std::uint8_t* yuv, int width, int height, const QRectF& source);
    QColor SurfaceColor(std::uint32_t colorRef) const;

    VideoWindow& window_;
    ScreenTarget& target_;
    DisplayRecording& recording_;
    PixelFormatDesc display_;
    SurfaceFormatType type_ = kFormatUnknown;
    bool use_ = false;
    bool reinitialise_ = false;
    bool active_ = false;
    std::string lastError_;
    QImage back_;
    QImage picture_;
    int pictureCreations_ = 0;
    bool lastDrawOk_ = true;
    bool clearing_ = false;
    std::vector<Rect> noticed_;  // panes a notice was drawn over: an empty one is painted black again
};

}  // namespace tamlorex::display
