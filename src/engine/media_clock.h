#pragma once
// When each record of a recording is due, so that the recording's clock runs at the chosen speed.
// Page times count whole seconds; within a second the records are spaced by their frame interval,
// and a record's time always stays within the second of its page.
#include <cstdint>

namespace tamlorex {

class MediaClock {
public:
    // Nothing placed: the next record starts the clock.
    void Reset();
    // The recording time (microseconds since 1970) of the next record in the direction of play:
    // `stepUs` (its frame interval; 0 for sound) on from the record before it, held within the
    // second of its page time. A step out of all proportion to the speed (a gap in the recording,
    // a clock set back) starts the clock afresh at the record, and Restarted then says so.
    std::int64_t Place(std::uint32_t pageTime, std::int64_t stepUs, bool forward);
    bool Restarted() const { return restarted_; }
    std::int64_t Last() const { return last_; }
    bool Placed() const { return placed_; }
    // The next step is taken from recording time `media` (a picture already on screen).
    void Continue(std::int64_t media);

    // From now on recording time `media` is due at `nowMs`, and the clock runs at `speed` in
    // the direction given.
    void Anchor(std::int64_t media, double nowMs, double speed, bool forward);
    bool Anchored() const { return anchored_; }
    // The moment (milliseconds of the steady clock) at which recording time `media` is due.
    double DueMs(std::int64_t media) const;
    // The recording time due at `nowMs`.
    std::int64_t MediaAt(double nowMs) const;
    double Speed() const { return speed_; }

private:
    bool placed_ = false;
    bool restarted_ = false;
    std::int64_t last_ = 0;
    bool anchored_ = false;
    std::int64_t anchorMedia_ = 0;
    double anchorMs_ = 0;
    double speed_ = 1.0;
    bool forward_ = true;
};

}  // namespace tamlorex
