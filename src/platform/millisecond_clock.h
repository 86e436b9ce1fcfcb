#pragma once
// The process-wide millisecond counter that paces playback; differences are taken modulo 2^32.
#include <cstdint>

namespace tamlorex {

class MillisecondClock {
public:
    // Milliseconds from a steady clock, as a wrapping 32-bit counter.
    static std::uint32_t Now();
    // Kept for the engine's start and stop order; the steady clock needs no timer.
    static void StartClock();
    static void StopClock();
};

}  // namespace tamlorex
