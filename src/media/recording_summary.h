#pragma once
// What a recording holds: pages, damaged pages, records by kind and channel, times seen.
#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "media/frame_record.h"

namespace tamlorex {

class VvfReader;

struct RecordingSummary {
    std::uint64_t size = 0;
    std::uint64_t pages = 0;         // whole pages
    std::uint64_t partialBytes = 0;  // bytes of a final partial page
    std::uint64_t badPages = 0;      // whole pages whose header checksum does not match
    std::array<std::uint64_t, 16> videoByChannel{};
    std::array<std::uint64_t, 4> audioByChannel{};
    std::uint64_t fullPictures = 0;    // type byte F9
    std::uint64_t updatePictures = 0;  // type byte F8
    bool hasTime = false;
    CalendarTime firstTime{};
    CalendarTime lastTime{};
    std::set<std::uint16_t> masks;
    std::set<std::uint8_t> intervals;
};

// Walks every page header, then reads every record forward to the end of the data. progress,
// when set, is called now and then with the bytes done and the total.
RecordingSummary SummarizeRecording(VvfReader& reader,
                                    const std::function<void(std::uint64_t, std::uint64_t)>& progress = {});

}  // namespace tamlorex
