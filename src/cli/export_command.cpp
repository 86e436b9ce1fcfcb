// tamlorex export and tamlorex codecs: the Export To AVI dialog's job run headless, and the
// compressors it can use.
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>
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
#include "export/mp4_channel_writer.h"
#include "media/time_index.h"
#include "platform/system_error.h"

namespace tamlorex::cli {
namespace {

const char kExportHelp[] =
    "usage: tamlorex export FILE OUT.avi|OUT.mp4 [--channels 1,2,...] [--no-audio] [--codec NAME]\n"
    "                       [--quality Q] [--threads N] [--drive] [--format avi|mp4]\n"
    "                       [--from \"YYYY-MM-DD HH:MM:SS\"] [--to \"YYYY-MM-DD HH:MM:SS\"] [--speed N]\n"
    "                       [--mosaic]\n"
    "Writes one file per channel, named OUT-CH<n>.avi (or .mp4), with the page time burnt into\n"
    "every picture, then prints one JSON line per file written. Progress goes to standard error.\n"
    "  --channels LIST  channels 1..16 to export (default 1,2,3,4,5,6,7,8)\n"
    "  --no-audio       leave the sound out\n"
    "  --codec NAME     a compressor from `tamlorex codecs` (default \"DIB \": uncompressed); for MP4\n"
    "                   an H.264 or MPEG-4 Part 2 encoder (default libx264 when this build has it,\n"
    "                   else mpeg4)\n"
    "  --quality Q      compressor quality 0..10000 (default: the compressor's)\n"
    "  --threads N      threads that decode and compress, 1..16 (default: one per processor)\n"
    "  --drive          FILE is a recorder's disk or an image of one (its pages byte-swapped)\n"
    "  --format F       avi or mp4 (default: mp4 when OUT ends in .mp4, else avi); MP4 sound is AAC,\n"
    "                   or PCM when this build has no AAC encoder and its MP4 muxer takes PCM\n"
    "  --from TIME      start at the first page at or after this local clock time\n"
    "  --to TIME        end after the last page at or before this local clock time\n"
    "  --speed N        play N times faster, 1..1000 (the burnt-in time stays the page time;\n"
    "                   pictures are dropped evenly above 30 a second); above 1 there is no sound\n"
    "  --mosaic         one file, OUT itself, with the channels in a 2x2, 3x3 or 4x4 grid, each\n"
    "                   with its own time; a channel without a new picture keeps its last one\n";

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
    Args args(argc, argv, 2, {"--channels", "--codec", "--quality", "--threads", "--format", "--from", "--to", "--speed"},
              {"--no-audio", "--drive", "--mosaic"});
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
    long long speed = 1;
    if (!args.Integer("--speed", 1, 1, kMaxExportSpeed, speed)) return Usage(kExportHelp, args.Error());
    const std::string output = args.Positional()[1];
    ExportContainer container = ContainerForName(output);
    if (args.Has("--format")) {
        const std::string format = args.Value("--format");
        if (format == "avi") container = ExportContainer::kAvi;
        else if (format == "mp4") container = ExportContainer::kMp4;
        else return Usage(kExportHelp, "--format takes avi or mp4");
    }
    const bool mp4 = container == ExportContainer::kMp4;
    std::uint32_t from = 0, to = 0;
    if (args.Has("--from") && !ParseClockTime(args.Value("--from").c_str(), from))
        return Usage(kExportHelp, "not a clock time \"YYYY-MM-DD HH:MM:SS\": " + args.Value("--from"));
    if (args.Has("--to") && !ParseClockTime(args.Value("--to").c_str(), to))
        return Usage(kExportHelp, "not a clock time \"YYYY-MM-DD HH:MM:SS\": " + args.Value("--to"));
    if (args.Has("--from") && args.Has("--to") && to < from) return Usage(kExportHelp, "--to is before --from");

    AviExportJob job;  // its writers reset the shared compressor choice
    CompressOptions options = DefaultCompressOptions();
    if (args.Has("--codec")) {
        std::string name = args.Value("--codec");
        if (name == "DIB") name = kUncompressedHandler;
        bool known = false;
        for (const Compressor& c : ListCompressors()) known = known || c.handler == name;
        if (mp4 && Mp4VideoEncoder(name) != name)
            return Usage(kExportHelp, "--codec " + name + " cannot go into MP4 (H.264 or MPEG-4 Part 2 encoders only)");
        if (!known && !mp4) return Usage(kExportHelp, "unknown --codec " + name + " (see tamlorex codecs)");
        options.handler = name;
    } else if (mp4) {
        options.handler = Mp4VideoEncoder("");
        if (options.handler.empty()) {
            std::fprintf(stderr, "tamlorex: this build has no H.264 or MPEG-4 Part 2 encoder for MP4\n");
            return 1;
        }
    }
    options.quality = static_cast<int>(quality);
    SetCompressOptions(options);

    const std::string input = args.Positional()[0];
    job.SetModelType(4);
    job.SetSelectedChannels(mask);
    job.SetAudioOption(!args.Has("--no-audio"));
    job.SetRecordWait(std::chrono::milliseconds(0));
    job.SetLanes(static_cast<int>(threads));
    job.SetContainer(container);
    job.SetSpeed(static_cast<int>(speed));
    job.SetMosaic(args.Has("--mosaic"));
    if (!job.OpenInput(input, args.Has("--drive"))) {
        std::fprintf(stderr, "tamlorex: cannot open %s\n", input.c_str());
        return 2;
    }
    std::uint64_t start = 0, end = 0;
    if (args.Has("--from")) {
        const auto found = job.FindTime(from);
        if (!found) {
            std::fprintf(stderr, "tamlorex: %s ends before --from\n", input.c_str());
            return 1;
        }
        start = *found;
    }
    if (args.Has("--to")) {
        // The pages after the last second asked for begin where the next second does; the page
        // times end the export where that cannot be found (the input ends first, a clock set back).
        job.SetLastTime(to);
        if (const auto after = to < UINT32_MAX ? job.FindTime(to + 1) : std::nullopt; after && *after > start)
            end = *after;
    }
    job.SetRange(start, end);
    if (!job.FirstPass(output)) {
        std::fprintf(stderr, "tamlorex: cannot create the %s files for %s\n", mp4 ? "MP4" : "AVI", output.c_str());
        return 1;
    }
    if (job.Files().empty()) {
        // Nothing to hand over is no success: the range or the channels hold no picture.
        std::fprintf(stderr, "tamlorex: %s holds no pictures of the chosen channels%s\n", input.c_str(),
                     args.Has("--from") || args.Has("--to") ? " in that time" : "");
        job.Close();
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
        std::string which = "\"channel\":" + std::to_string(file.channel);
        if (file.channel == 0) {
            which = "\"mosaic\":[";
            for (int c = 1; c <= kMaxChannels; ++c)
                if ((file.channels >> (c - 1)) & 1) which += (which.back() == '[' ? "" : ",") + std::to_string(c);
            which += "]";
        }
        std::string codecs;
        if (file.container == ExportContainer::kMp4)
            codecs = ",\"video\":" + JsonString(file.videoCodec) + ",\"sound\":" + JsonString(file.soundCodec);
        std::printf("{%s,\"file\":%s,\"frames\":%lld,\"rate\":%llu,\"scale\":%llu,\"width\":%d,"
                    "\"height\":%d,\"audio\":%s%s}\n",
                    which.c_str(), JsonString(file.path).c_str(), static_cast<long long>(file.frames),
                    static_cast<unsigned long long>(file.rate), static_cast<unsigned long long>(file.scale),
                    file.width, file.height, file.audio ? "true" : "false", codecs.c_str());
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
