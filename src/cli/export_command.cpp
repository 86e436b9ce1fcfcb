// tamlorex export and tamlorex codecs: the Export To AVI dialog's job run headless, and the
// compressors it can use.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/source.h"
#include "export/avi_export_job.h"
#include "export/compress_options.h"
#include "platform/system_error.h"

namespace tamlorex::cli {
namespace {

const char kExportHelp[] =
    "usage: tamlorex export FILE OUT.avi [--channels 1,2,...] [--no-audio] [--codec NAME] [--quality Q]\n"
    "                       [--threads N] [--drive]\n"
    "Writes one AVI file per channel, named OUT-CH<n>.avi, with the page time burnt into every\n"
    "picture, then prints one JSON line per file written. Progress goes to standard error.\n"
    "  --channels LIST  channels 1..16 to export (default 1,2,3,4,5,6,7,8)\n"
    "  --no-audio       leave the sound out\n"
    "  --codec NAME     a compressor from `tamlorex codecs` (default \"DIB \": uncompressed)\n"
    "  --quality Q      compressor quality 0..10000 (default: the compressor's)\n"
    "  --threads N      threads that decode and compress, 1..16 (default: one per processor)\n"
    "  --drive          FILE is a recorder's disk or an image of one (its pages byte-swapped)\n";

const char kCodecsHelp[] =
    "usage: tamlorex codecs\n"
    "Lists the compressors an export can use: handler, the code in the AVI file, description.\n";

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted.store(true); }

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool ParseChannels(const std::string& list, std::uint16_t& mask)
{
    mask = 0;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        long long channel = 0;
        if (!ParseSigned(item, channel) || channel < 1 || channel > kMaxChannels) return false;
        mask = static_cast<std::uint16_t>(mask | (1u << (channel - 1)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return mask != 0;
}

void DrawProgress(int percent)
{
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), ' ');
    std::fprintf(stderr, "\rexporting [%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
}

}  // namespace

int RunExport(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--channels", "--codec", "--quality", "--threads"}, {"--no-audio", "--drive"});
    if (const int status = HelpOrRefusal(args, kExportHelp); status >= 0) return status;
    if (args.Positional().size() != 2) return Usage(kExportHelp, "expected FILE and OUT.avi");
    std::uint16_t mask = 0x00FF;
    if (args.Has("--channels") && !ParseChannels(args.Value("--channels"), mask))
        return Usage(kExportHelp, "--channels takes numbers 1..16 separated by commas");
    long long quality = kDefaultQuality;
    if (!args.Integer("--quality", kDefaultQuality, 0, kMaxQuality, quality)) return Usage(kExportHelp, args.Error());
    const long long processors = std::max(1u, std::thread::hardware_concurrency());
    long long threads = 1;
    if (!args.Integer("--threads", std::min(processors, 16LL), 1, 16, threads)) return Usage(kExportHelp, args.Error());

    AviExportJob job;  // its writers reset the shared compressor choice
    CompressOptions options = DefaultCompressOptions();
    if (args.Has("--codec")) {
        std::string name = args.Value("--codec");
        if (name == "DIB") name = kUncompressedHandler;
        bool known = false;
        for (const Compressor& c : ListCompressors()) known = known || c.handler == name;
        if (!known) return Usage(kExportHelp, "unknown --codec " + name + " (see tamlorex codecs)");
        options.handler = name;
    }
    options.quality = static_cast<int>(quality);
    SetCompressOptions(options);

    const std::string input = args.Positional()[0];
    const std::string output = args.Positional()[1];
    job.SetModelType(4);
    job.SetSelectedChannels(mask);
    job.SetAudioOption(!args.Has("--no-audio"));
    job.SetRecordWait(std::chrono::milliseconds(0));
    job.SetLanes(static_cast<int>(threads));
    if (!job.OpenInput(input, args.Has("--drive"))) {
        std::fprintf(stderr, "tamlorex: cannot open %s\n", input.c_str());
        return 2;
    }
    if (!job.FirstPass(output)) {
        std::fprintf(stderr, "tamlorex: cannot create the AVI files for %s\n", output.c_str());
        return 1;
    }
    // Ctrl+C stops the export; the files keep what was written.
    interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);
    const bool bar = true;
    if (job.Start(ThreadPriority::Normal) != 1) {
        std::fprintf(stderr, "tamlorex: cannot start the export\n");
        job.Close();
        sigaction(SIGINT, &previous, nullptr);
        return 1;
    }
    while (!job.Done()) {
        if (interrupted.load()) break;
        if (bar) DrawProgress(job.Percent());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const bool complete = job.Done();
    job.Close();
    sigaction(SIGINT, &previous, nullptr);
    if (bar) {
        DrawProgress(complete ? 100 : job.Percent());
        std::fprintf(stderr, complete ? "\n" : "  stopped\n");
    }

    int status = complete ? 0 : 1;
    for (const ExportedFile& file : job.Files()) {
        std::printf("{\"channel\":%d,\"file\":%s,\"frames\":%lld,\"rate\":%llu,\"scale\":%llu,\"width\":%d,"
                    "\"height\":%d,\"audio\":%s}\n",
                    file.channel, JsonString(file.path).c_str(), static_cast<long long>(file.frames),
                    static_cast<unsigned long long>(file.rate), static_cast<unsigned long long>(file.scale),
                    file.width, file.height, file.audio ? "true" : "false");
        if (file.failed) {
            const std::string reason = file.error != 0 ? " (" + ErrorText(file.error) + ")" : std::string();
            std::fprintf(stderr, "tamlorex: writing %s failed%s; it holds the whole frames before the failure\n",
                         file.path.c_str(), reason.c_str());
            status = 1;
        }
    }
    return status;
}

int RunCodecs(int argc, char** argv)
{
    const Args args(argc, argv, 2, {}, {});
    if (const int status = HelpOrRefusal(args, kCodecsHelp); status >= 0) return status;
    if (!args.Positional().empty()) return Usage(kCodecsHelp, "codecs takes no arguments");
    for (const Compressor& c : ListCompressors())
        std::printf("%-16s %-4s  %s\n", ("\"" + c.handler + "\"").c_str(), c.fourcc.c_str(), c.description.c_str());
    return 0;
}

}  // namespace tamlorex::cli
