#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "media/vvf_builder.h"
#include "run_command.h"

namespace tamlorex {
namespace {

using test::AudioRecord;
using test::VideoRecord;
using test::VvfBuilder;

struct Result {
    int status = -1;
    std::string out;
    std::vector<std::string> lines;
};

// Runs the command-line tool with TZ=UTC; standard error goes to errPath when given.
Result RunCli(const std::string& args, const std::string& errPath = "/dev/null")
{
    Result r;
    const std::string command = "TZ=UTC " + std::string(TAMLOREX_CLI_PATH) + " " + args + " 2>" + errPath;
    r.out = test::RunCommand(command, &r.status);
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) r.lines.push_back(line);
    return r;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VvfBuilder b;
        b.Add(AudioRecord(1, 10)).Add({0, 0, 1, 0xF9, 0x23, 0x00}).Add(VideoRecord(0xF8, 2, 9000)).Add({0, 0, 1, 0xF8});
        file = dir.Write("rec.vvf", b.Build());
    }
    test::TempDir dir;
    std::string file;
};

TEST_F(CliTest, RecordsPrintsOneObjectPerCall)
{
    const Result r = RunCli("records " + file);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 3u + 33u);
    EXPECT_EQ(r.lines[0],
              "{\"dir\":\"f\",\"audio\":1,\"channel\":1,\"length\":10,\"md5\":\"" +
                  std::string("da5cfdb736fc41fdb61dd361556c47a1") +
                  "\",\"time\":\"2008-12-23 02:40:00\",\"mask\":255,\"interval\":0,\"pos\":24}");
    EXPECT_TRUE(StartsWith(r.lines[1], "{\"dir\":\"f\",\"audio\":0,\"channel\":3,\"length\":6,\"md5")) << r.lines[1];
    // The third record ends on page 2: its time is that of page 2.
    EXPECT_NE(r.lines[2].find("\"time\":\"2008-12-23 02:40:02\""), std::string::npos) << r.lines[2];
    EXPECT_EQ(r.lines[3], "{\"dir\":\"f\",\"empty\":1,\"pos\":12288}");
    EXPECT_EQ(r.lines.back(), r.lines[3]);
}

TEST_F(CliTest, RecordsBackwardAndSeek)
{
    const Result back = RunCli("records " + file + " --backward --model 4");
    ASSERT_EQ(back.status, 0);
    ASSERT_EQ(back.lines.size(), 3u + 33u);
    EXPECT_TRUE(StartsWith(back.lines[0], "{\"dir\":\"b\",\"audio\":0,\"channel\":2,\"length\":9005,")) << back.lines[0];
    EXPECT_TRUE(StartsWith(back.lines[2], "{\"dir\":\"b\",\"audio\":1,\"channel\":1,\"length\":10,")) << back.lines[2];
    EXPECT_EQ(back.lines[3], "{\"dir\":\"b\",\"empty\":1,\"pos\":0}");

    const Result seek = RunCli("seek " + file + " 5");
    ASSERT_EQ(seek.status, 0);
    ASSERT_EQ(seek.lines.size(), 1u);
    EXPECT_TRUE(StartsWith(seek.lines[0], "{\"dir\":\"s\",\"audio\":0,\"channel\":3,\"length\":6,")) << seek.lines[0];
    const Result beyond = RunCli("seek " + file + " 99999");
    EXPECT_EQ(beyond.lines, std::vector<std::string>{"{\"dir\":\"s\",\"empty\":1,\"pos\":0}"});
}

// Seeking by clock time prints the line of the offset seek at the page found; the index steps
// through the times with the channels seen there.
TEST_F(CliTest, SeekByTimeAndIndex)
{
    VvfBuilder b;
    // Page n has time 1230000000 + n (2008-12-23 02:40:00 UTC on); channel n % 3 in each page.
    for (int i = 0; i < 40; ++i) b.Add(VideoRecord(0xF8, static_cast<std::uint8_t>(i % 3), 4000, static_cast<std::uint8_t>(i)));
    b.Add({0, 0, 1, 0xF8});
    const std::string rec = dir.Write("time.vvf", b.Build());
    const Result byTime = RunCli("seek " + rec + " --time \"2008-12-23 02:40:07\"");
    ASSERT_EQ(byTime.status, 0);
    const Result byOffset = RunCli("seek " + rec + " " + std::to_string(7 * 4096));
    EXPECT_EQ(byTime.out, byOffset.out);
    EXPECT_EQ(RunCli("seek " + rec + " --time \"2008-12-24 00:00:00\"").status, 1);
    EXPECT_EQ(RunCli("seek " + rec + " --time \"2008-12-23 02:40\"").status, 2);

    const Result index = RunCli("index " + rec + " --step 10");
    ASSERT_EQ(index.status, 0);
    ASSERT_EQ(index.lines.size(), 4u) << index.out;
    EXPECT_EQ(index.lines[0], "{\"time\":\"2008-12-23 02:40:00\",\"pos\":0,\"channels\":[0,1,2]}");
    EXPECT_EQ(index.lines[1].rfind("{\"time\":\"2008-12-23 02:40:10\",\"pos\":40960,\"channels\":[", 0), 0u);
}

TEST_F(CliTest, SpanExitStatus)
{
    EXPECT_EQ(RunCli("span " + file + " 100 5000 " + dir.Path("out.vvf")).status, 0);
    EXPECT_EQ(test::ReadFile(dir.Path("out.vvf")).size(), 2 * 4096u);
    EXPECT_EQ(RunCli("span " + file + " 100 100 " + dir.Path("no.vvf")).status, 1);
    EXPECT_EQ(RunCli("span " + file + " x 100 " + dir.Path("no.vvf")).status, 2);
}

TEST_F(CliTest, InfoSummarises)
{
    const Result r = RunCli("info " + file + " --json");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_NE(r.out.find("\"size\":12288,\"pages\":3,\"partial\":0,\"bad_pages\":0,\"video\":{\"2\":1,\"3\":1},"
                         "\"audio\":{\"1\":1},\"full\":1,\"update\":1"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"first_time\":\"2008-12-23 02:40:00\",\"last_time\":\"2008-12-23 02:40:02\""),
              std::string::npos);
    const Result text = RunCli("info " + file);
    EXPECT_NE(text.out.find("3 pages"), std::string::npos);
}

TEST_F(CliTest, ErrorsAndHelp)
{
    const std::string err = dir.Path("err.txt");
    const Result missing = RunCli("records " + dir.Path("missing.vvf"), err);
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.out.empty());
    const test::Bytes bytes = test::ReadFile(err);
    const std::string message(bytes.begin(), bytes.end());
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find("missing.vvf"), std::string::npos);

    EXPECT_EQ(RunCli("records " + file + " --model 9").status, 2);
    EXPECT_EQ(RunCli("records " + file + " --bogus").status, 2);
    EXPECT_EQ(RunCli("nonsense").status, 2);
    for (const char* command : {"records", "seek", "span", "info", "disks"}) {
        const Result help = RunCli(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("usage: tamlorex"), std::string::npos) << command;
    }
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every command, given what would otherwise make it write into the folder, answers --help and -h
// with its usage and refuses an option it does not know in one line, writing nothing.
TEST_F(CliTest, EveryCommandAnswersHelpAndRefusesUnknownOptions)
{
    const std::string out = dir.Path("out");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    const std::pair<const char*, std::string> commands[] = {
        {"records", file},
        {"seek", file + " 5"},
        {"index", file},
        {"span", file + " 100 5000 " + out + "/span.vvf"},
        {"info", file},
        {"disks", ""},
        {"decode", file + " --dump " + out},
        {"play", file + " --seconds 1 --null-audio"},
        {"connect", "--ip 127.0.0.1 --port 1 --password x --seconds 1 --null-audio --record " + out + "/live.vvf"},
        {"export", file + " " + out + "/export.avi"},
        {"codecs", ""},
    };
    const std::string err = dir.Path("err.txt");
    for (const auto& [command, args] : commands) {
        const std::string line = "cd " + out + " && " + std::string(TAMLOREX_CLI_PATH) + " " + command + " " + args;
        for (const char* help : {" --help", " -h"}) {
            int status = -1;
            const std::string text = test::RunCommand(line + help + " 2>/dev/null", &status);
            EXPECT_EQ(status, 0) << command << help;
            EXPECT_EQ(text.rfind(std::string("usage: tamlorex ") + command, 0), 0u) << command << help << ": " << text;
        }
        for (const char* unknown : {"--bogus", "-x", "--bogus=1"}) {
            int status = -1;
            const std::string text = test::RunCommand(line + " " + unknown + " 2>" + err, &status);
            EXPECT_EQ(status, 2) << command << " " << unknown;
            EXPECT_TRUE(text.empty()) << command << " " << unknown << ": " << text;
            const test::Bytes bytes = test::ReadFile(err);
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
                      "tamlorex: unknown option \"" + std::string(unknown) + "\" for \"" + command + "\"; see tamlorex " +
                          command + " --help\n");
        }
        EXPECT_TRUE(FilesIn(out).empty()) << command;
    }
    // The program itself, without a command.
    int status = -1;
    EXPECT_EQ(test::RunCommand(std::string(TAMLOREX_CLI_PATH) + " --help", &status).rfind("usage: tamlorex", 0), 0u);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::RunCommand(std::string(TAMLOREX_CLI_PATH) + " -h", &status).rfind("usage: tamlorex", 0), 0u);
    EXPECT_EQ(status, 0);
    const std::string version = test::RunCommand(std::string(TAMLOREX_CLI_PATH) + " --version", &status);
    EXPECT_TRUE(std::regex_match(version, std::regex("tamlorex [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version;
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::RunCommand(std::string(TAMLOREX_CLI_PATH) + " --bogus 2>" + err, &status).empty());
    EXPECT_EQ(status, 2);
    const test::Bytes bytes = test::ReadFile(err);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "tamlorex: unknown option \"--bogus\"; see tamlorex --help\n");
}

}  // namespace
}  // namespace tamlorex
