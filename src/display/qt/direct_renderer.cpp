#include "display/qt/direct_renderer.h"

#include <QImage>

#include "codec/color_convert.h"
#include "display/qt/osd_font.h"
#include "display/qt/pane_notice.h"
#include "display/video_window.h"

namespace tamlorex::display {
namespace {

constexpr std::size_t kConversionBytes = 522240;

}  // namespace

DirectRenderer::DirectRenderer(VideoWindow& window, ScreenTarget& target, DisplayRecording& recording)
    : window_(window), target_(target), recording_(recording), conversion_(kConversionBytes)
{
}

void DirectRenderer::DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height)
{
    DrawPictureIn(pane, yuv, width, height, QRectF());
}

void DirectRenderer::DrawPictureView(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                                     const PictureView& view)
{
    DrawPictureIn(pane, yuv, width, height,
                  QRectF(view.left * width, view.top * height, view.width * width, view.height * height));
}

void DirectRenderer::DrawNotice(const Rect& pane, const std::vector<std::string>& lines)
{
    if (painter_ != nullptr) DrawPaneNotice(*painter_, QRect(pane.left, pane.top, pane.Width(), pane.Height()), lines);
}

void DirectRenderer::DrawPictureIn(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                                   const QRectF& source)
{
    const bool recording = recording_.Active();
    if (painter_ == nullptr && !recording) return;  // the repaint draws it
    if (!ConvertToDib24(conversion_.data(), yuv, width, height)) return;
    // Bottom-up lines: the bitmap's first memory line is the picture's last line.
    const QImage bitmap =
        QImage(conversion_.data(), width, height, width * 3, QImage::Format_BGR888).mirrored(false, true);
    if (painter_ != nullptr) {
        const QRect target(pane.left, pane.top, pane.Width(), pane.Height());
        if (source.isNull()) painter_->drawImage(target, bitmap);
        else painter_->drawImage(QRectF(target), bitmap, source);
    }
    if (recording) {
        std::string error;
        recording_.DrawPicture(window_, pane, bitmap, kFormatRgb24, error, source);
    }
}

void DirectRenderer::DrawEmpty(const Rect& pane)
{
    if (painter_ != nullptr) painter_->fillRect(QRect(pane.left, pane.top, pane.Width(), pane.Height()), Qt::black);
}

void DirectRenderer::DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font)
{
    const QString qtext = QString::fromStdString(text);
    const QFont qfont = ToQFont(font);
    if (painter_ != nullptr) {
        painter_->setFont(qfont);
        painter_->setPen(ToQColor(color));
        painter_->drawText(QPoint(x, y + painter_->fontMetrics().ascent()), qtext);
    }
    recording_.DrawText(x, y, qtext, ToQColor(color), qfont);
}

void DirectRenderer::Present(const Rect& area)
{
    if (painter_ == nullptr) target_.RequestRepaint(area);
}

void DirectRenderer::PicturesCleared() { recording_.Clear(); }

}  // namespace tamlorex::display
