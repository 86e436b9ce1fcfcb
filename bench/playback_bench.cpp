// The playback engine in real time on dense sample recordings: the processor time each picture
// shown costs playing forward and in reverse (one and sixteen channels), the time from a seek to
// every channel's exact picture on screen, and the pictures shown and the clock's pace at 16x,
// 64x and 256x.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "audio/null_audio_device.h"
#include "engine/media_engine.h"
#include "sim/sample_maker.h"

namespace {

using namespace tamlorex;
using Clock = std::chrono::steady_clock;

// A recording at the recorder's highest picture rate (a picture every frame period).
const std::string& DenseSample(int channels)
{
    static std::map<int, std::string> paths;
    auto& path = paths[channels];
    if (path.empty()) {
        char name[] = "/tmp/tamlorex-playback-XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        sim::SampleOptions options;
        options.channels = channels;
        options.seconds = 420;
        options.interval = 0;
        options.fullPictureEvery = 4;
        sim::SampleSummary summary;
        std::string error;
        if (!sim::MakeSampleFile(name, options, summary, error)) std::abort();
        path = name;
        std::atexit([] {
            for (const auto& [n, p] : paths) unlink(p.c_str());
        });
    }
    return path;
}

double ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

class Counter : public EngineObserver {
public:
    void OnStateChanged(int state, double) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        states_.push_back(state);
        changed_.notify_all();
    }
    void OnPictureShown(int, const CalendarTime& t, const std::uint8_t*, int, int) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++shown_;
        const int clock = t.day * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
        if (first_ < 0) first_ = clock;
        last_ = clock;
        changed_.notify_all();
    }
    void Reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_ = 0;
        first_ = last_ = -1;
        states_.clear();
    }
    int Shown()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }
    int ClockSpan()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return first_ < 0 ? 0 : std::abs(last_ - first_);
    }
    bool WaitForState(int state, int count)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            return std::count(states_.begin(), states_.end(), state) >= count;
        });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int shown_ = 0;
    int first_ = -1, last_ = -1;
    std::vector<int> states_;
};

struct Player {
    explicit Player(int channels)
    {
        engine.Initialize(4, channels);
        engine.SetMode(kPlayerMode, 4, MediaEngine::SplitForChannels(channels));
        engine.SetObserver(&counter);
    }
    ~Player()
    {
        engine.CloseSource();
        engine.SetObserver(nullptr);
    }
    NullAudioDevice device;
    MediaEngine engine{device, nullptr, nullptr};
    Counter counter;
};

// Processor milliseconds per picture shown at 1x, forward (state.range(1) == 0) or in reverse.
void BM_PlayCostPerPicture(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const bool reverse = state.range(1) != 0;
    const std::string& path = DenseSample(channels);
    double perPicture = 0;
    for (auto _ : state) {
        Player p(channels);
        p.engine.OpenSource(path, false);
        if (reverse) {
            // From the middle of the recording backward.
            p.engine.Seek(p.engine.GetSize() / 2);
            p.counter.WaitForState(kStatePause, 1);
            p.engine.PlayReverse(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        p.counter.Reset();
        const double cpu = ProcessCpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(4));
        const double spent = ProcessCpuMs() - cpu;
        const int shown = p.counter.Shown();
        perPicture = shown > 0 ? spent / shown : 0;
        state.counters["shown"] = shown;
    }
    state.counters["cpu_ms_per_picture"] = perPicture;
}
BENCHMARK(BM_PlayCostPerPicture)->Args({1, 0})->Args({1, 1})->Args({16, 0})->Args({16, 1})->Iterations(1)->Unit(benchmark::kSecond);

// Milliseconds from a seek to every channel's picture at the target on screen (a fresh index
// each time: the recording is opened anew).
void BM_SeekToExactPicture(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const std::string& path = channels == 8 ? std::string(TAMLOREX_SAMPLE_PATH) : DenseSample(channels);
    std::mt19937 rng(7);
    double worst = 0, total = 0;
    int seeks = 0;
    for (auto _ : state) {
        Player p(channels);
        p.engine.OpenSource(path, false);
        p.engine.Pause();
        p.counter.WaitForState(kStatePause, 1);
        const std::uint64_t target = rng() % p.engine.GetSize();
        const auto start = Clock::now();
        p.engine.Seek(target);
        p.counter.WaitForState(kStatePause, 2);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        state.SetIterationTime(ms / 1000);
        worst = std::max(worst, ms);
        total += ms;
        ++seeks;
    }
    state.counters["mean_ms"] = total / seeks;
    state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_SeekToExactPicture)->Arg(8)->Arg(16)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

// Pictures shown per second and the clock's pace (recording seconds per second) when fast
// forwarding at 16x, 64x and 256x through sixteen channels.
void BM_FastForward(benchmark::State& state)
{
    const int speed = static_cast<int>(state.range(0));
    const std::string& path = DenseSample(16);
    for (auto _ : state) {
        Player p(16);
        p.engine.OpenSource(path, false);
        p.counter.WaitForState(kStatePlay, 1);
        // Each press doubles the speed once the one before has taken effect.
        for (int s = 16; s <= speed; s *= 2) {
            p.engine.FastForward();
            while (p.engine.GetSpeed() * 10 < s * 10 || p.engine.GetState() != kStatePlay)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        p.counter.Reset();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(speed >= 256 ? 1000 : 3000));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["pictures_per_s"] = p.counter.Shown() / seconds;
        state.counters["clock_pace"] = p.counter.ClockSpan() / seconds;
    }
}
BENCHMARK(BM_FastForward)->Arg(16)->Arg(64)->Arg(256)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
