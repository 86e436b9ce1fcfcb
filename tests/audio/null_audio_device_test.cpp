#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "audio/audio_out.h"
#include "audio/null_audio_device.h"

namespace tamlorex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(NullAudioDevice, ConsumesAtTheSampleRateInRealTime)
{
    NullAudioDevice device;
    std::uint32_t position = 0;
    EXPECT_FALSE(device.GetPosition(position));
    ASSERT_TRUE(device.Open(8000, 16));  // 16000 bytes a second
    std::vector<std::uint8_t> ring(kAudioRingSize);
    const auto start = Clock::now();
    ASSERT_TRUE(device.StartLoop(ring.data(), ring.size()));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(device.GetPosition(position));
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    EXPECT_GE(position, 1600u);
    EXPECT_LE(position, static_cast<std::uint32_t>(elapsed * 16000 / 1000000 + 16));
}

TEST(NullAudioDevice, PositionStandsStillWhilePaused)
{
    NullAudioDevice device;
    ASSERT_TRUE(device.Open(16000, 8));
    std::vector<std::uint8_t> ring(kAudioRingSize);
    ASSERT_TRUE(device.StartLoop(ring.data(), ring.size()));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(device.Pause());
    EXPECT_TRUE(device.IsPaused());
    std::uint32_t paused = 0, later = 0;
    ASSERT_TRUE(device.GetPosition(paused));
    EXPECT_GE(paused, 320u);
    std::this_thread::sleep_for(40ms);
    ASSERT_TRUE(device.GetPosition(later));
    EXPECT_EQ(later, paused);
    ASSERT_TRUE(device.Restart());
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(device.GetPosition(later));
    EXPECT_GE(later, paused + 320u);
    EXPECT_LT(later, paused + 320u + 40 * 16u);  // the paused stretch is not counted
}

TEST(NullAudioDevice, ManualPositionDrivesAudioOut)
{
    NullAudioDevice device;
    AudioOut out(device, nullptr);
    ASSERT_EQ(out.OpenDevice(8000, 8), 1);
    device.SetManualPosition(0);
    ASSERT_EQ(out.StartLoop(), 1);
    std::vector<std::uint8_t> block(3000, 0x70);
    ASSERT_EQ(out.WriteRaw(block.data(), block.size()), AudioWrite::Written);
    device.SetManualPosition(2500);
    out.Service();
    EXPECT_TRUE(out.Paused());
    EXPECT_TRUE(device.IsPaused());
    EXPECT_EQ(out.WrittenCounter(), 2500u);  // first pause
    out.SetVolume(0x8000);
    EXPECT_EQ(device.Volume(), 0x80008000u);
}

}  // namespace
}  // namespace tamlorex
