#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "net/control_packet.h"
#include "media/vvf_builder.h"
#include "net/fake_recorder.h"
#include "run_command.h"
#include "sim/audio_encode.h"
#include "sim/picture_encoder.h"

namespace tamlorex {
namespace {

using testing::FakeRecorder;
using Bytes = std::vector<std::uint8_t>;

std::string Capture(const std::string& command, int& status) { return test::RunCommand(command, &status); }

std::vector<std::string> Matching(const std::string& text, const std::string& needle)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.find(needle) != std::string::npos) lines.push_back(line);
    return lines;
}

std::string Connect(int port, const std::string& extra, int& status)
{
    return Capture(std::string(TAMLOREX_CLI_PATH) + " connect --ip 127.0.0.1 --port " + std::to_string(port) +
                       " --password secret --null-audio " + extra,
                   status);
}

// Live pictures of the model-2 layout (frame number in bytes 5-6), a full one first and then
// updates, each followed by an A-law sound block, about 25 a second.
std::vector<Bytes> LiveUnits(int pictures)
{
    std::vector<Bytes> units;
    sim::YuvImage previous;
    sim::ToneGenerator tone(sim::AudioFormatOfModel(2), 1000, 0.5);
    for (int i = 0; i < pictures; ++i) {
        sim::YuvImage image(sim::kPictureWidth, sim::kShortHeight, 60);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                image.Y()[y * image.width + x] = static_cast<std::uint8_t>((x + y + i * 8) & 0xFF);
        sim::PictureHeader header;
        header.modelType = 2;
        header.full = i % 10 == 0;
        header.extra = static_cast<std::uint16_t>(i);
        auto encoded = sim::EncodePicture(header, image, header.full ? nullptr : &previous, 4);
        units.push_back(encoded.record);
        Bytes sound = {0x00, 0x00, 0x01, 0xFA, 0x00, 0x00};
        const auto samples = tone.Next(320);
        sound.insert(sound.end(), samples.begin(), samples.end());
        units.push_back(sound);
        previous = image;
    }
    return units;
}

TEST(ConnectCommand, ReceivesDecodesSendsKeysAndRecords)
{
    const auto units = LiveUnits(40);
    std::mutex mutex;
    Bytes afterLogin;
    FakeRecorder recorder([&](FakeRecorder& r, int fd, int index) {
        if (index > 0 || r.ReadPacket(fd, 3000) != ControlPacket::Login("secret")) return;
        FakeRecorder::Send(fd, ControlPacket::Build(kLoginReplyAccepted, {}));
        for (std::size_t i = 0; i < units.size(); ++i) {
            FakeRecorder::Send(fd, units[i]);
            if (i == 21) FakeRecorder::Send(fd, ControlPacket::Build(MSG_STATUS, {1}));
            if (i % 2 == 1 && !r.Sleep(40)) break;
        }
        FakeRecorder::Send(fd, {0x00, 0x00, 0x01, 0xF9});  // ends the last picture
        Bytes got;
        r.WaitClosed(fd, 5000, &got);
        std::lock_guard<std::mutex> lock(mutex);
        afterLogin = got;
    });
    char folder[] = "/tmp/tamlorex-connect-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/live.VVF";
    int status = -1;
    const std::string out = Connect(recorder.Port(), "--seconds 2.5 --record " + file + " --keys 21,5 --mouse 0", status);
    recorder.Stop();
    EXPECT_EQ(status, 0) << out;

    const auto states = Matching(out, "\"state\"");
    ASSERT_EQ(states.size(), 4u) << out;
    EXPECT_NE(states[0].find("\"state\":1}"), std::string::npos);
    EXPECT_NE(states[2].find("\"state\":3}"), std::string::npos);
    EXPECT_NE(states[3].find("\"state\":0}"), std::string::npos);
    EXPECT_EQ(Matching(out, "\"message\":\"0x2A68\"").size(), 1u);
    const auto pictures = Matching(out, "\"picture\"");
    ASSERT_EQ(pictures.size(), 40u) << out;
    EXPECT_EQ(pictures[0].find("{\"t\":"), 0u);
    EXPECT_NE(pictures[0].find("\"picture\":0,\"full\":1,\"width\":640,\"height\":224,\"md5\":\""), std::string::npos);
    EXPECT_NE(pictures[1].find("\"full\":0"), std::string::npos);
    EXPECT_GE(Matching(out, "\"audio\":320").size(), 30u);
    EXPECT_TRUE(Matching(out, "\"error\"").empty()) << out;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const Bytes expected = [] {
            Bytes b = ControlPacket::Key(21), k2 = ControlPacket::Key(5), bye = ControlPacket::Logout();
            b.insert(b.end(), k2.begin(), k2.end());
            b.insert(b.end(), bye.begin(), bye.end());
            return b;
        }();
        EXPECT_EQ(afterLogin, expected);
    }

    // The recording: whole pages that the reader and the decoder read back, a full picture first.
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_GT(st.st_size, 0);
    EXPECT_EQ(st.st_size % 4096, 0);
    const std::string records = Capture(std::string(TAMLOREX_CLI_PATH) + " records " + file + " --model 2", status);
    EXPECT_EQ(status, 0);
    // Every picture reads back, the last one too.
    const auto video = Matching(records, "\"audio\":0");
    EXPECT_EQ(video.size(), 40u) << records;
    EXPECT_GE(Matching(records, "\"audio\":1").size(), 30u);
    const std::string decoded = Capture(std::string(TAMLOREX_CLI_PATH) + " decode " + file + " --model 2", status);
    EXPECT_EQ(status, 0);
    const auto lines = Matching(decoded, "\"i\":");
    ASSERT_EQ(lines.size(), 40u) << decoded;
    EXPECT_NE(lines[0].find("\"full\":1"), std::string::npos);
    EXPECT_TRUE(Matching(decoded, "rejected").empty());
    std::remove(file.c_str());
    rmdir(folder);
}

TEST(ConnectCommand, ExitStatusFollowsTheNotifications)
{
    struct Case {
        Bytes reply;
        std::string extra;
        int status;
        const char* line;
    };
    const Case cases[] = {
        {ControlPacket::Build(kLoginReplyRefused, {kRefusalBadPassword}), "", 4, "\"error\":\"Incorrect password.\""},
        {ControlPacket::Build(kLoginReplyAccepted, {}), "", 2, "\"message\":\"0x2A69\""},
        {ControlPacket::Build(kLoginReplyAccepted, {}), "--timeout 0.3 --no-reconnect", 3, "\"message\":\"0x2A6A\""},
    };
    for (const Case& c : cases) {
        FakeRecorder recorder([&](FakeRecorder& r, int fd, int) {
            if (r.ReadPacket(fd, 3000).empty()) return;
            FakeRecorder::Send(fd, c.reply);
            if (c.status == 2) FakeRecorder::Send(fd, ControlPacket::Build(MSG_SERVER_CLOSED, {}));
            r.WaitClosed(fd, 5000);
        });
        int status = -1;
        const std::string out = Connect(recorder.Port(), c.extra + " --seconds 5", status);
        recorder.Stop();
        EXPECT_EQ(status, c.status) << out;
        EXPECT_EQ(Matching(out, c.line).size(), 1u) << out;
    }
}

TEST(ConnectCommand, AnUnknownHostNameEndsAtOnceWithItsReason)
{
    test::TempDir dir;
    const std::string err = dir.Path("err.txt");
    int status = -1;
    const auto start = std::chrono::steady_clock::now();
    const std::string out = Capture(std::string(TAMLOREX_CLI_PATH) +
                                        " connect --ip no-such-host.invalid --password secret --null-audio --seconds 5 2>" + err,
                                    status);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(status, 5) << out;
    EXPECT_EQ(Matching(out, "\"message\":\"0x2A6C\"").size(), 1u) << out;
    EXPECT_EQ(Matching(out, "\"state\":1}").size(), 1u) << out;  // one attempt
    const test::Bytes bytes = test::ReadFile(err);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.rfind("tamlorex: The recorder address \"no-such-host.invalid\" could not be found (", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

}  // namespace
}  // namespace tamlorex
