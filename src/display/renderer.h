#pragma once
// What the video window draws through: the GUI's surface or direct renderer, or a recorder of
// draw calls in the tests. Every call happens under the video window's lock.
#include <cstdint>
#include <string>
#include <vector>

namespace tamlorex {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const Rect&) const = default;
};

struct OsdFont {
    int height = 16;
    int width = 0;
    int weight = 500;
    bool italic = false;
    std::string face = "Verdana";
};

// The part of a picture a zoomed pane shows, as fractions of the picture's width and height.
struct PictureView {
    double left = 0;
    double top = 0;
    double width = 1;
    double height = 1;
    bool operator==(const PictureView&) const = default;
};

class Renderer {
public:
    virtual ~Renderer() = default;
    // The layout changed (split, page or size): drop what depends on it.
    virtual void Reset(int clientWidth, int clientHeight) = 0;
    // A pane with a picture: planar YUV 4:2:0 of width x height, scaled into the pane.
    virtual void DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height) = 0;
    // A zoomed pane: only `view` of the picture, stretched into the pane. A renderer that cannot
    // crop draws the whole picture.
    virtual void DrawPictureView(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                                 const PictureView& view)
    {
        (void)view;
        DrawPicture(pane, yuv, width, height);
    }
    // A notice over a pane's picture, one text a line (the live stall alert); drawn after the
    // picture and before the OSD. Renderers without an overlay draw nothing.
    virtual void DrawNotice(const Rect& pane, const std::vector<std::string>& lines)
    {
        (void)pane;
        (void)lines;
    }
    // A pane without a picture.
    virtual void DrawEmpty(const Rect& pane) = 0;
    // One pass of the OSD text, colour as 0x00BBGGRR.
    virtual void DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font) = 0;
    // The drawing of a pane, or of the whole client area after a full redraw, is complete: show it
    // (the GUI repaints from its thread).
    virtual void Present(const Rect& area) = 0;
    // Every picture was forgotten (Clear): drop what was kept per channel, such as the display
    // recording's channel mask.
    virtual void PicturesCleared() {}
};

}  // namespace tamlorex
