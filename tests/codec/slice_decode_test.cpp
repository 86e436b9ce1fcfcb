#include <gtest/gtest.h>

#include <array>
#include <random>
#include <thread>
#include <vector>

#include "codec/video_decoder.h"
#include "codec_test_util.h"

namespace tamlorex {
namespace {

using test::BitWriter;
using test::EmptyUpdateSlice;
using test::ExactBuffer;
using test::MakeRecordB;
using test::PutBlock;
using test::PutSliceStart;
using test::TestBlock;

constexpr uint32_t kWidth = 640, kHeight = 224, kRows = 14, kColumns = 40;
constexpr uint8_t kUntouched = 50;

struct Macroblock {
    uint32_t increment;  // update pictures only
    uint32_t pattern;    // update pictures only
    std::vector<TestBlock> blocks;
};

std::vector<uint8_t> UpdateSlice(uint32_t row, const std::vector<Macroblock>& macroblocks, bool close = true) {
    BitWriter w;
    PutSliceStart(w, row);
    for (const auto& mb : macroblocks) {
        w.Put(mb.increment, 6);
        w.Put(mb.pattern, 4);
        for (const auto& block : mb.blocks) PutBlock(w, block);
    }
    if (close) w.Put(0, 6);
    return w.Bytes();
}

std::vector<uint8_t> FullSlice(uint32_t row, const std::function<TestBlock(uint32_t, int)>& blockAt) {
    BitWriter w;
    PutSliceStart(w, row);
    for (uint32_t c = 0; c < kColumns; ++c)
        for (int j = 0; j < 6; ++j) PutBlock(w, blockAt(c, j));
    return w.Bytes();
}

// Update picture of 14 slices: the given ones, the rest empty.
std::vector<uint8_t> UpdateRecord(std::vector<std::vector<uint8_t>> firstSlices, uint32_t scale = 3) {
    for (uint32_t row = uint32_t(firstSlices.size()); row < kRows; ++row) firstSlices.push_back(EmptyUpdateSlice(row));
    return MakeRecordB(false, scale, 0, firstSlices);
}

std::vector<TestBlock> Dc(std::initializer_list<uint8_t> levels) {
    std::vector<TestBlock> blocks;
    for (uint8_t v : levels) blocks.push_back(TestBlock{v, {}});
    return blocks;
}

class SliceDecodeTest : public ::testing::Test {
protected:
    SliceDecodeTest() : picture_(YuvPictureSize(kWidth, kHeight), kUntouched) { decoder_.Init(4); }

    // Parses and decodes from exact-size copies; the picture buffer is exact too.
    int Run(const std::vector<uint8_t>& record) {
        ExactBuffer exact(record);
        if (decoder_.ParseHeader(exact.data.get(), uint32_t(exact.length)) == 0) return -1;
        return decoder_.Decode(exact.data.get(), uint32_t(exact.length), picture_);
    }

    uint8_t* Plane(int j) {
        if (j < 4) return picture_.data();
        return picture_.data() + kWidth * kHeight * (j == 4 ? 4 : 5) / 4;
    }
    // The 8x8 samples of block j of macroblock (row, column).
    std::array<uint8_t, 64> BlockSamples(uint32_t row, uint32_t column, int j) {
        std::array<uint8_t, 64> out;
        const uint32_t stride = j < 4 ? kWidth : kWidth / 2;
        const uint32_t top = j < 4 ? 16 * row + 8 * (j >> 1) : 8 * row;
        const uint32_t left = j < 4 ? 16 * column + 8 * (j & 1) : 8 * column;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) out[8 * y + x] = Plane(j)[(top + y) * stride + left + x];
        return out;
    }
    bool BlockIs(uint32_t row, uint32_t column, int j, uint8_t v) {
        auto samples = BlockSamples(row, column, j);
        return std::all_of(samples.begin(), samples.end(), [v](uint8_t s) { return s == v; });
    }
    bool MacroblockIs(uint32_t row, uint32_t column, uint8_t v) {
        for (int j = 0; j < 6; ++j)
            if (!BlockIs(row, column, j, v)) return false;
        return true;
    }
    // Samples the plain path gives for a coefficient block.
    static std::array<uint8_t, 64> PlainSamples(std::array<int16_t, 64> block) {
        std::array<uint8_t, 64> out;
        GetBlockWriter(DecodePath::kPlain)(block.data(), out.data(), 8);
        return out;
    }

    VideoDecoder decoder_;
    std::vector<uint8_t> picture_;
};

TEST_F(SliceDecodeTest, FullPictureOfDcBlocksGivesTheDcBytesInEveryPath) {
    for (auto override : {DecodePathOverride::kPlain, DecodePathOverride::kAccel, DecodePathOverride::kAccelScalar}) {
        decoder_.SetDecodePathOverride(override);
        std::fill(picture_.begin(), picture_.end(), kUntouched);
        std::vector<std::vector<uint8_t>> slices;
        for (uint32_t row = 0; row < kRows; ++row)
            slices.push_back(FullSlice(row, [](uint32_t, int j) { return TestBlock{uint8_t(j < 4 ? 100 : j == 4 ? 60 : 200), {}}; }));
        ASSERT_EQ(Run(MakeRecordB(true, 3, 0, slices)), 1);
        EXPECT_EQ(decoder_.LastStop(), DecodeStop::kNone);
        EXPECT_TRUE(std::all_of(picture_.begin(), picture_.begin() + kWidth * kHeight, [](uint8_t v) { return v == 100; }));
        EXPECT_TRUE(std::all_of(picture_.begin() + kWidth * kHeight, picture_.begin() + kWidth * kHeight * 5 / 4,
                                [](uint8_t v) { return v == 60; }));
        EXPECT_TRUE(std::all_of(picture_.begin() + kWidth * kHeight * 5 / 4, picture_.end(), [](uint8_t v) { return v == 200; }));
    }
}

TEST_F(SliceDecodeTest, SlicesDrawAtTheirOwnRowNotInRecordOrder) {
    std::vector<std::vector<uint8_t>> slices;
    slices.push_back(UpdateSlice(9, {{1, 0xF, Dc({1, 2, 3, 4, 5, 6})}}));
    for (uint32_t row = 1; row < kRows; ++row) slices.push_back(EmptyUpdateSlice(row));
    ASSERT_EQ(Run(MakeRecordB(false, 3, 0, slices)), 1);
    for (int j = 0; j < 6; ++j) EXPECT_TRUE(BlockIs(9, 0, j, uint8_t(j + 1))) << j;
    EXPECT_TRUE(MacroblockIs(0, 0, kUntouched));
}

TEST_F(SliceDecodeTest, AddressIncrementSkipsMacroblocks) {
    // First increment 3: columns 0 and 1 untouched, column 2 decoded; then
    // increment 2 skips column 3 and decodes column 4.
    ASSERT_EQ(Run(UpdateRecord({EmptyUpdateSlice(0), UpdateSlice(1, {{3, 0xF, Dc({200, 200, 200, 200, 201, 202})},
                                                                     {2, 0xF, Dc({9, 9, 9, 9, 9, 9})}})})),
              1);
    EXPECT_TRUE(MacroblockIs(1, 0, kUntouched));
    EXPECT_TRUE(MacroblockIs(1, 1, kUntouched));
    EXPECT_TRUE(BlockIs(1, 2, 0, 200) && BlockIs(1, 2, 3, 200) && BlockIs(1, 2, 4, 201) && BlockIs(1, 2, 5, 202));
    EXPECT_TRUE(MacroblockIs(1, 3, kUntouched));
    EXPECT_TRUE(MacroblockIs(1, 4, 9));
    EXPECT_TRUE(MacroblockIs(1, 5, kUntouched));
    EXPECT_TRUE(MacroblockIs(0, 2, kUntouched));
}

TEST_F(SliceDecodeTest, CodedBlockPatternSelectsLumaBlocksChromaAlwaysCoded) {
    ASSERT_EQ(Run(UpdateRecord({UpdateSlice(0, {{1, 0x0, Dc({30, 40})}, {1, 0b0101, Dc({11, 13, 30, 40})}})})), 1);
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(BlockIs(0, 0, j, kUntouched)) << j;
    EXPECT_TRUE(BlockIs(0, 0, 4, 30));
    EXPECT_TRUE(BlockIs(0, 0, 5, 40));
    EXPECT_TRUE(BlockIs(0, 1, 0, 11));
    EXPECT_TRUE(BlockIs(0, 1, 1, kUntouched));
    EXPECT_TRUE(BlockIs(0, 1, 2, 13));
    EXPECT_TRUE(BlockIs(0, 1, 3, kUntouched));
}

TEST_F(SliceDecodeTest, TableCodeLevelOneAtScanPositionOneDequantisesToFour) {
    // Code 11 (run 0, level 1) and a plus sign, quantiser scale 1.
    BitWriter w;
    PutSliceStart(w, 0);
    w.Put(1, 6);
    w.Put(0, 4);
    w.Put(128, 8);
    w.Put(0b11, 2);
    w.Put(0, 1);
    w.Put(0b10, 2);
    PutBlock(w, TestBlock{128, {}});
    w.Put(0, 6);
    decoder_.SetDecodePathOverride(DecodePathOverride::kPlain);
    ASSERT_EQ(Run(UpdateRecord({w.Bytes()}, 1)), 1);
    std::array<int16_t, 64> expected{};
    expected[0] = 1024;
    expected[1] = 4;
    EXPECT_EQ(BlockSamples(0, 0, 4), PlainSamples(expected));
}

TEST_F(SliceDecodeTest, EscapeLevelByte128GivesNegativeMagnitude255) {
    BitWriter w;
    PutSliceStart(w, 0);
    w.Put(1, 6);
    w.Put(0, 4);
    w.Put(128, 8);
    w.Put(0b000001, 6);  // escape, run 0, level byte 0x80, then 0x01
    w.Put(0, 6);
    w.Put(0x80, 8);
    w.Put(0x01, 8);
    w.Put(0b10, 2);
    PutBlock(w, TestBlock{128, {}});
    w.Put(0, 6);
    decoder_.SetDecodePathOverride(DecodePathOverride::kPlain);
    ASSERT_EQ(Run(UpdateRecord({w.Bytes()}, 1)), 1);
    std::array<int16_t, 64> expected{};
    expected[0] = 1024;
    expected[1] = -(255 * 16 >> 2);
    EXPECT_EQ(BlockSamples(0, 0, 4), PlainSamples(expected));
}

TEST_F(SliceDecodeTest, LargeLevelsClampTo2047AndMinus2048) {
    // Level 255 at scan position 63 (weight 83) with scale 14.
    decoder_.SetDecodePathOverride(DecodePathOverride::kPlain);
    ASSERT_EQ(Run(UpdateRecord({UpdateSlice(0, {{1, 0, {TestBlock{0, {{62, 255}}}, TestBlock{255, {{62, -255}}}}}})}, 14)),
              1);
    std::array<int16_t, 64> positive{}, negative{};
    positive[63] = 2047;
    negative[0] = 255 * 8;
    negative[63] = -2048;
    EXPECT_EQ(BlockSamples(0, 0, 4), PlainSamples(positive));
    EXPECT_EQ(BlockSamples(0, 0, 5), PlainSamples(negative));
}

TEST_F(SliceDecodeTest, ZeroMagnitudeEscapeStillAdvancesThePosition) {
    // Escape level 0 at position 1, then a table code at position 2.
    decoder_.SetDecodePathOverride(DecodePathOverride::kPlain);
    BitWriter w;
    PutSliceStart(w, 0);
    w.Put(1, 6);
    w.Put(0, 4);
    w.Put(128, 8);
    test::PutEscape(w, 0, 0);
    w.Put(0b11, 2);
    w.Put(1, 1);  // run 0 level 1, negative: scan position 2 (raster 8)
    w.Put(0b10, 2);
    PutBlock(w, TestBlock{128, {}});
    w.Put(0, 6);
    ASSERT_EQ(Run(UpdateRecord({w.Bytes()}, 2)), 1);
    std::array<int16_t, 64> expected{};
    expected[0] = 1024;
    expected[8] = -(2 * 16 >> 2);
    EXPECT_EQ(BlockSamples(0, 0, 4), PlainSamples(expected));
}

// Row 0 fully decoded, row 1 block 0 decoded then `damage` at block 1,
// row 2 would be decoded if the picture went on.
std::vector<uint8_t> DamagedRecord(const std::function<void(BitWriter&)>& damage) {
    BitWriter w;
    PutSliceStart(w, 1);
    w.Put(1, 6);
    w.Put(0xF, 4);
    PutBlock(w, TestBlock{20, {}});
    damage(w);
    w.Put(0, 32);
    return UpdateRecord({UpdateSlice(0, {{1, 0xF, Dc({10, 10, 10, 10, 10, 10})}}), w.Bytes(),
                         UpdateSlice(2, {{1, 0xF, Dc({30, 30, 30, 30, 30, 30})}})});
}

TEST_F(SliceDecodeTest, ScanPastPosition63StopsThePictureKeepingEarlierBlocks) {
    ASSERT_EQ(Run(DamagedRecord([](BitWriter& w) {
                  w.Put(5, 8);
                  test::PutEscape(w, 40, 3);
                  test::PutEscape(w, 22, 3);  // position 41 + 23 = 64
              })),
              1);
    EXPECT_EQ(decoder_.LastStop(), DecodeStop::kScanOverrun);
    EXPECT_TRUE(MacroblockIs(0, 0, 10));
    EXPECT_TRUE(BlockIs(1, 0, 0, 20));
    EXPECT_TRUE(BlockIs(1, 0, 1, kUntouched));
    EXPECT_TRUE(MacroblockIs(2, 0, kUntouched));
}

TEST_F(SliceDecodeTest, ScanEndingAtPosition63IsValid) {
    ASSERT_EQ(Run(DamagedRecord([](BitWriter& w) {
                  w.Put(5, 8);
                  test::PutEscape(w, 40, 3);
                  test::PutEscape(w, 21, 3);  // position 63
                  w.Put(0b10, 2);
                  for (int j = 2; j < 6; ++j) PutBlock(w, TestBlock{20, {}});
                  w.Put(0, 6);
              })),
              1);
    EXPECT_EQ(decoder_.LastStop(), DecodeStop::kNone);
    EXPECT_TRUE(MacroblockIs(2, 0, 30));
}

TEST_F(SliceDecodeTest, InvalidCodeStopsThePicture) {
    ASSERT_EQ(Run(DamagedRecord([](BitWriter& w) {
                  w.Put(5, 8);
                  w.Put(0b11, 2);
                  w.Put(0, 1);
                  w.Put(0, 12);  // twelve zero bits where a code belongs
                  w.Put(0xFFFF, 16);
              })),
              1);
    EXPECT_EQ(decoder_.LastStop(), DecodeStop::kInvalidCode);
    EXPECT_TRUE(MacroblockIs(0, 0, 10));
    EXPECT_TRUE(BlockIs(1, 0, 0, 20));
    EXPECT_TRUE(BlockIs(1, 0, 1, kUntouched));
    EXPECT_TRUE(MacroblockIs(2, 0, kUntouched));
}

TEST_F(SliceDecodeTest, RowOutsideThePictureStopsThePicture) {
    ASSERT_EQ(Run(UpdateRecord({UpdateSlice(0, {{1, 0xF, Dc({10, 10, 10, 10, 10, 10})}}),
                                UpdateSlice(kRows, {{1, 0xF, Dc({20, 20, 20, 20, 20, 20})}}),
                                UpdateSlice(2, {{1, 0xF, Dc({30, 30, 30, 30, 30, 30})}})})),
              1);
    EXPECT_EQ(decoder_.LastStop(), DecodeStop::kBadRow);
    EXPECT_TRUE(MacroblockIs(0, 0, 10));
    EXPECT_TRUE(MacroblockIs(2, 0, kUntouched));
}

TEST_F(SliceDecodeTest, SliceNotStartingWithStartCodeStopsThePicture) {
    // Decode is given other bytes than the parse saw: slice 1 lost its start code.
    auto record = UpdateRecord({UpdateSlice(0, {{1, 0xF, Dc({10, 10, 10, 10, 10, 10})}}),
                                UpdateSlice(1, {{1, 0xF, Dc({20, 20, 20, 20, 20, 20})}}),
                                UpdateSlice(2, {{1, 0xF, Dc({30, 30, 30, 30, 30, 30})}})});
    ExactBuffer exact(record);
    ASSERT_NE(decoder_.ParseHeader(exact.data.get(), uint32_t(exact.length)), 0u);
    exact.data[decoder_.SliceOffset(1) + 2] = 3;
    ASSERT_EQ(decoder_.Decode(exact.data.get(), uint32_t(exact.length), picture_), 1);
    EXPECT_EQ(decoder_.LastStop(), DecodeStop::kBadSliceStart);
    EXPECT_TRUE(MacroblockIs(0, 0, 10));
    EXPECT_TRUE(MacroblockIs(1, 0, kUntouched));
    EXPECT_TRUE(MacroblockIs(2, 0, kUntouched));
}

TEST_F(SliceDecodeTest, MacroblockBeyondTheRowIsReadNotWrittenAndEndsTheSlice) {
    // Column 39 is the last; increment 2 after it lands at column 41. The
    // bits after that macroblock would be an invalid code if they were read.
    BitWriter w;
    PutSliceStart(w, 0);
    w.Put(40, 6);
    w.Put(0xF, 4);
    for (int j = 0; j < 6; ++j) PutBlock(w, TestBlock{70, {}});
    w.Put(2, 6);
    w.Put(0xF, 4);
    for (int j = 0; j < 6; ++j) PutBlock(w, TestBlock{71, {}});
    w.Put(1, 6);
    w.Put(0, 4);
    w.Put(0, 32);
    auto before = picture_;
    ASSERT_EQ(Run(UpdateRecord({w.Bytes(), UpdateSlice(1, {{1, 0xF, Dc({30, 30, 30, 30, 30, 30})}})})), 1);
    EXPECT_EQ(decoder_.LastStop(), DecodeStop::kNone);
    EXPECT_TRUE(MacroblockIs(0, 39, 70));
    EXPECT_TRUE(MacroblockIs(1, 0, 30));
    // Nothing but those two macroblocks changed.
    size_t changed = 0;
    for (size_t i = 0; i < picture_.size(); ++i) changed += picture_[i] != before[i];
    EXPECT_EQ(changed, 2u * 384u);
}

TEST_F(SliceDecodeTest, DamageInsideAMacroblockBeyondTheRowStillStopsThePicture) {
    BitWriter w;
    PutSliceStart(w, 0);
    w.Put(50, 6);
    w.Put(0, 4);
    w.Put(5, 8);
    w.Put(0, 16);  // invalid code
    ASSERT_EQ(Run(UpdateRecord({w.Bytes(), UpdateSlice(1, {{1, 0xF, Dc({30, 30, 30, 30, 30, 30})}})})), 1);
    EXPECT_EQ(decoder_.LastStop(), DecodeStop::kInvalidCode);
    EXPECT_TRUE(MacroblockIs(1, 0, kUntouched));
}

// A full picture of pseudo-random blocks with levels of the size pictures
// carry (large levels saturate the accelerated transform's 16-bit lanes).
std::vector<uint8_t> NaturalFullRecord(uint32_t seed, uint32_t scale) {
    std::mt19937 rng(seed);
    std::vector<std::vector<uint8_t>> slices;
    for (uint32_t row = 0; row < kRows; ++row) {
        slices.push_back(FullSlice(row, [&](uint32_t, int) {
            TestBlock block{uint8_t(rng() % 256), {}};
            int position = 0, count = int(rng() % 8);
            for (int k = 0; k < count; ++k) {
                int run = int(rng() % 6);
                if (position + 1 + run > 63) break;
                position += 1 + run;
                int magnitude = 1 + int(rng() % (24 / (1 + position / 3)));
                block.coefficients.push_back({run, rng() % 2 ? magnitude : -magnitude});
            }
            return block;
        }));
    }
    return MakeRecordB(true, scale, 0, slices);
}

TEST_F(SliceDecodeTest, PathsAgreeOnWholePictures) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        auto record = NaturalFullRecord(seed, 1 + seed);
        decoder_.SetDecodePathOverride(DecodePathOverride::kAccelScalar);
        ASSERT_EQ(Run(record), 1);
        auto scalar = picture_;
        decoder_.SetDecodePathOverride(DecodePathOverride::kAccel);
        ASSERT_EQ(Run(record), 1);
        EXPECT_EQ(picture_, scalar);
        decoder_.SetDecodePathOverride(DecodePathOverride::kPlain);
        ASSERT_EQ(Run(record), 1);
        size_t differing = 0;
        for (size_t i = 0; i < picture_.size(); ++i) {
            ASSERT_LE(std::abs(int(picture_[i]) - int(scalar[i])), 1) << i;
            differing += picture_[i] != scalar[i];
        }
        EXPECT_LT(differing, picture_.size() / 20);
    }
}

TEST_F(SliceDecodeTest, TruncatedRecordsStayInsideTheirBuffers) {
    auto record = NaturalFullRecord(11, 3);
    ExactBuffer whole(record);
    ASSERT_NE(decoder_.ParseHeader(whole.data.get(), uint32_t(whole.length)), 0u);
    for (size_t cut = 5; cut < record.size(); cut += 1 + cut / 16) {
        // Decode a shorter copy with the slice table of the whole record:
        // slices past the cut read zero bits only.
        ExactBuffer part(record, cut);
        decoder_.ParseHeader(whole.data.get(), uint32_t(whole.length));
        ASSERT_EQ(decoder_.Decode(part.data.get(), uint32_t(part.length), picture_), 1);
        // And the cut record on its own.
        if (decoder_.ParseHeader(part.data.get(), uint32_t(part.length)) != 0)
            decoder_.Decode(part.data.get(), uint32_t(part.length), picture_);
    }
}

TEST_F(SliceDecodeTest, RandomRecordsStayInsideTheirBuffers) {
    std::mt19937 rng(4321);
    const DecodePathOverride paths[] = {DecodePathOverride::kPlain, DecodePathOverride::kAccel,
                                        DecodePathOverride::kAccelScalar};
    int decoded = 0;
    for (int iteration = 0; iteration < 600; ++iteration) {
        decoder_.SetDecodePathOverride(paths[iteration % 3]);
        std::vector<uint8_t> record(6 + rng() % 3000);
        for (auto& b : record) b = uint8_t(rng());
        record[0] = 0, record[1] = 0, record[2] = 1, record[3] = rng() % 2 ? 0xF8 : 0xF9;
        record[4] = uint8_t((1 + rng() % 14) << 4);
        const uint32_t slices = rng() % 4 ? 14 : 17;
        for (uint32_t s = 0; s < slices && record.size() > 12; ++s) {
            size_t at = 5 + rng() % (record.size() - 9);
            record[at] = 0, record[at + 1] = 0, record[at + 2] = 1;
            record[at + 3] = uint8_t(rng() % 0xF8);
        }
        // Exact-size picture: a write past it is caught by the sanitizer build.
        std::vector<uint8_t> exactPicture(YuvPictureSize(640, 272));
        ExactBuffer exact(record);
        if (decoder_.ParseHeader(exact.data.get(), uint32_t(exact.length)) == 0) continue;
        std::vector<uint8_t> fitting(YuvPictureSize(decoder_.Width(), decoder_.Height()));
        ASSERT_EQ(decoder_.Decode(exact.data.get(), uint32_t(exact.length), fitting), 1);
        ++decoded;
    }
    EXPECT_GT(decoded, 100);
}

TEST(VideoDecoderThreads, TwoDecodersOnTwoThreadsMatchSequentialResults) {
    const auto recordA = NaturalFullRecord(21, 2);
    const auto recordB = NaturalFullRecord(22, 5);
    auto decodeMany = [](const std::vector<uint8_t>& record, DecodePathOverride path, int times) {
        VideoDecoder decoder;
        decoder.SetDecodePathOverride(path);
        decoder.Init(4);
        std::vector<uint8_t> picture(YuvPictureSize(kWidth, kHeight));
        std::vector<uint8_t> first;
        for (int i = 0; i < times; ++i) {
            decoder.ParseHeader(record.data(), uint32_t(record.size()));
            decoder.Decode(record.data(), uint32_t(record.size()), picture);
            if (i == 0) first = picture;
            else if (picture != first) return std::vector<uint8_t>{};
        }
        return first;
    };
    const auto expectedA = decodeMany(recordA, DecodePathOverride::kPlain, 1);
    const auto expectedB = decodeMany(recordB, DecodePathOverride::kAccel, 1);
    std::vector<uint8_t> gotA, gotB;
    std::thread a([&] { gotA = decodeMany(recordA, DecodePathOverride::kPlain, 20); });
    std::thread b([&] { gotB = decodeMany(recordB, DecodePathOverride::kAccel, 20); });
    a.join();
    b.join();
    EXPECT_EQ(gotA, expectedA);
    EXPECT_EQ(gotB, expectedB);
}

TEST(SplitDualPicture, CopiesHalvesOfEveryPlane) {
    const uint32_t w = 16, h = 4;
    std::vector<uint8_t> source(YuvPictureSize(w, h));
    for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(i);
    std::vector<uint8_t> left(YuvPictureSize(w / 2, h)), right(YuvPictureSize(w / 2, h));
    ASSERT_TRUE(VideoDecoder::SplitDualPicture(source, w, h, left, right));
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w / 2; ++x) {
            EXPECT_EQ(left[y * 8 + x], source[y * w + x]);
            EXPECT_EQ(right[y * 8 + x], source[y * w + 8 + x]);
        }
    const size_t srcChroma = w * h, dstChroma = (w / 2) * h;
    for (uint32_t line = 0; line < h; ++line)  // U lines then V lines
        for (uint32_t x = 0; x < w / 4; ++x) {
            EXPECT_EQ(left[dstChroma + line * 4 + x], source[srcChroma + line * 8 + x]);
            EXPECT_EQ(right[dstChroma + line * 4 + x], source[srcChroma + line * 8 + 4 + x]);
        }
}

TEST(SplitDualPicture, RefusesOddSizesAndShortBuffers) {
    std::vector<uint8_t> source(YuvPictureSize(640, 224)), left(YuvPictureSize(320, 224), 9),
        right(YuvPictureSize(320, 224), 9);
    EXPECT_TRUE(VideoDecoder::SplitDualPicture(source, 640, 224, left, right));
    std::vector<uint8_t> small(YuvPictureSize(320, 224) - 1, 9);
    EXPECT_FALSE(VideoDecoder::SplitDualPicture(source, 640, 224, left, small));
    EXPECT_FALSE(VideoDecoder::SplitDualPicture(YuvPicture(source.data(), source.size() - 1), 640, 224, left, right));
    EXPECT_FALSE(VideoDecoder::SplitDualPicture(source, 638, 224, left, right));
    EXPECT_FALSE(VideoDecoder::SplitDualPicture(source, 640, 223, left, right));
    EXPECT_EQ(small, std::vector<uint8_t>(small.size(), 9));
}

}  // namespace
}  // namespace tamlorex
