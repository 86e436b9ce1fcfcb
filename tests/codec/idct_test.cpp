#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>

#include "codec/idct.h"

namespace tamlorex {
namespace {

using Block = std::array<int16_t, 64>;
using Samples = std::array<uint8_t, 64>;

struct NamedPath {
    const char* name;
    DecodePath path;
};

std::vector<NamedPath> AllPaths() {
    std::vector<NamedPath> paths = {{"plain", DecodePath::kPlain}, {"scalar", DecodePath::kAccelScalar}};
#if defined(__SSE2__)
    paths.push_back({"sse2", DecodePath::kAccelSse2});
#endif
    return paths;
}

Samples Write(DecodePath path, Block block) {
    Samples out{};
    GetBlockWriter(path)(block.data(), out.data(), 8);
    return out;
}

TEST(IdctExamples, ZeroAndFlatBlocksGiveTheirLevelInEveryPath) {
    for (const auto& p : AllPaths()) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(Write(p.path, Block{}), Samples{});
        for (int v = 0; v <= 255; ++v) {
            Block block{};
            block[0] = int16_t(8 * v);
            Samples expected;
            expected.fill(uint8_t(v));
            ASSERT_EQ(Write(p.path, block), expected) << "DC byte " << v;
        }
    }
}

TEST(IdctExamples, HorizontalRampRowsMatchInEveryPath) {
    const uint8_t row[8] = {145, 143, 138, 131, 125, 118, 113, 111};
    for (const auto& p : AllPaths()) {
        SCOPED_TRACE(p.name);
        Block block{};
        block[0] = 1024;
        block[1] = 100;
        Samples out = Write(p.path, block);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) EXPECT_EQ(out[8 * r + c], row[c]) << r << "," << c;
    }
}

TEST(IdctExamples, RowOverflowWrapsInPlainAndSaturatesInAccelerated) {
    // Row 0 gives 8 * 32767, outside 16 bits: plain keeps the low 16 bits
    // (-8, which stores as 0), the accelerated paths saturate (255).
    Block block{};
    block[0] = 32767;
    Samples zeros{}, full;
    full.fill(255);
    EXPECT_EQ(Write(DecodePath::kPlain, block), zeros);
    EXPECT_EQ(Write(DecodePath::kAccelScalar, block), full);
#if defined(__SSE2__)
    EXPECT_EQ(Write(DecodePath::kAccelSse2, block), full);
#endif
}

TEST(IdctClip, TableAndOutOfRangeIndices) {
    EXPECT_EQ(Clip(-513), 0);
    EXPECT_EQ(Clip(-1), 0);
    EXPECT_EQ(Clip(0), 0);
    EXPECT_EQ(Clip(200), 200);
    EXPECT_EQ(Clip(255), 255);
    EXPECT_EQ(Clip(256), 255);
    EXPECT_EQ(Clip(511), 255);
    EXPECT_EQ(Clip(1 << 20), 255);
    EXPECT_EQ(Clip(-(1 << 20)), 0);
}

// Blocks like those of pictures: a DC level and a few decaying AC terms
// within the dequantiser's range.
Block NaturalBlock(std::mt19937& rng) {
    Block block{};
    block[0] = int16_t(8 * std::uniform_int_distribution<int>(0, 255)(rng));
    int count = std::uniform_int_distribution<int>(0, 12)(rng);
    for (int i = 0; i < count; ++i) {
        int index = std::uniform_int_distribution<int>(1, 63)(rng);
        int limit = 400 / (1 + index / 4);
        block[index] = int16_t(std::uniform_int_distribution<int>(-limit, limit)(rng));
    }
    return block;
}

Block SparseBlock(std::mt19937& rng) {
    Block block{};
    for (int i = 0; i < 3; ++i)
        block[std::uniform_int_distribution<int>(0, 63)(rng)] =
            int16_t(std::uniform_int_distribution<int>(-2048, 2047)(rng));
    return block;
}

Block FullRangeBlock(std::mt19937& rng) {
    Block block;
    for (auto& v : block) v = int16_t(std::uniform_int_distribution<int>(-32768, 32767)(rng));
    return block;
}

#if defined(__SSE2__)
TEST(IdctAccelerated, Sse2EqualsScalarExactly) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 30000; ++i) {
        Block input = i % 3 == 0 ? NaturalBlock(rng) : i % 3 == 1 ? SparseBlock(rng) : FullRangeBlock(rng);
        Block a = input, b = input;
        IdctAccelScalar(a.data());
        IdctAccelSse2(b.data());
        ASSERT_EQ(a, b) << "block " << i;
        ASSERT_EQ(Write(DecodePath::kAccelScalar, input), Write(DecodePath::kAccelSse2, input)) << "block " << i;
    }
}

// The SSE2 writer stores blocks of a DC byte alone without transforming them; every DC-only
// block must still give exactly what the scalar path gives.
TEST(IdctAccelerated, Sse2WriterEqualsScalarForEveryDcOnlyBlock) {
    for (int dc = -32768; dc <= 32767; ++dc) {
        Block input{};
        input[0] = int16_t(dc);
        ASSERT_EQ(Write(DecodePath::kAccelScalar, input), Write(DecodePath::kAccelSse2, input)) << "DC " << dc;
    }
}

// The SSE2 transform skips the row pass of zero rows; every pattern of zero rows must still
// give exactly what the scalar transform gives.
TEST(IdctAccelerated, Sse2EqualsScalarForEveryPatternOfZeroRows) {
    std::mt19937 rng(4321);
    for (int zeroRows = 0; zeroRows < 256; ++zeroRows) {
        for (int i = 0; i < 40; ++i) {
            Block input = i % 2 == 0 ? NaturalBlock(rng) : FullRangeBlock(rng);
            for (int r = 0; r < 8; ++r)
                if ((zeroRows >> r) & 1)
                    for (int c = 0; c < 8; ++c) input[8 * r + c] = 0;
            Block a = input, b = input;
            IdctAccelScalar(a.data());
            IdctAccelSse2(b.data());
            ASSERT_EQ(a, b) << "zero rows " << zeroRows << ", block " << i;
            ASSERT_EQ(Write(DecodePath::kAccelScalar, input), Write(DecodePath::kAccelSse2, input))
                << "zero rows " << zeroRows << ", block " << i;
        }
    }
}

Samples WriteMasked(DecodePath path, Block block, uint64_t acMask) {
    Samples out{};
    GetMaskedBlockWriter(path)(block.data(), out.data(), 8, acMask);
    return out;
}

uint64_t ExactMask(const Block& block) {
    uint64_t mask = 0;
    for (int i = 1; i < 64; ++i)
        if (block[i] != 0) mask |= uint64_t(1) << i;
    return mask;
}

// Blocks with coefficients in the first column alone take their own SSE2 transform: every
// value of every first-column coefficient on its own, over DC levels, and random columns must
// give exactly what the scalar path gives.
TEST(IdctAccelerated, Sse2FirstColumnBlocksEqualScalar) {
    constexpr uint64_t kFirstColumn = 0x0101010101010100ull;
    std::mt19937 rng(31);
    for (int r = 1; r < 8; ++r) {
        for (int v = -32768; v <= 32767; ++v) {
            Block input{};
            input[0] = int16_t(v % 4 == 0 ? 8 * (v / 4 & 255) : int(rng()));
            input[8 * r] = int16_t(v);
            const Samples expected = Write(DecodePath::kAccelScalar, input);
            ASSERT_EQ(WriteMasked(DecodePath::kAccelSse2, input, ExactMask(input)), expected) << r << " " << v;
            ASSERT_EQ(WriteMasked(DecodePath::kAccelSse2, input, kFirstColumn), expected) << r << " " << v;
        }
    }
    for (int i = 0; i < 200000; ++i) {
        Block input{};
        const int range = i % 3 == 0 ? 32768 : i % 3 == 1 ? 2048 : 300;
        for (int r = 0; r < 8; ++r)
            if (rng() % 2) input[8 * r] = int16_t(std::uniform_int_distribution<int>(-range, range - 1)(rng));
        const Samples expected = Write(DecodePath::kAccelScalar, input);
        ASSERT_EQ(WriteMasked(DecodePath::kAccelSse2, input, ExactMask(input)), expected) << "block " << i;
        ASSERT_EQ(Write(DecodePath::kAccelSse2, input), expected) << "block " << i;
    }
}

// The mask may name zero coefficients too; any superset of the non-zero ones gives the same
// samples in every path.
TEST(IdctAccelerated, MaskedWritersEqualTheirPathForAnySupersetMask) {
    std::mt19937_64 rng(8);
    for (int i = 0; i < 60000; ++i) {
        std::mt19937 blockRng{uint32_t(rng())};
        Block input = i % 3 == 0 ? NaturalBlock(blockRng) : i % 3 == 1 ? SparseBlock(blockRng) : FullRangeBlock(blockRng);
        if (i % 5 == 0)
            for (int k = 8; k < 64; ++k)
                if (k % 8 != 0 && rng() % 4 != 0) input[k] = 0;
        const uint64_t exact = ExactMask(input);
        const uint64_t extra = i % 2 ? rng() & rng() & ~uint64_t(1) : 0;
        for (const auto& p : AllPaths()) {
            const Samples expected = Write(p.path, input);
            ASSERT_EQ(WriteMasked(p.path, input, exact | extra), expected) << p.name << " block " << i;
        }
    }
}
#endif

TEST(IdctAccelerated, WithinOneLevelOfPlainOnPictureBlocks) {
    std::mt19937 rng(99);
    long differing = 0, total = 0;
    for (int i = 0; i < 20000; ++i) {
        Block input = NaturalBlock(rng);
        Samples plain = Write(DecodePath::kPlain, input);
        Samples accel = Write(DecodePath::kAccelScalar, input);
        for (int k = 0; k < 64; ++k) {
            int d = std::abs(int(plain[k]) - int(accel[k]));
            ASSERT_LE(d, 1) << "block " << i << " sample " << k;
            differing += d != 0;
            ++total;
        }
    }
    // About one sample in a hundred differs.
    EXPECT_GT(differing, 0);
    EXPECT_LT(double(differing) / double(total), 0.05);
}

TEST(IdctPlain, ExtremeBlocksStayInSampleRange) {
    // Damaged blocks wrap in 32-bit arithmetic; the sanitizer build checks
    // that this is done without signed overflow.
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        Block block = FullRangeBlock(rng);
        if (i % 2) {
            for (auto& v : block) v = v < 0 ? -32768 : 32767;
        }
        IdctPlain(block.data());
        for (int16_t v : block) ASSERT_TRUE(v >= 0 && v <= 255);
    }
}

TEST(DecodePathSelection, OverridesPickTheirPath) {
    EXPECT_EQ(SelectDecodePath(DecodePathOverride::kPlain), DecodePath::kPlain);
    EXPECT_EQ(SelectDecodePath(DecodePathOverride::kAccelScalar), DecodePath::kAccelScalar);
    DecodePath accel = SelectDecodePath(DecodePathOverride::kAccel);
    EXPECT_NE(accel, DecodePath::kPlain);
#if defined(__x86_64__)
    // Every x86-64 processor has SSE2 and CMOV.
    EXPECT_EQ(accel, DecodePath::kAccelSse2);
    EXPECT_EQ(SelectDecodePath(DecodePathOverride::kAuto), DecodePath::kAccelSse2);
#endif
}

}  // namespace
}  // namespace tamlorex
