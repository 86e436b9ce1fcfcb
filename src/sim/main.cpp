// tamlorex-sim: recorder simulator and test-data maker.
#include <atomic>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>

#include "cli/args.h"
#include "sim/disk_maker.h"
#include "sim/recorder_sim.h"
#include "sim/sample_maker.h"
#include "sim/yuv_records.h"

namespace {

const char kProgram[] = "tamlorex-sim";

const char kMakeSampleHelp[] =
    "usage: tamlorex-sim make-sample OUT.vvf [options]\n"
    "Writes a multi-channel sample recording: synthetic scenes and a test tone in the sound coding\n"
    "of the model type.\n"
    "      --channels N    recorded channels, 1..16 (model 0: 1..4, model 2: 1)   default 8\n"
    "      --seconds S     length of the recording in seconds            default 20\n"
    "      --model M       recorder model type 0..6                       default 4\n"
    "      --height H      picture height, 224 or 272                     default 224\n"
    "      --quantiser Q   quantiser scale 1..14                          default 4\n"
    "      --interval N    frame interval of the pages, 0..127: a picture every N + 1\n"
    "                      frame periods (0: the recorder's highest rate) default about 15 a second\n"
    "      --start T       time of the first page, seconds since 1970 UTC  default 1773480413\n"
    "                      (2026-03-14 09:26:53)\n";

const char kMakeYuvHelp[] =
    "usage: tamlorex-sim make-yuv OUT.yuv [options]\n"
    "Writes scene frames as raw yuv420p (OUT - : standard output).\n"
    "      --frames N      frames                                         default 100\n"
    "      --size WxH      640x224 or 640x272                             default 640x224\n"
    "      --channels N    channels shown in turn, 1..16                  default 4\n";

const char kEncodeYuvHelp[] =
    "usage: tamlorex-sim encode-yuv IN.yuv OUT.records [options]\n"
    "Encodes every yuv420p frame of IN as a full picture and writes the records, each after its\n"
    "4-byte little-endian length (IN or OUT - : standard input or output).\n"
    "      --size WxH      640x224 or 640x272                             default 640x224\n"
    "      --q Q           quantiser scale 1..14                          default 4\n"
    "      --model M       recorder model type 0..6                       default 4\n";

const char kServeHelp[] =
    "usage: tamlorex-sim serve [options]\n"
    "Acts as a recorder for the viewer's Client mode.\n"
    "      --port P        recorder port (0: any free port)               default 8841\n"
    "      --bind ADDR     IPv4 address to listen on                      default 127.0.0.1\n"
    "      --password PW   the password a client must log in with         default empty\n"
    "      --pattern       stream synthetic cameras (the default)\n"
    "      --source F.vvf  stream the pictures and sound of a recording instead\n"
    "      --model M       the recorder's model type: that of the recording, and the\n"
    "                      coding of the sound (A-law for 0..3, else 8-bit linear, at\n"
    "                      the model's rate); the client's model type    default 4\n"
    "      --channels N    cameras of the synthetic recorder, 1..16       default 4\n"
    "      --height H      synthetic picture height, 224 or 272           default 224\n"
    "      --fps F         pictures per second                            default 25\n"
    "      --quantiser Q   quantiser scale 1..14                          default 4\n"
    "      --wait-ms MS    answer a login with \"wait\" and accept MS later  default 0\n"
    "      --ddns-port P   also answer dynamic-IP lookups on this port (0: any free port)\n"
    "      --name NAME     the recorder name those lookups ask for        default DVR000\n"
    "      --seconds S     stop after S seconds (0: run until interrupted) default 0\n"
    "      --picture-gap AT,S\n"
    "                      AT seconds after each login send no pictures for S seconds\n"
    "                      (sound and status go on); prints {\"t\":MS,\"pictures\":\"paused\"}\n"
    "                      and {\"t\":MS,\"pictures\":\"resumed\"}; the signal SIGUSR1 stops\n"
    "                      and restarts the pictures the same way at any time\n"
    "      --hostile       mix faults into a logged-in client's stream, between normal\n"
    "                      pictures and sound: garbage bytes, pictures, sound units and\n"
    "                      messages longer than the client keeps, units cut short (then\n"
    "                      the connection closed or silent), silences shorter or longer\n"
    "                      than the client's time-out, and disconnects; each prints\n"
    "                      {\"t\":MS,\"hostile\":KIND,...}\n"
    "      --hostile-seed N\n"
    "                      the seed of their pseudo-random schedule: the same seed\n"
    "                      gives the same events in the same order        default 1\n"
    "      --hostile-timeout S\n"
    "                      the client's time-out in seconds: short silences stay\n"
    "                      under it, long ones outlast it                 default 7\n"
    "Prints {\"listening\":PORT[,\"ddns\":PORT]} first, then one JSON line per event; serves one\n"
    "client at a time and refuses others with \"too many clients\".\n";

const char kMakeDiskHelp[] =
    "usage: tamlorex-sim make-disk OUT.img --gigabytes G [options]\n"
    "Writes an image of a recorder's disk (every 16-bit word swapped) written as a ring: page times\n"
    "increase from the oldest page to the newest, the newest ends at the wrap point, eight unwritten\n"
    "(zero) pages follow, then the oldest pages run to the end. A few seconds of pictures are encoded\n"
    "once and repeated with new page headers.\n"
    "      --gigabytes G   size in GiB, fractions allowed (0.05)             required\n"
    "      --wrap F        wrap point as a fraction of the size, 1: not wrapped  default 0.5\n"
    "      --channels N    recorded channels                                 default 4\n"
    "      --model M       recorder model type 0..6                          default 4\n"
    "      --start T       the oldest page's time, seconds since 1970        default 1773480413\n"
    "Prints one JSON line: pages, wrap and oldest page, first and last page time, seconds, MB/s.\n";

const char kUsage[] =
    "usage: tamlorex-sim COMMAND ... (tamlorex-sim COMMAND --help for more)\n"
    "\n"
    "commands:\n"
    "  make-sample OUT.vvf [options]   write a multi-channel sample recording\n"
    "  make-disk OUT.img --gigabytes G [options]\n"
    "                                  write a recorder disk image written as a ring\n"
    "  make-yuv OUT.yuv [options]      write scene frames as raw yuv420p\n"
    "  encode-yuv IN.yuv OUT.records [options]\n"
    "                                  encode yuv420p frames as full pictures\n"
    "  serve [options]                 act as a recorder for the viewer's Client mode\n"
    "  --help                          show this text\n"
    "  --version                       show the version\n";

using tamlorex::cli::Args;
using tamlorex::cli::HelpOrRefusal;

// A fault of the arguments other than an unknown option: one line and the command's help on
// standard error, status 2.
int Refuse(const std::string& error, const char* help)
{
    std::fprintf(stderr, "%s: %s\n%s", kProgram, error.c_str(), help);
    return 2;
}

bool ParseNumber(std::string_view text, double& out)
{
    std::string s(text);
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0' && std::isfinite(out);
}

// A parsed number as an int, held to the int range (the option's own range check follows).
int ToInt(double value)
{
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(value);
}

bool ParseSize(std::string_view text, int& width, int& height)
{
    const std::size_t x = text.find('x');
    double w = 0, h = 0;
    if (x == std::string_view::npos || !ParseNumber(text.substr(0, x), w) || !ParseNumber(text.substr(x + 1), h)) return false;
    width = ToInt(w);
    height = ToInt(h);
    return true;
}

// Hands each given option of `names`, in that order, to `apply` with its value text; `apply`
// returns false for a bad value, which is then refused.
template <typename Apply>
bool ApplyOptions(const Args& args, std::initializer_list<const char*> names, Apply apply)
{
    for (const char* name : names) {
        if (!args.Has(name)) continue;
        const std::string text = args.Value(name);
        if (!apply(std::string_view(name), text)) {
            std::fprintf(stderr, "%s: bad value \"%s\" for %s\n", kProgram, text.c_str(), name);
            return false;
        }
    }
    return true;
}

int MakeYuvCommand(int argc, char** argv)
{
    using namespace tamlorex::sim;
    const Args args(argc, argv, 2, {"--frames", "--size", "--channels"}, {}, kProgram);
    if (const int status = HelpOrRefusal(args, kMakeYuvHelp); status >= 0) return status;
    if (args.Positional().size() != 1) return Refuse("expected one OUT.yuv", kMakeYuvHelp);
    const std::string out = args.Positional()[0];
    SceneFramesOptions options;
    const bool parsed = ApplyOptions(args, {"--frames", "--size", "--channels"}, [&](std::string_view name, const std::string& text) {
        double value = 0;
        if (name == "--size") return ParseSize(text, options.width, options.height);
        if (!ParseNumber(text, value)) return false;
        if (name == "--frames") options.frames = ToInt(value);
        else options.channels = ToInt(value);
        return true;
    });
    if (!parsed) return 2;
    std::string error;
    if (!WriteSceneFrames(out, options, error)) {
        std::fprintf(stderr, "tamlorex-sim: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(out == "-" ? stderr : stdout, "%s: %d frames of %dx%d yuv420p, %d channels\n", out.c_str(), options.frames,
                 options.width, options.height, options.channels);
    return 0;
}

int EncodeYuvCommand(int argc, char** argv)
{
    using namespace tamlorex::sim;
    const Args args(argc, argv, 2, {"--size", "--q", "--model"}, {}, kProgram);
    if (const int status = HelpOrRefusal(args, kEncodeYuvHelp); status >= 0) return status;
    if (args.Positional().size() != 2) return Refuse("expected IN.yuv and OUT.records", kEncodeYuvHelp);
    const std::string in = args.Positional()[0];
    const std::string out = args.Positional()[1];
    YuvEncodeOptions options;
    const bool parsed = ApplyOptions(args, {"--size", "--q", "--model"}, [&](std::string_view name, const std::string& text) {
        double value = 0;
        if (name == "--size") return ParseSize(text, options.width, options.height);
        if (!ParseNumber(text, value)) return false;
        if (name == "--q") options.quantiserScale = ToInt(value);
        else if (value >= 0 && value <= 6) options.modelType = ToInt(value);
        else return false;
        return true;
    });
    if (!parsed) return 2;
    YuvEncodeSummary s;
    std::string error;
    if (!EncodeYuvFile(in, out, options, s, error)) {
        std::fprintf(stderr, "tamlorex-sim: %s\n", error.c_str());
        return 1;
    }
    const double average = s.pictures > 0 ? static_cast<double>(s.recordBytes) / s.pictures : 0.0;
    std::fprintf(out == "-" ? stderr : stdout,
                 "%s: %d pictures %dx%d, quantiser scale %d, %llu record bytes, %.1f bytes per picture, %d adjustments\n",
                 out.c_str(), s.pictures, options.width, options.height, options.quantiserScale,
                 static_cast<unsigned long long>(s.recordBytes), average, s.adjustments);
    return 0;
}

int MakeSampleCommand(int argc, char** argv)
{
    using namespace tamlorex::sim;
    const auto names = {"--channels", "--seconds", "--model", "--height", "--quantiser", "--interval", "--start"};
    const Args args(argc, argv, 2, std::set<std::string>(names.begin(), names.end()), {}, kProgram);
    if (const int status = HelpOrRefusal(args, kMakeSampleHelp); status >= 0) return status;
    if (args.Positional().size() != 1) return Refuse("expected one OUT.vvf", kMakeSampleHelp);
    const std::string out = args.Positional()[0];
    SampleOptions options;
    const bool parsed = ApplyOptions(args, names, [&](std::string_view name, const std::string& text) {
        double value = 0;
        if (!ParseNumber(text, value)) return false;
        if (name == "--channels") options.channels = ToInt(value);
        else if (name == "--seconds") options.seconds = value;
        else if (name == "--model") options.modelType = ToInt(value);
        else if (name == "--height") options.height = ToInt(value);
        else if (name == "--quantiser") options.quantiserScale = ToInt(value);
        else if (name == "--interval") options.interval = ToInt(value);
        else if (value >= 0 && value <= 4294967295.0) options.startTime = static_cast<std::uint32_t>(value);
        else return false;
        return true;
    });
    if (!parsed) return 2;
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

int MakeDiskCommand(int argc, char** argv)
{
    using namespace tamlorex::sim;
    const auto names = {"--gigabytes", "--wrap", "--channels", "--model", "--start"};
    const Args args(argc, argv, 2, std::set<std::string>(names.begin(), names.end()), {}, kProgram);
    if (const int status = HelpOrRefusal(args, kMakeDiskHelp); status >= 0) return status;
    if (args.Positional().size() != 1) return Refuse("expected one OUT.img", kMakeDiskHelp);
    if (!args.Has("--gigabytes")) return Refuse("--gigabytes is required", kMakeDiskHelp);
    const std::string out = args.Positional()[0];
    DiskOptions options;
    const bool parsed = ApplyOptions(args, names, [&](std::string_view name, const std::string& text) {
        double value = 0;
        if (!ParseNumber(text, value)) return false;
        if (name == "--gigabytes") options.gigabytes = value;
        else if (name == "--wrap") options.wrap = value;
        else if (name == "--channels") options.channels = ToInt(value);
        else if (name == "--model") options.modelType = ToInt(value);
        else if (value >= 1 && value <= 4294967295.0) options.startTime = static_cast<std::uint32_t>(value);
        else return false;
        return true;
    });
    if (!parsed) return 2;
    DiskSummary s;
    std::string error;
    if (!MakeDisk(out, options, s, error)) {
        std::fprintf(stderr, "tamlorex-sim: %s\n", error.c_str());
        return 1;
    }
    const double mb = static_cast<double>(s.pages) * 4096 / 1e6;
    std::printf("{\"pages\":%llu,\"wrap_page\":%llu,\"oldest_page\":%llu,\"first_time\":%u,\"last_time\":%u,"
                "\"seconds\":%.3f,\"mb_per_s\":%.0f}\n",
                static_cast<unsigned long long>(s.pages), static_cast<unsigned long long>(s.wrapPage),
                static_cast<unsigned long long>(s.oldestPage), s.firstTime, s.lastTime, s.seconds,
                s.seconds > 0 ? mb / s.seconds : 0.0);
    return 0;
}

std::atomic<bool> g_stop{false};
std::atomic<bool> g_holdPictures{false};

void OnSignal(int) { g_stop.store(true); }
void OnHoldSignal(int) { g_holdPictures.store(!g_holdPictures.load()); }

int ServeCommand(int argc, char** argv)
{
    using namespace tamlorex::sim;
    const auto names = {"--port", "--bind", "--password", "--source", "--model", "--channels", "--height", "--fps",
                        "--quantiser", "--wait-ms", "--ddns-port", "--name", "--seconds", "--hostile-seed",
                        "--hostile-timeout", "--picture-gap"};
    const Args args(argc, argv, 2, std::set<std::string>(names.begin(), names.end()), {"--pattern", "--hostile"}, kProgram);
    if (const int status = HelpOrRefusal(args, kServeHelp); status >= 0) return status;
    if (!args.Positional().empty()) return Refuse("unexpected argument \"" + args.Positional()[0] + "\"", kServeHelp);
    if (args.Has("--pattern") && args.Has("--source")) return Refuse("--pattern and --source exclude each other", kServeHelp);
    if (!args.Has("--hostile") && (args.Has("--hostile-seed") || args.Has("--hostile-timeout")))
        return Refuse("--hostile-seed and --hostile-timeout need --hostile", kServeHelp);
    ServeOptions options;
    options.hostile.on = args.Has("--hostile");
    const bool parsed = ApplyOptions(args, names, [&](std::string_view name, const std::string& text) {
        if (name == "--password") options.password = text;
        else if (name == "--source") options.feed.source = text;
        else if (name == "--name") options.name = text;
        else if (name == "--bind") options.bind = text;
        else if (name == "--picture-gap") {
            const std::size_t comma = text.find(',');
            double at = 0, length = 0;
            if (comma == std::string::npos || !ParseNumber(std::string_view(text).substr(0, comma), at) ||
                !ParseNumber(std::string_view(text).substr(comma + 1), length) || at < 0 || at > 1e7 || !(length > 0) ||
                length > 1e7)
                return false;
            options.pictureGapAt = at;
            options.pictureGapSeconds = length;
        } else {
            double value = 0;
            if (!ParseNumber(text, value)) return false;
            const auto in = [&](double lo, double hi) { return value >= lo && value <= hi; };
            if (name == "--port" && in(0, 65535)) options.port = ToInt(value);
            else if (name == "--ddns-port" && in(0, 65535)) options.ddnsPort = ToInt(value);
            else if (name == "--seconds" && in(0, 1e7)) options.seconds = value;
            else if (name == "--fps" && in(0.1, 100)) options.fps = value;
            else if (name == "--wait-ms" && in(0, 600000)) options.waitMs = ToInt(value);
            else if (name == "--model" && in(0, 6)) options.feed.sourceModel = ToInt(value);
            else if (name == "--channels" && in(1, 16)) options.feed.channels = ToInt(value);
            else if (name == "--height" && (value == 224 || value == 272)) options.feed.height = ToInt(value);
            else if (name == "--quantiser" && in(1, kMaxQuantiserScale)) options.feed.quantiserScale = ToInt(value);
            else if (name == "--hostile-seed" && in(0, 4294967295.0) && value == std::floor(value))
                options.hostile.seed = static_cast<std::uint64_t>(value);
            else if (name == "--hostile-timeout" && in(0.1, 3600)) options.hostile.clientTimeout = value;
            else return false;
        }
        return true;
    });
    if (!parsed) return 2;
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGUSR1, OnHoldSignal);
    RecorderSim sim(options, [](const std::string& line) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    sim.HoldPicturesWhile(&g_holdPictures);
    std::string error;
    if (!sim.Start(error)) {
        std::fprintf(stderr, "tamlorex-sim: %s\n", error.c_str());
        return 1;
    }
    if (sim.DdnsPort() > 0 || options.ddnsPort >= 0)
        std::printf("{\"listening\":%d,\"ddns\":%d}\n", sim.Port(), sim.DdnsPort());
    else
        std::printf("{\"listening\":%d}\n", sim.Port());
    std::fflush(stdout);
    sim.Run(g_stop);
    const ServeStats s = sim.Stats();
    std::printf("{\"stopped\":1,\"connections\":%d,\"logins\":%d,\"refused\":%d,\"busy\":%d,\"keys\":%d,\"mouse\":%d,"
                "\"lookups\":%d,\"pictures\":%llu,\"sound\":%llu,\"status\":%llu,\"dropped\":%llu",
                s.connections, s.logins, s.refusedLogins, s.busyRefusals, s.keys, s.mouseReports, s.lookups,
                static_cast<unsigned long long>(s.pictures), static_cast<unsigned long long>(s.soundUnits),
                static_cast<unsigned long long>(s.statusMessages), static_cast<unsigned long long>(s.droppedPictures));
    if (options.hostile.on) std::printf(",\"hostile\":%llu", static_cast<unsigned long long>(s.hostileEvents));
    std::printf("}\n");
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
        if (command == "--version") {
            std::printf("%s %s\n", kProgram, TAMLOREX_VERSION);
            return 0;
        }
        if (command == "make-sample") return MakeSampleCommand(argc, argv);
        if (command == "make-disk") return MakeDiskCommand(argc, argv);
        if (command == "make-yuv") return MakeYuvCommand(argc, argv);
        if (command == "encode-yuv") return EncodeYuvCommand(argc, argv);
        if (command == "serve") return ServeCommand(argc, argv);
        if (command.size() > 1 && command[0] == '-') {
            std::fprintf(stderr, "%s: unknown option \"%s\"; see %s --help\n", kProgram, argv[1], kProgram);
            return 2;
        }
        std::fprintf(stderr, "tamlorex-sim: unknown command %s\n", argv[1]);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
