#include "display/qt/video_widget.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>

#include "display/video_window.h"

namespace tamlorex::display {
namespace {

// Key-state flags beyond the two buttons: any of them makes a move report nothing.
constexpr unsigned kMouseShiftFlag = 4;
constexpr unsigned kMouseControlFlag = 8;
constexpr unsigned kMouseMiddleFlag = 0x10;

unsigned KeyStateFlags(const QMouseEvent& event)
{
    unsigned flags = 0;
    if (event.buttons() & Qt::LeftButton) flags |= kMouseLeftFlag;
    if (event.buttons() & Qt::RightButton) flags |= kMouseRightFlag;
    if (event.buttons() & Qt::MiddleButton) flags |= kMouseMiddleFlag;
    if (event.modifiers() & Qt::ShiftModifier) flags |= kMouseShiftFlag;
    if (event.modifiers() & Qt::ControlModifier) flags |= kMouseControlFlag;
    return flags;
}

}  // namespace

VideoWidget::VideoWidget(VideoWindow& window, QWidget* parent)
    : QWidget(parent),
      window_(window),
      surface_(window, *this, recording_),
      direct_(window, *this, recording_)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    const QScreen* screen = QGuiApplication::primaryScreen();
    surface_.SetDisplayFormat(DescribeScreenDepth(screen != nullptr ? screen->depth() : 32));
    window_.SetRenderer(this);
}

VideoWidget::~VideoWidget() { window_.SetRenderer(nullptr); }

void VideoWidget::SetMessageHandler(std::function<void(const std::string&, const std::string&)> handler)
{
    messageHandler_ = std::move(handler);
}

void VideoWidget::SetDisplayFormat(const PixelFormatDesc& format)
{
    window_.WithLock([&] { surface_.SetDisplayFormat(format); });
}

void VideoWidget::SyncClientSize()
{
    // A widget sized before it is shown gets its resize event later; the surfaces need the size now.
    if (width() > 0 && height() > 0 && (window_.ClientWidth() != width() || window_.ClientHeight() != height()))
        window_.SetClientSize(width(), height());
}

void VideoWidget::SetUseDirectDraw(bool on)
{
    SyncClientSize();
    window_.WithLock([&] {
        if (recording_.Active()) {
            // The recording keeps its surfaces; the setting takes effect when it ends.
            surfacesForRecording_ = !on;
            return;
        }
        surface_.SetUse(on, window_.ClientWidth(), window_.ClientHeight());
    });
    // The page is drawn again the way now in use, without a gap.
    window_.Redraw();
    update();
}

bool VideoWidget::GetUseDirectDraw() const
{
    bool on = false;
    // The user's setting, not the surfaces a display recording turned on for itself.
    window_.WithLock([&] { on = surface_.GetUse() && !surfacesForRecording_; });
    return on;
}

bool VideoWidget::SurfacesActive() const
{
    bool active = false;
    window_.WithLock([&] { active = surface_.Active(); });
    return active;
}

std::string VideoWidget::LastError() const
{
    std::string error;
    window_.WithLock([&] { error = surface_.LastError(); });
    return error;
}

void VideoWidget::StartDisplayRecording(CaptureFrameSink* sink, int width, int height)
{
    SyncClientSize();
    window_.WithLock([&] {
        recording_.Start(sink, width, height);
        // A recording of Player mode needs the surfaces: they go on for the recording only.
        if (!surface_.GetUse()) {
            surface_.SetUse(true, window_.ClientWidth(), window_.ClientHeight());
            surfacesForRecording_ = true;
        }
    });
}

void VideoWidget::StopDisplayRecording()
{
    bool release = false;
    window_.WithLock([&] {
        recording_.Stop();
        release = surfacesForRecording_;
        surfacesForRecording_ = false;
        if (release) surface_.SetUse(false, window_.ClientWidth(), window_.ClientHeight());
    });
    if (release) {
        window_.Redraw();
        update();
    }
}

bool VideoWidget::UsingSurfaces() const { return surface_.Active() && !drawingDirect_; }

void VideoWidget::Reset(int clientWidth, int clientHeight)
{
    drawingDirect_ = false;
    surface_.Reset(clientWidth, clientHeight);
}

void VideoWidget::DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height)
{
    DrawPictureWay(pane, yuv, width, height, nullptr);
}

void VideoWidget::DrawPictureView(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                                  const PictureView& view)
{
    DrawPictureWay(pane, yuv, width, height, &view);
}

void VideoWidget::DrawPictureWay(const Rect& pane, const std::uint8_t* yuv, int width, int height,
                                 const PictureView* view)
{
    if (UsingSurfaces()) {
        if (view != nullptr) surface_.DrawPictureView(pane, yuv, width, height, *view);
        else surface_.DrawPicture(pane, yuv, width, height);
        if (surface_.LastDrawOk() || surface_.Active()) return;
        // The surfaces are gone: this pane and the rest of the page go the direct way.
        drawingDirect_ = true;
    }
    if (view != nullptr) direct_.DrawPictureView(pane, yuv, width, height, *view);
    else direct_.DrawPicture(pane, yuv, width, height);
}

void VideoWidget::DrawNotice(const Rect& pane, const std::vector<std::string>& lines)
{
    if (UsingSurfaces()) surface_.DrawNotice(pane, lines);
    else direct_.DrawNotice(pane, lines);
}

void VideoWidget::ResetZoomAtMenu()
{
    if (menuPoint_.x() < 0 || !window_.ResetZoomAt(menuPoint_.x(), menuPoint_.y())) window_.ResetZoom(-1);
}

void VideoWidget::UpdateCursor(const QPoint& at)
{
    const int slot = window_.SlotAt(at.x(), at.y());
    if (window_.Panning()) setCursor(Qt::ClosedHandCursor);
    else if (slot >= 0 && window_.ZoomOf(slot) > kMinZoom) setCursor(Qt::OpenHandCursor);
    else unsetCursor();
}

void VideoWidget::DrawEmpty(const Rect& pane)
{
    if (UsingSurfaces()) surface_.DrawEmpty(pane);
    else direct_.DrawEmpty(pane);
}

void VideoWidget::DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font)
{
    if (UsingSurfaces()) surface_.DrawText(x, y, text, color, font);
    else direct_.DrawText(x, y, text, color, font);
}

void VideoWidget::Present(const Rect& area)
{
    if (UsingSurfaces()) surface_.Present(area);
    else direct_.Present(area);
    drawingDirect_ = false;
}

void VideoWidget::PicturesCleared() { surface_.PicturesCleared(); }

void VideoWidget::RequestRepaint(const Rect& area)
{
    std::lock_guard<std::mutex> lock(repaintMutex_);
    pendingRepaint_ += QRect(area.left, area.top, area.Width(), area.Height());
    if (repaintPosted_) return;
    repaintPosted_ = true;
    QMetaObject::invokeMethod(this, [this] { FlushRepaint(); }, Qt::QueuedConnection);
}

void VideoWidget::FlushRepaint()
{
    QRegion region;
    {
        std::lock_guard<std::mutex> lock(repaintMutex_);
        region.swap(pendingRepaint_);
        repaintPosted_ = false;
    }
    update(region);
}

void VideoWidget::ShowMessage(const std::string& text, const std::string& caption)
{
    QMetaObject::invokeMethod(
        this,
        [this, text, caption] {
            if (messageHandler_) messageHandler_(text, caption);
            else QMessageBox::warning(this, QString::fromStdString(caption), QString::fromStdString(text));
        },
        Qt::QueuedConnection);
}

void VideoWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    window_.WithLock([&] {
        if (surface_.Active()) {
            painter.drawImage(QPoint(0, 0), surface_.ScreenImage());
        } else {
            direct_.BeginPaint(&painter);
            window_.Redraw();
            direct_.EndPaint();
        }
    });
}

void VideoWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (width() > 0 && height() > 0) window_.SetClientSize(width(), height());
}

void VideoWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    window_.MouseMove(at.x(), at.y(), KeyStateFlags(*event));
    UpdateCursor(at);
}

void VideoWidget::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::MiddleButton) {
        window_.ResetZoomAt(at.x(), at.y());
        UpdateCursor(at);
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        window_.MouseDown(MouseButton::Left, at.x(), at.y());
        UpdateCursor(at);
    }
    if (event->button() == Qt::RightButton) {
        menuPoint_ = QPoint(-1, -1);
        window_.MouseDown(MouseButton::Right, at.x(), at.y());
        // In Player mode the right button also opens the main window's menu.
        if (window_.GetMode() == 1) {
            menuPoint_ = at;
            event->ignore();
            return;
        }
    }
    event->accept();
}

void VideoWidget::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) window_.MouseUp(MouseButton::Left, at.x(), at.y());
    if (event->button() == Qt::RightButton) window_.MouseUp(MouseButton::Right, at.x(), at.y());
    UpdateCursor(at);
}

void VideoWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) window_.MouseDoubleClick(MouseButton::Left, at.x(), at.y());
    if (event->button() == Qt::RightButton) window_.MouseDoubleClick(MouseButton::Right, at.x(), at.y());
}

void VideoWidget::wheelEvent(QWheelEvent* event)
{
    const QPoint at = event->position().toPoint();
    const int angle = event->angleDelta().y();
    if (angle != 0) window_.WheelZoom(at.x(), at.y(), angle / 120.0);
    UpdateCursor(at);
    event->accept();
}

}  // namespace tamlorex::display
