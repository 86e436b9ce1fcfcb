#pragma once
// The sound device under AudioOut: one mono PCM stream that loops over a ring of samples.
#include <cstddef>
#include <cstdint>

namespace tamlorex {

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Opens (or re-opens, ending any earlier loop) mono linear PCM at rate Hz, 8 or 16 bits.
    virtual bool Open(int rate, int bits) = 0;
    // Plays the ring from its start, over and over, until paused; the ring outlives the loop.
    virtual bool StartLoop(const std::uint8_t* ring, std::size_t size) = 0;
    // Bytes played since the loop started (wrapping at 2^32); false without an open device.
    virtual bool GetPosition(std::uint32_t& bytes) = 0;
    virtual bool Pause() = 0;
    virtual bool Restart() = 0;
    // Left level in the low 16 bits, right level in the high 16 bits (0xFFFF = full).
    virtual bool SetVolume(std::uint32_t volume) = 0;
    virtual bool IsOpen() const = 0;
    // Held while AudioOut writes the ring, so the device never reads a half-written block.
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

}  // namespace tamlorex
