// tamlorex play: drives the playback engine headless, as the main window does, with a script of
// timed commands; prints state changes and every picture handed to the video window.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/null_audio_device.h"
#include "audio/sdl_audio_device.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "cli/source.h"
#include "engine/media_engine.h"
#include "media/time_index.h"
#include "platform/md5.h"
#include "platform/notifier.h"

namespace tamlorex::cli {
namespace {

const char kPlayHelp[] =
    "usage: tamlorex play FILE [--model N] [--channels N] [--seconds S] [--commands \"MS:CMD,...\"]\n"
    "                     [--drive] [--null-audio]\n"
    "Plays a recording for S seconds (default 10) and prints one JSON line per change of state or\n"
    "speed and per picture shown. Commands, at MS milliseconds after the start: play, reverse,\n"
    "pause, step, back, ff, rew, seek=OFFSET, goto=YYYY-MM-DD HH:MM:SS (the first picture at or\n"
    "after that clock time; prints {\"t\":MS,\"goto\":TIME,\"found\":true|false}), faster,\n"
    "slower, normal, close.\n"
    "  --model N      recorder model type 0..6 (default 4)\n"
    "  --channels N   the recorder's channel count 1..16 (default 8)\n"
    "  --null-audio   sound to a silent device that plays in real time instead of the sound card\n";

struct TimedCommand {
    long long at = 0;
    std::string name;
    std::uint64_t offset = 0;
    std::uint32_t time = 0;
    std::string text;
};

bool ParseCommands(const std::string& text, std::vector<TimedCommand>& out, std::string& error)
{
    static const char* const kNames[] = {"play", "reverse", "pause", "step", "back", "ff", "rew",
                                         "faster", "slower", "normal", "close"};
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(',', at);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(at, end - at);
        at = end + 1;
        const std::size_t colon = item.find(':');
        TimedCommand c;
        if (colon == std::string::npos || !ParseSigned(item.substr(0, colon), c.at) || c.at < 0) {
            error = "bad command '" + item + "' (expected MS:CMD)";
            return false;
        }
        c.name = item.substr(colon + 1);
        if (c.name.rfind("seek=", 0) == 0) {
            if (!ParseUnsigned(c.name.substr(5), c.offset)) {
                error = "bad seek offset in '" + item + "'";
                return false;
            }
            c.name = "seek";
        } else if (c.name.rfind("goto=", 0) == 0) {
            c.text = c.name.substr(5);
            if (!ParseClockTime(c.text.c_str(), c.time)) {
                error = "bad clock time in '" + item + "' (expected goto=YYYY-MM-DD HH:MM:SS)";
                return false;
            }
            c.name = "goto";
        } else if (std::find(std::begin(kNames), std::end(kNames), c.name) == std::end(kNames)) {
            error = "unknown command '" + c.name + "'";
            return false;
        }
        out.push_back(c);
    }
    std::stable_sort(out.begin(), out.end(), [](const TimedCommand& a, const TimedCommand& b) { return a.at < b.at; });
    return true;
}

// The CLI keeps posted notifications; Player mode posts none.
class QueueNotifier : public Notifier {
public:
    void Post(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
};

class JsonObserver : public EngineObserver {
public:
    explicit JsonObserver(VideoWindow& window) : window_(window), start_(std::chrono::steady_clock::now()) {}
    // Times count from the moment the recording opens.
    void Restart() { start_ = std::chrono::steady_clock::now(); }

    long long Elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    }
    void OnStateChanged(int state, double speed) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf("{\"t\":%lld,\"state\":\"%s\",\"speed\":%.1f}\n", Elapsed(), StateText(state), speed);
        std::fflush(stdout);
    }
    void OnPictureShown(int channel, const CalendarTime& time, const std::uint8_t* yuv, int width, int height) override
    {
        const std::string md5 = Md5::Hex(yuv, static_cast<std::size_t>(width) * height * 3 / 2);
        const std::string text = window_.FormatOsdTime(time);
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf("{\"t\":%lld,\"shown\":%d,\"width\":%d,\"height\":%d,\"time\":\"%s\",\"md5\":\"%s\"}\n", Elapsed(),
                    channel, width, height, text.c_str(), md5.c_str());
        std::fflush(stdout);
    }

    void OnGoto(const std::string& time, bool found)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf("{\"t\":%lld,\"goto\":\"%s\",\"found\":%s}\n", Elapsed(), time.c_str(), found ? "true" : "false");
        std::fflush(stdout);
    }

private:
    VideoWindow& window_;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
};

}  // namespace

int RunPlay(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--model", "--channels", "--seconds", "--commands"}, {"--drive", "--null-audio"});
    if (const int status = HelpOrRefusal(args, kPlayHelp); status >= 0) return status;
    long long model = 4, channels = 8, seconds = 10;
    if (!args.Integer("--model", 4, 0, 6, model) || !args.Integer("--channels", 8, 1, 16, channels) ||
        !args.Integer("--seconds", 10, 0, 86400, seconds))
        return Usage(kPlayHelp, args.Error());
    if (args.Positional().size() != 1) return Usage(kPlayHelp, "expected one FILE");
    std::vector<TimedCommand> script;
    std::string error;
    if (!ParseCommands(args.Value("--commands"), script, error)) return Usage(kPlayHelp, error);

    std::unique_ptr<AudioDevice> device;
    if (args.Has("--null-audio")) device = std::make_unique<NullAudioDevice>();
    else device = std::make_unique<SdlAudioDevice>();
    StderrAlerts alerts;
    QueueNotifier notifier;
    MediaEngine engine(*device, &alerts, &notifier);
    JsonObserver observer(engine.Window());

    const int split = MediaEngine::SplitForChannels(static_cast<int>(channels));
    engine.Initialize(static_cast<int>(model), static_cast<int>(channels));
    engine.SetMode(kPlayerMode, static_cast<int>(model), split);
    engine.Window().SetSplit(split, 0);
    engine.SetObserver(&observer);
    observer.Restart();
    if (!engine.OpenSource(args.Positional()[0], args.Has("--drive"))) {
        std::fprintf(stderr, "tamlorex: cannot open %s\n", args.Positional()[0].c_str());
        return 2;
    }

    const long long end = seconds * 1000;
    for (const TimedCommand& c : script) {
        if (c.at > end) break;
        const long long wait = c.at - observer.Elapsed();
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        if (c.name == "play") engine.Play(engine.GetRequestedSpeed());
        else if (c.name == "reverse") engine.PlayReverse(engine.GetRequestedSpeed());
        else if (c.name == "pause") engine.Pause();
        else if (c.name == "step") engine.StepForward();
        else if (c.name == "back") engine.StepBack();
        else if (c.name == "ff") engine.FastForward();
        else if (c.name == "rew") engine.FastRewind();
        else if (c.name == "seek") engine.Seek(c.offset);
        else if (c.name == "goto") {
            // The line comes before what the seek shows.
            const std::optional<std::uint64_t> offset = engine.FindTime(c.time);
            observer.OnGoto(c.text, offset.has_value());
            if (offset) engine.Seek(*offset);
        }
        else if (c.name == "faster") engine.SetRequestedSpeed(engine.GetRequestedSpeed() + 0.1);
        else if (c.name == "slower") engine.SetRequestedSpeed(engine.GetRequestedSpeed() - 0.1);
        else if (c.name == "normal") engine.SetRequestedSpeed(1.0);
        else if (c.name == "close") engine.CloseSource();
    }
    const long long rest = end - observer.Elapsed();
    if (rest > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rest));
    engine.CloseSource();
    engine.SetObserver(nullptr);
    return 0;
}

}  // namespace tamlorex::cli
