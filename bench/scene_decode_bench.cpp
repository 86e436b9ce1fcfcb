// Picture decoding speed of each block-decoding path: full 640x224 and 640x272 pictures of
// camera-like scenes made by the test-data encoder, at three quantiser scales.
#include <benchmark/benchmark.h>

#include <map>
#include <tuple>
#include <vector>

#include "codec/video_decoder.h"
#include "sim/picture_encoder.h"
#include "sim/scene.h"

namespace {

using tamlorex::DecodePathOverride;

const std::vector<std::uint8_t>& Record(int height, int quantiserScale)
{
    static std::map<std::pair<int, int>, std::vector<std::uint8_t>> cache;
    auto& record = cache[{height, quantiserScale}];
    if (record.empty()) {
        const tamlorex::sim::Scene scene(3, tamlorex::sim::kPictureWidth, height);
        tamlorex::sim::YuvImage picture;
        scene.Render(7.25, 34013, picture);
        tamlorex::sim::PictureHeader header;
        header.quantiserScale = quantiserScale;
        record = tamlorex::sim::EncodePicture(header, picture).record;
    }
    return record;
}

void DecodeScenePicture(benchmark::State& state, DecodePathOverride path)
{
    const int height = static_cast<int>(state.range(0));
    const int q = static_cast<int>(state.range(1));
    const std::vector<std::uint8_t>& record = Record(height, q);
    tamlorex::VideoDecoder decoder;
    decoder.SetDecodePathOverride(path);
    decoder.Init(4);
    std::vector<std::uint8_t> picture(tamlorex::kYuvPictureBufferSize);
    const auto length = static_cast<std::uint32_t>(record.size());
    for (auto _ : state) {
        if (decoder.ParseHeader(record.data(), length) == 0 || decoder.Decode(record.data(), length, picture) != 1) {
            state.SkipWithError("record not decoded");
            break;
        }
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
    state.counters["pictures/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["record bytes"] = static_cast<double>(record.size());
    state.SetLabel(tamlorex::DecodePathName(decoder.Path()));
}

void SceneSizes(benchmark::internal::Benchmark* b)
{
    for (int height : {224, 272})
        for (int q : {2, 6, 12}) b->Args({height, q});
    b->ArgNames({"height", "q"});
}

}  // namespace

BENCHMARK_CAPTURE(DecodeScenePicture, plain, DecodePathOverride::kPlain)->Apply(SceneSizes);
BENCHMARK_CAPTURE(DecodeScenePicture, accel_scalar, DecodePathOverride::kAccelScalar)->Apply(SceneSizes);
BENCHMARK_CAPTURE(DecodeScenePicture, accel, DecodePathOverride::kAccel)->Apply(SceneSizes);
