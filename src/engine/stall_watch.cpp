#include "engine/stall_watch.h"

#include <algorithm>
#include <cstdio>

namespace tamlorex {

void StallWatch::SetThresholdMs(int ms) { thresholdMs_ = std::max(ms, 1); }

void StallWatch::Arm(Clock::time_point now, std::time_t wallNow)
{
    if (armed_) return;
    armed_ = true;
    stalled_ = false;
    last_ = now;
    lastWall_ = wallNow;
}

void StallWatch::Disarm()
{
    armed_ = false;
    stalled_ = false;
}

bool StallWatch::NotePicture(Clock::time_point now, std::time_t wallNow)
{
    last_ = now;
    lastWall_ = wallNow;
    const bool ended = stalled_;
    stalled_ = false;
    return ended;
}

bool StallWatch::Poll(Clock::time_point now)
{
    if (!armed_ || stalled_) return false;
    if (now - last_ < std::chrono::milliseconds(thresholdMs_)) return false;
    stalled_ = true;
    return true;
}

double StallWatch::SilenceSeconds(Clock::time_point now) const
{
    return std::chrono::duration<double>(now - last_).count();
}

std::string StallWatch::SinceText() const
{
    std::tm local{};
    const std::time_t when = lastWall_;
    if (localtime_r(&when, &local) == nullptr) return "--:--:--";
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::vector<std::string> StallNoticeLines(const std::string& since, bool online)
{
    return {"No picture since " + since, online ? "Connected, waiting for pictures" : "Reconnecting..."};
}

std::string StallStatusText(const std::string& since, bool online)
{
    return "No picture since " + since + ", " + (online ? kStallWaiting : kStallReconnecting);
}

}  // namespace tamlorex
