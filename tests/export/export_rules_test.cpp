// Names, frame rates, progress, height doubling, the capture picture and the time text.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "codec/color_convert.h"
#include "export/avi_capture_writer.h"
#include "export/avi_export_job.h"
#include "export/avi_file.h"
#include "export/time_text.h"

namespace tamlorex {
namespace {

TEST(ExportNames, SuffixGoesBeforeTheLastDotOfTheFileName)
{
    EXPECT_EQ(ChannelOutputName("DVR.avi", 1), "DVR-CH1.avi");
    EXPECT_EQ(ChannelOutputName("/tmp/a.b/DVR.x.avi", 16), "/tmp/a.b/DVR.x-CH16.avi");
    EXPECT_EQ(ChannelOutputName("out", 2), "out-CH2");
    // A dot in a folder name is not the file's extension.
    EXPECT_EQ(ChannelOutputName("/home/j.smith/out", 1), "/home/j.smith/out-CH1");
    EXPECT_EQ(ChannelOutputName("/home/j.smith/.avi", 3), "/home/j.smith/-CH3.avi");
    EXPECT_EQ(ContainerForName("/a.mp4/DVR.Mp4"), ExportContainer::kMp4);
    EXPECT_EQ(ContainerForName("/a.mp4/DVR"), ExportContainer::kAvi);
    EXPECT_EQ(ContainerForName("mp4"), ExportContainer::kAvi);
}

TEST(ExportRates, PageRateFromHeightMaskAndInterval)
{
    const FrameRate tall = PageFrameRate(272, 0x000F, 0);
    EXPECT_EQ(tall.rate, 50u);
    EXPECT_EQ(tall.scale, 4u);
    const FrameRate shortPictures = PageFrameRate(224, 0x00FF, 3);
    EXPECT_EQ(shortPictures.rate, 60u);
    EXPECT_EQ(shortPictures.scale, 32u);
    // An empty mask counts as one channel: no zero scale.
    EXPECT_EQ(PageFrameRate(224, 0, 255).scale, 256u);
}

TEST(ExportRates, PicturesSpreadOverTheSound)
{
    // 60 seconds of 8000 Hz sound.
    const std::uint64_t duration = SoundDurationMs(480000);
    EXPECT_EQ(duration, 60000u);
    const FrameRate spread = SpreadFrameRate(300, duration);
    EXPECT_EQ(spread.rate, 300000u);
    EXPECT_EQ(spread.scale, 60000u);
    // Byte counts times 1000 past 32 bits.
    EXPECT_EQ(SoundDurationMs(std::uint64_t{1} << 40), (std::uint64_t{1} << 40) / 8);
    EXPECT_EQ(SoundDurationMs(7), 0u);
}

TEST(ExportRates, FitKeepsSmallFractionsAndShrinksLargeOnes)
{
    std::uint64_t rate = 300000, scale = 60000;
    FitRateAndScale(rate, scale);
    EXPECT_EQ(rate, 300000u);
    EXPECT_EQ(scale, 60000u);

    rate = 0;
    scale = 0;
    FitRateAndScale(rate, scale);
    EXPECT_EQ(rate, 1u);
    EXPECT_EQ(scale, 1u);

    // Exact when a divisor brings both terms into range.
    rate = 4000000000000ull;
    scale = 2000000000000ull;
    FitRateAndScale(rate, scale);
    EXPECT_EQ(rate, 2u);
    EXPECT_EQ(scale, 1u);

    // Closest otherwise: 5 000 001 000 pictures over 1 000 000 001 seconds.
    rate = 5000001000ull;
    scale = 1000000001ull;
    FitRateAndScale(rate, scale);
    EXPECT_LE(rate, static_cast<std::uint64_t>(INT_MAX));
    EXPECT_LE(scale, static_cast<std::uint64_t>(INT_MAX));
    EXPECT_NEAR(static_cast<double>(rate) / static_cast<double>(scale), 5000001000.0 / 1000000001.0, 1e-6);
}

TEST(ExportRates, TimelapseKeepsRatesUpToThirtyAndThinsEvenlyAbove)
{
    const Timelapse same = MakeTimelapse({38000, 20065}, 1);
    EXPECT_FALSE(same.drops);
    EXPECT_EQ(same.output.rate, 38000u);
    EXPECT_EQ(same.output.scale, 20065u);
    const Timelapse ten = MakeTimelapse({38000, 20065}, 10);
    EXPECT_FALSE(ten.drops);
    EXPECT_EQ(ten.output.rate * 20065, 380000u * ten.output.scale);
    EXPECT_EQ(TimelapseFrame(ten, 37), 37);

    // 189.4 pictures a second: 30 frames, each picture on the frame its time falls in.
    const Timelapse hundred = MakeTimelapse({38000, 20065}, 100);
    EXPECT_TRUE(hundred.drops);
    EXPECT_EQ(hundred.output.rate, 30u);
    EXPECT_EQ(hundred.output.scale, 1u);
    std::vector<std::int64_t> frames;
    for (int i = 0; i < 38; ++i) frames.push_back(TimelapseFrame(hundred, i));
    EXPECT_EQ(frames.front(), 0);
    EXPECT_EQ(frames.back(), 5);  // 37 / 189.4 s x 30
    for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_LE(frames[i] - frames[i - 1], 1) << i;

    // The largest rate and speed neither overflow nor stop the frames from growing.
    const Timelapse huge = MakeTimelapse({UINT32_MAX, 1}, kMaxExportSpeed);
    EXPECT_TRUE(huge.drops);
    EXPECT_LE(huge.input.rate, static_cast<std::uint64_t>(INT_MAX));
    EXPECT_EQ(TimelapseFrame(huge, 1000000), 0);
    EXPECT_GT(TimelapseFrame(huge, std::int64_t{1} << 40), 0);
}

TEST(ExportMosaic, GridSidesAndCellsFromTheTopLeft)
{
    EXPECT_EQ(MosaicSide(1), 2);
    EXPECT_EQ(MosaicSide(4), 2);
    EXPECT_EQ(MosaicSide(5), 3);
    EXPECT_EQ(MosaicSide(9), 3);
    EXPECT_EQ(MosaicSide(10), 4);
    EXPECT_EQ(MosaicSide(16), 4);

    // 2 x 2 cells of 2 x 2 pixels, bottom-up: row 0 of the buffer is the mosaic's bottom row.
    std::vector<std::uint8_t> mosaic(4 * 4 * 3, 0);
    // A 1 x 2 picture: its top pixel 7s, its bottom pixel 9s.
    const std::uint8_t picture[6] = {9, 9, 9, 7, 7, 7};
    auto at = [&](int x, int yFromTop) { return mosaic[static_cast<std::size_t>((3 - yFromTop) * 4 + x) * 3]; };
    PlaceInMosaic(mosaic.data(), 2, 2, 2, 1, picture, 1, 2);  // top right
    EXPECT_EQ(at(2, 0), 7);
    EXPECT_EQ(at(2, 1), 9);
    PlaceInMosaic(mosaic.data(), 2, 2, 2, 2, picture, 1, 2);  // bottom left
    EXPECT_EQ(at(0, 2), 7);
    EXPECT_EQ(at(0, 3), 9);
    int lit = 0;
    for (std::uint8_t b : mosaic) lit += b != 0;
    EXPECT_EQ(lit, 12);
    // A picture larger than a cell, or a cell outside the grid, is not placed.
    PlaceInMosaic(mosaic.data(), 2, 2, 2, 4, picture, 1, 2);
    PlaceInMosaic(mosaic.data(), 2, 2, 1, 0, picture, 1, 2);
    lit = 0;
    for (std::uint8_t b : mosaic) lit += b != 0;
    EXPECT_EQ(lit, 12);
}

TEST(ExportProgress, PercentAndScaledBar)
{
    EXPECT_EQ(ProgressPercent(0, 0), 0);
    EXPECT_EQ(ProgressPercent(5, 0), 0);
    EXPECT_EQ(ProgressPercent(50, 200), 25);
    EXPECT_EQ(ProgressPercent(300, 200), 100);
    const std::uint64_t big = std::uint64_t{5} << 30;  // 5 GiB
    EXPECT_EQ(ProgressPercent(big / 2, big), 50);
    const ProgressBar bar = ScaleProgress(big / 2, big);
    EXPECT_GT(bar.maximum, 0);
    EXPECT_EQ(bar.position * 2, bar.maximum);
    const ProgressBar end = ScaleProgress(big, big);
    EXPECT_EQ(end.position, end.maximum);
    const ProgressBar small = ScaleProgress(10, 4096);
    EXPECT_EQ(small.position, 10);
    EXPECT_EQ(small.maximum, 4096);
    const ProgressBar none = ScaleProgress(0, 0);
    EXPECT_EQ(none.maximum, 0);
}

TEST(ExportDoubling, EvenRowsCopyOddRowsAverageLastRepeats)
{
    const int width = 2, height = 3;
    const std::vector<std::uint8_t> src = {
        0,  10, 20, 30, 40, 50,     // row 0
        2,  12, 22, 33, 43, 255,    // row 1
        100, 0, 1, 2, 3, 4,         // row 2
    };
    std::vector<std::uint8_t> dst(static_cast<std::size_t>(width) * 3 * 2 * height + 6, 0xEE);
    DoubleHeight(dst.data(), src.data(), width, height);
    const std::vector<std::uint8_t> expected = {
        0, 10, 20, 30, 40, 50,
        1, 11, 21, 31, 41, 152,   // (50 + 255) >> 1 = 152
        2, 12, 22, 33, 43, 255,
        51, 6, 11, 17, 23, 129,
        100, 0, 1, 2, 3, 4,
        100, 0, 1, 2, 3, 4,
    };
    EXPECT_EQ(std::vector<std::uint8_t>(dst.begin(), dst.begin() + 36), expected);
    // Nothing past the doubled picture.
    for (std::size_t i = 36; i < dst.size(); ++i) EXPECT_EQ(dst[i], 0xEE);
}

TEST(CapturePicture, DoubleHeightConverterThenLineAveraging)
{
    // 2 x 4 grey picture, luma 10, 20, 30, 40 from the top; chroma neutral.
    const int width = 2, height = 4;
    std::vector<std::uint8_t> yuv(YuvPictureBytes(width, height), 128);
    for (int k = 0; k < height; ++k) yuv[2 * k] = yuv[2 * k + 1] = static_cast<std::uint8_t>(10 * (k + 1));
    const std::size_t line = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> buffer(line * 2 * height, 0x77);
    ASSERT_TRUE(BuildCapturePicture(buffer.data(), yuv.data(), width, height));
    auto at = [&](int memoryLine) { return buffer[static_cast<std::size_t>(memoryLine) * line]; };
    // Bottom-up: picture line k at memory line 2 x (height - 1 - k).
    EXPECT_EQ(at(0), 40);
    EXPECT_EQ(at(2), 30);
    EXPECT_EQ(at(4), 20);
    EXPECT_EQ(at(6), 10);
    EXPECT_EQ(at(1), 35);
    EXPECT_EQ(at(3), 25);
    EXPECT_EQ(at(5), 15);
    // The top line is never written.
    EXPECT_EQ(at(7), 0x77);
    EXPECT_FALSE(BuildCapturePicture(buffer.data(), yuv.data(), 3, height));
}

TEST(TimeText, WhiteTextWithBlackOutlineAtTheTopLeft)
{
    EXPECT_EQ(FormatExportTime(CalendarTime{2026, 3, 6, 14, 9, 5, 7, 0}), "2026/03/14 09:05:07");
    const int width = 200, height = 40;
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * height * 3, 128);
    DrawTimeText(picture.data(), width, height, "1");
    auto pixel = [&](int x, int y) {  // y from the top
        return picture[(static_cast<std::size_t>(height - 1 - y) * width + x) * 3];
    };
    // Glyph "1": its stem is column 3; row 0 of the glyph has only the stem.
    EXPECT_EQ(pixel(kTimeTextLeft + 3, kTimeTextTop), 255);
    EXPECT_EQ(pixel(kTimeTextLeft + 3, kTimeTextTop + 5), 255);
    // Outline diagonal to a white pixel that has no white neighbour there.
    EXPECT_EQ(pixel(kTimeTextLeft + 4, kTimeTextTop - 1), 0);
    EXPECT_EQ(pixel(kTimeTextLeft + 2, kTimeTextTop - 1), 0);
    // Untouched outside the text's area.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (x >= TimeTextRight("1") || y >= TimeTextBottom()) ASSERT_EQ(pixel(x, y), 128) << x << "," << y;
}

TEST(TimeText, ClipsAtThePictureEdges)
{
    // Larger than the picture: every write must stay inside (checked under AddressSanitizer).
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(12) * 6 * 3, 128);
    DrawTimeText(picture.data(), 12, 6, "2026/03/14 09:05:07");
    DrawTimeText(picture.data(), 12, 6, "88", -20, -20);
    DrawTimeText(picture.data(), 12, 6, "2026/03/14 09:05:07", -3, -4);
    bool drawn = false;
    for (std::uint8_t b : picture) drawn = drawn || b != 128;
    EXPECT_TRUE(drawn);
}

TEST(CaptureRules, FramesPerSecondAndSoundChoice)
{
    EXPECT_EQ(PlayerCaptureFramesPerSecond(224, 4, 0, 1), 30);
    EXPECT_EQ(PlayerCaptureFramesPerSecond(224, 4, 3, 8), 1);   // 60 / 4 / 8 = 1.875
    EXPECT_EQ(PlayerCaptureFramesPerSecond(272, 5, 0, 2), 25);  // min(25, 50)
    EXPECT_EQ(PlayerCaptureFramesPerSecond(272, 0, 1, 1), 12);  // 25 / 2
    EXPECT_EQ(PlayerCaptureFramesPerSecond(224, 4, 255, 16), 1);
    EXPECT_EQ(PlayerCaptureFramesPerSecond(224, 4, 0, 0), 30);
    EXPECT_EQ(ClientCaptureFramesPerSecond(272, false), 25);
    EXPECT_EQ(ClientCaptureFramesPerSecond(224, true), 25);
    EXPECT_EQ(ClientCaptureFramesPerSecond(224, false), 30);
    EXPECT_EQ(CaptureSoundRate(3), 13183u);
    EXPECT_EQ(CaptureSoundRate(5), 16000u);
    EXPECT_EQ(CaptureSoundRate(4), 8000u);
    EXPECT_TRUE(CaptureTakesSound(5, 2, 2));
    EXPECT_FALSE(CaptureTakesSound(5, 0, 2));
    EXPECT_FALSE(CaptureTakesSound(6, 1, 1));
    EXPECT_TRUE(CaptureTakesSound(4, 3, 0));
}

}  // namespace
}  // namespace tamlorex
