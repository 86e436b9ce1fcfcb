#pragma once
// Recorder sound through one looping ring buffer ahead of the device's play position.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

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
// True when the model type carries A-law sound (expanded to 16 bits), false for 8-bit linear.
bool ModelUsesALaw(int modelType);
// ITU-T G.711 A-law to a 16-bit linear sample.
std::int16_t ALawToLinear(std::uint8_t code);

class AudioOut {
public:
    AudioOut(AudioDevice& device, Alerts* alerts);
    ~AudioOut();

    int OpenDevice(int rate, int bits);
    int StartLoop();
    AudioWrite WriteRaw(const std::uint8_t* bytes, std::size_t n);
    AudioWrite WriteALaw(const std::uint8_t* bytes, std::size_t n);
    void Service();
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
};

}  // namespace tamlorex
