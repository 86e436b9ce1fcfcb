// A recorder's disk (or its image) is evidence: every path that opens one opens it read-only — the
// reader, the engine with its own readers, the export job, a copied span, and the command-line
// tool.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/null_audio_device.h"
#include "engine/media_engine.h"
#include "export/avi_export_job.h"
#include "media/vvf_builder.h"
#include "media/vvf_reader.h"
#include "run_command.h"

namespace tamlorex {
namespace {

// The access modes of the descriptors process `pid` holds on `path` (O_RDONLY, O_WRONLY, O_RDWR).
std::vector<int> AccessModes(const std::string& pid, const std::string& path)
{
    std::vector<int> modes;
    const std::string folder = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) return modes;
    while (const dirent* entry = ::readdir(fds)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (n <= 0 || std::string(target, static_cast<std::size_t>(n)) != path) continue;
        std::ifstream info("/proc/" + pid + "/fdinfo/" + entry->d_name);
        for (std::string line; std::getline(info, line);)
            if (line.rfind("flags:", 0) == 0) modes.push_back(static_cast<int>(std::strtol(line.c_str() + 6, nullptr, 8)) & O_ACCMODE);
    }
    ::closedir(fds);
    return modes;
}

void ExpectReadOnly(const std::vector<int>& modes, const char* path)
{
    EXPECT_FALSE(modes.empty()) << path;
    for (const int mode : modes) EXPECT_EQ(mode, O_RDONLY) << path;
}

TEST(ReadOnly, EveryPathOpensADiskReadOnly)
{
    test::TempDir dir;
    test::VvfBuilder b;
    for (int i = 0; i < 40; ++i) b.Add(test::VideoRecord(0xF8, static_cast<std::uint8_t>(i & 7), 2000, 3));
    char real[PATH_MAX];
    const std::string image = ::realpath(dir.Write("disk.img", test::Swapped(b.Build())).c_str(), real);
    const std::string self = std::to_string(::getpid());

    VvfReader reader;
    ASSERT_TRUE(reader.Open(image, true));
    ExpectReadOnly(AccessModes(self, image), "reader");
    ASSERT_TRUE(reader.ExportSpan(0, 8192, dir.Path("span.vvf")));
    ExpectReadOnly(AccessModes(self, image), "span");
    reader.Close();

    AviExportJob job;
    ASSERT_TRUE(job.OpenInput(image, true));
    ExpectReadOnly(AccessModes(self, image), "export");
    job.Close();

    NullAudioDevice audio;
    MediaEngine engine(audio, nullptr, nullptr);
    engine.Initialize(4, 8);
    ASSERT_TRUE(engine.OpenSource(image, true));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the worker opens its own readers
    ExpectReadOnly(AccessModes(self, image), "engine");
    engine.CloseSource();

    const std::string pidFile = dir.Path("pid");
    test::RunCommand(std::string(TAMLOREX_CLI_PATH) + " play " + image +
                     " --drive --null-audio --seconds 3 >/dev/null 2>&1 & echo $! > " + pidFile);
    std::string pid;
    std::ifstream(pidFile) >> pid;
    std::vector<int> modes;
    for (int i = 0; i < 100 && modes.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        modes = AccessModes(pid, image);
    }
    ExpectReadOnly(modes, "tamlorex play");
    test::RunCommand("kill " + pid + " 2>/dev/null");
}

}  // namespace
}  // namespace tamlorex
