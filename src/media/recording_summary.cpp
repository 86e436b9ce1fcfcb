#include "media/recording_summary.h"

#include <memory>

#include "media/page_header.h"
#include "media/vvf_reader.h"

namespace tamlorex {

RecordingSummary SummarizeRecording(VvfReader& reader,
                                    const std::function<void(std::uint64_t, std::uint64_t)>& progress)
{
    RecordingSummary s;
    s.size = reader.GetSize();
    s.pages = s.size / kPageSize;
    s.partialBytes = s.size % kPageSize;
    const bool bigEndian = IsBigEndianModel(reader.ModelType());
    std::uint8_t page[kPageSize];
    // Page headers count for half the work, records for the other half.
    const std::uint64_t total = s.size * 2;
    for (std::uint64_t n = 0; n < s.pages; ++n) {
        if (!reader.ReadPage(n * kPageSize, page)) {
            s.pages = n;
            break;
        }
        if (!PageChecksumMatches(page)) {
            ++s.badPages;
            continue;
        }
        const PageHeader header = PageHeader::Decode(page, bigEndian);
        const CalendarTime time = CalendarFromPageTime(header.time);
        if (!s.hasTime) s.firstTime = time;
        s.lastTime = time;
        s.hasTime = true;
        s.masks.insert(header.mask);
        s.intervals.insert(header.interval);
        if (progress && (n & 0xFFF) == 0) progress(n * kPageSize, total);
    }

    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    reader.SetPosition(0);
    std::uint64_t lastReport = 0;
    for (;;) {
        const std::uint64_t before = reader.GetPosition();
        const std::uint32_t length = reader.ReadNext(buffer.get());
        if (length == 0) {
            // A short read leaves the position where it was: the end of the data.
            if (reader.GetPosition() == before) break;
            continue;
        }
        if (reader.IsAudio()) {
            ++s.audioByChannel[static_cast<std::size_t>(reader.GetChannel()) & 3];
        } else {
            ++s.videoByChannel[static_cast<std::size_t>(reader.GetChannel()) & 15];
            if (length >= 4) (buffer[3] == kVideoFullType ? s.fullPictures : s.updatePictures)++;
        }
        if (progress && reader.GetPosition() - lastReport >= (std::uint64_t{16} << 20)) {
            lastReport = reader.GetPosition();
            progress(s.size + lastReport, total);
        }
    }
    if (progress) progress(total, total);
    return s;
}

}  // namespace tamlorex
