// Decoding speed of whole 640 x 224 full pictures per block-decoding path,
// on a synthetic record of DC levels and a few escape-coded AC levels.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "codec/video_decoder.h"

namespace {

using namespace tamlorex;

class Bits {
public:
    void Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (used_ % 8 == 0) bytes.push_back(0);
            if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> (used_ % 8));
            ++used_;
        }
    }
    std::vector<uint8_t> bytes;

private:
    size_t used_ = 0;
};

std::vector<uint8_t> SyntheticRecord() {
    std::mt19937 rng(5);
    std::vector<uint8_t> record = {0, 0, 1, 0xF9, 0x30};
    for (uint32_t row = 0; row < 14; ++row) {
        Bits bits;
        bits.Put(0x000001, 24);
        bits.Put(row, 5);
        for (int block = 0; block < 40 * 6; ++block) {
            bits.Put(32 + rng() % 192, 8);
            for (int k = 0, count = int(rng() % 6); k < count; ++k) {
                bits.Put(0b000001, 6);  // escape, run 0..2, level 1..15 either sign
                bits.Put(rng() % 3, 6);
                uint32_t level = 1 + rng() % 15;
                bits.Put(rng() % 2 ? level : 256 - level, 8);
            }
            bits.Put(0b10, 2);
        }
        record.insert(record.end(), bits.bytes.begin(), bits.bytes.end());
    }
    return record;
}

void DecodePicture(benchmark::State& state, DecodePathOverride path) {
    const std::vector<uint8_t> record = SyntheticRecord();
    VideoDecoder decoder;
    decoder.SetDecodePathOverride(path);
    decoder.Init(4);
    std::vector<uint8_t> picture(kYuvPictureBufferSize);
    if (decoder.ParseHeader(record.data(), uint32_t(record.size())) == 0 ||
        decoder.Decode(record.data(), uint32_t(record.size()), picture) != 1 ||
        decoder.LastStop() != DecodeStop::kNone) {
        state.SkipWithError("synthetic record does not decode whole");
        return;
    }
    for (auto _ : state) {
        decoder.ParseHeader(record.data(), uint32_t(record.size()));
        benchmark::DoNotOptimize(decoder.Decode(record.data(), uint32_t(record.size()), picture));
        benchmark::ClobberMemory();
    }
    state.SetLabel(DecodePathName(decoder.Path()));
    state.SetItemsProcessed(state.iterations());
}

void BM_DecodePlain(benchmark::State& state) { DecodePicture(state, DecodePathOverride::kPlain); }
void BM_DecodeAccel(benchmark::State& state) { DecodePicture(state, DecodePathOverride::kAccel); }
void BM_DecodeAccelScalar(benchmark::State& state) { DecodePicture(state, DecodePathOverride::kAccelScalar); }
BENCHMARK(BM_DecodePlain);
BENCHMARK(BM_DecodeAccel);
BENCHMARK(BM_DecodeAccelScalar);

}  // namespace
