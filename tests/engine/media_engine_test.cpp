#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_device.h"
#include "engine/media_engine.h"
#include "media/vvf_builder.h"
#include "platform/md5.h"
#include "sim/audio_encode.h"
#include "sim/picture_encoder.h"

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
    bool Pause() override { return true; }
    bool Restart() override { return true; }
    bool SetVolume(std::uint32_t) override { return true; }
    bool IsOpen() const override { return open; }
    void Lock() override {}
    void Unlock() override {}
    std::atomic<bool> open{false};
    std::atomic<std::uint32_t> position{0};
};

struct Shown {
    int channel;
    int width;
    std::string md5;
};

class Recorder : public EngineObserver {
public:
    void OnStateChanged(int state, double speed) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        states.push_back(state);
        speeds.push_back(speed);
        changed.notify_all();
    }
    void OnPictureShown(int channel, const CalendarTime&, const std::uint8_t* yuv, int width, int height) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back({channel, width, Md5::Hex(yuv, static_cast<std::size_t>(width) * height * 3 / 2)});
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

Bytes Sound(int channel, std::size_t n) { return sim::MakeAudioRecord(channel, std::vector<std::uint8_t>(n, 0x80)); }

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

    // Pages with the given frame interval; a closing start code makes the last record readable.
    std::string Write(const std::vector<Bytes>& records, std::uint8_t interval = 0, int model = 4)
    {
        test::VvfBuilder b(model);
        b.Fields([interval](std::size_t n) { return test::PageFields{1230000000 + static_cast<std::uint32_t>(n), 0xFF, interval}; });
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
}

TEST(EnginePacing, TargetsAndFramePeriods)
{
    EXPECT_EQ(MediaEngine::PaceTargetMs(3, 33333, 1.0), 133u);
    EXPECT_EQ(MediaEngine::PaceTargetMs(0, 16666, 2.0), 8u);
    EXPECT_EQ(MediaEngine::PaceTargetMs(0, 33333, 0.1), 333u);
    EXPECT_EQ(MediaEngine::FramePeriodFor(224, 0), 33333);
    EXPECT_EQ(MediaEngine::FramePeriodFor(224, 4), 16666);
    EXPECT_EQ(MediaEngine::FramePeriodFor(272, 2), 25000);
    EXPECT_EQ(MediaEngine::FramePeriodFor(272, 6), 12500);
    EXPECT_EQ(MediaEngine::SplitForChannels(8), 9);
    EXPECT_EQ(MediaEngine::SplitForChannels(10), 16);
    EXPECT_EQ(MediaEngine::SplitForChannels(1), 1);
    EXPECT_EQ(MediaEngine::SplitForChannels(3), 4);
    EXPECT_STREQ(StateText(kStatePlay), "PLAY ");
    EXPECT_STREQ(StateText(kStateSearch), "SEARCH");
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
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() >= 16 && State() == kStatePause; }));
    // Forward play ended on empty reads at the end of the data, so reverse play begins with the
    // last picture, then each one before it, once.
    ASSERT_EQ(recorder.shown.size(), 16u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(recorder.shown[8 + i].md5, recorder.shown[7 - i].md5) << i;
}

TEST_F(EngineTest, FastForwardJumpsAhead)
{
    std::vector<Bytes> records;
    for (int i = 0; i < 150; ++i) records.push_back(Picture(i % 8, i + 20));
    const std::string path = Write(records);
    ASSERT_TRUE(engine.OpenSource(path, false));
    engine.FastForward();
    ASSERT_TRUE(recorder.WaitFor([&] { return State() == kStatePause; }, 20000));
    // At 16x every ninth picture is followed by a jump of 16 x 20480 bytes.
    EXPECT_LT(recorder.shown.size(), 100u);
    EXPECT_GE(engine.GetPosition() + 2 * kPageSize, engine.GetSize());
}

TEST_F(EngineTest, SeekShowsThePictureAtTheTargetAndPauses)
{
    std::vector<Bytes> records;
    for (int i = 0; i < 30; ++i) records.push_back(Picture(i % 8, 30 + 5 * i));
    ASSERT_TRUE(engine.OpenSource(Write(records, 127), false));
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 1; }));
    engine.Seek(engine.GetSize() / 2);
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.shown.size() == 2 && State() == kStatePause; }));
    EXPECT_GT(engine.GetPosition(), engine.GetSize() / 2);

    // A target beyond the end reads nothing and pauses where it is.
    const std::uint64_t before = engine.GetPosition();
    engine.Seek(engine.GetSize());
    ASSERT_TRUE(recorder.WaitFor([&] {
        return std::find(recorder.states.begin(), recorder.states.end(), kStateSearch) != recorder.states.end() &&
               State() == kStatePause;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ShownCount(), 2u);
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

}  // namespace
}  // namespace tamlorex
