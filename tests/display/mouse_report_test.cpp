#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "display/mouse_report.h"
#include "display/video_window.h"

namespace tamlorex {
namespace {

// The pending report is process-wide: every test starts from a known last code and nothing pending.
class MouseReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PendingMouse().Put(MouseReport{0, 0, 0, 0, 0});
        MouseReport drop;
        PendingMouse().Take(drop);
        window.SetClientSize(720, 480);
    }

    // The pending report, or code -1 when nothing is pending.
    MouseReport TakeReport()
    {
        MouseReport report;
        if (!PendingMouse().Take(report)) report.code = -1;
        return report;
    }

    VideoWindow window;
};

TEST_F(MouseReportTest, MovesByKeyState)
{
    window.MouseMove(10, 20, 0);
    MouseReport report = TakeReport();
    EXPECT_EQ(report.code, 0);
    EXPECT_EQ(report.x, 10);
    EXPECT_EQ(report.y, 20);
    EXPECT_EQ(report.clientWidth, 720);
    EXPECT_EQ(report.clientHeight, 480);

    window.MouseMove(11, 21, kMouseLeftFlag);
    EXPECT_EQ(TakeReport().code, 1);
    window.MouseMove(12, 22, kMouseRightFlag);
    EXPECT_EQ(TakeReport().code, 2);

    // Both buttons, or any other key held, record nothing.
    window.MouseMove(13, 23, kMouseLeftFlag | kMouseRightFlag);
    EXPECT_EQ(TakeReport().code, -1);
    window.MouseMove(13, 23, kMouseLeftFlag | 4u);
    EXPECT_EQ(TakeReport().code, -1);
    window.MouseMove(13, 23, 0x10);
    EXPECT_EQ(TakeReport().code, -1);
}

TEST_F(MouseReportTest, PressesAndRightDoubleClick)
{
    window.MouseDown(MouseButton::Left, 1, 2);
    EXPECT_EQ(TakeReport().code, 1);
    window.MouseDown(MouseButton::Right, 3, 4);
    MouseReport report = TakeReport();
    EXPECT_EQ(report.code, 2);
    EXPECT_EQ(report.x, 3);
    EXPECT_EQ(report.y, 4);
    window.MouseDoubleClick(MouseButton::Right, 5, 6);
    EXPECT_EQ(TakeReport().code, 4);
}

TEST_F(MouseReportTest, ReleaseFollowsOnlyAPressOrADrag)
{
    window.MouseDown(MouseButton::Left, 1, 1);
    window.MouseUp(MouseButton::Left, 7, 8);
    MouseReport report = TakeReport();
    EXPECT_EQ(report.code, 0);
    EXPECT_EQ(report.x, 7);
    EXPECT_EQ(report.y, 8);

    // A second release after the release records nothing.
    window.MouseUp(MouseButton::Left, 9, 9);
    EXPECT_EQ(TakeReport().code, -1);

    // After a right drag, also when the drag was already taken.
    window.MouseMove(3, 3, kMouseRightFlag);
    EXPECT_EQ(TakeReport().code, 2);
    window.MouseUp(MouseButton::Right, 4, 4);
    EXPECT_EQ(TakeReport().code, 0);

    // After a right double click (4) or a plain move (0) a release records nothing.
    window.MouseDoubleClick(MouseButton::Right, 5, 5);
    window.MouseUp(MouseButton::Right, 6, 6);
    report = TakeReport();
    EXPECT_EQ(report.code, 4);
    EXPECT_EQ(report.x, 5);
    window.MouseMove(1, 1, 0);
    TakeReport();
    window.MouseUp(MouseButton::Left, 2, 2);
    EXPECT_EQ(TakeReport().code, -1);
}

TEST_F(MouseReportTest, LeftDoubleClickIsAPressAndSwitchesTheSplit)
{
    window.SetChannelCount(4);
    ASSERT_TRUE(window.SetSplit(4, 0));
    window.MouseDoubleClick(MouseButton::Left, 400, 300);
    EXPECT_EQ(TakeReport().code, 1);
    EXPECT_EQ(window.SelectedChannel(), 3);
    // Its release then ends the press for the recorder.
    window.MouseUp(MouseButton::Left, 400, 300);
    EXPECT_EQ(TakeReport().code, 0);
}

// A zoomed pane: its left drag pans and the recorder hears nothing of it; other reports give the
// place the picture point under the pointer has in the unzoomed pane.
TEST_F(MouseReportTest, ZoomedPaneKeepsItsDragAndMapsThePointer)
{
    ASSERT_TRUE(window.WheelZoom(360, 240, std::log(2.0) / std::log(kZoomPerNotch)));  // 2x about the middle
    window.MouseDown(MouseButton::Left, 100, 100);
    window.MouseMove(120, 110, kMouseLeftFlag);
    window.MouseUp(MouseButton::Left, 120, 110);
    EXPECT_EQ(TakeReport().code, -1);

    window.ResetZoom(0);
    ASSERT_TRUE(window.WheelZoom(360, 240, std::log(2.0) / std::log(kZoomPerNotch)));
    window.MouseMove(0, 0, 0);  // the top left shows the picture point a quarter in
    MouseReport report = TakeReport();
    EXPECT_EQ(report.code, 0);
    EXPECT_EQ(report.x, 180);
    EXPECT_EQ(report.y, 120);
    window.MouseDown(MouseButton::Right, 718, 478);
    report = TakeReport();
    EXPECT_EQ(report.code, 2);
    EXPECT_EQ(report.x, 539);
    EXPECT_EQ(report.y, 359);
}

TEST_F(MouseReportTest, LaterReportsReplaceEarlierOnesAndTakeClearsThePending)
{
    window.MouseMove(1, 1, kMouseLeftFlag);
    window.MouseMove(2, 2, kMouseLeftFlag);
    window.SetClientSize(640, 360);
    window.MouseMove(3, 4, kMouseLeftFlag);
    MouseReport report = TakeReport();
    EXPECT_EQ(report.x, 3);
    EXPECT_EQ(report.y, 4);
    EXPECT_EQ(report.clientWidth, 640);
    EXPECT_EQ(report.clientHeight, 360);
    EXPECT_EQ(TakeReport().code, -1);
    EXPECT_EQ(PendingMouse().LastCode(), 1);
}

// Each report is written whole: a reader never sees fields of two events.
TEST(PendingMouseReport, ReportsAreNeverTorn)
{
    PendingMouseReport slot;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= 20000; ++i) slot.Put(MouseReport{i % 3, i, i, i, i});
        done = true;
    });
    int taken = 0;
    MouseReport report;
    for (;;) {
        const bool finished = done;
        if (!slot.Take(report)) {
            if (finished) break;
            continue;
        }
        ++taken;
        ASSERT_EQ(report.y, report.x);
        ASSERT_EQ(report.clientWidth, report.x);
        ASSERT_EQ(report.clientHeight, report.x);
        ASSERT_EQ(report.code, report.x % 3);
    }
    writer.join();
    EXPECT_GT(taken, 0);
}

}  // namespace
}  // namespace tamlorex
