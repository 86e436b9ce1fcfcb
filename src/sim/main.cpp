// tamlorex-sim: recorder simulator and test-data maker.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/sample_maker.h"

namespace {

constexpr const char* kUsage =
    "usage: tamlorex-sim COMMAND ...\n"
    "\n"
    "commands:\n"
    "  make-sample OUT.vvf [options]   write a multi-channel sample recording\n"
    "      --channels N    recorded channels, 1..16 (model 0: 1..4, model 2: 1)   default 8\n"
    "      --seconds S     length of the recording in seconds            default 20\n"
    "      --model M       recorder model type 0..6                       default 4\n"
    "      --height H      picture height, 224 or 272                     default 224\n"
    "      --quantiser Q   quantiser scale 1..14                          default 4\n"
    "      --start T       time of the first page, seconds since 1970 UTC  default 1773480413\n"
    "                      (2026-03-14 09:26:53)\n"
    "  --help                          show this text\n";

bool ParseNumber(std::string_view text, double& out)
{
    std::string s(text);
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0';
}

int MakeSampleCommand(int argc, char** argv)
{
    using namespace tamlorex::sim;
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string out = argv[2];
    SampleOptions options;
    for (int i = 3; i < argc; ++i) {
        const std::string_view name = argv[i];
        double value = 0;
        if (i + 1 >= argc || !ParseNumber(argv[i + 1], value)) {
            std::fprintf(stderr, "tamlorex-sim: %s needs a number\n", argv[i]);
            return 2;
        }
        ++i;
        if (name == "--channels") options.channels = static_cast<int>(value);
        else if (name == "--seconds") options.seconds = value;
        else if (name == "--model") options.modelType = static_cast<int>(value);
        else if (name == "--height") options.height = static_cast<int>(value);
        else if (name == "--quantiser") options.quantiserScale = static_cast<int>(value);
        else if (name == "--start" && value >= 0 && value <= 4294967295.0) options.startTime = static_cast<std::uint32_t>(value);
        else {
            std::fprintf(stderr, "tamlorex-sim: unknown or bad option %s\n", argv[i - 1]);
            return 2;
        }
    }
    SampleSummary s;
    std::string error;
    if (!MakeSampleFile(out, options, s, error)) {
        std::fprintf(stderr, "tamlorex-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: model %d, %d channels, %.1f s, 640x%d, %d pictures (%d full, %d update), interval %d x %d us, "
                "%d audio records (%llu samples), %llu pages, %llu bytes\n",
                out.c_str(), options.modelType, s.channels, options.seconds, options.height, s.pictures, s.fullPictures,
                s.updatePictures, s.interval, s.framePeriodMicros, s.audioRecords,
                static_cast<unsigned long long>(s.audioSamples), static_cast<unsigned long long>(s.pages),
                static_cast<unsigned long long>(s.bytes));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2) {
        const std::string_view command = argv[1];
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (command == "make-sample") return MakeSampleCommand(argc, argv);
        std::fprintf(stderr, "tamlorex-sim: unknown command %s\n", argv[1]);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
