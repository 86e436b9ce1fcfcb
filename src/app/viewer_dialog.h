#pragma once
// The main window: Player mode and Client mode in one frameless window with its buttons, sliders,
// status line, right-click menus and accelerators; it owns the MediaEngine and its video window.
// Its parts live in their own files: viewer_dialog.cpp (start-up, settings, timers, messages,
// mouse and keyboard, shutdown), viewer_layout.cpp (the control table and the layout),
// viewer_menus.cpp (menus and accelerators), viewer_commands.cpp (the update rules and the
// command routing), viewer_dialogs.cpp (the dialogs the window runs) and client_panel.cpp
// (Client mode's connection, remote control and local recording).
#include <QRect>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "export/compress_options.h"
#include "app/engine_links.h"
#include "app/settings.h"
#include "app/user_prompts.h"
#include "controls/skin_dialog.h"
#include "engine/engine_events.h"
#include "platform/alerts.h"
#include "platform/notifier.h"

class QAbstractButton;
class QAction;
class QLabel;
class QMenu;

namespace tamlorex {
class ActivityScan;
class AudioDevice;
class MediaEngine;
namespace app {
class ClientPanel;
class EngineCaptureLink;
class EngineClientLink;
}
}  // namespace tamlorex

namespace tamlorex::controls {
class StatusLine;
class SkinSlider;
class TimelineWidget;
}  // namespace tamlorex::controls

namespace tamlorex::display {
class VideoWidget;
}

namespace tamlorex::app {

inline constexpr int kModelType = 4;
inline constexpr int kChannelCount = 8;

struct ViewerOptions {
    std::string settingsPath;  // the INI file
    CommandLine commandLine;
    AudioDevice* audioDevice = nullptr;  // required
    ClientLink* client = nullptr;        // null: the engine's network client
    CaptureLink* capture = nullptr;      // null: the engine's capture writer
    UserPrompts* prompts = nullptr;      // null: QtPrompts
};

// How the main window was ended.
enum class ShutdownPath { CloseButton, SystemIcon, CloseMessage, Signal };

// The window's mode; None only before the first switch.
enum class ViewerMode { None = 0, Player = 1, Client = 2 };

// One sentence on why a recording or disk could not be opened: errno from the open (0 when it
// opened but held no recording), and whether it was a disk.
std::string OpenFailureText(const std::string& path, int error, bool drive);

class ViewerDialog : public controls::SkinDialog, public Alerts, public Notifier, public EngineObserver {
    Q_OBJECT
public:
    explicit ViewerDialog(const ViewerOptions& options, QWidget* parent = nullptr);
    ~ViewerDialog() override;

    // Every command of the window; disabled commands do nothing. True when it ran.
    bool ExecuteCommand(int id);
    // The update rules: whether a command is enabled, and its check state (-1: not a check item).
    bool IsCommandEnabled(int id) const;
    int CommandCheckState(int id) const;
    // Runs the update rules over the buttons and the menu items.
    void UpdateCommandStates();

    // Places the window (relayout: (a + 5) x (b + 100), centred) and every control.
    void Layout(bool relayout, int width, int height);
    // One tick of timer 3, 4 or 5.
    void TimerTick(int timerId);
    // The engine's news, from its worker: a change of state or speed shows at once.
    void OnStateChanged(int state, double speed) override;
    void OnPictureShown(int, const CalendarTime&, const std::uint8_t*, int, int) override {}
    // Re-selecting the current mode does nothing.
    void SwitchMode(ViewerMode mode);
    // The slider messages 0x28D1 and 0x28D2 with the slider's control id.
    void OnSliderMessage(std::uint32_t message, int controlId);
    // A file dropped onto the window.
    void OpenDropped(const std::string& path);
    void Shutdown(ShutdownPath path);

    // Alerts and Notifier: queued for the GUI thread, never blocking the caller.
    void Alert(const std::string& text) override;
    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
    // The reaction to a posted message (on the GUI thread).
    void HandleMessage(std::uint32_t message);
    // The state word, speed, position and time in the status line and on the position slider.
    void ShowPlaybackStatus();

    // State, for the tests and the shell.
    ViewerMode Mode() const { return mode_; }
    bool FullScreen() const { return fullScreen_; }
    int VideoWidth() const { return videoWidth_; }
    int VideoHeight() const { return videoHeight_; }
    std::uint64_t MarkIn() const { return markIn_; }
    std::uint64_t MarkOut() const { return markOut_; }
    void SetMarks(std::uint64_t in, std::uint64_t out);
    bool AutoConnectPending() const { return autoConnect_; }
    const ViewerSettings& Settings() const { return settings_; }
    const std::string& CommandLineAddress() const { return commandLineAddress_; }
    const std::string& CommandLinePort() const { return commandLinePort_; }
    bool DisplayRecording() const { return displayRecording_; }
    QString TitleText() const;
    MediaEngine& Engine() { return *engine_; }
    display::VideoWidget& Video() { return *video_; }
    controls::StatusLine& Status() { return *statusLine_; }
    controls::SkinSlider& PositionSlider() { return *positionSlider_; }
    controls::SkinSlider& VolumeSlider() { return *volumeSlider_; }
    controls::TimelineWidget& Timeline() { return *timeline_; }
    ActivityScan& Activity() { return *activityScan_; }
    QWidget* Control(int id) const;
    QAction* Action(int id) const;
    QMenu* Popup(ViewerMode mode) const;
    ClientPanel& Client() { return *clientPanel_; }
    // The compressor of "Save AVI" (uncompressed until one is chosen).
    const CompressOptions& CaptureCompressor() const { return captureCompressor_; }
    // Writes the settings to the profile (every shutdown path does it once); a failure is said in
    // a message, or with `quiet` on standard error. False when they could not be written.
    bool SaveSettings(bool quiet = false);

protected:
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void customEvent(QEvent* event) override;

public slots:
    void reject() override;

private:
    void CreateControls();
    void CreateMenus();
    void CreateAccelerators();
    void LoadSettings();
    void StartUp();
    void PlaceControls(int width, int height);
    void SetTitleText(const QString& text);
    void ApplyTopMost();
    void SetPositionRange();
    bool InCorner(const QPoint& at) const;
    // The frame around the video area: the timeline's strip is part of it in Player mode.
    int FrameHeight() const;
    bool TimelineShown() const;
    // The frame height outside full screen, which the saved rectangle is kept for.
    int WindowedFrameHeight() const;
    // The window's rectangle to come back to after full screen or maximised.
    void SaveRect();
    QRect SavedRect() const;
    // After the timeline's strip came or went: the window changes its height by it.
    void KeepVideoSize(int frameHeightBefore);
    // The timeline follows the open source: its scan, the play position and the marks.
    void UpdateTimeline();

    // Command handlers.
    void OpenFile();
    // Opens a recording (drive: a disk or a disk image) and plays it; says why when it cannot.
    void OpenPath(const std::string& path, bool drive = false);
    void OpenDisk();
    void OpenDiskImage();
    // A disk or disk image: the marks are cleared, then it opens with the drive flag.
    void OpenDrivePath(const std::string& path);
    void ExportToAvi();
    void GotoTime();
    void RunOptions();
    void RunNetworkOptions();
    // Asks for the compressor of a "Save AVI" recording; false when the user cancels.
    bool ChooseCaptureCompressor();
    void CloseRecording();
    void ExportMarkedSpan();
    void ToggleFullScreen();
    void Maximize();
    void ToggleDisplayRecording();
    void StopDisplayRecording();

    ViewerSettings settings_;
    std::string settingsPath_;
    std::unique_ptr<EngineClientLink> engineClient_;
    std::unique_ptr<EngineCaptureLink> engineCapture_;
    QtPrompts defaultPrompts_;
    ClientLink* client_;
    CaptureLink* capture_;
    UserPrompts* prompts_;
    std::unique_ptr<MediaEngine> engine_;
    std::unique_ptr<ClientPanel> clientPanel_;
    CompressOptions captureCompressor_ = DefaultCompressOptions();

    display::VideoWidget* video_ = nullptr;
    controls::StatusLine* statusLine_ = nullptr;
    controls::SkinSlider* positionSlider_ = nullptr;
    controls::SkinSlider* volumeSlider_ = nullptr;
    controls::TimelineWidget* timeline_ = nullptr;
    std::unique_ptr<ActivityScan> activityScan_;
    std::string scanPath_;               // the source the scan reads; empty for none
    std::uint64_t scanGeneration_ = ~0ull;
    std::uint64_t timedMarks_[2] = {~0ull, ~0ull};  // the marks whose times the timeline shows
    QLabel* titleText_ = nullptr;
    QLabel* systemIcon_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> actions_;
    QMenu* playerPopup_ = nullptr;
    QMenu* clientPopup_ = nullptr;

    ViewerMode mode_ = ViewerMode::None;
    bool fullScreen_ = false;
    bool maximized_ = false;
    int sizeOffsetWidth_ = 0;
    int sizeOffsetHeight_ = 0;
    int videoWidth_ = 640;
    int videoHeight_ = 448;
    QRect savedRect_;
    int savedFrameHeight_ = kFrameHeight;
    bool resizing_ = false;
    QPoint resizeOffset_;
    bool moving_ = false;
    QPoint moveOffset_;
    bool layoutDone_ = false;
    bool sizeChanged_ = false;
    std::uint64_t markIn_ = 0;
    std::uint64_t markOut_ = 0;
    std::string startupPath_;
    std::string commandLineAddress_;
    std::string commandLinePort_;
    bool autoConnect_ = false;
    bool sourceIsDrive_ = false;
    bool displayRecording_ = false;
    bool lowSpeed_ = false;
    std::string capturePath_;  // the file of the display recording
    std::string lastAviFolder_;
    bool shutDown_ = false;
    std::map<int, int> timerIds_;  // Qt timer id to timer 3, 4 or 5
};

}  // namespace tamlorex::app
