// tamlorex connect: runs Client mode headless, as the main window does: connects and logs in,
// shows (decodes) the live pictures, plays the sound, sends keys and records locally; prints one
// JSON line per change of the connection state, notification, picture, sound block, error and
// the beginning and end of a stall of pictures.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/null_audio_device.h"
#include "audio/sdl_audio_device.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "cli/source.h"
#include "display/mouse_report.h"
#include "engine/media_engine.h"
#include "engine/stall_watch.h"
#include "net/key_map.h"
#include "net/net_client.h"
#include "platform/md5.h"
#include "platform/notifier.h"

namespace tamlorex::cli {
namespace {

const char kConnectHelp[] =
    "usage: tamlorex connect --ip ADDR [--port P] --password PW [--timeout SECONDS] [--seconds S]\n"
    "                        [--record FILE] [--keys K1,K2,...] [--mouse MODE] [--model N]\n"
    "                        [--avi FILE [--low-speed]] [--no-reconnect] [--null-audio]\n"
    "                        [--stall SECONDS]\n"
    "       tamlorex connect --ddns-ip ADDR [--ddns-port P] --name NAME --password PW ...\n"
    "Connects to a recorder (directly, or through a dynamic-IP lookup server that knows it by NAME),\n"
    "logs in and receives the live stream for S seconds (default 10). Prints one JSON line per\n"
    "change of the connection state, notification, decoded picture, sound block and error, and\n"
    "{\"t\":T,\"stalled\":S} when no new picture has come for the stall time while connected (S\n"
    "seconds since the last one), {\"t\":T,\"resumed\":1} with the picture that ends it.\n"
    "Exits 0 after S seconds; earlier where the viewer would stop the client: 2 disconnected by the\n"
    "recorder (0x2A69), 3 no response (0x2A6A), 4 login or lookup failed (0x2A6B), 5 an address that\n"
    "names no host (0x2A6C; the reason goes to standard error), 6 the local recording could not\n"
    "write or finish its file (0x2A6D; the reason as an error line and on standard error). ADDR is a\n"
    "dotted IPv4 address or a host name.\n"
    "  --port P         the recorder's port (default 8841); --ddns-port P the lookup server's (1800)\n"
    "  --timeout S      connection time-out in seconds, fractions allowed (default 7)\n"
    "  --record FILE    records the live stream into FILE once logged in (a free \"-N\" variant if\n"
    "                   FILE exists), until the end\n"
    "  --avi FILE       \"Save AVI\": records what is shown into the AVI file FILE from the first\n"
    "                   picture until the end, then prints {\"t\":T,\"avi\":FILE,\"frames\":N,...}; exit 1\n"
    "                   when it cannot start, write or finish the file (whole frames are kept)\n"
    "  --low-speed      the answer Yes to \"Internet low speed?\": one picture every 40 ms, 25 a second\n"
    "  --keys K,...     recorder key codes (decimal) sent once logged in, one every 100 ms\n"
    "  --mouse MODE     mouse remote control 0, 1 or 2; with 1 or 2 one pointer move at the\n"
    "                   centre of a 720 x 480 window is reported once logged in\n"
    "  --model N        recorder model type 0..6 for the sound and the recording (default 2)\n"
    "  --no-reconnect   \"Auto Reconnection\" off: a silent recorder is reported, not reconnected\n"
    "  --null-audio     sound to a silent device that plays in real time instead of the sound card\n"
    "  --stall S        seconds without a new picture that are a stall, fractions allowed (default 3)\n";

constexpr auto kKeyInterval = std::chrono::milliseconds(100);
constexpr auto kPoll = std::chrono::milliseconds(10);
constexpr auto kCaptureTick = std::chrono::milliseconds(40);  // the main window's low-speed capture timer

std::string JsonEscape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool ParseKeys(const std::string& text, std::vector<int>& keys)
{
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(',', at);
        if (end == std::string::npos) end = text.size();
        std::uint64_t value = 0;
        if (!ParseUnsigned(text.substr(at, end - at), value) || value > 255) return false;
        keys.push_back(static_cast<int>(value));
        at = end + 1;
    }
    return true;
}

bool ParseSeconds(const std::string& text, double& out)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || !(value > 0) || value > 86400) return false;
    out = value;
    return true;
}

class JsonLines {
public:
    JsonLines() : start_(std::chrono::steady_clock::now()) {}
    long long Elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    }
    // Prints {"t":T,<body>}.
    void Print(const std::string& body)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf("{\"t\":%lld,%s}\n", Elapsed(), body.c_str());
        std::fflush(stdout);
    }

private:
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
};

// The notifications the main window would receive, with the exit status each one ends the run with.
class ExitNotifier : public Notifier {
public:
    ExitNotifier(JsonLines& out, const MediaEngine*& engine) : out_(out), engine_(engine) {}
    void Post(std::uint32_t message, std::uintptr_t, std::intptr_t) override
    {
        char body[32];
        std::snprintf(body, sizeof body, "\"message\":\"0x%04X\"", message);
        out_.Print(body);
        int status = 0;
        if (message == WM_NET_SERVER_CLOSED && engine_ != nullptr && engine_->IsOnline()) status = 2;
        else if (message == WM_NET_NO_RESPONSE) status = 3;
        else if (message == WM_NET_LOGIN_FAILED) status = 4;
        else if (message == WM_NET_ADDRESS_UNKNOWN) status = 5;
        else if (message == WM_LOCAL_RECORDING_FAILED) status = 6;
        int none = 0;
        if (status != 0) exit_.compare_exchange_strong(none, status);
    }
    int ExitStatus() const { return exit_.load(); }

private:
    JsonLines& out_;
    const MediaEngine*& engine_;
    std::atomic<int> exit_{0};
};

class ConnectObserver : public EngineObserver {
public:
    explicit ConnectObserver(JsonLines& out) : out_(out) {}
    void OnStateChanged(int, double) override {}
    void OnPictureShown(int, const CalendarTime&, const std::uint8_t*, int, int) override {}
    void OnConnState(int state) override
    {
        out_.Print("\"state\":" + std::to_string(state));
        if (state == kConnOnline) online_.store(true);
    }
    void OnClientError(const std::string& text) override { out_.Print("\"error\":\"" + JsonEscape(text) + "\""); }
    void OnLivePicture(bool full, const std::uint8_t* yuv, int width, int height) override
    {
        const std::string md5 = Md5::Hex(yuv, static_cast<std::size_t>(width) * height * 3 / 2);
        char body[160];
        std::snprintf(body, sizeof body, "\"picture\":%lld,\"full\":%d,\"width\":%d,\"height\":%d,\"md5\":\"%s\"",
                      pictures_++, full ? 1 : 0, width, height, md5.c_str());
        out_.Print(body);
    }
    void OnLiveAudio(std::size_t bytes) override { out_.Print("\"audio\":" + std::to_string(bytes)); }
    void OnPictureStall(double seconds) override
    {
        char body[48];
        std::snprintf(body, sizeof body, "\"stalled\":%.1f", seconds);
        out_.Print(body);
    }
    void OnPictureResumed() override { out_.Print("\"resumed\":1"); }
    bool WasOnline() const { return online_.load(); }

private:
    JsonLines& out_;
    long long pictures_ = 0;  // the live worker's own count
    std::atomic<bool> online_{false};
};

}  // namespace

int RunConnect(int argc, char** argv)
{
    Args args(argc, argv, 2,
              {"--ip", "--port", "--password", "--ddns-ip", "--ddns-port", "--name", "--timeout", "--record",
               "--seconds", "--keys", "--mouse", "--model", "--avi", "--stall"},
              {"--no-reconnect", "--null-audio", "--low-speed"});
    if (const int status = HelpOrRefusal(args, kConnectHelp); status >= 0) return status;
    long long port = kDefaultRecorderPort, ddnsPort = kDefaultDdnsPort, mouse = 1, model = 2;
    double seconds = 10, timeout = 7, stall = kDefaultStallMs / 1000.0;
    if (!args.Integer("--port", kDefaultRecorderPort, 1, 65535, port) ||
        !args.Integer("--ddns-port", kDefaultDdnsPort, 1, 65535, ddnsPort) ||
        !args.Integer("--mouse", 1, 0, 2, mouse) || !args.Integer("--model", 2, 0, 6, model))
        return Usage(kConnectHelp, args.Error());
    if (!args.Positional().empty()) return Usage(kConnectHelp, "unexpected argument '" + args.Positional()[0] + "'");
    if (args.Has("--seconds") && !ParseSeconds(args.Value("--seconds"), seconds))
        return Usage(kConnectHelp, "bad --seconds '" + args.Value("--seconds") + "'");
    if (args.Has("--timeout") && !ParseSeconds(args.Value("--timeout"), timeout))
        return Usage(kConnectHelp, "bad --timeout '" + args.Value("--timeout") + "'");
    if (args.Has("--stall") && !ParseSeconds(args.Value("--stall"), stall))
        return Usage(kConnectHelp, "bad --stall '" + args.Value("--stall") + "'");
    std::vector<int> keys;
    if (!ParseKeys(args.Value("--keys"), keys)) return Usage(kConnectHelp, "bad --keys (decimal codes 0..255)");
    const bool ddns = args.Has("--ddns-ip");
    if (!ddns && !args.Has("--ip")) return Usage(kConnectHelp, "expected --ip ADDR or --ddns-ip ADDR");
    if (ddns && !args.Has("--name")) return Usage(kConnectHelp, "--ddns-ip needs --name NAME");

    std::unique_ptr<AudioDevice> device;
    if (args.Has("--null-audio")) device = std::make_unique<NullAudioDevice>();
    else device = std::make_unique<SdlAudioDevice>();
    JsonLines out;
    const MediaEngine* enginePointer = nullptr;
    ExitNotifier notifier(out, enginePointer);
    StderrAlerts alerts;
    MediaEngine engine(*device, &alerts, &notifier);
    enginePointer = &engine;
    ConnectObserver observer(out);

    engine.Initialize(static_cast<int>(model), 1);
    engine.SetMode(kClientMode, static_cast<int>(model), 1);
    engine.SetClientTimeout(static_cast<int>(timeout * 1000));
    engine.SetStallThresholdMs(static_cast<int>(stall * 1000));
    engine.Client().SetAutoReconnect(!args.Has("--no-reconnect"));
    engine.Client().SetMouseMode(static_cast<int>(mouse));
    engine.Window().SetClientSize(720, 480);
    engine.SetObserver(&observer);

    const std::string password = args.Value("--password");
    if (ddns)
        engine.ConnectClientDdns(args.Value("--ddns-ip"), static_cast<int>(ddnsPort), args.Value("--name"), password);
    else
        engine.ConnectClient(args.Value("--ip"), static_cast<int>(port), password);

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool started = false;
    std::size_t nextKey = 0;
    auto keyTime = std::chrono::steady_clock::now();
    int status = 0;
    const bool avi = args.Has("--avi"), lowSpeed = args.Has("--low-speed");
    bool capturing = false;
    auto captureTime = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < end) {
        status = notifier.ExitStatus();
        if (status != 0) break;
        if (!started && observer.WasOnline()) {
            started = true;
            keyTime = std::chrono::steady_clock::now();
            if (args.Has("--record") && !engine.StartLocalRecording(args.Value("--record"))) {
                std::fprintf(stderr, "tamlorex: cannot record into %s: %s\n", args.Value("--record").c_str(),
                             engine.GetLocalRecordingError().c_str());
                status = 6;
                break;
            }
            if (mouse != 0) PendingMouse().Put(MouseReport{0, 360, 240, 720, 480});
        }
        // As the main window: once online and a picture size is known.
        int width = 0, height = 0;
        if (started && avi && !capturing && engine.CaptureFrameSize(width, height)) {
            const int code = engine.StartCapture(args.Value("--avi"), width, height, lowSpeed);
            if (code != kCaptureOk) {
                std::fprintf(stderr, "tamlorex: cannot record AVI into %s (code %d)\n", args.Value("--avi").c_str(),
                             code);
                status = 1;
                break;
            }
            capturing = true;
            captureTime = std::chrono::steady_clock::now();
        }
        if (capturing && lowSpeed && std::chrono::steady_clock::now() >= captureTime) {
            engine.CaptureTick();
            captureTime += kCaptureTick;
        }
        if (started && nextKey < keys.size() && std::chrono::steady_clock::now() >= keyTime) {
            engine.SendKey(keys[nextKey++]);
            keyTime += kKeyInterval;
        }
        std::this_thread::sleep_for(kPoll);
    }
    // A recording that failed on the way, or in finishing its file, is an error of the run.
    const bool finished = engine.StopLocalRecording() || engine.GetLocalRecordingError().empty();
    if (!finished && status == 0) status = 6;
    if (status == 6) {
        out.Print("\"error\":\"" + JsonEscape(engine.GetLocalRecordingError()) + "\"");
        std::fprintf(stderr, "tamlorex: %s\n", engine.GetLocalRecordingError().c_str());
    }
    if (capturing) {
        // A write or the finishing that failed is an error of the run (the message went to
        // standard error as it happened).
        if (engine.StopCapture() != kCaptureOk && status == 0) status = 1;
        const AviCaptureWriter& writer = engine.CaptureWriter();
        const long long frames = writer.FramesWritten(), samples = writer.SoundSamplesWritten();
        out.Print("\"avi\":\"" + JsonEscape(args.Value("--avi")) + "\",\"frames\":" + std::to_string(frames) +
                  ",\"sound\":" + std::to_string(samples));
    }
    engine.DisconnectClient();
    engine.SetObserver(nullptr);
    if (status == 5) std::fprintf(stderr, "tamlorex: %s\n", engine.GetClientErrorText().c_str());
    return status;
}

}  // namespace tamlorex::cli
