#include "display/pane_zoom.h"

#include <algorithm>
#include <cmath>

namespace tamlorex {
namespace {

// The pointer's place across the pane as a fraction, the middle of its pixel.
double Across(int at, int start, int length) { return (at - start + 0.5) / length; }

}  // namespace

void PaneZoom::Clamp()
{
    zoom_ = std::clamp(zoom_, kMinZoom, kMaxZoom);
    const double span = 1.0 / zoom_;
    left_ = std::clamp(left_, 0.0, 1.0 - span);
    top_ = std::clamp(top_, 0.0, 1.0 - span);
}

bool PaneZoom::Wheel(const Rect& pane, int x, int y, double notches)
{
    if (pane.Width() <= 0 || pane.Height() <= 0 || !std::isfinite(notches) || notches == 0) return false;
    const double fx = std::clamp(Across(x, pane.left, pane.Width()), 0.0, 1.0);
    const double fy = std::clamp(Across(y, pane.top, pane.Height()), 0.0, 1.0);
    // The picture point under the pointer, kept there at the new zoom.
    const double px = left_ + fx / zoom_;
    const double py = top_ + fy / zoom_;
    const double zoom = std::clamp(zoom_ * std::pow(kZoomPerNotch, notches), kMinZoom, kMaxZoom);
    if (zoom == zoom_) return false;
    zoom_ = zoom;
    left_ = px - fx / zoom_;
    top_ = py - fy / zoom_;
    // Snaps back to the whole picture exactly at 1x (no drift from the arithmetic).
    if (zoom_ <= kMinZoom) Reset();
    Clamp();
    return true;
}

bool PaneZoom::Pan(const Rect& pane, int dx, int dy)
{
    if (!Zoomed() || pane.Width() <= 0 || pane.Height() <= 0 || (dx == 0 && dy == 0)) return false;
    const double left = left_, top = top_;
    left_ -= dx / (pane.Width() * zoom_);
    top_ -= dy / (pane.Height() * zoom_);
    Clamp();
    return left != left_ || top != top_;
}

void PaneZoom::ToUnzoomed(const Rect& pane, int x, int y, int& outX, int& outY) const
{
    outX = x;
    outY = y;
    if (!Zoomed() || pane.Width() <= 0 || pane.Height() <= 0) return;
    const double px = left_ + Across(x, pane.left, pane.Width()) / zoom_;
    const double py = top_ + Across(y, pane.top, pane.Height()) / zoom_;
    outX = std::clamp(pane.left + static_cast<int>(std::floor(px * pane.Width())), pane.left, pane.right - 1);
    outY = std::clamp(pane.top + static_cast<int>(std::floor(py * pane.Height())), pane.top, pane.bottom - 1);
}

void PaneZoom::Reset()
{
    zoom_ = kMinZoom;
    left_ = 0;
    top_ = 0;
}

namespace {

// One plane: out[y][x] = in[top + y * span / size][left + x * span / size], clamped to the plane.
void ZoomPlane(const std::uint8_t* in, int width, int height, const PictureView& view, std::uint8_t* out)
{
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[x] = std::clamp(static_cast<int>(std::floor((view.left + (x + 0.5) * view.width / width) * width)), 0,
                                width - 1);
    for (int y = 0; y < height; ++y) {
        const int row = std::clamp(static_cast<int>(std::floor((view.top + (y + 0.5) * view.height / height) * height)),
                                   0, height - 1);
        const std::uint8_t* line = in + static_cast<std::size_t>(row) * width;
        std::uint8_t* to = out + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) to[x] = line[columns[x]];
    }
}

}  // namespace

void ZoomPicture(const std::uint8_t* yuv, int width, int height, const PictureView& view, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (yuv == nullptr || width < 2 || height < 2) return;
    const std::size_t luma = static_cast<std::size_t>(width) * height;
    const std::size_t chroma = luma / 4;
    out.resize(luma + 2 * chroma);
    ZoomPlane(yuv, width, height, view, out.data());
    ZoomPlane(yuv + luma, width / 2, height / 2, view, out.data() + luma);
    ZoomPlane(yuv + luma + chroma, width / 2, height / 2, view, out.data() + luma + chroma);
}

}  // namespace tamlorex
