#pragma once
// Frame records: self-delimiting units of the recorder's byte stream, opened by 00 00 01 F8..FD.
#include <array>
#include <cstddef>
#include <cstdint>

#include "media/model_type.h"

namespace tamlorex {

inline constexpr std::size_t kRecordBufferSize = 0x20000;        // a reader's assembly buffer
// Channels a record can name (its 4-bit channel field).
inline constexpr int kMaxChannels = 16;
inline constexpr std::size_t kExportRecordBufferSize = 0x40000;  // the export job's record buffer
inline constexpr std::size_t kRgb24PictureSize = 622080;         // 720 x 288 x 3
inline constexpr std::size_t kRgb24DoublePictureSize = 1244160;  // 720 x 576 x 3

inline constexpr std::uint8_t kVideoUpdateType = 0xF8;
inline constexpr std::uint8_t kVideoFullType = 0xF9;
inline constexpr std::uint8_t kAudioFirstType = 0xFA;
inline constexpr std::uint8_t kAudioLastType = 0xFD;
// Bytes before the samples of an audio record: the start code and two bytes readers skip.
inline constexpr std::size_t kAudioPrefixSize = 6;
inline constexpr std::size_t kStartCodeSize = 4;

// True when the last four bytes (big-endian, newest lowest) form a record start code.
inline constexpr bool IsStartCode(std::uint32_t reg) { return reg - 0x000001F8u <= 5u; }
// The same test for a register filled from the end of the stream towards its start.
inline constexpr bool IsReversedStartCode(std::uint32_t reg) { return (reg & 0x00FFFFFFu) == 0x00010000u && (reg >> 24) - 0xF8u <= 5u; }
inline constexpr bool IsAudioType(std::uint8_t type) { return type >= kAudioFirstType && type <= kAudioLastType; }

// Channel of a video record as readers take it (the decoder reads byte 4 more finely).
inline int VideoChannelOf(const std::uint8_t* record, std::size_t length, int modelType)
{
    if (length < 5) return 0;  // two start codes back to back: nothing past the record is read
    return record[4] & RulesFor(modelType).channelBits;
}

// Local calendar time in the eight 16-bit fields the recorder uses.
struct CalendarTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// Seconds west of UTC without daylight saving (the C runtime's time-zone bias).
long TimeZoneBias();
// Splits a page time into local calendar fields by the recorder's four-year-cycle rule.
CalendarTime CalendarFromPageTime(std::uint32_t time, long biasSeconds);
inline CalendarTime CalendarFromPageTime(std::uint32_t time) { return CalendarFromPageTime(time, TimeZoneBias()); }
// Year >= 1900, month 1..12, day 1..31, minute and second 0..59.
bool IsPlausible(const CalendarTime& t);
// "YYYY-MM-DD HH:MM:SS" (20 bytes with its terminator for any time of a page; 48 hold every field value).
void FormatCalendarTime(const CalendarTime& t, char* out, std::size_t size);

}  // namespace tamlorex
