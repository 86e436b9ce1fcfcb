#include "audio/sdl_audio_device.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace tamlorex {

namespace {

// SDL's sub-system start and stop are not thread-safe: one count for the process, under a lock.
std::mutex gSubsystemMutex;
int gSubsystemUsers = 0;

bool AcquireAudioSubsystem()
{
    std::lock_guard<std::mutex> lock(gSubsystemMutex);
    // SDL would take SIGINT and SIGTERM for an event queue nobody reads: the programs end on
    // those signals by their own rules.
    if (gSubsystemUsers == 0) SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (gSubsystemUsers == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    ++gSubsystemUsers;
    return true;
}

void ReleaseAudioSubsystem()
{
    std::lock_guard<std::mutex> lock(gSubsystemMutex);
    if (gSubsystemUsers > 0 && --gSubsystemUsers == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// About 30 ms per callback at 16000 Hz: short enough that the position moves smoothly.
constexpr Uint16 kCallbackFrames = 512;

}  // namespace

SdlAudioDevice::SdlAudioDevice() = default;

SdlAudioDevice::~SdlAudioDevice()
{
    Close();
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (subsystem_) {
        ReleaseAudioSubsystem();
        subsystem_ = false;
    }
}

void SdlAudioDevice::Close()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (device_ != 0) {
        // Waits for a running callback to finish: after this the ring is no longer read.
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    ring_ = nullptr;
    size_ = 0;
    readOffset_ = 0;
    position_.store(0);
}

bool SdlAudioDevice::Open(int rate, int bits)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Close();
    if ((bits != 8 && bits != 16) || rate <= 0) return false;
    if (!subsystem_) {
        if (!AcquireAudioSubsystem()) return false;
        subsystem_ = true;
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = rate;
    want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = 1;
    want.samples = kCallbackFrames;
    want.callback = &SdlAudioDevice::Callback;
    want.userdata = this;
    bits_ = bits;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to whatever the hardware plays, so the callback always sees
    // exactly this format and byte positions count our own samples.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) return false;
    device_ = id;
    return true;
}

bool SdlAudioDevice::StartLoop(const std::uint8_t* ring, std::size_t size)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (device_ == 0 || !ring || size == 0) return false;
    SDL_LockAudioDevice(device_);
    ring_ = ring;
    size_ = size;
    readOffset_ = 0;
    position_.store(0);
    SDL_UnlockAudioDevice(device_);
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SdlAudioDevice::GetPosition(std::uint32_t& bytes)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (device_ == 0) return false;
    bytes = position_.load();
    return true;
}

bool SdlAudioDevice::Pause()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (device_ == 0) return false;
    SDL_PauseAudioDevice(device_, 1);
    return true;
}

bool SdlAudioDevice::Restart()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (device_ == 0) return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SdlAudioDevice::SetVolume(std::uint32_t volume)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (device_ == 0) return false;
    volume_.store(volume);
    return true;
}

bool SdlAudioDevice::IsOpen() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return device_ != 0;
}

void SdlAudioDevice::Lock()
{
    // Held until Unlock, so the device cannot be closed or replaced between the two.
    mutex_.lock();
    if (device_ != 0) SDL_LockAudioDevice(device_);
}

void SdlAudioDevice::Unlock()
{
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
    mutex_.unlock();
}

void SdlAudioDevice::Callback(void* self, std::uint8_t* stream, int length)
{
    if (length > 0) static_cast<SdlAudioDevice*>(self)->Fill(stream, static_cast<std::size_t>(length));
}

void SdlAudioDevice::Fill(std::uint8_t* stream, std::size_t length)
{
    // Runs on SDL's audio thread with the device lock held.
    if (!ring_ || size_ == 0) {
        std::memset(stream, bits_ == 8 ? 0x80 : 0x00, length);
        return;
    }
    for (std::size_t done = 0; done < length;) {
        const std::size_t piece = std::min(length - done, size_ - readOffset_);
        std::memcpy(stream + done, ring_ + readOffset_, piece);
        done += piece;
        readOffset_ = (readOffset_ + piece) % size_;
    }
    position_.fetch_add(static_cast<std::uint32_t>(length));

    const std::uint32_t level = volume_.load() & 0xFFFFu;
    if (level == 0xFFFFu) return;
    if (bits_ == 8) {
        for (std::size_t i = 0; i < length; ++i) {
            const int centred = static_cast<int>(stream[i]) - 128;
            stream[i] = static_cast<std::uint8_t>(128 + centred * static_cast<int>(level) / 0xFFFF);
        }
    } else {
        for (std::size_t i = 0; i + 1 < length; i += 2) {
            const auto sample = static_cast<std::int16_t>(stream[i] | (stream[i + 1] << 8));
            const auto scaled = static_cast<std::uint16_t>(static_cast<std::int32_t>(sample) * static_cast<std::int32_t>(level) / 0xFFFF);
            stream[i] = static_cast<std::uint8_t>(scaled & 0xFF);
            stream[i + 1] = static_cast<std::uint8_t>(scaled >> 8);
        }
    }
}

}  // namespace tamlorex
