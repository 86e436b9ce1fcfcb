#include "sim/scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace tamlorex::sim {
namespace {

// 5x7 glyphs, one row per byte, bit 4 the leftmost dot.
struct Glyph {
    char c;
    std::array<std::uint8_t, 7> rows;
};

constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
};

const Glyph* FindGlyph(char c)
{
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    return nullptr;
}

std::uint8_t ClampByte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

void SetChroma(YuvImage& p, int x, int y, std::uint8_t u, std::uint8_t v)
{
    const std::size_t at = static_cast<std::size_t>(y / 2) * (p.width / 2) + x / 2;
    p.U()[at] = u;
    p.V()[at] = v;
}

}  // namespace

bool FontHasGlyph(char c) { return FindGlyph(c) != nullptr; }

int TextWidth(std::string_view text, int scale)
{
    return text.empty() ? 0 : static_cast<int>(text.size()) * 6 * scale - scale;
}

void DrawText(YuvImage& picture, int x, int y, int scale, std::string_view text, std::uint8_t luma)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = FindGlyph(text[i]);
        if (!g) continue;
        const int left = x + static_cast<int>(i) * 6 * scale;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if (!(g->rows[row] & (0x10 >> col))) continue;
                const int x0 = std::max(left + col * scale, 0), x1 = std::min(left + (col + 1) * scale, picture.width);
                const int y0 = std::max(y + row * scale, 0), y1 = std::min(y + (row + 1) * scale, picture.height);
                for (int py = y0; py < y1; ++py)
                    for (int px = x0; px < x1; ++px) picture.Y()[static_cast<std::size_t>(py) * picture.width + px] = luma;
            }
    }
}

void FillRect(YuvImage& p, int x, int y, int w, int h, std::uint8_t luma, std::uint8_t u, std::uint8_t v)
{
    const int x0 = std::max(x, 0), x1 = std::min(x + w, p.width);
    const int y0 = std::max(y, 0), y1 = std::min(y + h, p.height);
    for (int py = y0; py < y1; ++py)
        for (int px = x0; px < x1; ++px) {
            p.Y()[static_cast<std::size_t>(py) * p.width + px] = luma;
            SetChroma(p, px, py, u, v);
        }
}

void FillCircle(YuvImage& p, int cx, int cy, int r, std::uint8_t luma, std::uint8_t u, std::uint8_t v)
{
    const int y0 = std::max(cy - r, 0), y1 = std::min(cy + r + 1, p.height);
    const int x0 = std::max(cx - r, 0), x1 = std::min(cx + r + 1, p.width);
    for (int py = y0; py < y1; ++py)
        for (int px = x0; px < x1; ++px) {
            const int dx = px - cx, dy = py - cy;
            if (dx * dx + dy * dy > r * r) continue;
            // A little shading makes the ball look round and gives the encoder some detail.
            const double shade = 1.0 - 0.35 * (dx + dy + 2.0 * r) / (4.0 * r);
            p.Y()[static_cast<std::size_t>(py) * p.width + px] = ClampByte(luma * shade);
            SetChroma(p, px, py, u, v);
        }
}

Scene::Scene(int channel, int width, int height) : channel_(channel), background_(width, height)
{
    // Sky gradient above a textured ground; the hue shifts from channel to channel.
    const double phase = channel * 0.9;
    const int horizon = height * 2 / 5;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double luma;
            if (y < horizon)
                luma = 170 + 50.0 * y / horizon + 6 * std::sin(x * 0.02 + phase);
            else
                luma = 70 + 30 * std::sin(x * 0.11 + phase) * std::cos(y * 0.23) + 25.0 * (y - horizon) / (height - horizon) +
                       8 * std::sin(x * 0.73 + y * 1.31);
            background_.Y()[static_cast<std::size_t>(y) * width + x] = ClampByte(luma);
        }
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            const bool sky = 2 * y < horizon;
            const std::size_t at = static_cast<std::size_t>(y) * (width / 2) + x;
            background_.U()[at] = ClampByte(sky ? 150 + 10 * std::sin(phase) : 110 + 12 * std::cos(phase + x * 0.01));
            background_.V()[at] = ClampByte(sky ? 115 + 8 * std::cos(phase) : 135 + 12 * std::sin(phase + y * 0.02));
        }
    // A building that never moves.
    FillRect(background_, width * 5 / 8, horizon - height / 5, width / 5, height / 5 + 10, 120, 120, 140);
    for (int i = 0; i < 4; ++i)
        FillRect(background_, width * 5 / 8 + 8 + i * (width / 22), horizon - height / 7, width / 40, height / 14, 220, 110, 150);
}

void Scene::Render(double seconds, std::uint32_t clock, YuvImage& out) const
{
    out = background_;
    const int w = out.width, h = out.height;
    const double speed = 1.0 + 0.15 * channel_;
    // A ball bouncing across the picture.
    const double bx = std::fabs(std::fmod(seconds * 90 * speed, 2.0 * (w - 40)) - (w - 40));
    const double by = h * 0.55 - std::fabs(std::sin(seconds * 2.2 * speed)) * h * 0.35;
    FillCircle(out, 20 + static_cast<int>(bx), static_cast<int>(by), h / 14, 230, 90 + 8 * (channel_ % 8), 200 - 9 * (channel_ % 8));
    // A car driving along the ground, wrapping at the edge.
    const int carW = w / 8, carH = h / 12;
    const int cx = static_cast<int>(std::fmod(seconds * 60 * speed + channel_ * 97, static_cast<double>(w + carW))) - carW;
    const int cy = h * 3 / 4;
    FillRect(out, cx, cy, carW, carH, 50, 100, 180);
    FillRect(out, cx + carW / 4, cy - carH / 2, carW / 2, carH / 2, 40, 110, 170);
    FillCircle(out, cx + carW / 5, cy + carH, carH / 3, 20, 128, 128);
    FillCircle(out, cx + carW * 4 / 5, cy + carH, carH / 3, 20, 128, 128);
    // The clock, on a dark plate so that it reads over any background.
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", clock / 3600 % 24, clock / 60 % 60, clock % 60);
    const int clockScale = w >= 640 ? 3 : 2;
    FillRect(out, 6, 6, TextWidth(text, clockScale) + 8, 7 * clockScale + 8, 16, 128, 128);
    DrawText(out, 10, 10, clockScale, text, 235);
    // The channel number, large.
    std::snprintf(text, sizeof text, "CH%d", channel_ + 1);
    const int scale = std::max(h / 28, 3);
    const int tw = TextWidth(text, scale);
    DrawText(out, w - tw - 12, h - 7 * scale - 12, scale, text, 250);
}

}  // namespace tamlorex::sim
