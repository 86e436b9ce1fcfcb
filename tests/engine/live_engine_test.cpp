#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "audio/null_audio_device.h"
#include "engine/media_engine.h"
#include "net/control_packet.h"
#include "net/fake_recorder.h"
#include "platform/notifier.h"
#include "sim/picture_encoder.h"

namespace tamlorex {
namespace {

using testing::FakeRecorder;
using Bytes = std::vector<std::uint8_t>;

class Quiet : public Notifier {
public:
    void Post(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
};

class Counter : public EngineObserver {
public:
    void OnStateChanged(int, double) override {}
    void OnPictureShown(int, const CalendarTime&, const std::uint8_t*, int, int) override {}
    void OnLivePicture(bool, const std::uint8_t*, int, int) override { ++pictures; }
    std::atomic<int> pictures{0};
};

// Streams full model-2 pictures every 20 ms until the client goes.
FakeRecorder::Session Streaming()
{
    sim::PictureHeader header;
    header.modelType = 2;
    const Bytes picture = sim::EncodePicture(header, sim::YuvImage(sim::kPictureWidth, sim::kShortHeight, 90)).record;
    return [picture](FakeRecorder& r, int fd, int) {
        if (r.ReadPacket(fd, 3000).empty()) return;
        FakeRecorder::Send(fd, ControlPacket::Build(kLoginReplyAccepted, {}));
        while (FakeRecorder::Send(fd, picture) && r.Sleep(20)) {}
    };
}

TEST(LiveEngine, ConnectsOnlyInClientModeAndRecordsWithoutOverwriting)
{
    FakeRecorder recorder(Streaming());
    NullAudioDevice device;
    Quiet quiet;
    MediaEngine engine(device, nullptr, &quiet);
    Counter counter;
    engine.Initialize(2, 1);
    engine.SetObserver(&counter);
    ASSERT_TRUE(engine.SetMode(kPlayerMode, 2, 1));
    EXPECT_FALSE(engine.ConnectClient("127.0.0.1", recorder.Port(), "secret"));
    ASSERT_TRUE(engine.SetMode(kClientMode, 2, 1));
    ASSERT_TRUE(engine.ConnectClient("127.0.0.1", recorder.Port(), "secret"));

    char folder[] = "/tmp/tamlorex-live-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/a.VVF";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!engine.IsOnline() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(engine.IsOnline());
    // Start and stop race the worker's writes; every start gets a file of its own.
    // Each recording gets a few pictures (all of them full) before the next start.
    auto fewMorePictures = [&] {
        const int target = counter.pictures.load() + 3;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (counter.pictures.load() < target && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(engine.StartLocalRecording(path));
        paths.push_back(engine.GetLocalRecordingPath());
        fewMorePictures();
    }
    EXPECT_EQ(paths[0], path);
    EXPECT_EQ(paths[1], std::string(folder) + "/a-1.VVF");
    EXPECT_EQ(paths[4], std::string(folder) + "/a-4.VVF");
    EXPECT_TRUE(engine.StopLocalRecording());
    EXPECT_FALSE(engine.StopLocalRecording());
    ASSERT_TRUE(engine.StartLocalRecording(path));
    fewMorePictures();
    engine.DisconnectClient();  // closes the recording
    EXPECT_FALSE(engine.IsLocalRecording());
    EXPECT_EQ(engine.GetConnState(), kConnIdle);
    EXPECT_GT(counter.pictures.load(), 5);
    paths.push_back(std::string(folder) + "/a-5.VVF");
    for (const std::string& p : paths) {
        struct stat st {};
        ASSERT_EQ(stat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(st.st_size % 4096, 0) << p;
        EXPECT_GT(st.st_size, 0) << p;
        std::remove(p.c_str());
    }
    rmdir(folder);
    engine.SetObserver(nullptr);
}

}  // namespace
}  // namespace tamlorex
