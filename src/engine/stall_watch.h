#pragma once
// The live stall alert of Client mode: once the client has been online, a silence of pictures
// longer than the stall time (3 s unless set) is a stall until the next picture arrives. The
// watch keeps the time of the last picture on the local clock for the notice "No picture since
// HH:MM:SS"; the caller polls it and says what the connection is doing.
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace tamlorex {

inline constexpr int kDefaultStallMs = 3000;

class StallWatch {
public:
    using Clock = std::chrono::steady_clock;

    // Below 1 ms counts as 1 ms.
    void SetThresholdMs(int ms);
    int ThresholdMs() const { return thresholdMs_; }

    // The client is online: from now on a silence counts (when not counting already).
    void Arm(Clock::time_point now, std::time_t wallNow);
    // Not connected any more: no stall, nothing counts.
    void Disarm();
    bool Armed() const { return armed_; }

    // A picture arrived; true when it ended a stall.
    bool NotePicture(Clock::time_point now, std::time_t wallNow);
    // True once, when a stall begins at `now`.
    bool Poll(Clock::time_point now);
    bool Stalled() const { return stalled_; }
    // Seconds since the last picture (or since the watch was armed, before the first).
    double SilenceSeconds(Clock::time_point now) const;
    // The local time of the last picture as "HH:MM:SS" (of the arming before the first picture).
    std::string SinceText() const;

private:
    int thresholdMs_ = kDefaultStallMs;
    bool armed_ = false;
    bool stalled_ = false;
    Clock::time_point last_{};
    std::time_t lastWall_ = 0;
};

// What the connection does during a stall, as the alert says it.
inline constexpr char kStallWaiting[] = "waiting";
inline constexpr char kStallReconnecting[] = "reconnecting";

// The overlay's lines: "No picture since HH:MM:SS" and "Connected, waiting for pictures" or
// "Reconnecting...".
std::vector<std::string> StallNoticeLines(const std::string& since, bool online);
// The status line's text: "No picture since HH:MM:SS, waiting" (or ", reconnecting").
std::string StallStatusText(const std::string& since, bool online);

}  // namespace tamlorex
