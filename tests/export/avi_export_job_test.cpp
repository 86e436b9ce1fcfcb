// The export job: its first pass on small recordings made here, its second pass on the bundled
// sample, stopping, and the agreement of the files with our own decoding.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "codec/color_convert.h"
#include "codec/video_decoder.h"
#include "export/avi_export_job.h"
#include "export/export_test_util.h"
#include "export/time_text.h"
#include "media/vvf_reader.h"

namespace tamlorex {
namespace {

using test::AudioRecord;
using test::Bytes;
using test::PageFields;
using test::PictureRecord;
using test::ProbeResult;
using test::ReadsCleanly;
using test::TempDir;
using test::VvfBuilder;

bool Exists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// Runs the whole export and waits for it.
bool ExportAll(AviExportJob& job, const std::string& input, const std::string& output)
{
    job.SetRecordWait(std::chrono::milliseconds(0));
    if (!job.StartExport(input, output)) return false;
    for (int i = 0; i < 6000 && !job.Done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    job.Close();
    return job.Done();
}

// A start code after the last record, which a record needs to end.
Bytes Finished(VvfBuilder& b)
{
    b.Add({0, 0, 1, 0xF8});
    return b.Build();
}

VvfBuilder Builder(std::uint16_t mask, std::uint8_t interval)
{
    VvfBuilder b;
    b.Fields([mask, interval](std::size_t n) {
        PageFields f;
        f.time = 1230000000 + static_cast<std::uint32_t>(n);
        f.mask = mask;
        f.interval = interval;
        return f;
    });
    return b;
}

TEST(AviExportJobTest, RateFromTheMaskWithoutSound)
{
    TempDir dir;
    VvfBuilder b = Builder(0x000F, 0);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 4; ++c) b.Add(PictureRecord(c, 272, static_cast<std::uint8_t>(40 + 10 * c)));
    const std::string input = dir.Write("four.vvf", Finished(b));
    AviExportJob job;
    job.SetSelectedChannels(0x0007);  // channel 4 has pictures but is not selected
    ASSERT_TRUE(job.OpenInput(input));
    ASSERT_TRUE(job.FirstPass(dir.Path("out.avi")));
    EXPECT_FALSE(job.AudioPresent());
    for (int c = 1; c <= 4; ++c) EXPECT_EQ(job.PictureCount(c), 3) << c;
    const auto files = job.Files();
    ASSERT_EQ(files.size(), 3u);
    for (const ExportedFile& f : files) {
        EXPECT_EQ(f.rate, 50u);
        EXPECT_EQ(f.scale, 4u);
        EXPECT_EQ(f.width, 640);
        EXPECT_EQ(f.height, 544);
        EXPECT_FALSE(f.audio);
    }
    EXPECT_EQ(files[2].path, dir.Path("out-CH3.avi"));
    EXPECT_EQ(job.Percent(), 0);
    job.Close();
    EXPECT_FALSE(Exists(dir.Path("out-CH4.avi")));
    const ProbeResult probe(dir.Path("out-CH1.avi"));
    EXPECT_EQ(probe["v.r_frame_rate"], "25/2");
    EXPECT_EQ(probe["v.codec_name"], "rawvideo");
    EXPECT_TRUE(ReadsCleanly(dir.Path("out-CH1.avi")));
}

TEST(AviExportJobTest, PicturesSpreadOverSixtySecondsOfSound)
{
    TempDir dir;
    VvfBuilder b = Builder(0x0001, 0);
    const Bytes picture = PictureRecord(0, 224);
    for (int i = 0; i < 300; ++i) {
        b.Add(picture);
        if (i % 5 == 0) b.Add(AudioRecord(0, 8000));  // 60 records of one second
    }
    b.Add(AudioRecord(1, 4000));  // another audio channel: counted apart, never written
    const std::string input = dir.Write("sound.vvf", Finished(b));
    AviExportJob job;
    ASSERT_TRUE(job.OpenInput(input));
    ASSERT_TRUE(job.FirstPass(dir.Path("s.avi")));
    EXPECT_TRUE(job.AudioPresent());
    EXPECT_EQ(job.AudioBytes(0), 480000u);
    EXPECT_EQ(job.AudioBytes(1), 4000u);
    const auto files = job.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rate, 300000u);
    EXPECT_EQ(files[0].scale, 60000u);
    EXPECT_TRUE(files[0].audio);
    job.Close();
}

TEST(AviExportJobTest, EachChannelKeepsItsFirstPictureSize)
{
    TempDir dir;
    VvfBuilder b = Builder(0x0003, 1);
    b.Add(PictureRecord(0, 272, 60)).Add(PictureRecord(1, 224, 90));
    b.Add(PictureRecord(0, 224, 70));  // another size in channel 1: skipped
    b.Add(PictureRecord(0, 272, 80)).Add(PictureRecord(1, 224, 100));
    b.Add(AudioRecord(0, 3000)).Add(AudioRecord(2, 3000));
    const std::string input = dir.Write("sizes.vvf", Finished(b));
    AviExportJob job;
    ASSERT_TRUE(ExportAll(job, input, dir.Path("sizes.avi")));
    const auto files = job.Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].height, 544);
    EXPECT_EQ(files[0].frames, 2);
    EXPECT_EQ(files[1].height, 448);
    EXPECT_EQ(files[1].frames, 2);
    for (const ExportedFile& f : files) {
        ASSERT_TRUE(ReadsCleanly(f.path)) << f.path;
        const ProbeResult probe(f.path);
        EXPECT_EQ(probe["v.height"], std::to_string(f.height));
        EXPECT_EQ(probe["v.nb_read_frames"], "2");
        // Only audio channel 0's 3000 samples.
        EXPECT_EQ(probe["a.codec_name"], "pcm_u8");
        const std::string samples =
            test::RunCommand("ffmpeg -v error -i '" + f.path + "' -map 0:a -f u8 - | wc -c");
        EXPECT_EQ(samples, "3000\n");
    }
}

TEST(AviExportJobTest, EmptyAndPartialInputs)
{
    TempDir dir;
    const std::string empty = dir.Write("empty.vvf", {});
    AviExportJob job;
    ASSERT_TRUE(ExportAll(job, empty, dir.Path("e.avi")));
    EXPECT_TRUE(job.Files().empty());
    EXPECT_EQ(job.Percent(), 0);
    EXPECT_FALSE(Exists(dir.Path("e-CH1.avi")));

    // The last page cut short still ends the export.
    VvfBuilder b = Builder(0x0001, 0);
    for (int i = 0; i < 3; ++i) b.Add(PictureRecord(0, 224, static_cast<std::uint8_t>(50 + i)));
    Bytes bytes = Finished(b);
    bytes.resize(bytes.size() - 1000);
    const std::string cut = dir.Write("cut.vvf", bytes);
    AviExportJob second;
    ASSERT_TRUE(ExportAll(second, cut, dir.Path("cut.avi")));
    ASSERT_EQ(second.Files().size(), 1u);
    EXPECT_GE(second.Files()[0].frames, 1);
    EXPECT_TRUE(ReadsCleanly(dir.Path("cut-CH1.avi")));
}

TEST(AviExportJobTest, FailedFirstPassLeavesNothing)
{
    TempDir dir;
    AviExportJob job;
    EXPECT_FALSE(job.StartExport(std::string(TAMLOREX_SAMPLE_PATH), dir.Path("no/such/folder/x.avi")));
    EXPECT_FALSE(job.IsRunning());
    EXPECT_FALSE(job.StartExport("", dir.Path("x.avi")));
    EXPECT_FALSE(job.StartExport(dir.Path("missing.vvf"), dir.Path("x.avi")));
    EXPECT_FALSE(Exists(dir.Path("x-CH1.avi")));
}

class CountingPreview : public ExportPreview {
public:
    void ShowExportPicture(int channel, const std::uint8_t* picture, int width, int height) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++shown;
        ok = ok && picture && width == 640 && height == 448 && channel >= 1 && channel <= 4;
    }
    std::mutex mutex;
    int shown = 0;
    bool ok = true;
};

TEST(AviExportJobTest, StoppedExportLeavesPlayableFiles)
{
    TempDir dir;
    AviExportJob job;
    CountingPreview preview;
    job.SetPreview(&preview);
    job.SetSelectedChannels(0x000F);
    // The dialog's pace: one record per 10 ms, so the sample takes seconds.
    ASSERT_TRUE(job.StartExport(TAMLOREX_SAMPLE_PATH, dir.Path("stop.avi")));
    EXPECT_FALSE(job.StartExport(TAMLOREX_SAMPLE_PATH, dir.Path("again.avi")));  // one export at a time
    while (job.Percent() < 20) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(job.Done());
    job.Close();
    EXPECT_FALSE(job.InputOpen());
    const auto files = job.Files();
    ASSERT_EQ(files.size(), 4u);
    int frames = 0;
    for (const ExportedFile& f : files) {
        ASSERT_TRUE(ReadsCleanly(f.path)) << f.path;
        const ProbeResult probe(f.path);
        EXPECT_EQ(probe["v.nb_read_frames"], std::to_string(f.frames)) << f.path;
        EXPECT_LT(f.frames, 38);
        frames += static_cast<int>(f.frames);
    }
    EXPECT_GT(frames, 0);
    EXPECT_EQ(preview.shown, frames);
    EXPECT_TRUE(preview.ok);
}

// Our own decoding of channel `channel`'s picture number `n`, doubled and right side up.
std::vector<std::uint8_t> OwnPicture(int channel, int n, std::string& time)
{
    VvfReader reader;
    reader.SetModelType(4);
    if (!reader.Open(TAMLOREX_SAMPLE_PATH, false)) return {};
    VideoDecoder decoder;
    decoder.Init(4);
    std::vector<std::uint8_t> yuv(kYuvPictureBufferSize, 128);
    std::fill(yuv.begin(), yuv.begin() + 640 * 224, 0);
    std::vector<std::uint8_t> record(kExportRecordBufferSize);
    int seen = 0;
    for (int empty = 0; empty < kExportEmptyReadsToStop;) {
        const std::uint32_t length = reader.ReadNext(record.data());
        if (!length) {
            ++empty;
            continue;
        }
        empty = 0;
        if (reader.IsAudio() || !decoder.ParseHeader(record.data(), length) || decoder.Channel() != channel) continue;
        decoder.Decode(record.data(), length, YuvPicture(yuv.data(), yuv.size()));
        if (seen++ < n) continue;
        const int w = static_cast<int>(decoder.Width()), h = static_cast<int>(decoder.Height());
        std::vector<std::uint8_t> dib(static_cast<std::size_t>(w) * h * 3), doubled(dib.size() * 2), flipped(doubled.size());
        ConvertToDib24(dib.data(), yuv.data(), w, h);
        DoubleHeight(doubled.data(), dib.data(), w, h);
        const std::size_t line = static_cast<std::size_t>(w) * 3;
        for (int r = 0; r < 2 * h; ++r)
            std::copy_n(doubled.data() + static_cast<std::size_t>(2 * h - 1 - r) * line, line, flipped.data() + r * line);
        time = FormatExportTime(reader.CurrentPageTime());
        return flipped;
    }
    return {};
}

TEST(AviExportJobTest, SampleExportMatchesOurDecodingOutsideTheTimeText)
{
    TempDir dir;
    AviExportJob job;
    job.SetLanes(2);
    job.SetSelectedChannels(0x0005);  // channels 1 and 3
    ASSERT_TRUE(ExportAll(job, TAMLOREX_SAMPLE_PATH, dir.Path("sample.avi")));
    const auto files = job.Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].frames, 38);
    EXPECT_EQ(files[0].rate, 38000u);
    EXPECT_EQ(files[0].scale, 20065u);  // 160526 samples: 20065 ms

    for (int n : {0, 17, 37}) {
        std::string time;
        const std::vector<std::uint8_t> own = OwnPicture(2, n, time);
        ASSERT_EQ(own.size(), 640u * 448u * 3u);
        const std::vector<std::uint8_t> theirs = test::DecodeFrame(files[1].path, n, dir.Path("frame.raw"));
        ASSERT_EQ(theirs.size(), own.size());
        const int right = TimeTextRight(time), bottom = TimeTextBottom();
        int textPixels = 0;
        for (int y = 0; y < 448; ++y)
            for (int x = 0; x < 640; ++x) {
                const std::size_t at = (static_cast<std::size_t>(y) * 640 + x) * 3;
                const bool inText = x < right && y < bottom;
                const bool same = std::equal(own.begin() + at, own.begin() + at + 3, theirs.begin() + at);
                if (!inText) ASSERT_TRUE(same) << "picture " << n << " at " << x << "," << y;
                else if (!same) ++textPixels;
            }
        // The time text is burnt in: white pixels where our own picture has none.
        EXPECT_GT(textPixels, 100) << n;
    }
}

TEST(AviExportJobTest, TwoLanesWriteTheSameFilesAsOne)
{
    TempDir dir;
    // Compressed, to keep the files small.
    CompressOptions options = DefaultCompressOptions();
    options.handler = "mjpeg";
    AviExportJob one, two;
    SetCompressOptions(options);
    one.SetLanes(1);
    two.SetLanes(2);
    ASSERT_TRUE(ExportAll(one, TAMLOREX_SAMPLE_PATH, dir.Path("one.avi")));
    ASSERT_TRUE(ExportAll(two, TAMLOREX_SAMPLE_PATH, dir.Path("two.avi")));
    for (int c = 1; c <= 8; ++c) {
        const auto a = test::ReadFile(ChannelOutputName(dir.Path("one.avi"), c));
        const auto b = test::ReadFile(ChannelOutputName(dir.Path("two.avi"), c));
        ASSERT_FALSE(a.empty());
        EXPECT_TRUE(a == b) << "channel " << c;
    }
    ResetCompressOptions();
}

}  // namespace
}  // namespace tamlorex
