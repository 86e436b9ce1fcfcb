#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/audio_out.h"
#include "fake_audio_device.h"

namespace tamlorex {
namespace {

std::int16_t SampleAt(const std::uint8_t* ring, std::size_t offset)
{
    return static_cast<std::int16_t>(ring[offset] | (ring[(offset + 1) % kAudioRingSize] << 8));
}

class AudioOutTest : public ::testing::Test {
protected:
    void Open(int rate = 8000, int bits = 8)
    {
        ASSERT_EQ(out.OpenDevice(rate, bits), 1);
        ASSERT_EQ(out.StartLoop(), 1);
        device.Watch(out.Ring());
    }
    // Brings the written counter to `total` with the device keeping pace, so nothing is refused.
    void Feed(std::uint32_t total, std::uint8_t value = 0x40)
    {
        std::vector<std::uint8_t> block(15000, value);
        while (out.WrittenCounter() != total) {
            const std::uint32_t n = std::min<std::uint32_t>(15000, total - out.WrittenCounter());
            device.At(out.WrittenCounter());
            ASSERT_EQ(out.WriteRaw(block.data(), n), AudioWrite::Written);
        }
    }

    FakeAudioDevice device;
    RecordingAlerts alerts;
    AudioOut out{device, &alerts};
};

TEST(AudioFormat, FollowsTheModelType)
{
    struct Case {
        int model, rate, bits;
        bool alaw;
    };
    const Case cases[] = {{0, 8000, 16, true},   {1, 8000, 16, true},  {2, 8000, 16, true},
                          {3, 13183, 16, true},  {4, 8000, 8, false},  {5, 16000, 8, false},
                          {6, 16000, 8, false},  {7, 8000, 16, true},  {-1, 8000, 16, true}};
    for (const Case& c : cases) {
        const AudioFormat format = AudioFormatForModel(c.model);
        EXPECT_EQ(format.rate, c.rate) << c.model;
        EXPECT_EQ(format.bits, c.bits) << c.model;
        EXPECT_EQ(ModelUsesALaw(c.model), c.alaw) << c.model;
    }
}

TEST(ALaw, KnownCodes)
{
    EXPECT_EQ(ALawToLinear(0x00), -5504);
    EXPECT_EQ(ALawToLinear(0x80), 5504);
    EXPECT_EQ(ALawToLinear(0xD5), 8);
    EXPECT_EQ(ALawToLinear(0x55), -8);
    EXPECT_EQ(ALawToLinear(0x2A), -32256);
    EXPECT_EQ(ALawToLinear(0xAA), 32256);
}

TEST(ALaw, TableIsOddSymmetricAndMonotonicWithG711Steps)
{
    // Order the positive codes by level: undo the even-bit inversion, then 0..127 is the level.
    int previous = 0;
    for (int level = 0; level < 128; ++level) {
        const auto code = static_cast<std::uint8_t>((0x80 | level) ^ 0x55);
        const int value = ALawToLinear(code);
        EXPECT_EQ(ALawToLinear(static_cast<std::uint8_t>(code ^ 0x80)), -value) << level;
        EXPECT_GT(value, previous) << level;
        // Steps are 16 (16-bit scale) in the two lowest segments and double with each segment above.
        const int segment = level >> 4;
        const int step = segment <= 1 ? 16 : 16 << (segment - 1);
        if (level > 0 && (level & 15) != 0) {
            EXPECT_EQ(value - previous, step) << level;
        }
        previous = value;
    }
}

TEST_F(AudioOutTest, RoomTestAcceptsWhatLeavesTheMinimumFill)
{
    Open();
    Feed(15000);
    device.At(14000);
    const std::uint8_t block[100] = {};
    EXPECT_EQ(out.WriteRaw(block, 100), AudioWrite::Written);  // 1000 + 100 + 1024 <= 16384
    EXPECT_EQ(out.FillLevel(), 1000);
    EXPECT_EQ(out.WrittenCounter(), 15100u);
}

TEST_F(AudioOutTest, RoomTestRefusesABlockThatWouldOvertakeThePlayPosition)
{
    Open();
    device.At(0);
    std::vector<std::uint8_t> first(15000, 1);
    ASSERT_EQ(out.WriteRaw(first.data(), first.size()), AudioWrite::Written);
    const std::vector<std::uint8_t> before(out.Ring(), out.Ring() + kAudioRingSize);
    const std::uint8_t block[500] = {};
    EXPECT_EQ(out.WriteRaw(block, 500), AudioWrite::NoRoom);  // 15000 + 500 + 1024 > 16384
    EXPECT_EQ(out.WrittenCounter(), 15000u);
    EXPECT_EQ(out.FillLevel(), 15000);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), out.Ring()));
}

TEST_F(AudioOutTest, RoomTestBoundaryIsInclusive)
{
    Open();
    Feed(10000);
    device.At(9000);  // fill 1000: room for exactly 16384 - 1024 - 1000 bytes
    std::vector<std::uint8_t> block(14360 + 1, 0);
    EXPECT_EQ(out.WriteRaw(block.data(), 14361), AudioWrite::NoRoom);
    EXPECT_EQ(out.WriteRaw(block.data(), 14360), AudioWrite::Written);
}

TEST_F(AudioOutTest, RoomTestAlsoAppliesWhenTheWriterIsBehindThePlayPosition)
{
    Open();
    device.At(50000);  // the device has played past everything written
    std::vector<std::uint8_t> big(20000, 7);
    EXPECT_EQ(out.WriteRaw(big.data(), big.size()), AudioWrite::NoRoom);
    EXPECT_EQ(out.WriteRaw(big.data(), kAudioLargestWrite + 1), AudioWrite::NoRoom);
    EXPECT_EQ(out.FillLevel(), 0);
    EXPECT_EQ(out.WrittenCounter(), 0u);
    EXPECT_EQ(out.WriteALaw(big.data(), kAudioLargestWrite / 2 + 1), AudioWrite::NoRoom);
    EXPECT_EQ(out.WriteRaw(big.data(), kAudioLargestWrite), AudioWrite::Written);
    EXPECT_EQ(out.WrittenCounter(), kAudioLargestWrite);
}

TEST_F(AudioOutTest, ALawWriteStoresLittleEndianSamples)
{
    Open(8000, 16);
    const std::uint8_t codes[] = {0x00, 0x80, 0xD5};
    ASSERT_EQ(out.WriteALaw(codes, 3), AudioWrite::Written);
    EXPECT_EQ(out.WrittenCounter(), 6u);
    EXPECT_EQ(out.WriteOffset(), 6u);
    EXPECT_EQ(SampleAt(out.Ring(), 0), -5504);
    EXPECT_EQ(SampleAt(out.Ring(), 2), 5504);
    EXPECT_EQ(SampleAt(out.Ring(), 4), 8);
    EXPECT_EQ(out.Ring()[0], 0x80);  // -5504 = 0xEA80, low byte first
    EXPECT_EQ(out.Ring()[1], 0xEA);
}

TEST_F(AudioOutTest, ALawRoomTestCountsTwoBytesPerCode)
{
    Open(8000, 16);
    device.At(0);
    std::vector<std::uint8_t> codes(kAudioLargestWrite / 2 + 1, 0xD5);
    EXPECT_EQ(out.WriteALaw(codes.data(), codes.size()), AudioWrite::NoRoom);
    EXPECT_EQ(out.WriteALaw(codes.data(), codes.size() - 1), AudioWrite::Written);
    EXPECT_EQ(out.WrittenCounter(), kAudioLargestWrite);
}

TEST_F(AudioOutTest, WriteWrapsAtTheRingEnd)
{
    Open();
    Feed(16300, 0x11);
    ASSERT_EQ(out.WriteOffset(), 16300u);
    device.At(16300);
    std::vector<std::uint8_t> block(200);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(0x80 + i % 100);
    ASSERT_EQ(out.WriteRaw(block.data(), block.size()), AudioWrite::Written);
    EXPECT_EQ(out.WriteOffset(), 116u);
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 84, out.Ring() + 16300));
    EXPECT_TRUE(std::equal(block.begin() + 84, block.end(), out.Ring()));
    EXPECT_EQ(out.Ring()[116], 0x11);    // the byte after the block is untouched
    EXPECT_EQ(out.Ring()[16299], 0x11);  // and so is the one before it
}

TEST_F(AudioOutTest, ALawWriteWrapsAtTheRingEnd)
{
    Open(8000, 16);
    device.At(0);
    std::vector<std::uint8_t> codes(7000, 0xD5);  // 14000 bytes of +8
    ASSERT_EQ(out.WriteALaw(codes.data(), codes.size()), AudioWrite::Written);
    device.At(14000);
    ASSERT_EQ(out.WriteALaw(codes.data(), 1190), AudioWrite::Written);
    device.At(16380);
    const std::uint8_t more[] = {0x00, 0x80, 0x2A, 0xAA, 0x55, 0xD5, 0x80, 0x00, 0xAA, 0x2A};
    const int expected[] = {-5504, 5504, -32256, 32256, -8, 8, 5504, -5504, 32256, -32256};
    ASSERT_EQ(out.WriteALaw(more, 10), AudioWrite::Written);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(SampleAt(out.Ring(), (16380 + 2 * i) % kAudioRingSize), expected[i]) << i;
    EXPECT_EQ(out.WriteOffset(), 16u);
    EXPECT_EQ(SampleAt(out.Ring(), 16), 8);  // the byte after the block is untouched
}

TEST_F(AudioOutTest, RingIsWrittenOnlyUnderTheDeviceLock)
{
    Open(8000, 16);
    const int locksBefore = device.locks;
    const std::uint8_t raw[300] = {1, 2, 3};
    const std::uint8_t codes[] = {0x00, 0x80, 0xD5};
    ASSERT_EQ(out.WriteRaw(raw, sizeof raw), AudioWrite::Written);
    device.At(out.WrittenCounter());
    ASSERT_EQ(out.WriteALaw(codes, 3), AudioWrite::Written);
    EXPECT_GE(device.locks, locksBefore + 2);
    EXPECT_FALSE(device.RingChangedOutsideLock());
}

TEST_F(AudioOutTest, SixteenBitPositionsAreTakenEven)
{
    Open(8000, 16);
    std::vector<std::uint8_t> codes(1000, 0xD5);
    ASSERT_EQ(out.WriteALaw(codes.data(), codes.size()), AudioWrite::Written);
    device.At(1001);
    out.Service();
    EXPECT_EQ(out.FillLevel(), 1000);
}

TEST_F(AudioOutTest, VolumeIsStoredForBothChannels)
{
    Open();
    out.SetVolume(0x12345);
    EXPECT_EQ(out.GetVolume(), 0x2345u);
    ASSERT_FALSE(device.applied.empty());
    EXPECT_EQ(device.applied.back(), 0x23452345u);
}

TEST_F(AudioOutTest, VolumeSetWhileMutedIsAppliedOnUnmute)
{
    Open();
    out.SetVolume(0x8000);
    out.SetMute(1);
    EXPECT_EQ(device.applied.back(), 0u);
    EXPECT_EQ(out.GetMute(), 1);
    const std::size_t appliedBefore = device.applied.size();
    out.SetVolume(0x4000);
    EXPECT_EQ(device.applied.size(), appliedBefore);  // stored, not applied
    EXPECT_EQ(out.GetVolume(), 0x4000u);
    out.SetMute(0);
    EXPECT_EQ(device.applied.back(), 0x40004000u);
}

TEST_F(AudioOutTest, VolumeAndMuteWithoutADeviceOnlyStore)
{
    out.SetVolume(0x1234);
    out.SetMute(1);
    EXPECT_TRUE(device.applied.empty());
    EXPECT_EQ(out.GetVolume(), 0x1234u);
    EXPECT_EQ(out.GetMute(), 1);
}

TEST_F(AudioOutTest, FirstPauseMovesTheCounterToThePlayPositionLaterPausesDoNot)
{
    Open();
    const std::uint8_t block[500] = {};
    ASSERT_EQ(out.WriteRaw(block, 500), AudioWrite::Written);
    device.position = 200;
    device.positionAfterPause = 260;  // the device plays a little more before it stops
    out.Service();
    EXPECT_TRUE(out.Paused());
    EXPECT_TRUE(device.paused);
    EXPECT_EQ(out.FillLevel(), 300);
    EXPECT_EQ(out.WrittenCounter(), 260u);
    EXPECT_EQ(out.WriteOffset(), 260u);

    // Enough sound waiting: the device restarts.
    std::vector<std::uint8_t> more(2000, 0x90);
    ASSERT_EQ(out.WriteRaw(more.data(), more.size()), AudioWrite::Written);
    out.Service();
    EXPECT_FALSE(out.Paused());
    EXPECT_EQ(device.restarts, 1);

    // Running dry again: paused, but the counter stays where the writes left it.
    device.position = 2000;
    device.positionAfterPause = 2100;
    out.Service();
    EXPECT_TRUE(out.Paused());
    EXPECT_EQ(out.WrittenCounter(), 2260u);
    EXPECT_EQ(device.pauses, 2);

    // Still dry: no second pause request.
    out.Service();
    EXPECT_EQ(device.pauses, 2);
}

TEST_F(AudioOutTest, ServiceResynchronisesAWriterThatFellBehind)
{
    Open();
    Feed(3000);
    device.At(9000);
    out.Service();
    EXPECT_EQ(out.WrittenCounter(), 9000u);
    EXPECT_EQ(out.WriteOffset(), 9000u);  // the next samples go where the device is about to play
    EXPECT_EQ(out.FillLevel(), 0);
}

TEST_F(AudioOutTest, ServiceWithoutPositionDoesNothing)
{
    Open();
    device.positionSucceeds = false;
    out.Service();
    EXPECT_EQ(device.pauses, 0);
    EXPECT_FALSE(out.Paused());
    const std::uint8_t block[10] = {};
    EXPECT_EQ(out.WriteRaw(block, 10), AudioWrite::Failed);
    EXPECT_EQ(out.WriteALaw(block, 10), AudioWrite::Failed);
    EXPECT_EQ(out.WrittenCounter(), 0u);
}

TEST_F(AudioOutTest, CountersSurviveTheWrapAt2To32)
{
    Open();
    // Move the counter close to 2^32 through the resynchronisation, in steps of less than 2^31.
    device.At(0x7FFFFFF0u);
    out.Service();
    device.At(0xFFFFF000u);
    out.Service();
    ASSERT_EQ(out.WrittenCounter(), 0xFFFFF000u);

    std::vector<std::uint8_t> block(10000, 0x55);
    ASSERT_EQ(out.WriteRaw(block.data(), block.size()), AudioWrite::Written);
    EXPECT_EQ(out.WrittenCounter(), 10000u - 0x1000u);
    EXPECT_EQ(out.WriteOffset(), (0xFFFFF000u + 10000u) % kAudioRingSize);

    // The counter has wrapped, the position not yet: 7952 bytes are still waiting.
    device.At(0xFFFFF800u);
    out.Service();
    EXPECT_EQ(out.FillLevel(), 7952);
    EXPECT_EQ(out.WrittenCounter(), 10000u - 0x1000u);  // no resynchronisation
    EXPECT_FALSE(out.Paused());
    EXPECT_EQ(out.WriteRaw(block.data(), 8000), AudioWrite::NoRoom);
    EXPECT_EQ(out.WriteRaw(block.data(), 7000), AudioWrite::Written);
}

TEST_F(AudioOutTest, OpenDeviceResetsTheRingAndRearmsTheFirstPause)
{
    Open(8000, 16);
    std::vector<std::uint8_t> codes(1000, 0x2A);
    ASSERT_EQ(out.WriteALaw(codes.data(), codes.size()), AudioWrite::Written);
    device.At(1000);
    out.Service();
    device.At(1500);
    out.Service();
    ASSERT_TRUE(out.Paused());

    ASSERT_EQ(out.OpenDevice(16000, 8), 1);
    EXPECT_EQ(device.openRate, 16000);
    EXPECT_EQ(device.openBits, 8);
    EXPECT_EQ(out.Bits(), 8);
    EXPECT_EQ(out.WrittenCounter(), 0u);
    EXPECT_EQ(out.FillLevel(), 0);
    EXPECT_FALSE(out.Paused());
    // 8-bit silence is the middle value, not zero.
    EXPECT_TRUE(std::all_of(out.Ring(), out.Ring() + kAudioRingSize, [](std::uint8_t b) { return b == 0x80; }));

    ASSERT_EQ(out.StartLoop(), 1);
    const std::uint8_t block[100] = {};
    ASSERT_EQ(out.WriteRaw(block, 100), AudioWrite::Written);
    device.position = 40;
    device.positionAfterPause = 70;
    out.Service();
    EXPECT_EQ(out.WrittenCounter(), 70u);  // the first pause after the new open moves the counter
}

TEST_F(AudioOutTest, OpenDeviceZeroesSixteenBitRing)
{
    Open(8000, 8);
    Feed(5000, 0x33);
    ASSERT_EQ(out.OpenDevice(8000, 16), 1);
    EXPECT_TRUE(std::all_of(out.Ring(), out.Ring() + kAudioRingSize, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(AudioOutTest, StartLoopHandsTheWholeRingToTheDevice)
{
    ASSERT_EQ(out.OpenDevice(8000, 8), 1);
    std::vector<std::uint8_t> block(100, 0x20);
    ASSERT_EQ(out.WriteRaw(block.data(), block.size()), AudioWrite::Written);
    ASSERT_EQ(out.StartLoop(), 1);
    EXPECT_EQ(device.loopRing, out.Ring());
    EXPECT_EQ(device.loopSize, kAudioRingSize);
    // The first four bytes are silenced; what was written before the loop started stays queued.
    EXPECT_EQ(out.Ring()[3], 0x80);
    EXPECT_EQ(out.Ring()[4], 0x20);
    EXPECT_EQ(out.WrittenCounter(), 100u);
    EXPECT_TRUE(alerts.texts.empty());
}

TEST_F(AudioOutTest, ASecondLoopOnTheSameDeviceRestartsTheCountersWithIt)
{
    Open();
    Feed(12000);
    device.At(11500);
    out.Service();
    ASSERT_TRUE(out.Paused());
    // The device restarts its loop at the ring's start with its position at 0.
    device.At(0);
    ASSERT_EQ(out.StartLoop(), 1);
    EXPECT_EQ(out.WrittenCounter(), 0u);
    EXPECT_EQ(out.WriteOffset(), 0u);
    EXPECT_FALSE(out.Paused());
    std::vector<std::uint8_t> block(5000, 0x20);
    EXPECT_EQ(out.WriteRaw(block.data(), block.size()), AudioWrite::Written);
    EXPECT_EQ(out.Ring()[0], 0x20);
}

TEST_F(AudioOutTest, FailedOpenAlertsAndLeavesWritesFailing)
{
    device.openSucceeds = false;
    EXPECT_EQ(out.OpenDevice(8000, 8), 0);
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0], "Sound device open error !");
    EXPECT_EQ(out.StartLoop(), 0);
    ASSERT_EQ(alerts.texts.size(), 2u);
    EXPECT_EQ(alerts.texts[1], "Preapre Header Error !");
    const std::uint8_t block[10] = {};
    EXPECT_EQ(out.WriteRaw(block, 10), AudioWrite::Failed);
    out.Service();
    EXPECT_EQ(device.pauses, 0);
}

TEST_F(AudioOutTest, RefusedLoopAlerts)
{
    ASSERT_EQ(out.OpenDevice(8000, 8), 1);
    device.loopSucceeds = false;
    EXPECT_EQ(out.StartLoop(), 0);
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0], "Sound out fail !");
}

TEST_F(AudioOutTest, StartLoopWithoutOpenAlerts)
{
    EXPECT_EQ(out.StartLoop(), 0);
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0], "Preapre Header Error !");
    EXPECT_EQ(device.loops, 0);
}

TEST(AudioOut, WorksWithoutAlerts)
{
    FakeAudioDevice device;
    device.openSucceeds = false;
    AudioOut out(device, nullptr);
    EXPECT_EQ(out.OpenDevice(8000, 8), 0);
    EXPECT_EQ(out.StartLoop(), 0);
}

}  // namespace
}  // namespace tamlorex
