#include "engine/media_clock.h"

#include <algorithm>

namespace tamlorex {
namespace {

constexpr std::int64_t kSecondUs = 1000000;
// A step longer than this many seconds of playing time is a gap in the recording, not a wait.
constexpr double kLongestWaitSeconds = 2.0;

}  // namespace

void MediaClock::Reset()
{
    placed_ = false;
    restarted_ = false;
    anchored_ = false;
}

std::int64_t MediaClock::Place(std::uint32_t pageTime, std::int64_t stepUs, bool forward)
{
    const std::int64_t low = static_cast<std::int64_t>(pageTime) * kSecondUs;
    const std::int64_t high = low + kSecondUs - 1;
    restarted_ = !placed_;
    std::int64_t media = forward ? low : high;
    if (placed_) {
        media = forward ? last_ + stepUs : last_ - stepUs;
        const auto tolerance = static_cast<std::int64_t>(kLongestWaitSeconds * std::max(speed_, 1.0) * kSecondUs);
        // Far ahead of the step (a gap in the recording), or behind where the last record stood
        // (a clock set back); a step that outruns its page's second is only held back.
        const bool gap = forward ? media < low - tolerance || last_ > high + tolerance
                                 : media > high + tolerance || last_ < low - tolerance;
        if (gap) {
            media = forward ? low : high;
            restarted_ = true;
        } else {
            media = std::clamp(media, low, high);
        }
    }
    placed_ = true;
    last_ = media;
    return media;
}

void MediaClock::Continue(std::int64_t media)
{
    placed_ = true;
    restarted_ = false;
    last_ = media;
}

void MediaClock::Anchor(std::int64_t media, double nowMs, double speed, bool forward)
{
    anchored_ = true;
    anchorMedia_ = media;
    anchorMs_ = nowMs;
    speed_ = speed > 0 ? speed : 1.0;
    forward_ = forward;
}

double MediaClock::DueMs(std::int64_t media) const
{
    const double elapsedUs = static_cast<double>(forward_ ? media - anchorMedia_ : anchorMedia_ - media);
    return anchorMs_ + elapsedUs / speed_ / 1000.0;
}

std::int64_t MediaClock::MediaAt(double nowMs) const
{
    const auto elapsedUs = static_cast<std::int64_t>((nowMs - anchorMs_) * 1000.0 * speed_);
    return forward_ ? anchorMedia_ + elapsedUs : anchorMedia_ - elapsedUs;
}

}  // namespace tamlorex
