#pragma once
// Synthetic camera scenes for sample recordings: a static textured background per channel,
// moving shapes, a running clock and the channel number drawn large.
#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/picture_encoder.h"

namespace tamlorex::sim {

// Draws `text` with the built-in 5x7 font (digits, ':', '-', ' ' and the letters A-Z) at
// (x, y), each font dot a `scale` x `scale` square. Clipped to the picture.
void DrawText(YuvImage& picture, int x, int y, int scale, std::string_view text, std::uint8_t luma);
// Width in pixels of `text` drawn at `scale` (6 dots per character, the last without its gap).
int TextWidth(std::string_view text, int scale);
// Whether the font has a glyph for `c` (other characters draw as blanks).
bool FontHasGlyph(char c);

void FillRect(YuvImage& picture, int x, int y, int w, int h, std::uint8_t luma, std::uint8_t u, std::uint8_t v);
void FillCircle(YuvImage& picture, int cx, int cy, int r, std::uint8_t luma, std::uint8_t u, std::uint8_t v);

class Scene {
public:
    // channel: 0-based (drawn as channel + 1); width x height of the pictures it renders.
    Scene(int channel, int width, int height);
    // The picture at `seconds` since the start of the recording; `clock` is the time of day
    // in seconds since midnight, drawn as HH:MM:SS.
    void Render(double seconds, std::uint32_t clock, YuvImage& out) const;

private:
    int channel_;
    YuvImage background_;
};

}  // namespace tamlorex::sim
