// Forward and backward scanning of a large recording from the page cache, in bytes per second.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "media/page_header.h"
#include "media/vvf_reader.h"

namespace {

using namespace tamlorex;

// A recording of about 256 MB: pictures of 5..40 KB over eight channels with sound between,
// payload bytes like compressed video (no false start codes, occasional slice codes).
const std::string& LargeRecording()
{
    static const std::string path = [] {
        char name[] = "/tmp/tamlorex-bench-XXXXXX";
        const int fd = mkstemp(name);
        std::mt19937 rng(1);
        std::vector<std::uint8_t> stream;
        const std::size_t target = std::size_t{256} << 20;
        stream.reserve(target + 65536);
        int channel = 0;
        while (stream.size() < target) {
            const bool audio = rng() % 5 == 0;
            stream.insert(stream.end(), {0, 0, 1, static_cast<std::uint8_t>(audio ? 0xFA : 0xF8)});
            const std::size_t length = audio ? 800 : 5000 + rng() % 35000;
            if (!audio) stream.push_back(static_cast<std::uint8_t>(0x30 | (channel++ & 7)));
            for (std::size_t i = 0; i < length; ++i) {
                std::uint8_t b = static_cast<std::uint8_t>(rng());
                if (i % 1500 == 0) {
                    stream.insert(stream.end(), {0, 0, 1});
                    b = static_cast<std::uint8_t>(1 + i / 1500);
                } else if (b == 0 && stream.back() == 0) {
                    b = 0x80;
                }
                stream.push_back(b);
            }
        }
        std::vector<std::uint8_t> page(kPageSize);
        for (std::size_t at = 0, n = 0; at < stream.size(); at += kPageBodySize, ++n) {
            PageHeader h;
            h.time = 1230000000 + static_cast<std::uint32_t>(n / 100);
            h.mask = 0xFF;
            h.Encode(page.data(), false);
            const std::size_t count = std::min(kPageBodySize, stream.size() - at);
            std::fill(page.begin() + kPageHeaderSize, page.end(), 0);
            std::copy(stream.begin() + at, stream.begin() + at + count, page.begin() + kPageHeaderSize);
            if (write(fd, page.data(), page.size()) != static_cast<ssize_t>(page.size())) std::abort();
        }
        close(fd);
        std::atexit([] { unlink(LargeRecording().c_str()); });
        return std::string(name);
    }();
    return path;
}

void BM_ScanForward(benchmark::State& state)
{
    VvfReader reader;
    reader.SetModelType(4);
    if (!reader.Open(LargeRecording(), false)) state.SkipWithError("open failed");
    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    std::uint64_t bytes = 0, records = 0;
    for (auto _ : state) {
        reader.SetPosition(0);
        while (reader.ReadNext(buffer.get()) != 0) ++records;
        bytes += reader.GetSize();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["records"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ScanForward)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ScanBackward(benchmark::State& state)
{
    VvfReader reader;
    reader.SetModelType(4);
    if (!reader.Open(LargeRecording(), false)) state.SkipWithError("open failed");
    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        reader.SetPosition(reader.GetSize() - 1);
        while (reader.ReadPrevious(buffer.get()) != 0) {}
        bytes += reader.GetSize();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ScanBackward)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
