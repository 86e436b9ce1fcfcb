// The decoder against a slow, obviously correct model of slice decoding: a bit-at-a-time
// reader, a linear search of the code list and a fresh block per coefficient set. Pictures
// of random codes (table codes with both signs, every kind of escape, end of block), update
// pictures with skipped macroblocks, damaged and truncated records must give the same
// samples and the same stop reason in every path, so any shortcut taken by the real
// reader, code lookup or block handling shows up here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "codec/video_decoder.h"
#include "codec/vlc_tables.h"
#include "codec_test_util.h"

namespace tamlorex {
namespace {

using test::BitWriter;
using test::ExactBuffer;
using test::PutEscape;
using test::PutSliceStart;

class ModelReader {
public:
    ModelReader(const uint8_t* data, size_t length, size_t offset) : data_(data), length_(length), bit_(offset * 8) {}
    uint32_t Bit() {
        const size_t byte = bit_ / 8;
        const uint32_t value = byte < length_ ? (data_[byte] >> (7 - bit_ % 8)) & 1 : 0;
        ++bit_;
        return value;
    }
    uint32_t Take(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) value = value << 1 | Bit();
        return value;
    }

private:
    const uint8_t* data_;
    size_t length_;
    size_t bit_;
};

// Reads one run/level code (sign excluded); len 0 when no code matches.
DctCodeWord ModelCode(ModelReader& reader) {
    uint32_t bits = 0;
    for (int len = 1; len <= 16; ++len) {
        bits = bits << 1 | reader.Bit();
        for (const DctCodeWord& code : DctCodeWords())
            if (code.len == len && code.bits == bits) return code;
    }
    return DctCodeWord{0, 0, 0, 0};
}

DecodeStop ModelBlock(ModelReader& reader, const uint32_t* multipliers, std::array<int16_t, 64>& block) {
    block.fill(0);
    block[0] = int16_t(reader.Take(8) * 8);
    int position = 0;
    for (;;) {
        const DctCodeWord code = ModelCode(reader);
        if (code.len == 0) return DecodeStop::kInvalidCode;
        if (code.run == kDctEndOfBlock) return DecodeStop::kNone;
        int run = code.run;
        uint32_t magnitude = code.level;
        bool negative = false;
        if (code.run == kDctEscape) {
            run = int(reader.Take(6));
            const uint32_t first = reader.Take(8);
            if (first == 0) {
                magnitude = reader.Take(8);
            } else if (first == 128) {
                magnitude = (256 - reader.Take(8)) % 256;
                negative = true;
            } else {
                negative = first > 128;
                magnitude = negative ? 256 - first : first;
            }
        } else {
            negative = reader.Bit() != 0;
        }
        position += 1 + run;
        if (position > 63) return DecodeStop::kScanOverrun;
        const int index = kZigZag[position];
        const int64_t value = int64_t(magnitude) * multipliers[index] / 4;
        block[index] = int16_t(negative ? -std::min<int64_t>(value, 2048) : std::min<int64_t>(value, 2047));
    }
}

// Decodes like VideoDecoder::Decode after a successful ParseHeader.
DecodeStop ModelDecode(const VideoDecoder& parsed, const uint8_t* record, size_t length, DecodePath path,
                       std::vector<uint8_t>& picture) {
    const uint32_t width = parsed.Width(), height = parsed.Height();
    uint32_t multipliers[64];
    for (int n = 0; n < 64; ++n) multipliers[n] = parsed.QuantiserScale() * kIntraWeights[n];
    const BlockWriter write = GetBlockWriter(path);
    const size_t slices = std::min<size_t>(parsed.SliceCount(), VideoDecoder::kSliceTableSize);
    for (size_t s = 0; s < slices; ++s) {
        ModelReader reader(record, length, parsed.SliceOffset(s));
        if (reader.Take(24) != 1) return DecodeStop::kBadSliceStart;
        const uint32_t row = reader.Take(5);
        if (row >= height / 16) return DecodeStop::kBadRow;
        uint32_t column = 0;
        for (;;) {
            uint32_t pattern = 0xF;
            if (!parsed.FullPicture()) {
                const uint32_t increment = reader.Take(6);
                if (increment == 0) break;
                column += increment - 1;
                pattern = reader.Take(4);
            }
            for (int j = 0; j < 6; ++j) {
                if (j < 4 && !((pattern >> j) & 1)) continue;
                alignas(16) std::array<int16_t, 64> block;
                const DecodeStop stop = ModelBlock(reader, multipliers, block);
                if (stop != DecodeStop::kNone) return stop;
                if (column >= width / 16) continue;
                if (j < 4) {
                    write(block.data(), picture.data() + (16 * row + 8 * (j >> 1)) * width + 16 * column + 8 * (j & 1),
                          width);
                } else {
                    const size_t plane = size_t(width) * height * (j == 4 ? 4 : 5) / 4;
                    write(block.data(), picture.data() + plane + 8 * row * (width / 2) + 8 * column, width / 2);
                }
            }
            if (++column >= width / 16) break;
        }
    }
    return DecodeStop::kNone;
}

// A random block: codes of the table with both signs and escapes of every form, mostly
// low positions with falling levels like a picture's, now and then long runs and large levels.
void PutRandomBlock(BitWriter& w, std::mt19937& rng) {
    const auto codes = DctCodeWords();
    w.Put(rng() % 256, 8);
    int position = 0;
    const int count = rng() % 8 == 0 ? int(rng() % 40) : int(rng() % 7);
    for (int k = 0; k < count; ++k) {
        if (rng() % 6 == 0) {
            const int run = rng() % 4 == 0 ? int(rng() % 64) : int(rng() % 4);
            if (position + 1 + run > 63) break;
            position += 1 + run;
            const int level = rng() % 3 == 0 ? int(rng() % 511) - 255 : int(rng() % 81) - 40;
            PutEscape(w, run, level);
            continue;
        }
        const DctCodeWord& code = codes[rng() % codes.size()];
        if (code.run >= kDctEndOfBlock) continue;
        if (position + 1 + code.run > 63) break;
        position += 1 + code.run;
        w.Put(code.bits, code.len);
        w.Put(rng() % 2, 1);
    }
    w.Put(test::kEndOfBlock, 2);
}

std::vector<uint8_t> RandomRecord(std::mt19937& rng, bool full, uint32_t rows, uint32_t scale) {
    std::vector<uint8_t> record = {0, 0, 1, uint8_t(full ? 0xF9 : 0xF8), uint8_t(scale << 4)};
    for (uint32_t row = 0; row < rows; ++row) {
        BitWriter w;
        PutSliceStart(w, row);
        if (full) {
            for (int b = 0; b < 40 * 6; ++b) PutRandomBlock(w, rng);
        } else {
            for (uint32_t column = 0; column < 40;) {
                const uint32_t increment = 1 + (rng() % 3 == 0 ? rng() % 8 : 0);
                const uint32_t pattern = rng() % 16;
                w.Put(increment, 6);
                w.Put(pattern, 4);
                for (int j = 0; j < 6; ++j)
                    if (j >= 4 || ((pattern >> j) & 1)) PutRandomBlock(w, rng);
                column += increment;
            }
            w.Put(0, 6);
        }
        const auto bytes = w.Bytes();
        record.insert(record.end(), bytes.begin(), bytes.end());
    }
    return record;
}

// Damage: flipped bits, a cut end, or both.
void Damage(std::vector<uint8_t>& record, std::mt19937& rng) {
    const int kind = int(rng() % 3);
    if (kind != 1)
        for (int k = 0, n = 1 + int(rng() % 4); k < n; ++k) record[5 + rng() % (record.size() - 5)] ^= uint8_t(1 << rng() % 8);
    if (kind != 0) record.resize(6 + rng() % (record.size() - 6));
}

void ExpectSameAsModel(const std::vector<uint8_t>& record, DecodePathOverride override, const char* what, int round) {
    VideoDecoder decoder;
    decoder.SetDecodePathOverride(override);
    decoder.Init(4);
    ExactBuffer exact(record);
    if (decoder.ParseHeader(exact.data.get(), uint32_t(exact.length)) == 0) return;
    std::vector<uint8_t> picture(YuvPictureSize(decoder.Width(), decoder.Height()), 77);
    std::vector<uint8_t> expected = picture;
    ASSERT_EQ(decoder.Decode(exact.data.get(), uint32_t(exact.length), picture), 1);
    const DecodeStop stop = ModelDecode(decoder, exact.data.get(), exact.length, decoder.Path(), expected);
    ASSERT_EQ(int(decoder.LastStop()), int(stop)) << what << " round " << round;
    ASSERT_TRUE(picture == expected) << what << " round " << round;
}

const DecodePathOverride kPaths[] = {DecodePathOverride::kAccel, DecodePathOverride::kAccelScalar,
                                     DecodePathOverride::kPlain};

TEST(DecoderAgainstModel, RandomFullAndUpdatePictures) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 12; ++round) {
        const bool full = round % 3 != 2;
        const auto record = RandomRecord(rng, full, round % 2 ? 17 : 14, 1 + rng() % 14);
        for (DecodePathOverride path : kPaths) ExpectSameAsModel(record, path, full ? "full" : "update", round);
    }
}

TEST(DecoderAgainstModel, DamagedAndCutPictures) {
    std::mt19937 rng(77);
    int stopped = 0;
    for (int round = 0; round < 60; ++round) {
        auto record = RandomRecord(rng, round % 2 == 0, 14, 1 + rng() % 14);
        Damage(record, rng);
        for (DecodePathOverride path : kPaths) ExpectSameAsModel(record, path, "damaged", round);
        VideoDecoder decoder;
        ExactBuffer exact(record);
        if (decoder.ParseHeader(exact.data.get(), uint32_t(exact.length)) == 0) continue;
        std::vector<uint8_t> picture(YuvPictureSize(decoder.Width(), decoder.Height()));
        decoder.Decode(exact.data.get(), uint32_t(exact.length), picture);
        stopped += decoder.LastStop() != DecodeStop::kNone;
    }
    EXPECT_GT(stopped, 5);  // the damage does reach the error paths
}

}  // namespace
}  // namespace tamlorex
