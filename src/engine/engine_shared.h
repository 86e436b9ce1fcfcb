#pragma once
// What the engine's public face (on the window's thread) and its workers share: the command
// channel, the playback state and speed, the settings a worker reads, and what a worker publishes
// (the position, the current time, the last picture's size). Every field is an atomic or under a
// lock; changes of state and speed reach the observer as events.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/engine_events.h"
#include "media/frame_record.h"
#include "platform/event.h"

namespace tamlorex {

enum PlaybackState : int {
    kStateReady = 0,
    kStateStop = 1,
    kStatePlay = 2,
    kStateReverse = 3,
    kStateStepForward = 4,
    kStateStepBack = 5,
    kStatePause = 6,
    kStateSearch = 7,
};
// "READY", "STOP ", "PLAY ", ... as the main window shows them.
const char* StateText(int state);

enum EngineCommand : int {
    kCommandNone = 0,
    kCommandPause = 2,
    kCommandPlay = 3,
    kCommandReverse = 4,
    kCommandStepForward = 5,
    kCommandStepBack = 6,
    kCommandSeek = 7,
};
// The state a command selects; -1 for none.
int StateForCommand(int command);

// Speeds are kept in whole tenths, so that 1.0 is exactly 1.0 however it was reached.
inline constexpr int kNormalSpeedTenths = 10;
inline constexpr int kSlowestTenths = 1;
inline constexpr int kFastestNormalTenths = 160;  // 16x: the highest normal speed
inline constexpr int kFirstFastTenths = 160;      // fast forward and rewind start at 16x ...
inline constexpr int kFastestTenths = 2560;       // ... and double up to 256x
int SpeedToTenths(double speed);
inline double TenthsToSpeed(int tenths) { return tenths / 10.0; }

class EngineShared {
public:
    EngineShared();

    // Commands: the latest replaces one not yet taken.
    void Post(int command, std::uint64_t target = 0);
    // The waiting command, if any (the command event is reset).
    bool Take(int& command, std::uint64_t& target);
    Event& CommandEvent() { return commandEvent_; }

    int State() const { return state_.load(); }
    void SetState(int state);
    int SpeedTenths() const { return speedTenths_.load(); }
    void SetSpeedTenths(int tenths);
    double Speed() const { return TenthsToSpeed(speedTenths_.load()); }
    int RequestedTenths() const { return requestedTenths_.load(); }
    void SetRequestedTenths(int tenths) { requestedTenths_.store(tenths); }
    // Fast forward or rewind (16x and up by the fast commands) rather than a normal speed.
    bool Fast() const { return fast_.load(); }
    void SetFast(bool fast) { fast_.store(fast); }

    void SetObserver(EngineObserver* observer) { observer_.store(observer); }
    EngineObserver* Observer() const { return observer_.load(); }

    // Settings the workers read.
    std::atomic<int> modelType{0};
    std::atomic<std::uint32_t> shownChannels{0xFFFF};
    std::atomic<bool> repeat{false};
    std::atomic<bool> captureActive{false};
    // Set while the worker is being stopped: the readers' scans give up at the next page.
    std::atomic<bool> cancelScans{false};
    std::atomic<bool> captureLowSpeed{false};

    // Published by the worker.
    void PublishPosition(std::uint64_t position, std::uint64_t size);
    std::uint64_t Position() const { return position_.load(); }
    std::uint64_t Size() const { return size_.load(); }
    void PublishTime(const CalendarTime& time);
    void ClearTime();
    bool CurrentTime(CalendarTime& out) const;
    // The last decoded picture and the page it came from, for the capture's frame size and rate.
    void NoteDecoded(int channel, int width, int height);
    void NotePage(int interval, std::uint32_t mask);
    std::atomic<int> lastChannel{-1};
    std::atomic<int> lastWidth{0};
    std::atomic<int> lastHeight{0};
    std::atomic<int> pageInterval{0};
    std::atomic<std::uint32_t> pageMask{0};

private:
    void Notify();

    Event commandEvent_;
    std::mutex commandMutex_;
    int command_ = kCommandNone;
    std::uint64_t target_ = 0;

    std::atomic<int> state_{kStateReady};
    std::atomic<int> speedTenths_{kNormalSpeedTenths};
    std::atomic<int> requestedTenths_{kNormalSpeedTenths};
    std::atomic<bool> fast_{false};
    std::atomic<EngineObserver*> observer_{nullptr};

    std::atomic<std::uint64_t> position_{0};
    std::atomic<std::uint64_t> size_{0};
    mutable std::mutex timeMutex_;
    CalendarTime time_{};
    bool timeValid_ = false;
};

}  // namespace tamlorex
