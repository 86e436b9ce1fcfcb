#pragma once
// Pages of a recording: 4096 bytes, an 8-byte header, then 4088 bytes of the record stream.
#include <cstddef>
#include <cstdint>

#include "media/model_type.h"

namespace tamlorex {

inline constexpr std::size_t kPageSize = 4096;
inline constexpr std::size_t kPageHeaderSize = 8;
inline constexpr std::size_t kPageBodySize = kPageSize - kPageHeaderSize;

// The recorder's own 8-bit checksum of a page header (bytes 0..6).
std::uint8_t Crc8(const std::uint8_t* data, std::size_t length);

struct PageHeader {
    std::uint32_t time = 0;     // seconds since 1970-01-01 00:00:00 UTC
    std::uint16_t mask = 0;     // bit i: video channel i is being recorded
    std::uint8_t interval = 0;  // frame periods between pictures, minus one (7 bits)
    std::uint8_t checksum = 0;  // as stored in byte 7

    // Reads the eight header bytes (PageChecksumMatches says whether the checksum holds).
    static PageHeader Decode(const std::uint8_t* bytes, bool bigEndian);
    // Writes bytes 0..6 from the fields (interval bit 7 cleared) and byte 7 as their Crc8.
    void Encode(std::uint8_t* bytes, bool bigEndian) const;
};

// Checks a whole page header in place.
bool PageChecksumMatches(const std::uint8_t* page);

}  // namespace tamlorex
