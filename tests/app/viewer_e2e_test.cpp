// End to end, under a virtual X server: the viewer starts on the bundled sample, plays, and the
// screen shows the nine panes with pictures and "PLAY " in the status line; then every dialog of
// the window is opened the way a user opens it (right-click menus, keys, buttons, driven by
// xdotool). The screenshots stay in the build folder.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <set>

#include "app/command_ids.h"
#include "controls/status_line.h"

namespace {

constexpr int kWindowWidth = 645;   // the first start's window
constexpr int kWindowHeight = 548 + tamlorex::app::kTimelineHeight;  // with the timeline
constexpr int kVideoWidth = 640;
constexpr int kVideoHeight = 448;
constexpr int kOsdBand = 22;  // the top of each pane holds the channel label and time

bool IsGreen(QRgb p) { return qGreen(p) > 128 && qRed(p) < 100 && qBlue(p) < 100; }

// Share of the green pixels of either image that both images have.
double GreenOverlap(const QImage& a, const QImage& b)
{
    int both = 0;
    int either = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            const bool ga = IsGreen(a.pixel(x, y));
            const bool gb = IsGreen(b.pixel(x, y));
            both += ga && gb;
            either += ga || gb;
        }
    }
    return either == 0 ? 0.0 : static_cast<double>(both) / either;
}

// The status word as the status line draws it, in the box it has on screen.
QImage ExpectedWord(const QString& word, int state, QSize size)
{
    tamlorex::controls::StatusLine line(nullptr);
    line.resize(size);
    line.SetDisplayKind(1);
    line.SetPlaybackState(state);
    line.SetTexts(word, QString());
    return line.grab().toImage().copy(tamlorex::controls::StatusLine::kWordLeft, 0,
                                      tamlorex::controls::StatusLine::kWordRight - tamlorex::controls::StatusLine::kWordLeft,
                                      size.height());
}

// A pane shows a picture when its pixels below the label vary like a scene, not a flat fill.
bool ShowsPicture(const QImage& pane)
{
    QSet<QRgb> colours;
    long long sum = 0;
    long long sumSquares = 0;
    int n = 0;
    for (int y = kOsdBand; y < pane.height(); y += 2) {
        for (int x = 0; x < pane.width(); x += 2) {
            const QRgb p = pane.pixel(x, y);
            colours.insert(p);
            const int luma = qGray(p);
            sum += luma;
            sumSquares += static_cast<long long>(luma) * luma;
            ++n;
        }
    }
    const double mean = static_cast<double>(sum) / n;
    const double variance = static_cast<double>(sumSquares) / n - mean * mean;
    return colours.size() > 50 && variance > 20.0;
}


// Starts the viewer on the sample, with its settings in the folder and silent sound.
bool StartViewer(QProcess& viewer, const QTemporaryDir& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    env.insert(QStringLiteral("HOME"), home.path());
    viewer.setProcessEnvironment(env);
    viewer.setProcessChannelMode(QProcess::ForwardedChannels);
    viewer.start(QStringLiteral(TAMLOREX_VIEWER_PATH),
                 {QStringLiteral(TAMLOREX_SAMPLE_PATH), QStringLiteral("--config"), home.filePath("viewer.INI")});
    return viewer.waitForStarted(10000);
}

// Runs xdotool with the arguments; its standard output.
QString XDo(const QStringList& args)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), args);
    if (!tool.waitForFinished(10000)) return {};
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// The top-left corner of the shown window with exactly this title, once it is there (null when it
// does not appear within five seconds).
QPoint WaitForWindow(const QString& title)
{
    for (int waited = 0; waited < 5000; waited += 100) {
        const QString shell = XDo({"search", "--onlyvisible", "--name", "^" + title + "$", "getwindowgeometry",
                                   "--shell", "%@"});
        const QRegularExpressionMatch m = QRegularExpression("X=(\\d+)\\s+Y=(\\d+)").match(shell);
        if (m.hasMatch()) return QPoint(m.captured(1).toInt(), m.captured(2).toInt());
        QTest::qWait(100);
    }
    return QPoint();
}

bool WindowGone(const QString& title)
{
    for (int waited = 0; waited < 5000; waited += 100) {
        if (XDo({"search", "--onlyvisible", "--name", "^" + title + "$"}).trimmed().isEmpty()) return true;
        QTest::qWait(100);
    }
    return false;
}

void Click(QPoint at, int button = 1)
{
    XDo({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", QString::number(button)});
    QTest::qWait(400);
}

void Keys(const QStringList& keys)
{
    for (const QString& key : keys) {
        XDo({"key", key});
        QTest::qWait(250);
    }
}

}  // namespace

class ViewerEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void playsTheSample_data();
    void playsTheSample();
    void opensEveryDialog();
};

void ViewerEndToEndTest::playsTheSample_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("screenshot");
    // First start (surfaces), and the direct renderer of the "Use DDraw=0" setting.
    QTest::newRow("surfaces") << QString() << QStringLiteral(TAMLOREX_SCREENSHOT_PATH);
    QTest::newRow("direct") << QStringLiteral("[Tamlorex Viewer]\nUse DDraw=0\n")
                            << QStringLiteral(TAMLOREX_SCREENSHOT_PATH).replace(".png", "-direct.png");
}

void ViewerEndToEndTest::playsTheSample()
{
    QFETCH(QString, settings);
    QFETCH(QString, screenshot);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    if (!settings.isEmpty()) {
        QFile file(home.filePath("viewer.INI"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settings.toUtf8());
    }
    QProcess viewer;
    QVERIFY(StartViewer(viewer, home));
    QTest::qWait(5000);
    QCOMPARE(viewer.state(), QProcess::Running);

    QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen != nullptr);
    const QImage shot = screen->grabWindow(0).toImage();
    QVERIFY(shot.save(screenshot));

    viewer.terminate();
    if (!viewer.waitForFinished(5000)) viewer.kill();

    // The window opens centred at its first-start size.
    const QPoint window((shot.width() - kWindowWidth) / 2, (shot.height() - kWindowHeight) / 2);
    const QImage video = shot.copy(window.x() + 2, window.y() + 25, kVideoWidth, kVideoHeight);
    int withPictures = 0;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect pane(column * kVideoWidth / 3 + 2, row * kVideoHeight / 3 + 2, kVideoWidth / 3 - 4,
                             kVideoHeight / 3 - 4);
            const bool picture = ShowsPicture(video.copy(pane));
            if (picture) ++withPictures;
            qInfo("pane %d: %s", row * 3 + column + 1, picture ? "picture" : "no picture");
        }
    }
    // The sample holds eight channels; the ninth pane is the empty slot of the 9-way split.
    QVERIFY2(withPictures >= 8, qPrintable(QStringLiteral("%1 panes with pictures").arg(withPictures)));

    const QSize statusSize(kWindowWidth - 116, 17);
    const QImage status = shot.copy(window.x() + 13, window.y() + kWindowHeight - 74, statusSize.width(),
                                    statusSize.height());
    const QImage word = status.copy(tamlorex::controls::StatusLine::kWordLeft, 0,
                                    tamlorex::controls::StatusLine::kWordRight - tamlorex::controls::StatusLine::kWordLeft,
                                    statusSize.height());
    const double play = GreenOverlap(word, ExpectedWord(QStringLiteral("PLAY  x 1.0"), 2, statusSize));
    const double pause = GreenOverlap(word, ExpectedWord(QStringLiteral("PAUSE"), 6, statusSize));
    qInfo("status word overlap: PLAY %.2f, PAUSE %.2f", play, pause);
    QVERIFY(play > 0.9);
    QVERIFY(pause < play);

    // The timeline above the status line: a row of its own colour for each of the eight channels.
    const QImage strip = shot.copy(window.x() + 13, window.y() + kWindowHeight - 75 - tamlorex::app::kTimelineHeight,
                                   kWindowWidth - 26, tamlorex::app::kTimelineHeight - 1);
    std::set<QRgb> rows;
    for (int y = 13; y < strip.height(); ++y) rows.insert(strip.pixel(strip.width() / 2, y));
    qInfo("timeline: %zu colours down its middle", rows.size());
    QVERIFY(rows.size() >= 8 + 1);  // the rows and the background
}

void ViewerEndToEndTest::opensEveryDialog()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcess viewer;
    QVERIFY(StartViewer(viewer, home));
    const QPoint window = WaitForWindow(QStringLiteral("Tamlorex Viewer"));
    QVERIFY(!window.isNull());
    QTest::qWait(1500);

    QScreen* screen = QGuiApplication::primaryScreen();
    const auto keep = [&](const QString& title, const QString& name) {
        const QPoint at = WaitForWindow(title);
        if (at.isNull()) return QPoint();
        QTest::qWait(300);
        screen->grabWindow(0).toImage().save(QStringLiteral(TAMLOREX_SCREENSHOT_PATH).replace(".png", "-" + name + ".png"));
        return at;
    };
    const QPoint video = window + QPoint(320, 200);
    const QPoint frame = window + QPoint(411, 502);  // the bottom row, beside the buttons

    // Player mode's menu: Open Disk..., Options..., Export > AVI, Go to Time.
    Click(video, 3);
    Keys({"d"});
    QVERIFY(!keep("Disk Select", "disk-select").isNull());
    Keys({"Escape"});
    QVERIFY(WindowGone("Disk Select"));

    Click(video, 3);
    Keys({"p", "p", "Return"});  // Player(&P), then O&ptions...
    QVERIFY(!keep("Options", "options").isNull());
    Keys({"Escape"});
    QVERIFY(WindowGone("Options"));

    Click(video, 3);
    Keys({"e", "Return"});
    QVERIFY(!keep("Export To AVI", "export").isNull());
    Keys({"Escape"});
    QVERIFY(WindowGone("Export To AVI"));

    // Go to Time, prefilled with the time on screen.
    Click(video, 3);
    Keys({"g"});
    QVERIFY(!keep("Go to Time", "goto-time").isNull());
    Keys({"Escape"});
    QVERIFY(WindowGone("Go to Time"));

    // Save AVI: the file, then the compressor; Cancel there records nothing.
    Click(window + QPoint(382, 12));
    QVERIFY(!WaitForWindow("Save As").isNull());
    const QString avi = home.filePath("window.avi");
    XDo({"type", "--delay", "20", avi});
    Keys({"Return"});
    QVERIFY(!keep("Video Compression", "compressor").isNull());
    Keys({"Escape"});
    QVERIFY(WindowGone("Video Compression"));
    QVERIFY(!QFile::exists(avi));

    // Client mode's menu opens over the frame (the picture's clicks go to the recorder).
    Click(window + QPoint(260, 12));
    Click(frame, 3);
    Keys({"p", "p", "Return"});
    const QPoint network = keep("Network Options", "network-options");
    QVERIFY(!network.isNull());
    Click(network + QPoint(336, 199));  // Browse...
    QVERIFY(!keep("Find Folder", "folder-chooser").isNull());
    Keys({"Escape"});
    QVERIFY(WindowGone("Find Folder"));
    Keys({"Escape"});
    QVERIFY(WindowGone("Network Options"));

    Click(frame, 3);
    Keys({"c"});
    QVERIFY(!keep("Login", "login").isNull());
    Keys({"Escape"});
    QVERIFY(WindowGone("Login"));

    // SIGTERM closes the viewer as Exit does: the settings are written.
    QCOMPARE(viewer.state(), QProcess::Running);
    viewer.terminate();
    QVERIFY(viewer.waitForFinished(10000));
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), 0);
    QVERIFY(QFile::exists(home.filePath("viewer.INI")));
}

QTEST_MAIN(ViewerEndToEndTest)
#include "viewer_e2e_test.moc"
