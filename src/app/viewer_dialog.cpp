#include "app/viewer_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QScreen>
#include <QShortcut>
#include <QTimerEvent>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <thread>

#include "app/client_panel.h"
#include "app/command_ids.h"
#include "app/engine_capture_link.h"
#include "app/engine_client_link.h"
#include "app/ini_file.h"
#include "controls/status_line.h"
#include "controls/skin_art.h"
#include "controls/skin_slider.h"
#include "controls/timeline_widget.h"
#include "display/qt/video_widget.h"
#include "engine/activity_scan.h"
#include "engine/media_engine.h"

namespace tamlorex::app {
namespace {

// A posted message from a worker, carrying its number.
class PostedMessage : public QEvent {
public:
    static QEvent::Type Kind()
    {
        static const int kind = QEvent::registerEventType();
        return static_cast<QEvent::Type>(kind);
    }
    explicit PostedMessage(std::uint32_t message) : QEvent(Kind()), message(message) {}
    std::uint32_t message;
};

constexpr int kMaxDroppedPath = 260;

}  // namespace

ViewerDialog::ViewerDialog(const ViewerOptions& options, QWidget* parent)
    : controls::SkinDialog(parent),
      settings_(ViewerSettings::Defaults()),
      settingsPath_(options.settingsPath),
      client_(options.client),
      capture_(options.capture),
      prompts_(options.prompts != nullptr ? options.prompts : &defaultPrompts_),
      engine_(std::make_unique<MediaEngine>(*options.audioDevice, this, this)),
      startupPath_(options.commandLine.path),
      commandLineAddress_(options.commandLine.address),
      commandLinePort_(options.commandLine.port)
{
    // Without a client given, Client mode runs on the engine's own network client.
    if (options.client == nullptr) {
        engineClient_ = std::make_unique<EngineClientLink>(*engine_);
        client_ = engineClient_.get();
    }
    if (capture_ == nullptr) {
        engineCapture_ = std::make_unique<EngineCaptureLink>(*engine_);
        capture_ = engineCapture_.get();
    }
    capturePath_.clear();
    StartUp();
}

ViewerDialog::~ViewerDialog()
{
    // The worker draws into the video widget: it stops before the widget goes.
    engine_->SetObserver(nullptr);
    activityScan_->Stop();
    if (!shutDown_) {
        client_->DisconnectClient();
        engine_->CloseSource();
        engine_->Stop();
    }
    if (displayRecording_) StopDisplayRecording();
    for (const auto& [qtId, timer] : timerIds_) killTimer(qtId);
    delete video_;
    video_ = nullptr;
}

// ---- Start-up ---------------------------------------------------------------------------------

void ViewerDialog::StartUp()
{
    // 1-3: the frameless window, dropped files, the menus.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(controls::art::AppIcon());
    setAcceptDrops(true);
    setMouseTracking(true);
    setAutoFillBackground(false);
    CreateMenus();
    // 4-6: buttons, sliders and the status line.
    CreateControls();
    CreateAccelerators();
    clientPanel_ = std::make_unique<ClientPanel>(*this, *client_, *prompts_, settings_, *statusLine_);
    clientPanel_->SetControls(qobject_cast<QAbstractButton*>(Control(kCmdConnect)), Action(kCmdConnect));

    // 7: the engine with the video window (9 channel slots for the 8-channel set-up).
    engine_->Initialize(kModelType, kChannelCount);
    engine_->SetObserver(this);
    video_ = new display::VideoWidget(engine_->Window(), this);
    video_->setGeometry(kVideoLeft, kVideoTop, videoWidth_, videoHeight_);
    video_->SetMessageHandler([this](const std::string& text, const std::string& caption) {
        prompts_->Message(this, text, caption);
    });
    // 8: the OSD font and colours.
    VideoWindow& window = engine_->Window();
    window.SetFont(16, 0, 500, false, "Arial");
    window.SetTextColor(0x80FFFF);
    window.SetOutlineColor(0);

    // 9: the settings, applied to their owners.
    LoadSettings();
    volumeSlider_->setValue(static_cast<int>(engine_->GetVolume()));

    // 10-11: the title text, the rounded window and the first layout.
    SetTitleText(QString::fromLatin1(kTitleText));
    Layout(true, videoWidth_, videoHeight_);

    // 12: the three timers.
    timerIds_[startTimer(kTimerLayoutMs)] = kTimerLayout;
    timerIds_[startTimer(kTimerStatusMs)] = kTimerStatus;
    timerIds_[startTimer(kTimerFastMs, Qt::PreciseTimer)] = kTimerFast;

    // 13: Player mode.
    mode_ = ViewerMode::None;
    ExecuteCommand(kCmdPlayerMode);

    // 14: the recording named on the command line.
    if (!startupPath_.empty()) {
        if (engine_->OpenSource(startupPath_, false)) {
            sourceIsDrive_ = false;
            SetPositionRange();
            SetTitleText(QFileInfo(QString::fromStdString(startupPath_)).fileName());
        } else {
            prompts_->Message(this, OpenFailureText(startupPath_, engine_->GetOpenErrno(), false), std::string());
        }
    }
    // 15: no display recording.
    displayRecording_ = false;
    lowSpeed_ = false;
    // 16: connect at start when both the address and the port were given.
    autoConnect_ = !commandLineAddress_.empty() && !commandLinePort_.empty();
    UpdateCommandStates();
}


void ViewerDialog::LoadSettings()
{
    IniFile ini;
    ini.Load(settingsPath_);
    settings_.Load(ini);
    videoWidth_ = settings_.videoWidth;
    videoHeight_ = settings_.videoHeight;
    VideoWindow& window = engine_->Window();
    window.SetShowTime(settings_.showTime != 0);
    window.SetTimeFormat(settings_.timeFormat);
    engine_->SetRepeat(settings_.repeat != 0);
    client_->SetAutoReconnect(settings_.autoReconnection != 0);
    client_->SetTimeoutMs(settings_.timeout * 1000);
    engine_->SetVolume(static_cast<std::uint32_t>(settings_.volume));
    engine_->SetMute(settings_.mute != 0);
    video_->SetUseDirectDraw(settings_.useDDraw != 0);
    client_->SetMouseMode(settings_.mouseMode);
}

bool ViewerDialog::SaveSettings(bool quiet)
{
    settings_.alwaysOnTop = settings_.alwaysOnTop != 0 ? 1 : 0;
    settings_.showTime = engine_->Window().GetShowTime() ? 1 : 0;
    settings_.videoWidth = videoWidth_ - sizeOffsetWidth_;
    settings_.videoHeight = videoHeight_ - sizeOffsetHeight_;
    settings_.repeat = engine_->GetRepeat() ? 1 : 0;
    settings_.timeFormat = engine_->Window().GetTimeFormat();
    settings_.volume = static_cast<int>(engine_->GetVolume() & 0xFFFF);
    settings_.mute = engine_->GetMute() ? 1 : 0;
    settings_.useDDraw = video_->GetUseDirectDraw() ? 1 : 0;
    settings_.autoReconnection = client_->GetAutoReconnect() ? 1 : 0;
    settings_.timeout = client_->GetTimeoutMs() / 1000;
    settings_.mouseMode = client_->GetMouseMode();
    IniFile ini;
    ini.Load(settingsPath_);
    settings_.Save(ini);
    std::string error;
    if (ini.Save(settingsPath_, &error)) return true;
    // The settings would be lost without a word; a signal's end has no one to answer a message.
    const std::string text = "The settings could not be saved to \"" + settingsPath_ + "\": " + error + ".";
    if (quiet) std::fprintf(stderr, "tamlorex-viewer: %s\n", text.c_str());
    else prompts_->Message(this, text, std::string());
    return false;
}


// ---- Timers -----------------------------------------------------------------------------------

void ViewerDialog::timerEvent(QTimerEvent* event)
{
    const auto found = timerIds_.find(event->timerId());
    if (found == timerIds_.end()) {
        QDialog::timerEvent(event);
        return;
    }
    TimerTick(found->second);
}

void ViewerDialog::TimerTick(int timerId)
{
    if (shutDown_) return;
    if (autoConnect_) {
        autoConnect_ = false;
        SwitchMode(ViewerMode::Client);
        settings_.ipAddress = commandLineAddress_;
        settings_.port = IniFile::LeadingInt(commandLinePort_);
        clientPanel_->ToggleConnection();
    }
    if (timerId == kTimerLayout) {
        if (sizeChanged_) {
            sizeChanged_ = false;
            Layout(false, 0, 0);
        }
        return;
    }
    clientPanel_->Tick(engine_->IsRunning());
    statusLine_->SetNotice(QString::fromStdString(engine_->StallText()));
    ShowPlaybackStatus();
    if (timerId == kTimerFast) {
        if (displayRecording_ && lowSpeed_) capture_->SignalCaptureEvent();
        // The idle-time update of the buttons.
        UpdateCommandStates();
    }
}

void ViewerDialog::OnStateChanged(int, double)
{
    // From the engine's worker: shown on the window's own thread.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (shutDown_) return;
            ShowPlaybackStatus();
            UpdateCommandStates();
        },
        Qt::QueuedConnection);
}

void ViewerDialog::ShowPlaybackStatus()
{
    const int state = engine_->GetState();
    QString word = QString::fromLatin1(StateText(state));
    if (state == kStatePlay || state == kStateReverse) word += QString::asprintf(" x %.1f", engine_->GetSpeed());
    statusLine_->SetDisplayKind(static_cast<int>(mode_));
    statusLine_->SetPlaybackState(state);
    if (mode_ == ViewerMode::Player) {
        if (!positionSlider_->isSliderDown()) {
            const QSignalBlocker block(positionSlider_);
            positionSlider_->setValue(static_cast<int>(engine_->GetPosition() / kPageSize));
        }
        CalendarTime time;
        std::string text = " ";
        if (engine_->GetCurrentTime(time)) {
            text = engine_->Window().FormatOsdTime(time);
            if (text.empty()) text = " ";
        }
        positionSlider_->setToolTip(QString::fromStdString(text));
        statusLine_->SetTexts(word, QString::fromStdString(text));
    }
    UpdateTimeline();
}

void ViewerDialog::UpdateTimeline()
{
    // The scan follows the source that is open in Player mode, whichever way it was opened.
    const bool open = mode_ == ViewerMode::Player && engine_->IsSourceOpen();
    const std::string path = open ? engine_->GetSourcePath() : std::string();
    if (path != scanPath_) {
        activityScan_->Stop();
        scanPath_ = path;
        scanGeneration_ = ~0ull;
        timedMarks_[0] = timedMarks_[1] = ~0ull;
        timeline_->Clear();
        if (!path.empty()) activityScan_->Start(path, sourceIsDrive_, engine_->GetModelType());
    }
    if (path.empty()) return;
    if (const std::uint64_t g = activityScan_->Generation(); g != scanGeneration_) {
        scanGeneration_ = g;
        timeline_->SetActivity(activityScan_->Take());
    }
    std::uint32_t now = 0;
    timeline_->SetPlayTime(engine_->GetCurrentPageTime(now) ? std::optional<std::uint32_t>(now) : std::nullopt);
    if (timedMarks_[0] != markIn_ || timedMarks_[1] != markOut_) {
        timedMarks_[0] = markIn_;
        timedMarks_[1] = markOut_;
        // No marks are set while both stand at the start.
        const bool set = markIn_ != 0 || markOut_ != 0;
        timeline_->SetMarks(set ? engine_->PageTimeAt(markIn_) : std::nullopt,
                            set ? engine_->PageTimeAt(markOut_) : std::nullopt);
    }
}

// ---- Messages ---------------------------------------------------------------------------------

void ViewerDialog::Alert(const std::string& text)
{
    QMetaObject::invokeMethod(this, [this, text] { prompts_->Message(this, text, std::string()); }, Qt::QueuedConnection);
}

void ViewerDialog::Post(std::uint32_t message, std::uintptr_t, std::intptr_t)
{
    QCoreApplication::postEvent(this, new PostedMessage(message));
}

void ViewerDialog::customEvent(QEvent* event)
{
    if (event->type() == PostedMessage::Kind()) {
        HandleMessage(static_cast<PostedMessage*>(event)->message);
        return;
    }
    QDialog::customEvent(event);
}

void ViewerDialog::HandleMessage(std::uint32_t message)
{
    // The slider messages come as signals; every other posted message is the client's.
    clientPanel_->HandleMessage(message);
    UpdateCommandStates();
}

void ViewerDialog::OnSliderMessage(std::uint32_t message, int controlId)
{
    if (controlId == kIdVolumeSlider && (message == kSliderMoving || message == kSliderReleased)) {
        const std::uint32_t v = static_cast<std::uint32_t>(volumeSlider_->value()) & 0xFFFF;
        engine_->SetVolume(v + v * 65536);
        return;
    }
    // A drag seeks as it goes; a key moves the slider with one 0x28D2 and seeks there.
    if (controlId == kIdPositionSlider && (message == kSliderMoving || message == kSliderReleased)) {
        const std::uint64_t page = static_cast<std::uint64_t>(positionSlider_->value());
        if (page != engine_->GetPosition() / kPageSize) engine_->Seek(page * kPageSize);
    }
}

// ---- Window events ----------------------------------------------------------------------------

void ViewerDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (layoutDone_) sizeChanged_ = true;
}

void ViewerDialog::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (InCorner(at)) {
            resizing_ = true;
            resizeOffset_ = QPoint(width(), height()) - at;
            grabMouse();
        } else {
            moving_ = true;
            moveOffset_ = event->globalPosition().toPoint() - pos();
        }
        return;
    }
    if (event->button() == Qt::RightButton) {
        UpdateCommandStates();
        Popup(mode_)->popup(event->globalPosition().toPoint());
    }
}

void ViewerDialog::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (resizing_) {
        const QPoint size = at + resizeOffset_;
        resize(std::max(size.x(), kMinWindowWidth), std::max(size.y(), kMinWindowHeight));
        Layout(false, 0, 0);
        return;
    }
    if (moving_) {
        move(event->globalPosition().toPoint() - moveOffset_);
        return;
    }
    setCursor(InCorner(at) ? Qt::SizeFDiagCursor : Qt::ArrowCursor);
}

void ViewerDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    if (resizing_) releaseMouse();
    resizing_ = false;
    moving_ = false;
}

void ViewerDialog::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || fullScreen_) return;
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen != nullptr ? screen->geometry().width() : 0;
    if (width() < screenWidth) {
        Maximize();
    } else {
        maximized_ = false;
        setGeometry(SavedRect());
        Layout(false, 0, 0);
    }
}

void ViewerDialog::keyPressEvent(QKeyEvent* event)
{
    // Enter (command 1) does nothing; Escape is command 2.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    if (event->key() == Qt::Key_Escape) {
        ExecuteCommand(kCmdCancel);
        return;
    }
    QDialog::keyPressEvent(event);
}

void ViewerDialog::reject() { Shutdown(ShutdownPath::CloseMessage); }

void ViewerDialog::closeEvent(QCloseEvent* event)
{
    if (!shutDown_) Shutdown(ShutdownPath::CloseMessage);
    event->accept();
}

void ViewerDialog::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ViewerDialog::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) return;
    OpenDropped(urls.front().toLocalFile().left(kMaxDroppedPath).toStdString());
    event->acceptProposedAction();
}

void ViewerDialog::OpenDropped(const std::string& path)
{
    SwitchMode(ViewerMode::Player);
    if (engine_->IsSourceOpen()) CloseRecording();
    OpenPath(path);
    UpdateCommandStates();
}

// ---- Shutdown ---------------------------------------------------------------------------------

void ViewerDialog::Shutdown(ShutdownPath path)
{
    if (shutDown_) return;
    shutDown_ = true;
    switch (path) {
    case ShutdownPath::CloseButton:
        if (displayRecording_) StopDisplayRecording();
        engine_->CloseSource();
        client_->DisconnectClient();
        engine_->Stop();
        SaveSettings();
        break;
    case ShutdownPath::SystemIcon:
        engine_->CloseSource();
        client_->DisconnectClient();
        engine_->Stop();
        SaveSettings();
        break;
    case ShutdownPath::CloseMessage:
    case ShutdownPath::Signal:  // as Exit
        SaveSettings(path == ShutdownPath::Signal);
        engine_->CloseSource();
        client_->DisconnectClient();
        engine_->Stop();
        break;
    }
    if (displayRecording_) StopDisplayRecording();
    QDialog::done(QDialog::Rejected);
}

}  // namespace tamlorex::app
