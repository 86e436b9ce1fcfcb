#pragma once
// What the video window draws through: the GUI's surface or direct renderer, or a recorder of
// draw calls in the tests. Every call happens under the video window's lock.
#include <cstdint>
#include <string>

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

class Renderer {
public:
    virtual ~Renderer() = default;
    // The layout changed (split, page or size): drop what depends on it.
    virtual void Reset(int clientWidth, int clientHeight) = 0;
    // A pane with a picture: planar YUV 4:2:0 of width x height, scaled into the pane.
    virtual void DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height) = 0;
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
