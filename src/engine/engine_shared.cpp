#include "engine/engine_shared.h"

#include <cmath>

namespace tamlorex {

const char* StateText(int state)
{
    static const char* const kTexts[] = {"READY", "STOP ", "PLAY ", "PLAY ", "STEPF", "STEPR", "PAUSE", "SEARCH"};
    return state >= 0 && state < 8 ? kTexts[state] : "";
}

int StateForCommand(int command)
{
    switch (command) {
    case kCommandPause: return kStatePause;
    case kCommandPlay: return kStatePlay;
    case kCommandReverse: return kStateReverse;
    case kCommandStepForward: return kStateStepForward;
    case kCommandStepBack: return kStateStepBack;
    case kCommandSeek: return kStateSearch;
    default: return -1;
    }
}

int SpeedToTenths(double speed)
{
    if (!std::isfinite(speed)) return kNormalSpeedTenths;
    const double tenths = std::round(std::fabs(speed) * 10.0);
    return tenths > kFastestTenths ? kFastestTenths : static_cast<int>(tenths);
}

EngineShared::EngineShared() = default;

void EngineShared::Post(int command, std::uint64_t target)
{
    // The event is set under the lock, so the worker never takes a command twice.
    std::lock_guard<std::mutex> lock(commandMutex_);
    command_ = command;
    target_ = target;
    commandEvent_.Set();
}

bool EngineShared::Take(int& command, std::uint64_t& target)
{
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (!commandEvent_.IsSet()) return false;
    command = command_;
    target = target_;
    command_ = kCommandNone;
    commandEvent_.Reset();
    return true;
}

void EngineShared::Notify()
{
    if (EngineObserver* observer = observer_.load()) observer->OnStateChanged(state_.load(), Speed());
}

void EngineShared::SetState(int state)
{
    if (state_.exchange(state) != state) Notify();
}

void EngineShared::SetSpeedTenths(int tenths)
{
    if (speedTenths_.exchange(tenths) != tenths) Notify();
}

void EngineShared::PublishPosition(std::uint64_t position, std::uint64_t size)
{
    position_.store(position);
    size_.store(size);
}

void EngineShared::PublishTime(const CalendarTime& time)
{
    std::lock_guard<std::mutex> lock(timeMutex_);
    time_ = time;
    timeValid_ = true;
}

void EngineShared::ClearTime()
{
    std::lock_guard<std::mutex> lock(timeMutex_);
    timeValid_ = false;
}

bool EngineShared::CurrentTime(CalendarTime& out) const
{
    std::lock_guard<std::mutex> lock(timeMutex_);
    if (!timeValid_ || !IsPlausible(time_)) return false;
    out = time_;
    return true;
}

void EngineShared::NoteDecoded(int channel, int width, int height)
{
    lastChannel.store(channel);
    lastWidth.store(width);
    lastHeight.store(height);
}

void EngineShared::NotePage(int interval, std::uint32_t mask)
{
    pageInterval.store(interval);
    pageMask.store(mask);
}

}  // namespace tamlorex
