// Coefficient coding tables: zig-zag scan, intra weights and the run/level
// code table split by the leading-one position of a 16-bit peek.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>

namespace tamlorex {

inline constexpr int kBlockCoefficients = 64;

// Zig-zag scan position -> raster index.
extern const std::array<uint8_t, kBlockCoefficients> kZigZag;
// Intra weight matrix in raster order.
extern const std::array<uint8_t, kBlockCoefficients> kIntraWeights;

// One run/level code, without its sign bit.
struct DctCode {
    uint8_t run;    // 0..31, or kDctEndOfBlock / kDctEscape
    uint8_t level;  // magnitude 1..40; 0 for end of block and escape
    uint8_t len;    // code length in bits, sign excluded
};
inline constexpr uint8_t kDctEndOfBlock = 64;
inline constexpr uint8_t kDctEscape = 65;
inline constexpr int kDctEscapeLength = 6;

// Peeks below this value have twelve or more leading zeros: no code.
inline constexpr uint32_t kDctMinPeek = 16;

// One sub-table of the split code table: entry (peek >> shift) - base.
struct DctSubTable {
    const DctCode* entries;
    uint8_t shift;
    uint8_t base;
};

// Indexed by the bit width of the 16-bit peek (5..16); entries below 5 are
// unused because such a peek is below kDctMinPeek.
extern const std::array<DctSubTable, 17> kDctSubTables;

// Looks up the code at the head of a 16-bit peek (peek >= kDctMinPeek).
inline const DctCode& LookupDctCode(uint32_t peek16) {
    const DctSubTable& sub = kDctSubTables[std::bit_width(peek16)];
    return sub.entries[(peek16 >> sub.shift) - sub.base];
}

// Codes of up to kDctShortBits bits with their sign bit (end of block and escape have none),
// found in one lookup of the top kDctShortBits bits; most coefficients are coded so.
struct DctShortCode {
    uint8_t run;       // as DctCode
    uint8_t level;
    uint8_t len;       // bits including the sign bit; 0 when the peek starts with a longer code
    uint8_t negative;  // the sign bit
};
inline constexpr int kDctShortBits = 10;
extern const std::array<DctShortCode, 1 << kDctShortBits> kDctShortCodes;

// The unsplit code list, for table checks.
struct DctCodeWord {
    uint16_t bits;  // code value, right-aligned
    uint8_t len;
    uint8_t run;
    uint8_t level;
};
std::span<const DctCodeWord> DctCodeWords();

}  // namespace tamlorex
