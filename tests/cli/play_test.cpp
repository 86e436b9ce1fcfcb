#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "media/vvf_builder.h"
#include "run_command.h"

namespace tamlorex {
namespace {

std::string Capture(const std::string& command, int& status) { return test::RunCommand(command, &status); }

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The bundled sample played for three seconds: the sound device writes into a file, and the
// sample's 1000 Hz test tone must be in it; the pictures of all eight channels are shown.
TEST(PlayCommand, SampleSoundReachesTheDeviceAtItsFrequency)
{
    test::TempDir dir;
    const std::string sound = dir.Path("sound.raw");
    const std::string errors = dir.Path("errors.txt");
    int status = -1;
    const std::string out = Capture("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + sound + " TZ=UTC " +
                                        TAMLOREX_CLI_PATH + " play " + TAMLOREX_SAMPLE_PATH + " --seconds 3 2>" + errors,
                                    status);
    const test::Bytes said = test::ReadFile(errors);
    ASSERT_EQ(status, 0) << std::string(said.begin(), said.end());
    const auto lines = Lines(out);
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines.front().substr(0, 5), "{\"t\":");
    EXPECT_NE(lines.front().find(",\"state\":\"PLAY \",\"speed\":1.0}"), std::string::npos) << lines.front();
    EXPECT_NE(lines.back().find("\"state\":\"READY\""), std::string::npos) << lines.back();
    std::set<std::string> channels;
    for (const auto& line : lines) {
        const auto at = line.find("\"shown\":");
        if (at == std::string::npos) continue;
        channels.insert(line.substr(at + 8, line.find(',', at) - at - 8));
        EXPECT_NE(line.find("\"width\":640,\"height\":224,\"time\":\"2026/03/14 09:2"), std::string::npos) << line;
    }
    EXPECT_EQ(channels.size(), 8u);

    const std::string stat = Capture("sox -t raw -r 8000 -e unsigned-integer -b 8 -c 1 " + sound + " -n stat 2>&1", status);
    ASSERT_EQ(status, 0) << stat;
    const auto at = stat.find("Rough   frequency:");
    ASSERT_NE(at, std::string::npos) << stat;
    const int hz = std::atoi(stat.c_str() + at + 18);
    EXPECT_GT(hz, 900) << stat;
    EXPECT_LT(hz, 1100) << stat;
}

TEST(PlayCommand, ScriptedCommandsAndErrors)
{
    int status = -1;
    const std::string out = Capture(std::string("TZ=UTC ") + TAMLOREX_CLI_PATH + " play " + TAMLOREX_SAMPLE_PATH +
                                        " --null-audio --seconds 2 --commands 500:pause,800:step,1200:ff 2>/dev/null",
                                    status);
    ASSERT_EQ(status, 0);
    const auto lines = Lines(out);
    std::vector<std::string> states;
    for (const auto& line : lines)
        if (line.find("\"state\"") != std::string::npos) states.push_back(line.substr(line.find("\"state\"")));
    const std::vector<std::string> expected = {
        "\"state\":\"PLAY \",\"speed\":1.0}",  "\"state\":\"PAUSE\",\"speed\":1.0}",
        "\"state\":\"STEPF\",\"speed\":1.0}",  "\"state\":\"PAUSE\",\"speed\":1.0}",
        "\"state\":\"PAUSE\",\"speed\":16.0}", "\"state\":\"PLAY \",\"speed\":16.0}",
    };
    ASSERT_GE(states.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(states[i], expected[i]) << i;

    Capture(std::string(TAMLOREX_CLI_PATH) + " play /no/such/file.vvf --null-audio 2>/dev/null", status);
    EXPECT_EQ(status, 2);
    Capture(std::string(TAMLOREX_CLI_PATH) + " play " + TAMLOREX_SAMPLE_PATH + " --commands 10:dance 2>/dev/null", status);
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace tamlorex
