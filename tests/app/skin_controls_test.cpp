// The skinned controls: button strips and their frames, the pressed state that follows the
// pointer, radio groups; the slider's thumb geometry, grab, keys and active flag; the background's
// corners and edges; the timeline's zoom, pan, hover, click and rows.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "controls/skin_button.h"
#include "controls/skin_dialog.h"
#include "controls/skin_slider.h"
#include "controls/timeline_widget.h"
#include "engine/activity_scan.h"
#include "platform/notifier.h"

using namespace tamlorex;
using controls::SkinButton;
using controls::SkinSlider;

namespace {

void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Press(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
void Drag(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
void Release(QWidget* w, QPoint at) { Mouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }

void Key(QWidget* widget, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QImage Filled(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

// A strip whose frame i has colour i + 1 in its red channel, the mask frame white on its left half.
QImage NumberedStrip(int width, int frames)
{
    QImage strip = Filled(width, 10, Qt::black);
    const int w = width / frames;
    QPainter p(&strip);
    for (int i = 0; i < frames; ++i) p.fillRect(i * w, 0, w, 10, QColor(i + 1, 0, 0));
    if (frames == 5) {
        p.fillRect(4 * w, 0, w, 10, Qt::black);
        p.fillRect(4 * w, 0, w / 2, 10, Qt::white);
    }
    return strip;
}

// The slider messages it sent: (message, id, position at the time).
struct Messages {
    explicit Messages(SkinSlider& slider)
    {
        QObject::connect(&slider, &SkinSlider::sliderMessage, [this, &slider](std::uint32_t message, int id) {
            sent.push_back({message, id, slider.GetPosition()});
        });
    }
    struct Sent {
        std::uint32_t message;
        int id, position;
    };
    std::vector<Sent> sent;
};

}  // namespace

class SkinControlsTest : public QObject {
    Q_OBJECT
private slots:
    void timelineZoomsPansHoversAndSeeks();
    void stripsSplitIntoFramesAndTheMaskShowsWhatIsUnder();
    void pressedStateFollowsThePointerAndAReleaseOffSendsNoClick();
    void checkingARadioButtonClearsTheRestOfItsGroup();
    void thumbCentresValuesAndTheGrab();
    void keysMoveWithinTheRange();
    void anInactiveSliderIgnoresMouseAndKeysAndShowsNoThumb();
    void backgroundCornersAndEdges();
};

void SkinControlsTest::stripsSplitIntoFramesAndTheMaskShowsWhatIsUnder()
{
    QWidget parent;
    SkinButton button(SkinButton::Kind::Push, &parent);
    button.move(7, 9);
    QVERIFY(button.SetBitmap(NumberedStrip(120, 4)));
    QCOMPARE(button.size(), QSize(30, 10));
    QCOMPARE(button.pos(), QPoint(7, 9));
    QVERIFY(button.SetBitmap(NumberedStrip(120, 5), false, 0, true));
    QCOMPARE(button.size(), QSize(24, 10));
    QCOMPARE(button.pos(), QPoint(7, 9));
    // The normal frame shows where the mask is black, what lies under the button where it is white.
    QImage shown = Filled(24, 10, QColor(0, 200, 0));
    button.render(&shown, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(QColor(shown.pixel(18, 5)), QColor(1, 0, 0));
    QCOMPARE(QColor(shown.pixel(3, 5)), QColor(0, 200, 0));
    button.setEnabled(false);
    QCOMPARE(button.CurrentFrame(), 3);
    QVERIFY(!button.SetBitmap(QImage(3, 10, QImage::Format_ARGB32), false, 0, true));
}

void SkinControlsTest::pressedStateFollowsThePointerAndAReleaseOffSendsNoClick()
{
    QWidget parent;
    SkinButton button(SkinButton::Kind::Push, &parent);
    button.SetBitmap(NumberedStrip(120, 5), false, 0, true);
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    Mouse(&button, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(button.CurrentFrame(), 2);
    Press(&button, QPoint(5, 5));
    QCOMPARE(button.CurrentFrame(), 1);
    Drag(&button, QPoint(60, 5));
    QVERIFY(button.CurrentFrame() == 0 || button.CurrentFrame() == 2);
    Drag(&button, QPoint(6, 5));
    QCOMPARE(button.CurrentFrame(), 1);
    Drag(&button, QPoint(6, 40));
    Release(&button, QPoint(6, 40));
    QCOMPARE(clicks.count(), 0);
    Press(&button, QPoint(5, 5));
    Release(&button, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);
    QVERIFY(!button.isChecked());

    SkinButton check(SkinButton::Kind::Check, &parent);
    Press(&check, QPoint(5, 5));
    Release(&check, QPoint(5, 5));
    QVERIFY(check.isChecked());
    QCOMPARE(check.CurrentFrame(), 1);
    Key(&check, Qt::Key_Space);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(&check, &up);
    QVERIFY(!check.isChecked());
}

void SkinControlsTest::checkingARadioButtonClearsTheRestOfItsGroup()
{
    QWidget group;
    QWidget otherGroup;
    SkinButton a(SkinButton::Kind::Radio, &group);
    SkinButton b(SkinButton::Kind::Radio, &group);
    SkinButton c(SkinButton::Kind::Radio, &group);
    SkinButton elsewhere(SkinButton::Kind::Radio, &otherGroup);
    for (SkinButton* button : {&a, &b, &c, &elsewhere}) button->resize(20, 10);
    elsewhere.setChecked(true);
    a.setChecked(true);
    Press(&b, QPoint(5, 5));
    Release(&b, QPoint(5, 5));
    QVERIFY(!a.isChecked());
    QVERIFY(b.isChecked());
    // A checked radio button stays checked when clicked again.
    Press(&b, QPoint(5, 5));
    Release(&b, QPoint(5, 5));
    QVERIFY(b.isChecked());
    c.setChecked(true);
    QVERIFY(!b.isChecked());
    QVERIFY(elsewhere.isChecked());
}

void SkinControlsTest::thumbCentresValuesAndTheGrab()
{
    QWidget parent;
    SkinSlider slider(1638, &parent);
    QVERIFY(slider.SetTrackBitmaps(Filled(110, 10, Qt::green), QImage()));
    QVERIFY(slider.SetThumbBitmaps(Filled(10, 10, Qt::red), QImage()));
    QCOMPARE(slider.width(), 110);
    QCOMPARE(slider.ThumbCentre(0), 5);
    QCOMPARE(slider.ThumbCentre(50), 55);
    QCOMPARE(slider.ThumbCentre(100), 105);
    Messages messages(slider);
    // Away from the thumb: its centre jumps to the pointer.
    Press(&slider, QPoint(80, 5));
    QCOMPARE(slider.GetPosition(), 75);
    QVERIFY(slider.isSliderDown());
    Drag(&slider, QPoint(200, 5));
    QCOMPARE(slider.GetPosition(), 100);
    Release(&slider, QPoint(200, 5));
    QCOMPARE(messages.sent.size(), std::size_t{3});
    QCOMPARE(messages.sent[0].message, kSliderMoving);
    QCOMPARE(messages.sent[0].id, 1638);
    QCOMPARE(messages.sent[0].position, 75);
    QCOMPARE(messages.sent[2].message, kSliderReleased);
    // On the thumb it keeps its grip: a press 3 pixels right of the centre moves nothing, and the
    // drag keeps the offset.
    slider.SetPosition(50);
    messages.sent.clear();
    Press(&slider, QPoint(58, 5));
    QCOMPARE(slider.GetPosition(), 50);
    Drag(&slider, QPoint(68, 5));
    QCOMPARE(slider.GetPosition(), 60);
    Release(&slider, QPoint(68, 5));
    QCOMPARE(messages.sent.size(), std::size_t{2});
    // A second track that differs in size is refused.
    QVERIFY(!slider.SetTrackBitmaps(Filled(110, 10, Qt::green), Filled(100, 10, Qt::green)));
}

void SkinControlsTest::keysMoveWithinTheRange()
{
    QWidget parent;
    SkinSlider slider(1658, &parent);
    slider.SetTrackBitmaps(Filled(110, 10, Qt::green), QImage());
    Messages messages(slider);
    slider.SetPosition(90);
    Key(&slider, Qt::Key_PageDown);
    QCOMPARE(slider.GetPosition(), 100);
    Key(&slider, Qt::Key_Right);
    QCOMPARE(slider.GetPosition(), 100);
    Key(&slider, Qt::Key_PageUp);
    Key(&slider, Qt::Key_Up);
    QCOMPARE(slider.GetPosition(), 79);
    Key(&slider, Qt::Key_Home);
    QCOMPARE(slider.GetPosition(), 0);
    Key(&slider, Qt::Key_Left);
    QCOMPARE(slider.GetPosition(), 0);
    Key(&slider, Qt::Key_End);
    QCOMPARE(slider.GetPosition(), 100);
    QCOMPARE(messages.sent.size(), std::size_t{7});
    for (const auto& sent : messages.sent) QCOMPARE(sent.message, kSliderReleased);
    slider.SetPosition(500);
    QCOMPARE(slider.GetPosition(), 100);
}

void SkinControlsTest::anInactiveSliderIgnoresMouseAndKeysAndShowsNoThumb()
{
    QWidget parent;
    SkinSlider slider(1638, &parent);
    slider.SetTrackBitmaps(Filled(110, 10, Qt::green), QImage());
    slider.SetThumbBitmaps(Filled(10, 10, Qt::red), QImage());
    const auto thumbPixel = [&] {
        QImage shown = Filled(110, 10, Qt::black);
        slider.render(&shown);
        return QColor(shown.pixel(5, 5));
    };
    QCOMPARE(thumbPixel(), QColor(Qt::red));
    slider.SetActive(false);
    QCOMPARE(thumbPixel(), QColor(Qt::green));
    Messages messages(slider);
    Press(&slider, QPoint(80, 5));
    Release(&slider, QPoint(80, 5));
    Key(&slider, Qt::Key_End);
    QCOMPARE(slider.GetPosition(), 0);
    QVERIFY(messages.sent.empty());
}

void SkinControlsTest::backgroundCornersAndEdges()
{
    // Quadrants red, green, blue, white, with a yellow column at x = 10 and row at y = 5 where the
    // edge strips are taken from.
    QImage picture = Filled(20, 10, Qt::black);
    {
        QPainter p(&picture);
        p.fillRect(0, 0, 10, 5, Qt::red);
        p.fillRect(10, 0, 10, 5, Qt::green);
        p.fillRect(0, 5, 10, 5, Qt::blue);
        p.fillRect(10, 5, 10, 5, Qt::white);
        p.fillRect(10, 0, 2, 10, Qt::yellow);
        p.fillRect(0, 5, 20, 1, Qt::yellow);
    }
    controls::SkinDialog dialog;
    dialog.SetBackground(picture);
    QImage shown = Filled(100, 60, Qt::black);
    {
        QPainter p(&shown);
        dialog.PaintBackground(p, shown.size());
    }
    QCOMPARE(QColor(shown.pixel(0, 0)), QColor(Qt::red));
    QCOMPARE(QColor(shown.pixel(89, 0)), QColor(Qt::yellow));  // the top-right corner starts at W - 11
    QCOMPARE(QColor(shown.pixel(91, 0)), QColor(Qt::green));
    QCOMPARE(QColor(shown.pixel(99, 0)), QColor(Qt::black));   // the last column is left alone
    QCOMPARE(QColor(shown.pixel(0, 54)), QColor(Qt::yellow));  // the bottom-left corner starts at H - 6
    QCOMPARE(QColor(shown.pixel(0, 55)), QColor(Qt::blue));
    QCOMPARE(QColor(shown.pixel(0, 59)), QColor(Qt::black));   // and so does the last row
    QCOMPARE(QColor(shown.pixel(50, 2)), QColor(Qt::yellow));  // the top edge stretched from x = 10
    QCOMPARE(QColor(shown.pixel(3, 30)), QColor(Qt::yellow));  // the left edge from y = 5
    QCOMPARE(QColor(shown.pixel(50, 30)), QColor(Qt::black));  // the middle is not painted
}

// A day of recording, channel 0 all day, channel 3 only from noon; the wheel zooms around the
// pointer down to a minute, a drag pans, a hover names the time, a click asks for it.
void SkinControlsTest::timelineZoomsPansHoversAndSeeks()
{
    constexpr std::uint32_t kT0 = 1773446400;  // a midnight
    ActivityScan::Snapshot snap;
    snap.segments.push_back({0, 86399, kT0, kT0 + 86399});
    for (std::uint32_t i = 0; i < 1440; ++i)
        snap.samples.push_back({i, kT0 + i * 60, static_cast<std::uint16_t>(i >= 720 ? 0x9 : 0x1)});
    snap.done = true;
    controls::TimelineWidget timeline(nullptr);
    timeline.resize(720, 45);
    timeline.SetActivity(snap);
    QCOMPARE(timeline.Rows(), (std::vector<int>{0, 3}));
    QVERIFY(timeline.View().ShowsAll());
    QVERIFY(timeline.RowLitAt(0, 100) && timeline.RowLitAt(0, 700));
    QVERIFY(!timeline.RowLitAt(3, 300) && timeline.RowLitAt(3, 400));

    QSignalSpy seeks(&timeline, &controls::TimelineWidget::seekRequested);
    auto wheel = [&](QPoint at, int notches) {
        QWheelEvent event(QPointF(at), timeline.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&timeline, &event);
    };
    // The time under the pointer stays under it.
    const double under = timeline.View().TimeAt(540, 720);
    wheel(QPoint(540, 20), 2);
    constexpr double kNotch = controls::TimelineWidget::kZoomPerNotch;
    QCOMPARE(timeline.View().Span(), 86399 / (kNotch * kNotch));
    QVERIFY(std::abs(timeline.View().TimeAt(540, 720) - under) < 1);
    wheel(QPoint(540, 20), 40);
    QCOMPARE(timeline.View().Span(), TimelineView::kMinSpan);
    QVERIFY(std::abs(timeline.View().TimeAt(540, 720) - under) < 1);
    QCOMPARE(TimelineView::Label(kT0 + 3661, TimelineView::LabelStep(60, 720, 64)), std::string("01:01:01"));
    QCOMPARE(TimelineView::Label(kT0 + 3661, TimelineView::LabelStep(86400, 720, 64)), std::string("01:01"));

    // Hover shows the time at the pointer; a drag moves the view and seeks nothing.
    Mouse(&timeline, QEvent::MouseMove, QPoint(100, 20), Qt::NoButton, Qt::NoButton);
    const auto hovered = timeline.HoverTime();
    QVERIFY(hovered.has_value());
    QCOMPARE(double(*hovered), std::round(timeline.View().TimeAt(100, 720)));
    char text[48];
    FormatCalendarTime(CalendarFromPageTime(*hovered), text, sizeof text);
    QCOMPARE(timeline.HoverText(), QString::fromLatin1(text));
    const double start = timeline.View().Start();
    Press(&timeline, QPoint(400, 20));
    Drag(&timeline, QPoint(340, 20));
    Release(&timeline, QPoint(340, 20));
    QCOMPARE(seeks.count(), 0);
    QVERIFY(std::abs(timeline.View().Start() - (start + 60 * 60.0 / 720)) < 1e-6);
    // A click asks for the time under it.
    Press(&timeline, QPoint(200, 20));
    Release(&timeline, QPoint(200, 20));
    QCOMPARE(seeks.count(), 1);
    QCOMPARE(double(seeks.at(0).at(0).value<std::uint32_t>()), std::round(timeline.View().TimeAt(200, 720)));
    // Zooming out stops at the whole day.
    wheel(QPoint(10, 20), -80);
    QVERIFY(timeline.View().ShowsAll());
    QCOMPARE(timeline.View().Start(), double(kT0));
}

QTEST_MAIN(SkinControlsTest)
#include "skin_controls_test.moc"
