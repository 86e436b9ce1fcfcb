#include "display/qt/surface_renderer.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "display/qt/osd_font.h"
#include "display/qt/pane_notice.h"
#include "display/video_window.h"

namespace tamlorex::display {
namespace {

// Process-wide, like the display itself.
std::atomic<bool> g_blitTestDone{false};
std::atomic<SurfaceRenderer::BlitCompareHook> g_blitCompareHook{nullptr};

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

}  // namespace

SurfaceRenderer::SurfaceRenderer(VideoWindow& window, ScreenTarget& target, DisplayRecording& recording)
    : window_(window), target_(target), recording_(recording)
{
}

bool SurfaceRenderer::BlitTestDone() { return g_blitTestDone.load(); }
void SurfaceRenderer::ResetBlitTestForTests() { g_blitTestDone.store(false); }
void SurfaceRenderer::SetBlitCompareHookForTests(BlitCompareHook hook) { g_blitCompareHook.store(hook); }

QColor SurfaceRenderer::SurfaceColor(std::uint32_t colorRef) const
{
    QColor color = ToQColor(colorRef);
    // A BGR565 surface keeps red in the low bits: Qt's RGB16 drawing swaps it back on screen.
    if (type_ == kFormatBgr565) color = QColor(color.blue(), color.green(), color.red());
    return color;
}

bool SurfaceRenderer::CreateSurface(QImage& surface, int width, int height)
{
    surface = QImage();
    if (width <= 0 || height <= 0) return false;
    std::string error;
    const SurfaceFormatType type = ClassifyPixelFormat(display_, error);
    if (type == kFormatUnknown) {
        lastError_ = error == kErrorUnknownFormat ? kErrorUnknownSurfaceFormat : error;
        return false;
    }
    surface = QImage(width, height, ImageFormatFor(type));
    if (surface.isNull()) return false;
    surface.fill(SurfaceColor(kSurfaceBackground));
    return true;
}

bool SurfaceRenderer::RunBlitTest()
{
    QImage first;
    QImage second;
    if (!CreateSurface(first, kBlitTestSize, kBlitTestSize) || !CreateSurface(second, kBlitTestSize, kBlitTestSize)) {
        target_.ShowMessage(kBlitTestMessage, kBlitTestCaption);
        return false;
    }
    g_blitTestDone.store(true);
    {
        QPainter painter(&first);
        const QColor fill = SurfaceColor(0xFEFEFE);
        painter.fillRect(QRect(0, 0, 32, 32), fill);
        painter.fillRect(QRect(32, 32, 32, 32), fill);
    }
    {
        QPainter painter(&second);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), first);
    }
    bool same = std::memcmp(first.constBits(), second.constBits(),
                            static_cast<std::size_t>(first.bytesPerLine()) * kBlitTestSize) == 0;
    if (BlitCompareHook hook = g_blitCompareHook.load()) same = hook();
    if (!same) {
        target_.ShowMessage(kBlitTestMessage, kBlitTestCaption);
        return false;
    }
    return true;
}

void SurfaceRenderer::ReleaseAll()
{
    picture_ = QImage();
    back_ = QImage();
}

void SurfaceRenderer::SetUse(bool on, int clientWidth, int clientHeight)
{
    if (on) {
        use_ = true;
        reinitialise_ = true;
        Initialise(clientWidth, clientHeight);
    } else {
        active_ = false;
        ReleaseAll();
        use_ = false;
    }
}

bool SurfaceRenderer::Initialise(int clientWidth, int clientHeight)
{
    if (!use_) {
        active_ = false;
        return false;
    }
    if (!reinitialise_ && !active_) return false;
    ReleaseAll();
    reinitialise_ = false;
    active_ = false;

    std::string error;
    type_ = ClassifyPixelFormat(display_, error);
    if (type_ == kFormatUnknown) {
        lastError_ = error;
        return false;
    }
    if (!g_blitTestDone.load() && !RunBlitTest()) return false;
    if (!CreateSurface(picture_, kInitialPictureWidth, kInitialPictureHeight)) {
        lastError_ = kErrorVideoSurface;
        return false;
    }
    ++pictureCreations_;
    if (!CreateSurface(back_, clientWidth, clientHeight)) {
        lastError_ = kErrorBackSurface;
        return false;
    }
    active_ = true;
    return true;
}

void SurfaceRenderer::Reset(int clientWidth, int clientHeight)
{
    // Every size and split change rebuilds the surfaces while the renderer is in use.
    noticed_.clear();
    if (active_) Initialise(clientWidth, clientHeight);
}

bool SurfaceRenderer::ConvertPicture(const std::uint8_t* yuv, int width, int height)
{
    const int bytes = BytesPerPixel(type_);
    bool ok;
    if (picture_.bytesPerLine() == width * bytes) {
        ok = ConvertInto(type_, picture_.bits(), yuv, width, height);
    } else {
        std::vector<std::uint8_t> packed(static_cast<std::size_t>(width) * bytes * height);
        ok = ConvertInto(type_, packed.data(), yuv, width, height);
        for (int y = 0; ok && y < height; ++y)
            std::memcpy(picture_.scanLine(y), packed.data() + static_cast<std::size_t>(y) * width * bytes,
                        static_cast<std::size_t>(width) * bytes);
    }
    SetOpaque(picture_);
    return ok;
}

void SurfaceRenderer::DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height)
{
    DrawPictureIn(pane, yuv, width, height, QRectF());
}

void SurfaceRenderer::DrawPictureView(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                                      const PictureView& view)
{
    DrawPictureIn(pane, yuv, width, height,
                  QRectF(view.left * width, view.top * height, view.width * width, view.height * height));
}

void SurfaceRenderer::DrawPictureIn(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                                    const QRectF& source)
{
    lastDrawOk_ = false;
    if (back_.isNull() || picture_.isNull()) {
        ReleaseAll();
        reinitialise_ = true;
        Initialise(window_.ClientWidth(), window_.ClientHeight());
        return;
    }
    if (picture_.width() != width || picture_.height() != height) {
        if (!CreateSurface(picture_, width, height)) {
            lastError_ = kErrorChannelSurface;
            return;
        }
        ++pictureCreations_;
    }
    if (!ConvertPicture(yuv, width, height)) return;
    {
        QPainter painter(&back_);
        if (source.isNull()) painter.drawImage(ToQRect(pane), picture_);
        else painter.drawImage(QRectF(ToQRect(pane)), picture_, source);
    }
    std::string error;
    if (!recording_.DrawPicture(window_, pane, picture_, type_, error, source)) lastError_ = error;
    lastDrawOk_ = true;
}

void SurfaceRenderer::DrawEmpty(const Rect& pane)
{
    // Otherwise an empty pane keeps the background the surface was made with.
    const auto noticed = std::find(noticed_.begin(), noticed_.end(), pane);
    const bool overdrawn = noticed != noticed_.end();
    if (overdrawn) noticed_.erase(noticed);
    if (back_.isNull() || (!clearing_ && !overdrawn)) return;
    QPainter painter(&back_);
    painter.fillRect(ToQRect(pane), Qt::black);
}

void SurfaceRenderer::DrawNotice(const Rect& pane, const std::vector<std::string>& lines)
{
    if (back_.isNull()) return;
    if (std::find(noticed_.begin(), noticed_.end(), pane) == noticed_.end()) noticed_.push_back(pane);
    QPainter painter(&back_);
    DrawPaneNotice(painter, ToQRect(pane), lines);
}

void SurfaceRenderer::DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font)
{
    const QString qtext = QString::fromStdString(text);
    const QFont qfont = ToQFont(font);
    if (!back_.isNull()) {
        QPainter painter(&back_);
        painter.setFont(qfont);
        painter.setPen(SurfaceColor(color));
        painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()), qtext);
    }
    recording_.DrawText(x, y, qtext, SurfaceColor(color), qfont);
}

void SurfaceRenderer::Present(const Rect& area)
{
    clearing_ = false;
    target_.RequestRepaint(area);
}

void SurfaceRenderer::PicturesCleared()
{
    // The full redraw that follows paints the empty panes black.
    clearing_ = true;
    recording_.Clear();
}

QImage SurfaceRenderer::ScreenImage() const
{
    if (type_ == kFormatBgr565) return back_.rgbSwapped();
    return back_;
}

}  // namespace tamlorex::display
