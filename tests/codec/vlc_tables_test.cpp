#include <gtest/gtest.h>

#include <vector>

#include "codec/bit_reader.h"
#include "codec/vlc_tables.h"

namespace tamlorex {
namespace {

TEST(DctCodeTable, CodesCoverEveryValidPeekExactlyOnce) {
    std::vector<int> owners(1 << 16, 0);
    for (const DctCodeWord& code : DctCodeWords()) {
        uint32_t first = uint32_t(code.bits) << (16 - code.len);
        uint32_t last = first + (1u << (16 - code.len));
        for (uint32_t v = first; v < last; ++v) ++owners[v];
    }
    for (uint32_t v = 0; v < kDctMinPeek; ++v) EXPECT_EQ(owners[v], 0) << v;
    for (uint32_t v = kDctMinPeek; v < (1u << 16); ++v) ASSERT_EQ(owners[v], 1) << v;
}

TEST(DctCodeTable, RunLevelPairsAreDistinct) {
    std::vector<int> seen(32 * 41, 0);
    int special = 0;
    for (const DctCodeWord& code : DctCodeWords()) {
        if (code.run == kDctEndOfBlock || code.run == kDctEscape) {
            ++special;
            continue;
        }
        ASSERT_LT(code.run, 32);
        ASSERT_TRUE(code.level >= 1 && code.level <= 40);
        ASSERT_EQ(seen[code.run * 41 + code.level]++, 0);
    }
    EXPECT_EQ(special, 2);
    EXPECT_EQ(DctCodeWords().size(), 113u);  // 111 run/level codes, end of block, escape
}

TEST(DctCodeTable, SplitLookupAgreesWithCodeListForEveryPeek) {
    for (const DctCodeWord& code : DctCodeWords()) {
        uint32_t first = uint32_t(code.bits) << (16 - code.len);
        for (uint32_t tail = 0; tail < (1u << (16 - code.len)); ++tail) {
            const DctCode& found = LookupDctCode(first | tail);
            ASSERT_EQ(found.len, code.len);
            ASSERT_EQ(found.run, code.run);
            ASSERT_EQ(found.level, code.level);
        }
    }
}

TEST(DctCodeTable, ShortLookupAgreesWithCodeListWithItsSignBit) {
    int shortCodes = 0;
    for (const DctCodeWord& code : DctCodeWords()) {
        const bool hasSign = code.run != kDctEndOfBlock && code.run != kDctEscape;
        const int len = code.len + (hasSign ? 1 : 0);
        shortCodes += len <= kDctShortBits;
        for (uint32_t tail = 0; tail < (1u << (16 - code.len)); ++tail) {
            const uint32_t peek = (uint32_t(code.bits) << (16 - code.len)) | tail;
            const DctShortCode& found = kDctShortCodes[peek >> (16 - kDctShortBits)];
            if (len > kDctShortBits) {
                ASSERT_EQ(found.len, 0) << "peek " << peek;
                continue;
            }
            ASSERT_EQ(found.len, len) << "peek " << peek;
            ASSERT_EQ(found.run, code.run) << "peek " << peek;
            ASSERT_EQ(found.level, code.level) << "peek " << peek;
            const uint32_t sign = hasSign ? (peek >> (15 - code.len)) & 1 : 0;
            ASSERT_EQ(found.negative, sign) << "peek " << peek;
        }
    }
    EXPECT_EQ(shortCodes, 25);  // every code of up to 8 bits
    // A peek with eleven or more leading zeros is no code, so it is never a short one either.
    EXPECT_EQ(kDctShortCodes[0].len, 0);
}

TEST(DctCodeTable, NamedCodes) {
    EXPECT_EQ(LookupDctCode(0b10u << 14).run, kDctEndOfBlock);
    EXPECT_EQ(LookupDctCode(0b10u << 14).len, 2);
    EXPECT_EQ(LookupDctCode(0b000001u << 10).run, kDctEscape);
    EXPECT_EQ(LookupDctCode(0b000001u << 10).len, kDctEscapeLength);
    const DctCode& one = LookupDctCode(0b11u << 14);
    EXPECT_EQ(one.run, 0);
    EXPECT_EQ(one.level, 1);
    EXPECT_EQ(one.len, 2);
}

TEST(ScanTables, ZigZagIsAPermutationAndWeightsAsGiven) {
    std::vector<int> seen(64, 0);
    for (uint8_t index : kZigZag) ++seen[index];
    for (int count : seen) EXPECT_EQ(count, 1);
    EXPECT_EQ(kZigZag[1], 1);
    EXPECT_EQ(kZigZag[2], 8);
    EXPECT_EQ(kZigZag[63], 63);
    EXPECT_EQ(kIntraWeights[0], 8);
    EXPECT_EQ(kIntraWeights[1], 16);
    EXPECT_EQ(kIntraWeights[63], 83);
}

TEST(BitReader, ReadsMostSignificantBitFirstAcrossLoads) {
    const std::vector<uint8_t> bytes = {0xA5, 0x0F, 0xF0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    auto copy = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    BitReader reader(copy.get(), bytes.size(), 0);
    EXPECT_EQ(reader.Take(3), 0b101u);
    EXPECT_EQ(reader.Take(5), 0b00101u);
    EXPECT_EQ(reader.Take(12), 0x0FFu);
    EXPECT_EQ(reader.Take(24), 0x012345u);
    EXPECT_EQ(reader.Take(1), 0u);
    EXPECT_EQ(reader.Take(23), 0x6789ABu);
}

TEST(BitReader, BitsPastTheEndReadAsZeroWithoutReadingPastIt) {
    for (size_t size = 1; size <= 7; ++size) {
        auto bytes = std::make_unique<uint8_t[]>(size);
        std::fill(bytes.get(), bytes.get() + size, 0xFF);
        BitReader reader(bytes.get(), size, 0);
        for (size_t i = 0; i < size; ++i) ASSERT_EQ(reader.Take(8), 0xFFu);
        for (int i = 0; i < 10; ++i) ASSERT_EQ(reader.Take(25), 0u);
    }
    uint8_t one = 0xFF;
    BitReader past(&one, 1, 5);
    EXPECT_EQ(past.Take(24), 0u);
}

}  // namespace
}  // namespace tamlorex
