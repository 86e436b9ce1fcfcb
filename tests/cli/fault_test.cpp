// Faults of the machine, met by the programs as a user would meet them: a disk that fills up (a
// file-size limit stands in for it), a process killed in the middle of writing. Every file keeps
// what was whole before the fault, and the fault is said.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "export/export_test_util.h"
#include "cli/sim_process.h"
#include "media/vvf_builder.h"

namespace tamlorex {
namespace {

using test::ReadText;
using test::StartSimulator;

constexpr std::size_t kFrameBytes = 640 * 448 * 3;  // an uncompressed exported picture
constexpr std::uint64_t kPage = 4096;

// The size of every video packet of the file, as the demuxer reads them.
std::vector<std::size_t> VideoPackets(const std::string& path)
{
    std::vector<std::size_t> sizes;
    std::istringstream lines(test::RunCommand("ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 '" +
                                              path + "'"));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) sizes.push_back(std::stoul(line));
    return sizes;
}

std::uint64_t FileSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::uint64_t>(in.tellg()) : 0;
}

// Record lines `tamlorex records` reads from a recording of the live stream (model type 2).
int RecordsReadBack(const std::string& path)
{
    int status = -1;
    const std::string out =
        test::RunCommand(std::string(TAMLOREX_CLI_PATH) + " records '" + path + "' --model 2 2>/dev/null", &status);
    int records = 0;
    for (std::size_t at = out.find("\"length\""); at != std::string::npos; at = out.find("\"length\"", at + 1)) ++records;
    return status == 0 ? records : -1;
}

// Runs the command in the background and kills it (SIGKILL) once `file` has grown to `bytes`.
void KillWhenGrown(const std::string& command, const std::string& file, std::uint64_t bytes)
{
    test::RunCommand(command + " >/dev/null 2>&1 & pid=$!; for i in $(seq 200); do [ $(stat -c %s '" + file +
                     "' 2>/dev/null || echo 0) -ge " + std::to_string(bytes) +
                     " ] && break; sleep 0.05; done; kill -9 $pid; wait $pid 2>/dev/null");
}

TEST(Faults, ExportOnAFullDiskAndKilledKeepsWholeFrames)
{
    test::TempDir dir;
    // A file-size limit of 10 MB: the eleventh picture would not fit.
    constexpr std::uint64_t kLimit = 10000000;
    int status = -1;
    const std::string out = test::RunCommand("prlimit --fsize=10000000 " + std::string(TAMLOREX_CLI_PATH) + " export " +
                                                 TAMLOREX_SAMPLE_PATH + " " + dir.Path("full.avi") +
                                                 " --channels 1 --no-audio 2>" + dir.Path("err.txt"),
                                             &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(ReadText(dir.Path("err.txt")).find("failed (File too large); it holds the whole frames"), std::string::npos)
        << ReadText(dir.Path("err.txt"));
    const std::string full = dir.Path("full-CH1.avi");
    EXPECT_LE(FileSize(full), kLimit);
    const std::vector<std::size_t> packets = VideoPackets(full);
    ASSERT_GE(packets.size(), 5u);
    for (const std::size_t size : packets) EXPECT_EQ(size, kFrameBytes);
    // The index and the headers agree with what the file holds.
    EXPECT_NE(out.find("\"frames\":" + std::to_string(packets.size()) + ","), std::string::npos) << out;
    EXPECT_TRUE(test::ReadsCleanly(full));
    EXPECT_EQ(test::RunCommand("ffprobe -v error -select_streams v -show_entries stream=nb_frames -of csv=p=0 '" + full + "'"),
              std::to_string(packets.size()) + "\n");

    // MP4 finishes its index after the refused packet too: a playable file of the pictures before.
    const std::string mp4 = test::RunCommand("prlimit --fsize=300000 " + std::string(TAMLOREX_CLI_PATH) + " export " +
                                                 TAMLOREX_SAMPLE_PATH + " " + dir.Path("full.mp4") + " --channels 1 2>" +
                                                 dir.Path("err.txt"),
                                             &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(ReadText(dir.Path("err.txt")).find("failed (File too large)"), std::string::npos);
    const std::string small = dir.Path("full-CH1.mp4");
    EXPECT_LE(FileSize(small), 300000u);
    EXPECT_TRUE(test::ReadsCleanly(small));
    const std::string frames =
        test::RunCommand("ffprobe -v error -select_streams v -show_entries stream=nb_frames -of csv=p=0 '" + small + "'");
    EXPECT_GT(std::stoi(frames), 0);
    EXPECT_NE(mp4.find("\"frames\":" + std::to_string(std::stoi(frames)) + ","), std::string::npos) << mp4 << frames;

    // Killed while it writes eight files: each keeps the whole pictures written before.
    KillWhenGrown(std::string(TAMLOREX_CLI_PATH) + " export " + TAMLOREX_SAMPLE_PATH + " " + dir.Path("killed.avi") +
                      " --threads 1",
                  dir.Path("killed-CH1.avi"), 2 * kFrameBytes);
    const std::vector<std::size_t> left = VideoPackets(dir.Path("killed-CH1.avi"));
    ASSERT_FALSE(left.empty());
    for (std::size_t i = 0; i + 1 < left.size(); ++i) EXPECT_EQ(left[i], kFrameBytes) << i;
}

TEST(Faults, LocalRecordingOnAFullDiskAndKilledKeepsWholePages)
{
    test::TempDir dir;
    const int port = StartSimulator(dir.Path("serve.log"), "--password pw --seconds 20");
    ASSERT_GT(port, 0) << ReadText(dir.Path("serve.log"));
    const std::string connect = std::string(TAMLOREX_CLI_PATH) + " connect --ip 127.0.0.1 --port " +
                                std::to_string(port) + " --password pw --null-audio --record ";
    // 100 KiB of room: the recording stops, says why and keeps its whole pages.
    int status = -1;
    const std::string out = test::RunCommand("prlimit --fsize=102400 " + connect + dir.Path("full.vvf") + " --seconds 8 2>" +
                                                 dir.Path("err.txt"),
                                             &status);
    EXPECT_EQ(status, 6);
    EXPECT_NE(out.find("\"message\":\"0x2A6D\""), std::string::npos);
    EXPECT_NE(out.find("\"error\":\"Local recording stopped: writing"), std::string::npos);
    EXPECT_NE(ReadText(dir.Path("err.txt")).find("(File too large)"), std::string::npos) << ReadText(dir.Path("err.txt"));
    const std::uint64_t size = FileSize(dir.Path("full.vvf"));
    EXPECT_GT(size, 0u);
    EXPECT_EQ(size % kPage, 0u);
    EXPECT_GT(RecordsReadBack(dir.Path("full.vvf")), 10);

    // "Save AVI" on the same full disk: said once, whole frames kept, exit status 1.
    const std::string avi = test::RunCommand("prlimit --fsize=3000000 " + connect + dir.Path("side.vvf") + " --avi " +
                                                 dir.Path("full.avi") + " --seconds 3 2>" + dir.Path("avi.txt"),
                                             &status);
    EXPECT_EQ(status, 1) << avi;
    EXPECT_NE(ReadText(dir.Path("avi.txt")).find("The AVI recording cannot write"), std::string::npos)
        << ReadText(dir.Path("avi.txt"));
    EXPECT_TRUE(test::ReadsCleanly(dir.Path("full.avi")));

    // Killed while recording: the pages before the kill read back.
    KillWhenGrown(connect + dir.Path("killed.vvf") + " --seconds 20", dir.Path("killed.vvf"), 16 * kPage);
    EXPECT_GT(RecordsReadBack(dir.Path("killed.vvf")), 10);
}

}  // namespace
}  // namespace tamlorex
