#include "audio/audio_out.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "audio/audio_device.h"
#include "platform/alerts.h"

namespace tamlorex {

namespace {

// G.711 A-law decoding. The even bits of each code are inverted on the line; after undoing that,
// bit 7 is the sign (1 = positive), bits 6..4 the segment and bits 3..0 the step within it. The
// decoder's 13-bit output is the middle of the step: 2q + 1 in segment 0 and (2q + 33) << (s - 1)
// above it; three more bits scale it to 16 bits.
constexpr std::int16_t DecodeALaw(std::uint8_t code)
{
    const int value = code ^ 0x55;
    const int segment = (value >> 4) & 7;
    const int step = value & 0x0F;
    const int magnitude13 = segment == 0 ? 2 * step + 1 : (2 * step + 33) << (segment - 1);
    const int linear = magnitude13 << 3;
    return static_cast<std::int16_t>((value & 0x80) ? linear : -linear);
}

constexpr std::array<std::int16_t, 256> MakeALawTable()
{
    std::array<std::int16_t, 256> table{};
    for (int code = 0; code < 256; ++code) table[code] = DecodeALaw(static_cast<std::uint8_t>(code));
    return table;
}

constexpr std::array<std::int16_t, 256> kALawTable = MakeALawTable();

constexpr char kAllocationFailed[] = "m_pWavQ Allocation Failed";
constexpr char kOpenFailed[] = "Sound device open error !";
constexpr char kPrepareFailed[] = "Preapre Header Error !";
constexpr char kLoopFailed[] = "Sound out fail !";

}  // namespace

AudioFormat AudioFormatForModel(int modelType)
{
    const ModelRules& rules = RulesFor(modelType);
    return {rules.soundRate, rules.outputBits};
}

std::int16_t ALawToLinear(std::uint8_t code)
{
    return kALawTable[code];
}

AudioOut::AudioOut(AudioDevice& device, Alerts* alerts) : device_(device), alerts_(alerts)
{
    ring_.reset(new (std::nothrow) std::uint8_t[kAudioRingSize]());
    if (!ring_) Alert(kAllocationFailed);
}

AudioOut::~AudioOut() = default;

void AudioOut::Alert(const char* text)
{
    if (alerts_) alerts_->Alert(text);
}

std::uint8_t AudioOut::Silence() const
{
    // 8-bit samples are unsigned around 128; a zeroed 8-bit ring would play as a full negative step.
    return bits_.load() == 8 ? 0x80 : 0x00;
}

bool AudioOut::ReadPosition(std::uint32_t& position, bool evenOnly) const
{
    if (!device_.GetPosition(position)) return false;
    if (evenOnly) position &= ~1u;
    return true;
}

int AudioOut::OpenDevice(int rate, int bits)
{
    rate_.store(rate);
    bits_.store(bits);
    written_.store(0);
    fillLevel_.store(0);
    firstPause_.store(1);
    // The new device starts playing, not paused; a stale flag would keep Service from ever pausing it.
    paused_.store(0);
    loopStarted_.store(false);
    if (ring_) {
        device_.Lock();
        std::memset(ring_.get(), Silence(), kAudioRingSize);
        device_.Unlock();
    }
    if (!device_.Open(rate, bits)) {
        Alert(kOpenFailed);
        return 0;
    }
    return 1;
}

int AudioOut::StartLoop()
{
    if (!ring_ || !device_.IsOpen()) {
        Alert(kPrepareFailed);
        return 0;
    }
    device_.Lock();
    std::memset(ring_.get(), Silence(), 4);
    device_.Unlock();
    if (loopStarted_.load()) {
        // The device plays a new loop from the ring's start with its position back at 0.
        written_.store(0);
        fillLevel_.store(0);
    }
    std::uint32_t position = 0;
    (void)ReadPosition(position, bits_.load() != 8);
    if (!device_.StartLoop(ring_.get(), kAudioRingSize)) {
        Alert(kLoopFailed);
        return 0;
    }
    loopStarted_.store(true);
    paused_.store(0);
    return 1;
}

AudioWrite AudioOut::Write(const std::uint8_t* bytes, std::size_t n, Samples kind)
{
    const bool alaw = kind == Samples::ALaw;
    if (!ring_ || (!bytes && n != 0)) return AudioWrite::Failed;
    std::uint32_t position = 0;
    if (!ReadPosition(position, alaw || bits_.load() != 8)) return AudioWrite::Failed;

    const std::uint64_t size = alaw ? 2 * static_cast<std::uint64_t>(n) : n;
    const std::uint32_t written = written_.load();
    // Signed distance, so the comparison survives the counters wrapping at 2^32.
    const std::int32_t ahead = static_cast<std::int32_t>(written - position);
    const std::uint32_t fill = ahead < 0 ? 0 : static_cast<std::uint32_t>(ahead);
    fillLevel_.store(static_cast<int>(fill));
    // Applies also when the writer is behind the device: a block is never copied past the ring.
    if (fill + size + kAudioMinimumFill > kAudioRingSize) return AudioWrite::NoRoom;

    std::uint8_t* ring = ring_.get();
    const std::size_t offset = written % kAudioRingSize;
    device_.Lock();
    if (!alaw) {
        const std::size_t first = std::min<std::size_t>(n, kAudioRingSize - offset);
        std::memcpy(ring + offset, bytes, first);
        std::memcpy(ring, bytes + first, n - first);
    } else {
        std::size_t at = offset;  // even, as the counter of 16-bit sound always is
        for (std::size_t i = 0; i < n; ++i) {
            const auto sample = static_cast<std::uint16_t>(kALawTable[bytes[i]]);
            ring[at] = static_cast<std::uint8_t>(sample & 0xFF);
            ring[(at + 1) % kAudioRingSize] = static_cast<std::uint8_t>(sample >> 8);
            at = (at + 2) % kAudioRingSize;
        }
    }
    device_.Unlock();
    written_.store(written + static_cast<std::uint32_t>(size));
    return AudioWrite::Written;
}

AudioWrite AudioOut::WriteRaw(const std::uint8_t* bytes, std::size_t n)
{
    return Write(bytes, n, Samples::Raw);
}

AudioWrite AudioOut::WriteALaw(const std::uint8_t* bytes, std::size_t n)
{
    return Write(bytes, n, Samples::ALaw);
}

void AudioOut::Service()
{
    const bool evenOnly = bits_.load() != 8;
    std::uint32_t position = 0;
    if (!ReadPosition(position, evenOnly)) return;

    const std::int32_t ahead = static_cast<std::int32_t>(written_.load() - position);
    std::uint32_t fill = 0;
    if (ahead < 0) {
        // The device has played past everything written: new samples go just ahead of it.
        written_.store(position);
    } else {
        fill = static_cast<std::uint32_t>(ahead);
    }
    fillLevel_.store(static_cast<int>(fill));

    if (fill < kAudioMinimumFill) {
        if (!paused_.load() && device_.Pause()) {
            // Only the first pause after opening drops what the device has not played yet.
            if (firstPause_.load() && ReadPosition(position, evenOnly)) {
                written_.store(position);
                firstPause_.store(0);
            }
            paused_.store(1);
        }
    } else if (paused_.load() && device_.Restart()) {
        paused_.store(0);
    }
}

std::size_t AudioOut::Room(bool alaw) const
{
    std::uint32_t position = 0;
    if (!ring_ || !ReadPosition(position, alaw || bits_.load() != 8)) return 0;
    const std::int32_t ahead = static_cast<std::int32_t>(written_.load() - position);
    const std::size_t fill = ahead < 0 ? 0 : static_cast<std::size_t>(ahead);
    if (fill + kAudioMinimumFill >= kAudioRingSize) return 0;
    const std::size_t bytes = kAudioRingSize - kAudioMinimumFill - fill;
    return alaw ? bytes / 2 : bytes;
}

void AudioOut::StopLoop()
{
    if (device_.IsOpen() && !paused_.load() && device_.Pause()) paused_.store(1);
    if (!ring_) return;
    device_.Lock();
    std::memset(ring_.get(), Silence(), kAudioRingSize);
    device_.Unlock();
    // What is still counted as waiting is silence now; the next write goes just ahead of the device.
    std::uint32_t position = 0;
    if (ReadPosition(position, bits_.load() != 8)) written_.store(position);
    fillLevel_.store(0);
}

void AudioOut::SetVolume(std::uint32_t v)
{
    const std::uint32_t volume = (v & 0xFFFFu) * 0x10001u;
    volume_.store(volume);
    if (!mute_.load() && device_.IsOpen()) device_.SetVolume(volume);
}

std::uint32_t AudioOut::GetVolume() const
{
    return volume_.load() & 0xFFFFu;
}

void AudioOut::SetMute(int m)
{
    mute_.store(m);
    if (device_.IsOpen()) device_.SetVolume(m ? 0 : volume_.load());
}

int AudioOut::GetMute() const
{
    return mute_.load();
}

std::uint32_t AudioOut::WrittenCounter() const
{
    return written_.load();
}

std::size_t AudioOut::WriteOffset() const
{
    return written_.load() % kAudioRingSize;
}

int AudioOut::FillLevel() const
{
    return fillLevel_.load();
}

bool AudioOut::Paused() const
{
    return paused_.load() != 0;
}

const std::uint8_t* AudioOut::Ring() const
{
    return ring_.get();
}

int AudioOut::Bits() const
{
    return bits_.load();
}

}  // namespace tamlorex
