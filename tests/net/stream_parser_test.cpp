#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/control_packet.h"
#include "net/record_queue.h"
#include "net/stream_parser.h"

namespace tamlorex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Start(std::uint8_t type) { return {0x00, 0x00, 0x01, type}; }
Bytes Filler(std::size_t n, std::uint8_t seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(0x20 + (seed + i) % 0x60);
    return b;
}

struct ParserRig {
    RecordQueue video{kQueueBlocks, kRecordBufferSize};
    RecordQueue audio{kQueueBlocks, kLiveAudioSize};
    std::vector<std::uint16_t> codes;
    std::vector<std::size_t> sizes;
    StreamParser parser{video, audio, [this](const ControlMessage& m) {
                            codes.push_back(m.code);
                            sizes.push_back(m.size);
                        }};

    void Feed(const Bytes& b) { parser.Feed(b.data(), b.size()); }
    std::vector<Bytes> Drain(RecordQueue& q)
    {
        std::vector<Bytes> out;
        Bytes buffer(q.BlockSize());
        std::size_t length = 0;
        CalendarTime time;
        while (q.Pop(buffer.data(), length, time)) out.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        return out;
    }
};

TEST(StreamParser, PicturesRunFromStartCodeToTheNextPictureStartCode)
{
    ParserRig rig;
    const Bytes p1 = Start(0xF9) + Filler(300, 1), p2 = Start(0xF8) + Filler(200, 2);
    rig.Feed(Filler(50, 9));  // bytes before the first start code are ignored
    rig.Feed(p1 + p2);
    auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], p1);
    rig.Feed(Start(0xF9));  // the second picture is pushed only now
    pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], p2);
    EXPECT_TRUE(rig.Drain(rig.audio).empty());
}

TEST(StreamParser, PictureHeaderCarriesTheFixedLiveTime)
{
    ParserRig rig;
    rig.Feed(Start(0xF9) + Filler(20, 1) + Start(0xF9));
    Bytes buffer(kRecordBufferSize);
    std::size_t length = 0;
    CalendarTime time;
    ASSERT_TRUE(rig.video.Pop(buffer.data(), length, time));
    EXPECT_EQ(time.year, 2008);
    EXPECT_EQ(time.month, 1);
    EXPECT_EQ(time.day, 1);
    EXPECT_EQ(time.hour, 10);
    EXPECT_EQ(time.minute + time.second + time.milliseconds + time.dayOfWeek, 0);
}

TEST(StreamParser, StartCodeSplitAcrossReadsIsFound)
{
    ParserRig rig;
    const Bytes p1 = Start(0xF9) + Filler(40, 3);
    rig.Feed(p1 + Bytes{0x00, 0x00});
    rig.Feed(Bytes{0x01, 0xF9});
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], p1);
}

TEST(StreamParser, AudioBlockDropsTwoBytesAndIsPushedBeforeTheNextPicture)
{
    ParserRig rig;
    const Bytes p1 = Start(0xF9) + Filler(100, 1), samples = Filler(320, 5);
    rig.Feed(p1 + Start(0xFA) + Bytes{0xAA, 0xBB} + samples + Start(0xF8) + Filler(10, 7) + Start(0xF8));
    const auto sound = rig.Drain(rig.audio);
    ASSERT_EQ(sound.size(), 1u);
    EXPECT_EQ(sound[0], samples);
    // The picture loses the audio block and the FA start code cut at its end.
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0], p1);
}

TEST(StreamParser, OtherStartCodesEndAnAudioBlockAndCollectionGoesOn)
{
    ParserRig rig;
    rig.Feed(Start(0xFA) + Bytes{1, 2} + Filler(30, 1) + Start(0xFB) + Bytes{3, 4} + Filler(20, 2) + Start(0xF9));
    const auto sound = rig.Drain(rig.audio);
    ASSERT_EQ(sound.size(), 2u);
    EXPECT_EQ(sound[0], Filler(30, 1));
    EXPECT_EQ(sound[1], Filler(20, 2));
}

TEST(StreamParser, MessageBetweenPicturesIsHandledAndLeavesPicturesWhole)
{
    ParserRig rig;
    const Bytes p1 = Start(0xF9) + Filler(100, 1), p2 = Start(0xF8) + Filler(80, 2);
    rig.Feed(p1 + ControlPacket::Build(MSG_SERVER_CLOSED, {}));
    EXPECT_EQ(rig.parser.State(), kParsePicture);  // back in the picture it was in
    rig.Feed(p2 + ControlPacket::Build(MSG_STATUS, {5}) + Start(0xF9));
    EXPECT_EQ(rig.codes, (std::vector<std::uint16_t>{MSG_SERVER_CLOSED, MSG_STATUS}));
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0], p1);
    EXPECT_EQ(pictures[1], p2);
}

TEST(StreamParser, MessageInsideAPictureIsTakenOut)
{
    ParserRig rig;
    const Bytes head = Start(0xF9) + Filler(60, 1), tail = Filler(60, 2);
    rig.Feed(head + ControlPacket::Build(MSG_STATUS_FIVE, {1, 2, 3, 4, 5}) + tail + Start(0xF9));
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], head + tail);
    EXPECT_EQ(rig.codes, std::vector<std::uint16_t>{MSG_STATUS_FIVE});
}

TEST(StreamParser, MessageInsideAudioEndsTheBlockAndANewOneFollows)
{
    ParserRig rig;
    rig.Feed(Start(0xFA) + Bytes{1, 2} + Filler(40, 1) + ControlPacket::Build(MSG_STATUS, {1}) + Bytes{3, 4} +
             Filler(30, 2) + Start(0xF9));
    const auto sound = rig.Drain(rig.audio);
    ASSERT_EQ(sound.size(), 2u);
    EXPECT_EQ(sound[0], Filler(40, 1));
    EXPECT_EQ(sound[1], Filler(30, 2));  // its first two bytes dropped again
    EXPECT_EQ(rig.codes, std::vector<std::uint16_t>{MSG_STATUS});
}

TEST(StreamParser, MessageAfterAudioLeavesNoSoundOfStartCodeBytes)
{
    ParserRig rig;
    // The sound block resumes after the message, but only the next picture's start code follows:
    // no block of its two last bytes may reach the sound.
    const Bytes picture = Start(0xF9) + Filler(50, 3);
    rig.Feed(Start(0xFA) + Bytes{1, 2} + Filler(40, 1) + ControlPacket::Build(MSG_STATUS, {1}) + picture +
             Start(0xF8));
    const auto sound = rig.Drain(rig.audio);
    ASSERT_EQ(sound.size(), 1u);
    EXPECT_EQ(sound[0], Filler(40, 1));
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], picture);
    // An empty block is not pushed either.
    rig.Feed(Start(0xFA) + Bytes{1, 2} + Start(0xF9));
    EXPECT_TRUE(rig.Drain(rig.audio).empty());
}

TEST(StreamParser, ShortDeclaredMessageCompletesAtItsEighthByte)
{
    ParserRig rig;
    const Bytes p1 = Start(0xF9) + Filler(30, 1), after = Filler(30, 2);
    // Declared length 4: the message ends with its length field; nothing is acted on.
    rig.Feed(p1 + Start(0xFE) + Bytes{'0', '0', '0', '4'} + after + Start(0xF9));
    EXPECT_TRUE(rig.codes.empty());
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], p1 + after);
}

TEST(StreamParser, OversizedMessageIsCountedToItsLengthWithoutStoringPastTheBuffer)
{
    ParserRig rig;
    Bytes message = ControlPacket::Build(MSG_SERVER_CLOSED, {});
    const Bytes payload = Filler(3000 - message.size(), 4);
    message.insert(message.end(), payload.begin(), payload.end());
    message[4] = '0', message[5] = 'B', message[6] = 'B', message[7] = '8';  // 3000
    const Bytes p1 = Start(0xF9) + Filler(50, 1), after = Filler(70, 2);
    rig.Feed(p1 + message + after + Start(0xF9));
    ASSERT_EQ(rig.codes, std::vector<std::uint16_t>{MSG_SERVER_CLOSED});
    EXPECT_EQ(rig.sizes[0], kMessageBufferSize);
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], p1 + after);
}

TEST(StreamParser, LongUnitsAreCutToTheirBuffers)
{
    ParserRig rig;
    const Bytes big = Start(0xF9) + Filler(kRecordBufferSize + 5000, 1);
    const Bytes sound = Filler(kLiveAudioSize + 700, 3);
    rig.Feed(big + Start(0xFA) + Bytes{1, 2} + sound + Start(0xF9));
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], Bytes(big.begin(), big.begin() + kRecordBufferSize));
    const auto blocks = rig.Drain(rig.audio);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], Bytes(sound.begin(), sound.begin() + kLiveAudioSize));
}

TEST(RecordQueue, KeepsOrderDropsTheNewestWhenFullAndRefusesOversizedUnits)
{
    RecordQueue queue(4, 16);
    EXPECT_FALSE(queue.NotEmpty().IsSet());
    const CalendarTime time{};
    for (std::uint8_t i = 0; i < 6; ++i) {
        const Bytes unit(3, i);
        EXPECT_TRUE(queue.Push(unit.data(), unit.size(), time));  // drops still report success
    }
    EXPECT_TRUE(queue.NotEmpty().IsSet());
    EXPECT_EQ(queue.Count(), 4u);
    EXPECT_EQ(queue.Dropped(), 2u);
    Bytes out(16);
    std::size_t length = 0;
    CalendarTime got;
    for (std::uint8_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(queue.Pop(out.data(), length, got));
        EXPECT_EQ(length, 3u);
        EXPECT_EQ(out[0], i);  // the oldest first; units 4 and 5 were lost
    }
    EXPECT_FALSE(queue.NotEmpty().IsSet());
    EXPECT_FALSE(queue.Pop(out.data(), length, got));
    const Bytes tooLong(17, 1);
    EXPECT_FALSE(queue.Push(tooLong.data(), tooLong.size(), time));
    EXPECT_EQ(queue.Count(), 0u);
}

TEST(StreamParser, FullVideoQueueDropsLaterPictures)
{
    ParserRig rig;
    Bytes stream;
    for (int i = 0; i < 20; ++i) stream = stream + Start(0xF9) + Bytes{static_cast<std::uint8_t>(i), 0x55};
    rig.Feed(stream + Start(0xF9));
    const auto pictures = rig.Drain(rig.video);
    ASSERT_EQ(pictures.size(), kQueueBlocks);
    EXPECT_EQ(pictures.back()[4], kQueueBlocks - 1);
    EXPECT_EQ(rig.video.Dropped(), 20 - kQueueBlocks);
}

}  // namespace
}  // namespace tamlorex
