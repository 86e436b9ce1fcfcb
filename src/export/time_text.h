#pragma once
// The page time burnt into exported pictures, drawn with a small bitmap font of our own: white
// text with a black outline, at the top left of a bottom-up 24-bit picture.
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/frame_record.h"

namespace tamlorex {

// Glyph cell of the font: every character advances by kTimeTextAdvance pixels.
inline constexpr int kTimeTextGlyphWidth = 7;
inline constexpr int kTimeTextGlyphHeight = 12;
inline constexpr int kTimeTextAdvance = 8;
// Where the white text goes; the outline is drawn one pixel to each diagonal side of it.
inline constexpr int kTimeTextLeft = 8;
inline constexpr int kTimeTextTop = 8;

// "%02d/%02d/%02d %02d:%02d:%02d": year, month, day, hour, minute, second.
std::string FormatExportTime(const CalendarTime& time);

// Draws `text` into a bottom-up picture of width x height 3-byte pixels (blue, green, red): black
// at (x+1, y+1), (x-1, y+1), (x-1, y-1) and (x+1, y-1), then white at (x, y), where (x, y) is
// the top-left of the text counted from the picture's top-left. Pixels outside the picture are
// not drawn. Characters without a glyph leave a gap.
void DrawTimeText(std::uint8_t* picture, int width, int height, const std::string& text, int x = kTimeTextLeft,
                  int y = kTimeTextTop);

// Width in pixels of the area DrawTimeText touches for `text` at (x, y), outline included, and its
// height; for the tests and the preview.
int TimeTextRight(const std::string& text, int x = kTimeTextLeft);
int TimeTextBottom(int y = kTimeTextTop);

}  // namespace tamlorex
