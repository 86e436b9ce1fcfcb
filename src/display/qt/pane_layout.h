#pragma once
// Pane rectangles of a split over any area (the display recording lays its panes out over the
// AVI frame size with the same rule as the video window over its client area).
#include "display/renderer.h"

namespace tamlorex::display {

// The slot's pane for split, page and channel count over a width x height area; an empty
// rectangle when the slot is not on the page.
Rect PaneOf(int slot, int split, int page, int channelCount, int width, int height);

// Colour 0x00BBGGRR as the renderers draw it.
struct Rgb {
    int red;
    int green;
    int blue;
};
inline Rgb FromColorRef(std::uint32_t color)
{
    return Rgb{static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF), static_cast<int>((color >> 16) & 0xFF)};
}

}  // namespace tamlorex::display
