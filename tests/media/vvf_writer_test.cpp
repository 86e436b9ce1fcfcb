#include <gtest/gtest.h>

#include <memory>

#include "media/vvf_builder.h"
#include "media/vvf_reader.h"
#include "media/vvf_writer.h"

namespace tamlorex {
namespace {

using test::Bytes;
using test::TempDir;

constexpr std::uint32_t kNow = 1230000000;

// A picture as the live stream carries it: bit 7 of byte 4 marks a full picture, bytes 5..6
// hold the frame number.
Bytes LivePicture(bool full, std::uint8_t quantiser, std::uint8_t channel, std::uint16_t frame, std::size_t payload)
{
    Bytes r = {0x00, 0x00, 0x01, 0xF8,
               static_cast<std::uint8_t>((full ? 0x80 : 0) | (quantiser << 3) | channel),
               static_cast<std::uint8_t>(frame >> 8), static_cast<std::uint8_t>(frame)};
    for (std::size_t i = 0; i < payload; ++i) r.push_back(static_cast<std::uint8_t>(0x20 + i % 200));
    return r;
}

class WriterTest : public ::testing::Test {
protected:
    void Start(int model, int split = 4)
    {
        writer.Configure(2, model, split);
        writer.SetClock([] { return static_cast<std::time_t>(kNow); });
        ASSERT_TRUE(writer.Open(path));
    }
    bool Video(Bytes r) { return writer.WriteVideo(r.data(), static_cast<std::uint32_t>(r.size())); }
    Bytes Finish()
    {
        writer.Close();
        return test::ReadFile(path);
    }

    TempDir dir;
    std::string path = dir.Path("live.vvf");
    VvfWriter writer;
};

TEST_F(WriterTest, NothingIsWrittenBeforeTheFirstFullPicture)
{
    Start(4);
    const std::uint8_t sound[20] = {1, 2};
    EXPECT_FALSE(writer.WriteAudio(sound, sizeof sound));
    EXPECT_FALSE(Video(LivePicture(false, 3, 1, 1, 50)));
    EXPECT_EQ(writer.BytesWritten(), 0u);
    EXPECT_TRUE(Video(LivePicture(true, 3, 1, 2, 50)));
    EXPECT_TRUE(Video(LivePicture(false, 3, 1, 3, 50)));
    EXPECT_TRUE(writer.WriteAudio(sound, sizeof sound));
    const Bytes file = Finish();
    EXPECT_EQ(file.size(), kPageSize);

    // Closed: every write is refused.
    EXPECT_FALSE(Video(LivePicture(true, 3, 1, 4, 50)));
    EXPECT_FALSE(writer.WriteAudio(sound, sizeof sound));
}

TEST_F(WriterTest, StoredFormAndPagesReadBack)
{
    Start(4);
    Bytes full = LivePicture(true, 5, 3, 100, 6000);
    ASSERT_TRUE(writer.WriteVideo(full.data(), static_cast<std::uint32_t>(full.size())));
    // Converted in place: type byte F9, quantiser moved to bits 4..7, the full-picture bit gone.
    EXPECT_EQ(full[3], 0xF9);
    EXPECT_EQ(full[4], static_cast<std::uint8_t>(((0x80 | (5 << 3) | 3) << 1)));
    Bytes update = LivePicture(false, 5, 3, 104, 3000);
    update[3] = 0xF9;  // the live type byte means nothing: the stored one says "update"
    ASSERT_TRUE(writer.WriteVideo(update.data(), static_cast<std::uint32_t>(update.size())));
    EXPECT_EQ(update[3], 0xF8);
    const std::uint8_t samples[30] = {9, 9, 7, 7};
    ASSERT_TRUE(writer.WriteAudio(samples, sizeof samples));
    Bytes last = LivePicture(false, 5, 3, 105, 10);
    ASSERT_TRUE(writer.WriteVideo(last.data(), static_cast<std::uint32_t>(last.size())));
    const Bytes file = Finish();
    ASSERT_EQ(file.size() % kPageSize, 0u);
    ASSERT_EQ(file.size(), 3 * kPageSize);

    // Every page has a good header: the writer's time, mask 1, the interval when it was begun.
    for (std::size_t p = 0; p < file.size(); p += kPageSize) {
        EXPECT_TRUE(PageChecksumMatches(file.data() + p));
        const PageHeader h = PageHeader::Decode(file.data() + p, false);
        EXPECT_EQ(h.time, kNow);
        EXPECT_EQ(h.mask, 1);
    }
    EXPECT_EQ(PageHeader::Decode(file.data(), false).interval, 99);          // 100 - 0 - 1
    EXPECT_EQ(PageHeader::Decode(file.data() + kPageSize, false).interval, 99);
    EXPECT_EQ(PageHeader::Decode(file.data() + 2 * kPageSize, false).interval, 3);  // begun by frame 104

    VvfReader reader;
    reader.SetModelType(4);
    ASSERT_TRUE(reader.Open(path, false));
    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    std::uint32_t n = reader.ReadNext(buffer.get());
    EXPECT_EQ(Bytes(buffer.get(), buffer.get() + n), full);
    n = reader.ReadNext(buffer.get());
    EXPECT_EQ(Bytes(buffer.get(), buffer.get() + n), update);
    n = reader.ReadNext(buffer.get());
    ASSERT_TRUE(reader.IsAudio());
    // The two first bytes of the unit are the two bytes readers skip.
    EXPECT_EQ(Bytes(buffer.get(), buffer.get() + n), Bytes(samples + 2, samples + sizeof samples));
    // The closing start code ends the last record, and is itself never delivered.
    n = reader.ReadNext(buffer.get());
    EXPECT_EQ(Bytes(buffer.get(), buffer.get() + n), last);
    EXPECT_EQ(reader.ReadNext(buffer.get()), 0u);
    EXPECT_EQ(reader.ReadNext(buffer.get()), 0u);
    reader.SetPosition(reader.GetSize());
    n = reader.ReadPrevious(buffer.get());
    EXPECT_EQ(Bytes(buffer.get(), buffer.get() + n), last);
}

TEST_F(WriterTest, IntervalFromFrameNumbers)
{
    Start(4);
    const std::uint16_t frames[] = {10, 11, 11, 14, 0xFFFF, 2, 200};
    const std::uint8_t expected[] = {9, 0, 0, 2, 0x7F & (0xFFFF - 14 - 1), 0x7F & 0xFFFF0002u, 0x7F & (198 - 1)};
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        // Each picture fills exactly one page body, so each begins a page with its interval.
        ASSERT_TRUE(Video(LivePicture(true, 2, 0, frames[i], kPageBodySize - 7)));
    }
    const Bytes file = Finish();
    // The closing start code after the last picture begins one more page.
    ASSERT_EQ(file.size(), (std::size(frames) + 1) * kPageSize);
    for (std::size_t i = 0; i < std::size(frames); ++i)
        EXPECT_EQ(file[i * kPageSize + 6], expected[i]) << i;
}

TEST_F(WriterTest, SixteenWaySplitMasksTheStoredHeader)
{
    Start(5, 16);
    Bytes r = LivePicture(true, 7, 9, 0x1234, 20);
    ASSERT_TRUE(writer.WriteVideo(r.data(), static_cast<std::uint32_t>(r.size())));
    EXPECT_EQ(r[4], ((0x80 | (7 << 3) | 9) << 1) & 0xF0);
    EXPECT_EQ(r[5], 0x12 & 0x07);
}

TEST_F(WriterTest, ModelTwoIsStoredAsReceived)
{
    Start(2);
    const Bytes original = LivePicture(true, 7, 9, 5, 20);
    Bytes r = original;
    ASSERT_TRUE(writer.WriteVideo(r.data(), static_cast<std::uint32_t>(r.size())));
    EXPECT_EQ(r, original);
}

TEST_F(WriterTest, ModelSixWritesBigEndianHeaders)
{
    Start(6);
    ASSERT_TRUE(Video(LivePicture(true, 2, 0, 1, 100)));
    const Bytes file = Finish();
    const PageHeader h = PageHeader::Decode(file.data(), true);
    EXPECT_EQ(h.time, kNow);
    EXPECT_EQ(h.mask, 1);
    EXPECT_EQ(file[0], kNow >> 24);
}

TEST_F(WriterTest, ModelZeroWritesCalendarPagesAndKeepsTheRest)
{
    setenv("TZ", "UTC", 1);
    tzset();
    Start(0);
    ASSERT_TRUE(Video(LivePicture(true, 2, 0, 1, 5000)));
    const std::uint8_t sound[100] = {};
    ASSERT_TRUE(writer.WriteAudio(sound, sizeof sound));
    // Too large for the accumulation buffer: dropped.
    EXPECT_FALSE(Video(LivePicture(false, 2, 0, 2, 200000)));
    const Bytes file = Finish();
    ASSERT_EQ(file.size() % kPageSize, 0u);
    ASSERT_EQ(file.size(), 3 * kPageSize);  // one full video page, the video rest, the sound
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{8, 12, 23, 2, 40, 0, 0, 1}));
    EXPECT_EQ(file[2 * kPageSize + 1], 12 | 0x80);  // sound pages flag their month byte
}

TEST_F(WriterTest, OpenTwiceKeepsTheFileAndFailureIsReported)
{
    Start(4);
    ASSERT_TRUE(Video(LivePicture(true, 2, 0, 1, 100)));
    EXPECT_TRUE(writer.Open(dir.Path("other.vvf")));
    EXPECT_GT(writer.BytesWritten(), 0u);
    writer.Close();

    VvfWriter second;
    second.Configure(2, 4, 4);
    EXPECT_FALSE(second.Open(dir.Path("missing/folder.vvf")));
    EXPECT_FALSE(second.IsOpen());
}

}  // namespace
}  // namespace tamlorex
