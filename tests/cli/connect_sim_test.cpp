// The viewer's Client mode against the recorder simulator, both as programs on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "export/export_test_util.h"
#include "cli/sim_process.h"
#include "media/vvf_builder.h"

namespace tamlorex {
namespace {

int RunShell(const std::string& command)
{
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

using test::ReadText;
using test::StartSimulator;

// The recorder also stops its pictures for 1.5 s (its sound goes on): a stall, then pictures again.
TEST(ConnectToSimulator, LogsInReceivesPicturesAndSendsKeys)
{
    test::TempDir dir;
    const std::string log = dir.Path("serve.log");
    const int port = StartSimulator(log, "--password secret --seconds 8 --picture-gap 1,1.5");
    ASSERT_GT(port, 0) << ReadText(log);
    const std::string out = dir.Path("connect.out");
    const std::string recording = dir.Path("live.vvf");
    // The address as a host name: looked up on the client's thread.
    const int status = RunShell(std::string(TAMLOREX_CLI_PATH) + " connect --ip localhost --port " +
                                std::to_string(port) + " --password secret --seconds 3 --null-audio --keys 21 --stall 0.5 --record " +
                                recording + " > " + out + " 2>&1");
    const std::string lines = ReadText(out);
    EXPECT_EQ(status, 0) << lines;
    EXPECT_NE(lines.find("\"state\":3"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\"picture\":3,"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\"audio\":"), std::string::npos);
    // Each stall ends with a picture; the recorder's own (a load on the machine may add a short one)
    // lasts from some 0.5 s after its last picture to the end of the gap, about a second later.
    const auto time = [&](std::size_t at) { return std::atoll(lines.c_str() + lines.rfind("{\"t\":", at) + 5); };
    long long longest = 0;
    for (auto stalled = lines.find(",\"stalled\":"); stalled != std::string::npos;
         stalled = lines.find(",\"stalled\":", stalled + 1)) {
        EXPECT_NE(lines.rfind("\"picture\":", stalled), std::string::npos) << lines;
        const auto resumed = lines.find(",\"resumed\":1}\n", stalled);
        ASSERT_NE(resumed, std::string::npos) << lines;
        EXPECT_NE(lines.find("\"picture\":", resumed), std::string::npos) << lines;
        EXPECT_GE(std::atof(lines.c_str() + stalled + 11), 0.5) << lines;
        longest = std::max(longest, time(resumed) - time(stalled));
    }
    EXPECT_GE(longest, 600) << lines;

    // The recording plays back: its pictures decode in the stored form of model type 2.
    const std::string decoded = dir.Path("decoded.out");
    EXPECT_EQ(RunShell(std::string(TAMLOREX_CLI_PATH) + " decode " + recording + " --model 2 > " + decoded), 0);
    const std::string pictures = ReadText(decoded);
    EXPECT_NE(pictures.find("\"full\":1"), std::string::npos) << pictures.substr(0, 400);
    EXPECT_EQ(pictures.find("\"rejected\""), std::string::npos);

    // The simulator saw the key once the client was online.
    for (int i = 0; i < 120 && ReadText(log).find("\"stopped\"") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(ReadText(log).find("\"key\":21"), std::string::npos) << ReadText(log);
}

// "Save AVI" in Client mode: every shown picture, or at low speed one per tick of the 40 ms timer,
// as 24-bit frames of twice the picture's height, with the sound.
TEST(ConnectToSimulator, SavesTheLivePictureAsAvi)
{
    test::TempDir dir;
    const std::string log = dir.Path("serve.log");
    const int port = StartSimulator(log, "--password secret --seconds 12 --model 2");
    ASSERT_GT(port, 0) << ReadText(log);
    for (const bool lowSpeed : {false, true}) {
        SCOPED_TRACE(lowSpeed ? "low speed" : "full speed");
        const std::string out = dir.Path("connect.out");
        const std::string avi = dir.Path(lowSpeed ? "low.avi" : "full.avi");
        const int status = RunShell(std::string(TAMLOREX_CLI_PATH) + " connect --ip 127.0.0.1 --port " +
                                    std::to_string(port) + " --password secret --seconds 2.5 --null-audio --avi " +
                                    avi + (lowSpeed ? " --low-speed" : "") + " > " + out + " 2>&1");
        const std::string lines = ReadText(out);
        ASSERT_EQ(status, 0) << lines;
        ASSERT_NE(lines.find("\"avi\":\"" + avi + "\",\"frames\":"), std::string::npos) << lines;
        const test::ProbeResult probe(avi);
        EXPECT_EQ(probe["v.codec_name"], "rawvideo");
        EXPECT_EQ(probe["v.width"], "640");
        EXPECT_EQ(probe["v.height"], "448");
        EXPECT_EQ(probe["v.r_frame_rate"], lowSpeed ? "25/1" : "30/1");
        EXPECT_GT(std::atoi(probe["v.nb_read_frames"].c_str()), 10) << lines;
        // The simulated recorder's model type 2 sound: A-law at 8000 samples a second.
        EXPECT_EQ(probe["a.codec_name"], "pcm_alaw");
        EXPECT_EQ(probe["a.sample_rate"], "8000");
        EXPECT_TRUE(test::ReadsCleanly(avi));
    }
}

TEST(ConnectToSimulator, WrongPasswordEndsWithTheLoginFailure)
{
    test::TempDir dir;
    const std::string log = dir.Path("serve.log");
    const int port = StartSimulator(log, "--password secret --seconds 5");
    ASSERT_GT(port, 0) << ReadText(log);
    const std::string out = dir.Path("connect.out");
    const int status = RunShell(std::string(TAMLOREX_CLI_PATH) + " connect --ip 127.0.0.1 --port " +
                                std::to_string(port) + " --password wrong --seconds 4 --null-audio > " + out + " 2>&1");
    EXPECT_EQ(status, 4) << ReadText(out);
    EXPECT_NE(ReadText(out).find("\"message\":\"0x2A6B\""), std::string::npos) << ReadText(out);
}

// A recorder that sends garbage, oversized and cut-short units, falls silent and disconnects:
// the client reconnects on its own, decodes the pictures in between and ends normally.
TEST(ConnectToSimulator, SurvivesAHostileRecorder)
{
    test::TempDir dir;
    const std::string log = dir.Path("serve.log");
    const int port = StartSimulator(log, "--password secret --seconds 9 --hostile --hostile-seed 2 --hostile-timeout 1");
    ASSERT_GT(port, 0) << ReadText(log);
    const std::string out = dir.Path("connect.out");
    const int status = RunShell(std::string(TAMLOREX_CLI_PATH) + " connect --ip 127.0.0.1 --port " + std::to_string(port) +
                                " --password secret --seconds 6 --timeout 1 --null-audio > " + out + " 2>&1");
    const std::string lines = ReadText(out);
    EXPECT_EQ(status, 0) << lines;
    const auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_GE(count(ReadText(log), "\"hostile\":\""), 3) << ReadText(log);
    // Online again after a reconnection, with pictures decoded after it.
    const auto online = lines.find("\"state\":3}");
    ASSERT_NE(online, std::string::npos) << lines;
    const auto again = lines.find("\"state\":3}", online + 1);
    ASSERT_NE(again, std::string::npos) << lines;
    EXPECT_GE(count(lines, "\"state\":1}"), 2) << lines;
    EXPECT_NE(lines.find("\"picture\":", again), std::string::npos) << lines;
    EXPECT_GE(count(lines, "\"picture\":"), 25) << lines;
}

}  // namespace
}  // namespace tamlorex
