#include "platform/millisecond_clock.h"

#include <chrono>

namespace tamlorex {

std::uint32_t MillisecondClock::Now()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    // Only the low 32 bits count: users take differences modulo 2^32.
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void MillisecondClock::StartClock() {}

void MillisecondClock::StopClock() {}

}  // namespace tamlorex
