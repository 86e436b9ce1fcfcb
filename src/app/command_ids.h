#pragma once
// Command and control ids of the main window, its message numbers and its fixed texts.
namespace tamlorex::app {

// Buttons, menu items and accelerators deliver these ids.
enum CommandId : int {
    kCmdOk = 1,  // the Enter key: does nothing
    kCmdCancel = 2,  // the Escape key: closes like Exit
    kCmdAbout = 16,
    kCmdStillCapture = 1253,
    kCmdSaveAvi = 1254,
    kCmdSplit1 = 1694,
    kCmdSplit4Hidden = 1659,
    kCmdSplit9Hidden = 1660,
    kCmdSplit16Hidden = 1661,
    kCmdMinimize = 1672,
    kCmdCloseButton = 1674,
    kCmdSystemIcon = 1676,

    kCmdShowTime = 32774,
    kCmdFullScreen = 32775,
    kCmdOpenFile = 32776,
    kCmdExit = 32777,
    kCmdVolumeUp = 32785,
    kCmdVolumeDown = 32786,
    kCmdMute = 32787,
    kCmdPlay = 32788,
    kCmdPause = 32789,
    kCmdFastForward = 32790,
    kCmdFastRewind = 32791,
    kCmdNextFrame = 32792,
    kCmdPreviousFrame = 32793,
    kCmdSplit4 = 32796,
    kCmdSplit9 = 32797,
    kCmdSplit16 = 32798,
    kCmdOptions = 32800,
    kCmdPlayReverse = 32804,
    kCmdAlwaysOnTop = 32805,
    kCmdAspect448 = 32807,
    kCmdAspect544 = 32808,
    kCmdMaximize = 32809,
    kCmdClose = 32815,
    kCmdSpeedUp = 32817,
    kCmdSpeedDown = 32818,
    kCmdSpeedNormal = 32819,
    kCmdOpenDisk = 32820,
    // Our own: a raw image file of a recorder's disk, read as the disk would be.
    kCmdOpenDiskImage = 32900,
    // Our own: "Go to Time...", the first picture at or after a clock time.
    kCmdGotoTime = 32901,
    // Our own: shows or hides the timeline (the window grows or shrinks by its strip).
    kCmdShowTimeline = 32902,
    // Our own: the popup menu's "Reset Zoom", the digital zoom of a pane back to 1x.
    kCmdResetZoom = 32910,
    kCmdDisconnectString = 32845,
    kCmdConnect = 32846,
    // Dvr Control: the recorder's front-panel keys.
    kCmdDvrPause = 32848,
    kCmdDvrRewind = 32849,
    kCmdDvrPlay = 32850,
    kCmdDvrFastForward = 32851,
    kCmdDvrStop = 32852,
    kCmdDvrRecord = 32853,
    kCmdDvrSplit9 = 32854,
    kCmdDvrChannel1 = 32855,
    kCmdDvrChannel2 = 32856,
    kCmdDvrChannel3 = 32857,
    kCmdDvrChannel4 = 32858,
    kCmdDvrMenu = 32859,
    kCmdDvrUp = 32860,
    kCmdDvrDown = 32861,
    kCmdDvrSelect = 32862,
    kCmdPlayerMode = 32863,
    kCmdClientMode = 32864,
    kCmdNetworkOptions = 32865,
    kCmdMarkIn = 32867,
    kCmdMarkOut = 32868,
    kCmdExportSpan = 32869,
    kCmdExportAvi = 32871,
    kCmdStartLocalRecording = 32873,
    kCmdStopLocalRecording = 32874,
    kCmdDvrChannel5 = 32876,
    kCmdDvrChannel6 = 32877,
    kCmdDvrChannel7 = 32878,
    kCmdDvrChannel8 = 32879,
    kCmdDvrChannel9 = 32880,
    kCmdDvrSequence = 32881,
    kCmdDvrSplit4 = 32882,
};

// Controls that are not commands.
inline constexpr int kIdTitleText = 1695;
inline constexpr int kIdStatusLine = 1652;
inline constexpr int kIdPositionSlider = 1658;
inline constexpr int kIdVolumeSlider = 1638;
// Our own: the timeline above the status line in Player mode, and its height.
inline constexpr int kIdTimeline = 1900;
inline constexpr int kTimelineHeight = 46;

// Timers of the main window and their periods in milliseconds.
inline constexpr int kTimerLayout = 3;
inline constexpr int kTimerStatus = 4;
inline constexpr int kTimerFast = 5;
inline constexpr int kTimerLayoutMs = 1000;
inline constexpr int kTimerStatusMs = 300;
inline constexpr int kTimerFastMs = 40;

// The window's design size, the frame around the video area and the smallest size.
inline constexpr int kDesignWidth = 608;
inline constexpr int kDesignHeight = 300;
inline constexpr int kFrameWidth = 5;
inline constexpr int kFrameHeight = 100;
inline constexpr int kVideoLeft = 2;
inline constexpr int kVideoTop = 25;
inline constexpr int kMinWindowWidth = 578;
inline constexpr int kMinWindowHeight = 486;
inline constexpr int kResizeCorner = 16;

// A marked span must stay below 650 MiB to be exported.
inline constexpr unsigned long long kMaxExportSpan = 0x28A00000ULL;

inline constexpr char kTitle[] = "Tamlorex Viewer";
inline constexpr char kTitleText[] = "Tamlorex Viewer 2.68";
inline constexpr char kAboutVersion[] = "2.6.8.0";
inline constexpr char kAboutLibVersion[] = "2.68";
inline constexpr char kOpenFilter[] = "All Files (*.*)|*.*|VVF File Format (*.VVF)|*.VVF|";
inline constexpr char kVvfFilter[] = "VVF File Format (*.VVF)|*.VVF|";
inline constexpr char kAviFilter[] = "AVI Files (*.avi)|*.avi||";
inline constexpr char kDiskImageFilter[] = "Disk Images (*.img;*.dd;*.raw;*.bin)|*.img;*.dd;*.raw;*.bin|All Files (*.*)|*.*|";

}  // namespace tamlorex::app
