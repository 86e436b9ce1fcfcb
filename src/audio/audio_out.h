#pragma once
// Recorder sound through one looping ring buffer ahead of the device's play position.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "media/model_type.h"

namespace tamlorex {

class Alerts;
class AudioDevice;

inline constexpr std::size_t kAudioRingSize = 16384;
inline constexpr std::size_t kAudioMinimumFill = 1024;
// The largest block one write can take: the ring less the minimum fill.
inline constexpr std::size_t kAudioLargestWrite = kAudioRingSize - kAudioMinimumFill;

enum class AudioWrite {
    Written,
    NoRoom,  // the ring is too full: offer the block again later
    Failed,  // no device position: the block is dropped
};

// Output format of the model type: rate in Hz and bits per sample.
struct AudioFormat {
    int rate;
    int bits;
};
AudioFormat AudioFormatForModel(int modelType);
// ITU-T G.711 A-law to a 16-bit linear sample.
std::int16_t ALawToLinear(std::uint8_t code);

// Threads: OpenDevice, volume and mute run on the user-interface thread; StartLoop, the writes and
// Service on the current worker. The counters and flags are atomics, and every write into the ring
// holds the device's lock, so the device's own thread never reads a half-written block.
class AudioOut {
public:
    AudioOut(AudioDevice& device, Alerts* alerts);
    ~AudioOut();
    AudioOut(const AudioOut&) = delete;
    AudioOut& operator=(const AudioOut&) = delete;

    int OpenDevice(int rate, int bits);
    int StartLoop();
    AudioWrite WriteRaw(const std::uint8_t* bytes, std::size_t n);
    AudioWrite WriteALaw(const std::uint8_t* bytes, std::size_t n);
    void Service();
    // Samples a write could take now (A-law samples count once, though each fills two bytes);
    // 0 without a device position.
    std::size_t Room(bool alaw) const;
    // Ends the loop: the device is paused and the ring silenced, so that nothing already written
    // plays again when the device next runs.
    void StopLoop();
    void SetVolume(std::uint32_t v);
    std::uint32_t GetVolume() const;
    void SetMute(int m);
    int GetMute() const;

    // State, for the tests and the engine.
    std::uint32_t WrittenCounter() const;
    std::size_t WriteOffset() const;
    int FillLevel() const;
    bool Paused() const;
    const std::uint8_t* Ring() const;
    int Bits() const;

private:
    enum class Samples { Raw, ALaw };
    AudioWrite Write(const std::uint8_t* bytes, std::size_t n, Samples kind);
    bool ReadPosition(std::uint32_t& position, bool evenOnly) const;
    void Alert(const char* text);
    std::uint8_t Silence() const;

    AudioDevice& device_;
    Alerts* alerts_;
    std::unique_ptr<std::uint8_t[]> ring_;
    std::atomic<int> rate_{0};
    std::atomic<int> bits_{0};
    // Bytes written since the device was opened (or resynchronised); the write offset in the ring is
    // always this counter modulo the ring size (the ring size divides 2^32, so the wrap is seamless).
    std::atomic<std::uint32_t> written_{0};
    std::atomic<std::uint32_t> volume_{0};
    std::atomic<int> mute_{0};
    std::atomic<int> paused_{0};
    std::atomic<int> fillLevel_{0};
    std::atomic<int> firstPause_{1};
    // Set by StartLoop, cleared by OpenDevice: a second loop on the same device restarts the ring.
    std::atomic<bool> loopStarted_{false};
};

}  // namespace tamlorex
