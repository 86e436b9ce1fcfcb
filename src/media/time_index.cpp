#include "media/time_index.h"

#include <algorithm>
#include <cstdio>

#include "media/frame_record.h"
#include "media/model_type.h"
#include "media/page_header.h"
#include "media/vvf_reader.h"

namespace tamlorex {
namespace {

// Sample pages over the recording for finding the steps back of the clock.
constexpr std::uint64_t kSamples = 16;
// Pages read one by one after a probe's start before the distances double.
constexpr std::uint64_t kNearPages = 2;

}  // namespace

TimeIndex::TimeIndex(PageReader read, std::uint64_t pages, bool bigEndian, bool ring)
    : read_(std::move(read)), pages_(pages), bigEndian_(bigEndian), ring_(ring)
{
}

TimeIndex::TimeIndex(const VvfReader& reader)
    : TimeIndex([&reader](std::uint64_t page, std::uint8_t* bytes) { return reader.ReadPage(page * kPageSize, bytes); },
                reader.GetSize() / kPageSize, IsBigEndianModel(reader.ModelType()), reader.IsDrive())
{
}

TimeIndex::Probe TimeIndex::Read(std::uint64_t physical)
{
    if (const auto it = cache_.find(physical); it != cache_.end()) return it->second;
    std::uint8_t page[kPageSize];
    Probe p;
    ++reads_;
    PageHeader h;
    if (read_(physical, page)) {
        p.good = GoodPage(page, bigEndian_, h);
        p.time = h.time;
    }
    cache_.emplace(physical, p);
    return p;
}

bool TimeIndex::GoodPage(const std::uint8_t* page, bool bigEndian, PageHeader& header)
{
    header = PageHeader::Decode(page, bigEndian);
    return PageChecksumMatches(page) && header.time != 0 && IsPlausible(CalendarFromPageTime(header.time));
}

std::optional<std::uint32_t> TimeIndex::TimeAt(std::uint64_t offset)
{
    std::uint32_t time = 0;
    if (offset / kPageSize >= pages_ || !ProbeForward(offset / kPageSize, pages_, time, true)) return std::nullopt;
    return time;
}

template <typename At>
std::uint64_t TimeIndex::NarrowToRunEnd(std::uint64_t bad, std::uint64_t good, Probe& probe, At at)
{
    while (bad > good ? bad - good > 1 : good - bad > 1) {
        const std::uint64_t mid = std::min(bad, good) + (bad > good ? bad - good : good - bad) / 2;
        if (const Probe q = at(mid); q.good) good = mid, probe = q;
        else bad = mid;
    }
    return good;
}

std::optional<std::uint64_t> TimeIndex::ProbeForward(std::uint64_t from, std::uint64_t limit, std::uint32_t& time,
                                                      bool physical)
{
    auto at = [&](std::uint64_t i) { return Read(physical ? i : Physical(i)); };
    // The next few pages one by one, then at doubling distances; a good page found after a jump
    // is narrowed down by bisection to where the bad run before it ends (bad pages come in runs).
    std::uint64_t step = 1, bad = from;
    for (std::uint64_t i = from, n = 0; i < limit; i += step, ++n) {
        Probe p = at(i);
        if (p.good) {
            const std::uint64_t good = step > 1 ? NarrowToRunEnd(bad, i, p, at) : i;
            time = p.time;
            return good;
        }
        bad = i;
        if (n + 1 >= kNearPages) step *= 2;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> TimeIndex::ProbeBackward(std::uint64_t from, std::uint64_t lowest, std::uint32_t& time,
                                                       bool physical)
{
    auto at = [&](std::uint64_t i) { return Read(physical ? i : Physical(i)); };
    std::uint64_t step = 1, bad = from;
    for (std::uint64_t i = from, n = 0; i >= lowest; ++n) {
        Probe p = at(i);
        if (p.good) {
            const std::uint64_t good = step > 1 ? NarrowToRunEnd(bad, i, p, at) : i;
            time = p.time;
            return good;
        }
        bad = i;
        if (n + 1 >= kNearPages) step *= 2;
        if (i == lowest) break;
        i = i - lowest < step ? lowest : i - step;  // the last jump lands on the lowest page
        if (i != bad - step) step = bad - i;
    }
    return std::nullopt;
}

template <typename After>
std::uint64_t TimeIndex::FindFirst(std::uint64_t lo, std::uint32_t loTime, std::uint64_t hi, After after, bool physical)
{
    // Invariant: lo is a good page the condition does not hold for, hi the first known good page
    // it holds for; pages in [limit, hi) are bad (probed, or inside a bad run probed at its ends).
    std::uint64_t limit = hi;
    while (limit - lo > 1) {
        const std::uint64_t mid = lo + (limit - lo) / 2;
        std::uint32_t t = 0;
        const auto q = ProbeForward(mid, limit, t, physical);
        if (!q) {
            // Pages mid..limit-1 are bad: the good page before them decides.
            const auto g = mid > lo + 1 ? ProbeBackward(mid - 1, lo + 1, t, physical) : std::nullopt;
            if (!g) break;
            if (after(loTime, t)) {
                hi = limit = *g;
            } else {
                lo = *g;
                loTime = t;
                break;
            }
        } else if (after(loTime, t)) {
            // Pages mid..q-1 are bad: the answer is q unless a good page before mid holds.
            hi = *q;
            limit = mid;
        } else {
            lo = *q;
            loTime = t;
            limit = hi;
        }
    }
    return hi;
}

bool TimeIndex::Build()
{
    segments_.clear();
    wrap_ = 0;
    if (pages_ == 0) return false;
    std::uint32_t firstTime = 0, lastTime = 0;
    const auto first = ProbeForward(0, pages_, firstTime, true);
    if (!first) return false;
    auto last = ProbeBackward(pages_ - 1, 0, lastTime);
    if (!last || *last < *first) last = first, lastTime = firstTime;

    // A ring that has wrapped: the oldest page is the first below the first good page's time.
    // The last page may share the first page's second when the wrap point lies near either end:
    // then a few evenly spaced pages are looked at for one that is older.
    std::optional<std::uint64_t> older;
    if (ring_ && lastTime < firstTime) older = last;
    for (std::uint64_t k = 1; ring_ && !older && k < kSamples; ++k) {
        std::uint32_t t = 0;
        const auto q = ProbeForward(*first + (*last - *first) * k / kSamples, *last, t, true);
        if (q && t < firstTime) older = q;
    }
    if (older) {
        wrap_ = FindFirst(*first, firstTime, *older, [firstTime](std::uint32_t, std::uint32_t t) { return t < firstTime; },
                          true);
        // In recording order the newest pages now end before the wrap point.
        if (!ProbeForward(0, pages_, firstTime) || !(last = ProbeBackward(pages_ - 1, 0, lastTime))) return false;
    }
    std::uint64_t start = 0;
    std::uint32_t startTime = 0;
    start = *ProbeForward(0, pages_, startTime);
    const std::uint64_t end = *last;

    // Samples in recording order; a step back between two of them is located by binary search.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> samples{{start, startTime}};
    for (std::uint64_t k = 1; k < kSamples; ++k) {
        const std::uint64_t at = start + (end - start) * k / kSamples;
        std::uint32_t t = 0;
        if (at <= samples.back().first) continue;
        if (const auto q = ProbeForward(at, end, t); q && *q > samples.back().first) samples.emplace_back(*q, t);
    }
    if (end > samples.back().first) samples.emplace_back(end, lastTime);

    Segment seg{start, start, startTime, startTime};
    auto close = [&](std::uint64_t lastLogical, std::uint32_t t) {
        seg.lastPage = Physical(lastLogical);
        seg.lastTime = t;
        seg.firstPage = Physical(seg.firstPage);
        segments_.push_back(seg);
    };
    for (std::size_t i = 1; i < samples.size(); ++i) {
        auto [lo, loTime] = samples[i - 1];
        const auto [hi, hiTime] = samples[i];
        // Every step back between lo and hi, one after the other.
        while (hiTime < loTime) {
            const std::uint64_t back =
                FindFirst(lo, loTime, hi, [](std::uint32_t a, std::uint32_t t) { return t < a; }, false);
            std::uint32_t before = 0;
            const auto prev = ProbeBackward(back - 1, 0, before);
            close(prev ? *prev : lo, prev ? before : loTime);
            std::uint32_t backTime = Read(Physical(back)).time;
            seg = Segment{back, back, backTime, backTime};
            lo = back;
            loTime = backTime;
        }
    }
    close(end, lastTime);
    return true;
}

std::optional<std::uint64_t> TimeIndex::SeekInSegment(const Segment& s, std::uint32_t time)
{
    if (s.lastTime < time) return std::nullopt;
    if (s.firstTime >= time) return s.firstPage * kPageSize;
    const std::uint64_t lo = (s.firstPage + pages_ - wrap_) % pages_;
    const std::uint64_t hi = (s.lastPage + pages_ - wrap_) % pages_;
    const std::uint64_t at =
        FindFirst(lo, s.firstTime, hi, [time](std::uint32_t, std::uint32_t t) { return t >= time; }, false);
    return Physical(at) * kPageSize;
}

std::optional<std::uint64_t> TimeIndex::Seek(std::uint32_t time)
{
    for (const Segment& s : segments_)
        if (s.lastTime >= time) return SeekInSegment(s, time);
    return std::nullopt;
}

bool PageTimeFromCalendar(const CalendarTime& c, std::uint32_t& seconds)
{
    const int y = c.year, mo = c.month, d = c.day, h = c.hour, mi = c.minute, s = c.second;
    if (y < 1970 || y > 2105 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
        s < 0 || s > 59)
        return false;
    // Days since 1970-01-01 of the civil date.
    const int yy = mo <= 2 ? y - 1 : y;
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
    const long long value = days * 86400 + h * 3600 + mi * 60 + s + TimeZoneBias();
    if (value <= 0 || value > 0xFFFFFFFFLL) return false;
    // The reader's calendar must give the same fields back (this also refuses days like 02-30).
    const CalendarTime back = CalendarFromPageTime(static_cast<std::uint32_t>(value));
    if (back.year != y || back.month != mo || back.day != d || back.hour != h || back.minute != mi || back.second != s)
        return false;
    seconds = static_cast<std::uint32_t>(value);
    return true;
}

bool ParseClockTime(const char* text, std::uint32_t& seconds)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    if (!text || std::sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
        text[used] != '\0')
        return false;
    CalendarTime c{};
    c.year = static_cast<std::uint16_t>(y);
    c.month = static_cast<std::uint16_t>(mo);
    c.day = static_cast<std::uint16_t>(d);
    c.hour = static_cast<std::uint16_t>(h);
    c.minute = static_cast<std::uint16_t>(mi);
    c.second = static_cast<std::uint16_t>(s);
    return PageTimeFromCalendar(c, seconds);
}

}  // namespace tamlorex
