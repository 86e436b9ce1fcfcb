#pragma once
// Test doubles around AudioOut: a sound device whose play position the test sets, and an Alerts that
// records the texts it is given.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio_device.h"
#include "audio/audio_out.h"
#include "platform/alerts.h"

namespace tamlorex {

class RecordingAlerts : public Alerts {
public:
    void Alert(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

class FakeAudioDevice : public AudioDevice {
public:
    bool Open(int rate, int bits) override
    {
        ++opens;
        openRate = rate;
        openBits = bits;
        open = openSucceeds;
        paused = false;
        return open;
    }
    bool StartLoop(const std::uint8_t* ring, std::size_t size) override
    {
        ++loops;
        if (!open || !loopSucceeds) return false;
        loopRing = ring;
        loopSize = size;
        paused = false;
        return true;
    }
    bool GetPosition(std::uint32_t& bytes) override
    {
        if (!open || !positionSucceeds) return false;
        bytes = position;
        return true;
    }
    bool Pause() override
    {
        ++pauses;
        if (!open) return false;
        paused = true;
        position = positionAfterPause;
        return true;
    }
    bool Restart() override
    {
        ++restarts;
        if (!open) return false;
        paused = false;
        return true;
    }
    bool SetVolume(std::uint32_t volume) override
    {
        applied.push_back(volume);
        return open;
    }
    bool IsOpen() const override { return open; }

    // Any change to the watched ring outside Lock..Unlock is recorded.
    void Lock() override
    {
        ++locks;
        if (watched && std::memcmp(watched, snapshot.data(), snapshot.size()) != 0) changedOutsideLock = true;
    }
    void Unlock() override
    {
        if (watched) std::memcpy(snapshot.data(), watched, snapshot.size());
    }
    void Watch(const std::uint8_t* ring)
    {
        watched = ring;
        snapshot.assign(ring, ring + kAudioRingSize);
    }
    bool RingChangedOutsideLock()
    {
        return changedOutsideLock || (watched && std::memcmp(watched, snapshot.data(), snapshot.size()) != 0);
    }

    // Sets the position now and the one the device reports once paused (by default the same).
    void At(std::uint32_t bytes)
    {
        position = bytes;
        positionAfterPause = bytes;
    }

    bool openSucceeds = true;
    bool loopSucceeds = true;
    bool positionSucceeds = true;
    bool open = false;
    bool paused = false;
    int openRate = 0;
    int openBits = 0;
    std::uint32_t position = 0;
    std::uint32_t positionAfterPause = 0;
    int opens = 0, loops = 0, pauses = 0, restarts = 0, locks = 0;
    const std::uint8_t* loopRing = nullptr;
    std::size_t loopSize = 0;
    std::vector<std::uint32_t> applied;

private:
    const std::uint8_t* watched = nullptr;
    std::vector<std::uint8_t> snapshot;
    bool changedOutsideLock = false;
};

}  // namespace tamlorex
