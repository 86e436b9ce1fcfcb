#include "media/page_header.h"

#include <array>

namespace tamlorex {
namespace {

// T[i]: remainder of i * x^8 by x^8 + x^2 + x + 1, most significant bit first.
constexpr std::array<std::uint8_t, 256> MakeCrcTable()
{
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        unsigned c = static_cast<unsigned>(i);
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x80) ? ((c << 1) ^ 0x07) : (c << 1);
        table[i] = static_cast<std::uint8_t>(c);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

std::uint8_t Crc8(const std::uint8_t* data, std::size_t length)
{
    // The update XORs the table entry into c instead of replacing it: the recorder's own variant.
    std::uint8_t c = 0xFF;
    for (std::size_t i = 0; i < length; ++i)
        c = static_cast<std::uint8_t>(c ^ kCrcTable[static_cast<std::uint8_t>(c ^ data[i])]);
    return static_cast<std::uint8_t>(~c);
}

PageHeader PageHeader::Decode(const std::uint8_t* b, bool bigEndian)
{
    PageHeader h;
    if (bigEndian) {
        h.time = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
        h.mask = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
    } else {
        h.time = (std::uint32_t{b[3]} << 24) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[1]} << 8) | b[0];
        h.mask = static_cast<std::uint16_t>((b[5] << 8) | b[4]);
    }
    h.interval = b[6] & 0x7F;
    h.checksum = b[7];
    return h;
}

void PageHeader::Encode(std::uint8_t* b, bool bigEndian) const
{
    if (bigEndian) {
        b[0] = static_cast<std::uint8_t>(time >> 24);
        b[1] = static_cast<std::uint8_t>(time >> 16);
        b[2] = static_cast<std::uint8_t>(time >> 8);
        b[3] = static_cast<std::uint8_t>(time);
        b[4] = static_cast<std::uint8_t>(mask >> 8);
        b[5] = static_cast<std::uint8_t>(mask);
    } else {
        b[0] = static_cast<std::uint8_t>(time);
        b[1] = static_cast<std::uint8_t>(time >> 8);
        b[2] = static_cast<std::uint8_t>(time >> 16);
        b[3] = static_cast<std::uint8_t>(time >> 24);
        b[4] = static_cast<std::uint8_t>(mask);
        b[5] = static_cast<std::uint8_t>(mask >> 8);
    }
    b[6] = interval & 0x7F;
    b[7] = Crc8(b, 7);
}

bool PageChecksumMatches(const std::uint8_t* page) { return Crc8(page, 7) == page[7]; }

}  // namespace tamlorex
