#pragma once
// A 16-bit number written as four upper-case hexadecimal ASCII digits, as the recorder's control
// packets carry every number.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tamlorex {

class HexField {
public:
    static constexpr std::size_t kSize = 4;

    // Writes the value's low 16 bits as "%04X" (four bytes, no terminator).
    static void Write(std::uint8_t* out, std::uint32_t value);
    static std::string Format(std::uint32_t value);
    // Reads four digits, most significant first; 0-9, A-F and a-f are digits, and a field with
    // any other character reads as 0.
    static std::uint16_t Read(const std::uint8_t* in);
};

}  // namespace tamlorex
