// The renderers over the video window model: format classification and failure texts, the surface
// renderer's surfaces, the direct renderer, the display recording and still capture.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "display/qt/display_recording.h"
#include "display/qt/pixel_format.h"
#include "display/qt/still_capture.h"
#include "platform/file_paths.h"
#include "display/qt/video_widget.h"
#include "display/video_window.h"
#include "audio/null_audio_device.h"
#include "engine/media_engine.h"

using namespace tamlorex;
using namespace tamlorex::display;

namespace {

// A flat picture of one colour: luma y, chroma 128 (grey).
std::vector<std::uint8_t> GreyPicture(int width, int height, std::uint8_t luma)
{
    std::vector<std::uint8_t> yuv(static_cast<std::size_t>(width) * height * 3 / 2, 128);
    std::memset(yuv.data(), luma, static_cast<std::size_t>(width) * height);
    return yuv;
}

CalendarTime SomeTime()
{
    CalendarTime t;
    t.year = 2009;
    t.month = 3;
    t.day = 3;
    t.hour = 14;
    t.minute = 5;
    t.second = 9;
    return t;
}

std::uint32_t Read32(const QByteArray& bytes, int at)
{
    return static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint8_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
}

class FrameCounter : public CaptureFrameSink {
public:
    int WriteCaptureFrame(const std::uint8_t* dib24, int key) override
    {
        ++frames;
        lastKey = key;
        firstByte = dib24[0];
        return 0;
    }
    int frames = 0;
    int lastKey = -1;
    int firstByte = -1;
};

// Keeps the last frame handed on (bottom-up 24-bit lines of 640 x 448).
class FrameKeeper : public CaptureFrameSink {
public:
    int WriteCaptureFrame(const std::uint8_t* dib24, int) override
    {
        frame.assign(dib24, dib24 + 640 * 448 * 3);
        return 0;
    }
    // The grey of the pixel at (x, y) counted from the top.
    int Grey(int x, int y) const { return frame[(static_cast<std::size_t>(447 - y) * 640 + x) * 3 + 1]; }
    std::vector<std::uint8_t> frame;
};

// The left half dark (luma 30), the right half light (luma 220).
std::vector<std::uint8_t> HalvesPicture()
{
    std::vector<std::uint8_t> yuv(640 * 224 * 3 / 2, 128);
    for (int y = 0; y < 224; ++y)
        for (int x = 0; x < 640; ++x) yuv[static_cast<std::size_t>(y) * 640 + x] = x < 320 ? 30 : 220;
    return yuv;
}

bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        QTest::qWait(20);
    }
    return done();
}

struct Messages {
    std::vector<std::string> texts;
};

}  // namespace

class RendererTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void classifiesTheFiveFormats();
    void rejectsUnknownAndPaletteFormats();
    void unknownDisplayFallsBackToDirect();
    void paletteDisplayFallsBackToDirect();
    void surfaceRendererDrawsPicturesAndText();
    void pictureSurfaceMadeOnlyWhenTheSizeChanges();
    void rgb32SurfacesAreOpaque();
    void turningSurfacesOffKeepsPicturesComing();
    void directRendererDrawsTheSamePage();
    void resizeMakesANewBackSurface();
    void blitTestRunsOnceAndItsMessageIsShownOnce();
    void displayRecordingHandsOnOneFramePerRound();
    void zoomedPaneShowsItsPartWithTheLabelAtNormalSize();
    void stallNoticeIsDrawnOverThePaneAndGoesAgain();
    void liveStallAgainstTheRecorderSimulator();
    void bmpOffsetTable();
    void captureNamesAndPaths();
    void stillCaptureFileLayout();

private:
    void ShowGrey(VideoWindow& window, int channel, std::uint8_t luma, int width = 640, int height = 224)
    {
        const auto yuv = GreyPicture(width, height, luma);
        QVERIFY(window.ShowPicture(channel, SomeTime(), yuv.data(), width, height));
    }
};

void RendererTest::init() { SurfaceRenderer::ResetBlitTestForTests(); }

void RendererTest::classifiesTheFiveFormats()
{
    std::string error;
    QCOMPARE(ClassifyPixelFormat({15, 0x7C00, true, false}, error), kFormatRgb555);
    QCOMPARE(ClassifyPixelFormat({16, 0xF800, true, false}, error), kFormatRgb565);
    QCOMPARE(ClassifyPixelFormat({16, 0x001F, true, false}, error), kFormatBgr565);
    QCOMPARE(ClassifyPixelFormat({24, 0xFF0000, true, false}, error), kFormatRgb24);
    QCOMPARE(ClassifyPixelFormat({32, 0xFF0000, true, false}, error), kFormatRgb32);
    QCOMPARE(ImageFormatFor(kFormatRgb24), QImage::Format_BGR888);
    QCOMPARE(ImageFormatFor(kFormatRgb32), QImage::Format_RGB32);
    QCOMPARE(ClassifyPixelFormat(DescribeScreenDepth(24), error), kFormatRgb24);
    QCOMPARE(ClassifyPixelFormat(DescribeScreenDepth(16), error), kFormatRgb565);
}

void RendererTest::rejectsUnknownAndPaletteFormats()
{
    std::string error;
    QCOMPARE(ClassifyPixelFormat({16, 0x7C00, true, false}, error), kFormatUnknown);
    QCOMPARE(error, std::string("Unknown pixel format"));
    QCOMPARE(ClassifyPixelFormat({32, 0x0000FF, true, false}, error), kFormatUnknown);
    QCOMPARE(error, std::string("Unknown pixel format"));
    QCOMPARE(ClassifyPixelFormat({8, 0, true, true}, error), kFormatUnknown);
    QCOMPARE(error, std::string("Not support palette mode."));
    QCOMPARE(ClassifyPixelFormat(DescribeScreenDepth(8), error), kFormatUnknown);
    QCOMPARE(error, std::string("Not support palette mode."));
}

void RendererTest::unknownDisplayFallsBackToDirect()
{
    VideoWindow window;
    window.SetChannelCount(9);
    VideoWidget widget(window, nullptr);
    widget.resize(640, 448);
    widget.SetDisplayFormat({16, 0x7C00, true, false});
    widget.SetUseDirectDraw(true);
    QVERIFY(!widget.SurfacesActive());
    QCOMPARE(widget.LastError(), std::string("Unknown pixel format"));
    QVERIFY(widget.GetUseDirectDraw());
    // Pictures still reach the screen, the direct way.
    window.SetSplit(9, 0);
    ShowGrey(window, 0, 200);
    const QImage shown = widget.grab().toImage();
    QVERIFY(qGray(shown.pixel(100, 100)) > 150);
}

void RendererTest::paletteDisplayFallsBackToDirect()
{
    VideoWindow window;
    VideoWidget widget(window, nullptr);
    widget.resize(320, 240);
    widget.SetDisplayFormat({8, 0, true, true});
    widget.SetUseDirectDraw(true);
    QVERIFY(!widget.SurfacesActive());
    QCOMPARE(widget.LastError(), std::string("Not support palette mode."));
}

void RendererTest::surfaceRendererDrawsPicturesAndText()
{
    VideoWindow window;
    window.SetChannelCount(9);
    VideoWidget widget(window, nullptr);
    widget.resize(642, 450);
    widget.SetDisplayFormat({32, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    QVERIFY(widget.SurfacesActive());
    window.SetSplit(9, 0);
    ShowGrey(window, 4, 180);  // the middle pane
    const QImage back = widget.Surfaces().BackSurface();
    QCOMPARE(back.size(), QSize(642, 450));
    // Middle pane: columns 214..427, rows 150..299; its picture is light grey below the label.
    QVERIFY(qGray(back.pixel(320, 250)) > 150);
    // Other panes keep the background they were made with.
    QCOMPARE(back.pixel(100, 250) & 0xFFFFFF, 0x0A0A0Au);
    // The label is drawn in the text colour 0x80FFFF (yellow) with an outline of the same near black.
    bool yellow = false;
    for (int y = 152; y < 170 && !yellow; ++y)
        for (int x = 218; x < 250 && !yellow; ++x) {
            const QRgb p = back.pixel(x, y);
            yellow = qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 160;
        }
    QVERIFY(yellow);
    // The widget paints the back surface as it is.
    QCOMPARE(widget.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(320, 250), back.pixel(320, 250));
}

void RendererTest::pictureSurfaceMadeOnlyWhenTheSizeChanges()
{
    VideoWindow window;
    window.SetChannelCount(4);
    VideoWidget widget(window, nullptr);
    widget.resize(640, 448);
    widget.SetDisplayFormat({32, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    window.SetSplit(4, 0);
    const int made = widget.Surfaces().PictureSurfaceCreations();
    ShowGrey(window, 0, 100);  // 640 x 224 after the 640 x 272 of the start: one new surface
    QCOMPARE(widget.Surfaces().PictureSurfaceCreations(), made + 1);
    ShowGrey(window, 1, 100);
    ShowGrey(window, 2, 100);
    QCOMPARE(widget.Surfaces().PictureSurfaceCreations(), made + 1);
    ShowGrey(window, 3, 100, 320, 112);
    QCOMPARE(widget.Surfaces().PictureSurfaceCreations(), made + 2);
    QCOMPARE(widget.Surfaces().PictureSurface().size(), QSize(320, 112));
    ShowGrey(window, 3, 90, 320, 112);
    QCOMPARE(widget.Surfaces().PictureSurfaceCreations(), made + 2);
}

void RendererTest::rgb32SurfacesAreOpaque()
{
    VideoWindow window;
    VideoWidget widget(window, nullptr);
    widget.resize(320, 240);
    widget.SetDisplayFormat({32, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    ShowGrey(window, 0, 120);
    const QImage& picture = widget.Surfaces().PictureSurface();
    QCOMPARE(picture.format(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); y += 37)
        for (int x = 0; x < picture.width(); x += 41)
            QCOMPARE(qAlpha(picture.pixel(x, y)), 255);
    QCOMPARE(reinterpret_cast<const std::uint32_t*>(picture.constScanLine(10))[10] >> 24, 0xFFu);
}

void RendererTest::turningSurfacesOffKeepsPicturesComing()
{
    VideoWindow window;
    VideoWidget widget(window, nullptr);
    widget.resize(320, 240);
    widget.SetDisplayFormat({24, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    QVERIFY(widget.SurfacesActive());
    ShowGrey(window, 0, 220);
    widget.SetUseDirectDraw(false);
    QVERIFY(!widget.SurfacesActive());
    QVERIFY(widget.Surfaces().BackSurface().isNull());
    QVERIFY(widget.Surfaces().PictureSurface().isNull());
    QVERIFY(qGray(widget.grab().toImage().pixel(160, 150)) > 180);
}

void RendererTest::directRendererDrawsTheSamePage()
{
    VideoWindow window;
    window.SetChannelCount(4);
    VideoWidget widget(window, nullptr);
    widget.resize(400, 300);
    widget.SetUseDirectDraw(false);
    window.SetSplit(4, 0);
    ShowGrey(window, 3, 230);
    const QImage shown = widget.grab().toImage();
    QVERIFY(qGray(shown.pixel(300, 250)) > 200);  // pane 4, bottom right
    QCOMPARE(qGray(shown.pixel(100, 250)), 0);    // pane 3, empty: black
    // The label of the empty pane is drawn too.
    bool text = false;
    for (int y = 152; y < 168 && !text; ++y)
        for (int x = 4; x < 40 && !text; ++x) text = qRed(shown.pixel(x, y)) > 200;
    QVERIFY(text);
}

void RendererTest::resizeMakesANewBackSurface()
{
    VideoWindow window;
    VideoWidget widget(window, nullptr);
    widget.resize(320, 240);
    widget.SetDisplayFormat({32, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    QCOMPARE(widget.Surfaces().BackSurface().size(), QSize(320, 240));
    widget.show();
    widget.resize(500, 400);
    QCOMPARE(widget.Surfaces().BackSurface().size(), QSize(500, 400));
    ShowGrey(window, 0, 200);
    QVERIFY(qGray(widget.Surfaces().BackSurface().pixel(450, 350)) > 150);
}

namespace {
bool CompareFails() { return false; }
}  // namespace

void RendererTest::blitTestRunsOnceAndItsMessageIsShownOnce()
{
    SurfaceRenderer::SetBlitCompareHookForTests(&CompareFails);
    VideoWindow window;
    VideoWidget widget(window, nullptr);
    std::vector<std::string> shown;
    widget.SetMessageHandler([&](const std::string& text, const std::string& caption) { shown.push_back(caption + ": " + text); });
    widget.resize(320, 240);
    widget.SetDisplayFormat({32, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    QVERIFY(!widget.SurfacesActive());
    QVERIFY(SurfaceRenderer::BlitTestDone());
    // Size changes keep the direct way; turning the setting off and on makes the surfaces without testing again.
    widget.resize(330, 250);
    QVERIFY(!widget.SurfacesActive());
    widget.SetUseDirectDraw(false);
    widget.SetUseDirectDraw(true);
    QVERIFY(widget.SurfacesActive());
    SurfaceRenderer::SetBlitCompareHookForTests(nullptr);
    QCoreApplication::processEvents();  // the message comes from the GUI thread, after the lock
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0], std::string("Display error: Your graphic card does not fully support DirectDraw."));
}

void RendererTest::displayRecordingHandsOnOneFramePerRound()
{
    VideoWindow window;
    window.SetChannelCount(4);
    window.SetMode(1);
    VideoWidget widget(window, nullptr);
    widget.resize(320, 240);
    widget.SetUseDirectDraw(false);
    window.SetSplit(4, 0);
    FrameCounter sink;
    widget.StartDisplayRecording(&sink, 640, 448);
    // The recording needs the surfaces: they go on for it, the setting stays off.
    QVERIFY(widget.SurfacesActive());
    QVERIFY(!widget.GetUseDirectDraw());
    for (int c = 0; c < 4; ++c) ShowGrey(window, c, 200);
    QCOMPARE(sink.frames, 0);
    ShowGrey(window, 0, 200);  // channel 0 again: one round is complete
    QCOMPARE(sink.frames, 1);
    QCOMPARE(sink.lastKey, 1);
    QVERIFY(sink.firstByte > 150);  // bottom-up: the first bytes are the bottom left pane's
    widget.StopDisplayRecording();
    QVERIFY(!widget.SurfacesActive());
    ShowGrey(window, 1, 200);
    ShowGrey(window, 1, 200);
    QCOMPARE(sink.frames, 1);
    // Turned on during a recording, the setting holds after it.
    widget.StartDisplayRecording(&sink, 640, 448);
    widget.SetUseDirectDraw(true);
    widget.StopDisplayRecording();
    QVERIFY(widget.GetUseDirectDraw());
    QVERIFY(widget.SurfacesActive());
}

// 2x about (480, 112) of a 640 x 224 pane shows the picture from x = 0.375 on: its middle lands at
// x = 160, so x = 250 turns light. The label keeps its size and place over the dark left part.
void RendererTest::zoomedPaneShowsItsPartWithTheLabelAtNormalSize()
{
    const auto halves = HalvesPicture();
    const double twice = std::log(2.0) / std::log(kZoomPerNotch);
    for (const bool surfaces : {true, false}) {
        VideoWindow window;
        window.SetMode(1);
        VideoWidget widget(window, nullptr);
        widget.resize(640, 224);
        widget.SetDisplayFormat({32, 0xFF0000, true, false});
        widget.SetUseDirectDraw(surfaces);
        QCOMPARE(widget.SurfacesActive(), surfaces);
        QVERIFY(window.ShowPicture(0, SomeTime(), halves.data(), 640, 224));
        const QImage before = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(qGray(before.pixel(250, 150)) < 60);
        QVERIFY(window.WheelZoom(480, 112, twice));
        const QImage after = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(qGray(after.pixel(250, 150)) > 180);
        QVERIFY(qGray(after.pixel(150, 150)) < 60);
        QCOMPARE(after.copy(0, 0, 150, 30), before.copy(0, 0, 150, 30));
        bool yellow = false;
        for (int y = 2; y < 24 && !yellow; ++y)
            for (int x = 4; x < 60 && !yellow; ++x)
                yellow = qRed(after.pixel(x, y)) > 200 && qGreen(after.pixel(x, y)) > 200 && qBlue(after.pixel(x, y)) < 160;
        QVERIFY(yellow);
        // A middle click returns to the whole picture.
        QTest::mouseClick(&widget, Qt::MiddleButton, {}, QPoint(300, 100));
        QCOMPARE(window.ZoomOf(0), 1.0);
        QVERIFY(qGray(widget.grab().toImage().pixel(250, 150)) < 60);
    }

    // "Save AVI" records the zoomed part too.
    VideoWindow window;
    window.SetMode(1);
    VideoWidget widget(window, nullptr);
    widget.resize(640, 224);
    widget.SetUseDirectDraw(false);
    FrameKeeper sink;
    widget.StartDisplayRecording(&sink, 640, 448);
    QVERIFY(window.WheelZoom(480, 112, twice));
    QVERIFY(window.ShowPicture(0, SomeTime(), halves.data(), 640, 224));
    QVERIFY(window.ShowPicture(0, SomeTime(), halves.data(), 640, 224));
    QVERIFY(!sink.frame.empty());
    QVERIFY(sink.Grey(250, 300) > 180);
    QVERIFY(sink.Grey(150, 300) < 60);
    widget.StopDisplayRecording();
}

void RendererTest::stallNoticeIsDrawnOverThePaneAndGoesAgain()
{
    for (const bool surfaces : {true, false}) {
        VideoWindow window;
        window.SetMode(2);
        VideoWidget widget(window, nullptr);
        widget.resize(640, 448);
        widget.SetDisplayFormat({32, 0xFF0000, true, false});
        widget.SetUseDirectDraw(surfaces);
        QCOMPARE(widget.SurfacesActive(), surfaces);
        ShowGrey(window, 0, 16);  // nearly black: the white text shows
        // The back surface as it stands (a grab of a hidden widget would make it anew).
        const auto whiteInTheMiddle = [&] {
            const QImage shown = surfaces ? widget.Surfaces().ScreenImage() : widget.grab().toImage();
            int white = 0;
            for (int y = 180; y < 270; ++y)
                for (int x = 200; x < 440; ++x) white += qGray(shown.pixel(x, y)) > 200 ? 1 : 0;
            return white;
        };
        QCOMPARE(whiteInTheMiddle(), 0);
        window.SetNotice({"No picture since 14:05:09", "Reconnecting..."});
        QVERIFY(whiteInTheMiddle() > 50);
        window.SetNotice({});
        QCOMPARE(whiteInTheMiddle(), 0);
        // Over a pane without a picture too, and gone again.
        window.Clear();
        window.SetNotice({"No picture since 14:05:09"});
        QVERIFY(whiteInTheMiddle() > 20);
        window.SetNotice({});
        QCOMPARE(whiteInTheMiddle(), 0);
    }
}

// Client mode's engine against `tamlorex-sim serve`, which stops its pictures from 1.5 s to 3 s
// after the login (its sound goes on): the notice comes after the stall time and goes with the
// next picture.
void RendererTest::liveStallAgainstTheRecorderSimulator()
{
    QProcess sim;
    sim.start(TAMLOREX_SIM_PATH, {"serve", "--port", "0", "--password", "pw", "--seconds", "20", "--picture-gap", "1.5,1.5"});
    QVERIFY(sim.waitForStarted());
    int port = 0;
    QVERIFY(WaitFor([&] {
        sim.waitForReadyRead(20);
        const QString text = QString::fromUtf8(sim.peek(4096));
        const int at = text.indexOf("{\"listening\":");
        if (at >= 0) port = text.mid(at + 13).section(QLatin1Char('}'), 0, 0).toInt();
        return port > 0;
    }));
    NullAudioDevice audio;
    MediaEngine engine(audio, nullptr, nullptr);
    engine.Initialize(2, 1);
    QVERIFY(engine.SetMode(kClientMode, 2, 1));
    QCOMPARE(engine.GetStallThresholdMs(), 3000);
    engine.SetStallThresholdMs(600);
    VideoWidget widget(engine.Window(), nullptr);
    widget.resize(640, 448);
    widget.SetDisplayFormat({32, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    QVERIFY(widget.SurfacesActive());
    // Whether the middle of the window differs from the last picture drawn alone into a window of
    // its own (taken under the lock: the back surface holds that picture).
    VideoWindow plain;
    plain.SetMode(2);
    VideoWidget reference(plain, nullptr);
    reference.resize(640, 448);
    reference.SetDisplayFormat({32, 0xFF0000, true, false});
    reference.SetUseDirectDraw(true);
    const auto noticeShown = [&] {
        QImage shown;
        std::vector<std::uint8_t> yuv;
        int width = 0, height = 0;
        CalendarTime time;
        engine.Window().WithLock([&] {
            shown = widget.Surfaces().BackSurface().copy();
            engine.Window().GetPicture(0, yuv, width, height, time);
        });
        if (!plain.ShowPicture(0, time, yuv.data(), width, height)) return true;
        const QRect middle(160, 170, 320, 110);
        return shown.copy(middle) != reference.Surfaces().BackSurface().copy(middle);
    };
    QVERIFY(engine.ConnectClient("127.0.0.1", port, "pw"));
    QVERIFY(WaitFor([&] { return engine.Window().HasPicture(0); }));
    QVERIFY(engine.StallText().empty());
    QVERIFY(!noticeShown());

    QVERIFY(WaitFor([&] { return !engine.Window().GetNotice().empty(); }, 5000));
    const std::vector<std::string> lines = engine.Window().GetNotice();
    QCOMPARE(lines.size(), std::size_t{2});
    QVERIFY(QString::fromStdString(lines[0]).contains(QRegularExpression("^No picture since \\d\\d:\\d\\d:\\d\\d$")));
    QCOMPARE(lines[1], std::string("Connected, waiting for pictures"));
    QCOMPARE(engine.StallText(), lines[0] + ", waiting");
    QVERIFY(noticeShown());

    QVERIFY(WaitFor([&] { return engine.Window().GetNotice().empty(); }, 5000));
    QVERIFY(engine.StallText().empty());
    QVERIFY(WaitFor([&] { return !noticeShown(); }, 1000));
    engine.DisconnectClient();
    sim.kill();
    sim.waitForFinished();
}

void RendererTest::bmpOffsetTable()
{
    QCOMPARE(BmpPixelOffset(0, 32, 0), 54u);
    QCOMPARE(BmpPixelOffset(0, 24, 0), 54u);
    QCOMPARE(BmpPixelOffset(0, 8, 0), 14u + 40u + 1024u);
    QCOMPARE(BmpPixelOffset(0, 4, 3), 14u + 40u + 12u);
    QCOMPARE(BmpPixelOffset(0, 24, 2), 14u + 40u + 8u);
    QCOMPARE(BmpPixelOffset(1, 8, 0), 14u + 40u + 1024u);
    QCOMPARE(BmpPixelOffset(2, 4, 0), 14u + 40u + 64u);
    QCOMPARE(BmpPixelOffset(3, 16, 0), 14u + 52u);
    QCOMPARE(BmpPixelOffset(3, 16, 2), 14u + 52u + 8u);
    QCOMPARE(BmpPixelOffset(9, 16, 2), 54u);
}

void RendererTest::captureNamesAndPaths()
{
    std::tm t{};
    t.tm_year = 2009 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 3;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    QCOMPARE(StillCaptureName(t), std::string("20090303-140509.bmp"));
    QCOMPARE(JoinFolderPath("", "a.bmp"), std::string("a.bmp"));
    QCOMPARE(JoinFolderPath("/", "a.bmp"), std::string("a.bmp"));
    QCOMPARE(JoinFolderPath("/data/", "a.bmp"), std::string("/data/a.bmp"));
    QCOMPARE(JoinFolderPath("/data", "a.bmp"), std::string("/data/a.bmp"));
    QTemporaryDir dir;
    const std::string first = dir.filePath("x.bmp").toStdString();
    QCOMPARE(FreeFilePath(first), first);
    QFile(QString::fromStdString(first)).open(QIODevice::WriteOnly);
    QCOMPARE(FreeFilePath(first), dir.filePath("x-1.bmp").toStdString());
    QFile(dir.filePath("x-1.bmp")).open(QIODevice::WriteOnly);
    QCOMPARE(FreeFilePath(first), dir.filePath("x-2.bmp").toStdString());
}

void RendererTest::stillCaptureFileLayout()
{
    VideoWindow window;
    window.SetChannelCount(4);
    VideoWidget widget(window, nullptr);
    widget.resize(322, 243);
    widget.SetDisplayFormat({32, 0xFF0000, true, false});
    widget.SetUseDirectDraw(true);
    window.SetSplit(4, 0);
    ShowGrey(window, 0, 250);  // top left: white
    QTemporaryDir dir;
    const std::string folder = dir.filePath("stills").toStdString();  // one level to make
    const std::string first = StillCapture(widget, folder);
    QVERIFY(!first.empty());
    QVERIFY(first.find(folder + "/") == 0);
    const std::string second = StillCapture(widget, folder);
    QVERIFY(!second.empty());
    QVERIFY(second != first);  // never overwritten

    QFile file(QString::fromStdString(first));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const int rowBytes = 322 * 4;
    QCOMPARE(bytes.size(), 14 + 40 + rowBytes * 243);
    QCOMPARE(bytes[0], 'B');
    QCOMPARE(bytes[1], 'M');
    QCOMPARE(Read32(bytes, 2), static_cast<std::uint32_t>(bytes.size()));
    QCOMPARE(Read32(bytes, 6), 0u);
    QCOMPARE(Read32(bytes, 10), 54u);
    QCOMPARE(Read32(bytes, 14), 40u);
    QCOMPARE(Read32(bytes, 18), 322u);  // the video window's size
    QCOMPARE(Read32(bytes, 22), 243u);
    QCOMPARE(Read32(bytes, 26) & 0xFFFF, 1u);
    QCOMPARE(Read32(bytes, 26) >> 16, 32u);
    QCOMPARE(Read32(bytes, 30), 0u);
    // Rows bottom-up: the last row in the file is the top of the window, with the white pane.
    const int topRow = 54 + rowBytes * 242;
    QVERIFY(static_cast<std::uint8_t>(bytes[topRow + 4 * 100]) > 200);
    QVERIFY(static_cast<std::uint8_t>(bytes[54 + 4 * 100]) < 20);  // bottom left: the background
    // The clipboard holds the same picture.
    const QImage clip = QGuiApplication::clipboard()->image();
    QCOMPARE(clip.size(), QSize(322, 243));
}

QTEST_MAIN(RendererTest)
#include "renderer_test.moc"
