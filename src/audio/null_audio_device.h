#pragma once
// A sound device without sound: it "plays" the ring at the sample rate in real time (the position is
// the time since StartLoop, less the paused stretches, times the bytes per second), or, in manual
// mode, stands at whatever position it is given. For machines without sound and for tests.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "audio/audio_device.h"

namespace tamlorex {

class NullAudioDevice : public AudioDevice {
public:
    NullAudioDevice() = default;

    bool Open(int rate, int bits) override;
    bool StartLoop(const std::uint8_t* ring, std::size_t size) override;
    bool GetPosition(std::uint32_t& bytes) override;
    bool Pause() override;
    bool Restart() override;
    bool SetVolume(std::uint32_t volume) override;
    bool IsOpen() const override;
    void Lock() override;
    void Unlock() override;

    // From now on the position is this value, whatever the clock says; real time does not resume.
    void SetManualPosition(std::uint32_t bytes);
    bool IsPaused() const;
    std::uint32_t Volume() const;

private:
    using Clock = std::chrono::steady_clock;
    std::uint32_t PositionLocked() const;

    mutable std::mutex mutex_;
    std::mutex ringLock_;
    bool open_ = false;
    bool looping_ = false;
    bool paused_ = false;
    bool manual_ = false;
    std::uint32_t manualPosition_ = 0;
    std::uint64_t bytesPerSecond_ = 0;
    Clock::duration playedBefore_{};  // play time up to the last pause
    Clock::time_point resumedAt_{};
    std::uint32_t volume_ = 0xFFFFFFFFu;
};

}  // namespace tamlorex
