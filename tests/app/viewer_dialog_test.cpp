// The main window: layout, update rules, commands, timers, the command line, settings at start and
// exit, and the reactions to the network client's messages (through fakes of the client seam).
#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "app/command_ids.h"
#include "app/compressor_dialog.h"
#include "app/goto_time_dialog.h"
#include "app/fake_prompts.h"
#include "app/login_dialog.h"
#include "app/viewer_dialog.h"
#include "app/virtual_keys.h"
#include "audio/null_audio_device.h"
#include "controls/status_line.h"
#include "controls/skin_slider.h"
#include "controls/timeline_widget.h"
#include "engine/activity_scan.h"
#include "media/time_index.h"
#include "display/qt/video_widget.h"
#include "display/video_window.h"
#include "engine/media_engine.h"
#include "platform/notifier.h"

using namespace tamlorex;
using namespace tamlorex::app;

namespace {

// The login dialog is opened and answered by onLogin, then logs in when loginAnswer says so.
class FakePrompts : public test::FakePrompts {
public:
    bool RunLogin(LoginDialog& dialog) override
    {
        ++logins;
        dialog.Open();
        shownDynamicIp = dialog.UseDynamicIp();
        if (onLogin) onLogin(dialog);
        return loginAnswer && dialog.Login();
    }

    int logins = 0;
    bool loginAnswer = true;
    bool shownDynamicIp = false;
    std::function<void(LoginDialog&)> onLogin;
};

class FakeClient : public UnconnectedClient {
public:
    bool ConnectClient(const ConnectRequest& request) override
    {
        requests.push_back(request);
        running = true;
        return true;
    }
    void DisconnectClient() override
    {
        ++disconnects;
        running = false;
        online = false;
    }
    bool IsRunning() const override { return running; }
    bool IsOnline() const override { return online; }
    int GetConnState() const override { return online ? kConnOnline : kConnIdle; }
    std::string GetErrorText() const override { return error; }
    bool SendKey(int code) override
    {
        keys.push_back(code);
        return online;
    }
    int KeyForVirtualKey(int virtualKey) const override { return virtualKey == 46 ? 0x05 : -1; }

    std::vector<ConnectRequest> requests;
    std::vector<int> keys;
    int disconnects = 0;
    bool running = false;
    bool online = false;
    std::string error;
};

struct Fixture {
    // `engineClient`: Client mode on the engine's own network client instead of the fake one.
    explicit Fixture(const std::vector<std::string>& args = {}, const std::string& ini = "", bool engineClient = false)
    {
        settingsPath = dir.filePath("viewer.INI").toStdString();
        // The window's own geometry: the timeline hidden unless the profile given says otherwise.
        const std::string section = "[Tamlorex Viewer]\n";
        std::string profile = ini.rfind(section, 0) == 0 ? ini.substr(section.size()) : ini;
        if (profile.find("Show Timeline=") == std::string::npos) profile = "Show Timeline=0\n" + profile;
        QFile file(QString::fromStdString(settingsPath));
        file.open(QIODevice::WriteOnly);
        file.write((section + profile).c_str());
        file.close();
        ViewerOptions options;
        options.settingsPath = settingsPath;
        options.commandLine = ParseCommandLine(args);
        options.audioDevice = &audio;
        options.client = engineClient ? nullptr : &client;
        options.prompts = &prompts;
        dialog = std::make_unique<ViewerDialog>(options);
    }
    QTemporaryDir dir;
    std::string settingsPath;
    NullAudioDevice audio;
    FakeClient client;
    FakePrompts prompts;
    std::unique_ptr<ViewerDialog> dialog;
};

bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        QTest::qWait(20);
    }
    return done();
}

class HideCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide) ++count;
        return false;
    }
    int count = 0;
};

QRect Place(ViewerDialog& d, int id) { return d.Control(id)->geometry(); }
bool Shown(ViewerDialog& d, int id) { return !d.Control(id)->isHidden(); }

}  // namespace

class ViewerDialogTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartOpensWithDefaults();
    void controlsFollowTheWindowSize();
    void volumeControlsNeedAWideClientWindow();
    void resizeCornerStopsAtTheMinimumSize();
    void aspectCommandsResizeAndCentre();
    void playbackCommandsNeedARecording();
    void marksAndExportOnlyWhilePaused();
    void exportSpanLimit();
    void timelineAndGoToTime();
    void statusLineShowsStateAndSpeed();
    void splitCommandsPageThroughChannels();
    void volumeCommandsDoNothingAndMuteToggles();
    void settingsAreSavedAtExit();
    void settingsAreAppliedAtStart();
    void addressAloneStaysInPlayerMode();
    void addressAndPortConnectOnFirstTick();
    void connectStoresTheLoginChoices();
    void connectWhileRunningDisconnects();
    void loginFailureShowsTheClientsReason();
    void noResponseAndServerClosed();
    void dvrControlNeedsLogin();
    void keyboardForwarding();
    void droppedFileSwitchesToPlayerMode();
    void openFileKeepsTheMode();
    void enterDoesNothingEscapeCloses();
    void acceleratorsRunCommands();
    void popupMenusHoldEveryItem();
    void stillCaptureGoesToTheCaptureFolder();
    void saveAviRecordsTheShownPanesWithSound();
    void clientModeAgainstTheRecorderSimulator();
};

void ViewerDialogTest::firstStartOpensWithDefaults()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    QCOMPARE(d.size(), QSize(645, 548));
    const QRect screen = d.screen()->geometry();
    QCOMPARE(d.pos(), QPoint((screen.width() - 645) / 2, (screen.height() - 548) / 2));
    QCOMPARE(d.Video().geometry(), QRect(2, 25, 640, 448));
    QVERIFY(d.Mode() == ViewerMode::Player);
    QCOMPARE(d.Engine().GetMode(), kPlayerMode);
    QCOMPARE(d.Engine().Window().GetSplit(), 9);
    QCOMPARE(d.Engine().Window().GetChannelCount(), 9);
    QVERIFY(d.Engine().Window().GetShowTime());
    QVERIFY(d.Video().GetUseDirectDraw());
    QCOMPARE(d.Engine().Audio().GetVolume(), 32768u);
    QCOMPARE(d.VolumeSlider().value(), 32768);
    QCOMPARE(d.Engine().Audio().GetMute(), 0);
    QCOMPARE(d.TitleText(), QStringLiteral("Tamlorex Viewer 2.68"));
    QCOMPARE(d.Engine().Window().GetFont().face, std::string("Arial"));
    QCOMPARE(d.Engine().Window().GetOutlineColor(), 0x050505u);
    QCOMPARE(d.CommandCheckState(kCmdAspect448), 1);
    QCOMPARE(d.CommandCheckState(kCmdPlayerMode), 1);
    QCOMPARE(d.CommandCheckState(kCmdClientMode), 0);
}

void ViewerDialogTest::controlsFollowTheWindowSize()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    for (const QSize size : {QSize(645, 548), QSize(800, 700), QSize(578, 486)}) {
        d.resize(size);
        d.Layout(false, 0, 0);
        const int W = size.width();
        const int H = size.height();
        QCOMPARE(Place(d, kIdStatusLine), QRect(13, H - 74, W - 116, 17));
        QCOMPARE(Place(d, kIdPositionSlider).topLeft(), QPoint(13, H - 52));
        QCOMPARE(Place(d, kIdPositionSlider).width(), W - 26);
        QCOMPARE(Place(d, kCmdOpenFile).topLeft(), QPoint(10, 262 + H - 300));
        QCOMPARE(Place(d, kCmdSplit1).topLeft(), QPoint(336, 262 + H - 300));
        QCOMPARE(Place(d, kCmdCloseButton).topLeft(), QPoint(582 + W - 608, 2));
        QCOMPARE(Place(d, kCmdMinimize).topLeft(), QPoint(560 + W - 608, 2));
        QCOMPARE(Place(d, kCmdMute).topLeft(), QPoint(500 + W - 608, 262 + H - 300));
        QCOMPARE(Place(d, kIdVolumeSlider).topLeft(), QPoint(532 + W - 608, 269 + H - 300));
        QCOMPARE(Place(d, kCmdPlayerMode).topLeft(), QPoint(160, 2));
        QCOMPARE(Place(d, kCmdSaveAvi).topLeft(), QPoint(360, 2));
        QCOMPARE(d.Video().geometry(), QRect(2, 25, W - 5, H - 100));
        QCOMPARE(d.Engine().Window().ClientWidth(), W - 5);
        // Player mode: its controls shown, Client mode's hidden, Split 16 never.
        QVERIFY(Shown(d, kCmdOpenFile));
        QVERIFY(Shown(d, kIdPositionSlider));
        QVERIFY(Shown(d, kCmdMute));
        QVERIFY(!Shown(d, kCmdConnect));
        QVERIFY(!Shown(d, kCmdDvrMenu));
        QVERIFY(!Shown(d, kCmdSplit16));
    }
    d.ExecuteCommand(kCmdClientMode);
    QVERIFY(!Shown(d, kCmdOpenFile));
    QVERIFY(!Shown(d, kIdPositionSlider));
    QVERIFY(Shown(d, kIdStatusLine));
    QVERIFY(Shown(d, kCmdConnect));
    QCOMPARE(Place(d, kCmdDvrSelect).topLeft(), QPoint(499, 262 + d.height() - 300));
}

void ViewerDialogTest::volumeControlsNeedAWideClientWindow()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdClientMode);
    d.resize(600, 548);
    d.Layout(false, 0, 0);
    QVERIFY(!Shown(d, kCmdMute));
    QVERIFY(!Shown(d, kIdVolumeSlider));
    d.resize(640, 548);
    d.Layout(false, 0, 0);
    QVERIFY(Shown(d, kCmdMute));
    QVERIFY(Shown(d, kIdVolumeSlider));
    // Player mode shows them from 518 pixels.
    d.ExecuteCommand(kCmdPlayerMode);
    d.resize(600, 548);
    d.Layout(false, 0, 0);
    QVERIFY(Shown(d, kCmdMute));
}

void ViewerDialogTest::resizeCornerStopsAtTheMinimumSize()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    const QPoint corner(d.width() - 4, d.height() - 4);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, d.mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&d, &event);
    };
    send(QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, corner + QPoint(100, 60), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(d.size(), QSize(745, 608));
    QCOMPARE(d.Video().size(), QSize(740, 508));
    send(QEvent::MouseMove, QPoint(200, 100), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(d.size(), QSize(578, 486));
    send(QEvent::MouseButtonRelease, QPoint(200, 100), Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseMove, QPoint(300, 300), Qt::NoButton, Qt::NoButton);
    QCOMPARE(d.size(), QSize(578, 486));
}

void ViewerDialogTest::aspectCommandsResizeAndCentre()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    const QRect screen = d.screen()->geometry();
    QVERIFY(d.ExecuteCommand(kCmdAspect544));
    QCOMPARE(d.size(), QSize(645, 644));
    QCOMPARE(d.pos(), QPoint((screen.width() - 645) / 2, (screen.height() - 644) / 2));
    QCOMPARE(d.CommandCheckState(kCmdAspect544), 1);
    QCOMPARE(d.CommandCheckState(kCmdAspect448), 0);
    QVERIFY(d.ExecuteCommand(kCmdAspect448));
    QCOMPARE(d.size(), QSize(645, 548));
    QCOMPARE(d.CommandCheckState(kCmdAspect448), 1);
    // Full screen and back returns to that rectangle.
    const QRect before = d.geometry();
    d.ExecuteCommand(kCmdFullScreen);
    QCOMPARE(d.geometry(), screen);
    QVERIFY(!Shown(d, kCmdOpenFile));
    QCOMPARE(d.CommandCheckState(kCmdFullScreen), 1);
    d.ExecuteCommand(kCmdFullScreen);
    QCOMPARE(d.geometry(), before);
    QVERIFY(Shown(d, kCmdOpenFile));
}

void ViewerDialogTest::playbackCommandsNeedARecording()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    for (int id : {kCmdPlay, kCmdPlayReverse, kCmdPause, kCmdFastForward, kCmdFastRewind, kCmdNextFrame,
                   kCmdPreviousFrame, kCmdClose, kCmdMarkIn, kCmdMarkOut, kCmdExportSpan}) {
        QVERIFY2(!d.IsCommandEnabled(id), qPrintable(QString::number(id)));
        QVERIFY(!d.ExecuteCommand(id));
    }
    d.UpdateCommandStates();
    QVERIFY(!d.Control(kCmdPlay)->isEnabled());
    QVERIFY(!d.Action(kCmdClose)->isEnabled());
    QVERIFY(d.Control(kCmdOpenFile)->isEnabled());
    QCOMPARE(d.Engine().GetState(), static_cast<int>(kStateReady));
}

void ViewerDialogTest::marksAndExportOnlyWhilePaused()
{
    Fixture f({TAMLOREX_SAMPLE_PATH});
    ViewerDialog& d = *f.dialog;
    QVERIFY(d.Engine().IsSourceOpen());
    QCOMPARE(d.TitleText(), QStringLiteral("sample.vvf"));
    QVERIFY(d.PositionSlider().maximum() > 0);
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePlay; }));
    QVERIFY(d.IsCommandEnabled(kCmdPlay));
    QVERIFY(d.IsCommandEnabled(kCmdClose));
    QVERIFY(!d.IsCommandEnabled(kCmdMarkIn));
    QVERIFY(d.ExecuteCommand(kCmdPause));
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePause; }));
    QVERIFY(d.IsCommandEnabled(kCmdMarkIn));
    QVERIFY(d.IsCommandEnabled(kCmdMarkOut));
    QVERIFY(!d.IsCommandEnabled(kCmdExportSpan));  // no span yet
    QVERIFY(d.ExecuteCommand(kCmdMarkIn));
    QCOMPARE(d.MarkIn(), d.Engine().GetPosition());
    d.ExecuteCommand(kCmdNextFrame);
    QVERIFY(WaitFor([&] { return d.Engine().GetPosition() > d.MarkIn() && d.Engine().GetState() == kStatePause; }));
    QVERIFY(d.ExecuteCommand(kCmdMarkOut));
    QVERIFY(d.MarkOut() > d.MarkIn());
    QVERIFY(d.IsCommandEnabled(kCmdExportSpan));
    // The export writes the marked pages to the chosen file.
    f.prompts.saveAnswer = f.dir.filePath("span.vvf").toStdString();
    QVERIFY(d.ExecuteCommand(kCmdExportSpan));
    QCOMPARE(f.prompts.saveDefaults.back(), std::string("CAPTURE.VVF"));
    QCOMPARE(f.prompts.lastFilter, std::string("VVF File Format (*.VVF)|*.VVF|"));
    QVERIFY(QFile(f.dir.filePath("span.vvf")).size() >= 4096);
    QCOMPARE(QFile(f.dir.filePath("span.vvf")).size() % 4096, 0);
    // Mark In after Mark Out keeps Export disabled.
    d.SetMarks(d.MarkOut() + 4096, d.MarkOut());
    QVERIFY(!d.IsCommandEnabled(kCmdExportSpan));
    d.ExecuteCommand(kCmdPlay);
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePlay; }));
    d.SetMarks(0, 4096);
    QVERIFY(!d.IsCommandEnabled(kCmdExportSpan));
    QVERIFY(d.ExecuteCommand(kCmdClose));
    QVERIFY(!d.Engine().IsSourceOpen());
    QCOMPARE(d.PositionSlider().maximum(), 0);
    QCOMPARE(d.TitleText(), QStringLiteral("Tamlorex Viewer 2.68"));
}

// The timeline strip adds to the window, not to the video; its rows come from the scan; a click
// and "Go to Time..." land on the first page at or after the time asked for, paused.
void ViewerDialogTest::timelineAndGoToTime()
{
    Fixture f({TAMLOREX_SAMPLE_PATH}, "[Tamlorex Viewer]\nShow Timeline=1\n");
    ViewerDialog& d = *f.dialog;
    const int W = d.width(), H = d.height();
    QCOMPARE(d.size(), QSize(645, 548 + kTimelineHeight));
    QCOMPARE(d.Video().geometry(), QRect(2, 25, 640, 448));
    QCOMPARE(d.Timeline().geometry(), QRect(13, H - 75 - kTimelineHeight, W - 26, kTimelineHeight - 1));
    QCOMPARE(Place(d, kIdStatusLine), QRect(13, H - 74, W - 116, 17));
    QVERIFY(WaitFor([&] { return d.Activity().Done() && d.Timeline().Rows().size() == 8; }));
    d.ShowPlaybackStatus();
    QVERIFY(d.Timeline().View().HasExtent());

    TimeIndex index([&](std::uint64_t page, std::uint8_t* bytes) {
        QFile file(QString::fromLatin1(TAMLOREX_SAMPLE_PATH));
        return file.open(QIODevice::ReadOnly) && file.seek(static_cast<qint64>(page * kPageSize)) &&
               file.read(reinterpret_cast<char*>(bytes), kPageSize) == static_cast<qint64>(kPageSize);
    }, QFile(QString::fromLatin1(TAMLOREX_SAMPLE_PATH)).size() / kPageSize, false, false);
    QVERIFY(index.Build());
    const std::uint32_t first = index.Segments().front().firstTime, last = index.Segments().back().lastTime;
    QCOMPARE(d.Timeline().View().ExtentStart(), double(first));
    QCOMPARE(d.Timeline().View().ExtentEnd(), double(last));

    // A click in the timeline's middle.
    controls::TimelineWidget& timeline = d.Timeline();
    const int x = timeline.width() / 2;
    const std::uint32_t clicked = static_cast<std::uint32_t>(std::llround(timeline.View().TimeAt(x, timeline.width())));
    QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPoint(x, 20));
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePause; }));
    // The scan stands just after the first picture read from the target's page.
    const auto near = [&](std::uint64_t page) {
        const std::uint64_t at = d.Engine().GetPosition();
        return at >= page && at < page + 16 * kPageSize;
    };
    QVERIFY(near(*index.Seek(clicked)));

    // "Go to Time...": the field starts at the time on screen; OK goes to the time typed.
    const std::uint32_t target = first + (last - first) / 4;
    CalendarTime shown{};
    QVERIFY(d.Engine().GetCurrentTime(shown));
    f.prompts.onDialog = [&](QDialog& dialog) {
        auto* gotoDialog = qobject_cast<GotoTimeDialog*>(&dialog);
        if (gotoDialog == nullptr) return false;
        std::uint32_t initial = 0;
        if (!gotoDialog->Chosen(initial)) return false;
        CalendarTime c = CalendarFromPageTime(initial);
        if (c.hour != shown.hour || c.minute != shown.minute || c.second != shown.second) return false;
        c = CalendarFromPageTime(target);
        gotoDialog->Edit()->setDateTime(
            QDateTime(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second), Qt::UTC));
        return true;
    };
    QVERIFY(d.IsCommandEnabled(kCmdGotoTime));
    QVERIFY(d.ExecuteCommand(kCmdGotoTime));
    QCOMPARE(f.prompts.dialogs.back(), QStringLiteral("Go to Time"));
    QVERIFY(WaitFor([&] { return near(*index.Seek(target)) && d.Engine().GetState() == kStatePause; }));
    std::uint32_t now = 0;
    QVERIFY(d.Engine().GetCurrentPageTime(now));
    QVERIFY(now >= target);
    // A time after the recording's end is said, and nothing moves.
    const std::uint64_t at = d.Engine().GetPosition();
    f.prompts.onDialog = [&](QDialog& dialog) {
        auto* gotoDialog = qobject_cast<GotoTimeDialog*>(&dialog);
        const CalendarTime c = CalendarFromPageTime(last + 3600);
        gotoDialog->Edit()->setDateTime(
            QDateTime(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second), Qt::UTC));
        return true;
    };
    d.ExecuteCommand(kCmdGotoTime);
    QVERIFY(f.prompts.messages.back().rfind("The recording has no picture at or after ", 0) == 0);
    QCOMPARE(d.Engine().GetPosition(), at);

    // Full screen and back, and the mode changes, keep the video's size whatever the strip does.
    d.ExecuteCommand(kCmdFullScreen);
    QVERIFY(d.Timeline().isHidden());
    d.ExecuteCommand(kCmdFullScreen);
    QCOMPARE(d.size(), QSize(645, 548 + kTimelineHeight));
    d.ExecuteCommand(kCmdClientMode);
    QCOMPARE(d.size(), QSize(645, 548));
    d.ExecuteCommand(kCmdFullScreen);
    d.ExecuteCommand(kCmdPlayerMode);
    d.ExecuteCommand(kCmdFullScreen);
    QCOMPARE(d.size(), QSize(645, 548 + kTimelineHeight));
    QCOMPARE(d.Video().geometry(), QRect(2, 25, 640, 448));

    // Hiding the timeline gives its strip back: the window shrinks, the video keeps its size.
    QVERIFY(d.ExecuteCommand(kCmdShowTimeline));
    QCOMPARE(d.size(), QSize(645, 548));
    QCOMPARE(d.Video().geometry(), QRect(2, 25, 640, 448));
    QVERIFY(d.Timeline().isHidden());
    QCOMPARE(d.CommandCheckState(kCmdShowTimeline), 0);
    QVERIFY(d.ExecuteCommand(kCmdShowTimeline));
    QCOMPARE(d.size(), QSize(645, 548 + kTimelineHeight));
}

void ViewerDialogTest::exportSpanLimit()
{
    Fixture f({TAMLOREX_SAMPLE_PATH});
    ViewerDialog& d = *f.dialog;
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePlay; }));
    QVERIFY(d.ExecuteCommand(kCmdPause));
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePause; }));
    d.SetMarks(100, 100 + kMaxExportSpan - 1);
    QVERIFY(d.IsCommandEnabled(kCmdExportSpan));
    d.SetMarks(100, 100 + kMaxExportSpan);
    QVERIFY(!d.IsCommandEnabled(kCmdExportSpan));
}

void ViewerDialogTest::statusLineShowsStateAndSpeed()
{
    Fixture f({TAMLOREX_SAMPLE_PATH});
    ViewerDialog& d = *f.dialog;
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePlay; }));
    QVERIFY(WaitFor([&] {
        d.TimerTick(kTimerStatus);
        return d.Status().TimeText() != QStringLiteral(" ");
    }));
    QCOMPARE(d.Status().StatusWord(), QStringLiteral("PLAY  x 1.0"));
    QVERIFY(d.Status().TimeText().contains('/'));
    d.ExecuteCommand(kCmdFastForward);
    QVERIFY(WaitFor([&] {
        d.TimerTick(kTimerStatus);
        return d.Status().StatusWord() == QStringLiteral("PLAY  x 16.0");
    }));
    d.ExecuteCommand(kCmdPause);
    QVERIFY(WaitFor([&] {
        d.TimerTick(kTimerFast);
        return d.Status().StatusWord() == QStringLiteral("PAUSE");
    }));
    // The slider follows the position in pages; a key on it seeks (Home: the start).
    QCOMPARE(static_cast<std::uint64_t>(d.PositionSlider().value()), d.Engine().GetPosition() / 4096);
    QTest::keyClick(&d.PositionSlider(), Qt::Key_Home);
    QVERIFY(WaitFor([&] { return d.Engine().GetPosition() < 65536; }));
    // Play starts at the requested speed, which Speed Up changed (from the start of the sample, so
    // that its end does not pause the playing).
    d.Engine().Seek(0);
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePause && d.Engine().GetPosition() < 65536; }));
    d.ExecuteCommand(kCmdSpeedNormal);
    d.ExecuteCommand(kCmdPlay);
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePlay && d.Engine().GetSpeed() == 1.0; }));
    d.ExecuteCommand(kCmdSpeedUp);
    d.ExecuteCommand(kCmdPause);
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePause; }));
    d.ExecuteCommand(kCmdPlay);
    QVERIFY(WaitFor([&] {
        d.TimerTick(kTimerStatus);
        return d.Status().StatusWord() == QStringLiteral("PLAY  x 1.1");
    }));
}

void ViewerDialogTest::splitCommandsPageThroughChannels()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    VideoWindow& window = d.Engine().Window();
    d.ExecuteCommand(kCmdSplit4);
    QCOMPARE(window.GetSplit(), 4);
    QCOMPARE(window.GetPage(), 0);
    d.ExecuteCommand(kCmdSplit4);
    QCOMPARE(window.GetPage(), 1);
    d.ExecuteCommand(kCmdSplit4);
    QCOMPARE(window.GetPage(), 2);
    d.ExecuteCommand(kCmdSplit4);
    QCOMPARE(window.GetPage(), 0);
    d.ExecuteCommand(kCmdSplit1);
    QCOMPARE(window.GetSplit(), 1);
    d.ExecuteCommand(kCmdSplit16);  // refused: nine channel slots
    QCOMPARE(window.GetSplit(), 1);
    d.ExecuteCommand(kCmdSplit9);
    QCOMPARE(window.GetSplit(), 9);
}

void ViewerDialogTest::volumeCommandsDoNothingAndMuteToggles()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdVolumeUp);
    d.ExecuteCommand(kCmdVolumeDown);
    QCOMPARE(d.Engine().Audio().GetVolume(), 32768u);
    d.ExecuteCommand(kCmdMute);
    QCOMPARE(d.Engine().Audio().GetMute(), 1);
    QVERIFY(static_cast<QPushButton*>(d.Control(kCmdMute))->isChecked());
    QVERIFY(d.Action(kCmdMute)->isChecked());
    d.ExecuteCommand(kCmdMute);
    QCOMPARE(d.Engine().Audio().GetMute(), 0);
    // The volume slider sets both halves.
    d.VolumeSlider().setValue(0x1234);
    d.OnSliderMessage(kSliderReleased, kIdVolumeSlider);
    QCOMPARE(d.Engine().Audio().GetVolume(), 0x1234u);
}

void ViewerDialogTest::settingsAreSavedAtExit()
{
    Fixture f;
    {
        ViewerDialog& d = *f.dialog;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.ExecuteCommand(kCmdAspect544);
        d.ExecuteCommand(kCmdShowTime);
        d.ExecuteCommand(kCmdMute);
        // The flag changes on the shown window: hiding it would end the running dialog.
        HideCounter hides;
        d.installEventFilter(&hides);
        d.ExecuteCommand(kCmdAlwaysOnTop);
        QTest::qWait(50);
        QCOMPARE(hides.count, 0);
        QVERIFY(d.isVisible());
        QVERIFY(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        // SIGTERM's path: as Exit.
        d.Shutdown(ShutdownPath::Signal);
        QCOMPARE(d.result(), static_cast<int>(QDialog::Rejected));
    }
    IniFile ini;
    QVERIFY(ini.Load(f.settingsPath));
    ViewerSettings s;
    s.Load(ini);
    QCOMPARE(s.videoWidth, 640);
    QCOMPARE(s.videoHeight, 544);
    QCOMPARE(s.showTime, 0);
    QCOMPARE(s.mute, 1);
    QCOMPARE(s.alwaysOnTop, 1);
    QCOMPARE(s.volume, 32768);
    QCOMPARE(s.timeout, 7);
    QCOMPARE(s.useDDraw, 1);

    // Settings that cannot be written are not lost without a word.
    Fixture g;
    QVERIFY(QFile::remove(QString::fromStdString(g.settingsPath)));
    QVERIFY(QDir().mkpath(QString::fromStdString(g.settingsPath)));
    g.dialog->Shutdown(ShutdownPath::CloseButton);
    QVERIFY(!g.prompts.messages.empty());
    QCOMPARE(g.prompts.messages.back().rfind("The settings could not be saved to \"" + g.settingsPath + "\": ", 0), 0u);
}

void ViewerDialogTest::settingsAreAppliedAtStart()
{
    Fixture f({}, "[Tamlorex Viewer]\nVideo Width=700\nVideo Height=500\nShow Time=0\nVolume=4096\nMute=1\n"
                  "Time Format=%d.%m.%Y\nRepeat=1\nUse DDraw=0\nTimeout=0\nAuto Reconnection=0\n"
                  "Enable && Hidden cusor on DVR side=2\n");
    ViewerDialog& d = *f.dialog;
    QCOMPARE(d.size(), QSize(705, 600));
    QVERIFY(!d.Engine().Window().GetShowTime());
    QCOMPARE(d.Engine().Audio().GetVolume(), 4096u);
    QCOMPARE(d.VolumeSlider().value(), 4096);
    QCOMPARE(d.Engine().Audio().GetMute(), 1);
    QCOMPARE(d.Engine().Window().GetTimeFormat(), std::string("%d.%m.%Y"));
    QVERIFY(d.Engine().GetRepeat());
    QVERIFY(!d.Video().GetUseDirectDraw());
    QVERIFY(!d.Video().SurfacesActive());
    QCOMPARE(f.client.GetTimeoutMs(), 0);
    QVERIFY(!f.client.GetAutoReconnect());
    QCOMPARE(f.client.GetMouseMode(), 2);
}

void ViewerDialogTest::addressAloneStaysInPlayerMode()
{
    Fixture f({"/IP:10.0.0.5"});
    ViewerDialog& d = *f.dialog;
    QVERIFY(!d.AutoConnectPending());
    d.TimerTick(kTimerLayout);
    QVERIFY(d.Mode() == ViewerMode::Player);
    QCOMPARE(f.prompts.logins, 0);
    QVERIFY(f.client.requests.empty());
}

void ViewerDialogTest::addressAndPortConnectOnFirstTick()
{
    Fixture f({"/IP:10.0.0.5", "/PORT:9000"});
    ViewerDialog& d = *f.dialog;
    QVERIFY(d.AutoConnectPending());
    QVERIFY(d.Mode() == ViewerMode::Player);  // start-up always enters Player mode
    d.TimerTick(kTimerFast);
    QVERIFY(d.Mode() == ViewerMode::Client);
    QCOMPARE(d.Engine().GetMode(), kClientMode);
    QCOMPARE(d.Engine().Window().GetSplit(), 1);
    QCOMPARE(d.Settings().ipAddress, std::string("10.0.0.5"));
    QCOMPARE(d.Settings().port, 9000);
    QCOMPARE(f.prompts.logins, 1);
    QCOMPARE(f.client.requests.size(), std::size_t{1});
    QCOMPARE(f.client.requests[0].address, std::string("10.0.0.5"));
    QCOMPARE(f.client.requests[0].port, 9000);
    QVERIFY(!d.AutoConnectPending());
}

void ViewerDialogTest::connectStoresTheLoginChoices()
{
    Fixture f({}, "[Tamlorex Viewer]\nDynamicIp=1\nDvrName=SHOP01\nIP Address=10.0.0.7\nDdns Ip=10.0.0.1\n"
                  "Ddns Port=1900\n");
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdClientMode);
    f.prompts.onLogin = [](LoginDialog& login) {
        login.findChild<QLineEdit*>(QString::number(kLoginSharedEdit))->setText(QStringLiteral("SHOP02"));
        login.findChild<QLineEdit*>(QString::number(kLoginPasswordEdit))->setText(QStringLiteral("pw"));
    };
    QVERIFY(d.ExecuteCommand(kCmdConnect));
    QVERIFY(f.prompts.shownDynamicIp);
    QCOMPARE(d.Settings().dvrName, std::string("SHOP02"));
    QCOMPARE(d.Settings().ipAddress, std::string("10.0.0.7"));
    QCOMPARE(d.Settings().dynamicIp, 1);
    QCOMPARE(f.client.requests.size(), std::size_t{1});
    const ConnectRequest& r = f.client.requests[0];
    QVERIFY(r.dynamicIp);
    QCOMPARE(r.ddnsAddress, std::string("10.0.0.1"));
    QCOMPARE(r.ddnsPort, 1900);
    QCOMPARE(r.dvrName, std::string("SHOP02"));
    QCOMPARE(r.password, std::string("pw"));
    QCOMPARE(d.Action(kCmdConnect)->text(), QStringLiteral("Disconnect"));
    // Cancel changes nothing and starts nothing.
    f.client.running = false;
    f.prompts.loginAnswer = false;
    d.ExecuteCommand(kCmdConnect);
    QCOMPARE(f.client.requests.size(), std::size_t{1});
}

void ViewerDialogTest::connectWhileRunningDisconnects()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdClientMode);
    f.client.running = true;  // still connecting: counts as connected
    d.ExecuteCommand(kCmdConnect);
    QCOMPARE(f.client.disconnects, 1);
    QCOMPARE(f.prompts.logins, 0);
    d.UpdateCommandStates();
    QCOMPARE(d.Action(kCmdConnect)->text(), QStringLiteral("&Connect..."));
}

void ViewerDialogTest::loginFailureShowsTheClientsReason()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    f.client.running = true;
    f.client.error = "Too many client.";
    d.HandleMessage(WM_NET_LOGIN_FAILED);
    QCOMPARE(f.prompts.messages.back(), std::string("Incorrect password.\nToo many client."));
    QCOMPARE(f.client.disconnects, 1);
    f.client.error = "Incorrect password.";
    d.HandleMessage(WM_NET_LOGIN_FAILED);
    QCOMPARE(f.prompts.messages.back(), std::string("Incorrect password."));
    f.client.error.clear();
    // Posted from another thread, the message arrives on the GUI thread.
    std::thread poster([&] { d.Post(WM_NET_LOGIN_FAILED, 0, 0); });
    poster.join();
    QVERIFY(WaitFor([&] { return f.prompts.messages.size() == 3; }));
    QCOMPARE(f.prompts.messages.back(), std::string("Incorrect password."));
}

void ViewerDialogTest::noResponseAndServerClosed()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.HandleMessage(WM_NET_NO_RESPONSE);
    QCOMPARE(f.prompts.messages.back(), std::string("DVR has no response."));
    // Closed by the server only matters while logged in.
    d.HandleMessage(WM_NET_SERVER_CLOSED);
    QCOMPARE(f.prompts.messages.size(), std::size_t{1});
    f.client.online = true;
    f.client.running = true;
    d.HandleMessage(WM_NET_SERVER_CLOSED);
    QCOMPARE(f.prompts.messages.back(), std::string("Disconnected by server."));
    QVERIFY(!f.client.running);
    // A name that names no host: the client's reason, and the client is ended.
    f.client.running = true;
    f.client.error = "The recorder address \"nowhere.invalid\" could not be found (Name or service not known).";
    d.HandleMessage(WM_NET_ADDRESS_UNKNOWN);
    QCOMPARE(f.prompts.messages.back(), f.client.error);
    QVERIFY(!f.client.running);
}

void ViewerDialogTest::dvrControlNeedsLogin()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdClientMode);
    QVERIFY(!d.IsCommandEnabled(kCmdDvrChannel5));
    QVERIFY(!d.IsCommandEnabled(kCmdStartLocalRecording));
    QVERIFY(!d.ExecuteCommand(kCmdDvrChannel5));
    f.client.online = true;
    f.client.running = true;
    QVERIFY(d.ExecuteCommand(kCmdDvrChannel5));
    QVERIFY(d.ExecuteCommand(kCmdDvrSequence));
    QVERIFY(d.ExecuteCommand(kCmdDvrSplit9));
    QCOMPARE(f.client.keys, (std::vector<int>{0x15, 0x0F, 0x84}));
    QVERIFY(d.IsCommandEnabled(kCmdStartLocalRecording));
    QVERIFY(!d.IsCommandEnabled(kCmdStopLocalRecording));
    // A recording that cannot start is reported.
    QVERIFY(d.ExecuteCommand(kCmdStartLocalRecording));
    QCOMPARE(f.prompts.messages.size(), std::size_t{1});
    QVERIFY(f.prompts.messages[0].rfind("Local recording could not start", 0) == 0);
}

void ViewerDialogTest::keyboardForwarding()
{
    Fixture f({TAMLOREX_SAMPLE_PATH});
    ViewerDialog& d = *f.dialog;
    QVERIFY(WaitFor([&] { return d.Engine().IsRunning(); }));
    PutPendingKey(37);  // left arrow: not in this fake's table
    PutPendingKey(46);  // Delete overwrites it
    d.TimerTick(kTimerFast);
    QCOMPARE(f.client.keys, std::vector<int>{0x05});
    d.TimerTick(kTimerFast);
    QCOMPARE(f.client.keys.size(), std::size_t{1});
    // Timer 3 forwards nothing.
    PutPendingKey(46);
    d.TimerTick(kTimerLayout);
    QCOMPARE(f.client.keys.size(), std::size_t{1});
    TakePendingKey();
}

void ViewerDialogTest::droppedFileSwitchesToPlayerMode()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdClientMode);
    QCOMPARE(d.Engine().Window().GetSplit(), 1);
    d.OpenDropped(TAMLOREX_SAMPLE_PATH);
    QVERIFY(d.Mode() == ViewerMode::Player);
    QCOMPARE(d.Engine().GetMode(), kPlayerMode);
    QCOMPARE(d.Engine().Window().GetSplit(), 9);
    QVERIFY(d.Engine().IsSourceOpen());
    QCOMPARE(d.TitleText(), QStringLiteral("sample.vvf"));
}

void ViewerDialogTest::openFileKeepsTheMode()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdClientMode);
    f.prompts.openAnswer = TAMLOREX_SAMPLE_PATH;
    d.SetMarks(10, 20);
    QVERIFY(d.ExecuteCommand(kCmdOpenFile));
    QCOMPARE(f.prompts.lastFilter, std::string("All Files (*.*)|*.*|VVF File Format (*.VVF)|*.VVF|"));
    QVERIFY(d.Mode() == ViewerMode::Client);
    QCOMPARE(d.MarkIn(), 0u);
    QCOMPARE(d.MarkOut(), 0u);
    QVERIFY(d.Engine().IsSourceOpen());
    // Cancel does nothing.
    f.prompts.openAnswer.clear();
    d.SetMarks(10, 20);
    d.ExecuteCommand(kCmdOpenFile);
    QCOMPARE(f.prompts.openDialogs, 2);
    QCOMPARE(d.MarkIn(), 10u);
    QVERIFY(d.Engine().IsSourceOpen());
    // A disk image opens as a disk would, and clears the marks.
    f.prompts.openAnswer = TAMLOREX_SAMPLE_PATH;
    QVERIFY(d.ExecuteCommand(kCmdOpenDiskImage));
    QCOMPARE(f.prompts.lastFilter, std::string(kDiskImageFilter));
    QCOMPARE(d.MarkIn(), 0u);
    QVERIFY(d.Engine().IsSourceOpen());
    // What cannot be opened says why in one sentence.
    f.prompts.openAnswer = f.dir.filePath("missing.vvf").toStdString();
    d.ExecuteCommand(kCmdOpenFile);
    QCOMPARE(f.prompts.messages.back(), "The recording \"" + f.prompts.openAnswer + "\" cannot be opened: it does not exist.");
    QVERIFY(OpenFailureText("/dev/sdb", EACCES, true).find("\"disk\" group") != std::string::npos);
    QVERIFY(OpenFailureText("/tmp", 0, false).find("neither a file nor a disk") != std::string::npos);
}

void ViewerDialogTest::enterDoesNothingEscapeCloses()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClick(&d, Qt::Key_Return);
    QVERIFY(d.isVisible());
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QVERIFY(QFile::exists(QString::fromStdString(f.settingsPath)));
    // A double click on the system icon closes the window too; a single click opens no menu first.
    Fixture g;
    g.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(g.dialog.get()));
    QWidget* icon = g.dialog->Control(kCmdSystemIcon);
    // The menu waits out the double-click time, so that a second click can still reach the icon.
    QTest::mouseClick(icon, Qt::LeftButton);
    QVERIFY(QApplication::activePopupWidget() == nullptr);
    QVERIFY(WaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    QApplication::activePopupWidget()->close();
    QTest::mouseClick(icon, Qt::LeftButton);
    QTest::mouseDClick(icon, Qt::LeftButton);
    QVERIFY(!g.dialog->isVisible());
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    QVERIFY(QApplication::activePopupWidget() == nullptr);
}

void ViewerDialogTest::acceleratorsRunCommands()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    d.show();
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    QTest::keyClick(&d, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(f.prompts.openDialogs, 1);
    QTest::keyClick(&d, Qt::Key_F10);
    QCOMPARE(f.prompts.abouts, 1);
    QTest::keyClick(&d, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(d.FullScreen());
    QTest::keyClick(&d, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(!d.FullScreen());
}

void ViewerDialogTest::popupMenusHoldEveryItem()
{
    Fixture f;
    ViewerDialog& d = *f.dialog;
    QCOMPARE(d.Popup(ViewerMode::Player)->title(), QStringLiteral("Viewer(Play9ch)"));
    QCOMPARE(d.Popup(ViewerMode::Client)->title(), QStringLiteral("Viewer(Net)"));
    auto collect = [](QMenu* menu) {
        QStringList texts;
        std::function<void(QMenu*)> walk = [&](QMenu* m) {
            for (QAction* a : m->actions()) {
                if (a->menu() != nullptr) walk(a->menu());
                else if (!a->isSeparator()) texts << a->text();
            }
        };
        walk(menu);
        return texts;
    };
    const QStringList player = collect(d.Popup(ViewerMode::Player));
    for (const char* text : {"&Open File...\tCtrl+O", "Open &Disk...", "AVI (Audio-Video Interleaved Files)", "Close",
                             "Show &Time", "Always on top", "Play", "Play Reverse", "Pause", "Fast Forward",
                             "Fast Rewind", "Next Frame", "Previous Frame", "Speed Normal", "Speed Up", "Speed Down",
                             "Mark &In", "Mark &Out", "&Export", "Volume &Up", "Volume &Down", "Mute On/Off",
                             "Full Screen", "Maximize", "640 x 448", "640 x 544", "Split 1", "Split 4", "Split 9",
                             "O&ptions...", "Player(&P)", "Client(&L)", "&About Viewer\tF10", "E&xit\tAlt+F4"})
        QVERIFY2(player.contains(QString::fromLatin1(text)), text);
    const QStringList client = collect(d.Popup(ViewerMode::Client));
    for (const char* text : {"&Connect...", "Channel 5", "Se&q", "Menu", "Select", "Start Local Recording",
                             "Stop Local Recording", "O&ptions...", "E&xit\tAlt+F4"})
        QVERIFY2(client.contains(QString::fromLatin1(text)), text);
    for (const char* text : {"Open Disk &Image...", "&Go to Time...\tCtrl+G", "Show Ti&meline"})
        QVERIFY2(player.contains(QString::fromLatin1(text)), text);
    // Each item opens its dialog; Cancel there changes nothing.
    f.prompts.onDialog = [](QDialog&) { return false; };
    const bool topMost = d.Settings().alwaysOnTop != 0;
    for (int id : {kCmdOpenDisk, kCmdOptions, kCmdExportAvi}) QVERIFY(d.ExecuteCommand(id));
    d.ExecuteCommand(kCmdClientMode);
    QVERIFY(d.ExecuteCommand(kCmdNetworkOptions));
    QCOMPARE(f.prompts.dialogs, QStringList({"Disk Select", "Options", "Export To AVI", "Network Options"}));
    QCOMPARE(d.Settings().alwaysOnTop != 0, topMost);
    QVERIFY(!d.Engine().IsSourceOpen());
    QVERIFY(d.ExecuteCommand(kCmdAbout));
    QCOMPARE(f.prompts.abouts, 1);
}

void ViewerDialogTest::stillCaptureGoesToTheCaptureFolder()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("stills");
    Fixture f({}, "[Tamlorex Viewer]\nCapture Path=" + folder.toStdString() + "\n");
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdStillCapture);
    d.ExecuteCommand(kCmdStillCapture);
    const QStringList files = QDir(folder).entryList({"*.bmp"}, QDir::Files);
    QCOMPARE(files.size(), 2);
    QFile file(QDir(folder).filePath(files.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(26);
    QCOMPARE(header.left(2), QByteArray("BM"));
    // The bitmap has the size of the video window.
    QCOMPARE(static_cast<int>(static_cast<std::uint8_t>(header[18]) | static_cast<std::uint8_t>(header[19]) << 8), 640);
    QCOMPARE(static_cast<int>(static_cast<std::uint8_t>(header[22]) | static_cast<std::uint8_t>(header[23]) << 8), 448);
}

void ViewerDialogTest::saveAviRecordsTheShownPanesWithSound()
{
    // "Use DDraw" off: the recording turns the surfaces on for itself only.
    Fixture f({TAMLOREX_SAMPLE_PATH}, "[Tamlorex Viewer]\nUse DDraw=0\n");
    ViewerDialog& d = *f.dialog;
    // The frame size comes from the first decoded picture.
    int width = 0, height = 0;
    QVERIFY(WaitFor([&] { return d.Engine().CaptureFrameSize(width, height); }));
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePlay; }));
    const QString path = f.dir.filePath("DVR.avi");
    f.prompts.saveAnswer = path.toStdString();
    d.ExecuteCommand(kCmdSaveAvi);
    QCOMPARE(f.prompts.saveDefaults.back(), std::string("DVR.avi"));
    QCOMPARE(f.prompts.lastFilter, std::string("AVI Files (*.avi)|*.avi||"));
    QVERIFY(f.prompts.questions.empty());  // "Internet low speed?" is asked in Client mode only
    QCOMPARE(f.prompts.dialogs, QStringList({"Video Compression"}));
    QCOMPARE(d.CaptureCompressor().handler, std::string(kUncompressedHandler));
    QVERIFY(d.DisplayRecording());
    QVERIFY(d.Video().SurfacesActive());
    QVERIFY(!d.Video().GetUseDirectDraw());
    QVERIFY(d.Engine().IsCapturing());
    QCOMPARE(d.Control(kCmdSaveAvi)->toolTip(), QStringLiteral("Stop AVI"));
    // Playback goes on at speed 1 while the panes are recorded, one frame per round of channels.
    QVERIFY(WaitFor([&] { return d.Engine().GetState() == kStatePlay; }));
    QCOMPARE(d.Engine().GetSpeed(), 1.0);
    QVERIFY(WaitFor([&] { return d.Engine().CaptureWriter().FramesWritten() >= 3; }, 10000));

    d.ExecuteCommand(kCmdSaveAvi);
    QVERIFY(!d.DisplayRecording());
    QVERIFY(!d.Engine().IsCapturing());
    QCOMPARE(d.Control(kCmdSaveAvi)->toolTip(), QStringLiteral("Save AVI"));
    QVERIFY(!d.Video().SurfacesActive());
    // The finished file is read-only and holds the frames of the decoded width and twice the
    // decoded height, and the sample's sound.
    QVERIFY((QFile::permissions(path) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0);
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_type,width,height", "-of", "csv=p=0", path});
    QVERIFY(probe.waitForFinished(20000));
    const QString streams = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(streams.contains("video,640,448"), qPrintable(streams));
    QVERIFY2(streams.contains("audio"), qPrintable(streams));

    // Cancel in the compressor dialog records nothing.
    f.prompts.onDialog = [](QDialog&) { return false; };
    f.prompts.saveAnswer = f.dir.filePath("third.avi").toStdString();
    d.ExecuteCommand(kCmdSaveAvi);
    QVERIFY(!d.DisplayRecording());
    QVERIFY(!QFile::exists(f.dir.filePath("third.avi")));
    f.prompts.onDialog = nullptr;

    // A mode change finishes a display recording; this one is compressed.
    const QString second = f.dir.filePath("second.avi");
    f.prompts.saveAnswer = second.toStdString();
    f.prompts.onDialog = [](QDialog& dialog) {
        const std::vector<Compressor>& list = ListCompressors();
        const auto mjpeg = std::find_if(list.begin(), list.end(), [](const Compressor& c) { return c.handler == "mjpeg"; });
        if (mjpeg == list.end()) return false;
        dialog.findChild<QComboBox*>(kCompressorList)->setCurrentIndex(static_cast<int>(mjpeg - list.begin()));
        dialog.accept();
        return true;
    };
    d.ExecuteCommand(kCmdSaveAvi);
    QCOMPARE(d.CaptureCompressor().handler, std::string("mjpeg"));
    QVERIFY(d.DisplayRecording());
    QVERIFY(WaitFor([&] { return d.Engine().CaptureWriter().FramesWritten() >= 1; }, 10000));
    // The checked mode's button again changes nothing.
    d.ExecuteCommand(kCmdPlayerMode);
    QVERIFY(d.DisplayRecording());
    d.ExecuteCommand(kCmdClientMode);
    QVERIFY(!d.DisplayRecording());
    QVERIFY(!d.Engine().IsCapturing());
    QVERIFY((QFile::permissions(second) & QFile::WriteOwner) == 0);
    QProcess codec;
    codec.start("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries", "stream=codec_name", "-of", "csv=p=0", second});
    QVERIFY(codec.waitForFinished(20000));
    QCOMPARE(QString::fromUtf8(codec.readAllStandardOutput()).trimmed(), QStringLiteral("mjpeg"));
    // The user's "Use DDraw" off is what is saved.
    d.Shutdown(ShutdownPath::CloseMessage);
    IniFile ini;
    QVERIFY(ini.Load(f.settingsPath));
    ViewerSettings saved;
    saved.Load(ini);
    QCOMPARE(saved.useDDraw, 0);
}

void ViewerDialogTest::clientModeAgainstTheRecorderSimulator()
{
    QTemporaryDir dir;
    QProcess sim;
    sim.start(TAMLOREX_SIM_PATH, {"serve", "--port", "0", "--password", "4321", "--seconds", "30"});
    QVERIFY(sim.waitForStarted());
    int port = 0;
    QVERIFY(WaitFor([&] {
        sim.waitForReadyRead(20);
        const QString text = QString::fromUtf8(sim.peek(4096));
        const int at = text.indexOf("{\"listening\":");
        if (at >= 0) port = text.mid(at + 13).section(QLatin1Char('}'), 0, 0).toInt();
        return port > 0;
    }));
    const std::string folder = dir.path().toStdString();
    Fixture f({}, "[Tamlorex Viewer]\nIP Address=127.0.0.1\nPort=" + std::to_string(port) +
                      "\nLocal Recording Path=" + folder + "\n",
              true);
    ViewerDialog& d = *f.dialog;
    d.ExecuteCommand(kCmdClientMode);
    f.prompts.onLogin = [](LoginDialog& login) {
        login.findChild<QLineEdit*>(QString::number(kLoginPasswordEdit))->setText(QStringLiteral("4321"));
    };
    QVERIFY(d.ExecuteCommand(kCmdConnect));
    QVERIFY(WaitFor([&] { return d.Engine().GetConnState() == kConnOnline && d.Engine().Window().HasPicture(0); }));

    // Local recording, and "Save AVI" at low speed: one frame per tick of the window's 40 ms timer.
    QVERIFY(d.ExecuteCommand(kCmdStartLocalRecording));
    QVERIFY(d.Engine().IsLocalRecording());
    QVERIFY(f.prompts.messages.empty());
    f.prompts.saveAnswer = dir.filePath("live.avi").toStdString();
    d.ExecuteCommand(kCmdSaveAvi);
    QCOMPARE(f.prompts.questions.back(), std::string("Internet low speed?"));
    QVERIFY(d.DisplayRecording());
    QVERIFY(WaitFor([&] { return d.Engine().CaptureWriter().FramesWritten() >= 5; }));
    d.ExecuteCommand(kCmdSaveAvi);
    QVERIFY(!d.Engine().IsCapturing());
    QVERIFY(d.ExecuteCommand(kCmdStopLocalRecording));
    QVERIFY(!d.Engine().IsLocalRecording());
    QCOMPARE(QDir(QString::fromStdString(folder)).entryList({"*.VVF"}, QDir::Files).size(), 1);

    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries", "stream=width,height,r_frame_rate",
                            "-of", "csv=p=0", dir.filePath("live.avi")});
    QVERIFY(probe.waitForFinished(20000));
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), QStringLiteral("640,448,25/1"));

    // The recorder holds its pictures back (SIGUSR1, its sound goes on): after the stall time the
    // pane has its notice and the status line says so; the next picture clears both.
    d.Engine().SetStallThresholdMs(600);
    QVERIFY(d.Status().Notice().isEmpty());
    QCOMPARE(::kill(static_cast<pid_t>(sim.processId()), SIGUSR1), 0);
    QVERIFY(WaitFor([&] { return d.Status().Notice().startsWith(QStringLiteral("No picture since ")); }));
    QVERIFY(d.Status().Notice().endsWith(QStringLiteral(", waiting")));
    QCOMPARE(d.Engine().Window().GetNotice().size(), std::size_t{2});
    QCOMPARE(::kill(static_cast<pid_t>(sim.processId()), SIGUSR1), 0);
    QVERIFY(WaitFor([&] { return d.Status().Notice().isEmpty(); }));
    QVERIFY(d.Engine().Window().GetNotice().empty());

    // Connect again disconnects.
    QVERIFY(d.ExecuteCommand(kCmdConnect));
    QVERIFY(WaitFor([&] { return d.Engine().GetConnState() == kConnIdle; }));
    sim.kill();
    sim.waitForFinished();
}

QTEST_MAIN(ViewerDialogTest)
#include "viewer_dialog_test.moc"
