#pragma once
// Images of a recorder's disk for tests and benchmarks: a few seconds of a sample recording,
// encoded once, repeated page after page with advancing page times, every 16-bit word swapped as
// the recorder writes its disk. The disk is a ring: the newest page ends at the wrap point, a
// short run of unwritten (zero) pages follows, then the oldest pages run to the end of the disk.
#include <cstdint>
#include <string>

namespace tamlorex::sim {

struct DiskOptions {
    double gigabytes = 1;     // size in units of 2^30 bytes, rounded down to whole pages
    double wrap = 0.5;        // where the newest page ends, as a fraction of the size; 1: not wrapped
    int channels = 4;
    int modelType = 4;
    std::uint32_t startTime = 0;  // the oldest page's time; 0: the sample default
    std::uint64_t gapPages = 8;   // unwritten pages after the wrap point (none when not wrapped)
};

struct DiskSummary {
    std::uint64_t pages = 0;
    std::uint64_t wrapPage = 0;    // first page after the newest
    std::uint64_t oldestPage = 0;  // first page of the oldest
    std::uint32_t firstTime = 0;   // the oldest and the newest page time
    std::uint32_t lastTime = 0;
    double seconds = 0;            // time taken to write
};

bool MakeDisk(const std::string& path, const DiskOptions& options, DiskSummary& summary, std::string& error);

}  // namespace tamlorex::sim
