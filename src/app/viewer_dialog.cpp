#include "app/viewer_dialog.h"

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

#include "app/command_ids.h"
#include "app/engine_capture_link.h"
#include "app/engine_client_link.h"
#include "app/login_dialog.h"
#include "app/virtual_keys.h"
#include "controls/status_line.h"
#include "controls/viewer_slider.h"
#include "display/qt/still_capture.h"
#include "display/qt/video_widget.h"
#include "engine/media_engine.h"
#include "media/vvf_reader.h"

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

// Kinds of control placement (W, H the window's size).
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
constexpr int kMaxDroppedPath = 260;

constexpr int kButtonWidth = 29;
constexpr int kButtonHeight = 24;

enum class Shape { Push, Check, Radio, Label, Slider, Status };


// Every control of the window with its place, modes, label (our own artwork until the skinned
// controls arrive) and tooltip.
constexpr struct {
    int id, kind, x, y, modes;
    Shape shape;
    const char* label;
    const char* tooltip;
    int width, height;
} kControls[] = {
    {kCmdSystemIcon, kPlaceFixed, 5, 5, kModeBoth, Shape::Label, "", "", 14, 14},
    {kIdTitleText, kPlaceFixed, 22, 4, kModeBoth, Shape::Label, "", "", 136, 16},
    {kCmdMinimize, kPlaceRight, 560, 2, kModeBoth, Shape::Push, "_", "Minimize", 20, 18},
    {kCmdCloseButton, kPlaceRight, 582, 2, kModeBoth, Shape::Push, "x", "Close", 20, 18},
    {kCmdPlayerMode, kPlaceFixed, 160, 2, kModeBoth, Shape::Radio, "Player", "Player", 76, 20},
    {kCmdClientMode, kPlaceFixed, 240, 2, kModeBoth, Shape::Radio, "Client", "Viewer", 76, 20},
    {kCmdSaveAvi, kPlaceFixed, 360, 2, kModeBoth, Shape::Push, "AVI", "Save AVI", 44, 20},
    {kIdStatusLine, kPlaceStatus, 10, 238, kModeBoth, Shape::Status, "", "", 0, 17},
    {kIdPositionSlider, kPlaceStatus, 10, 238, kModePlayerMask, Shape::Slider, "", "", 0, 18},
    {kCmdOpenFile, kPlaceBottom, 10, 262, kModePlayerMask, Shape::Push, "Op", "Open", kButtonWidth, kButtonHeight},
    {kCmdFastRewind, kPlaceBottom, 49, 262, kModePlayerMask, Shape::Push, "<<", "Fast Rewind", kButtonWidth, kButtonHeight},
    {kCmdPlayReverse, kPlaceBottom, 80, 262, kModePlayerMask, Shape::Push, "<", "Play Reverse", kButtonWidth, kButtonHeight},
    {kCmdPreviousFrame, kPlaceBottom, 111, 262, kModePlayerMask, Shape::Push, "<|", "Previous Frame", kButtonWidth, kButtonHeight},
    {kCmdPause, kPlaceBottom, 142, 262, kModePlayerMask, Shape::Push, "||", "Pause", kButtonWidth, kButtonHeight},
    {kCmdNextFrame, kPlaceBottom, 173, 262, kModePlayerMask, Shape::Push, "|>", "Next Frame", kButtonWidth, kButtonHeight},
    {kCmdPlay, kPlaceBottom, 204, 262, kModePlayerMask, Shape::Push, ">", "Play", kButtonWidth, kButtonHeight},
    {kCmdFastForward, kPlaceBottom, 235, 262, kModePlayerMask, Shape::Push, ">>", "Fast Forward", kButtonWidth, kButtonHeight},
    {kCmdStillCapture, kPlaceBottom, 274, 262, kModePlayerMask, Shape::Push, "Cam", "Still Capture", kButtonWidth + 6, kButtonHeight},
    {kCmdSplit1, kPlaceBottom, 336, 262, kModePlayerMask, Shape::Push, "1", "Split 1", kButtonWidth, kButtonHeight},
    {kCmdSplit4, kPlaceBottom, 367, 262, kModePlayerMask, Shape::Push, "4", "Split 4", kButtonWidth, kButtonHeight},
    {kCmdSplit9, kPlaceBottom, 398, 262, kModePlayerMask, Shape::Push, "9", "Split 9", kButtonWidth, kButtonHeight},
    {kCmdSplit16, kPlaceBottom, 429, 262, kModePlayerMask, Shape::Push, "16", "Split 16", kButtonWidth, kButtonHeight},
    {kCmdMute, kPlaceBottomRight, 500, 262, kModeBoth, Shape::Check, "M", "Mute On/Off", kButtonWidth, kButtonHeight},
    {kIdVolumeSlider, kPlaceBottomRight, 532, 269, kModeBoth, Shape::Slider, "", "Volume", 70, 16},
    {kCmdConnect, kPlaceBottom, 10, 262, kModeClientMask, Shape::Check, "Con", "Connect", kButtonWidth + 6, kButtonHeight},
    {kCmdDvrPause, kPlaceBottom, 49, 262, kModeClientMask, Shape::Push, "||", "Pause", kButtonWidth, kButtonHeight},
    {kCmdDvrRewind, kPlaceBottom, 80, 262, kModeClientMask, Shape::Push, "<<", "Rewind", kButtonWidth, kButtonHeight},
    {kCmdDvrPlay, kPlaceBottom, 111, 262, kModeClientMask, Shape::Push, ">", "Play", kButtonWidth, kButtonHeight},
    {kCmdDvrFastForward, kPlaceBottom, 142, 262, kModeClientMask, Shape::Push, ">>", "Fast Forward", kButtonWidth, kButtonHeight},
    {kCmdDvrStop, kPlaceBottom, 173, 262, kModeClientMask, Shape::Push, "[]", "Stop", kButtonWidth, kButtonHeight},
    {kCmdDvrRecord, kPlaceBottom, 204, 262, kModeClientMask, Shape::Push, "o", "Record", kButtonWidth, kButtonHeight},
    {kCmdDvrChannel1, kPlaceBottom, 243, 262, kModeClientMask, Shape::Push, "1", "Channel 1", kButtonWidth, kButtonHeight},
    {kCmdDvrChannel2, kPlaceBottom, 274, 262, kModeClientMask, Shape::Push, "2", "Channel 2", kButtonWidth, kButtonHeight},
    {kCmdDvrChannel3, kPlaceBottom, 305, 262, kModeClientMask, Shape::Push, "3", "Channel 3", kButtonWidth, kButtonHeight},
    {kCmdDvrChannel4, kPlaceBottom, 336, 262, kModeClientMask, Shape::Push, "4", "Channel 4", kButtonWidth, kButtonHeight},
    {kCmdDvrSplit9, kPlaceBottom, 367, 262, kModeClientMask, Shape::Push, "9", "Split 9", kButtonWidth, kButtonHeight},
    {kCmdDvrMenu, kPlaceBottom, 406, 262, kModeClientMask, Shape::Push, "Mn", "Menu", kButtonWidth, kButtonHeight},
    {kCmdDvrUp, kPlaceBottom, 437, 262, kModeClientMask, Shape::Push, "^", "Up", kButtonWidth, kButtonHeight},
    {kCmdDvrDown, kPlaceBottom, 468, 262, kModeClientMask, Shape::Push, "v", "Down", kButtonWidth, kButtonHeight},
    {kCmdDvrSelect, kPlaceBottom, 499, 262, kModeClientMask, Shape::Push, "OK", "Select", kButtonWidth, kButtonHeight},
};

// The recorder's key for each Dvr Control command.
int DvrKeyFor(int id)
{
    switch (id) {
    case kCmdDvrPause: return 0x09;
    case kCmdDvrRewind: return 0x07;
    case kCmdDvrPlay: return 0x0B;
    case kCmdDvrFastForward: return 0x0A;
    case kCmdDvrStop: return 0x08;
    case kCmdDvrRecord: return 0x06;
    case kCmdDvrSplit9: return 0x84;
    case kCmdDvrSplit4:
    case kCmdDvrSequence:
    case kCmdDvrSelect: return 0x0F;
    case kCmdDvrChannel1: return 0x01;
    case kCmdDvrChannel2: return 0x02;
    case kCmdDvrChannel3: return 0x03;
    case kCmdDvrChannel4: return 0x04;
    case kCmdDvrChannel5: return 0x15;
    case kCmdDvrChannel6: return 0x16;
    case kCmdDvrChannel7: return 0x17;
    case kCmdDvrChannel8: return 0x18;
    case kCmdDvrChannel9: return 0x19;
    case kCmdDvrMenu: return 0x0C;
    case kCmdDvrUp: return 0x0D;
    case kCmdDvrDown: return 0x0E;
    default: return -1;
    }
}

bool IsPlaybackCommand(int id)
{
    return id == kCmdPlay || id == kCmdPlayReverse || id == kCmdPause || id == kCmdFastForward ||
           id == kCmdFastRewind || id == kCmdNextFrame || id == kCmdPreviousFrame;
}

// The system icon: our own small picture; a click opens the system menu with the About item, a
// double click ends the program.
class SystemIcon : public QLabel {
public:
    SystemIcon(QWidget* parent, std::function<void()> onDoubleClick, QMenu* systemMenu)
        : QLabel(parent), onDoubleClick_(std::move(onDoubleClick)), systemMenu_(systemMenu)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0xFF, 0xB5, 0x3F));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(rect().adjusted(1, 1, -1, -1));
        painter.setBrush(Qt::black);
        painter.drawEllipse(rect().adjusted(4, 4, -4, -4));
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) systemMenu_->popup(mapToGlobal(QPoint(0, height())));
    }
    void mouseDoubleClickEvent(QMouseEvent*) override
    {
        systemMenu_->hide();
        onDoubleClick_();
    }

private:
    std::function<void()> onDoubleClick_;
    QMenu* systemMenu_;
};

std::string SourceName(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

}  // namespace

ViewerDialog::ViewerDialog(const ViewerOptions& options, QWidget* parent)
    : QDialog(parent),
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
    setAcceptDrops(true);
    setMouseTracking(true);
    setAutoFillBackground(false);
    CreateMenus();
    // 4-6: buttons, sliders and the status line.
    CreateControls();
    CreateAccelerators();

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
    mode_ = 0;
    ExecuteCommand(kCmdPlayerMode);

    // 14: the recording named on the command line.
    if (!startupPath_.empty()) {
        if (engine_->OpenSource(startupPath_, false)) {
            sourceIsDrive_ = false;
            SetPositionRange();
            SetTitleText(QString::fromStdString(SourceName(startupPath_)));
        }
    }
    // 15: no display recording.
    displayRecording_ = false;
    lowSpeed_ = false;
    // 16: connect at start when both the address and the port were given.
    autoConnect_ = !commandLineAddress_.empty() && !commandLinePort_.empty();
    UpdateCommandStates();
}

void ViewerDialog::CreateControls()
{
    for (const auto& entry : kControls) {
        QWidget* widget = nullptr;
        switch (entry.shape) {
        case Shape::Push:
        case Shape::Check: {
            auto* button = new QPushButton(QString::fromLatin1(entry.label), this);
            button->setCheckable(entry.shape == Shape::Check);
            button->setAutoDefault(false);
            button->setDefault(false);
            connect(button, &QPushButton::clicked, this, [this, id = entry.id] { ExecuteCommand(id); });
            widget = button;
            break;
        }
        case Shape::Radio: {
            auto* radio = new QRadioButton(QString::fromLatin1(entry.label), this);
            radio->setAutoExclusive(false);
            radio->setStyleSheet(QStringLiteral("color: #E0E0E0;"));
            connect(radio, &QRadioButton::clicked, this, [this, id = entry.id] { ExecuteCommand(id); });
            widget = radio;
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
            auto* slider = new controls::ViewerSlider(entry.id, this);
            connect(slider, &controls::ViewerSlider::sliderMessage, this,
                    [this](std::uint32_t message, int id) { OnSliderMessage(message, id); });
            if (entry.id == kIdVolumeSlider) {
                slider->setRange(0, 0xFFFF);
                slider->setPageStep(0x1000);
                volumeSlider_ = slider;
            } else {
                slider->setRange(0, 0);
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
        widget->setFocusPolicy(Qt::NoFocus);
        if (*entry.tooltip != '\0') widget->setToolTip(QString::fromLatin1(entry.tooltip));
        widget->resize(entry.width, entry.height);
        controls_[entry.id] = widget;
    }
    controls_[kCmdSplit9]->hide();
    controls_[kCmdSplit16]->hide();
}

void ViewerDialog::CreateMenus()
{
    auto action = [this](int id, const char* text, bool checkable = false) {
        QAction*& slot = actions_[id];
        if (slot == nullptr) {
            slot = new QAction(QString::fromLatin1(text), this);
            slot->setCheckable(checkable);
            connect(slot, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        }
        return slot;
    };
    auto addDvrControl = [&](QMenu* menu) {
        QMenu* dvr = menu->addMenu(QStringLiteral("Dvr Control"));
        const std::pair<int, const char*> keys[] = {
            {kCmdDvrPause, "Pause"},         {kCmdDvrRewind, "Rewind"},       {kCmdDvrPlay, "Play"},
            {kCmdDvrFastForward, "Fast Forward"}, {kCmdDvrStop, "Stop"},      {kCmdDvrRecord, "Record"},
            {0, nullptr},
            {kCmdDvrChannel1, "Channel 1"},  {kCmdDvrChannel2, "Channel 2"},  {kCmdDvrChannel3, "Channel 3"},
            {kCmdDvrChannel4, "Channel 4"},  {kCmdDvrChannel5, "Channel 5"},  {kCmdDvrChannel6, "Channel 6"},
            {kCmdDvrChannel7, "Channel 7"},  {kCmdDvrChannel8, "Channel 8"},  {kCmdDvrChannel9, "Channel 9"},
            {0, nullptr},
            {kCmdDvrSplit4, "Split 4"},      {kCmdDvrSplit9, "Split 9"},      {kCmdDvrSequence, "Se&q"},
            {0, nullptr},
            {kCmdDvrMenu, "Menu"},           {kCmdDvrUp, "Up"},               {kCmdDvrDown, "Down"},
            {kCmdDvrSelect, "Select"},
        };
        for (const auto& [id, text] : keys) {
            if (id == 0) dvr->addSeparator();
            else dvr->addAction(action(id, text));
        }
    };
    auto addAudio = [&](QMenu* menu) {
        QMenu* audio = menu->addMenu(QStringLiteral("Audio"));
        audio->addAction(action(kCmdVolumeUp, "Volume &Up"));
        audio->addAction(action(kCmdVolumeDown, "Volume &Down"));
        audio->addAction(action(kCmdMute, "Mute On/Off", true));
    };
    auto addWindow = [&](QMenu* menu) {
        QMenu* aspect = menu->addMenu(QStringLiteral("Aspect Ratio"));
        aspect->addAction(action(kCmdAspect448, "640 x 448", true));
        aspect->addAction(action(kCmdAspect544, "640 x 544", true));
        menu->addAction(action(kCmdFullScreen, "Full Screen", true));
        menu->addAction(action(kCmdMaximize, "Maximize"));
        menu->addAction(action(kCmdAlwaysOnTop, "Always on top", true));
    };

    // Popup 0, Player mode.
    playerPopup_ = new QMenu(QStringLiteral("Viewer(Play9ch)"), this);
    QMenu* p = playerPopup_;
    p->addAction(action(kCmdOpenFile, "&Open File...\tCtrl+O"));
    p->addAction(action(kCmdOpenDisk, "Open &Disk..."));
    p->addMenu(QStringLiteral("&Export"))->addAction(action(kCmdExportAvi, "AVI (Audio-Video Interleaved Files)"));
    p->addAction(action(kCmdClose, "Close"));
    p->addSeparator();
    p->addAction(action(kCmdPlayerMode, "Player(&P)", true));
    p->addAction(action(kCmdClientMode, "Client(&L)", true));
    p->addSeparator();
    QMenu* playback = p->addMenu(QStringLiteral("Playback"));
    playback->addAction(action(kCmdPlay, "Play"));
    playback->addAction(action(kCmdPlayReverse, "Play Reverse"));
    playback->addAction(action(kCmdPause, "Pause"));
    playback->addAction(action(kCmdFastForward, "Fast Forward"));
    playback->addAction(action(kCmdFastRewind, "Fast Rewind"));
    playback->addAction(action(kCmdNextFrame, "Next Frame"));
    playback->addAction(action(kCmdPreviousFrame, "Previous Frame"));
    playback->addSeparator();
    playback->addAction(action(kCmdSpeedNormal, "Speed Normal"));
    playback->addAction(action(kCmdSpeedUp, "Speed Up"));
    playback->addAction(action(kCmdSpeedDown, "Speed Down"));
    QMenu* capture = p->addMenu(QStringLiteral("Capture"));
    capture->addAction(action(kCmdMarkIn, "Mark &In"));
    capture->addAction(action(kCmdMarkOut, "Mark &Out"));
    capture->addAction(action(kCmdExportSpan, "&Export"));
    addAudio(p);
    QMenu* split = p->addMenu(QStringLiteral("Split Mode"));
    split->addAction(action(kCmdSplit1, "Split 1"));
    split->addAction(action(kCmdSplit4, "Split 4"));
    split->addAction(action(kCmdSplit9, "Split 9"));
    addWindow(p);
    p->addAction(action(kCmdShowTime, "Show &Time", true));
    p->addSeparator();
    p->addAction(action(kCmdOptions, "O&ptions..."));
    p->addAction(action(kCmdAbout, "&About Viewer\tF10"));
    p->addSeparator();
    p->addAction(action(kCmdExit, "E&xit\tAlt+F4"));

    // Popup 1, Client mode.
    clientPopup_ = new QMenu(QStringLiteral("Viewer(Net)"), this);
    QMenu* n = clientPopup_;
    n->addAction(action(kCmdConnect, "&Connect..."));
    n->addSeparator();
    n->addAction(action(kCmdPlayerMode, "Player(&P)", true));
    n->addAction(action(kCmdClientMode, "Client(&L)", true));
    n->addSeparator();
    addDvrControl(n);
    QMenu* local = n->addMenu(QStringLiteral("Local Recording"));
    local->addAction(action(kCmdStartLocalRecording, "Start Local Recording"));
    local->addAction(action(kCmdStopLocalRecording, "Stop Local Recording"));
    addAudio(n);
    addWindow(n);
    n->addSeparator();
    n->addAction(action(kCmdNetworkOptions, "O&ptions..."));
    n->addAction(action(kCmdAbout, "&About Viewer\tF10"));
    n->addSeparator();
    n->addAction(action(kCmdExit, "E&xit\tAlt+F4"));

    // The update rules run for a popup's items when it opens.
    for (QMenu* menu : {playerPopup_, clientPopup_}) {
        connect(menu, &QMenu::aboutToShow, this, &ViewerDialog::UpdateCommandStates);
        for (QAction* item : menu->actions())
            if (QMenu* sub = item->menu()) connect(sub, &QMenu::aboutToShow, this, &ViewerDialog::UpdateCommandStates);
    }
}

void ViewerDialog::CreateAccelerators()
{
    const std::pair<QKeySequence, int> table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_C), kCmdClose},          {QKeySequence(Qt::CTRL | Qt::Key_F), kCmdFullScreen},
        {QKeySequence(Qt::CTRL | Qt::Key_N), kCmdNextFrame},      {QKeySequence(Qt::CTRL | Qt::Key_O), kCmdOpenFile},
        {QKeySequence(Qt::CTRL | Qt::Key_V), kCmdPreviousFrame},  {QKeySequence(Qt::CTRL | Qt::Key_P), kCmdPause},
        {QKeySequence(Qt::SHIFT | Qt::Key_C), kCmdSpeedUp},       {QKeySequence(Qt::SHIFT | Qt::Key_X), kCmdSpeedDown},
        {QKeySequence(Qt::SHIFT | Qt::Key_Z), kCmdSpeedNormal},   {QKeySequence(Qt::Key_F10), kCmdAbout},
    };
    for (const auto& [keys, id] : table) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setObjectName(QStringLiteral("accel-%1").arg(id));
        connect(shortcut, &QShortcut::activated, this, [this, id = id] { ExecuteCommand(id); });
    }
    // Alt+F4 is the close message, whether or not a window manager sends it.
    auto* close = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(close, &QShortcut::activated, this, [this] { Shutdown(ShutdownPath::CloseMessage); });
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

void ViewerDialog::SaveSettings()
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
    ini.Save(settingsPath_);  // a failure is not reported
}

// ---- Layout -----------------------------------------------------------------------------------

void ViewerDialog::Layout(bool relayout, int width, int height)
{
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect screenRect = screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
    if (relayout) {
        const int w = width + kFrameWidth;
        const int h = height + kFrameHeight;
        setGeometry(screenRect.left() + (screenRect.width() - w) / 2, screenRect.top() + (screenRect.height() - h) / 2, w,
                    h);
        update();
    }
    const int W = this->width();
    const int H = this->height();
    videoWidth_ = W - kFrameWidth + sizeOffsetWidth_;
    videoHeight_ = H - kFrameHeight + sizeOffsetHeight_;

    if (fullScreen_) {
        titleText_->hide();
        for (auto& [id, widget] : controls_) widget->hide();
        setGeometry(screenRect);
        video_->setGeometry(0, 0, screenRect.width(), screenRect.height());
        video_->SyncClientSize();
    } else {
        ApplyTopMost();
        video_->setGeometry(kVideoLeft, kVideoTop, W - kFrameWidth, H - kFrameHeight);
        video_->SyncClientSize();
        titleText_->show();
        PlaceControls(W, H);
        update();
    }
    if (relayout) savedRect_ = geometry();
    layoutDone_ = true;
    // The rounded window: 12 x 12 corner ellipses (where the platform has window shapes).
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    } else if (!fullScreen_) {
        QPainterPath path;
        path.addRoundedRect(QRectF(0, 0, this->width(), this->height()), 6, 6);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    } else {
        clearMask();
    }
}

void ViewerDialog::PlaceControls(int W, int H)
{
    const int modeMask = mode_ == 2 ? kModeClientMask : kModePlayerMask;
    for (const auto& entry : kControls) {
        QWidget* widget = controls_[entry.id];
        bool visible = (entry.modes & modeMask) != 0;
        switch (entry.kind) {
        case kPlaceFixed: widget->move(entry.x, entry.y); break;
        case kPlaceRight: widget->move(entry.x + W - kDesignWidth, entry.y); break;
        case kPlaceBottom: widget->move(entry.x, entry.y + H - kDesignHeight); break;
        case kPlaceBottomRight:
            widget->move(entry.x + W - kDesignWidth, entry.y + H - kDesignHeight);
            visible = visible && W > (mode_ == 2 ? kWideEnoughClient : kWideEnoughPlayer);
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
}

void ViewerDialog::ApplyTopMost()
{
    const bool topMost = settings_.alwaysOnTop != 0;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topMost) return;
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    if (wasVisible) show();
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

QMenu* ViewerDialog::Popup(int mode) const { return mode == 2 ? clientPopup_ : playerPopup_; }

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
        if (mode_ != 2) SwitchMode(2);
        settings_.ipAddress = commandLineAddress_;
        settings_.port = IniFile::LeadingInt(commandLinePort_);
        Connect();
    }
    if (timerId == kTimerLayout) {
        if (sizeChanged_) {
            sizeChanged_ = false;
            Layout(false, 0, 0);
        }
        return;
    }
    if (engine_->IsRunning()) {
        const int key = TakePendingKey();
        if (key != 0) {
            const int code = client_->KeyForVirtualKey(key);
            if (code >= 0) client_->SendKey(code);
        }
    }
    const int connState = client_->GetConnState();
    if (connState != lastConnState_) {
        lastConnState_ = connState;
        statusLine_->SetConnectionState(connState);
    }
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
    statusLine_->SetDisplayKind(mode_);
    statusLine_->SetPlaybackState(state);
    if (mode_ == 1) {
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
}

// ---- Update rules -----------------------------------------------------------------------------

bool ViewerDialog::IsCommandEnabled(int id) const
{
    const int state = engine_->GetState();
    const bool open = engine_->IsSourceOpen();
    if (IsPlaybackCommand(id)) return state != kStateReady;
    switch (id) {
    case kCmdClose: return open;
    case kCmdMarkIn:
    case kCmdMarkOut: return open && state == kStatePause;
    case kCmdExportSpan:
        return open && state == kStatePause && markOut_ > markIn_ && markOut_ - markIn_ < kMaxExportSpan;
    case kCmdDisconnectString: return client_->IsRunning();
    case kCmdStartLocalRecording: return client_->IsOnline() && !client_->IsLocalRecording();
    case kCmdStopLocalRecording: return client_->IsLocalRecording();
    default: break;
    }
    if (DvrKeyFor(id) >= 0) return client_->IsOnline();
    return true;
}

int ViewerDialog::CommandCheckState(int id) const
{
    switch (id) {
    case kCmdPlayerMode: return engine_->GetMode() == kPlayerMode ? 1 : 0;
    case kCmdClientMode: return engine_->GetMode() != kPlayerMode ? 1 : 0;
    case kCmdShowTime: return engine_->Window().GetShowTime() ? 1 : 0;
    case kCmdAlwaysOnTop: return settings_.alwaysOnTop != 0 ? 1 : 0;
    case kCmdMute: return engine_->GetMute() ? 1 : 0;
    case kCmdFullScreen: return fullScreen_ ? 1 : 0;
    case kCmdAspect448: return videoWidth_ == 640 && videoHeight_ == 448 ? 1 : 0;
    case kCmdAspect544: return videoWidth_ == 640 && videoHeight_ == 544 ? 1 : 0;
    default: return -1;
    }
}

void ViewerDialog::UpdateCommandStates()
{
    for (auto& [id, action] : actions_) {
        action->setEnabled(IsCommandEnabled(id));
        const int checked = CommandCheckState(id);
        if (checked >= 0) action->setChecked(checked != 0);
    }
    if (QAction* connect = Action(kCmdConnect))
        connect->setText(client_->IsRunning() ? QStringLiteral("Disconnect") : QStringLiteral("&Connect..."));
    for (auto& [id, widget] : controls_) {
        auto* button = qobject_cast<QAbstractButton*>(widget);
        if (button == nullptr) continue;
        button->setEnabled(IsCommandEnabled(id));
        const int checked = CommandCheckState(id);
        if (checked >= 0) button->setChecked(checked != 0);
    }
    if (auto* connect = qobject_cast<QAbstractButton*>(Control(kCmdConnect))) connect->setChecked(client_->IsRunning());
}

// ---- Commands ---------------------------------------------------------------------------------

bool ViewerDialog::ExecuteCommand(int id)
{
    if (shutDown_ || !IsCommandEnabled(id)) return false;
    VideoWindow& window = engine_->Window();
    switch (id) {
    case kCmdOk: break;
    case kCmdCancel:
    case kCmdExit: Shutdown(ShutdownPath::CloseMessage); return true;
    case kCmdCloseButton: Shutdown(ShutdownPath::CloseButton); return true;
    case kCmdSystemIcon: Shutdown(ShutdownPath::SystemIcon); return true;
    case kCmdMinimize: showMinimized(); break;
    case kCmdAbout: prompts_->About(this); break;
    case kCmdPlayerMode: SwitchMode(1); break;
    case kCmdClientMode: SwitchMode(2); break;
    case kCmdOpenFile: OpenFile(); break;
    case kCmdClose: CloseRecording(); break;
    case kCmdShowTime:
        window.SetShowTime(!window.GetShowTime());
        window.Redraw();
        break;
    case kCmdAlwaysOnTop:
        settings_.alwaysOnTop = settings_.alwaysOnTop != 0 ? 0 : 1;
        ApplyTopMost();
        break;
    case kCmdPlay: engine_->Play(engine_->GetRequestedSpeed()); break;
    case kCmdPlayReverse: engine_->PlayReverse(engine_->GetRequestedSpeed()); break;
    case kCmdPause: engine_->Pause(); break;
    case kCmdFastForward: engine_->FastForward(); break;
    case kCmdFastRewind: engine_->FastRewind(); break;
    case kCmdNextFrame: engine_->StepForward(); break;
    case kCmdPreviousFrame: engine_->StepBack(); break;
    case kCmdSpeedNormal: engine_->SetRequestedSpeed(1.0); break;
    case kCmdSpeedUp: engine_->SetRequestedSpeed(engine_->GetRequestedSpeed() + 0.1); break;
    case kCmdSpeedDown: engine_->SetRequestedSpeed(engine_->GetRequestedSpeed() - 0.1); break;
    case kCmdMarkIn: markIn_ = engine_->GetPosition(); break;
    case kCmdMarkOut: markOut_ = engine_->GetPosition(); break;
    case kCmdExportSpan: ExportMarkedSpan(); break;
    case kCmdVolumeUp:
    case kCmdVolumeDown: break;  // these two do nothing
    case kCmdMute: engine_->SetMute(!engine_->GetMute()); break;
    case kCmdFullScreen: ToggleFullScreen(); break;
    case kCmdMaximize: Maximize(); break;
    case kCmdAspect448: Layout(true, 640, 448); break;
    case kCmdAspect544: Layout(true, 640, 544); break;
    case kCmdSplit1: window.SetSplit(1, -1); break;
    case kCmdSplit4:
    case kCmdSplit4Hidden: window.SetSplit(4, -1); break;
    case kCmdSplit9:
    case kCmdSplit9Hidden: window.SetSplit(9, -1); break;
    case kCmdSplit16: window.SetSplit(16, -1); break;
    case kCmdSplit16Hidden: window.SetSplit(16, 0); break;
    case kCmdStillCapture: display::StillCapture(*video_, settings_.capturePath); break;
    case kCmdSaveAvi: ToggleDisplayRecording(); break;
    // The dialogs of these arrive later: the items exist and do nothing yet.
    case kCmdOpenDisk:
    case kCmdExportAvi:
    case kCmdOptions:
    case kCmdNetworkOptions: break;
    case kCmdConnect: Connect(); break;
    case kCmdDisconnectString: break;
    case kCmdStartLocalRecording:
        // A missing or read-only folder would otherwise lose the recording without a word.
        if (!client_->StartLocalRecording(settings_.localRecordingPath))
            prompts_->Message(this, "Local recording could not start: no file can be created in \"" +
                                        settings_.localRecordingPath + "\".", std::string());
        break;
    case kCmdStopLocalRecording: client_->StopLocalRecording(); break;
    default:
        if (DvrKeyFor(id) >= 0) {
            SendDvrKey(id);
            break;
        }
        return false;
    }
    UpdateCommandStates();
    return true;
}

void ViewerDialog::SwitchMode(int mode)
{
    // A display recording belongs to the mode it was started in (its frame size, rate and source):
    // its file is finished before the mode changes.
    if (displayRecording_) StopDisplayRecording();
    if (mode == 1) engine_->SetMode(kPlayerMode, -1, -1);
    else engine_->SetMode(kClientMode, -1, -1);
    mode_ = mode;
    SetTitleText(QString::fromLatin1(kTitleText));
    engine_->Window().SetSplit(mode == 1 ? 9 : 1, 0);
    statusLine_->SetDisplayKind(mode_);
    Layout(false, 0, 0);
    Layout(false, 0, 0);
}

void ViewerDialog::OpenFile()
{
    const std::string path = prompts_->OpenFileName(this, kOpenFilter);
    if (path.empty()) return;
    if (engine_->IsSourceOpen()) {
        CloseRecording();
        SetTitleText(QString::fromStdString(SourceName(engine_->GetSourcePath())));
    }
    markIn_ = 0;
    markOut_ = 0;
    OpenPath(path);
}

void ViewerDialog::OpenPath(const std::string& path)
{
    if (engine_->OpenSource(path, false)) sourceIsDrive_ = false;
    SetPositionRange();
    SetTitleText(QString::fromStdString(SourceName(path)));
    update();
}

void ViewerDialog::CloseRecording()
{
    engine_->CloseSource();
    engine_->Stop();
    positionSlider_->setRange(0, 0);
    SetTitleText(QString::fromLatin1(kTitleText));
    update();
}

void ViewerDialog::ExportMarkedSpan()
{
    const std::string target = prompts_->SaveFileName(this, "CAPTURE.VVF", kVvfFilter, std::string());
    if (target.empty()) return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // A reader of our own: the engine's belongs to its worker.
    VvfReader reader;
    reader.SetModelType(engine_->GetModelType());
    if (reader.Open(engine_->GetSourcePath(), sourceIsDrive_)) reader.ExportSpan(markIn_, markOut_, target);
    QGuiApplication::restoreOverrideCursor();
}

void ViewerDialog::ToggleFullScreen()
{
    fullScreen_ = !fullScreen_;
    if (fullScreen_) {
        Layout(false, 0, 0);
        return;
    }
    setGeometry(savedRect_);
    Layout(false, 0, 0);
}

void ViewerDialog::Maximize()
{
    if (fullScreen_) return;
    savedRect_ = geometry();
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) setGeometry(screen->availableGeometry());
    maximized_ = true;
    Layout(false, 0, 0);
}

void ViewerDialog::ToggleDisplayRecording()
{
    if (displayRecording_) {
        StopDisplayRecording();
        return;
    }
    const int connState = client_->GetConnState();
    if (engine_->GetState() == kStateReady && connState != kConnOnline && connState != kConnDdnsDone) return;
    if (mode_ == 1) engine_->Pause();
    const std::string path = prompts_->SaveFileName(this, "DVR.avi", kAviFilter, lastAviFolder_);
    bool lowSpeed = false;
    if (mode_ == 2) lowSpeed = prompts_->AskYesNo(this, "Internet low speed?");
    bool started = false;
    if (!path.empty()) {
        lastAviFolder_ = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
        int width = 0;
        int height = 0;
        if (capture_->FrameSize(width, height) && capture_->StartCapture(path, width, height, lowSpeed) == 0) {
            started = true;
            displayRecording_ = true;
            lowSpeed_ = lowSpeed;
            capturePath_ = path;
            if (mode_ == 1) video_->StartDisplayRecording(capture_->FrameSink(), width, height);
            Control(kCmdSaveAvi)->setToolTip(QStringLiteral("Stop AVI"));
            static_cast<QPushButton*>(Control(kCmdSaveAvi))->setText(QStringLiteral("STOP"));
        }
    }
    if (mode_ == 1) engine_->Play(1.0);
    (void)started;
}

void ViewerDialog::StopDisplayRecording()
{
    displayRecording_ = false;
    lowSpeed_ = false;
    video_->StopDisplayRecording();
    Control(kCmdSaveAvi)->setToolTip(QStringLiteral("Save AVI"));
    static_cast<QPushButton*>(Control(kCmdSaveAvi))->setText(QStringLiteral("AVI"));
    capture_->StopCapture();
    // The finished file becomes read-only; a busy file gets a few more tries.
    for (int attempt = 0; attempt < 5 && !capturePath_.empty(); ++attempt) {
        struct stat info {};
        if (::stat(capturePath_.c_str(), &info) != 0) break;
        if (::chmod(capturePath_.c_str(), info.st_mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    capturePath_.clear();
}

void ViewerDialog::Connect()
{
    // Connected while the client runs, whether connecting, logging in or online.
    if (client_->IsRunning()) {
        client_->DisconnectClient();
        ResetConnectButton();
        return;
    }
    LoginDialog login(this);
    login.SetRecorderAddress(settings_.ipAddress);
    login.SetDvrName(settings_.dvrName);
    login.SetUseDynamicIp(settings_.dynamicIp != 0);
    login.SetPort(settings_.port);
    if (!prompts_->RunLogin(login)) return;
    settings_.ipAddress = login.RecorderAddress();
    settings_.port = login.Port();
    settings_.dynamicIp = login.UseDynamicIp() ? 1 : 0;
    settings_.dvrName = login.DvrName();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ConnectRequest request;
    request.dynamicIp = login.UseDynamicIp();
    request.address = settings_.ipAddress;
    request.port = settings_.port;
    request.ddnsAddress = settings_.ddnsIp;
    request.ddnsPort = settings_.ddnsPort;
    request.dvrName = settings_.dvrName;
    request.password = login.Password();
    client_->ConnectClient(request);
    QGuiApplication::restoreOverrideCursor();
    UpdateCommandStates();
}

void ViewerDialog::ResetConnectButton()
{
    if (auto* button = qobject_cast<QAbstractButton*>(Control(kCmdConnect))) button->setChecked(false);
    if (QAction* connect = Action(kCmdConnect)) connect->setText(QStringLiteral("&Connect..."));
}

void ViewerDialog::SendDvrKey(int commandId) { client_->SendKey(DvrKeyFor(commandId)); }

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
    switch (message) {
    case WM_NET_STATUS: statusLine_->update(); break;
    case WM_NET_SERVER_CLOSED:
        if (!client_->IsOnline()) break;
        client_->DisconnectClient();
        ResetConnectButton();
        prompts_->Message(this, "Disconnected by server.", std::string());
        break;
    case WM_NET_NO_RESPONSE:
        client_->DisconnectClient();
        ResetConnectButton();
        prompts_->Message(this, "DVR has no response.", std::string());
        break;
    case WM_NET_LOGIN_FAILED: {
        // The client's own reason follows when it says something else.
        const std::string reason = client_->GetErrorText();
        client_->DisconnectClient();
        ResetConnectButton();
        std::string text = "Incorrect password.";
        if (!reason.empty() && reason != text) text += "\n" + reason;
        prompts_->Message(this, text, std::string());
        break;
    }
    case kSliderMoving:
    case kSliderReleased: break;
    default: break;
    }
    UpdateCommandStates();
}

void ViewerDialog::OnSliderMessage(std::uint32_t message, int controlId)
{
    if (controlId == kIdVolumeSlider && (message == kSliderMoving || message == kSliderReleased)) {
        const std::uint32_t v = static_cast<std::uint32_t>(volumeSlider_->value()) & 0xFFFF;
        engine_->SetVolume(v + v * 65536);
        return;
    }
    if (controlId == kIdPositionSlider && message == kSliderMoving) {
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

void ViewerDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isMinimized()) return;
    // Our own background until the skinned one: dark with a lighter frame.
    painter.fillRect(rect(), QColor(0x20, 0x20, 0x24));
    painter.setPen(QColor(0x60, 0x60, 0x68));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    // The resize corner.
    painter.setPen(QColor(0x90, 0x90, 0x98));
    for (int i = 4; i < kResizeCorner; i += 4)
        painter.drawLine(width() - 2, height() - 2 - i, width() - 2 - i, height() - 2);
}

bool ViewerDialog::InCorner(const QPoint& at) const
{
    return at.x() >= width() - kResizeCorner && at.y() >= height() - kResizeCorner;
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
        setGeometry(savedRect_);
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
    if (mode_ != 1) SwitchMode(1);
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
        SaveSettings();
        engine_->CloseSource();
        client_->DisconnectClient();
        engine_->Stop();
        break;
    }
    if (displayRecording_) StopDisplayRecording();
    QDialog::done(QDialog::Rejected);
}

}  // namespace tamlorex::app
