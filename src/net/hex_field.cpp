#include "net/hex_field.h"

namespace tamlorex {
namespace {

int DigitValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

void HexField::Write(std::uint8_t* out, std::uint32_t value)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<std::uint8_t>(kDigits[value & 0xF]);
        value >>= 4;
    }
}

std::string HexField::Format(std::uint32_t value)
{
    std::uint8_t bytes[kSize];
    Write(bytes, value);
    return std::string(bytes, bytes + kSize);
}

std::uint16_t HexField::Read(const std::uint8_t* in)
{
    unsigned value = 0;
    for (std::size_t i = 0; i < kSize; ++i) {
        const int digit = DigitValue(in[i]);
        if (digit < 0) return 0;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace tamlorex
