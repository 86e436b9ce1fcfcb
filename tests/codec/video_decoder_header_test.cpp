#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec/video_decoder.h"
#include "codec_test_util.h"

namespace tamlorex {
namespace {

using test::EmptyUpdateSlice;
using test::ExactBuffer;
using test::MakeRecordB;

uint32_t Parse(VideoDecoder& decoder, const std::vector<uint8_t>& bytes) {
    ExactBuffer record(bytes);
    return decoder.ParseHeader(record.data.get(), uint32_t(record.length));
}

std::vector<std::vector<uint8_t>> EmptySlices(int count) {
    std::vector<std::vector<uint8_t>> slices;
    for (int i = 0; i < count; ++i) slices.push_back(EmptyUpdateSlice(uint32_t(i % 14)));
    return slices;
}

TEST(ParseHeader, RejectsShortAndNonPictureRecords) {
    VideoDecoder decoder;
    decoder.Init(4);
    EXPECT_EQ(Parse(decoder, {0, 0, 1, 0xF9, 0x30}), 0u);
    EXPECT_EQ(Parse(decoder, {0, 0, 1, 0xF9}), 0u);
    std::vector<uint8_t> audio = MakeRecordB(true, 3, 0, EmptySlices(14));
    audio[3] = 0xFA;
    EXPECT_EQ(Parse(decoder, audio), 0u);
    std::vector<uint8_t> badStart = MakeRecordB(true, 3, 0, EmptySlices(14));
    badStart[2] = 2;
    EXPECT_EQ(Parse(decoder, badStart), 0u);
    EXPECT_EQ(decoder.ParseHeader(nullptr, 100), 0u);
}

TEST(ParseHeader, LayoutAChannelBitsFourToSevenMeanChannelZero) {
    VideoDecoder decoder;
    decoder.Init(0);
    Parse(decoder, {0, 0, 1, 0xF8, 0x8D, 0, 0});
    EXPECT_EQ(decoder.FullPicture(), 1);
    EXPECT_EQ(decoder.QuantiserScale(), 1u);
    EXPECT_EQ(decoder.Channel(), 0);
    Parse(decoder, {0, 0, 1, 0xF9, 0x13, 0, 0});
    EXPECT_EQ(decoder.FullPicture(), 0);  // the type byte does not decide in layout A
    EXPECT_EQ(decoder.QuantiserScale(), 2u);
    EXPECT_EQ(decoder.Channel(), 3);
    EXPECT_EQ(decoder.DualFlag(), 0);
}

TEST(ParseHeader, LayoutBTakesPictureKindFromTheTypeByte) {
    VideoDecoder decoder;
    decoder.Init(1);
    Parse(decoder, {0, 0, 1, 0xF9, 0x2B, 0, 0});
    EXPECT_EQ(decoder.QuantiserScale(), 2u);
    EXPECT_EQ(decoder.Channel(), 11);
    EXPECT_EQ(decoder.FullPicture(), 1);
    Parse(decoder, {0, 0, 1, 0xF8, 0x2B, 0, 0});
    EXPECT_EQ(decoder.FullPicture(), 0);
}

TEST(ParseHeader, LayoutCKeepsTheExtraValueAndChannelZero) {
    VideoDecoder decoder;
    decoder.Init(2);
    Parse(decoder, {0, 0, 1, 0xF8, 0x9F, 0x12, 0x34, 0});
    EXPECT_EQ(decoder.FullPicture(), 1);
    EXPECT_EQ(decoder.QuantiserScale(), 3u);
    EXPECT_EQ(decoder.Channel(), 0);
    EXPECT_EQ(decoder.ExtraValue(), 0x1234);
    // A six-byte record has no byte 6: it reads as zero, nothing past the end.
    Parse(decoder, {0, 0, 1, 0xF8, 0x9F, 0x56});
    EXPECT_EQ(decoder.ExtraValue(), 0x5600);
    decoder.Init(2);
    EXPECT_EQ(decoder.ExtraValue(), 0);
}

TEST(ParseHeader, LayoutDReadsTheDualPictureByte) {
    VideoDecoder decoder;
    decoder.Init(5);
    Parse(decoder, {0, 0, 1, 0xF9, 0x31, 0x92, 0});
    EXPECT_EQ(decoder.QuantiserScale(), 3u);
    EXPECT_EQ(decoder.Channel(), 1);
    EXPECT_EQ(decoder.DualFlag(), 1);
    EXPECT_EQ(decoder.DualLeftChannel(), 1);
    EXPECT_EQ(decoder.DualRightChannel(), 2);
    EXPECT_EQ(decoder.LeftHidden(), 0);
    EXPECT_EQ(decoder.RightHidden(), 1);
    // Layouts A to C clear the dual flag and keep the other dual fields.
    decoder.Init(1);
    Parse(decoder, {0, 0, 1, 0xF9, 0x31, 0x92, 0});
    EXPECT_EQ(decoder.DualFlag(), 0);
    EXPECT_EQ(decoder.DualRightChannel(), 2);
    EXPECT_EQ(decoder.RightHidden(), 1);
}

TEST(ParseHeader, UnknownModelTypeReadsNothing) {
    VideoDecoder decoder;
    decoder.Init(4);
    Parse(decoder, MakeRecordB(true, 3, 7, EmptySlices(14)));
    decoder.Init(9);  // clears the scale; channel stays
    EXPECT_NE(Parse(decoder, MakeRecordB(true, 5, 2, EmptySlices(14))), 0u);
    EXPECT_EQ(decoder.Channel(), 7);
    EXPECT_EQ(decoder.QuantiserScale(), 0u);
}

TEST(ParseHeader, QuantiserScaleFifteenRejects) {
    VideoDecoder decoder;
    decoder.Init(4);
    EXPECT_EQ(Parse(decoder, MakeRecordB(true, 15, 4, EmptySlices(14))), 0u);
    EXPECT_EQ(decoder.Channel(), 4);
}

TEST(ParseHeader, SliceCountDecidesSizeAndAcceptance) {
    VideoDecoder decoder;
    decoder.Init(4);
    auto record14 = MakeRecordB(true, 3, 0, EmptySlices(14));
    EXPECT_EQ(Parse(decoder, record14), record14.size());
    EXPECT_EQ(decoder.SliceCount(), 14u);
    EXPECT_EQ(decoder.Width(), 640u);
    EXPECT_EQ(decoder.Height(), 224u);
    EXPECT_EQ(decoder.SliceOffset(0), 5u);

    EXPECT_EQ(Parse(decoder, MakeRecordB(true, 3, 0, EmptySlices(15))), 0u);
    EXPECT_EQ(decoder.Width(), 640u);
    EXPECT_EQ(decoder.Height(), 272u);

    EXPECT_NE(Parse(decoder, MakeRecordB(true, 3, 0, EmptySlices(17))), 0u);
    EXPECT_EQ(decoder.Height(), 272u);

    EXPECT_EQ(Parse(decoder, MakeRecordB(true, 3, 0, EmptySlices(9))), 0u);
    EXPECT_EQ(decoder.Width(), 320u);
    EXPECT_EQ(decoder.Height(), 128u);
    EXPECT_EQ(Parse(decoder, MakeRecordB(true, 3, 0, EmptySlices(7))), 0u);
    EXPECT_EQ(decoder.Height(), 112u);

    // 18 or more keep the size; the table holds 20 offsets, the count goes on.
    EXPECT_EQ(Parse(decoder, MakeRecordB(true, 3, 0, EmptySlices(25))), 0u);
    EXPECT_EQ(decoder.SliceCount(), 25u);
    EXPECT_EQ(decoder.Width(), 320u);
    EXPECT_EQ(decoder.Height(), 112u);
}

TEST(ParseHeader, RecordStartCodeInsidePictureDataEndsTheScan) {
    VideoDecoder decoder;
    decoder.Init(4);
    auto record = MakeRecordB(true, 3, 0, EmptySlices(14));
    const size_t end = record.size();
    record.insert(record.end(), {0, 0, 1, 0xF8});
    auto more = EmptySlices(3);
    for (auto& s : more) record.insert(record.end(), s.begin(), s.end());
    EXPECT_EQ(Parse(decoder, record), end + 3);  // offset of the type byte
    EXPECT_EQ(decoder.SliceCount(), 14u);
    EXPECT_EQ(decoder.StartCodeRegister(), 0x000001F8u);
}

TEST(ParseHeader, OverlappingSliceStartCodesEachCount) {
    VideoDecoder decoder;
    decoder.Init(4);
    std::vector<uint8_t> record = {0, 0, 1, 0xF9, 0x30, 0, 0, 1, 0, 0, 1, 5};
    Parse(decoder, record);
    ASSERT_EQ(decoder.SliceCount(), 2u);
    EXPECT_EQ(decoder.SliceOffset(0), 5u);
    EXPECT_EQ(decoder.SliceOffset(1), 8u);
}

// The scan as a byte-at-a-time shift register, for comparison with the decoder's scan.
struct ModelScan {
    uint32_t result = 0, count = 0, reg = 0xFFFFFFFF;
    std::vector<uint32_t> slices;
};

ModelScan ScanModel(const std::vector<uint8_t>& record) {
    ModelScan m;
    uint32_t stop = uint32_t(record.size());
    for (uint32_t i = 5; i < record.size(); ++i) {
        m.reg = (m.reg << 8) | record[i];
        if (m.reg >= 0x1F8 && m.reg <= 0x1FD) {
            stop = i;
            break;
        }
        if ((m.reg >> 8) == 1) {
            if (m.slices.size() < VideoDecoder::kSliceTableSize) m.slices.push_back(i - 3);
            ++m.count;
        }
    }
    m.result = (m.count == 14 || m.count == 17) ? stop : 0;
    return m;
}

// Records thick with zero and one bytes, start codes at every alignment, record start types
// among the slice types, and start codes cut by the end of the record.
TEST(ParseHeader, ScanMatchesAByteRegisterOnRandomRecords) {
    std::mt19937 rng(99);
    VideoDecoder decoder;
    decoder.Init(4);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        const size_t length = 6 + (round % 4 == 0 ? rng() % 3000 : rng() % 120);
        std::vector<uint8_t> record(length);
        const uint32_t density = 2 + rng() % 200;
        for (auto& b : record) {
            const uint32_t r = rng();
            b = r % density == 0 ? 0 : (r >> 8) % density == 0 ? 1 : uint8_t(r >> 16);
        }
        const int codes = rng() % 3 == 0 ? 14 + int(rng() % 4) : int(rng() % 24);
        for (int k = 0; k < codes; ++k) {
            const size_t at = 3 + rng() % (length - 3);
            for (size_t j = 0; j < 4 && at + j < length; ++j) {
                static const uint8_t kCode[3] = {0, 0, 1};
                record[at + j] = j < 3 ? kCode[j] : uint8_t(rng() % 16 == 0 ? 0xF8 + rng() % 8 : rng() % 0xF8);
            }
        }
        // Byte 4 of 0 or 1 (quantiser scale 0) ahead of 0 0 1 must not start a code.
        static const uint8_t kByte4[3] = {0x30, 0x00, 0x01};
        record[0] = 0, record[1] = 0, record[2] = 1, record[3] = 0xF9, record[4] = kByte4[rng() % 3];
        const ModelScan expected = ScanModel(record);
        ASSERT_EQ(Parse(decoder, record), expected.result) << "round " << round;
        ASSERT_EQ(decoder.SliceCount(), expected.count) << "round " << round;
        ASSERT_EQ(decoder.StartCodeRegister(), expected.reg) << "round " << round;
        for (size_t i = 0; i < expected.slices.size(); ++i) ASSERT_EQ(decoder.SliceOffset(i), expected.slices[i]);
        accepted += expected.result != 0;
    }
    EXPECT_GT(accepted, 500);
}

TEST(Decode, RefusedRightAfterInit) {
    VideoDecoder decoder;
    std::vector<uint8_t> picture(kYuvPictureBufferSize, 77);
    auto record = MakeRecordB(true, 3, 0, EmptySlices(14));
    EXPECT_EQ(decoder.Decode(record.data(), uint32_t(record.size()), picture), 0);
    EXPECT_EQ(decoder.Width(), 0u);
    EXPECT_EQ(decoder.Height(), 0u);
}

TEST(Decode, QuantiserScaleZeroIsAcceptedByParseButRefusedByDecode) {
    VideoDecoder decoder;
    decoder.Init(4);
    auto record = MakeRecordB(true, 0, 0, EmptySlices(14));
    ASSERT_NE(Parse(decoder, record), 0u);
    std::vector<uint8_t> picture(YuvPictureSize(640, 224), 77);
    EXPECT_EQ(decoder.Decode(record.data(), uint32_t(record.size()), picture), 0);
    EXPECT_EQ(picture, std::vector<uint8_t>(picture.size(), 77));
}

TEST(Decode, RefusesAPictureBufferSmallerThanThePicture) {
    VideoDecoder decoder;
    decoder.Init(4);
    auto record = MakeRecordB(true, 3, 0, EmptySlices(14));
    ASSERT_NE(Parse(decoder, record), 0u);
    std::vector<uint8_t> picture(YuvPictureSize(640, 224) - 1, 77);
    EXPECT_EQ(decoder.Decode(record.data(), uint32_t(record.size()), picture), 0);
    EXPECT_EQ(picture, std::vector<uint8_t>(picture.size(), 77));
    EXPECT_EQ(decoder.Decode(record.data(), 4, YuvPicture(picture.data(), picture.size() + 1)), 0);
}

TEST(Decode, PathOverrideSurvivesInit) {
    VideoDecoder decoder;
    decoder.SetDecodePathOverride(DecodePathOverride::kPlain);
    EXPECT_EQ(decoder.Path(), DecodePath::kPlain);
    decoder.Init(4);
    EXPECT_EQ(decoder.Path(), DecodePath::kPlain);
    decoder.SetDecodePathOverride(DecodePathOverride::kAccelScalar);
    decoder.Init(1);
    EXPECT_EQ(decoder.Path(), DecodePath::kAccelScalar);
}

}  // namespace
}  // namespace tamlorex
