#pragma once
// Finds pages by clock time in a recording or a recorder's disk from the page headers alone.
//
// Only pages whose header checksum holds and whose time is a plausible calendar time count; the
// others (damaged, unwritten, zero) are passed over by probing the pages after them.
//
// Recording order: a file runs from its first page to its last. A disk (ring) is written as one
// increasing run that wraps around once: its oldest page is the first page whose time is below
// the time of the disk's first good page (found by binary search), and recording order runs from
// there to the end of the disk and on from page 0.
//
// A clock set back makes the times step backwards. The recording is split into increasing
// segments at each step back found between evenly spaced sample pages (each located by binary
// search). A seek lands in the first segment, in recording order, whose last time is at or after
// the clock time asked for, on its first page at or after that time.
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "media/frame_record.h"
#include "media/page_header.h"

namespace tamlorex {

class VvfReader;

class TimeIndex {
public:
    // Reads page `page` (in file byte order) into 4096 bytes; false when it cannot be read.
    using PageReader = std::function<bool(std::uint64_t page, std::uint8_t* bytes)>;

    struct Segment {
        std::uint64_t firstPage = 0;  // physical page numbers of its first and last good pages
        std::uint64_t lastPage = 0;
        std::uint32_t firstTime = 0;  // page times, seconds since 1970
        std::uint32_t lastTime = 0;
    };

    // pages: the number of whole pages; ring: a disk written as a ring.
    TimeIndex(PageReader read, std::uint64_t pages, bool bigEndian, bool ring);
    // Over an open reader: its whole pages, its byte order, a ring when it reads a disk.
    explicit TimeIndex(const VvfReader& reader);

    // Finds the wrap point and the segments; false when no page has a good header.
    bool Build();
    const std::vector<Segment>& Segments() const { return segments_; }
    // Physical page number of the oldest page (0 unless a wrapped ring).
    std::uint64_t OldestPage() const { return wrap_; }

    // Byte offset of the first good page at or after `time` (seconds since 1970) by the rule
    // above; nothing when the recording ends before it. Build first.
    std::optional<std::uint64_t> Seek(std::uint32_t time);
    // The same within one segment.
    std::optional<std::uint64_t> SeekInSegment(const Segment& segment, std::uint32_t time);

    // Page time of the first good page at or after byte offset `offset` (to the end of the
    // source, not around a ring); nothing when there is none.
    std::optional<std::uint32_t> TimeAt(std::uint64_t offset);

    // Whether a page read in file byte order has a good header: its checksum holds and its time is
    // a plausible calendar time. Fills `header` either way.
    static bool GoodPage(const std::uint8_t* page, bool bigEndian, PageHeader& header);

    // Page reads from the source so far (each page is read once; repeated probes are cached).
    std::uint64_t PageReads() const { return reads_; }

private:
    struct Probe {
        bool good = false;
        std::uint32_t time = 0;
    };
    Probe Read(std::uint64_t physical);
    std::uint64_t Physical(std::uint64_t logical) const { return (logical + wrap_) % pages_; }
    // A good page at logical index from..limit-1: the next two, then at doubling distances.
    std::optional<std::uint64_t> ProbeForward(std::uint64_t from, std::uint64_t limit, std::uint32_t& time,
                                              bool physical = false);
    // Between a bad page and a good one (on either side of it), the good page that ends the bad
    // run next to the good one, by bisection; `probe` becomes that page's.
    template <typename At>
    static std::uint64_t NarrowToRunEnd(std::uint64_t bad, std::uint64_t good, Probe& probe, At at);
    // A good page at index from down to lowest, likewise.
    std::optional<std::uint64_t> ProbeBackward(std::uint64_t from, std::uint64_t lowest, std::uint32_t& time,
                                               bool physical = false);
    // Between good pages lo and hi (lo < hi, `after(time(lo), time(hi))` true, logical or
    // physical indices), the first known good page for which after(time(lo'), time) holds.
    template <typename After>
    std::uint64_t FindFirst(std::uint64_t lo, std::uint32_t loTime, std::uint64_t hi, After after, bool physical);

    PageReader read_;
    std::uint64_t pages_ = 0;
    bool bigEndian_ = false;
    bool ring_ = false;
    std::uint64_t wrap_ = 0;
    std::vector<Segment> segments_;
    std::unordered_map<std::uint64_t, Probe> cache_;
    std::uint64_t reads_ = 0;
};

// Page seconds of a local clock time "YYYY-MM-DD HH:MM:SS" (as the reader prints page times);
// false for any other text or a time a page cannot hold.
bool ParseClockTime(const char* text, std::uint32_t& seconds);
// The same from calendar fields.
bool PageTimeFromCalendar(const CalendarTime& time, std::uint32_t& seconds);

}  // namespace tamlorex
