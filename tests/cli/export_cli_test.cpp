// tamlorex export and tamlorex codecs end to end on the bundled sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
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

// MP4: H.264 and AAC by default, MPEG-4 Part 2 when asked for (what a build without libx264
// falls back to), the container chosen by the name or by --format; every file plays to its end.
TEST(ExportCli, Mp4FilesPlayTheirWholeLength)
{
    TempDir dir;
    int status = -1;
    const std::string base = std::string("export ") + TAMLOREX_SAMPLE_PATH + " ";
    const std::string h264 = Cli(base + dir.Path("cam.MP4") + " --channels 2", status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(h264, "{\"channel\":2,\"file\":\"" + dir.Path("cam-CH2.MP4") +
                        "\",\"frames\":38,\"rate\":38000,\"scale\":20065,\"width\":640,\"height\":448,\"audio\":true,"
                        "\"video\":\"libx264\",\"sound\":\"aac\"}\n");
    const std::string mpeg4 = Cli(base + dir.Path("cam.avi") + " --channels 6 --format mp4 --codec mpeg4 --no-audio", status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(mpeg4.find("\"video\":\"mpeg4\",\"sound\":\"\""), std::string::npos) << mpeg4;

    const ProbeResult two(dir.Path("cam-CH2.MP4"));
    EXPECT_NE(two["f.format_name"].find("mp4"), std::string::npos);
    EXPECT_EQ(two["v.codec_name"], "h264");
    EXPECT_EQ(two["v.pix_fmt"], "yuv420p");
    EXPECT_EQ(two["v.width"], "640");
    EXPECT_EQ(two["v.height"], "448");
    EXPECT_EQ(two["v.nb_read_frames"], "38");
    EXPECT_EQ(two["a.codec_name"], "aac");
    EXPECT_EQ(two["a.sample_rate"], "8000");
    // The pictures spread over the sound: both last the recording's 20.065 s.
    EXPECT_NEAR(two.Number("v.duration"), 20.065, 0.01);
    EXPECT_NEAR(two.Number("a.duration"), 20.065, 0.13);  // AAC frames are 128 ms
    EXPECT_NEAR(two.Number("f.duration"), 20.065, 0.13);
    EXPECT_TRUE(test::ReadsCleanly(dir.Path("cam-CH2.MP4")));

    const ProbeResult six(dir.Path("cam-CH6.avi"));
    EXPECT_NE(six["f.format_name"].find("mp4"), std::string::npos);
    EXPECT_EQ(six["v.codec_name"], "mpeg4");
    EXPECT_EQ(six["v.nb_read_frames"], "37");
    EXPECT_EQ(six["a.codec_name"], "");
    EXPECT_NEAR(six.Number("f.duration"), 20.065, 0.01);
    EXPECT_TRUE(test::ReadsCleanly(dir.Path("cam-CH6.avi")));
}

// A clock-time range, a timelapse and a mosaic, in AVI and MP4.
TEST(ExportCli, RangeTimelapseAndMosaic)
{
    TempDir dir;
    int status = -1;
    const std::string base = std::string("export ") + TAMLOREX_SAMPLE_PATH + " ";
    // The sample runs from 09:26:53 for 20 s: 09:26:58 to 09:27:02 are five seconds of it.
    const std::string range = " --from \"2026-03-14 09:26:58\" --to \"2026-03-14 09:27:02\"";
    const std::string part = Cli(base + dir.Path("part.avi") + " --channels 1" + range, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(part, "{\"channel\":1,\"file\":\"" + dir.Path("part-CH1.avi") +
                        "\",\"frames\":9,\"rate\":9000,\"scale\":4999,\"width\":640,\"height\":448,\"audio\":true}\n");
    const ProbeResult partProbe(dir.Path("part-CH1.avi"));
    EXPECT_EQ(partProbe["v.nb_read_frames"], "9");
    EXPECT_NEAR(partProbe.Number("v.duration"), 5.0, 0.01);
    // The sound of those five seconds only.
    EXPECT_EQ(RunCommand("ffmpeg -v error -i '" + dir.Path("part-CH1.avi") + "' -map 0:a -f u8 - | wc -c"), "39999\n");

    // 100 times faster: 189 pictures a second thinned to 30, no sound.
    const std::string fast = Cli(base + dir.Path("fast.mp4") + " --channels 1 --speed 100", status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(fast.find("\"frames\":6,\"rate\":30,\"scale\":1,\"width\":640,\"height\":448,\"audio\":false"),
              std::string::npos)
        << fast;
    const ProbeResult fastProbe(dir.Path("fast-CH1.mp4"));
    EXPECT_EQ(fastProbe["v.nb_read_frames"], "6");
    EXPECT_EQ(fastProbe["v.r_frame_rate"], "30/1");
    EXPECT_EQ(fastProbe["a.codec_name"], "");
    EXPECT_NEAR(fastProbe.Number("f.duration"), 0.2, 0.01);
    // Ten times faster stays under 30 a second: every picture, a tenth of the time.
    Cli(base + dir.Path("ten.avi") + " --channels 1 --speed 10 --codec mjpeg", status);
    ASSERT_EQ(status, 0);
    const ProbeResult ten(dir.Path("ten-CH1.avi"));
    EXPECT_EQ(ten["v.nb_read_frames"], "38");
    EXPECT_EQ(ten["a.codec_name"], "");
    EXPECT_NEAR(ten.Number("v.duration"), 2.0065, 0.01);

    // Three channels in a 2x2 grid: every picture of any of them is a frame.
    for (const char* name : {"grid.mp4", "grid.avi"}) {
        const std::string grid = Cli(base + dir.Path(name) + " --channels 1,2,6 --mosaic --codec mpeg4", status);
        ASSERT_EQ(status, 0) << name;
        EXPECT_EQ(grid.rfind("{\"mosaic\":[1,2,6],\"file\":\"" + dir.Path(name) + "\",\"frames\":113,", 0), 0u) << grid;
        const ProbeResult probe(dir.Path(name));
        EXPECT_EQ(probe["v.width"], "1280") << name;
        EXPECT_EQ(probe["v.height"], "896") << name;
        EXPECT_EQ(probe["v.nb_read_frames"], "113") << name;
        EXPECT_NEAR(probe.Number("v.duration"), 20.065, 0.01) << name;
        EXPECT_TRUE(test::ReadsCleanly(dir.Path(name))) << name;
    }
    // The fourth cell stays black; the others hold pictures. Grey levels of a 4x4 patch in the
    // middle of each cell of the last frame.
    auto patch = [&](int x, int y) {
        std::istringstream in(RunCommand("ffmpeg -v error -i '" + dir.Path("grid.avi") + "' -vf 'select=eq(n\\,112),crop=4:4:" +
                                         std::to_string(x) + ":" + std::to_string(y) +
                                         "' -frames:v 1 -f rawvideo -pix_fmt gray - | od -An -tu1 -v"));
        int most = -1;
        for (int v; in >> v;) most = std::max(most, v);
        return most;
    };
    EXPECT_LE(patch(958, 670), 8);
    EXPECT_GT(patch(318, 222), 40);
    EXPECT_GT(patch(958, 222), 40);
    EXPECT_GT(patch(318, 670), 40);
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
    for (const char* bad : {" --format mkv", " --speed 0", " --speed 1001", " --from 2026-03-14", " --format mp4 --codec mjpeg",
                            " --from \"2026-03-14 09:27:00\" --to \"2026-03-14 09:26:59\""}) {
        Cli(base + bad, status);
        EXPECT_EQ(status, 2) << bad;
    }
    // A range the recording does not reach makes no file and is no success.
    Cli(base + " --from \"2026-03-15 00:00:00\"", status);
    EXPECT_EQ(status, 1);
    Cli(base + " --to \"2026-03-13 00:00:00\"", status);
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("x-CH1.avi")));
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
