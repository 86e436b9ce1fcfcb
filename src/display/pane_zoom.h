#pragma once
// Digital zoom of one pane: which part of its picture the pane shows, from the whole picture (1x)
// to an eighth of its width and height (8x). The mouse wheel zooms around the pointer (the
// picture point under it stays under it), a drag pans, and the shown part never leaves the
// picture.
#include <cstdint>
#include <vector>

#include "display/renderer.h"

namespace tamlorex {

inline constexpr double kMinZoom = 1.0;
inline constexpr double kMaxZoom = 8.0;
// One notch of the wheel (120 units of angle) multiplies the zoom by this.
inline constexpr double kZoomPerNotch = 1.25;

class PaneZoom {
public:
    double Zoom() const { return zoom_; }
    bool Zoomed() const { return zoom_ > kMinZoom; }
    // The shown part as fractions of the picture (left, top, width, height; 0, 0, 1, 1 at 1x).
    PictureView View() const { return PictureView{left_, top_, 1.0 / zoom_, 1.0 / zoom_}; }

    // `notches` of the wheel (positive zooms in, fractions allowed) with the pointer at (x, y),
    // client coordinates over `pane`. False when nothing changed (already at a limit, or no pane).
    bool Wheel(const Rect& pane, int x, int y, double notches);
    // Moves the picture by (dx, dy) client pixels with the pointer: dragging right shows more of
    // the picture's left. False when nothing changed.
    bool Pan(const Rect& pane, int dx, int dy);
    // The point (x, y) over the zoomed pane as the unzoomed pane shows that picture point.
    void ToUnzoomed(const Rect& pane, int x, int y, int& outX, int& outY) const;
    void Reset();

private:
    void Clamp();

    double zoom_ = kMinZoom;
    double left_ = 0;
    double top_ = 0;
};

// The part `view` of a planar 4:2:0 picture of width x height stretched back to that size, nearest
// pixel as the display draws it (a capture of a zoomed pane records what is shown). `out` gets
// width x height x 3 / 2 bytes; nothing for an empty size.
void ZoomPicture(const std::uint8_t* yuv, int width, int height, const PictureView& view, std::vector<std::uint8_t>& out);

}  // namespace tamlorex
