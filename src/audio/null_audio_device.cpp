#include "audio/null_audio_device.h"

namespace tamlorex {

bool NullAudioDevice::Open(int rate, int bits)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    looping_ = false;
    paused_ = false;
    playedBefore_ = Clock::duration::zero();
    if ((bits != 8 && bits != 16) || rate <= 0) return false;
    bytesPerSecond_ = static_cast<std::uint64_t>(rate) * static_cast<std::uint64_t>(bits / 8);
    open_ = true;
    return true;
}

bool NullAudioDevice::StartLoop(const std::uint8_t* ring, std::size_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || !ring || size == 0) return false;
    looping_ = true;
    paused_ = false;
    playedBefore_ = Clock::duration::zero();
    resumedAt_ = Clock::now();
    return true;
}

std::uint32_t NullAudioDevice::PositionLocked() const
{
    if (manual_) return manualPosition_;
    if (!looping_) return 0;
    Clock::duration played = playedBefore_;
    if (!paused_) played += Clock::now() - resumedAt_;
    const auto micros = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(played).count());
    return static_cast<std::uint32_t>(micros * bytesPerSecond_ / 1000000u);
}

bool NullAudioDevice::GetPosition(std::uint32_t& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return false;
    bytes = PositionLocked();
    return true;
}

bool NullAudioDevice::Pause()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return false;
    if (looping_ && !paused_) playedBefore_ += Clock::now() - resumedAt_;
    paused_ = true;
    return true;
}

bool NullAudioDevice::Restart()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return false;
    if (paused_) resumedAt_ = Clock::now();
    paused_ = false;
    return true;
}

bool NullAudioDevice::SetVolume(std::uint32_t volume)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return false;
    volume_ = volume;
    return true;
}

bool NullAudioDevice::IsOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

void NullAudioDevice::Lock()
{
    ringLock_.lock();
}

void NullAudioDevice::Unlock()
{
    ringLock_.unlock();
}

void NullAudioDevice::SetManualPosition(std::uint32_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    manual_ = true;
    manualPosition_ = bytes;
}

bool NullAudioDevice::IsPaused() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return paused_;
}

std::uint32_t NullAudioDevice::Volume() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return volume_;
}

}  // namespace tamlorex
