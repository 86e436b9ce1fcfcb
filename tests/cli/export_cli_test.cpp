// tamlorex export and tamlorex codecs end to end on the bundled sample.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/export_test_util.h"

namespace tamlorex {
namespace {

using test::ProbeResult;
using test::RunCommand;
using test::TempDir;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string Cli(const std::string& args, int& status, const std::string& err = "/dev/null")
{
    return RunCommand("TZ=UTC " + std::string(TAMLOREX_CLI_PATH) + " " + args + " 2>" + err, &status);
}

TEST(ExportCli, UncompressedSampleWithSound)
{
    TempDir dir;
    int status = -1;
    const std::string out = Cli(std::string("export ") + TAMLOREX_SAMPLE_PATH + " " + dir.Path("dvr.avi") +
                                    " --channels 2,6",
                                status, dir.Path("err.txt"));
    ASSERT_EQ(status, 0);
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "{\"channel\":2,\"file\":\"" + dir.Path("dvr-CH2.avi") +
                            "\",\"frames\":38,\"rate\":38000,\"scale\":20065,\"width\":640,\"height\":448,\"audio\":true}");
    EXPECT_EQ(lines[1], "{\"channel\":6,\"file\":\"" + dir.Path("dvr-CH6.avi") +
                            "\",\"frames\":37,\"rate\":37000,\"scale\":20065,\"width\":640,\"height\":448,\"audio\":true}");
    // The progress bar ends at 100 %.
    const test::Bytes errBytes = test::ReadFile(dir.Path("err.txt"));
    const std::string err(errBytes.begin(), errBytes.end());
    EXPECT_NE(err.find("100%"), std::string::npos) << err;

    for (const char* name : {"dvr-CH2.avi", "dvr-CH6.avi"}) {
        const std::string path = dir.Path(name);
        ASSERT_TRUE(test::ReadsCleanly(path)) << name;
        const ProbeResult probe(path);
        EXPECT_EQ(probe["v.codec_name"], "rawvideo");
        EXPECT_EQ(probe["v.pix_fmt"], "bgr24");
        EXPECT_EQ(probe["v.width"], "640");
        EXPECT_EQ(probe["v.height"], "448");
        EXPECT_EQ(probe["a.codec_name"], "pcm_u8");
        EXPECT_EQ(probe["a.sample_rate"], "8000");
        EXPECT_EQ(probe["a.channels"], "1");
        EXPECT_EQ(probe["a.bits_per_sample"], "8");
    }
    const ProbeResult two(dir.Path("dvr-CH2.avi"));
    EXPECT_EQ(two["v.nb_read_frames"], "38");
    EXPECT_EQ(two["v.r_frame_rate"], "7600/4013");  // 38000 / 20065
    const ProbeResult six(dir.Path("dvr-CH6.avi"));
    EXPECT_EQ(six["v.nb_read_frames"], "37");
    EXPECT_EQ(six["v.r_frame_rate"], "7400/4013");
    // Every sound sample of the recording: 160526 bytes.
    EXPECT_EQ(RunCommand("ffmpeg -v error -i '" + dir.Path("dvr-CH2.avi") + "' -map 0:a -f u8 - | wc -c"), "160526\n");
}

TEST(ExportCli, MjpegWithoutSound)
{
    TempDir dir;
    int status = -1;
    const std::string out = Cli(std::string("export ") + TAMLOREX_SAMPLE_PATH + " " + dir.Path("out") +
                                    " --channels 1 --no-audio --codec mjpeg --quality 8000",
                                status);
    ASSERT_EQ(status, 0);
    // The recording has sound, so the pictures still spread over its length.
    EXPECT_EQ(out, "{\"channel\":1,\"file\":\"" + dir.Path("out-CH1") +
                       "\",\"frames\":38,\"rate\":38000,\"scale\":20065,\"width\":640,\"height\":448,\"audio\":false}\n");
    const std::string path = dir.Path("out-CH1");
    ASSERT_TRUE(test::ReadsCleanly(path));
    const ProbeResult probe(path);
    EXPECT_EQ(probe["v.codec_name"], "mjpeg");
    EXPECT_EQ(probe["v.codec_tag_string"], "MJPG");
    EXPECT_EQ(probe["v.nb_read_frames"], "38");
    EXPECT_EQ(probe["v.r_frame_rate"], "7600/4013");
    EXPECT_EQ(probe["a.codec_name"], "");

    // The same recording as a recorder's disk holds it: the same pictures.
    const std::string disk = dir.Write("disk.img", test::Swapped(test::ReadFile(TAMLOREX_SAMPLE_PATH)));
    const std::string fromDisk = Cli("export " + disk + " " + dir.Path("disk.avi") +
                                         " --channels 1 --no-audio --codec mjpeg --quality 8000 --drive",
                                     status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(fromDisk, "{\"channel\":1,\"file\":\"" + dir.Path("disk-CH1.avi") +
                            "\",\"frames\":38,\"rate\":38000,\"scale\":20065,\"width\":640,\"height\":448,\"audio\":false}\n");
    EXPECT_EQ(test::ReadFile(dir.Path("disk-CH1.avi")), test::ReadFile(path));
}

TEST(ExportCli, BadArgumentsAndCodecs)
{
    TempDir dir;
    int status = -1;
    const std::string base = std::string("export ") + TAMLOREX_SAMPLE_PATH + " " + dir.Path("x.avi");
    Cli(base + " --channels 0", status);
    EXPECT_EQ(status, 2);
    Cli(base + " --channels 1,17", status);
    EXPECT_EQ(status, 2);
    Cli(base + " --codec no-such-codec", status);
    EXPECT_EQ(status, 2);
    Cli(base + " --quality 10001", status);
    EXPECT_EQ(status, 2);
    Cli("export " + dir.Path("missing.vvf") + " " + dir.Path("x.avi"), status);
    EXPECT_EQ(status, 2);
    Cli(std::string("export ") + TAMLOREX_SAMPLE_PATH + " " + dir.Path("no/folder/x.avi"), status);
    EXPECT_EQ(status, 1);

    const auto codecs = Lines(Cli("codecs", status));
    EXPECT_EQ(status, 0);
    ASSERT_GT(codecs.size(), 2u);
    EXPECT_EQ(codecs[0].rfind("\"DIB \"", 0), 0u) << codecs[0];
    bool mjpeg = false;
    for (const std::string& line : codecs) mjpeg = mjpeg || line.find("MJPEG (Motion JPEG)") != std::string::npos;
    EXPECT_TRUE(mjpeg);
}

}  // namespace
}  // namespace tamlorex
