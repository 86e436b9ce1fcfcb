#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_out.h"
#include "audio/sdl_audio_device.h"
#include "fake_audio_device.h"

namespace tamlorex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Chooses SDL's audio driver for this test; SDL reads it when the audio sub-system starts, which
// happens at the first Open of a device.
void UseDriver(const char* driver)
{
    setenv("SDL_AUDIODRIVER", driver, 1);
}

// The disk driver writes everything the device plays into a file, paced like real sound by a delay
// per callback buffer.
std::string UseDiskDriver(const std::string& name)
{
    const std::string path = (testing::TempDir().empty() ? std::string("/tmp/") : testing::TempDir()) + name + "." +
                             std::to_string(getpid()) + ".raw";
    UseDriver("disk");
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "4", 1);
    return path;
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits until the device's position reaches `bytes`; false after the time-out.
bool WaitForPosition(AudioDevice& device, std::uint32_t bytes, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::uint32_t position = 0;
    while (Clock::now() < deadline) {
        if (device.GetPosition(position) && position >= bytes) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// Where `pattern` first occurs in `data`, or npos.
std::size_t Find(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& pattern)
{
    if (pattern.empty() || data.size() < pattern.size()) return std::string::npos;
    for (std::size_t i = 0; i + pattern.size() <= data.size(); ++i)
        if (std::equal(pattern.begin(), pattern.end(), data.begin() + i)) return i;
    return std::string::npos;
}

// Sign changes of a signal around its centre, not counting samples that sit on the centre.
int ZeroCrossings(const std::vector<int>& samples)
{
    int crossings = 0;
    int last = 0;
    for (int s : samples) {
        if (s == 0) continue;
        const int sign = s > 0 ? 1 : -1;
        if (last != 0 && sign != last) ++crossings;
        last = sign;
    }
    return crossings;
}

std::vector<std::uint8_t> Tone8(std::size_t count, int rate, double hz, double amplitude)
{
    std::vector<std::uint8_t> tone(count);
    // A quarter-step phase offset keeps samples off the exact centre.
    for (std::size_t i = 0; i < count; ++i)
        tone[i] = static_cast<std::uint8_t>(std::lround(128 + amplitude * std::sin(2 * M_PI * hz * (i + 0.25) / rate)));
    return tone;
}

TEST(SdlAudioDevice, WritesA1000HzToneThroughTheRing)
{
    const std::string path = UseDiskDriver("tone8");
    const std::size_t count = 15000;
    const std::vector<std::uint8_t> tone = Tone8(count, 16000, 1000, 100);
    {
        SdlAudioDevice device;
        RecordingAlerts alerts;
        AudioOut out(device, &alerts);
        const AudioFormat format = AudioFormatForModel(5);
        ASSERT_EQ(out.OpenDevice(format.rate, format.bits), 1);
        ASSERT_EQ(out.WriteRaw(tone.data(), tone.size()), AudioWrite::Written);
        ASSERT_EQ(out.StartLoop(), 1);
        ASSERT_TRUE(WaitForPosition(device, count, 20s));
        out.Service();  // nearly dry now: pauses
        EXPECT_TRUE(out.Paused());
        EXPECT_TRUE(alerts.texts.empty());
    }
    const std::vector<std::uint8_t> file = ReadFile(path);
    unlink(path.c_str());
    // The device played the ring from its start: the tone, less its first four bytes (silenced by
    // StartLoop), appears in the file byte for byte.
    const std::vector<std::uint8_t> played(tone.begin() + 4, tone.end());
    const std::size_t at = Find(file, played);
    ASSERT_NE(at, std::string::npos) << "file of " << file.size() << " bytes";
    std::vector<int> centred;
    for (std::size_t i = at; i < at + played.size(); ++i) centred.push_back(file[i] - 128);
    // 1000 Hz at 16000 Hz: two crossings every 16 samples.
    EXPECT_NEAR(ZeroCrossings(centred), 2.0 * played.size() / 16, 2);
}

TEST(SdlAudioDevice, PlaysALawAsSixteenBitSamplesAndScalesByTheVolume)
{
    const std::string path = UseDiskDriver("alaw16");
    // A 1000 Hz tone, A-law coded by picking the nearest code of the table.
    const std::size_t count = 4000;
    std::vector<std::uint8_t> codes(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double want = 20000 * std::sin(2 * M_PI * 1000 * (i + 0.25) / 8000);
        int best = 0;
        for (int c = 1; c < 256; ++c)
            if (std::fabs(ALawToLinear(static_cast<std::uint8_t>(c)) - want) < std::fabs(ALawToLinear(static_cast<std::uint8_t>(best)) - want)) best = c;
        codes[i] = static_cast<std::uint8_t>(best);
    }
    {
        SdlAudioDevice device;
        AudioOut out(device, nullptr);
        const AudioFormat format = AudioFormatForModel(0);
        ASSERT_EQ(out.OpenDevice(format.rate, format.bits), 1);
        out.SetVolume(0x8000);  // half level
        ASSERT_EQ(out.WriteALaw(codes.data(), codes.size()), AudioWrite::Written);
        ASSERT_EQ(out.StartLoop(), 1);
        ASSERT_TRUE(WaitForPosition(device, 2 * count, 20s));
        ASSERT_TRUE(device.Pause());
    }
    const std::vector<std::uint8_t> file = ReadFile(path);
    unlink(path.c_str());
    std::vector<std::uint8_t> expected;
    for (std::size_t i = 2; i < count; ++i) {  // the first two samples were silenced by StartLoop
        const auto scaled = static_cast<std::uint16_t>(ALawToLinear(codes[i]) * 0x8000 / 0xFFFF);
        expected.push_back(static_cast<std::uint8_t>(scaled & 0xFF));
        expected.push_back(static_cast<std::uint8_t>(scaled >> 8));
    }
    const std::size_t at = Find(file, expected);
    ASSERT_NE(at, std::string::npos) << "file of " << file.size() << " bytes";
    std::vector<int> samples;
    int peak = 0;
    for (std::size_t i = at; i < at + expected.size(); i += 2) {
        samples.push_back(static_cast<std::int16_t>(file[i] | (file[i + 1] << 8)));
        peak = std::max(peak, std::abs(samples.back()));
    }
    EXPECT_NEAR(ZeroCrossings(samples), 2.0 * samples.size() / 8, 2);
    EXPECT_NEAR(peak, 10000, 700);
}

TEST(SdlAudioDevice, PositionAdvancesOnlyWhilePlaying)
{
    UseDriver("dummy");
    SdlAudioDevice device;
    std::uint32_t position = 1;
    EXPECT_FALSE(device.GetPosition(position));
    EXPECT_FALSE(device.Pause());
    ASSERT_TRUE(device.Open(8000, 8));
    EXPECT_TRUE(device.IsOpen());
    ASSERT_TRUE(device.GetPosition(position));
    EXPECT_EQ(position, 0u);

    std::vector<std::uint8_t> ring(kAudioRingSize, 0x80);
    ASSERT_TRUE(device.StartLoop(ring.data(), ring.size()));
    ASSERT_TRUE(WaitForPosition(device, 1024, 10s));

    ASSERT_TRUE(device.Pause());
    std::uint32_t paused = 0, later = 0;
    ASSERT_TRUE(device.GetPosition(paused));
    std::this_thread::sleep_for(150ms);
    ASSERT_TRUE(device.GetPosition(later));
    EXPECT_EQ(later, paused);

    ASSERT_TRUE(device.Restart());
    EXPECT_TRUE(WaitForPosition(device, paused + 1024, 10s));
}

TEST(SdlAudioDevice, ReopeningEndsTheLoop)
{
    UseDriver("dummy");
    SdlAudioDevice device;
    std::vector<std::uint8_t> ring(kAudioRingSize, 0);
    ASSERT_TRUE(device.Open(8000, 16));
    ASSERT_TRUE(device.StartLoop(ring.data(), ring.size()));
    ASSERT_TRUE(WaitForPosition(device, 2048, 10s));
    ASSERT_TRUE(device.Open(16000, 8));
    std::uint32_t position = 1;
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(device.GetPosition(position));
    EXPECT_EQ(position, 0u);  // no loop runs on the new device until StartLoop
    EXPECT_FALSE(device.Open(8000, 12));
    EXPECT_FALSE(device.IsOpen());
}

TEST(SdlAudioDevice, UnknownDriverFailsToOpen)
{
    UseDriver("no-such-driver");
    SdlAudioDevice device;
    RecordingAlerts alerts;
    AudioOut out(device, &alerts);
    EXPECT_EQ(out.OpenDevice(8000, 8), 0);
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0], "Sound device open error !");
    EXPECT_FALSE(device.IsOpen());
    const std::uint8_t block[16] = {};
    EXPECT_EQ(out.WriteRaw(block, sizeof block), AudioWrite::Failed);
}

// The worker writes and services while SDL's thread plays the ring and the user-interface thread
// turns the volume and mute: run under ThreadSanitizer this shows any unguarded sharing.
TEST(SdlAudioDevice, AudioOutUnderAConcurrentCallback)
{
    UseDriver("dummy");
    SdlAudioDevice device;
    RecordingAlerts alerts;
    AudioOut out(device, &alerts);
    ASSERT_EQ(out.OpenDevice(16000, 8), 1);
    ASSERT_EQ(out.StartLoop(), 1);

    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (std::uint32_t v = 0; !done.load(); v += 0x1111) {
            out.SetVolume(v);
            out.SetMute(static_cast<int>(v & 1));
            (void)out.GetVolume();
            std::this_thread::sleep_for(1ms);
        }
    });
    const std::vector<std::uint8_t> tone = Tone8(1600, 16000, 1000, 60);
    int written = 0, refused = 0;
    const auto until = Clock::now() + 600ms;
    while (Clock::now() < until) {
        const AudioWrite result = out.WriteRaw(tone.data(), tone.size());
        ASSERT_NE(result, AudioWrite::Failed);
        (result == AudioWrite::Written ? written : refused)++;
        out.Service();
        std::this_thread::sleep_for(2ms);
    }
    done = true;
    ui.join();
    std::uint32_t position = 0;
    ASSERT_TRUE(device.GetPosition(position));
    EXPECT_GT(written, 3);
    EXPECT_GT(refused, 0);  // the writer runs faster than the device: the room test holds it back
    EXPECT_GT(position, 1600u);
    EXPECT_TRUE(alerts.texts.empty());
}

}  // namespace
}  // namespace tamlorex
