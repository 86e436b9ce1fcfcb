#include <gtest/gtest.h>

#include <ctime>
#include <random>

#include "media/frame_record.h"
#include "media/page_header.h"

namespace tamlorex {
namespace {

TEST(Crc8, KnownValuesOfTheRecordersChecksum)
{
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(Crc8(abc, 3), 0x59);
    const std::uint8_t zeros[7] = {};
    EXPECT_EQ(Crc8(zeros, 7), 0x0C);
    // The empty input leaves the start value, inverted.
    EXPECT_EQ(Crc8(nullptr, 0), 0x00);
}

TEST(PageHeader, ByteOrderFollowsTheModelType)
{
    PageHeader h;
    h.time = 0x11223344;
    h.mask = 0x0102;
    h.interval = 0x83;  // bit 7 is never written
    std::uint8_t little[8], big[8];
    h.Encode(little, IsBigEndianModel(4));
    h.Encode(big, IsBigEndianModel(6));
    EXPECT_EQ(little[0], 0x44);
    EXPECT_EQ(little[3], 0x11);
    EXPECT_EQ(little[4], 0x02);
    EXPECT_EQ(big[0], 0x11);
    EXPECT_EQ(big[3], 0x44);
    EXPECT_EQ(big[4], 0x01);
    EXPECT_EQ(little[6], 0x03);
    EXPECT_TRUE(PageChecksumMatches(little));
    EXPECT_TRUE(PageChecksumMatches(big));

    const PageHeader fromBig = PageHeader::Decode(big, true);
    EXPECT_EQ(fromBig.time, 0x11223344u);
    EXPECT_EQ(fromBig.mask, 0x0102);
    EXPECT_EQ(fromBig.interval, 3);
    // The same bytes read in the other order give other values but the same checksum.
    const PageHeader crossed = PageHeader::Decode(big, false);
    EXPECT_EQ(crossed.time, 0x44332211u);
    EXPECT_EQ(crossed.mask, 0x0201);

    little[2] ^= 0x40;
    EXPECT_FALSE(PageChecksumMatches(little));
}

TEST(CalendarTime, WorkedDates)
{
    const CalendarTime epoch = CalendarFromPageTime(0, 0);
    EXPECT_EQ(epoch.year, 1970);
    EXPECT_EQ(epoch.month, 1);
    EXPECT_EQ(epoch.day, 1);
    EXPECT_EQ(epoch.dayOfWeek, 4);  // Thursday

    const CalendarTime t = CalendarFromPageTime(1230000000, 0);
    char text[48];
    FormatCalendarTime(t, text, sizeof text);
    EXPECT_STREQ(text, "2008-12-23 02:40:00");
    EXPECT_EQ(t.dayOfWeek, 2);
    EXPECT_EQ(t.milliseconds, 0);

    // The last day of a leap year and the leap day itself.
    FormatCalendarTime(CalendarFromPageTime(978307199, 0), text, sizeof text);
    EXPECT_STREQ(text, "2000-12-31 23:59:59");
    FormatCalendarTime(CalendarFromPageTime(1204243200, 0), text, sizeof text);
    EXPECT_STREQ(text, "2008-02-29 00:00:00");

    // A bias west of UTC moves the local time back.
    FormatCalendarTime(CalendarFromPageTime(1230000000, 5 * 3600), text, sizeof text);
    EXPECT_STREQ(text, "2008-12-22 21:40:00");
}

TEST(CalendarTime, AgreesWithTheCLibraryUpTo2099)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::uint32_t> dist(0, 4102444799u);  // to 2099-12-31
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t s = dist(rng);
        const std::time_t tt = s;
        std::tm ref{};
        gmtime_r(&tt, &ref);
        const CalendarTime t = CalendarFromPageTime(s, 0);
        ASSERT_EQ(t.year, ref.tm_year + 1900) << s;
        ASSERT_EQ(t.month, ref.tm_mon + 1) << s;
        ASSERT_EQ(t.day, ref.tm_mday) << s;
        ASSERT_EQ(t.dayOfWeek, ref.tm_wday) << s;
        ASSERT_EQ(t.hour, ref.tm_hour) << s;
        ASSERT_EQ(t.minute, ref.tm_min) << s;
        ASSERT_EQ(t.second, ref.tm_sec) << s;
    }
}

TEST(CalendarTime, Plausibility)
{
    CalendarTime t = CalendarFromPageTime(1230000000, 0);
    EXPECT_TRUE(IsPlausible(t));
    t.month = 13;
    EXPECT_FALSE(IsPlausible(t));
    t = CalendarFromPageTime(1230000000, 0);
    t.year = 1899;
    EXPECT_FALSE(IsPlausible(t));
    EXPECT_FALSE(IsPlausible(CalendarTime{}));
}

TEST(FrameRecord, StartCodesAndChannels)
{
    for (std::uint32_t type = 0xF8; type <= 0xFD; ++type) {
        EXPECT_TRUE(IsStartCode(0x00000100u | type));
        EXPECT_TRUE(IsReversedStartCode((type << 24) | 0x00010000u));
    }
    EXPECT_FALSE(IsStartCode(0x000001F7));
    EXPECT_FALSE(IsStartCode(0x000001FE));
    EXPECT_FALSE(IsStartCode(0x010001F8));
    EXPECT_FALSE(IsReversedStartCode(0xFE010000));
    EXPECT_FALSE(IsReversedStartCode(0xF8010001));

    const std::uint8_t record[] = {0, 0, 1, 0xF9, 0xBD};
    EXPECT_EQ(VideoChannelOf(record, 5, 0), 5);
    EXPECT_EQ(VideoChannelOf(record, 5, 4), 13);
    EXPECT_EQ(VideoChannelOf(record, 4, 4), 0);  // byte 4 lies past the record
}

}  // namespace
}  // namespace tamlorex
