// The window's controls and their places: the control table, the system icon, the layout of the
// window in both modes, and the always-on-top flag.
#include "app/viewer_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>
#include <QWindow>

#include <functional>

#include "app/command_ids.h"
#include "controls/status_line.h"
#include "controls/skin_art.h"
#include "controls/skin_button.h"
#include "controls/skin_slider.h"
#include "controls/timeline_widget.h"
#include "engine/activity_scan.h"
#include "display/qt/video_widget.h"
#include "engine/media_engine.h"
#include "net/key_map.h"

namespace tamlorex::app {
namespace {

enum PlaceKind : int {
    kPlaceFixed = 0,         // at (x, y)
    kPlaceRight = 2,         // at (x + W - 608, y)
    kPlaceBottom = 3,        // at (x, y + H - 300)
    kPlaceStatus = 4,        // the status line and the position slider
    kPlaceBottomRight = 5,   // at (x + W - 608, y + H - 300), only in a wide enough window
};
constexpr int kModePlayerMask = 1;
constexpr int kModeClientMask = 2;
constexpr int kModeBoth = 3;
// Kind 5 controls need a window wider than these.
constexpr int kWideEnoughPlayer = 517;
constexpr int kWideEnoughClient = 635;

constexpr int kButtonWidth = 29;
constexpr int kButtonHeight = 24;

enum class Shape { Push, Check, Radio, Label, Slider, Status };


using controls::art::Glyph;
// The controls that show no button picture.
constexpr Glyph kNoPicture = Glyph::Open;

// Every control of the window with its place, modes, picture and tooltip; a null tooltip is the
// remote-control command's name in the key table. A button's size is its picture's.
constexpr struct {
    int id, kind, x, y, modes;
    Shape shape;
    Glyph picture;
    const char* tooltip;
    int width, height;
} kControls[] = {
    {kCmdSystemIcon, kPlaceFixed, 5, 5, kModeBoth, Shape::Label, kNoPicture, "", 14, 14},
    {kIdTitleText, kPlaceFixed, 22, 4, kModeBoth, Shape::Label, kNoPicture, "", 136, 16},
    {kCmdMinimize, kPlaceRight, 560, 2, kModeBoth, Shape::Push, Glyph::Minimize, "Minimize", 20, 18},
    {kCmdCloseButton, kPlaceRight, 582, 2, kModeBoth, Shape::Push, Glyph::Close, "Close", 20, 18},
    {kCmdPlayerMode, kPlaceFixed, 160, 2, kModeBoth, Shape::Radio, Glyph::PlayerMode, "Player", 76, 20},
    {kCmdClientMode, kPlaceFixed, 240, 2, kModeBoth, Shape::Radio, Glyph::ClientMode, "Viewer", 76, 20},
    {kCmdSaveAvi, kPlaceFixed, 360, 2, kModeBoth, Shape::Push, Glyph::SaveAvi, "Save AVI", 44, 20},
    {kIdStatusLine, kPlaceStatus, 10, 238, kModeBoth, Shape::Status, kNoPicture, "", 0, 17},
    {kIdPositionSlider, kPlaceStatus, 10, 238, kModePlayerMask, Shape::Slider, kNoPicture, "", 0, controls::art::kPositionTrackHeight},
    {kCmdOpenFile, kPlaceBottom, 10, 262, kModePlayerMask, Shape::Push, Glyph::Open, "Open", kButtonWidth, kButtonHeight},
    {kCmdFastRewind, kPlaceBottom, 49, 262, kModePlayerMask, Shape::Push, Glyph::FastRewind, "Fast Rewind", kButtonWidth, kButtonHeight},
    {kCmdPlayReverse, kPlaceBottom, 80, 262, kModePlayerMask, Shape::Push, Glyph::PlayReverse, "Play Reverse", kButtonWidth, kButtonHeight},
    {kCmdPreviousFrame, kPlaceBottom, 111, 262, kModePlayerMask, Shape::Push, Glyph::PreviousFrame, "Previous Frame", kButtonWidth, kButtonHeight},
    {kCmdPause, kPlaceBottom, 142, 262, kModePlayerMask, Shape::Push, Glyph::Pause, "Pause", kButtonWidth, kButtonHeight},
    {kCmdNextFrame, kPlaceBottom, 173, 262, kModePlayerMask, Shape::Push, Glyph::NextFrame, "Next Frame", kButtonWidth, kButtonHeight},
    {kCmdPlay, kPlaceBottom, 204, 262, kModePlayerMask, Shape::Push, Glyph::Play, "Play", kButtonWidth, kButtonHeight},
    {kCmdFastForward, kPlaceBottom, 235, 262, kModePlayerMask, Shape::Push, Glyph::FastForward, "Fast Forward", kButtonWidth, kButtonHeight},
    {kCmdStillCapture, kPlaceBottom, 274, 262, kModePlayerMask, Shape::Push, Glyph::StillCapture, "Still Capture", kButtonWidth + 6, kButtonHeight},
    {kCmdSplit1, kPlaceBottom, 336, 262, kModePlayerMask, Shape::Push, Glyph::Split1, "Split 1", kButtonWidth, kButtonHeight},
    {kCmdSplit4, kPlaceBottom, 367, 262, kModePlayerMask, Shape::Push, Glyph::Split4, "Split 4", kButtonWidth, kButtonHeight},
    {kCmdSplit9, kPlaceBottom, 398, 262, kModePlayerMask, Shape::Push, Glyph::Split9, "Split 9", kButtonWidth, kButtonHeight},
    {kCmdSplit16, kPlaceBottom, 429, 262, kModePlayerMask, Shape::Push, Glyph::Split16, "Split 16", kButtonWidth, kButtonHeight},
    {kCmdMute, kPlaceBottomRight, 500, 262, kModeBoth, Shape::Check, Glyph::Mute, "Mute On/Off", kButtonWidth, kButtonHeight},
    {kIdVolumeSlider, kPlaceBottomRight, 532, 269, kModeBoth, Shape::Slider, kNoPicture, "Volume", controls::art::kVolumeTrackWidth, controls::art::kVolumeTrackHeight},
    {kCmdConnect, kPlaceBottom, 10, 262, kModeClientMask, Shape::Check, Glyph::Connect, "Connect", kButtonWidth + 6, kButtonHeight},
    {kCmdDvrPause, kPlaceBottom, 49, 262, kModeClientMask, Shape::Push, Glyph::DvrPause, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrRewind, kPlaceBottom, 80, 262, kModeClientMask, Shape::Push, Glyph::DvrRewind, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrPlay, kPlaceBottom, 111, 262, kModeClientMask, Shape::Push, Glyph::DvrPlay, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrFastForward, kPlaceBottom, 142, 262, kModeClientMask, Shape::Push, Glyph::DvrFastForward, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrStop, kPlaceBottom, 173, 262, kModeClientMask, Shape::Push, Glyph::DvrStop, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrRecord, kPlaceBottom, 204, 262, kModeClientMask, Shape::Push, Glyph::DvrRecord, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrChannel1, kPlaceBottom, 243, 262, kModeClientMask, Shape::Push, Glyph::DvrChannel1, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrChannel2, kPlaceBottom, 274, 262, kModeClientMask, Shape::Push, Glyph::DvrChannel2, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrChannel3, kPlaceBottom, 305, 262, kModeClientMask, Shape::Push, Glyph::DvrChannel3, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrChannel4, kPlaceBottom, 336, 262, kModeClientMask, Shape::Push, Glyph::DvrChannel4, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrSplit9, kPlaceBottom, 367, 262, kModeClientMask, Shape::Push, Glyph::DvrSplit9, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrMenu, kPlaceBottom, 406, 262, kModeClientMask, Shape::Push, Glyph::DvrMenu, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrUp, kPlaceBottom, 437, 262, kModeClientMask, Shape::Push, Glyph::DvrUp, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrDown, kPlaceBottom, 468, 262, kModeClientMask, Shape::Push, Glyph::DvrDown, nullptr, kButtonWidth, kButtonHeight},
    {kCmdDvrSelect, kPlaceBottom, 499, 262, kModeClientMask, Shape::Push, Glyph::DvrSelect, nullptr, kButtonWidth, kButtonHeight},
};

// A click opens the system menu with the About item once the double-click time has passed
// without a second click; a double click ends the program. (A menu opened at once would take the
// second click, and the double click would never arrive.)
class SystemIcon : public QLabel {
public:
    SystemIcon(QWidget* parent, std::function<void()> onDoubleClick, QMenu* systemMenu)
        : QLabel(parent), onDoubleClick_(std::move(onDoubleClick)), systemMenu_(systemMenu)
    {
        menuDelay_.setSingleShot(true);
        QObject::connect(&menuDelay_, &QTimer::timeout, this,
                         [this] { systemMenu_->popup(mapToGlobal(QPoint(0, height()))); });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        window()->windowIcon().paint(&painter, rect());
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && !menuDelay_.isActive())
            menuDelay_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) return;
        menuDelay_.stop();
        systemMenu_->hide();
        onDoubleClick_();
    }

private:
    std::function<void()> onDoubleClick_;
    QMenu* systemMenu_;
    QTimer menuDelay_;
};

}  // namespace

void ViewerDialog::CreateControls()
{
    // The pictures are drawn for the screen's pixels.
    const qreal ratio = devicePixelRatioF();
    SetBackground(controls::art::Background(ratio));
    SetCornerEllipse(12, 12);
    for (const auto& entry : kControls) {
        QWidget* widget = nullptr;
        switch (entry.shape) {
        case Shape::Push:
        case Shape::Check:
        case Shape::Radio: {
            using Kind = controls::SkinButton::Kind;
            const Kind kind = entry.shape == Shape::Push    ? Kind::Push
                              : entry.shape == Shape::Check ? Kind::Check
                                                            : Kind::Radio;
            auto* button = new controls::SkinButton(kind, this);
            // Every strip carries a mask frame except the minimise and close buttons'.
            const bool mask = entry.id != kCmdMinimize && entry.id != kCmdCloseButton;
            button->SetBitmap(controls::art::ButtonStrip(entry.picture, QSize(entry.width, entry.height), mask, ratio),
                              false, 0, mask);
            connect(button, &QAbstractButton::clicked, this, [this, id = entry.id] { ExecuteCommand(id); });
            widget = button;
            break;
        }
        case Shape::Label:
            if (entry.id == kCmdSystemIcon) {
                auto* systemMenu = new QMenu(this);
                systemMenu->addSeparator();
                QAction* about = systemMenu->addAction(QStringLiteral("About Viewer (&A)..."));
                connect(about, &QAction::triggered, this, [this] { ExecuteCommand(kCmdAbout); });
                systemIcon_ = new SystemIcon(this, [this] { Shutdown(ShutdownPath::SystemIcon); }, systemMenu);
                widget = systemIcon_;
            } else {
                titleText_ = new QLabel(this);
                titleText_->setStyleSheet(QStringLiteral("color: #FFB53F;"));
                QFont bold(QStringLiteral("Arial"));
                bold.setPixelSize(13);
                bold.setWeight(QFont::Bold);
                titleText_->setFont(bold);
                widget = titleText_;
            }
            break;
        case Shape::Slider: {
            namespace art = controls::art;
            auto* slider = new controls::SkinSlider(entry.id, this);
            connect(slider, &controls::SkinSlider::sliderMessage, this,
                    [this](std::uint32_t message, int id) { OnSliderMessage(message, id); });
            if (entry.id == kIdVolumeSlider) {
                slider->SetTrackBitmaps(art::VolumeTrack(false, ratio), art::VolumeTrack(true, ratio), true, art::kSliderKey);
                slider->SetThumbBitmaps(art::VolumeThumb(false, ratio), art::VolumeThumb(true, ratio), true, art::kSliderKey);
                slider->SetRange(0, 0xFFFF);
                slider->SetPage(0x1000);
                volumeSlider_ = slider;
            } else {
                slider->SetStretch(true);
                slider->SetTrackBitmaps(art::PositionTrack(false, ratio), art::PositionTrack(true, ratio), true,
                                        art::kSliderKey);
                slider->SetThumbBitmaps(art::PositionThumb(false, ratio), art::PositionThumb(true, ratio), true,
                                        art::kSliderKey);
                slider->SetRange(0, 0);
                slider->SetPosition(0);
                positionSlider_ = slider;
            }
            widget = slider;
            break;
        }
        case Shape::Status:
            statusLine_ = new controls::StatusLine(this);
            widget = statusLine_;
            break;
        }
        widget->setObjectName(QString::number(entry.id));
        // The sliders take the focus when pressed and then answer the keys.
        widget->setFocusPolicy(entry.shape == Shape::Slider ? Qt::ClickFocus : Qt::NoFocus);
        const char* tooltip = entry.tooltip;
        if (tooltip == nullptr) tooltip = FindDvrCommand(entry.id)->name;
        if (*tooltip != '\0') widget->setToolTip(QString::fromLatin1(tooltip));
        widget->resize(entry.width, entry.height);
        controls_[entry.id] = widget;
    }
    controls_[kCmdSplit9]->hide();
    controls_[kCmdSplit16]->hide();

    // The timeline: a click goes to that clock time, as "Go to Time..." does.
    activityScan_ = std::make_unique<ActivityScan>();
    timeline_ = new controls::TimelineWidget(this);
    timeline_->setObjectName(QString::number(kIdTimeline));
    connect(timeline_, &controls::TimelineWidget::seekRequested, this, [this](std::uint32_t time) {
        if (engine_->GetState() != kStateReady) engine_->SeekToTime(time);
    });
    timeline_->hide();
}

int ViewerDialog::FrameHeight() const
{
    return kFrameHeight + (TimelineShown() ? kTimelineHeight : 0);
}

int ViewerDialog::WindowedFrameHeight() const
{
    return kFrameHeight + (mode_ == ViewerMode::Player && settings_.showTimeline != 0 ? kTimelineHeight : 0);
}

void ViewerDialog::SaveRect()
{
    savedRect_ = geometry();
    savedFrameHeight_ = WindowedFrameHeight();
}

QRect ViewerDialog::SavedRect() const
{
    // The timeline's strip may have come or gone since: the video keeps the size it had.
    QRect rect = savedRect_;
    rect.setHeight(rect.height() + WindowedFrameHeight() - savedFrameHeight_);
    return rect;
}

bool ViewerDialog::TimelineShown() const
{
    return mode_ == ViewerMode::Player && !fullScreen_ && settings_.showTimeline != 0;
}

void ViewerDialog::KeepVideoSize(int frameHeightBefore)
{
    // The video area keeps its size: the window's bottom edge moves by the timeline's strip (before
    // the window is first shown, its centre stays where it is).
    const int delta = FrameHeight() - frameHeightBefore;
    if (delta == 0 || fullScreen_ || maximized_) return;
    if (!isVisible()) move(x(), y() - delta / 2);
    resize(width(), height() + delta);
}


// ---- Layout -----------------------------------------------------------------------------------

void ViewerDialog::Layout(bool relayout, int width, int height)
{
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect screenRect = screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
    if (relayout) {
        const int w = width + kFrameWidth;
        const int h = height + FrameHeight();
        setGeometry(screenRect.left() + (screenRect.width() - w) / 2, screenRect.top() + (screenRect.height() - h) / 2, w,
                    h);
        update();
    }
    const int W = this->width();
    const int H = this->height();
    videoWidth_ = W - kFrameWidth + sizeOffsetWidth_;
    videoHeight_ = H - FrameHeight() + sizeOffsetHeight_;

    if (fullScreen_) {
        titleText_->hide();
        for (auto& [id, widget] : controls_) widget->hide();
        timeline_->hide();
        setGeometry(screenRect);
        video_->setGeometry(0, 0, screenRect.width(), screenRect.height());
        video_->SyncClientSize();
    } else {
        ApplyTopMost();
        video_->setGeometry(kVideoLeft, kVideoTop, W - kFrameWidth, H - FrameHeight());
        video_->SyncClientSize();
        titleText_->show();
        PlaceControls(W, H);
        update();
    }
    if (relayout) SaveRect();
    layoutDone_ = true;
    // The rounded window: 12 x 12 corner ellipses (where the platform has window shapes).
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    } else if (!fullScreen_) {
        setMask(WindowRegion(size()));
    } else {
        clearMask();
    }
}

void ViewerDialog::PlaceControls(int W, int H)
{
    const int modeMask = mode_ == ViewerMode::Client ? kModeClientMask : kModePlayerMask;
    for (const auto& entry : kControls) {
        QWidget* widget = controls_[entry.id];
        bool visible = (entry.modes & modeMask) != 0;
        switch (entry.kind) {
        case kPlaceFixed: widget->move(entry.x, entry.y); break;
        case kPlaceRight: widget->move(entry.x + W - kDesignWidth, entry.y); break;
        case kPlaceBottom: widget->move(entry.x, entry.y + H - kDesignHeight); break;
        case kPlaceBottomRight:
            widget->move(entry.x + W - kDesignWidth, entry.y + H - kDesignHeight);
            visible = visible && W > (mode_ == ViewerMode::Client ? kWideEnoughClient : kWideEnoughPlayer);
            break;
        case kPlaceStatus:
            if (entry.id == kIdStatusLine) widget->setGeometry(13, H - 74, W - 116, 17);
            else widget->setGeometry(13, H - 52, W - 26, widget->height());
            break;
        default: break;
        }
        if (entry.id == kCmdSplit16) visible = false;
        widget->setVisible(visible);
    }
    // Between the video and the status line.
    timeline_->setGeometry(13, H - 75 - kTimelineHeight, W - 26, kTimelineHeight - 1);
    timeline_->setVisible(TimelineShown());
}

void ViewerDialog::ApplyTopMost()
{
    const bool topMost = settings_.alwaysOnTop != 0;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topMost) return;
    // setWindowFlags would hide the window to re-create it, and hiding the running dialog ends it:
    // the flags change on the existing native window instead.
    const Qt::WindowFlags flags = topMost ? windowFlags() | Qt::WindowStaysOnTopHint
                                          : windowFlags() & ~Qt::WindowStaysOnTopHint;
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle()) window->setFlags(flags);
}

void ViewerDialog::SetTitleText(const QString& text) { titleText_->setText(text); }

QString ViewerDialog::TitleText() const { return titleText_->text(); }

QWidget* ViewerDialog::Control(int id) const
{
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QAction* ViewerDialog::Action(int id) const
{
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QMenu* ViewerDialog::Popup(ViewerMode mode) const { return mode == ViewerMode::Client ? clientPopup_ : playerPopup_; }

void ViewerDialog::SetPositionRange()
{
    const std::uint64_t size = engine_->GetSize();
    positionSlider_->setRange(0, size <= 1 ? 0 : static_cast<int>(size / kPageSize));
}

void ViewerDialog::SetMarks(std::uint64_t in, std::uint64_t out)
{
    markIn_ = in;
    markOut_ = out;
}

void ViewerDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isMinimized()) return;
    // The skin leaves the last column and row to the window's edge.
    const QColor edge{QRgb(controls::art::kEdgeColor)};
    painter.fillRect(width() - 1, 0, 1, height(), edge);
    painter.fillRect(0, height() - 1, width(), 1, edge);
    PaintBackground(painter, size());
    // The resize corner.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x6A, 0x72, 0x7E), 1.2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 4; i < kResizeCorner; i += 4)
        painter.drawLine(QPointF(width() - 3.5, height() - 3.5 - i), QPointF(width() - 3.5 - i, height() - 3.5));
}

bool ViewerDialog::InCorner(const QPoint& at) const
{
    return at.x() >= width() - kResizeCorner && at.y() >= height() - kResizeCorner;
}

}  // namespace tamlorex::app
