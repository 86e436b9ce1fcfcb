#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "engine/activity_scan.h"
#include "media/frame_record.h"
#include "media/page_header.h"
#include "media/time_index.h"
#include "media/vvf_builder.h"
#include "media/vvf_reader.h"
#include "run_command.h"

namespace tamlorex {
namespace {

constexpr std::uint32_t kT0 = 1773480413;

// Pages made on demand: time(page) gives the page time, 0 for an unwritten (zero) page;
// damaged(page) spoils the header checksum.
struct SyntheticPages {
    std::uint64_t pages = 0;
    std::function<std::uint32_t(std::uint64_t)> time;
    std::function<bool(std::uint64_t)> damaged = [](std::uint64_t) { return false; };
    std::function<std::uint16_t(std::uint64_t)> mask = [](std::uint64_t) { return std::uint16_t{0xF}; };

    bool Good(std::uint64_t p) const { return time(p) != 0 && !damaged(p); }
    TimeIndex Index(bool ring) const { return TimeIndex(Reader(), pages, false, ring); }
    TimeIndex::PageReader Reader() const
    {
        return [this](std::uint64_t p, std::uint8_t* bytes) {
            if (p >= pages) return false;
            std::fill(bytes, bytes + kPageSize, 0);
            const std::uint32_t t = time(p);
            if (t == 0) return true;
            PageHeader h;
            h.time = t;
            h.mask = mask(p);
            h.Encode(bytes, false);
            if (damaged(p)) bytes[7] ^= 0x5A;
            return true;
        };
    }
    // The first good page at or after t from `from` on, by a plain scan.
    std::uint64_t FirstAtOrAfter(std::uint32_t t, std::uint64_t from, std::uint64_t to) const
    {
        for (std::uint64_t p = from; p < to; ++p)
            if (Good(p) && time(p) >= t) return p;
        return to;
    }
};

std::uint64_t ReadBound(std::uint64_t pages) { return 2 * static_cast<std::uint64_t>(std::log2(pages)) + 40; }

TEST(TimeIndex, IncreasingTimesWithDamagedPagesTakeLogarithmicReads)
{
    SyntheticPages s;
    s.pages = 100000;
    s.time = [](std::uint64_t p) { return kT0 + static_cast<std::uint32_t>(p / 3); };
    // Scattered damaged pages and a long damaged run.
    s.damaged = [](std::uint64_t p) { return p % 997 == 5 || (p >= 40000 && p < 40300); };
    for (const std::uint32_t target : {kT0 - 10, kT0, kT0 + 1, kT0 + 13335, kT0 + 13400, kT0 + 33333}) {
        TimeIndex index = s.Index(false);
        ASSERT_TRUE(index.Build());
        ASSERT_EQ(index.Segments().size(), 1u);
        const auto at = index.Seek(target);
        ASSERT_TRUE(at) << target - kT0;
        EXPECT_EQ(*at, s.FirstAtOrAfter(target, 0, s.pages) * kPageSize) << target - kT0;
        EXPECT_LE(index.PageReads(), ReadBound(s.pages)) << target - kT0;
    }
    TimeIndex index = s.Index(false);
    ASSERT_TRUE(index.Build());
    EXPECT_FALSE(index.Seek(kT0 + 40000));  // after the last page
}

TEST(TimeIndex, ClockSetBackSplitsIntoSegments)
{
    SyntheticPages s;
    s.pages = 90000;
    // At page 60000 the clock goes back from kT0 + 20000 to kT0 + 15000.
    s.time = [](std::uint64_t p) {
        return p < 60000 ? kT0 + static_cast<std::uint32_t>(p / 3) : kT0 + 15000 + static_cast<std::uint32_t>((p - 60000) / 3);
    };
    s.damaged = [](std::uint64_t p) { return p == 60000 || p % 1009 == 7; };
    TimeIndex index = s.Index(false);
    ASSERT_TRUE(index.Build());
    ASSERT_EQ(index.Segments().size(), 2u);
    EXPECT_EQ(index.Segments()[1].firstPage, 60001u);
    EXPECT_EQ(index.Segments()[0].lastTime, kT0 + 19999);
    // A time both segments hold lands in the first; one only the second reaches lands there.
    EXPECT_EQ(*index.Seek(kT0 + 16000), s.FirstAtOrAfter(kT0 + 16000, 0, 60000) * kPageSize);
    EXPECT_EQ(*index.Seek(kT0 + 22000), s.FirstAtOrAfter(kT0 + 22000, 60000, s.pages) * kPageSize);
    EXPECT_EQ(*index.SeekInSegment(index.Segments()[1], kT0 + 16000),
              s.FirstAtOrAfter(kT0 + 16000, 60000, s.pages) * kPageSize);
    EXPECT_LE(index.PageReads(), 3 * ReadBound(s.pages));
}

TEST(TimeIndex, RingOfAFiftyGigabyteDiskTakesUnderAHundredReads)
{
    SyntheticPages s;
    s.pages = (std::uint64_t{50} << 30) / kPageSize;
    const std::uint64_t wrap = s.pages * 3 / 10, oldest = wrap + 8;
    // Recording order: oldest..end, then 0..wrap-1; eight zero pages between.
    s.time = [&s, wrap, oldest](std::uint64_t p) -> std::uint32_t {
        if (p >= wrap && p < oldest) return 0;
        const std::uint64_t j = p >= oldest ? p - oldest : s.pages - oldest + p;
        return kT0 + static_cast<std::uint32_t>(j / 50);
    };
    s.damaged = [](std::uint64_t p) { return p % 100003 == 11; };
    const std::uint32_t span = static_cast<std::uint32_t>((s.pages - 8) / 50);
    for (const std::uint32_t offset : {0u, 1u, span / 3, span * 9 / 10, span - 1}) {
        TimeIndex index = s.Index(true);
        ASSERT_TRUE(index.Build());
        EXPECT_EQ(index.OldestPage(), oldest);
        ASSERT_EQ(index.Segments().size(), 1u);
        const auto at = index.Seek(kT0 + offset);
        ASSERT_TRUE(at);
        // The answer's time is at or after the target and the good page before it is earlier.
        const std::uint64_t p = *at / kPageSize;
        EXPECT_GE(s.time(p), kT0 + offset);
        EXPECT_TRUE(s.Good(p));
        if (offset > 0) {
            std::uint64_t q = p == 0 ? wrap - 1 : p - 1;
            while (!s.Good(q)) q = q == 0 ? s.pages - 1 : q - 1;
            EXPECT_LT(s.time(q), kT0 + offset);
        } else {
            EXPECT_EQ(p, oldest);
        }
        EXPECT_LE(index.PageReads(), 100u) << offset;
    }
}

TEST(TimeIndex, WrappedDiskImageFromTheSimulator)
{
    test::TempDir dir;
    const std::string image = dir.Path("disk.img");
    int status = -1;
    const std::string out = test::RunCommand(std::string(TAMLOREX_SIM_PATH) + " make-disk " + image +
                                                 " --gigabytes 0.03125 --wrap 0.7 --channels 4 2>&1",
                                             &status);
    ASSERT_EQ(status, 0) << out;
    unsigned long long pages = 0, wrapPage = 0, oldest = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "{\"pages\":%llu,\"wrap_page\":%llu,\"oldest_page\":%llu", &pages, &wrapPage, &oldest),
              3)
        << out;
    EXPECT_EQ(pages, 8192u);

    VvfReader reader;
    ASSERT_TRUE(reader.Open(image, true));
    reader.SetModelType(4);
    // Every page's time by a plain scan of the image.
    std::vector<std::uint32_t> times(pages, 0);
    std::uint8_t page[kPageSize];
    for (std::uint64_t p = 0; p < pages; ++p)
        if (reader.ReadPage(p * kPageSize, page) && PageChecksumMatches(page)) times[p] = PageHeader::Decode(page, false).time;
    EXPECT_EQ(times[wrapPage], 0u);
    ASSERT_GT(times[oldest], 0u);
    ASSERT_LT(times[oldest], times[wrapPage - 1]);

    for (const std::uint32_t target : {times[oldest], times[oldest] + 7, times[pages - 1] + 1, times[wrapPage - 1]}) {
        TimeIndex index(reader);
        ASSERT_TRUE(index.Build());
        EXPECT_EQ(index.OldestPage(), oldest);
        const auto at = index.Seek(target);
        ASSERT_TRUE(at);
        // The first page in recording order at or after the target.
        std::uint64_t expect = pages;
        for (std::uint64_t j = 0; j < pages && expect == pages; ++j) {
            const std::uint64_t p = (oldest + j) % pages;
            if (times[p] >= target) expect = p;
        }
        EXPECT_EQ(*at, expect * kPageSize) << target;
        EXPECT_LE(index.PageReads(), ReadBound(pages));
    }

    // The player goes there too: the picture at the target's page is shown, then it pauses.
    const std::uint32_t target = times[oldest] + 7;
    std::uint64_t expect = 0;
    while (times[(oldest + expect) % pages] < target) ++expect;
    char text[48], shown[48];
    FormatCalendarTime(CalendarFromPageTime(target), text, sizeof text);
    FormatCalendarTime(CalendarFromPageTime(times[(oldest + expect) % pages]), shown, sizeof shown);
    std::replace(shown, shown + std::strlen(shown), '-', '/');
    const std::string played = test::RunCommand(std::string("TZ=UTC ") + TAMLOREX_CLI_PATH + " play " + image +
                                                " --drive --null-audio --seconds 1 --commands '300:goto=" + text +
                                                "' 2>&1", &status);
    ASSERT_EQ(status, 0) << played;
    const std::size_t found = played.find(std::string("\"goto\":\"") + text + "\",\"found\":true");
    ASSERT_NE(found, std::string::npos) << played;
    EXPECT_NE(played.find(std::string("\"time\":\"") + shown + "\"", found), std::string::npos) << played;
    EXPECT_NE(played.find("\"state\":\"PAUSE\"", found), std::string::npos) << played;
}

// A ring disk with a pause in the recording and a channel that starts late: the rows show both,
// the scan reads one page per sample and finds the oldest page like the index.
TEST(ActivityScan, RowsOfARingDiskWithAPauseAndALateChannel)
{
    constexpr std::uint64_t kPages = 200000, kOldest = 120000, kPause = 40000, kLate = 100000;
    constexpr std::uint32_t kPauseSeconds = 3 * 3600;
    SyntheticPages s;
    s.pages = kPages;
    const auto logical = [](std::uint64_t p) { return (p + kPages - kOldest) % kPages; };
    s.time = [&](std::uint64_t p) -> std::uint32_t {
        if (p >= kOldest - 10000 && p < kOldest) return 0;  // not yet written over
        const std::uint64_t l = logical(p);
        return kT0 + static_cast<std::uint32_t>(l / 4) + (l > kPause ? kPauseSeconds : 0);
    };
    s.damaged = [](std::uint64_t p) { return p % 997 == 5; };
    s.mask = [&](std::uint64_t p) { return static_cast<std::uint16_t>(logical(p) >= kLate ? 0x7 : 0x3); };

    ActivityScan scan;
    scan.Start(s.Reader(), kPages, false, true);
    while (!scan.Done()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const ActivityScan::Snapshot snap = scan.Take();
    ASSERT_FALSE(snap.failed);
    EXPECT_EQ(snap.oldestPage, kOldest);
    ASSERT_GT(snap.samples.size(), ActivityScan::kMaxSamples * 9 / 10);
    EXPECT_LE(snap.pageReads, ActivityScan::kMaxSamples + 200);
    for (std::size_t i = 1; i < snap.samples.size(); ++i) {
        ASSERT_LT(snap.samples[i - 1].logical, snap.samples[i].logical);
        ASSERT_LE(snap.samples[i - 1].time, snap.samples[i].time);
    }
    EXPECT_EQ(RecordedChannels(snap), 0x7);

    const std::uint32_t pauseStart = kT0 + kPause / 4, lateStart = kT0 + kPauseSeconds + kLate / 4;
    const auto zero = ChannelRuns(snap, 0);
    ASSERT_EQ(zero.size(), 2u);
    EXPECT_LE(zero[0].first, kT0 + 30);
    EXPECT_LE(zero[0].last, pauseStart);
    EXPECT_GE(zero[0].last, pauseStart - 30);
    EXPECT_GE(zero[1].first, pauseStart + kPauseSeconds);
    const auto late = ChannelRuns(snap, 2);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_GE(late[0].first, lateStart);
    EXPECT_LE(late[0].first, lateStart + 30);
    EXPECT_TRUE(ChannelRuns(snap, 3).empty());

    // Coarse first: the first pass spreads over the whole recording; every slot once.
    const auto order = RefiningOrder(1000, 64);
    std::vector<std::uint64_t> sorted(order);
    std::sort(sorted.begin(), sorted.end());
    for (std::uint64_t i = 0; i < 1000; ++i) ASSERT_EQ(sorted[i], i);
    EXPECT_EQ(order[1] - order[0], 8u);
    EXPECT_GE(order[62], 480u);

    // A stop takes effect at the next page read.
    scan.Start(s.Reader(), kPages, false, true);
    scan.Stop();
    EXPECT_LE(scan.Take().samples.size(), ActivityScan::kMaxSamples);
}

TEST(TimeIndex, ParsesLocalClockTimes)
{
    std::uint32_t s = 0;
    ASSERT_TRUE(ParseClockTime("2026-03-14 09:26:53", s));
    char text[48];
    FormatCalendarTime(CalendarFromPageTime(s), text, sizeof text);
    EXPECT_STREQ(text, "2026-03-14 09:26:53");
    for (const char* bad : {"2026-02-30 00:00:00", "2026-03-14 24:00:00", "2026-03-14 09:26", "2026-03-14 09:26:53x", ""})
        EXPECT_FALSE(ParseClockTime(bad, s)) << bad;
}

}  // namespace
}  // namespace tamlorex
