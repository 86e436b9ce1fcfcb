#pragma once
// The faults a hostile recorder mixes into a logged-in client's live stream, on a pseudo-random
// schedule drawn from a seed: garbage bytes, units longer than the client keeps, units cut short
// (the connection then closed or silent for a while), silences shorter or longer than the
// client's time-out, and plain disconnects. The same seed gives the same events in the same
// order; only their times follow the clock.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tamlorex::sim {

struct HostileOptions {
    bool on = false;
    std::uint64_t seed = 1;
    // The client's time-out in seconds: short silences stay well under it, long ones outlast it.
    double clientTimeout = 7;
};

enum class HostileKind { kGarbage, kOversized, kCut, kStall, kDisconnect };

// What the recorder does for one event, in this order: queue `bytes` after the whole units
// already queued, then (once those have gone out) stay silent for `stallSeconds`, or close.
struct HostileEvent {
    HostileKind kind = HostileKind::kGarbage;
    std::vector<std::uint8_t> bytes;
    double stallSeconds = 0;
    bool close = false;
    std::string fields;  // the event's JSON fields, without braces
};

// The unit a cut shortens, made by the caller when the event is due.
enum class CutUnit { kPicture, kSound, kMessage };

class HostileSchedule {
public:
    explicit HostileSchedule(const HostileOptions& options);

    // A client has just logged in at `now`: it gets some normal stream before the first event.
    void Restart(double now);
    bool Due(double now) const { return now >= next_; }
    double NextAt() const { return next_; }

    // The kind of the event due and, for a cut, which unit it shortens; the caller then makes
    // that unit and passes it to Take (empty for the other kinds).
    HostileKind PeekKind() const { return kind_; }
    CutUnit PeekCutUnit() const { return cutUnit_; }
    // Builds the event due at `now` and schedules the next one. `unit` is the whole unit a cut
    // shortens (at least 2 bytes, else the cut becomes a disconnect); `unitName` names it.
    HostileEvent Take(double now, const std::vector<std::uint8_t>& unit, const char* unitName);

    std::uint64_t Events() const { return events_; }

private:
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : rng_() % n; }
    static double Uniform(std::mt19937_64& rng, double lo, double hi)
    {
        return lo + (hi - lo) * static_cast<double>(rng() >> 11) * 0x1.0p-53;
    }
    double Uniform(double lo, double hi) { return Uniform(rng_, lo, hi); }
    void Draw();
    // Random bytes with no 00 00 01 in them, so that they hold no start code.
    void Payload(std::vector<std::uint8_t>& out, std::size_t count);
    void Garbage(HostileEvent& e);
    void Oversized(HostileEvent& e);
    double ShortStall();

    HostileOptions options_;
    std::mt19937_64 rng_;     // the events and their contents
    std::mt19937_64 timing_;  // the gaps between them, which logins also draw on
    double next_ = 1e300;
    HostileKind kind_ = HostileKind::kGarbage;
    CutUnit cutUnit_ = CutUnit::kPicture;
    std::uint64_t events_ = 0;
};

}  // namespace tamlorex::sim
