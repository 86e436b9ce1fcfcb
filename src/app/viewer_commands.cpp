// The command routing: the update rules of every command, the commands of Player mode, the mode
// switch and the display recording.
#include "app/viewer_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <sys/stat.h>
#include <thread>

#include "app/client_panel.h"
#include "app/command_ids.h"
#include "controls/status_line.h"
#include "controls/skin_art.h"
#include "controls/skin_button.h"
#include "controls/skin_slider.h"
#include "display/qt/still_capture.h"
#include "display/qt/video_widget.h"
#include "engine/media_engine.h"
#include "media/vvf_reader.h"

namespace tamlorex::app {
namespace {

bool IsPlaybackCommand(int id)
{
    return id == kCmdPlay || id == kCmdPlayReverse || id == kCmdPause || id == kCmdFastForward ||
           id == kCmdFastRewind || id == kCmdNextFrame || id == kCmdPreviousFrame;
}

// The system icon: our own small picture; a click opens the system menu with the About item, a
// double click ends the program.

std::string SourceName(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

// "Save AVI" shows its AVI picture, and its STOP picture while a recording runs.
void ShowAviPicture(QWidget* control, controls::art::Glyph picture)
{
    auto* button = qobject_cast<controls::SkinButton*>(control);
    if (button == nullptr) return;
    button->SetBitmap(controls::art::ButtonStrip(picture, button->size(), true, button->devicePixelRatioF()), false, 0,
                      true);
}


}  // namespace

// ---- Update rules -----------------------------------------------------------------------------

bool ViewerDialog::IsCommandEnabled(int id) const
{
    const int state = engine_->GetState();
    const bool open = engine_->IsSourceOpen();
    if (IsPlaybackCommand(id)) return state != kStateReady;
    switch (id) {
    case kCmdClose: return open;
    case kCmdGotoTime: return open && state != kStateReady && mode_ == ViewerMode::Player;
    case kCmdMarkIn:
    case kCmdMarkOut: return open && state == kStatePause;
    case kCmdExportSpan:
        return open && state == kStatePause && markOut_ > markIn_ && markOut_ - markIn_ < kMaxExportSpan;
    default: break;
    }
    if (const std::optional<bool> client = clientPanel_->IsEnabled(id)) return *client;
    return true;
}

int ViewerDialog::CommandCheckState(int id) const
{
    switch (id) {
    case kCmdPlayerMode: return engine_->GetMode() == kPlayerMode ? 1 : 0;
    case kCmdClientMode: return engine_->GetMode() != kPlayerMode ? 1 : 0;
    case kCmdShowTime: return engine_->Window().GetShowTime() ? 1 : 0;
    case kCmdShowTimeline: return settings_.showTimeline != 0 ? 1 : 0;
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
    for (auto& [id, widget] : controls_) {
        auto* button = qobject_cast<QAbstractButton*>(widget);
        if (button == nullptr) continue;
        button->setEnabled(IsCommandEnabled(id));
        const int checked = CommandCheckState(id);
        if (checked >= 0) button->setChecked(checked != 0);
    }
    clientPanel_->UpdateConnectControls();
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
    case kCmdPlayerMode: SwitchMode(ViewerMode::Player); break;
    case kCmdClientMode: SwitchMode(ViewerMode::Client); break;
    case kCmdOpenDisk: OpenDisk(); break;
    case kCmdOpenDiskImage: OpenDiskImage(); break;
    case kCmdExportAvi: ExportToAvi(); break;
    case kCmdGotoTime: GotoTime(); break;
    case kCmdShowTimeline: {
        const int frameHeight = FrameHeight();
        settings_.showTimeline = settings_.showTimeline != 0 ? 0 : 1;
        KeepVideoSize(frameHeight);
        Layout(false, 0, 0);
        break;
    }
    case kCmdOptions: RunOptions(); break;
    case kCmdNetworkOptions: RunNetworkOptions(); break;
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
    case kCmdResetZoom: video_->ResetZoomAtMenu(); break;
    case kCmdSaveAvi: ToggleDisplayRecording(); break;
    default:
        if (!clientPanel_->Execute(id)) return false;
        break;
    }
    UpdateCommandStates();
    return true;
}

void ViewerDialog::SwitchMode(ViewerMode mode)
{
    // The checked mode's button or item again: nothing changes, a display recording goes on.
    if (mode == mode_ || mode == ViewerMode::None) return;
    // A display recording belongs to the mode it was started in (its frame size, rate and source):
    // its file is finished before the mode changes.
    if (displayRecording_) StopDisplayRecording();
    engine_->SetMode(mode == ViewerMode::Player ? kPlayerMode : kClientMode, -1, -1);
    const int frameHeight = FrameHeight();
    mode_ = mode;
    KeepVideoSize(frameHeight);
    SetTitleText(QString::fromLatin1(kTitleText));
    engine_->Window().SetSplit(mode == ViewerMode::Player ? 9 : 1, 0);
    statusLine_->SetDisplayKind(static_cast<int>(mode_));
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

void ViewerDialog::OpenPath(const std::string& path, bool drive)
{
    const bool opened = engine_->OpenSource(path, drive);
    if (opened) sourceIsDrive_ = drive;
    SetPositionRange();
    SetTitleText(QString::fromStdString(SourceName(path)));
    update();
    if (!opened) prompts_->Message(this, OpenFailureText(path, engine_->GetOpenErrno(), drive), std::string());
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
    setGeometry(SavedRect());
    Layout(false, 0, 0);
}

void ViewerDialog::Maximize()
{
    if (fullScreen_) return;
    SaveRect();
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
    if (mode_ == ViewerMode::Player) engine_->Pause();
    const std::string path = prompts_->SaveFileName(this, "DVR.avi", kAviFilter, lastAviFolder_);
    bool lowSpeed = false;
    if (mode_ == ViewerMode::Client) lowSpeed = prompts_->AskYesNo(this, "Internet low speed?");
    // The compressor comes after the file: Cancel there records nothing.
    if (!path.empty() && ChooseCaptureCompressor()) {
        lastAviFolder_ = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
        int width = 0;
        int height = 0;
        if (capture_->FrameSize(width, height) && capture_->StartCapture(path, width, height, lowSpeed) == 0) {
            displayRecording_ = true;
            lowSpeed_ = lowSpeed;
            capturePath_ = path;
            if (mode_ == ViewerMode::Player) video_->StartDisplayRecording(capture_->FrameSink(), width, height);
            Control(kCmdSaveAvi)->setToolTip(QStringLiteral("Stop AVI"));
            ShowAviPicture(Control(kCmdSaveAvi), controls::art::Glyph::StopAvi);
        }
    }
    if (mode_ == ViewerMode::Player) engine_->Play(1.0);
}

void ViewerDialog::StopDisplayRecording()
{
    displayRecording_ = false;
    lowSpeed_ = false;
    video_->StopDisplayRecording();
    Control(kCmdSaveAvi)->setToolTip(QStringLiteral("Save AVI"));
    ShowAviPicture(Control(kCmdSaveAvi), controls::art::Glyph::SaveAvi);
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

}  // namespace tamlorex::app
