#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "audio/audio_device.h"
#include "engine/media_clock.h"
#include "engine/media_engine.h"
#include "media/vvf_builder.h"
#include "platform/md5.h"
#include "sim/audio_encode.h"
#include "sim/picture_encoder.h"
#include "sim/sample_maker.h"

namespace tamlorex {
namespace {

using test::Bytes;

// A sound device whose play position the test sets; it never plays anything.
class StillDevice : public AudioDevice {
public:
    bool Open(int, int) override { return open = true; }
    bool StartLoop(const std::uint8_t*, std::size_t) override { return true; }
    bool GetPosition(std::uint32_t& bytes) override
    {
        bytes = position.load();
        return open;
    }
    bool Pause() override { return paused = true; }
    bool Restart() override
    {
        paused = false;
        return true;
    }
    bool SetVolume(std::uint32_t) override { return true; }
    bool IsOpen() const override { return open; }
    void Lock() override {}
    void Unlock() override {}
    std::atomic<bool> open{false};
    std::atomic<std::uint32_t> position{0};
    std::atomic<bool> paused{false};
};

struct Shown {
    int channel;
    int width;
    std::string md5;
    int clock;    // the picture's time in seconds of its day
    double wall;  // when it was shown, milliseconds of the steady clock
};

double WallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class Recorder : public EngineObserver {
public:
    void OnStateChanged(int state, double speed) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        states.push_back(state);
        speeds.push_back(speed);
        changed.notify_all();
    }
    void OnPictureShown(int channel, const CalendarTime& t, const std::uint8_t* yuv, int width, int height) override
    {
        const std::string md5 = Md5::Hex(yuv, static_cast<std::size_t>(width) * height * 3 / 2);
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back({channel, width, md5, t.hour * 3600 + t.minute * 60 + t.second, WallMs()});
        changed.notify_all();
    }
    bool WaitFor(const std::function<bool()>& done, int ms = 10000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), done);
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> states;
    std::vector<double> speeds;
    std::vector<Shown> shown;
};

// A picture of one flat shade, so every picture of a recording can be told apart.
Bytes Picture(int channel, int shade, int model = 4, bool dual = false, int right = 0, bool rightHidden = false)
{
    sim::PictureHeader header;
    header.modelType = model;
    header.channel = channel;
    header.quantiserScale = 4;
    header.dual = dual;
    header.dualRight = right;
    header.rightHidden = rightHidden;
    const sim::YuvImage image(640, 224, static_cast<std::uint8_t>(shade), 128, 128);
    return sim::EncodePicture(header, image).record;
}

Bytes Sound(int channel, std::size_t n, std::uint8_t sample = 0x80)
{
    return sim::MakeAudioRecord(channel, std::vector<std::uint8_t>(n, sample));
}

// A sample recording and the pictures that decoding it in order gives, as channel and MD5.
struct DecodedSample {
    std::string path;
    std::set<std::pair<int, std::string>> pictures;
};

DecodedSample MakeDecodedSample(const test::TempDir& dir, const sim::SampleOptions& options)
{
    DecodedSample d;
    d.path = dir.Path("sample.vvf");
    sim::SampleSummary summary;
    std::string error;
    EXPECT_TRUE(sim::MakeSampleFile(d.path, options, summary, error)) << error;
    VvfReader reader;
    reader.SetModelType(options.modelType);
    EXPECT_TRUE(reader.Open(d.path, false));
    RecordPipeline pipeline;
    pipeline.Init(options.modelType);
    std::vector<std::uint8_t> buffer(kRecordBufferSize);
    for (std::uint32_t length; (length = reader.ReadNext(buffer.data())) != 0;) {
        if (reader.IsAudio() || !pipeline.Parse(buffer.data(), length) || !pipeline.Decode(buffer.data(), length)) continue;
        VisiblePicture pictures[2];
        const int n = pipeline.Visible(pictures);
        for (int i = 0; i < n; ++i)
            d.pictures.emplace(pictures[i].channel,
                               Md5::Hex(pictures[i].yuv, static_cast<std::size_t>(pictures[i].width) * pictures[i].height * 3 / 2));
    }
    return d;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.Initialize(4, 8);
        engine.SetMode(kPlayerMode, 4, 9);
        engine.Window().SetSplit(9, 0);
        engine.SetObserver(&recorder);
    }
    void TearDown() override { engine.CloseSource(); }

    // Pages of one second with the given frame interval, so that pictures are paced by the
    // interval alone; a closing start code makes the last record readable.
    std::string Write(const std::vector<Bytes>& records, std::uint8_t interval = 0, int model = 4)
    {
        test::VvfBuilder b(model);
        b.Fields([interval](std::size_t) { return test::PageFields{1230000000, 0xFF, interval}; });
        for (const Bytes& r : records) b.Add(r);
        b.Add({0, 0, 1, 0xF8});
        return dir.Write("rec.vvf", b.Build());
    }
    int State() { return engine.GetState(); }
    std::size_t ShownCount()
    {
        std::lock_guard<std::mutex> lock(recorder.mutex);
        return recorder.shown.size();
    }

    test::TempDir dir;
    StillDevice device;
    MediaEngine engine{device, nullptr, nullptr};
    Recorder recorder;
};

TEST_F(EngineTest, OpeningPlaysForwardThenPausesAtTheEndKeepingTheLastPicture)
{
    std::vector<Bytes> records;
    for (int i = 0; i < 6; ++i) records.push_back(Picture(i, 20 + 30 * i));
    ASSERT_TRUE(engine.OpenSource(Write(records), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return !recorder.states.empty(); }));
    EXPECT_EQ(recorder.states.front(), kStatePlay);
    EXPECT_EQ(engine.GetSpeed(), 1.0);
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.states.back() == kStatePause; }));
    ASSERT_EQ(recorder.shown.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(recorder.shown[i].channel, i);
    EXPECT_TRUE(engine.Window().HasPicture(5));
    CalendarTime t;
    EXPECT_TRUE(engine.GetCurrentTime(t));
    EXPECT_EQ(t.year, 2008);
    EXPECT_TRUE(engine.IsSourceOpen());

    engine.CloseSource();
    EXPECT_EQ(State(), kStateReady);
    EXPECT_FALSE(engine.IsSourceOpen());
    EXPECT_FALSE(engine.GetCurrentTime(t));

    // A command given right after opening is not lost to the worker's own start.
    ASSERT_TRUE(engine.OpenSource(Write(records, 127), false));
    engine.Pause();
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(State(), kStatePause);
}

TEST_F(EngineTest, SpeedArithmetic)
{
    std::vector<Bytes> records;
    for (int i = 0; i < 4; ++i) records.push_back(Picture(i, 50 + i));
    engine.SetRepeat(true);  // forward play never ends
    ASSERT_TRUE(engine.OpenSource(Write(records, 20), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return !recorder.states.empty(); }));

    engine.Play(0);
    EXPECT_EQ(engine.GetSpeed(), 1.0);
    engine.Play(-2);
    EXPECT_EQ(engine.GetSpeed(), 2.0);
    engine.Play(40);
    EXPECT_EQ(engine.GetSpeed(), 16.0);
    engine.Play(1);
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePlay && engine.GetSpeed() == 1.0; }));
    const double expected[] = {16, 32, 64, 128, 256, 256};
    for (const double speed : expected) {
        engine.FastForward();
        EXPECT_EQ(engine.GetSpeed(), speed);
        ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePlay; }));
    }
    engine.Pause();
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause; }));
    engine.FastForward();
    EXPECT_EQ(engine.GetSpeed(), 16.0);

    // The requested speed plays at once below the fast speeds.
    engine.Play(1);
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePlay; }));
    engine.SetRequestedSpeed(1.5);
    EXPECT_EQ(engine.GetSpeed(), 1.5);
    engine.SetRequestedSpeed(99);
    EXPECT_EQ(engine.GetRequestedSpeed(), 16.0);
    engine.SetRequestedSpeed(0);
    EXPECT_EQ(engine.GetRequestedSpeed(), 0.1);

    // Speeds are whole tenths: five steps up from 1.0 are 1.5, and down and up again is 1.0 exactly.
    engine.SetRequestedSpeed(1.0);
    for (int i = 0; i < 5; ++i) engine.SetRequestedSpeed(engine.GetRequestedSpeed() + 0.1);
    EXPECT_EQ(engine.GetSpeed(), 1.5);
    for (int i = 0; i < 6; ++i) engine.SetRequestedSpeed(engine.GetRequestedSpeed() - 0.1);
    engine.SetRequestedSpeed(engine.GetRequestedSpeed() + 0.1);
    EXPECT_EQ(engine.GetSpeed(), 1.0);
    // Fast forward, one step slower, then Play: the requested speed, not a fast one left over.
    engine.FastForward();
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePlay; }));
    engine.SetRequestedSpeed(engine.GetRequestedSpeed() - 0.1);
    EXPECT_EQ(engine.GetSpeed(), 0.9);
    engine.Play(engine.GetRequestedSpeed());
    EXPECT_EQ(engine.GetSpeed(), 0.9);
    // A newly opened recording starts at 1.0.
    engine.FastForward();
    ASSERT_TRUE(engine.OpenSource(Write(records, 20), false));
    EXPECT_EQ(engine.GetSpeed(), 1.0);
    EXPECT_EQ(engine.GetRequestedSpeed(), 1.0);
}

TEST(EnginePacing, RecordingTimeFollowsPageTimesAndFrameIntervals)
{
    EXPECT_EQ(FramePeriodFor(224, 0), 33333);
    EXPECT_EQ(FramePeriodFor(224, 4), 16666);
    EXPECT_EQ(FramePeriodFor(272, 2), 25000);
    EXPECT_EQ(FramePeriodFor(272, 6), 12500);
    EXPECT_EQ(MediaEngine::SplitForChannels(8), 9);
    EXPECT_EQ(MediaEngine::SplitForChannels(10), 16);
    EXPECT_EQ(MediaEngine::SplitForChannels(1), 1);
    EXPECT_EQ(MediaEngine::SplitForChannels(3), 4);
    EXPECT_STREQ(StateText(kStatePlay), "PLAY ");
    EXPECT_STREQ(StateText(kStateSearch), "SEARCH");

    MediaClock clock;
    // Forward: pictures 66 ms apart within a second; a nominal step past the page's second is
    // held back to that second, and the next page's second pulls the time up to its start.
    EXPECT_EQ(clock.Place(100, 0, true), 100000000);
    EXPECT_TRUE(clock.Restarted());
    clock.Anchor(clock.Last(), 5000.0, 2.0, true);
    EXPECT_EQ(clock.Place(100, 66666, true), 100066666);
    EXPECT_FALSE(clock.Restarted());
    EXPECT_DOUBLE_EQ(clock.DueMs(100066666), 5000.0 + 66.666 / 2);
    for (int i = 0; i < 20; ++i) clock.Place(100, 66666, true);
    EXPECT_EQ(clock.Last(), 100999999);
    EXPECT_EQ(clock.Place(102, 66666, true), 102000000);
    EXPECT_EQ(clock.MediaAt(6000.0), 102000000);
    // A frame interval longer than the wait allowed is still held within the page's second.
    EXPECT_EQ(clock.Place(102, 2500000, true), 102999999);
    EXPECT_EQ(clock.Place(102, 2500000, true), 102999999);
    EXPECT_FALSE(clock.Restarted());
    // A gap far longer than the speed can wait out starts the clock again at its page.
    EXPECT_EQ(clock.Place(200, 66666, true), 200000000);
    EXPECT_TRUE(clock.Restarted());

    // Backward the time runs down, held within each page's second.
    clock.Reset();
    EXPECT_EQ(clock.Place(300, 0, false), 300999999);
    clock.Anchor(clock.Last(), 0.0, 1.0, false);
    EXPECT_EQ(clock.Place(300, 100000, false), 300899999);
    EXPECT_DOUBLE_EQ(clock.DueMs(300899999), 100.0);
    EXPECT_EQ(clock.Place(299, 100000, false), 299999999);
}

TEST_F(EngineTest, StepPassesOverSoundAndHiddenChannels)
{
    engine.SetChannelShown(1, false);
    // The first picture's page asks for a long pause, so the test can pause while it lasts.
    const std::vector<Bytes> records = {Picture(0, 10), Sound(0, 200), Sound(0, 200), Picture(1, 40), Picture(2, 90),
                                        Picture(3, 120)};
    ASSERT_TRUE(engine.OpenSource(Write(records, 127), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 1; }));
    engine.Pause();
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause; }));
    engine.StepForward();
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 2 && State() == kStatePause; }));
    EXPECT_EQ(recorder.shown[1].channel, 2);
    EXPECT_NE(std::find(recorder.states.begin(), recorder.states.end(), kStateStepForward), recorder.states.end());

    // Back: the picture before it that is shown is channel 0's.
    engine.StepBack();
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 3 && State() == kStatePause; }));
    EXPECT_EQ(recorder.shown[2].channel, 0);
}

TEST_F(EngineTest, ReversePlayShowsEachPictureOnceBackToTheStart)
{
    std::vector<Bytes> records;
    for (int i = 0; i < 8; ++i) records.push_back(Picture(i % 4, 16 + 25 * i));
    ASSERT_TRUE(engine.OpenSource(Write(records), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 8 && State() == kStatePause; }));
    engine.PlayReverse(1);
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() >= 15 && State() == kStatePause; }));
    // Reverse play begins with the picture before the one on screen, then each one before it, once.
    ASSERT_EQ(recorder.shown.size(), 15u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(recorder.shown[8 + i].md5, recorder.shown[6 - i].md5) << i;
}

TEST_F(EngineTest, SeekShowsEveryChannelsPictureAtTheTargetAndPauses)
{
    std::vector<Bytes> records;
    for (int i = 0; i < 30; ++i) records.push_back(Picture(i % 8, 30 + 5 * i));
    ASSERT_TRUE(engine.OpenSource(Write(records, 127), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 1; }));
    engine.Seek(engine.GetSize() / 2);
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 9 && State() == kStatePause; }));
    EXPECT_GT(engine.GetPosition(), engine.GetSize() / 2);
    // Each channel's last picture at the target, oldest first: eight pictures in a row.
    std::set<int> channels;
    for (std::size_t i = 1; i < 9; ++i) channels.insert(recorder.shown[i].channel);
    EXPECT_EQ(channels.size(), 8u);
    for (std::size_t i = 2; i < 9; ++i) EXPECT_EQ(recorder.shown[i].channel, (recorder.shown[i - 1].channel + 1) % 8);

    // A target beyond the end reads nothing and pauses where it is.
    const std::uint64_t before = engine.GetPosition();
    engine.Seek(engine.GetSize());
    ASSERT_TRUE(recorder.WaitFor([&] {
        return std::count(recorder.states.begin(), recorder.states.end(), kStateSearch) == 2 && State() == kStatePause;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ShownCount(), 9u);
    EXPECT_EQ(engine.GetPosition(), before);
}

TEST_F(EngineTest, DualPicturesShowBothHalvesAsTheirChannels)
{
    engine.Initialize(5, 8);
    engine.SetMode(kClientMode, 5, 1);
    engine.SetMode(kPlayerMode, 5, 9);
    engine.Window().SetSplit(9, 0);
    const std::vector<Bytes> records = {Picture(2, 60, 5, true, 3), Picture(4, 60, 5, true, 5, true), Picture(6, 9, 5)};
    ASSERT_TRUE(engine.OpenSource(Write(records, 0, 5), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause && recorder.shown.size() >= 4; }));
    ASSERT_EQ(recorder.shown.size(), 4u);
    EXPECT_EQ(recorder.shown[0].channel, 2);
    EXPECT_EQ(recorder.shown[0].width, 320);
    EXPECT_EQ(recorder.shown[1].channel, 3);
    EXPECT_EQ(recorder.shown[2].channel, 4);  // its right half is hidden
    EXPECT_EQ(recorder.shown[3].channel, 6);
    EXPECT_EQ(recorder.shown[3].width, 640);
}

TEST_F(EngineTest, ModelFivePlaysOnlyTheSelectedChannelsSound)
{
    engine.Initialize(5, 8);
    engine.SetMode(kClientMode, 5, 1);
    engine.SetMode(kPlayerMode, 5, 9);
    engine.Window().SetSplit(1, 1);  // channel 1 alone
    device.position.store(0);
    const std::vector<Bytes> records = {Sound(0, 300), Sound(1, 500), Sound(2, 700), Sound(1, 100), Picture(0, 50, 5)};
    ASSERT_TRUE(engine.OpenSource(Write(records, 0, 5), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause; }));
    EXPECT_EQ(engine.Audio().WrittenCounter(), 600u);
}

TEST_F(EngineTest, AviCaptureTakesTheSoundThatIsPlayedAndTheLastPictureSize)
{
    engine.Initialize(6, 8);
    engine.SetMode(kClientMode, 6, 1);
    engine.SetMode(kPlayerMode, 6, 9);
    int width = 0, height = 0;
    EXPECT_FALSE(engine.CaptureFrameSize(width, height));  // no picture decoded yet
    const std::string avi = dir.Path("capture.avi");
    ASSERT_EQ(engine.StartCapture(avi, 640, 448, false), kCaptureOk);
    EXPECT_TRUE(engine.IsCapturing());
    // Model type 6 plays, and captures, audio channel 0 only.
    const std::vector<Bytes> records = {Picture(0, 50, 6), Sound(0, 300), Sound(1, 500), Sound(0, 100),
                                        Picture(1, 60, 6)};
    ASSERT_TRUE(engine.OpenSource(Write(records, 0, 6), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause; }));
    EXPECT_EQ(engine.Audio().WrittenCounter(), 400u);
    ASSERT_TRUE(engine.CaptureFrameSize(width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 448);
    // 60 records a second shared by the eight channels of the page mask, at most 30.
    EXPECT_EQ(engine.CaptureFramesPerSecond(false), 7);

    const std::vector<std::uint8_t> frame(640 * 448 * 3, 0x40);
    EXPECT_EQ(engine.CaptureWriter().WriteCaptureFrame(frame.data(), frame.size(), 1), kCaptureWritten);
    EXPECT_EQ(engine.StopCapture(), kCaptureOk);
    EXPECT_FALSE(engine.IsCapturing());
    EXPECT_EQ(engine.CaptureWriter().SoundSamplesWritten(), 400);
    EXPECT_EQ(engine.CaptureWriter().FramesWritten(), 1);
    EXPECT_GT(test::ReadFile(avi).size(), frame.size());
    EXPECT_EQ(engine.StopCapture(), kCaptureNotRecording);
}

TEST_F(EngineTest, ModeChangesStopTheWorker)
{
    std::vector<Bytes> records;
    for (int i = 0; i < 3; ++i) records.push_back(Picture(i, 50));
    ASSERT_TRUE(engine.OpenSource(Write(records, 127), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePlay; }));
    EXPECT_TRUE(engine.SetMode(kPlayerMode, 4, 9));  // already in force: nothing changes
    EXPECT_EQ(State(), kStatePlay);
    EXPECT_TRUE(engine.SetMode(kClientMode, 4, 1));
    EXPECT_EQ(State(), kStateReady);
    EXPECT_FALSE(engine.IsSourceOpen());
    EXPECT_EQ(engine.Window().GetChannelCount(), 1);
    EXPECT_FALSE(engine.SetMode(3, 4, 1));
}

TEST_F(EngineTest, EveryPictureShownIsTheOneDecodingInOrderGives)
{
    sim::SampleOptions options;
    options.channels = 4;
    options.seconds = 40;
    const DecodedSample sample = MakeDecodedSample(dir, options);
    engine.SetRepeat(true);
    ASSERT_TRUE(engine.OpenSource(sample.path, false));
    auto more = [&](std::size_t n) {
        const std::size_t target = ShownCount() + n;
        return recorder.WaitFor([&] { return recorder.shown.size() >= target; }, 20000);
    };
    auto step = [&](bool forward) {
        const std::size_t target = ShownCount() + 1;
        forward ? engine.StepForward() : engine.StepBack();
        return recorder.WaitFor([&] { return recorder.shown.size() >= target && State() == kStatePause; });
    };
    auto seek = [&](std::uint64_t offset) {
        const auto searches = std::count(recorder.states.begin(), recorder.states.end(), kStateSearch);
        engine.Seek(offset);
        return recorder.WaitFor([&] {
            return std::count(recorder.states.begin(), recorder.states.end(), kStateSearch) > searches &&
                   State() == kStatePause;
        });
    };
    ASSERT_TRUE(more(10));
    // At a seek every channel's picture there; steps both ways; reverse play; play after fast
    // forward and after fast rewind; and Repeat going round to the start.
    const std::size_t before = ShownCount();
    ASSERT_TRUE(seek(engine.GetSize() / 2));
    EXPECT_GE(ShownCount(), before + 4);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(step(false)) << i;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(step(true)) << i;
    engine.PlayReverse(1);
    ASSERT_TRUE(more(25));
    engine.Play(1);
    ASSERT_TRUE(more(10));
    engine.FastForward();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    engine.Play(1);
    ASSERT_TRUE(more(10));
    engine.FastRewind();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    engine.Play(1);
    ASSERT_TRUE(more(10));
    ASSERT_TRUE(seek(engine.GetSize() - 40000));
    engine.Play(2);
    ASSERT_TRUE(more(40));

    std::lock_guard<std::mutex> lock(recorder.mutex);
    int mixtures = 0;
    for (const Shown& shown : recorder.shown) mixtures += sample.pictures.count({shown.channel, shown.md5}) == 0;
    EXPECT_EQ(mixtures, 0) << "of " << recorder.shown.size();
}

TEST_F(EngineTest, SoundNeverHoldsUpPicturesAndStopsWithTheSource)
{
    // The device never plays: the ring fills up and stays full.
    const std::vector<Bytes> records = {Picture(0, 10), Sound(0, 40000, 0x40), Picture(1, 40), Sound(0, 3000, 0x40),
                                        Picture(2, 70), Picture(3, 100)};
    ASSERT_TRUE(engine.OpenSource(Write(records), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause && recorder.shown.size() == 4; }));
    EXPECT_EQ(engine.Audio().WrittenCounter(), kAudioRingSize - kAudioMinimumFill);
    engine.CloseSource();
    // Nothing written plays again: the device is paused and the ring holds silence.
    EXPECT_TRUE(device.paused.load());
    const std::uint8_t* ring = engine.Audio().Ring();
    EXPECT_TRUE(std::all_of(ring, ring + kAudioRingSize, [](std::uint8_t b) { return b == 0x80; }));
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAMLOREX_SLOW_BUILD 1
#endif

// The recording's clock on screen runs at the chosen speed, forward and backward, at normal and
// fast speeds (measured between the pictures shown, in real time).
TEST_F(EngineTest, TheClockShownRunsAtTheChosenSpeed)
{
#ifdef TAMLOREX_SLOW_BUILD
    GTEST_SKIP() << "real-time speeds need an optimised build";
#endif
    sim::SampleOptions options;
    options.channels = 2;
    options.seconds = 300;
    options.interval = 15;
    const DecodedSample sample = MakeDecodedSample(dir, options);
    ASSERT_TRUE(engine.OpenSource(sample.path, false));
    auto measure = [&](double speed, int ms) {
        const double from = WallMs() + 300;  // the speed settles
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        std::lock_guard<std::mutex> lock(recorder.mutex);
        const Shown* first = nullptr;
        const Shown* last = nullptr;
        for (const Shown& s : recorder.shown) {
            if (s.wall < from) continue;
            if (!first) first = &s;
            last = &s;
        }
        ASSERT_TRUE(first && last && first != last) << speed << "x: " << recorder.shown.size() << " shown, state " << State();
        const double wall = (last->wall - first->wall) / 1000.0;
        const double clock = std::abs(last->clock - first->clock);
        // Page times count whole seconds: a second either way on top of the 10%.
        EXPECT_NEAR(clock, speed * wall, 0.1 * speed * wall + 1.5) << speed << "x over " << wall << " s";
    };
    engine.Play(4);
    measure(4, 2300);
    engine.FastForward();
    measure(16, 2300);
    engine.FastForward();
    engine.FastForward();
    measure(64, 2300);
    engine.FastRewind();
    measure(16, 2300);
    engine.FastRewind();
    engine.FastRewind();
    measure(64, 1300);
    engine.PlayReverse(4);
    measure(4, 2300);
}

}  // namespace
}  // namespace tamlorex
