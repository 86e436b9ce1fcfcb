#include "export/time_text.h"

#include <cstdio>

namespace tamlorex {
namespace {

// Rows of each glyph, top first; bit 6 is the leftmost of the 7 columns.
struct Glyph {
    char c;
    const char* rows[kTimeTextGlyphHeight];
};

// clang-format off
const Glyph kGlyphs[] = {
    {'0', {"..###..", ".#...#.", "#.....#", "#....##", "#...#.#", "#..#..#", "#.#...#", "##....#", "#.....#", ".#...#.", "..###..", "......."}},
    {'1', {"...#...", "..##...", ".#.#...", "...#...", "...#...", "...#...", "...#...", "...#...", "...#...", "...#...", ".#####.", "......."}},
    {'2', {".#####.", "#.....#", "......#", "......#", ".....#.", "....#..", "...#...", "..#....", ".#.....", "#......", "#######", "......."}},
    {'3', {".#####.", "#.....#", "......#", "......#", "......#", "..####.", "......#", "......#", "......#", "#.....#", ".#####.", "......."}},
    {'4', {".....#.", "....##.", "...#.#.", "..#..#.", ".#...#.", "#....#.", "#######", ".....#.", ".....#.", ".....#.", ".....#.", "......."}},
    {'5', {"#######", "#......", "#......", "#......", "######.", "......#", "......#", "......#", "......#", "#.....#", ".#####.", "......."}},
    {'6', {"..####.", ".#.....", "#......", "#......", "######.", "#.....#", "#.....#", "#.....#", "#.....#", "#.....#", ".#####.", "......."}},
    {'7', {"#######", "......#", ".....#.", ".....#.", "....#..", "....#..", "...#...", "...#...", "..#....", "..#....", "..#....", "......."}},
    {'8', {".#####.", "#.....#", "#.....#", "#.....#", "#.....#", ".#####.", "#.....#", "#.....#", "#.....#", "#.....#", ".#####.", "......."}},
    {'9', {".#####.", "#.....#", "#.....#", "#.....#", "#.....#", ".######", "......#", "......#", "......#", ".....#.", ".####..", "......."}},
    {'/', {"......#", "......#", ".....#.", ".....#.", "....#..", "...#...", "..#....", ".#.....", ".#.....", "#......", "#......", "......."}},
    {':', {".......", ".......", "...##..", "...##..", ".......", ".......", ".......", ".......", "...##..", "...##..", ".......", "......."}},
    {'-', {".......", ".......", ".......", ".......", ".......", ".#####.", ".......", ".......", ".......", ".......", ".......", "......."}},
};
// clang-format on

const Glyph* GlyphOf(char c)
{
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;
}

// Paints every set pixel of the text with one colour, shifted by (dx, dy).
void Paint(std::uint8_t* picture, int width, int height, const std::string& text, int x, int y, std::uint8_t value)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = GlyphOf(text[i]);
        if (!glyph) continue;
        const int left = x + static_cast<int>(i) * kTimeTextAdvance;
        for (int row = 0; row < kTimeTextGlyphHeight; ++row) {
            const int top = y + row;
            if (top < 0 || top >= height) continue;
            // Bottom-up storage: the picture's top line is the last in memory.
            std::uint8_t* line = picture + static_cast<std::size_t>(height - 1 - top) * static_cast<std::size_t>(width) * 3;
            for (int column = 0; column < kTimeTextGlyphWidth; ++column) {
                if (glyph->rows[row][column] != '#') continue;
                const int px = left + column;
                if (px < 0 || px >= width) continue;
                std::uint8_t* p = line + static_cast<std::size_t>(px) * 3;
                p[0] = p[1] = p[2] = value;
            }
        }
    }
}

}  // namespace

std::string FormatExportTime(const CalendarTime& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

void DrawTimeText(std::uint8_t* picture, int width, int height, const std::string& text, int x, int y)
{
    if (!picture || width <= 0 || height <= 0) return;
    Paint(picture, width, height, text, x + 1, y + 1, 0);
    Paint(picture, width, height, text, x - 1, y + 1, 0);
    Paint(picture, width, height, text, x - 1, y - 1, 0);
    Paint(picture, width, height, text, x + 1, y - 1, 0);
    Paint(picture, width, height, text, x, y, 255);
}

int TimeTextRight(const std::string& text, int x)
{
    return x + 1 + static_cast<int>(text.size()) * kTimeTextAdvance;
}

int TimeTextBottom(int y) { return y + 1 + kTimeTextGlyphHeight; }

}  // namespace tamlorex
