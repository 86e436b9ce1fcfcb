#include "media/frame_record.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace tamlorex {
namespace {

// Last day-of-year (0-based) of each month, with -1 before January.
constexpr int kCommonMonthEnd[13] = {-1, 30, 58, 89, 119, 150, 180, 211, 242, 272, 303, 333, 364};
constexpr int kLeapMonthEnd[13] = {-1, 30, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

long TimeZoneBias()
{
    static std::once_flag once;
    static long bias = 0;
    std::call_once(once, [] {
        tzset();
        bias = timezone;
    });
    return bias;
}

CalendarTime CalendarFromPageTime(std::uint32_t time, long biasSeconds)
{
    const std::int64_t local = static_cast<std::int64_t>(time) - biasSeconds;
    const std::int64_t days = FloorDiv(local, 86400);
    const std::int64_t secondOfDay = local - days * 86400;

    CalendarTime t;
    t.dayOfWeek = static_cast<std::uint16_t>(((days + 4) % 7 + 7) % 7);
    t.hour = static_cast<std::uint16_t>(secondOfDay / 3600);
    t.minute = static_cast<std::uint16_t>(secondOfDay / 60 % 60);
    t.second = static_cast<std::uint16_t>(secondOfDay % 60);

    // Four-year cycles of 1461 days starting 1970; the third year of each cycle is the leap year.
    const std::int64_t cycle = FloorDiv(days, 1461);
    std::int64_t dayOfCycle = days - cycle * 1461;
    int yearInCycle = 0;
    static constexpr int kYearLength[4] = {365, 365, 366, 365};
    while (yearInCycle < 3 && dayOfCycle >= kYearLength[yearInCycle]) {
        dayOfCycle -= kYearLength[yearInCycle];
        ++yearInCycle;
    }
    t.year = static_cast<std::uint16_t>(1970 + cycle * 4 + yearInCycle);
    const int* monthEnd = yearInCycle == 2 ? kLeapMonthEnd : kCommonMonthEnd;
    int month = 1;
    while (month < 12 && monthEnd[month] < dayOfCycle) ++month;
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(dayOfCycle - monthEnd[month - 1]);
    return t;
}

bool IsPlausible(const CalendarTime& t)
{
    return t.year >= 1900 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.minute <= 59 &&
           t.second <= 59;
}

void FormatCalendarTime(const CalendarTime& t, char* out, std::size_t size)
{
    std::snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.year}, unsigned{t.month}, unsigned{t.day},
                  unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
}

}  // namespace tamlorex
