// The export's channel writer, the compressor choice and the capture writer, checked through the
// files they leave as ffprobe and ffmpeg read them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <vector>

#include "codec/color_convert.h"
#include "export/avi_capture_writer.h"
#include "export/avi_channel_writer.h"
#include "export/compress_options.h"
#include "export/export_test_util.h"
#include "platform/alerts.h"

namespace tamlorex {
namespace {

using test::ProbeResult;
using test::ReadsCleanly;
using test::TempDir;

bool Exists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

class RecordingAlerts : public Alerts {
public:
    void Alert(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

BitmapFormat Format(int width, int height)
{
    BitmapFormat f;
    f.width = width;
    f.height = height;
    f.sizeImage = static_cast<std::uint32_t>(width * height * 3);
    return f;
}

TEST(AviChannelWriterTest, ConstructionResetsTheSharedCompressorChoice)
{
    CompressOptions chosen;
    chosen.handler = "mjpeg";
    SetCompressOptions(chosen);
    AviChannelWriter writer;
    const CompressOptions options = GetCompressOptions();
    EXPECT_EQ(options.type, "vids");
    EXPECT_EQ(options.handler, kUncompressedHandler);
    EXPECT_EQ(options.keyFrameEvery, 1u);
    EXPECT_EQ(options.quality, -1);
}

TEST(AviChannelWriterTest, VideoOnlyFileWithoutSoundWritesNoSound)
{
    TempDir dir;
    const std::string path = dir.Path("v.avi");
    AviChannelWriter writer;
    ASSERT_TRUE(writer.OpenFile(path));
    BitmapFormat format = Format(64, 32);
    ASSERT_TRUE(writer.CreateStreams(25, 2, &format, nullptr));
    std::vector<std::uint8_t> picture(64 * 32 * 3, 90);
    EXPECT_TRUE(writer.WriteFrame(0, picture.data()));
    EXPECT_TRUE(writer.WriteFrame(1, picture.data()));
    // No sound stream: succeeds and writes nothing.
    const std::uint8_t samples[100] = {};
    EXPECT_TRUE(writer.WriteSound(samples, sizeof samples));
    EXPECT_EQ(writer.NextSoundSample(), 0);
    writer.CloseFile();

    EXPECT_TRUE(ReadsCleanly(path));
    const ProbeResult probe(path);
    EXPECT_EQ(probe["a.codec_name"], "");
    EXPECT_EQ(probe["v.codec_name"], "rawvideo");
    EXPECT_EQ(probe["v.pix_fmt"], "bgr24");
    EXPECT_EQ(probe["v.width"], "64");
    EXPECT_EQ(probe["v.height"], "32");
    EXPECT_EQ(probe["v.r_frame_rate"], "25/2");
    EXPECT_EQ(probe["v.nb_read_frames"], "2");
}

TEST(AviChannelWriterTest, SoundStreamComesFirstAsEightBitPcm)
{
    TempDir dir;
    const std::string path = dir.Path("s.avi");
    AviChannelWriter writer;
    ASSERT_TRUE(writer.OpenFile(path));
    BitmapFormat format = Format(32, 16);
    WaveFormat sound;
    ASSERT_TRUE(writer.CreateStreams(5, 1, &format, &sound));
    std::vector<std::uint8_t> samples(800, 0x80);
    EXPECT_TRUE(writer.WriteSound(samples.data(), samples.size()));
    EXPECT_TRUE(writer.WriteSound(samples.data(), 400));
    EXPECT_EQ(writer.NextSoundSample(), 1200);
    std::vector<std::uint8_t> picture(32 * 16 * 3, 1);
    EXPECT_TRUE(writer.WriteFrame(0, picture.data()));
    writer.CloseFile();

    EXPECT_TRUE(ReadsCleanly(path));
    const ProbeResult probe(path);
    EXPECT_EQ(probe["0.codec_type"], "audio");
    EXPECT_EQ(probe["a.codec_name"], "pcm_u8");
    EXPECT_EQ(probe["a.sample_rate"], "8000");
    EXPECT_EQ(probe["a.channels"], "1");
    EXPECT_EQ(probe["a.nb_read_packets"].empty(), false);
    EXPECT_EQ(probe["v.r_frame_rate"], "5/1");
}

TEST(AviChannelWriterTest, FailedWriterRefusesUntilClosed)
{
    TempDir dir;
    AviChannelWriter writer;
    EXPECT_FALSE(writer.OpenFile(dir.Path("missing/folder/x.avi")));
    EXPECT_TRUE(writer.Failed());
    EXPECT_FALSE(writer.IsOpen());
    BitmapFormat format = Format(16, 16);
    EXPECT_FALSE(writer.CreateStreams(1, 1, &format, nullptr));
    std::vector<std::uint8_t> picture(16 * 16 * 3);
    EXPECT_FALSE(writer.WriteFrame(0, picture.data()));
    writer.CloseFile();
    EXPECT_FALSE(writer.Failed());

    // A compressor that refuses the picture size fails the streams and leaves no file behind.
    CompressOptions options = DefaultCompressOptions();
    options.handler = "h261";  // takes 176 x 144 and 352 x 288 only
    SetCompressOptions(options);
    const std::string path = dir.Path("h261.avi");
    ASSERT_TRUE(writer.OpenFile(path));
    EXPECT_FALSE(writer.CreateStreams(1, 1, &format, nullptr));
    EXPECT_TRUE(writer.Failed());
    EXPECT_FALSE(writer.WriteFrame(0, picture.data()));
    writer.CloseFile();
    EXPECT_FALSE(Exists(path));
    ResetCompressOptions();
}

TEST(AviChannelWriterTest, CompressedFramesComeOutRightSideUp)
{
    TempDir dir;
    const std::string path = dir.Path("m.avi");
    CompressOptions options = DefaultCompressOptions();
    options.handler = "mjpeg";
    options.quality = kMaxQuality;
    AviChannelWriter writer;
    SetCompressOptions(options);
    ASSERT_TRUE(writer.OpenFile(path));
    BitmapFormat format = Format(64, 64);
    ASSERT_TRUE(writer.CreateStreams(12, 1, &format, nullptr));
    // Bottom-up: memory rows 0..31 are the lower half of the picture. Lower half dark, upper bright.
    std::vector<std::uint8_t> picture(64 * 64 * 3, 220);
    std::fill(picture.begin(), picture.begin() + 64 * 32 * 3, 20);
    ASSERT_TRUE(writer.WriteFrame(0, picture.data()));
    writer.CloseFile();
    ResetCompressOptions();

    const ProbeResult probe(path);
    EXPECT_EQ(probe["v.codec_name"], "mjpeg");
    EXPECT_EQ(probe["v.codec_tag_string"], "MJPG");
    const std::vector<std::uint8_t> decoded = test::DecodeFrame(path, 0, dir.Path("f.raw"));
    ASSERT_EQ(decoded.size(), 64u * 64u * 3u);
    EXPECT_NEAR(decoded[(5 * 64 + 5) * 3], 220, 6);   // top rows bright
    EXPECT_NEAR(decoded[(58 * 64 + 5) * 3], 20, 6);   // bottom rows dark
}

TEST(CompressorChoice, ListDescriptionAndCancel)
{
    const auto& list = ListCompressors();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().handler, kUncompressedHandler);
    bool mjpeg = false;
    for (const Compressor& c : list) mjpeg = mjpeg || (c.handler == "mjpeg" && c.fourcc == "MJPG");
    EXPECT_TRUE(mjpeg);

    EXPECT_TRUE(ChooseCompressor([](const std::vector<Compressor>& offered, CompressOptions& options) {
        EXPECT_TRUE(options.handler.empty());  // handed over cleared
        options = DefaultCompressOptions();
        options.handler = "mjpeg";
        return !offered.empty();
    }));
    EXPECT_EQ(DescribeCompressor(), "MJPEG (Motion JPEG)");

    // Cancelling leaves the options cleared and the description empty.
    EXPECT_FALSE(ChooseCompressor([](const std::vector<Compressor>&, CompressOptions& options) {
        options.handler = "mjpeg";
        return false;
    }));
    EXPECT_TRUE(GetCompressOptions().handler.empty());
    EXPECT_EQ(GetCompressOptions().keyFrameEvery, 0u);
    EXPECT_EQ(DescribeCompressor(), "");
    ResetCompressOptions();
}

class AviCaptureWriterTest : public ::testing::Test {
protected:
    int Start(const std::string& name, int width = 64, int height = 32, int fps = 25)
    {
        return capture.StartCapture(dir.Path(name), 24, width, height, nullptr, fps);
    }
    TempDir dir;
    RecordingAlerts alerts;
    AviCaptureWriter capture;
};

TEST_F(AviCaptureWriterTest, RefusalsAndCodes)
{
    capture.Initialize(4, &alerts);
    EXPECT_EQ(capture.StartCapture("", 24, 64, 32, nullptr, 25), kCaptureEmptyPath);
    EXPECT_EQ(Start("h0.avi", 64, 0), kCaptureBadSize);
    EXPECT_EQ(capture.State(), kCaptureIdle);
    EXPECT_EQ(capture.StartCapture(dir.Path("b.avi"), 0, 64, 32, nullptr, 25), kCaptureBadSize);
    std::vector<std::uint8_t> picture(64 * 32 * 3, 50);
    EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 1), kCaptureNotRecording);
    EXPECT_EQ(capture.WriteSound(picture.data(), 10), kCaptureNotRecording);
    EXPECT_EQ(capture.StopCapture(), kCaptureOk);
    EXPECT_EQ(capture.StartCapture(dir.Path("no/such/folder.avi"), 24, 64, 32, nullptr, 25), kCaptureCannotCreate);
    EXPECT_EQ(capture.State(), kCaptureIdle);

    ASSERT_EQ(Start("c.avi"), kCaptureOk);
    EXPECT_EQ(capture.State(), kCaptureRecording);
    EXPECT_EQ(capture.WriteCaptureFrame(nullptr, 0, 1), kCaptureNoPicture);
    // A picture of another size than the capture's is not written.
    EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size() - 3, 1), kCaptureOk);
    EXPECT_EQ(capture.FramesWritten(), 0);
    EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 1), kCaptureWritten);
    EXPECT_EQ(capture.StopCapture(), kCaptureOk);
    EXPECT_EQ(capture.State(), kCaptureIdle);
    EXPECT_TRUE(alerts.texts.empty());
}

TEST_F(AviCaptureWriterTest, FirstFrameIsKeyAndTheRateStaysReal)
{
    capture.Initialize(4, &alerts);
    // A compressor that makes key frames only when told to (uncompressed frames are all key frames).
    capture.SetCompressorChooser([](CompressOptions& options) {
        options = DefaultCompressOptions();
        options.handler = "mpeg4";
        options.keyFrameEvery = 100;
        return true;
    });
    ASSERT_EQ(Start("k.avi", 64, 32, 12), kCaptureOk);
    std::vector<std::uint8_t> picture(64 * 32 * 3, 50);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 0), kCaptureWritten);
    EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 1), kCaptureWritten);
    std::vector<std::uint8_t> sound(1000, 0x80);
    EXPECT_EQ(capture.WriteSound(sound.data(), sound.size()), kCaptureWritten);
    EXPECT_EQ(capture.SoundSamplesWritten(), 1000);
    ASSERT_EQ(capture.StopCapture(), kCaptureOk);

    const std::string path = dir.Path("k.avi");
    ASSERT_TRUE(ReadsCleanly(path));
    EXPECT_EQ(test::IndexKeyFlags(path), "K__K");
    // The real frame rate, not 600.
    const ProbeResult probe(path);
    EXPECT_EQ(probe["v.r_frame_rate"], "12/1");
    EXPECT_EQ(probe["0.codec_type"], "video");
    EXPECT_EQ(probe["a.codec_name"], "pcm_u8");
    EXPECT_EQ(probe["a.sample_rate"], "8000");
}

TEST_F(AviCaptureWriterTest, SoundFormatOfTheModelType)
{
    std::vector<std::uint8_t> picture(64 * 32 * 3, 50);
    const struct {
        int model;
        const char* codec;
        const char* rate;
    } cases[] = {{0, "pcm_alaw", "8000"}, {3, "pcm_alaw", "13183"}, {5, "pcm_u8", "16000"}, {6, "pcm_u8", "16000"}};
    for (const auto& c : cases) {
        capture.Initialize(c.model, &alerts);
        const std::string name = "m" + std::to_string(c.model) + ".avi";
        ASSERT_EQ(Start(name), kCaptureOk);
        EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 1), kCaptureWritten);
        capture.StopCapture();
        const ProbeResult probe(dir.Path(name));
        EXPECT_EQ(probe["a.codec_name"], c.codec) << c.model;
        EXPECT_EQ(probe["a.sample_rate"], c.rate) << c.model;
    }
}

TEST_F(AviCaptureWriterTest, NoFrameLeavesNoFileAndRestartFinishesTheFirst)
{
    capture.Initialize(4, &alerts);
    ASSERT_EQ(Start("empty.avi"), kCaptureOk);
    EXPECT_TRUE(Exists(dir.Path("empty.avi")));
    capture.StopCapture();
    EXPECT_FALSE(Exists(dir.Path("empty.avi")));

    std::vector<std::uint8_t> picture(64 * 32 * 3, 50);
    ASSERT_EQ(Start("first.avi"), kCaptureOk);
    EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 1), kCaptureWritten);
    // Starting again finishes the first file, then starts the second.
    ASSERT_EQ(Start("second.avi"), kCaptureOk);
    EXPECT_TRUE(ReadsCleanly(dir.Path("first.avi")));
    EXPECT_EQ(capture.FramesWritten(), 0);
    EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 1), kCaptureWritten);
    EXPECT_EQ(capture.WriteCaptureFrame(picture.data(), picture.size(), 1), kCaptureWritten);
    capture.StopCapture();
    const ProbeResult probe(dir.Path("second.avi"));
    EXPECT_EQ(probe["v.nb_read_frames"], "2");
}

TEST_F(AviCaptureWriterTest, CancelledChoiceAndRefusedFormat)
{
    capture.Initialize(4, &alerts);
    capture.SetCompressorChooser([](CompressOptions&) { return false; });
    EXPECT_EQ(Start("cancel.avi"), kCaptureCancelled);
    EXPECT_EQ(capture.State(), kCaptureIdle);
    EXPECT_FALSE(Exists(dir.Path("cancel.avi")));
    EXPECT_TRUE(alerts.texts.empty());

    capture.SetCompressorChooser([](CompressOptions& options) {
        options.handler = "no-such-encoder";
        return true;
    });
    EXPECT_EQ(Start("none.avi"), kCaptureNoCompressedStream);

    // h261 takes only its own picture sizes: the compressor refuses 64 x 32.
    capture.SetCompressorChooser([](CompressOptions& options) {
        options = DefaultCompressOptions();
        options.handler = "h261";
        return true;
    });
    EXPECT_EQ(Start("refused.avi"), kCaptureFormatRefused);
    EXPECT_EQ(capture.State(), kCaptureIdle);
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0], "Invalid codec!");
    EXPECT_FALSE(Exists(dir.Path("refused.avi")));
}

TEST_F(AviCaptureWriterTest, ClientPictureOnlyAtTheStartingSize)
{
    capture.Initialize(2, &alerts);
    // Started for 64 x 16 decoded pictures: 64 x 32 frames.
    ASSERT_EQ(Start("client.avi", 64, 32), kCaptureOk);
    std::vector<std::uint8_t> small(YuvPictureBytes(64, 16), 128);
    std::vector<std::uint8_t> tall(YuvPictureBytes(64, 20), 128);
    EXPECT_EQ(capture.WriteCapturePicture(small.data(), 64, 16), kCaptureWritten);
    EXPECT_EQ(capture.WriteCapturePicture(tall.data(), 64, 20), kCaptureOk);
    EXPECT_EQ(capture.WriteCapturePicture(small.data(), 32, 16), kCaptureOk);
    EXPECT_EQ(capture.WriteCapturePicture(small.data(), 64, 16), kCaptureWritten);
    EXPECT_EQ(capture.FramesWritten(), 2);
    capture.StopCapture();
    const ProbeResult probe(dir.Path("client.avi"));
    EXPECT_EQ(probe["v.nb_read_frames"], "2");
}

TEST_F(AviCaptureWriterTest, WritesDuringStartAndDuringAnotherWriteReturnAtOnce)
{
    capture.Initialize(4, &alerts);
    std::vector<std::uint8_t> picture(64 * 32 * 3, 50);
    // While the compressor is being chosen the capture is starting.
    int duringStart = -1;
    capture.SetCompressorChooser([&](CompressOptions& options) {
        std::thread other([&] { duringStart = capture.WriteCaptureFrame(picture.data(), picture.size(), 1); });
        other.join();
        options = DefaultCompressOptions();
        return true;
    });
    ASSERT_EQ(Start("busy0.avi"), kCaptureOk);
    EXPECT_EQ(duringStart, kCaptureStarting);
    capture.StopCapture();

    // A slow compressor keeps a large picture's write under way long enough to meet it.
    capture.SetCompressorChooser([](CompressOptions& options) {
        options = DefaultCompressOptions();
        options.handler = "png";
        return true;
    });
    const int width = 1920, height = 1080;
    ASSERT_EQ(Start("busy.avi", width, height), kCaptureOk);
    std::vector<std::uint8_t> big(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    std::atomic<bool> writing{true};
    std::atomic<bool> finished{false};
    int written = 0;
    std::thread writer([&] {
        for (int i = 0; i < 20 && writing.load(); ++i)
            if (capture.WriteCaptureFrame(big.data(), big.size(), 1) == kCaptureWritten) ++written;
        finished.store(true);
    });
    int busy = 0;
    std::vector<std::uint8_t> sound(100, 0x80);
    while (!finished.load() && busy < 2) {
        if (capture.State() != kCaptureWriting) continue;
        if (capture.WriteCaptureFrame(big.data(), big.size(), 1) == kCaptureBusy) ++busy;
        if (capture.WriteSound(sound.data(), sound.size()) == kCaptureBusy) ++busy;
    }
    writing.store(false);
    // Stopping waits for the write under way and leaves a whole file.
    EXPECT_EQ(capture.StopCapture(), kCaptureOk);
    writer.join();
    EXPECT_GE(busy, 1);
    EXPECT_TRUE(ReadsCleanly(dir.Path("busy.avi")));
    const ProbeResult probe(dir.Path("busy.avi"));
    EXPECT_EQ(probe["v.nb_read_frames"], std::to_string(written));
}

}  // namespace
}  // namespace tamlorex
