#include "sim/live_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/scene.h"

namespace tamlorex::sim {
namespace {

constexpr double kBannerSeconds = 2.0;
constexpr const char* kMenuText[LiveView::kMenuItems] = {"RECORD SETUP", "CAMERA SETUP", "SPLIT 4", "EXIT"};
constexpr int kMenuSplit4 = 2;
constexpr int kMenuExit = 3;

void DrawNoVideo(YuvImage& pane, int channel)
{
    FillRect(pane, 0, 0, pane.width, pane.height, 40, 160, 110);
    char text[24];
    std::snprintf(text, sizeof text, "CH%d NO VIDEO", channel + 1);
    const int scale = pane.width >= 320 ? 2 : 1;
    DrawText(pane, (pane.width - TextWidth(text, scale)) / 2, (pane.height - 7 * scale) / 2, scale, text, 200);
}

}  // namespace

std::string KeyName(int key)
{
    using namespace dvrkey;
    if (const int c = ChannelOfKey(key)) return "CHANNEL " + std::to_string(c);
    switch (key) {
    case kDelete: return "DELETE";
    case kRecord: return "RECORD";
    case kRewind: return "REWIND";
    case kStop: return "STOP";
    case kPause: return "PAUSE";
    case kFastForward: return "FAST FORWARD";
    case kPlay: return "PLAY";
    case kMenu: return "MENU";
    case kUp: return "UP";
    case kDown: return "DOWN";
    case kSelect: return "SELECT";
    case kSplit9: return "SPLIT 9";
    case kF4: return "F4";
    case kF1: return "F1";
    case kF1 + 1: return "F2";
    case kF3: return "F3";
    default: return "KEY " + std::to_string(key);
    }
}

int ChannelOfKey(int key)
{
    if (key >= dvrkey::kChannel1 && key <= dvrkey::kChannel4) return key;
    if (key >= dvrkey::kChannel5 && key <= dvrkey::kChannel9) return key - dvrkey::kChannel5 + 5;
    return 0;
}

LiveView::LiveView(int channels) : channels_(std::clamp(channels, 1, 16)) {}

std::string LiveView::HandleKey(int key, double seconds)
{
    using namespace dvrkey;
    banner_ = KeyName(key);
    bannerUntil_ = seconds + kBannerSeconds;
    std::string effect;
    if (const int c = ChannelOfKey(key)) {
        split_ = 1;
        channel_ = c - 1;
        ++generation_;
        effect = "channel " + std::to_string(c);
    } else if (key == kSelect && menuOpen_) {
        effect = std::string("menu select ") + kMenuText[menuItem_];
        if (menuItem_ == kMenuSplit4) {
            split_ = 4;
            first_ = channel_ / 4 * 4;
            ++generation_;
        }
        if (menuItem_ == kMenuSplit4 || menuItem_ == kMenuExit) menuOpen_ = false;
    } else if (key == kSelect) {
        // Outside the menu the same key toggles the four-way split around the shown channel.
        split_ = split_ == 4 ? 1 : 4;
        first_ = channel_ / 4 * 4;
        ++generation_;
        effect = split_ == 4 ? "split 4" : "channel " + std::to_string(channel_ + 1);
    } else if (key == kSplit9) {
        split_ = 9;
        first_ = 0;
        ++generation_;
        effect = "split 9";
    } else if (key == kMenu) {
        menuOpen_ = !menuOpen_;
        menuItem_ = 0;
        effect = menuOpen_ ? "menu open" : "menu closed";
    } else if ((key == kUp || key == kDown) && menuOpen_) {
        menuItem_ = (menuItem_ + (key == kUp ? kMenuItems - 1 : 1)) % kMenuItems;
        effect = std::string("menu item ") + kMenuText[menuItem_];
    } else if (key == kRecord) {
        recording_ = !recording_;
        effect = recording_ ? "recording" : "recording stopped";
    } else if (key == kStop && recording_) {
        recording_ = false;
        effect = "recording stopped";
    } else {
        effect = "shown";
    }
    return effect;
}

void LiveView::HandleMouse(int event, int width, int height, int x, int y)
{
    pointerShown_ = (event & 0x100) != 0;
    pointerX_ = x;
    pointerY_ = y;
    pointerW_ = std::max(width, 1);
    pointerH_ = std::max(height, 1);
}

bool LiveView::HasOverlay(double seconds) const
{
    return menuOpen_ || recording_ || pointerShown_ || seconds < bannerUntil_;
}

std::uint16_t LiveView::StatusValue() const
{
    const int splitCode = split_ == 1 ? 0 : split_ == 4 ? 1 : 2;
    return static_cast<std::uint16_t>((channel_ & 0x0F) | splitCode << 4 | (recording_ ? 0x100 : 0) | (menuOpen_ ? 0x200 : 0));
}

void BlitPicture(const YuvImage& pane, int x, int y, YuvImage& out)
{
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + pane.width, out.width), y1 = std::min(y + pane.height, out.height);
    if (x0 >= x1 || y0 >= y1) return;
    for (int py = y0; py < y1; ++py)
        std::memcpy(out.Y() + static_cast<std::size_t>(py) * out.width + x0,
                    pane.Y() + static_cast<std::size_t>(py - y) * pane.width + (x0 - x), static_cast<std::size_t>(x1 - x0));
    const int cx0 = (x0 + 1) / 2, cx1 = x1 / 2, cy0 = (y0 + 1) / 2, cy1 = y1 / 2;
    const int pcw = pane.width / 2, ocw = out.width / 2, pch = pane.height / 2;
    for (int cy = cy0; cy < cy1; ++cy) {
        const int sy = cy - y / 2;
        if (sy < 0 || sy >= pch) continue;
        for (int cx = cx0; cx < cx1; ++cx) {
            const int sx = cx - x / 2;
            if (sx < 0 || sx >= pcw) continue;
            out.U()[static_cast<std::size_t>(cy) * ocw + cx] = pane.U()[static_cast<std::size_t>(sy) * pcw + sx];
            out.V()[static_cast<std::size_t>(cy) * ocw + cx] = pane.V()[static_cast<std::size_t>(sy) * pcw + sx];
        }
    }
}

void LiveView::Render(double seconds, const CameraSource& cameras, YuvImage& out) const
{
    const int w = out.width, h = out.height;
    YuvImage pane;
    const auto drawPane = [&](int channel, int pw, int ph, int x, int y) {
        if (channel >= channels_ || !cameras(channel, pw, ph, pane) || pane.width != pw || pane.height != ph) {
            pane = YuvImage(pw, ph);
            DrawNoVideo(pane, channel);
        }
        BlitPicture(pane, x, y, out);
    };
    if (split_ == 1) {
        drawPane(channel_, w, h, 0, 0);
    } else {
        FillRect(out, 0, 0, w, h, 16, 128, 128);
        const int n = split_ == 4 ? 2 : 3;
        // Panes of even size on even positions, with a two-pixel seam between them.
        const int pw = (w / n - 2) & ~1, ph = (h / n - 2) & ~1;
        for (int row = 0; row < n; ++row)
            for (int col = 0; col < n; ++col)
                drawPane(first_ + row * n + col, pw, ph, col * (pw + 2), row * (ph + 2));
    }
    DrawOverlay(seconds, out);
}

void LiveView::DrawOverlay(double seconds, YuvImage& out) const
{
    const int w = out.width, h = out.height;
    if (seconds < bannerUntil_ && !banner_.empty()) {
        const int tw = TextWidth(banner_, 2);
        FillRect(out, 6, h - 30, tw + 12, 24, 16, 128, 128);
        DrawText(out, 12, h - 24, 2, banner_, 235);
    }
    if (recording_) {
        FillCircle(out, w - 90, 22, 8, 80, 90, 240);
        DrawText(out, w - 76, 15, 2, "REC", 235);
    }
    if (menuOpen_) {
        const int bw = 280, bh = 44 + kMenuItems * 24;
        const int bx = (w - bw) / 2 & ~1, by = (h - bh) / 2 & ~1;
        FillRect(out, bx, by, bw, bh, 30, 150, 120);
        DrawText(out, bx + (bw - TextWidth("MENU", 3)) / 2, by + 8, 3, "MENU", 235);
        for (int i = 0; i < kMenuItems; ++i) {
            const int iy = by + 38 + i * 24;
            const bool chosen = i == menuItem_;
            if (chosen) FillRect(out, bx + 8, iy - 4, bw - 16, 22, 200, 128, 128);
            DrawText(out, bx + 20, iy, 2, kMenuText[i], chosen ? 20 : 220);
        }
    }
    if (pointerShown_) {
        const int px = static_cast<int>(static_cast<long long>(pointerX_) * w / pointerW_);
        const int py = static_cast<int>(static_cast<long long>(pointerY_) * h / pointerH_);
        FillRect(out, px - 8, py - 1, 17, 3, 250, 128, 128);
        FillRect(out, px - 1, py - 8, 3, 17, 250, 128, 128);
    }
}

}  // namespace tamlorex::sim
