// Colour conversion throughput of the two converters behind every shown and exported picture
// (bottom-up 24-bit and 32-bit), plain and SSE2, at the recorder's picture sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codec/color_convert.h"

namespace {

using tamlorex::YuvPictureBytes;

using ConvertFn = bool (*)(uint8_t*, const uint8_t*, int, int);

std::vector<uint8_t> RandomYuv(int width, int height)
{
    std::vector<uint8_t> yuv(YuvPictureBytes(width, height));
    std::mt19937 rng(1234);
    for (auto& b : yuv)
        b = static_cast<uint8_t>(rng());
    return yuv;
}

void BM_Convert(benchmark::State& state, ConvertFn fn, size_t bytes_per_pixel)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::vector<uint8_t> yuv = RandomYuv(width, height);
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * bytes_per_pixel);
    tamlorex::InitColorTables();
    for (auto _ : state) {
        fn(out.data(), yuv.data(), width, height);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double pixels = static_cast<double>(width) * height;
    state.counters["MPix/s"] = benchmark::Counter(pixels * static_cast<double>(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({640, 224})->Args({640, 272});
}

BENCHMARK_CAPTURE(BM_Convert, Dib24Plain, tamlorex::ConvertToDib24Plain, 3)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Convert, Dib24Sse2, tamlorex::ConvertToDib24Sse2, 3)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Convert, Rgb32Plain, tamlorex::ConvertToRgb32Plain, 4)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Convert, Rgb32Sse2, tamlorex::ConvertToRgb32Sse2, 4)->Apply(Sizes);

}  // namespace
