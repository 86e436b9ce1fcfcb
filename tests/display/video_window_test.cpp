#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "display/recording_renderer.h"
#include "display/video_window.h"

namespace tamlorex {
namespace {

using test::DrawCall;
using test::RecordingRenderer;

std::vector<std::uint8_t> Picture(int width, int height, std::uint8_t luma, std::uint8_t chroma)
{
    std::vector<std::uint8_t> yuv(static_cast<std::size_t>(width) * height * 3 / 2, chroma);
    std::fill(yuv.begin(), yuv.begin() + static_cast<std::ptrdiff_t>(width) * height, luma);
    return yuv;
}

CalendarTime Time(int year, int month, int day, int hour, int minute, int second)
{
    CalendarTime t;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    t.hour = static_cast<std::uint16_t>(hour);
    t.minute = static_cast<std::uint16_t>(minute);
    t.second = static_cast<std::uint16_t>(second);
    return t;
}

std::vector<int> SlotsOnPage(const VideoWindow& window)
{
    std::vector<int> slots;
    for (int slot = 0; slot < kMaxChannels; ++slot)
        if (window.PaneOnPage(slot)) slots.push_back(slot);
    return slots;
}

// --- layout and pages ---

TEST(VideoWindowLayout, NineChannelsInSplitNineAreOnePage)
{
    VideoWindow window;
    window.SetClientSize(720, 480);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));
    EXPECT_EQ(SlotsOnPage(window), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    // Stepping a single page wraps onto itself.
    ASSERT_TRUE(window.SetSplit(9, -1));
    EXPECT_EQ(window.GetPage(), 0);
    EXPECT_EQ(window.SelectedChannel(), -1);
}

TEST(VideoWindowLayout, OneChannelRefusesMultiSplits)
{
    VideoWindow window;
    window.SetClientSize(720, 480);
    window.SetChannelCount(1);
    EXPECT_FALSE(window.SetSplit(4, 0));
    EXPECT_FALSE(window.SetSplit(9, 0));
    EXPECT_EQ(window.GetSplit(), 1);
    EXPECT_TRUE(window.SetSplit(1, 0));
    EXPECT_EQ(window.SelectedChannel(), 0);
}

TEST(VideoWindowLayout, SplitFourOverNineChannelsStepsThroughThreePages)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));

    // A new split starts at page 0 even when asked for the next page.
    ASSERT_TRUE(window.SetSplit(4, -1));
    EXPECT_EQ(window.GetPage(), 0);
    EXPECT_EQ(SlotsOnPage(window), (std::vector<int>{0, 1, 2, 3}));

    ASSERT_TRUE(window.SetSplit(4, -1));
    EXPECT_EQ(window.GetPage(), 1);
    EXPECT_EQ(SlotsOnPage(window), (std::vector<int>{4, 5, 6, 7}));
    EXPECT_EQ(window.PaneRect(7), (Rect{200, 150, 400, 300}));

    ASSERT_TRUE(window.SetSplit(4, -1));
    EXPECT_EQ(window.GetPage(), 2);
    EXPECT_EQ(SlotsOnPage(window), (std::vector<int>{8}));
    EXPECT_EQ(window.PaneRect(8), (Rect{0, 0, 200, 150}));

    ASSERT_TRUE(window.SetSplit(4, -1));
    EXPECT_EQ(window.GetPage(), 0);
}

TEST(VideoWindowLayout, RemainderPixelsGoToTheFirstColumnsAndRows)
{
    VideoWindow window;
    window.SetClientSize(722, 480);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));
    const Rect expected[9] = {
        {0, 0, 241, 160},     {241, 0, 482, 160},     {482, 0, 722, 160},
        {0, 160, 241, 320},   {241, 160, 482, 320},   {482, 160, 722, 320},
        {0, 320, 241, 480},   {241, 320, 482, 480},   {482, 320, 722, 480},
    };
    for (int slot = 0; slot < 9; ++slot) EXPECT_EQ(window.PaneRect(slot), expected[slot]) << "slot " << slot;

    // Remainders in both directions: 11 x 7 in split 16 gives columns 3,3,3,2 and rows 2,2,2,1.
    window.SetChannelCount(16);
    window.SetClientSize(11, 7);
    ASSERT_TRUE(window.SetSplit(16, 0));
    EXPECT_EQ(window.PaneRect(0), (Rect{0, 0, 3, 2}));
    EXPECT_EQ(window.PaneRect(5), (Rect{3, 2, 6, 4}));
    EXPECT_EQ(window.PaneRect(15), (Rect{9, 6, 11, 7}));
}

TEST(VideoWindowLayout, PanesTileTheClientAreaWithoutGapsOrOverlap)
{
    for (int split : {1, 4, 9, 16}) {
        for (int size : {0, 1, 5, 17, 723}) {
            VideoWindow window;
            window.SetChannelCount(16);
            window.SetClientSize(size, size + 3);
            ASSERT_TRUE(window.SetSplit(split, 0));
            std::vector<int> covered(static_cast<std::size_t>(size) * (size + 3), 0);
            for (int slot : SlotsOnPage(window)) {
                const Rect r = window.PaneRect(slot);
                for (int y = r.top; y < r.bottom; ++y)
                    for (int x = r.left; x < r.right; ++x) ++covered[static_cast<std::size_t>(y) * size + x];
            }
            for (int hits : covered) ASSERT_EQ(hits, 1) << "split " << split << " size " << size;
        }
    }
}

TEST(VideoWindowLayout, RefusesSplitsAboveTheChannelCountAndOddSplits)
{
    VideoWindow window;
    window.SetClientSize(720, 480);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));
    EXPECT_FALSE(window.SetSplit(16, 0));
    EXPECT_FALSE(window.SetSplit(16, -1));
    // 0 would divide by zero in the page count; 2 is no grid.
    EXPECT_FALSE(window.SetSplit(0, -1));
    EXPECT_FALSE(window.SetSplit(2, 0));
    EXPECT_FALSE(window.SetSplit(-4, 0));
    EXPECT_EQ(window.GetSplit(), 9);
    EXPECT_EQ(window.GetPage(), 0);
}

TEST(VideoWindowLayout, FewerChannelsLeaveNoStalePanesOnThePage)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(720, 480);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));
    window.SetChannelCount(4);
    renderer.calls.clear();
    window.Redraw();
    EXPECT_EQ(SlotsOnPage(window), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(renderer.Of(DrawCall::Kind::Empty).size(), 4u);
    EXPECT_EQ(window.PaneRect(8), Rect{});
}

TEST(VideoWindowLayout, ChannelCountIsKeptWithinOneToSixteen)
{
    VideoWindow window;
    window.SetChannelCount(40);
    EXPECT_EQ(window.GetChannelCount(), kMaxChannels);
    window.SetChannelCount(0);
    EXPECT_EQ(window.GetChannelCount(), 1);
}

// --- double click ---

TEST(VideoWindowDoubleClick, InSplitOneWithoutEarlierMultiSplitStaysOnPageZero)
{
    VideoWindow window;
    window.SetClientSize(720, 480);
    window.SetChannelCount(9);
    window.MouseDoubleClick(MouseButton::Left, 100, 100);
    EXPECT_EQ(window.GetSplit(), 1);
    EXPECT_EQ(window.GetPage(), 0);
    EXPECT_EQ(window.SelectedChannel(), 0);
}

TEST(VideoWindowDoubleClick, SelectsThePaneUnderThePointAndGoesBack)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(4, 0));
    ASSERT_TRUE(window.SetSplit(4, -1));  // page 1: slots 4..7

    window.MouseDoubleClick(MouseButton::Left, 250, 200);  // bottom right: slot 7
    EXPECT_EQ(window.GetSplit(), 1);
    EXPECT_EQ(window.SelectedChannel(), 7);

    window.MouseDoubleClick(MouseButton::Left, 10, 10);
    EXPECT_EQ(window.GetSplit(), 4);
    EXPECT_EQ(window.GetPage(), 1);
    EXPECT_EQ(window.SelectedChannel(), -1);
}

TEST(VideoWindowDoubleClick, PointWithoutAPaneChangesNothing)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(4, 2));  // only slot 8, top left
    window.MouseDoubleClick(MouseButton::Left, 300, 250);
    EXPECT_EQ(window.GetSplit(), 4);
    EXPECT_EQ(window.GetPage(), 2);
}

TEST(VideoWindowDoubleClick, RightButtonDoesNotSwitch)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(4);
    ASSERT_TRUE(window.SetSplit(4, 0));
    window.MouseDoubleClick(MouseButton::Right, 10, 10);
    EXPECT_EQ(window.GetSplit(), 4);
}

TEST(VideoWindowDoubleClick, ReturnIsRefusedWhenTheChannelsShrank)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));
    window.SetChannelCount(1);
    ASSERT_TRUE(window.SetSplit(1, 0));
    window.MouseDoubleClick(MouseButton::Left, 10, 10);
    EXPECT_EQ(window.GetSplit(), 1);
}

// --- pictures ---

TEST(VideoWindowPicture, RefusesUnsupportedSizesAndChannels)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(720, 480);
    window.SetChannelCount(4);
    ASSERT_TRUE(window.SetSplit(4, 0));
    renderer.calls.clear();

    const auto big = Picture(720, 576, 50, 60);
    EXPECT_FALSE(window.ShowPicture(0, Time(2024, 1, 1, 0, 0, 0), big.data(), 704, 240));
    EXPECT_FALSE(window.ShowPicture(0, Time(2024, 1, 1, 0, 0, 0), big.data(), 640, 240));
    EXPECT_FALSE(window.ShowPicture(0, Time(2024, 1, 1, 0, 0, 0), big.data(), 352, 224));
    EXPECT_FALSE(window.ShowPicture(4, Time(2024, 1, 1, 0, 0, 0), big.data(), 640, 224));
    EXPECT_FALSE(window.ShowPicture(-1, Time(2024, 1, 1, 0, 0, 0), big.data(), 640, 224));
    EXPECT_FALSE(window.ShowPicture(0, Time(2024, 1, 1, 0, 0, 0), nullptr, 640, 224));
    EXPECT_TRUE(renderer.calls.empty());
    EXPECT_FALSE(window.HasPicture(0));

    for (int width : {320, 640})
        for (int height : {112, 136, 224, 272})
            EXPECT_TRUE(window.ShowPicture(3, Time(2024, 1, 1, 0, 0, 0), big.data(), width, height))
                << width << "x" << height;
}

TEST(VideoWindowPicture, KeepsTheLastPictureItsSizeAndTime)
{
    VideoWindow window;
    window.SetChannelCount(2);
    const auto first = Picture(640, 272, 10, 20);
    const auto second = Picture(320, 112, 30, 40);
    ASSERT_TRUE(window.ShowPicture(1, Time(2023, 5, 6, 7, 8, 9), first.data(), 640, 272));
    ASSERT_TRUE(window.ShowPicture(1, Time(2023, 5, 6, 7, 8, 10), second.data(), 320, 112));
    // A refused picture leaves the stored one alone.
    const auto odd = Picture(704, 240, 99, 99);
    ASSERT_FALSE(window.ShowPicture(1, Time(2000, 1, 1, 0, 0, 0), odd.data(), 704, 240));

    std::vector<std::uint8_t> yuv;
    int width = 0, height = 0;
    CalendarTime time;
    ASSERT_TRUE(window.GetPicture(1, yuv, width, height, time));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 112);
    EXPECT_EQ(yuv, second);
    EXPECT_EQ(time.second, 10);
    EXPECT_EQ(time.year, 2023);
    EXPECT_FALSE(window.GetPicture(0, yuv, width, height, time));
}

TEST(VideoWindowPicture, DrawsItsPaneWithOsdAndPresentsIt)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(722, 480);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));
    renderer.calls.clear();

    const auto yuv = Picture(640, 224, 77, 88);
    ASSERT_TRUE(window.ShowPicture(4, Time(2024, 2, 29, 13, 5, 9), yuv.data(), 640, 224));
    ASSERT_EQ(renderer.calls.size(), 11u);
    const DrawCall& picture = renderer.calls.front();
    EXPECT_EQ(picture.kind, DrawCall::Kind::Picture);
    EXPECT_EQ(picture.rect, (Rect{241, 160, 482, 320}));
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 224);
    EXPECT_EQ(picture.firstByte, 77);
    EXPECT_EQ(picture.lastByte, 88);
    EXPECT_EQ(renderer.calls.back().kind, DrawCall::Kind::Present);
    EXPECT_EQ(renderer.calls.back().rect, picture.rect);
}

TEST(VideoWindowPicture, OffPagePicturesAreStoredButNotDrawn)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(400, 300);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(4, 0));
    renderer.calls.clear();
    const auto yuv = Picture(640, 224, 1, 2);
    ASSERT_TRUE(window.ShowPicture(5, Time(2024, 1, 1, 0, 0, 0), yuv.data(), 640, 224));
    EXPECT_TRUE(renderer.calls.empty());
    EXPECT_TRUE(window.HasPicture(5));

    // On its page the stored picture is drawn by the full redraw.
    ASSERT_TRUE(window.SetSplit(4, 1));
    const auto pictures = renderer.Of(DrawCall::Kind::Picture);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].rect, (Rect{200, 0, 400, 150}));
}

// --- redraw and clear ---

TEST(VideoWindowRedraw, DrawsEveryPaneOfThePageThenPresentsTheWholeArea)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(400, 300);
    window.SetChannelCount(4);
    const auto yuv = Picture(320, 136, 5, 6);
    ASSERT_TRUE(window.ShowPicture(2, Time(2024, 1, 1, 0, 0, 0), yuv.data(), 320, 136));
    renderer.calls.clear();

    ASSERT_TRUE(window.SetSplit(4, 0));
    ASSERT_FALSE(renderer.calls.empty());
    EXPECT_EQ(renderer.calls.front().kind, DrawCall::Kind::Reset);
    EXPECT_EQ(renderer.calls.front().width, 400);
    EXPECT_EQ(renderer.calls.front().height, 300);

    std::vector<DrawCall::Kind> paneKinds;
    for (const DrawCall& call : renderer.calls)
        if (call.kind == DrawCall::Kind::Picture || call.kind == DrawCall::Kind::Empty) paneKinds.push_back(call.kind);
    EXPECT_EQ(paneKinds, (std::vector<DrawCall::Kind>{DrawCall::Kind::Empty, DrawCall::Kind::Empty,
                                                     DrawCall::Kind::Picture, DrawCall::Kind::Empty}));
    EXPECT_EQ(renderer.Of(DrawCall::Kind::Text).size(), 4u * 9u);
    const auto presents = renderer.Of(DrawCall::Kind::Present);
    ASSERT_EQ(presents.size(), 1u);
    EXPECT_EQ(presents[0].rect, (Rect{0, 0, 400, 300}));
    EXPECT_EQ(renderer.calls.back().kind, DrawCall::Kind::Present);
}

TEST(VideoWindowRedraw, ClearForgetsPicturesAndPaintsPanesEmpty)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(400, 300);
    window.SetChannelCount(4);
    ASSERT_TRUE(window.SetSplit(4, 0));
    const auto yuv = Picture(640, 224, 5, 6);
    for (int c = 0; c < 4; ++c) ASSERT_TRUE(window.ShowPicture(c, Time(2024, 1, 1, 0, 0, 0), yuv.data(), 640, 224));
    renderer.calls.clear();

    window.Clear();
    for (int c = 0; c < 4; ++c) EXPECT_FALSE(window.HasPicture(c));
    ASSERT_FALSE(renderer.calls.empty());
    EXPECT_EQ(renderer.calls.front().kind, DrawCall::Kind::PicturesCleared);
    EXPECT_EQ(renderer.Of(DrawCall::Kind::Empty).size(), 4u);
    EXPECT_TRUE(renderer.Of(DrawCall::Kind::Picture).empty());
    EXPECT_EQ(renderer.OsdTexts(), (std::vector<std::string>{"CH1 ", "CH2 ", "CH3 ", "CH4 "}));
}

TEST(VideoWindowRedraw, WorksWithoutARenderer)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(4);
    const auto yuv = Picture(640, 224, 5, 6);
    EXPECT_TRUE(window.SetSplit(4, 0));
    EXPECT_TRUE(window.ShowPicture(1, Time(2024, 1, 1, 0, 0, 0), yuv.data(), 640, 224));
    window.Redraw();
    window.Clear();
    EXPECT_FALSE(window.HasPicture(1));
}

TEST(VideoWindowRedraw, AnEmptyClientAreaIsNotDrawn)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(0, 300);
    EXPECT_TRUE(renderer.calls.empty());
    window.SetClientSize(320, 240);
    ASSERT_FALSE(renderer.calls.empty());
    EXPECT_EQ(renderer.calls.front().kind, DrawCall::Kind::Reset);
    EXPECT_EQ(window.PaneRect(0), (Rect{0, 0, 320, 240}));
}

// --- OSD ---

TEST(VideoWindowOsd, DefaultsAndNearBlackForZero)
{
    VideoWindow window;
    EXPECT_TRUE(window.GetShowTime());
    EXPECT_EQ(window.GetTimeFormat(), "%Y/%m/%d %H:%M:%S");
    EXPECT_EQ(window.GetTextColor(), 0x80FFFFu);
    EXPECT_EQ(window.GetOutlineColor(), 0x141414u);
    const OsdFont font = window.GetFont();
    EXPECT_EQ(font.face, "Verdana");
    EXPECT_EQ(font.height, 16);
    EXPECT_EQ(font.weight, 500);
    EXPECT_FALSE(font.italic);

    window.SetOutlineColor(0);
    window.SetTextColor(0);
    EXPECT_EQ(window.GetOutlineColor(), 0x050505u);
    EXPECT_EQ(window.GetTextColor(), 0x050505u);
    window.SetTextColor(0x010203);
    EXPECT_EQ(window.GetTextColor(), 0x010203u);
}

TEST(VideoWindowOsd, NinePassesInOrderAtTheTextPosition)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(722, 480);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));
    window.SetTextColor(0x00AA00);
    window.SetOutlineColor(0);
    window.SetFont(20, 0, 700, true, "Arial");
    renderer.calls.clear();

    const auto yuv = Picture(640, 224, 1, 2);
    ASSERT_TRUE(window.ShowPicture(4, Time(2024, 2, 29, 13, 5, 9), yuv.data(), 640, 224));
    const auto texts = renderer.Of(DrawCall::Kind::Text);
    ASSERT_EQ(texts.size(), 9u);
    const int x = 241 + 4, y = 160 + 2;
    const int expected[9][2] = {{x - 1, y - 1}, {x, y - 1}, {x + 1, y - 1}, {x - 1, y}, {x + 1, y},
                                {x - 1, y + 1}, {x, y + 1}, {x + 1, y + 1}, {x, y}};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(texts[i].x, expected[i][0]) << "pass " << i;
        EXPECT_EQ(texts[i].y, expected[i][1]) << "pass " << i;
        EXPECT_EQ(texts[i].color, i < 8 ? 0x050505u : 0x00AA00u) << "pass " << i;
        EXPECT_EQ(texts[i].text, "CH5 2024/02/29 13:05:09");
        EXPECT_EQ(texts[i].font.face, "Arial");
        EXPECT_EQ(texts[i].font.height, 20);
        EXPECT_EQ(texts[i].font.weight, 700);
        EXPECT_TRUE(texts[i].font.italic);
    }
}

TEST(VideoWindowOsd, ShowTimeOffDrawsLabelsOnly)
{
    RecordingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(720, 480);
    window.SetChannelCount(9);
    window.SetShowTime(false);
    const auto yuv = Picture(640, 224, 1, 2);
    for (int c = 0; c < 9; c += 2) ASSERT_TRUE(window.ShowPicture(c, Time(2024, 3, 1, 1, 2, 3), yuv.data(), 640, 224));
    renderer.calls.clear();
    ASSERT_TRUE(window.SetSplit(9, 0));
    EXPECT_EQ(renderer.OsdTexts(),
              (std::vector<std::string>{"CH1 ", "CH2 ", "CH3 ", "CH4 ", "CH5 ", "CH6 ", "CH7 ", "CH8 ", "CH9 "}));
}

TEST(VideoWindowOsd, TimeOfThePictureInTheTimeFormat)
{
    VideoWindow window;
    window.SetChannelCount(16);
    const auto yuv = Picture(640, 224, 1, 2);
    EXPECT_EQ(window.OsdText(15), "CH16 ");  // no picture yet
    ASSERT_TRUE(window.ShowPicture(15, Time(2024, 2, 29, 13, 5, 9), yuv.data(), 640, 224));
    EXPECT_EQ(window.OsdText(15), "CH16 2024/02/29 13:05:09");
    window.SetTimeFormat("%H-%M-%S");
    EXPECT_EQ(window.OsdText(15), "CH16 13-05-09");
    window.SetShowTime(false);
    EXPECT_EQ(window.OsdText(15), "CH16 ");
    EXPECT_EQ(window.OsdText(16), "");
    EXPECT_EQ(window.OsdText(-1), "");
}

TEST(VideoWindowOsd, OutOfRangeTimeFieldsShowTheLabelAlone)
{
    VideoWindow window;
    window.SetChannelCount(1);
    const auto yuv = Picture(640, 224, 1, 2);
    const CalendarTime bad[] = {Time(0, 1, 1, 0, 0, 0),     Time(2024, 0, 1, 0, 0, 0),  Time(2024, 13, 1, 0, 0, 0),
                                Time(2024, 1, 0, 0, 0, 0),  Time(2024, 1, 32, 0, 0, 0), Time(2024, 1, 1, 24, 0, 0),
                                Time(2024, 1, 1, 0, 60, 0), Time(2024, 1, 1, 0, 0, 60)};
    for (const CalendarTime& t : bad) {
        ASSERT_TRUE(window.ShowPicture(0, t, yuv.data(), 640, 224));
        EXPECT_EQ(window.OsdText(0), "CH1 ") << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":"
                                             << t.minute << ":" << t.second;
    }
    // The last value of every field is still shown.
    ASSERT_TRUE(window.ShowPicture(0, Time(2024, 12, 31, 23, 59, 59), yuv.data(), 640, 224));
    EXPECT_EQ(window.OsdText(0), "CH1 2024/12/31 23:59:59");
}

TEST(VideoWindowOsd, YearBeforeNineteenHundredShowsTimeZero)
{
    VideoWindow window;
    const auto yuv = Picture(640, 224, 1, 2);
    ASSERT_TRUE(window.ShowPicture(0, Time(1899, 6, 15, 12, 0, 0), yuv.data(), 640, 224));
    const std::time_t zero = 0;
    std::tm local{};
    ASSERT_NE(localtime_r(&zero, &local), nullptr);
    char expected[64];
    std::strftime(expected, sizeof expected, "%Y/%m/%d %H:%M:%S", &local);
    EXPECT_EQ(window.OsdText(0), std::string("CH1 ") + expected);
}

TEST(VideoWindowOsd, TimeTextIsAtMost128Characters)
{
    VideoWindow window;
    const auto yuv = Picture(640, 224, 1, 2);
    ASSERT_TRUE(window.ShowPicture(0, Time(2024, 1, 2, 3, 4, 5), yuv.data(), 640, 224));
    window.SetTimeFormat(std::string(126, 'x') + "%M");
    EXPECT_EQ(window.OsdText(0), "CH1 " + std::string(126, 'x') + "04");
    // One character more does not fit: the time is left out, the label stays.
    window.SetTimeFormat(std::string(127, 'x') + "%M");
    EXPECT_EQ(window.OsdText(0), "CH1 ");
    window.SetTimeFormat("");
    EXPECT_EQ(window.OsdText(0), "CH1 ");
}

// --- digital zoom ---

TEST(VideoWindowZoom, WheelZoomsAroundThePointerFromOneToEight)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(4);
    ASSERT_TRUE(window.SetSplit(4, 0));
    // Pane 4: 200..399 x 150..299. The picture point under the pointer stays under it.
    const double fx = (250 - 200 + 0.5) / 200, fy = (190 - 150 + 0.5) / 150;
    ASSERT_TRUE(window.WheelZoom(250, 190, 1));
    EXPECT_DOUBLE_EQ(window.ZoomOf(3), 1.25);
    ASSERT_TRUE(window.WheelZoom(250, 190, 3));
    const double zoom = window.ZoomOf(3);
    EXPECT_NEAR(zoom, 1.25 * 1.25 * 1.25 * 1.25, 1e-9);
    PictureView view = window.ViewOf(3);
    EXPECT_NEAR(view.left + fx * view.width, fx, 1e-9);
    EXPECT_NEAR(view.top + fy * view.height, fy, 1e-9);
    EXPECT_NEAR(view.width, 1 / zoom, 1e-9);
    EXPECT_DOUBLE_EQ(window.ZoomOf(0), 1.0);  // other panes keep theirs

    // At most 8x; the part shown stays inside the picture at a corner.
    EXPECT_TRUE(window.WheelZoom(399, 299, 40));
    EXPECT_DOUBLE_EQ(window.ZoomOf(3), 8.0);
    EXPECT_FALSE(window.WheelZoom(399, 299, 1));
    view = window.ViewOf(3);
    EXPECT_LE(view.left + view.width, 1.0 + 1e-12);
    EXPECT_LE(view.top + view.height, 1.0 + 1e-12);
    EXPECT_GE(view.left, 0.0);
    // Back out: exactly the whole picture again, never below 1x.
    EXPECT_TRUE(window.WheelZoom(300, 200, -40));
    EXPECT_EQ(window.ViewOf(3), PictureView{});
    EXPECT_FALSE(window.WheelZoom(300, 200, -1));
    EXPECT_FALSE(window.WheelZoom(500, 500, 1));  // outside every pane
}

TEST(VideoWindowZoom, DragPansAZoomedPaneAndTheZoomOutlivesSplitChanges)
{
    VideoWindow window;
    window.SetClientSize(400, 300);
    window.SetChannelCount(4);
    ASSERT_TRUE(window.SetSplit(4, 0));
    // An unzoomed pane is not panned: the press is the recorder's.
    window.MouseDown(MouseButton::Left, 50, 50);
    EXPECT_FALSE(window.Panning());
    window.MouseUp(MouseButton::Left, 50, 50);

    ASSERT_TRUE(window.WheelZoom(300, 225, std::log(2.0) / std::log(kZoomPerNotch)));  // 2x, centred
    EXPECT_NEAR(window.ZoomOf(3), 2.0, 1e-9);
    const PictureView before = window.ViewOf(3);
    window.MouseDown(MouseButton::Left, 300, 225);
    EXPECT_TRUE(window.Panning());
    // Dragging right by 20 pixels of a 200-pixel pane at 2x shows 5% more of the picture's left.
    window.MouseMove(320, 225, kMouseLeftFlag);
    EXPECT_NEAR(window.ViewOf(3).left, before.left - 0.05, 1e-9);
    EXPECT_NEAR(window.ViewOf(3).top, before.top, 1e-9);
    // Far beyond the edge it stops at the picture's edge.
    window.MouseMove(2000, -2000, kMouseLeftFlag);
    EXPECT_DOUBLE_EQ(window.ViewOf(3).left, 0.0);
    EXPECT_NEAR(window.ViewOf(3).top, 0.5, 1e-9);
    window.MouseUp(MouseButton::Left, 2000, -2000);
    EXPECT_FALSE(window.Panning());

    // Per channel: the zoom stays through split 1 and back.
    ASSERT_TRUE(window.SetSplit(1, 3));
    EXPECT_NEAR(window.ZoomOf(3), 2.0, 1e-9);
    ASSERT_TRUE(window.SetSplit(4, 0));
    EXPECT_NEAR(window.ViewOf(3).top, 0.5, 1e-9);
    EXPECT_FALSE(window.ResetZoomAt(50, 50));  // pane 1 was not zoomed
    EXPECT_TRUE(window.ResetZoomAt(300, 200));
    EXPECT_EQ(window.ViewOf(3), PictureView{});
}

TEST(VideoWindowZoom, CapturedPictureIsThePartShown)
{
    // Luma rises with the column, chroma with the row.
    std::vector<std::uint8_t> yuv(640 * 224 * 3 / 2);
    for (int y = 0; y < 224; ++y)
        for (int x = 0; x < 640; ++x) yuv[static_cast<std::size_t>(y) * 640 + x] = static_cast<std::uint8_t>(x / 4);
    for (int y = 0; y < 112; ++y)
        for (int x = 0; x < 320; ++x) yuv[640 * 224 + static_cast<std::size_t>(y) * 320 + x] = static_cast<std::uint8_t>(y);
    std::vector<std::uint8_t> out;
    ZoomPicture(yuv.data(), 640, 224, PictureView{0.5, 0.5, 0.5, 0.5}, out);
    ASSERT_EQ(out.size(), yuv.size());
    // 2x: output column 2k comes from column 320 + k, chroma row 2k from row 56 + k.
    EXPECT_EQ(out[0], 320 / 4);
    EXPECT_EQ(out[100], (320 + 50) / 4);
    EXPECT_EQ(out[639], 639 / 4);
    EXPECT_EQ(out[640 * 224], 56);
    EXPECT_EQ(out[640 * 224 + 20 * 320], 66);
    ZoomPicture(yuv.data(), 640, 224, PictureView{}, out);
    EXPECT_EQ(out, yuv);
}

}  // namespace
}  // namespace tamlorex
