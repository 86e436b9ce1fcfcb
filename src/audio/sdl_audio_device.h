#pragma once
// The sound device on SDL2 audio in callback mode. The callback copies from the ring at the play
// position and moves it on, wrapping at the ring's end, so the device loops over the ring the way a
// looping wave-out buffer does. The byte position counts what the callback has consumed since
// StartLoop; while paused SDL stops calling it, so the position stands still.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "audio/audio_device.h"

namespace tamlorex {

class SdlAudioDevice : public AudioDevice {
public:
    SdlAudioDevice();
    ~SdlAudioDevice() override;
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    // False when SDL has no audio driver or the driver refuses mono PCM at this rate and width.
    bool Open(int rate, int bits) override;
    bool StartLoop(const std::uint8_t* ring, std::size_t size) override;
    bool GetPosition(std::uint32_t& bytes) override;
    bool Pause() override;
    bool Restart() override;
    // The left level (low 16 bits) scales the mono samples; 0xFFFF plays them unchanged.
    bool SetVolume(std::uint32_t volume) override;
    bool IsOpen() const override;
    void Lock() override;
    void Unlock() override;

    void Close();

private:
    static void Callback(void* self, std::uint8_t* stream, int length);
    void Fill(std::uint8_t* stream, std::size_t length);

    // Guards the device id against Open and Close on another thread; the ring and the read offset
    // are guarded by SDL's own device lock, which SDL holds around every callback.
    mutable std::recursive_mutex mutex_;
    std::uint32_t device_ = 0;  // SDL_AudioDeviceID, 0 = none
    bool subsystem_ = false;
    int bits_ = 8;
    const std::uint8_t* ring_ = nullptr;
    std::size_t size_ = 0;
    std::size_t readOffset_ = 0;
    std::atomic<std::uint32_t> position_{0};
    std::atomic<std::uint32_t> volume_{0xFFFFFFFFu};
};

}  // namespace tamlorex
