#include "sim/picture_encoder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "codec/idct.h"
#include "codec/video_decoder.h"
#include "sim/fdct.h"
#include "sim_test_util.h"

namespace tamlorex::sim {
namespace {

using testing::DecodeInto;
using testing::MaxError;
using testing::NaturalPicture;
using testing::NoisePicture;
using testing::Psnr;
using testing::ReconstructLevels;

// ---- tables and transform -------------------------------------------------------------------

TEST(RunLevelCodes, FormAPrefixCodeThatLeavesOnlyTheInvalidRegion)
{
    // With end of block (10) and escape (000001) the codes must cover every bit string except
    // those with twelve leading zeros, and no code may be a prefix of another.
    struct Code {
        std::uint32_t bits;
        int length;
    };
    std::vector<Code> all = {{0x2, 2}, {0x1, 6}};
    std::set<std::pair<int, int>> pairs;
    for (const RunLevelCode& c : RunLevelCodes()) {
        all.push_back({c.bits, c.length});
        EXPECT_TRUE(pairs.insert({c.run, c.level}).second) << "run " << int{c.run} << " level " << int{c.level};
        EXPECT_LT(c.bits, 1u << c.length);
    }
    EXPECT_EQ(RunLevelCodes().size(), 111u);
    double kraft = 0;
    for (const Code& c : all) kraft += std::ldexp(1.0, -c.length);
    EXPECT_DOUBLE_EQ(kraft, 1.0 - std::ldexp(1.0, -12));
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = 0; j < all.size(); ++j) {
            const Code& a = all[i];
            const Code& b = all[j];
            if (i == j || a.length > b.length) continue;
            EXPECT_NE(b.bits >> (b.length - a.length), a.bits)
                << std::hex << a.bits << "/" << a.length << " prefixes " << b.bits << "/" << b.length;
        }
}

TEST(RunLevelCodes, ZigZagIsAPermutation)
{
    std::set<int> seen(kZigZag.begin(), kZigZag.end());
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_EQ(kZigZag[2], 8);
    EXPECT_EQ(kZigZag[63], 63);
}

TEST(ForwardDct, FlatBlockGivesEightTimesItsValueAtDc)
{
    std::uint8_t samples[64];
    std::fill(std::begin(samples), std::end(samples), 77);
    const auto f = ForwardDct(samples, 8);
    EXPECT_NEAR(f[0], 8 * 77, 1e-9);
    for (int n = 1; n < 64; ++n) EXPECT_NEAR(f[n], 0.0, 1e-9) << n;
}

TEST(ForwardDct, InverseRestoresTheSamples)
{
    std::mt19937 rng(5);
    std::uint8_t samples[8 * 12];
    for (auto& s : samples) s = static_cast<std::uint8_t>(rng());
    const auto f = ForwardDct(samples, 12);
    const auto back = InverseDct(f);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_NEAR(back[y * 8 + x], samples[y * 12 + x], 1e-9);
}

TEST(ForwardDct, HorizontalRampPutsEnergyInTheFirstRowOnly)
{
    std::uint8_t samples[64];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) samples[y * 8 + x] = static_cast<std::uint8_t>(10 * x);
    const auto f = ForwardDct(samples, 8);
    EXPECT_LT(f[1], -50);  // brightness rising to the right: negative first cosine term
    for (int n = 8; n < 64; ++n) EXPECT_NEAR(f[n], 0.0, 1e-9);
}

TEST(QuantiseBlock, PicksTheLevelWhoseRebuiltValueIsNearest)
{
    std::uint8_t samples[64];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) samples[y * 8 + x] = static_cast<std::uint8_t>(100 + 40 * std::cos((2 * x + 1) * std::acos(-1.0) / 16));
    const auto f = ForwardDct(samples, 8);
    for (int q : {1, 3, 9}) {
        const BlockLevels b = QuantiseBlock(samples, 8, q);
        EXPECT_EQ(b.dc, 100);
        const unsigned m = static_cast<unsigned>(q) * kIntraWeights[1];
        const double rebuilt = (static_cast<unsigned>(b.level[1]) * m) >> 2;
        const double worse = (static_cast<unsigned>(b.level[1] + 1) * m) >> 2;
        const double lower = (static_cast<unsigned>(b.level[1] - 1) * m) >> 2;
        EXPECT_LE(std::fabs(rebuilt - f[1]), std::fabs(worse - f[1]));
        EXPECT_LE(std::fabs(rebuilt - f[1]), std::fabs(lower - f[1]));
    }
}

// ---- headers of every layout ----------------------------------------------------------------

struct LayoutCase {
    int model;
    int height;
};

class EveryLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(EveryLayout, FullPictureRoundTripsWithinTheQuantiserError)
{
    const auto [model, height] = GetParam();
    const YuvImage source = NaturalPicture(kPictureWidth, height, model);
    PictureHeader h;
    h.modelType = model;
    h.channel = model == 0 ? 3 : 9;
    h.quantiserScale = 2;
    h.extra = 0xBEEF;
    const EncodeResult r = EncodePicture(h, source);
    ASSERT_FALSE(r.record.empty());
    EXPECT_TRUE(StartCodesOnlyWhereExpected(r.record, r.sliceOffsets));
    EXPECT_EQ(r.sliceOffsets.size(), static_cast<std::size_t>(height / 16));
    EXPECT_EQ(r.sliceOffsets.front(), SliceDataOffset(LayoutOfModel(model)));

    VideoDecoder decoder;
    decoder.Init(model);
    YuvImage decoded(kPictureWidth, height, 0, 0, 0);
    ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
    EXPECT_EQ(decoder.SliceCount(), static_cast<std::uint32_t>(height / 16));
    EXPECT_EQ(decoder.QuantiserScale(), 2u);
    EXPECT_EQ(decoder.FullPicture(), 1);
    EXPECT_EQ(decoder.Channel(), model == 2 ? 0 : h.channel);
    if (model == 2) {
        EXPECT_EQ(decoder.ExtraValue(), 0xBEEF);
    }
    EXPECT_EQ(decoder.DualFlag(), 0);
    EXPECT_GT(Psnr(source, decoded), 38.0);
    EXPECT_LE(MaxError(source, decoded), 24);
}

TEST_P(EveryLayout, UpdatePictureKindIsReadBack)
{
    const auto [model, height] = GetParam();
    const YuvImage first = NaturalPicture(kPictureWidth, height, 1);
    YuvImage second = first;
    for (int y = 40; y < 60; ++y)
        for (int x = 100; x < 130; ++x) second.Y()[y * kPictureWidth + x] = 250;
    PictureHeader h;
    h.modelType = model;
    h.quantiserScale = 3;
    h.channel = 1;
    h.full = false;
    const EncodeResult r = EncodePicture(h, second, &first);
    ASSERT_FALSE(r.record.empty());
    VideoDecoder decoder;
    decoder.Init(model);
    YuvImage decoded = first;
    ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
    EXPECT_EQ(decoder.FullPicture(), 0);
    EXPECT_EQ(r.codedMacroblocks, 6);  // columns 6..8 of macroblock rows 2 and 3
    EXPECT_GT(Psnr(second, decoded), 40.0);
}

INSTANTIATE_TEST_SUITE_P(Models, EveryLayout,
                         ::testing::Values(LayoutCase{0, 224}, LayoutCase{1, 224}, LayoutCase{2, 224}, LayoutCase{3, 272},
                                           LayoutCase{4, 224}, LayoutCase{4, 272}, LayoutCase{5, 272}, LayoutCase{6, 224},
                                           LayoutCase{6, 272}, LayoutCase{0, 272}, LayoutCase{2, 272}),
                         [](const auto& info) {
                             return "Model" + std::to_string(info.param.model) + "_" + std::to_string(info.param.height);
                         });

TEST(Header, ByteFourAndFiveFollowTheLayout)
{
    PictureLevels levels(kPictureWidth, kShortHeight);
    PictureHeader h;
    h.quantiserScale = 3;
    h.channel = 1;
    h.modelType = 0;
    h.full = true;
    EXPECT_EQ(EncodeLevels(h, levels).record[4], 0x80 | (3 << 3) | 1);
    h.modelType = 1;
    h.quantiserScale = 2;
    h.channel = 11;
    EXPECT_EQ(EncodeLevels(h, levels).record[4], 0x2B);
    EXPECT_EQ(EncodeLevels(h, levels).record[3], 0xF9);
    h.full = false;
    EXPECT_EQ(EncodeLevels(h, levels).record[3], 0xF8);
    h.modelType = 2;
    h.extra = 0x1234;
    const auto c = EncodeLevels(h, levels).record;
    EXPECT_EQ(c[4], 2 << 3);
    EXPECT_EQ(c[5], 0x12);
    EXPECT_EQ(c[6], 0x34);
    h.modelType = 5;
    h.quantiserScale = 3;
    h.channel = 1;
    h.dual = true;
    h.dualRight = 2;
    h.rightHidden = true;
    const auto d = EncodeLevels(h, levels).record;
    EXPECT_EQ(d[4], 0x31);
    EXPECT_EQ(d[5], 0x92);
}

TEST(Header, DualPictureHalvesComeBackAsTheirChannels)
{
    const YuvImage left = NaturalPicture(kPictureWidth / 2, kTallHeight, 3);
    const YuvImage right = NaturalPicture(kPictureWidth / 2, kTallHeight, 8);
    const YuvImage dual = ComposeDual(left, right);
    PictureHeader h;
    h.modelType = 5;
    h.channel = 6;
    h.dual = true;
    h.dualRight = 7;
    h.leftHidden = true;
    h.quantiserScale = 2;
    const EncodeResult r = EncodePicture(h, dual);
    VideoDecoder decoder;
    decoder.Init(5);
    YuvImage decoded(kPictureWidth, kTallHeight);
    ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
    EXPECT_EQ(decoder.DualFlag(), 1);
    EXPECT_EQ(decoder.DualLeftChannel(), 6);
    EXPECT_EQ(decoder.DualRightChannel(), 7);
    EXPECT_EQ(decoder.LeftHidden(), 1);
    EXPECT_EQ(decoder.RightHidden(), 0);
    YuvImage l(kPictureWidth / 2, kTallHeight), rr(kPictureWidth / 2, kTallHeight);
    ASSERT_TRUE(VideoDecoder::SplitDualPicture(ConstYuvPicture(decoded.data), kPictureWidth, kTallHeight, YuvPicture(l.data),
                                               YuvPicture(rr.data)));
    EXPECT_GT(Psnr(left, l), 38.0);
    EXPECT_GT(Psnr(right, rr), 38.0);
}

// ---- quantiser quality ------------------------------------------------------------------------

TEST(Quantiser, CoarserScalesLoseMoreButStayWithinTheirStep)
{
    const YuvImage source = NaturalPicture(kPictureWidth, kShortHeight, 11);
    VideoDecoder decoder;
    decoder.Init(4);
    double previous = 100;
    std::size_t previousSize = SIZE_MAX;
    for (int q : {1, 2, 4, 8, 14}) {
        PictureHeader h;
        h.quantiserScale = q;
        const EncodeResult r = EncodePicture(h, source);
        YuvImage decoded(kPictureWidth, kShortHeight);
        ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
        const double psnr = Psnr(source, decoded);
        EXPECT_LT(psnr, previous) << "q " << q;
        EXPECT_LT(r.record.size(), previousSize) << "q " << q;
        // Lower bound of a rounding quantiser on this content, measured with margin.
        EXPECT_GT(psnr, 43.0 - 1.5 * std::log2(q)) << "q " << q;
        previous = psnr;
        previousSize = r.record.size();
    }
}

// ---- chosen coefficients: exact -------------------------------------------------------------

PictureLevels RandomLevels(int height, unsigned seed, int density, int maxLevel)
{
    std::mt19937 rng(seed);
    PictureLevels levels(kPictureWidth, height);
    for (auto& mb : levels.mb)
        for (auto& b : mb.block) {
            b.dc = static_cast<std::uint8_t>(rng());
            for (int n = 1; n < 64; ++n)
                if (static_cast<int>(rng() % 100) < density)
                    b.level[n] = static_cast<std::int16_t>(static_cast<int>(rng() % (2 * maxLevel + 1)) - maxLevel);
        }
    return levels;
}

class ChosenLevels : public ::testing::TestWithParam<DecodePathOverride> {};

TEST_P(ChosenLevels, DecodeExactlyToTheirTransform)
{
    for (int height : {kShortHeight, kTallHeight}) {
        PictureLevels levels = RandomLevels(height, 77u + height, 12, 6);
        PictureHeader h;
        h.quantiserScale = 2;
        const EncodeResult r = EncodeLevels(h, levels);
        ASSERT_FALSE(r.record.empty());
        VideoDecoder decoder;
        decoder.SetDecodePathOverride(GetParam());
        decoder.Init(4);
        YuvImage decoded(kPictureWidth, height);
        ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
        YuvImage expected(kPictureWidth, height);
        ReconstructLevels(levels, 2, true, GetBlockWriter(decoder.Path()), expected);
        EXPECT_EQ(MaxError(expected, decoded), 0) << DecodePathName(decoder.Path());
        EXPECT_TRUE(expected.data == decoded.data);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ChosenLevels, ::testing::Values(DecodePathOverride::kPlain, DecodePathOverride::kAccel));

TEST(ChosenLevelsExact, DcOnlyBlocksGiveTheirDcByte)
{
    PictureLevels levels(kPictureWidth, kShortHeight);
    int i = 0;
    for (auto& mb : levels.mb)
        for (auto& b : mb.block) b.dc = static_cast<std::uint8_t>((i++ * 37) & 0xFF);
    PictureHeader h;
    const EncodeResult r = EncodeLevels(h, levels);
    VideoDecoder decoder;
    decoder.Init(4);
    YuvImage decoded(kPictureWidth, kShortHeight);
    ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
    EXPECT_EQ(decoded.Y()[0], levels.At(0, 0).block[0].dc);
    EXPECT_EQ(decoded.Y()[8], levels.At(0, 0).block[1].dc);
    EXPECT_EQ(decoded.Y()[15 * kPictureWidth + 16 + 8 + 7], levels.At(0, 1).block[3].dc);
    EXPECT_EQ(decoded.U()[(8 * 13) * 320 + 8 * 39 + 7], levels.At(13, 39).block[4].dc);
    EXPECT_EQ(decoded.V()[(8 * 13 + 7) * 320 + 8 * 39], levels.At(13, 39).block[5].dc);
}

TEST(ChosenLevelsExact, FirstCosineGivesTheKnownRamp)
{
    // DC byte 128 and coefficient 1 = (5 x 5 x 16) >> 2 = 100: every row reads 145 ... 111.
    PictureLevels levels(kPictureWidth, kShortHeight);
    levels.At(0, 0).block[0].level[1] = 5;
    PictureHeader h;
    h.quantiserScale = 5;
    const EncodeResult r = EncodeLevels(h, levels);
    for (auto path : {DecodePathOverride::kPlain, DecodePathOverride::kAccel}) {
        VideoDecoder decoder;
        decoder.SetDecodePathOverride(path);
        decoder.Init(4);
        YuvImage decoded(kPictureWidth, kShortHeight);
        ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
        const int want[8] = {145, 143, 138, 131, 125, 118, 113, 111};
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) EXPECT_EQ(decoded.Y()[y * kPictureWidth + x], want[x]) << x << "," << y;
        EXPECT_EQ(decoded.Y()[8], 128);
    }
}

// ---- escapes ---------------------------------------------------------------------------------

TEST(Escapes, LargeLevelsAndLongRunsDecodeExactly)
{
    PictureLevels levels(kPictureWidth, kShortHeight);
    // Every escape form: 1..127 either sign, 128..255 either sign, runs past the table.
    const int values[] = {41, -41, 127, -127, 128, -128, 200, -200, 255, -255, 1, -1};
    int k = 0;
    for (int row = 0; row < levels.Rows(); ++row)
        for (int col = 0; col < levels.Columns(); ++col) {
            BlockLevels& b = levels.At(row, col).block[k % 6];
            b.level[kZigZag[1 + k % 40]] = static_cast<std::int16_t>(values[k % 12]);
            b.level[kZigZag[63]] = static_cast<std::int16_t>(values[(k + 5) % 12]);  // long run
            ++k;
        }
    for (int q : {1, 7}) {
        PictureHeader h;
        h.quantiserScale = q;
        const EncodeResult r = EncodeLevels(h, levels);
        ASSERT_EQ(r.adjustments, 0);
        VideoDecoder decoder;
        decoder.SetDecodePathOverride(DecodePathOverride::kPlain);
        decoder.Init(4);
        YuvImage decoded(kPictureWidth, kShortHeight);
        ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
        YuvImage expected(kPictureWidth, kShortHeight);
        ReconstructLevels(levels, q, true, GetBlockWriter(DecodePath::kPlain), expected);
        EXPECT_EQ(MaxError(expected, decoded), 0) << "q " << q;
    }
}

TEST(Escapes, EscapingEveryCoefficientDecodesTheSameAsTableCodes)
{
    PictureLevels levels = RandomLevels(kShortHeight, 3, 20, 4);
    PictureLevels escaped = levels;
    PictureHeader h;
    h.quantiserScale = 4;
    EncodeOptions all;
    all.escapeEverything = true;
    const EncodeResult table = EncodeLevels(h, levels);
    const EncodeResult escapes = EncodeLevels(h, escaped, all);
    ASSERT_TRUE(StartCodesOnlyWhereExpected(escapes.record, escapes.sliceOffsets));
    EXPECT_GT(escapes.record.size(), table.record.size() * 3 / 2);
    VideoDecoder decoder;
    decoder.Init(4);
    YuvImage a(kPictureWidth, kShortHeight), b(kPictureWidth, kShortHeight);
    ASSERT_TRUE(DecodeInto(decoder, table.record, a));
    ASSERT_TRUE(DecodeInto(decoder, escapes.record, b));
    YuvImage expected(kPictureWidth, kShortHeight);
    ReconstructLevels(escaped, 4, true, GetBlockWriter(decoder.Path()), expected);
    EXPECT_EQ(MaxError(expected, b), 0);
    if (escapes.adjustments == 0 && table.adjustments == 0) {
        EXPECT_EQ(MaxError(a, b), 0);
    }
}

TEST(Escapes, OutOfRangeLevelsAreClampedTo255)
{
    PictureLevels levels(kPictureWidth, kShortHeight);
    levels.At(0, 0).block[0].level[1] = 900;
    levels.At(0, 0).block[1].level[1] = -900;
    PictureLevels clamped = levels;
    clamped.At(0, 0).block[0].level[1] = 255;
    clamped.At(0, 0).block[1].level[1] = -255;
    PictureHeader h;
    h.quantiserScale = 1;
    EXPECT_EQ(EncodeLevels(h, levels).record, EncodeLevels(h, clamped).record);
}

// ---- update pictures ------------------------------------------------------------------------

TEST(UpdatePicture, UncodedMacroblocksAndBlocksKeepTheReference)
{
    PictureLevels levels(kPictureWidth, kTallHeight);
    for (auto& mb : levels.mb) mb.coded = false;
    // Row 0: only the last column; row 3: columns 0 (pattern 0101) and 2 (pattern 0); row 16: column 20.
    MacroblockLevels& a = levels.At(0, 39);
    a.coded = true;
    a.pattern = 0xF;
    for (auto& b : a.block) b.dc = 200;
    MacroblockLevels& b = levels.At(3, 0);
    b.coded = true;
    b.pattern = 0x5;
    for (auto& blk : b.block) blk.dc = 10;
    MacroblockLevels& c = levels.At(3, 2);
    c.coded = true;
    c.pattern = 0;
    c.block[4].dc = 60;
    c.block[5].dc = 70;
    MacroblockLevels& d = levels.At(16, 20);
    d.coded = true;
    d.pattern = 0x8;
    d.block[3].dc = 99;
    d.block[3].level[9] = -3;
    PictureHeader h;
    h.full = false;
    h.quantiserScale = 6;
    const EncodeResult r = EncodeLevels(h, levels);
    EXPECT_EQ(r.codedMacroblocks, 4);

    const YuvImage reference = NaturalPicture(kPictureWidth, kTallHeight, 4);
    YuvImage decoded = reference;
    VideoDecoder decoder;
    decoder.Init(4);
    ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
    YuvImage expected = reference;
    ReconstructLevels(levels, 6, false, GetBlockWriter(decoder.Path()), expected);
    EXPECT_TRUE(expected.data == decoded.data);
    // Spot checks that do not depend on the reconstruction helper.
    EXPECT_EQ(decoded.Y()[5 * kPictureWidth + 39 * 16 + 3], 200);
    EXPECT_EQ(decoded.Y()[(48 + 2) * kPictureWidth + 2], 10);                          // block 0 coded
    EXPECT_EQ(decoded.Y()[(48 + 2) * kPictureWidth + 10], reference.Y()[(48 + 2) * kPictureWidth + 10]);  // block 1 kept
    EXPECT_EQ(decoded.Y()[(48 + 10) * kPictureWidth + 2], 10);                         // block 2 coded
    EXPECT_EQ(decoded.Y()[(48 + 3) * kPictureWidth + 32 + 4], reference.Y()[(48 + 3) * kPictureWidth + 32 + 4]);
    EXPECT_EQ(decoded.U()[(24 + 1) * 320 + 16 + 1], 60);
    EXPECT_EQ(decoded.V()[(24 + 1) * 320 + 16 + 1], 70);
    EXPECT_EQ(decoded.Y()[0], reference.Y()[0]);
}

TEST(UpdatePicture, EmptyUpdateChangesNothing)
{
    PictureLevels levels(kPictureWidth, kShortHeight);
    for (auto& mb : levels.mb) mb.coded = false;
    PictureHeader h;
    h.full = false;
    const EncodeResult r = EncodeLevels(h, levels);
    EXPECT_EQ(r.codedMacroblocks, 0);
    EXPECT_EQ(r.record.size(), 5u + 14u * 5u);  // start code, row and a zero increment per slice
    const YuvImage reference = NoisePicture(kPictureWidth, kShortHeight, 9);
    YuvImage decoded = reference;
    VideoDecoder decoder;
    decoder.Init(4);
    ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
    EXPECT_TRUE(decoded.data == reference.data);
}

TEST(UpdatePicture, OnlyChangedMacroblocksAreCodedFromPictures)
{
    const YuvImage first = NaturalPicture(kPictureWidth, kShortHeight, 2);
    YuvImage second = first;
    // One luma sample in macroblock (5, 10), block 3; one chroma sample in macroblock (7, 0).
    second.Y()[(5 * 16 + 12) * kPictureWidth + 10 * 16 + 12] ^= 0x40;
    second.U()[(7 * 8 + 1) * 320 + 2] ^= 0x20;
    const PictureLevels levels = QuantisePicture(second, 3, &first);
    int coded = 0;
    for (const auto& mb : levels.mb) coded += mb.coded;
    EXPECT_EQ(coded, 2);
    EXPECT_TRUE(levels.At(5, 10).coded);
    EXPECT_EQ(levels.At(5, 10).pattern, 0x8);
    EXPECT_TRUE(levels.At(7, 0).coded);
    EXPECT_EQ(levels.At(7, 0).pattern, 0);
    // A threshold above the change codes nothing.
    const PictureLevels none = QuantisePicture(second, 3, &first, 0x40);
    for (const auto& mb : none.mb) EXPECT_FALSE(mb.coded);
}

TEST(UpdatePicture, SequenceOfUpdatesTracksTheSource)
{
    VideoDecoder decoder;
    decoder.Init(1);
    YuvImage source = NaturalPicture(kPictureWidth, kTallHeight, 6);
    PictureHeader h;
    h.modelType = 1;
    h.quantiserScale = 2;
    YuvImage decoded(kPictureWidth, kTallHeight);
    ASSERT_TRUE(DecodeInto(decoder, EncodePicture(h, source).record, decoded));
    h.full = false;
    for (int step = 0; step < 5; ++step) {
        YuvImage next = source;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) next.Y()[(100 + y) * kPictureWidth + 60 * step + x] = static_cast<std::uint8_t>(30 * step);
        const EncodeResult r = EncodePicture(h, next, &source);
        EXPECT_LE(r.codedMacroblocks, 3 * 4);
        ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
        EXPECT_GT(Psnr(next, decoded), 40.0) << step;
        source = next;
    }
}

// ---- no false start codes -------------------------------------------------------------------

TEST(StartCodes, CheckerRejectsMisplacedPrefixes)
{
    std::vector<std::uint8_t> rec = {0, 0, 1, 0xF9, 0x40, 0, 0, 1, 0x00, 0xFF};
    EXPECT_TRUE(StartCodesOnlyWhereExpected(rec, {5}));
    EXPECT_FALSE(StartCodesOnlyWhereExpected(rec, {}));
    rec.insert(rec.end(), {0x00, 0x00, 0x01, 0x10});
    EXPECT_FALSE(StartCodesOnlyWhereExpected(rec, {5}));
    EXPECT_TRUE(StartCodesOnlyWhereExpected(rec, {5, 10}));
    rec[13] = 0xFA;
    EXPECT_FALSE(StartCodesOnlyWhereExpected(rec, {5, 10}));
}

TEST(StartCodes, BlackTopLeftBlockWithALongFirstCodeIsAdjusted)
{
    // Row 0, DC 0 and a first code with ten leading zeros (run 0, level 32: 0000 0000 0011 000)
    // line up as 00 00 01 three bytes after the slice start code.
    PictureLevels levels(kPictureWidth, kShortHeight);
    levels.At(0, 0).block[0].dc = 0;
    levels.At(0, 0).block[0].level[1] = 32;
    PictureHeader h;
    h.quantiserScale = 1;
    const EncodeResult r = EncodeLevels(h, levels);
    EXPECT_GE(r.adjustments, 1);
    EXPECT_TRUE(StartCodesOnlyWhereExpected(r.record, r.sliceOffsets));
    EXPECT_EQ(FindStartCodePrefixes(r.record.data(), r.record.size()).size(), 15u);
    VideoDecoder decoder;
    decoder.Init(4);
    YuvImage decoded(kPictureWidth, kShortHeight);
    ASSERT_TRUE(DecodeInto(decoder, r.record, decoded));
    EXPECT_EQ(decoder.SliceCount(), 14u);
    YuvImage expected(kPictureWidth, kShortHeight);
    ReconstructLevels(levels, 1, true, GetBlockWriter(decoder.Path()), expected);  // levels as adjusted
    EXPECT_TRUE(expected.data == decoded.data);
}

struct Adversary {
    const char* name;
    YuvImage picture;
};

TEST(StartCodes, NeverInsideRecordsOfAdversarialContent)
{
    std::vector<Adversary> pictures;
    pictures.push_back({"black", YuvImage(kPictureWidth, kShortHeight, 0, 0, 0)});
    pictures.push_back({"white", YuvImage(kPictureWidth, kTallHeight, 255, 255, 255)});
    pictures.push_back({"one", YuvImage(kPictureWidth, kShortHeight, 1, 1, 1)});
    pictures.push_back({"noise", NoisePicture(kPictureWidth, kShortHeight, 1)});
    pictures.push_back({"noise272", NoisePicture(kPictureWidth, kTallHeight, 2)});
    YuvImage stripes(kPictureWidth, kShortHeight, 0, 0, 0);
    for (int y = 0; y < kShortHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x)
            stripes.Y()[y * kPictureWidth + x] = static_cast<std::uint8_t>(((x / 3 + y / 5) % 4 == 0) ? 255 : 0);
    pictures.push_back({"stripes", stripes});
    YuvImage dark(kPictureWidth, kShortHeight, 0, 0, 0);
    std::mt19937 rng(8);
    for (auto& s : dark.data) s = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() % 24 : 0);
    pictures.push_back({"darkspeckle", dark});

    VideoDecoder decoder;
    for (const Adversary& a : pictures)
        for (int model : {0, 2, 4, 5})
            for (int q : {1, 2, 5, 14}) {
                PictureHeader h;
                h.modelType = model;
                h.quantiserScale = q;
                decoder.Init(model);
                const EncodeResult r = EncodePicture(h, a.picture);
                ASSERT_FALSE(r.record.empty()) << a.name;
                EXPECT_TRUE(StartCodesOnlyWhereExpected(r.record, r.sliceOffsets)) << a.name << " model " << model << " q " << q;
                YuvImage decoded(a.picture.width, a.picture.height);
                EXPECT_TRUE(DecodeInto(decoder, r.record, decoded)) << a.name << " model " << model << " q " << q;
                EXPECT_EQ(decoder.SliceCount(), static_cast<std::uint32_t>(a.picture.height / 16));
            }
}

TEST(StartCodes, ZeroHeavyLevelsAreAdjustedUntilClean)
{
    // DC bytes of 0, long codes and update headers full of zero bits (coded-block pattern 0,
    // increments of 32) make 23 zero bits in a row likely; every record must still come out clean
    // and decode to the levels as adjusted.
    std::mt19937 rng(21);
    int adjusted = 0;
    VideoDecoder decoder;
    decoder.Init(4);
    const std::int16_t longCodes[] = {32, 33, 36, 40, 16, 20, 31};
    for (int trial = 0; trial < 40; ++trial) {
        PictureLevels levels(kPictureWidth, trial % 2 ? kTallHeight : kShortHeight);
        const bool full = trial % 4 < 2;
        for (std::size_t m = 0; m < levels.mb.size(); ++m) {
            MacroblockLevels& mb = levels.mb[m];
            mb.coded = full || (m % 40 == 0) || (m % 40 == 32) || rng() % 5 == 0;
            mb.pattern = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng() % 16);
            for (auto& b : mb.block) {
                b.dc = static_cast<std::uint8_t>(rng() % 2 ? 0 : rng() % 4);
                if (rng() % 2) b.level[kZigZag[1 + rng() % 3]] = longCodes[rng() % 7];
                if (rng() % 4 == 0) b.level[kZigZag[20 + rng() % 40]] = static_cast<std::int16_t>(rng() % 2 ? 1 : -1);
            }
        }
        PictureHeader h;
        h.full = full;
        h.quantiserScale = 1;
        const EncodeResult r = EncodeLevels(h, levels);
        ASSERT_FALSE(r.record.empty());
        adjusted += r.adjustments;
        ASSERT_TRUE(StartCodesOnlyWhereExpected(r.record, r.sliceOffsets)) << trial;
        YuvImage reference = NoisePicture(kPictureWidth, levels.height, static_cast<unsigned>(trial));
        YuvImage decoded = reference;
        ASSERT_TRUE(DecodeInto(decoder, r.record, decoded)) << trial;
        YuvImage expected = reference;
        ReconstructLevels(levels, 1, full, GetBlockWriter(decoder.Path()), expected);
        EXPECT_TRUE(expected.data == decoded.data) << trial;
    }
    EXPECT_GT(adjusted, 0);  // the content did provoke the guard
}

}  // namespace
}  // namespace tamlorex::sim

namespace tamlorex::sim {
namespace {

// The encoder keeps its own copies of the coding tables; they must agree with the decoder's.
TEST(EncoderTables, AgreeWithTheDecoder)
{
    EXPECT_TRUE(std::equal(kZigZag.begin(), kZigZag.end(), tamlorex::kZigZag.begin()));
    EXPECT_TRUE(std::equal(kIntraWeights.begin(), kIntraWeights.end(), tamlorex::kIntraWeights.begin()));
    std::map<std::pair<int, int>, std::pair<int, int>> decoderCodes;  // (run, level) -> (bits, length)
    for (const DctCodeWord& w : DctCodeWords())
        if (w.run < 32) decoderCodes[{w.run, w.level}] = {w.bits, w.len};
    EXPECT_EQ(decoderCodes.size(), RunLevelCodes().size());
    for (const RunLevelCode& c : RunLevelCodes()) {
        const auto it = decoderCodes.find({c.run, c.level});
        ASSERT_NE(it, decoderCodes.end()) << int{c.run} << "/" << int{c.level};
        EXPECT_EQ(it->second, std::make_pair(int{c.bits}, int{c.length})) << int{c.run} << "/" << int{c.level};
    }
}

}  // namespace
}  // namespace tamlorex::sim
