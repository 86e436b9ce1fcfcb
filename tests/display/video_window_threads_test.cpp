// The worker shows pictures while the user-interface thread changes the layout; run under the tsan
// preset too.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "display/mouse_report.h"
#include "display/video_window.h"

namespace tamlorex {
namespace {

constexpr int kWidths[2] = {320, 640};
constexpr int kHeights[4] = {112, 136, 224, 272};

// Every picture of one size is filled with one value, so a picture whose bytes and size
// disagree shows a store that was torn between two pictures.
std::uint8_t FillFor(int width, int height)
{
    for (int w = 0; w < 2; ++w)
        for (int h = 0; h < 4; ++h)
            if (kWidths[w] == width && kHeights[h] == height) return static_cast<std::uint8_t>(10 + w * 4 + h);
    return 0;
}

bool UniformFor(const std::uint8_t* yuv, int width, int height)
{
    const std::uint8_t value = FillFor(width, height);
    const std::size_t size = static_cast<std::size_t>(width) * height * 3 / 2;
    for (std::size_t i = 0; i < size; ++i)
        if (yuv[i] != value) return false;
    return true;
}

// Counts calls that overlap (the window must serialise all drawing) and pictures that are torn.
class CheckingRenderer : public Renderer {
public:
    void Reset(int, int) override { Enter(); Leave(); }
    void DrawPicture(const Rect&, const std::uint8_t* yuv, int width, int height) override
    {
        Enter();
        ++pictures;
        if (!UniformFor(yuv, width, height)) ++torn;
        Leave();
    }
    void DrawEmpty(const Rect&) override { Enter(); Leave(); }
    void DrawText(int, int, const std::string& text, std::uint32_t, const OsdFont&) override
    {
        Enter();
        if (text.rfind("CH", 0) != 0) ++badTexts;
        Leave();
    }
    void Present(const Rect&) override { Enter(); Leave(); }
    void PicturesCleared() override { Enter(); Leave(); }

    int pictures = 0;
    int torn = 0;
    int badTexts = 0;
    std::atomic<int> overlaps{0};

private:
    void Enter()
    {
        if (inside_.fetch_add(1) != 0) ++overlaps;
    }
    void Leave() { inside_.fetch_sub(1); }
    std::atomic<int> inside_{0};
};

TEST(VideoWindowThreads, PicturesWhileTheLayoutChanges)
{
    CheckingRenderer renderer;
    VideoWindow window;
    window.SetRenderer(&renderer);
    window.SetClientSize(720, 480);
    window.SetChannelCount(9);
    ASSERT_TRUE(window.SetSplit(9, 0));

    std::vector<std::vector<std::uint8_t>> sources;
    for (int w : kWidths)
        for (int h : kHeights)
            sources.emplace_back(static_cast<std::size_t>(w) * h * 3 / 2, FillFor(w, h));

    std::atomic<bool> done{false};
    std::atomic<int> refused{0};
    std::thread worker([&] {
        CalendarTime t;
        t.year = 2024;
        t.month = 6;
        t.day = 1;
        for (int i = 0; i < 3000; ++i) {
            const int size = i % 8;
            t.second = static_cast<std::uint16_t>(i % 60);
            if (!window.ShowPicture(i % 9, t, sources[size].data(), kWidths[size / 4], kHeights[size % 4]))
                ++refused;
        }
        done = true;
    });

    int storedTorn = 0;
    std::thread mouse([&] {
        MouseReport report;
        for (int i = 0; !done; ++i) {
            window.MouseMove(i % 700, i % 400, i % 3 == 0 ? kMouseLeftFlag : 0);
            PendingMouse().Take(report);
        }
    });

    for (int i = 0; !done; ++i) {
        switch (i % 6) {
        case 0: window.SetSplit(4, -1); break;
        case 1: window.SetSplit(9, 0); break;
        case 2: window.SetSplit(1, i % 9); break;
        case 3: window.Redraw(); break;
        case 4: window.SetClientSize(700 + i % 23, 480 - i % 17); break;
        case 5:
            if (i % 60 == 5) window.Clear();
            break;
        }
        std::vector<std::uint8_t> yuv;
        int width = 0, height = 0;
        CalendarTime time;
        if (window.GetPicture(i % 9, yuv, width, height, time) && !UniformFor(yuv.data(), width, height)) ++storedTorn;
        (void)window.OsdText(i % 9);
    }
    worker.join();
    mouse.join();

    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(storedTorn, 0);
    EXPECT_EQ(renderer.torn, 0);
    EXPECT_EQ(renderer.badTexts, 0);
    EXPECT_EQ(renderer.overlaps.load(), 0);
    EXPECT_GT(renderer.pictures, 0);
}

}  // namespace
}  // namespace tamlorex
