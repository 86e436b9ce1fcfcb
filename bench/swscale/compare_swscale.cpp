// Times our 24-bit and 32-bit colour conversion beside libswscale's yuv420p -> bgr24 and
// yuv420p -> bgra on the same random picture, single-threaded, and prints the throughput ratio
// ours / swscale (above 1 means ours is faster). Built and run by bench/vs-swscale.sh.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "codec/color_convert.h"

namespace {

// Best of `rounds` runs of `frames` conversions, in megapixels per second.
double MegapixelsPerSecond(const std::function<void()>& convert, int width, int height, int frames,
                           int rounds)
{
    for (int i = 0; i < frames / 10 + 1; ++i)
        convert();
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i)
            convert();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return static_cast<double>(width) * height * frames / best / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    const int width = argc > 1 ? std::atoi(argv[1]) : 640;
    const int height = argc > 2 ? std::atoi(argv[2]) : 272;
    const int frames = argc > 3 ? std::atoi(argv[3]) : 2000;
    const int rounds = 5;

    std::vector<uint8_t> yuv(tamlorex::YuvPictureBytes(width, height));
    std::mt19937 rng(99);
    for (auto& b : yuv)
        b = static_cast<uint8_t>(rng());
    const uint8_t* planes[4] = {yuv.data(), yuv.data() + width * height,
                                yuv.data() + width * height * 5 / 4, nullptr};
    const int strides[4] = {width, width / 2, width / 2, 0};

    struct Pair {
        const char* name;
        AVPixelFormat sws_format;
        int bytes_per_pixel;
        bool (*ours)(uint8_t*, const uint8_t*, int, int);
    };
    const Pair pairs[] = {
        {"dib24 vs bgr24", AV_PIX_FMT_BGR24, 3, tamlorex::ConvertToDib24},
        {"rgb32 vs bgra ", AV_PIX_FMT_BGRA, 4, tamlorex::ConvertToRgb32},
    };
    tamlorex::InitColorTables();
    std::printf("%dx%d, %d frames, best of %d rounds, one thread\n", width, height, frames, rounds);
    for (const Pair& p : pairs) {
        std::vector<uint8_t> out(static_cast<size_t>(width) * height * p.bytes_per_pixel);
        SwsContext* ctx = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height,
                                         p.sws_format, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (ctx == nullptr) {
            std::fprintf(stderr, "sws_getContext failed\n");
            return 1;
        }
        uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
        const int dst_strides[4] = {width * p.bytes_per_pixel, 0, 0, 0};
        const double ours = MegapixelsPerSecond(
            [&] { p.ours(out.data(), yuv.data(), width, height); }, width, height, frames, rounds);
        const double sws = MegapixelsPerSecond(
            [&] { sws_scale(ctx, planes, strides, 0, height, dst, dst_strides); }, width, height,
            frames, rounds);
        std::printf("%s  ours %8.1f MPix/s  swscale %8.1f MPix/s  ratio ours/swscale %.2f\n", p.name,
                    ours, sws, ours / sws);
        sws_freeContext(ctx);
    }
    return 0;
}
