// The dialogs the main window runs: Disk Select and the disk image, Export To AVI, the two
// options dialogs and the compressor of "Save AVI".
#include "app/viewer_dialog.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <cstring>

#include "app/command_ids.h"
#include "app/compressor_dialog.h"
#include "app/disk_select_dialog.h"
#include "app/export_dialog.h"
#include "app/goto_time_dialog.h"
#include "app/network_options_dialog.h"
#include "app/options_dialog.h"
#include "controls/timeline_widget.h"
#include "display/qt/video_widget.h"
#include "engine/media_engine.h"

namespace tamlorex::app {

std::string OpenFailureText(const std::string& path, int error, bool drive)
{
    const std::string what = drive ? "The disk \"" + path + "\"" : "The recording \"" + path + "\"";
    switch (error) {
    case 0: return what + " cannot be played: it is neither a file nor a disk.";
    case EACCES:
    case EPERM:
        if (drive)
            return what + " cannot be opened: reading a disk needs permission, which membership of the \"disk\" "
                          "group gives (sudo usermod -aG disk $USER, then log in again).";
        return what + " cannot be opened: you are not allowed to read it.";
    case ENOENT: return what + " cannot be opened: it does not exist.";
    case ENOMEDIUM: return what + " cannot be opened: the drive holds no disk.";
    case EISDIR: return what + " cannot be opened: it is a folder.";
    default: return what + " cannot be opened: " + std::strerror(error) + ".";
    }
}

void ViewerDialog::GotoTime()
{
    if (!engine_->IsSourceOpen()) return;
    const TimelineView& view = timeline_->View();
    std::optional<std::uint32_t> first, last;
    if (view.HasExtent()) {
        first = static_cast<std::uint32_t>(view.ExtentStart());
        last = static_cast<std::uint32_t>(view.ExtentEnd());
    }
    // The field starts at the clock time on screen, else at the recording's start.
    CalendarTime initial{};
    if (!engine_->GetCurrentTime(initial)) {
        if (const auto start = first ? first : engine_->PageTimeAt(0)) initial = CalendarFromPageTime(*start);
        else initial = CalendarFromPageTime(0);
    }
    GotoTimeDialog dialog(this, initial, first, last);
    if (!prompts_->RunDialog(dialog)) return;
    std::uint32_t time = 0;
    if (!dialog.Chosen(time)) {
        prompts_->Message(this, "That is not a time a recording can hold.", std::string());
        return;
    }
    if (!engine_->SeekToTime(time))
        prompts_->Message(this, "The recording has no picture at or after " + ClockText(time) + ".", std::string());
}

void ViewerDialog::OpenDisk()
{
    DiskSelectDialog dialog(this);
    if (!prompts_->RunDialog(dialog)) return;
    const std::string path = dialog.DevicePath();
    // No disk was listed: nothing to open, and the dialog has said why.
    if (path.empty()) return;
    OpenDrivePath(path);
}

void ViewerDialog::OpenDiskImage()
{
    const std::string path = prompts_->OpenFileName(this, kDiskImageFilter);
    if (path.empty()) return;
    OpenDrivePath(path);
}

void ViewerDialog::OpenDrivePath(const std::string& path)
{
    if (engine_->IsSourceOpen()) CloseRecording();
    // A mark of the last source would export the wrong span of this one.
    markIn_ = 0;
    markOut_ = 0;
    OpenPath(path, true);
    UpdateCommandStates();
}

void ViewerDialog::ExportToAvi()
{
    // The export reads the recording with its own reader: the engine plays on undisturbed.
    ExportDialog dialog(this, *prompts_, engine_->GetSourcePath(), sourceIsDrive_);
    dialog.SetMarks(markIn_, markOut_);
    prompts_->RunDialog(dialog);
}

void ViewerDialog::RunOptions()
{
    VideoWindow& window = engine_->Window();
    OptionsValues values;
    values.alwaysOnTop = settings_.alwaysOnTop != 0;
    values.showTime = window.GetShowTime();
    values.repeat = engine_->GetRepeat();
    values.useDirectDraw = video_->GetUseDirectDraw();
    values.timeFormat = window.GetTimeFormat();
    values.capturePath = settings_.capturePath;
    OptionsDialog dialog(*prompts_, this);
    dialog.SetValues(values);
    if (!prompts_->RunDialog(dialog)) return;
    const OptionsValues& chosen = dialog.Values();
    window.SetShowTime(chosen.showTime);
    settings_.capturePath = chosen.capturePath;
    settings_.alwaysOnTop = chosen.alwaysOnTop ? 1 : 0;
    engine_->SetRepeat(chosen.repeat);
    window.SetTimeFormat(chosen.timeFormat);
    if (chosen.useDirectDraw != video_->GetUseDirectDraw()) video_->SetUseDirectDraw(chosen.useDirectDraw);
    ApplyTopMost();
    window.Redraw();
}

void ViewerDialog::RunNetworkOptions()
{
    NetworkOptionsValues values;
    values.alwaysOnTop = settings_.alwaysOnTop != 0;
    values.useDirectDraw = video_->GetUseDirectDraw();
    values.autoReconnection = client_->GetAutoReconnect();
    values.timeoutSeconds = client_->GetTimeoutMs() / 1000;
    values.ddnsAddress = settings_.ddnsIp;
    values.ddnsPort = settings_.ddnsPort;
    values.recordingPath = settings_.localRecordingPath;
    values.mouseMode = client_->GetMouseMode();
    NetworkOptionsDialog dialog(*prompts_, this);
    dialog.SetValues(values);
    if (!prompts_->RunDialog(dialog)) return;
    const NetworkOptionsValues& chosen = dialog.Values();
    settings_.alwaysOnTop = chosen.alwaysOnTop ? 1 : 0;
    client_->SetAutoReconnect(chosen.autoReconnection);
    if (chosen.useDirectDraw != video_->GetUseDirectDraw()) video_->SetUseDirectDraw(chosen.useDirectDraw);
    settings_.ddnsIp = chosen.ddnsAddress;
    settings_.ddnsPort = chosen.ddnsPort;
    settings_.localRecordingPath = chosen.recordingPath;
    // Seconds beyond what a millisecond count can hold are the longest time-out there is.
    client_->SetTimeoutMs(std::clamp(chosen.timeoutSeconds, 0, std::numeric_limits<int>::max() / 1000) * 1000);
    client_->SetMouseMode(chosen.mouseMode);
    ApplyTopMost();
}

bool ViewerDialog::ChooseCaptureCompressor()
{
    // The last choice is offered again; uncompressed until the first.
    CompressOptions options = captureCompressor_;
    if (!RunCompressorChoice(this, *prompts_, options, true)) return false;
    captureCompressor_ = options;
    capture_->SetCompressor(captureCompressor_);
    return true;
}

}  // namespace tamlorex::app
