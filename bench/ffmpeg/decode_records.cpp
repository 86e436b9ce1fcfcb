// Decoding speed of a file of length-prefixed picture records (tamlorex-sim encode-yuv), for the
// side-by-side timing against ffmpeg (bench/vs-ffmpeg.sh). Only parsing and decoding are timed:
// the records are read into memory first and decoded in turn, over and over, until at least
// the asked number of pictures has been decoded; the best of several runs is reported, by the
// process's processor time (what ffmpeg -benchmark calls utime, unaffected by other processes
// on a busy machine) and by wall-clock time.
//
//   tamlorex_decode_records RECORDS [--pictures N] [--runs R] [--path auto|plain|accel|accel-scalar]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "codec/video_decoder.h"
#include "platform/md5.h"
#include "sim/yuv_records.h"

namespace {

using tamlorex::DecodePathOverride;

bool ParsePath(std::string_view text, DecodePathOverride& path)
{
    if (text == "auto") path = DecodePathOverride::kAuto;
    else if (text == "plain") path = DecodePathOverride::kPlain;
    else if (text == "accel") path = DecodePathOverride::kAccel;
    else if (text == "accel-scalar") path = DecodePathOverride::kAccelScalar;
    else return false;
    return true;
}

double ProcessorSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

int Usage()
{
    std::fputs("usage: tamlorex_decode_records RECORDS [--pictures N] [--runs R] [--path auto|plain|accel|accel-scalar]\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    long pictures = 2000;
    int runs = 5;
    DecodePathOverride pathOverride = DecodePathOverride::kAuto;
    for (int i = 2; i < argc; i += 2) {
        if (i + 1 >= argc) return Usage();
        const std::string_view name = argv[i];
        if (name == "--pictures") pictures = std::atol(argv[i + 1]);
        else if (name == "--runs") runs = std::atoi(argv[i + 1]);
        else if (name == "--path") {
            if (!ParsePath(argv[i + 1], pathOverride)) return Usage();
        } else return Usage();
    }
    if (pictures < 1 || runs < 1) return Usage();

    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "tamlorex_decode_records: cannot open %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
    std::vector<std::vector<std::uint8_t>> records;
    std::string error;
    if (!tamlorex::sim::SplitRecords(bytes, records, error) || records.empty()) {
        std::fprintf(stderr, "tamlorex_decode_records: %s: %s\n", argv[1], records.empty() ? "no records" : error.c_str());
        return 1;
    }

    tamlorex::VideoDecoder decoder;
    decoder.SetDecodePathOverride(pathOverride);
    decoder.Init(4);
    std::vector<std::uint8_t> picture(tamlorex::kYuvPictureBufferSize);

    // One untimed pass checks every record and warms the caches; the digest of the pictures lets
    // a change in the decoder be checked for an unchanged output.
    tamlorex::Md5 digest;
    std::uint64_t recordBytes = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        const auto length = static_cast<std::uint32_t>(r.size());
        if (decoder.ParseHeader(r.data(), length) == 0 || decoder.Decode(r.data(), length, picture) != 1 ||
            decoder.LastStop() != tamlorex::DecodeStop::kNone) {
            std::fprintf(stderr, "tamlorex_decode_records: record %zu does not decode\n", i);
            return 1;
        }
        digest.Update(picture.data(), tamlorex::YuvPictureSize(decoder.Width(), decoder.Height()));
        recordBytes += r.size();
    }

    const long passes = (pictures + static_cast<long>(records.size()) - 1) / static_cast<long>(records.size());
    const long decoded = passes * static_cast<long>(records.size());
    double bestWall = 1e300;
    double bestProcessor = 1e300;
    unsigned failures = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const double processorStart = ProcessorSeconds();
        for (long pass = 0; pass < passes; ++pass)
            for (const auto& r : records) {
                const auto length = static_cast<std::uint32_t>(r.size());
                failures += decoder.ParseHeader(r.data(), length) == 0;
                failures += decoder.Decode(r.data(), length, picture) != 1;
            }
        const double processor = ProcessorSeconds() - processorStart;
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        bestProcessor = std::min(bestProcessor, processor);
        bestWall = std::min(bestWall, wall.count());
    }
    if (failures != 0) {
        std::fprintf(stderr, "tamlorex_decode_records: %u failed decodes\n", failures);
        return 1;
    }
    std::printf("records %zu, %.1f bytes per picture, path %s, %ld pictures per run, best of %d: "
                "processor %.4f s %.1f pictures/s, wall %.4f s %.1f pictures/s, md5 %s\n",
                records.size(), static_cast<double>(recordBytes) / static_cast<double>(records.size()),
                tamlorex::DecodePathName(decoder.Path()), decoded, runs, bestProcessor,
                static_cast<double>(decoded) / bestProcessor, bestWall, static_cast<double>(decoded) / bestWall,
                tamlorex::Md5::ToHex(digest.Final()).c_str());
    return 0;
}
