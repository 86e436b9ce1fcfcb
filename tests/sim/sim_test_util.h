#pragma once
// Helpers shared by the encoder and sample-maker tests: decoding through the project's decoder,
// error measures and test pictures.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "codec/video_decoder.h"
#include "media/page_header.h"
#include "sim/picture_encoder.h"

namespace tamlorex::sim::testing {

// Parses and decodes `record` on top of `picture` (which keeps what it held where the record
// codes nothing). Returns false when the parse rejects the record, the decode refuses it, or
// decoding stopped early.
inline ::testing::AssertionResult DecodeInto(VideoDecoder& decoder, const std::vector<std::uint8_t>& record, YuvImage& picture)
{
    const auto length = static_cast<std::uint32_t>(record.size());
    if (decoder.ParseHeader(record.data(), length) == 0)
        return ::testing::AssertionFailure() << "parse rejected the record; slices " << decoder.SliceCount();
    if (decoder.Width() != static_cast<std::uint32_t>(picture.width) || decoder.Height() != static_cast<std::uint32_t>(picture.height))
        return ::testing::AssertionFailure() << "size " << decoder.Width() << "x" << decoder.Height();
    if (decoder.Decode(record.data(), length, YuvPicture(picture.data)) != 1)
        return ::testing::AssertionFailure() << "decode refused";
    if (decoder.LastStop() != DecodeStop::kNone)
        return ::testing::AssertionFailure() << "decoding stopped early: " << static_cast<int>(decoder.LastStop());
    return ::testing::AssertionSuccess();
}

inline double Psnr(const YuvImage& a, const YuvImage& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.data.size(); ++i) {
        const double d = static_cast<double>(a.data[i]) - static_cast<double>(b.data[i]);
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.data.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

inline int MaxError(const YuvImage& a, const YuvImage& b)
{
    int worst = 0;
    for (std::size_t i = 0; i < a.data.size(); ++i) worst = std::max(worst, std::abs(int{a.data[i]} - int{b.data[i]}));
    return worst;
}

// Smooth shading, edges and a little texture: what a camera picture looks like to the quantiser.
inline YuvImage NaturalPicture(int width, int height, int seed)
{
    YuvImage p(width, height);
    std::mt19937 rng(static_cast<unsigned>(seed));
    std::uniform_int_distribution<int> noise(-3, 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 90 + 60 * std::sin(x * 0.021 + seed) * std::cos(y * 0.033) + 0.1 * y;
            if ((x / 48 + y / 40) % 5 == 0) v += 50;  // hard edges
            p.Y()[y * width + x] = static_cast<std::uint8_t>(std::clamp<int>(static_cast<int>(v) + noise(rng), 0, 255));
        }
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            p.U()[y * (width / 2) + x] = static_cast<std::uint8_t>(128 + 40 * std::sin(x * 0.05 + y * 0.01));
            p.V()[y * (width / 2) + x] = static_cast<std::uint8_t>(128 + 40 * std::cos(y * 0.07 - seed));
        }
    return p;
}

inline YuvImage NoisePicture(int width, int height, unsigned seed)
{
    YuvImage p(width, height);
    std::mt19937 rng(seed);
    for (auto& b : p.data) b = static_cast<std::uint8_t>(rng());
    return p;
}

// What the decoder is to write for `levels` at quantiser scale q: each coded block dequantised
// exactly as the slice decoder does, then put through `writer` at its place in `picture`.
inline void ReconstructLevels(const PictureLevels& levels, int q, bool full, BlockWriter writer, YuvImage& picture)
{
    const int w = picture.width, cw = w / 2;
    alignas(16) std::int16_t block[64];
    for (int row = 0; row < levels.Rows(); ++row)
        for (int col = 0; col < levels.Columns(); ++col) {
            const MacroblockLevels& mb = levels.At(row, col);
            if (!full && !mb.coded) continue;
            for (int j = 0; j < 6; ++j) {
                if (!full && j < 4 && !(mb.pattern & (1 << j))) continue;
                const BlockLevels& b = mb.block[j];
                block[0] = static_cast<std::int16_t>(b.dc * 8);
                for (int n = 1; n < 64; ++n) {
                    const int level = b.level[n];
                    const unsigned v = (static_cast<unsigned>(std::abs(level)) * static_cast<unsigned>(q) * kIntraWeights[n]) >> 2;
                    block[n] = static_cast<std::int16_t>(level > 0 ? std::min(v, 2047u) : level < 0 ? -static_cast<int>(std::min(v, 2048u)) : 0);
                }
                std::uint8_t* dest;
                std::ptrdiff_t stride;
                if (j < 4) {
                    dest = picture.Y() + static_cast<std::size_t>(16 * row + 8 * (j / 2)) * w + 16 * col + 8 * (j % 2);
                    stride = w;
                } else {
                    dest = (j == 4 ? picture.U() : picture.V()) + static_cast<std::size_t>(8 * row) * cw + 8 * col;
                    stride = cw;
                }
                writer(block, dest, stride);
            }
        }
}

}  // namespace tamlorex::sim::testing

namespace tamlorex::sim::testing {

// One record cut from a page stream, with the header of the page its start code lies in.
struct StreamRecord {
    std::vector<std::uint8_t> bytes;  // from the start code up to the next start code
    std::uint32_t pageTime = 0;
    std::uint16_t pageMask = 0;
    std::uint8_t pageInterval = 0;
};

// Drops the 8-byte page headers (checking each checksum) and cuts the record stream at the
// start codes 00 00 01 F8..FD. A record not followed by a start code is not returned.
inline ::testing::AssertionResult SplitPages(const std::vector<std::uint8_t>& file, int modelType,
                                             std::vector<StreamRecord>& records)
{
    if (file.size() % kPageSize != 0) return ::testing::AssertionFailure() << "size " << file.size() << " not whole pages";
    std::vector<std::uint8_t> stream;
    std::vector<PageHeader> headerOf;  // per stream byte
    for (std::size_t page = 0; page < file.size() / kPageSize; ++page) {
        const std::uint8_t* p = file.data() + page * kPageSize;
        if (!PageChecksumMatches(p)) return ::testing::AssertionFailure() << "bad checksum on page " << page;
        const PageHeader h = PageHeader::Decode(p, IsBigEndianModel(modelType));
        stream.insert(stream.end(), p + kPageHeaderSize, p + kPageSize);
        headerOf.insert(headerOf.end(), kPageBodySize, h);
    }
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k + 3 < stream.size(); ++k)
        if (stream[k] == 0 && stream[k + 1] == 0 && stream[k + 2] == 1 && stream[k + 3] >= 0xF8 && stream[k + 3] <= 0xFD)
            starts.push_back(k);
    records.clear();
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        StreamRecord r;
        r.bytes.assign(stream.begin() + static_cast<std::ptrdiff_t>(starts[i]), stream.begin() + static_cast<std::ptrdiff_t>(starts[i + 1]));
        r.pageTime = headerOf[starts[i]].time;
        r.pageMask = headerOf[starts[i]].mask;
        r.pageInterval = headerOf[starts[i]].interval;
        records.push_back(std::move(r));
    }
    return ::testing::AssertionSuccess();
}

}  // namespace tamlorex::sim::testing
