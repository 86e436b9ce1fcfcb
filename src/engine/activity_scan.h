#pragma once
// Where each channel of a recording or disk recorded, for the timeline: page headers sampled evenly
// over the recording in recording order, on a thread of its own, coarse first and finer with each
// pass, so that a whole disk shows its channels at once and fills in as the scan goes on.
//
// Each sample is one page read: its time and the channel mask of its header. A small recording is
// read page by page; a large one in at most kMaxSamples evenly spaced pages.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/time_index.h"

namespace tamlorex {

class ActivityScan {
public:
    static constexpr std::uint64_t kMaxSamples = 8192;
    // The samples of the first pass.
    static constexpr std::uint64_t kFirstPass = 64;

    struct Sample {
        std::uint64_t logical = 0;  // page number in recording order
        std::uint32_t time = 0;     // page time, 0 for a page without a good header
        std::uint16_t mask = 0;     // channels the page records
    };

    struct Snapshot {
        std::vector<Sample> samples;               // in recording order; good pages only
        std::vector<TimeIndex::Segment> segments;  // as the time index found them
        std::uint64_t pages = 0;
        std::uint64_t oldestPage = 0;  // physical page of logical page 0
        std::uint64_t pageReads = 0;
        bool done = false;
        bool failed = false;  // no page with a good header, or not opened
    };

    ActivityScan() = default;
    ~ActivityScan() { Stop(); }
    ActivityScan(const ActivityScan&) = delete;
    ActivityScan& operator=(const ActivityScan&) = delete;

    // Starts the scan of a source through its own read-only descriptor (the source being played is
    // not disturbed); a scan already running is stopped first. False when it cannot be opened.
    bool Start(const std::string& path, bool drive, int modelType);
    // Starts over a page reader (tests).
    void Start(TimeIndex::PageReader read, std::uint64_t pages, bool bigEndian, bool ring);
    // Stops at the next page read and waits for the thread.
    void Stop();

    // What is known so far; cheap when nothing changed since `generation`.
    Snapshot Take() const;
    // Grows with every published part of the scan.
    std::uint64_t Generation() const { return generation_.load(); }
    bool Done() const { return done_.load(); }

private:
    void Run(TimeIndex::PageReader read, std::uint64_t pages, bool bigEndian, bool ring);
    void Publish(std::vector<Sample>& fresh, bool done);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::atomic<std::uint64_t> generation_{0};
    mutable std::mutex mutex_;
    Snapshot state_;
};

// Where one channel recorded, in clock time: stretches [first, last] of page time between
// neighbouring samples that both record the channel, within one segment and close enough in time (a
// gap much longer than the samples' usual spacing is a pause in the recording).
struct ActivityRun {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};
std::vector<ActivityRun> ChannelRuns(const ActivityScan::Snapshot& snapshot, int channel);
// The channels any sample records, bit i for channel i.
std::uint16_t RecordedChannels(const ActivityScan::Snapshot& snapshot);

// The order in which `count` evenly spaced slots are sampled: every `count / first`-th slot, then
// the slots halfway between those already taken, and so on, so each pass halves the gaps.
std::vector<std::uint64_t> RefiningOrder(std::uint64_t count, std::uint64_t first);

}  // namespace tamlorex
