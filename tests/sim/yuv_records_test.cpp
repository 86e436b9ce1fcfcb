#include "sim/yuv_records.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "sim/scene.h"
#include "sim_test_util.h"

namespace tamlorex::sim {
namespace {

using testing::DecodeInto;
using testing::Psnr;

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), {});
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(RecordFile, LengthPrefixIsLittleEndian)
{
    std::vector<std::uint8_t> record(0x10203, 0xAB);
    std::vector<std::uint8_t> file;
    AppendRecord(file, record);
    ASSERT_EQ(file.size(), record.size() + 4);
    EXPECT_EQ(file[0], 0x03);
    EXPECT_EQ(file[1], 0x02);
    EXPECT_EQ(file[2], 0x01);
    EXPECT_EQ(file[3], 0x00);
    EXPECT_EQ(file[4], 0xAB);
}

TEST(RecordFile, SplitGivesBackEveryRecord)
{
    const std::vector<std::vector<std::uint8_t>> in = {{1, 2, 3}, {}, {9}, std::vector<std::uint8_t>(300, 7)};
    std::vector<std::uint8_t> file;
    for (const auto& r : in) AppendRecord(file, r);
    std::vector<std::vector<std::uint8_t>> out;
    std::string error;
    ASSERT_TRUE(SplitRecords(file, out, error)) << error;
    EXPECT_EQ(out, in);
    ASSERT_TRUE(SplitRecords({}, out, error));
    EXPECT_TRUE(out.empty());
}

TEST(RecordFile, CutOffFilesAreRefused)
{
    std::vector<std::uint8_t> file;
    AppendRecord(file, std::vector<std::uint8_t>{1, 2, 3});
    AppendRecord(file, std::vector<std::uint8_t>{4, 5});
    std::vector<std::vector<std::uint8_t>> out;
    std::string error;
    // Every shorter file ends inside a prefix or a record, except the one that ends after record 0.
    for (std::size_t n = 1; n < file.size(); ++n) {
        const bool ok = SplitRecords(std::span(file.data(), n), out, error);
        EXPECT_EQ(ok, n == 7) << n;
    }
    EXPECT_FALSE(SplitRecords(std::span(file.data(), 9), out, error));
    EXPECT_NE(error.find("length prefix"), std::string::npos) << error;
    EXPECT_FALSE(SplitRecords(std::span(file.data(), 12), out, error));
    EXPECT_NE(error.find("record 1"), std::string::npos) << error;
}

TEST(YuvRecords, SceneFramesAreTheScenesPictures)
{
    const std::string path = ::testing::TempDir() + "scene_frames.yuv";
    SceneFramesOptions o;
    o.height = kTallHeight;
    o.frames = 5;
    o.channels = 2;
    std::string error;
    ASSERT_TRUE(WriteSceneFrames(path, o, error)) << error;
    const std::vector<std::uint8_t> file = ReadAll(path);
    const std::size_t frame = YuvImage::Bytes(kPictureWidth, kTallHeight);
    ASSERT_EQ(file.size(), 5 * frame);
    // Frame 3 is channel 1 at 3/25 s.
    YuvImage expected;
    Scene(1, kPictureWidth, kTallHeight).Render(3 / 25.0, 9 * 3600, expected);
    EXPECT_TRUE(std::equal(expected.data.begin(), expected.data.end(), file.begin() + 3 * frame));
    // Consecutive frames differ: channels alternate and the scene moves.
    EXPECT_FALSE(std::equal(file.begin(), file.begin() + frame, file.begin() + frame));
    EXPECT_FALSE(std::equal(file.begin(), file.begin() + frame, file.begin() + 2 * frame));

    o.height = 240;
    EXPECT_FALSE(WriteSceneFrames(path, o, error));
    o.height = kShortHeight;
    o.channels = 0;
    EXPECT_FALSE(WriteSceneFrames(path, o, error));
    std::remove(path.c_str());
}

TEST(YuvRecords, EncodedFramesDecodeToTheirPictures)
{
    const std::string yuv = ::testing::TempDir() + "encode_in.yuv";
    const std::string records = ::testing::TempDir() + "encode_out.records";
    SceneFramesOptions frames;
    frames.frames = 3;
    std::string error;
    ASSERT_TRUE(WriteSceneFrames(yuv, frames, error)) << error;

    YuvEncodeOptions o;
    o.quantiserScale = 3;
    o.modelType = 6;
    YuvEncodeSummary s;
    ASSERT_TRUE(EncodeYuvFile(yuv, records, o, s, error)) << error;
    EXPECT_EQ(s.pictures, 3);

    std::vector<std::vector<std::uint8_t>> split;
    ASSERT_TRUE(SplitRecords(ReadAll(records), split, error)) << error;
    ASSERT_EQ(split.size(), 3u);
    const std::vector<std::uint8_t> file = ReadAll(yuv);
    std::uint64_t bytes = 0;
    VideoDecoder decoder;
    decoder.Init(6);
    for (std::size_t i = 0; i < split.size(); ++i) {
        YuvImage source(kPictureWidth, kShortHeight);
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(i * source.data.size()), source.data.size(), source.data.begin());
        PictureHeader header;
        header.modelType = 6;
        header.quantiserScale = 3;
        EXPECT_EQ(split[i], EncodePicture(header, source).record) << i;
        YuvImage decoded(kPictureWidth, kShortHeight);
        ASSERT_TRUE(DecodeInto(decoder, split[i], decoded)) << i;
        EXPECT_EQ(decoder.QuantiserScale(), 3u);
        EXPECT_GT(Psnr(source, decoded), 30.0) << i;
        bytes += split[i].size();
    }
    EXPECT_EQ(s.recordBytes, bytes);
    std::remove(yuv.c_str());
    std::remove(records.c_str());
}

TEST(YuvRecords, BadInputIsRefused)
{
    const std::string yuv = ::testing::TempDir() + "bad_in.yuv";
    const std::string records = ::testing::TempDir() + "bad_out.records";
    // One whole frame and a few bytes of the next.
    WriteAll(yuv, std::vector<std::uint8_t>(YuvImage::Bytes(kPictureWidth, kShortHeight) + 10, 128));
    YuvEncodeOptions o;
    YuvEncodeSummary s;
    std::string error;
    EXPECT_FALSE(EncodeYuvFile(yuv, records, o, s, error));
    EXPECT_NE(error.find("partial frame 1"), std::string::npos) << error;
    o.quantiserScale = 15;
    EXPECT_FALSE(EncodeYuvFile(yuv, records, o, s, error));
    o.quantiserScale = 4;
    o.height = 240;
    EXPECT_FALSE(EncodeYuvFile(yuv, records, o, s, error));
    o.height = kShortHeight;
    EXPECT_FALSE(EncodeYuvFile(::testing::TempDir() + "no_such_file.yuv", records, o, s, error));
    std::remove(yuv.c_str());
    std::remove(records.c_str());
}

int RunSim(const std::string& args)
{
    return std::system((std::string(TAMLOREX_SIM_PATH) + " " + args + " >/dev/null 2>&1").c_str());
}

TEST(SimProgram, MakeYuvThenEncodeYuv)
{
    const std::string yuv = ::testing::TempDir() + "sim_frames.yuv";
    const std::string records = ::testing::TempDir() + "sim_frames.records";
    ASSERT_EQ(RunSim("make-yuv " + yuv + " --frames 4 --size 640x272 --channels 3"), 0);
    EXPECT_EQ(ReadAll(yuv).size(), 4 * YuvImage::Bytes(kPictureWidth, kTallHeight));
    ASSERT_EQ(RunSim("encode-yuv " + yuv + " " + records + " --size 640x272 --q 5"), 0);
    std::vector<std::vector<std::uint8_t>> split;
    std::string error;
    ASSERT_TRUE(SplitRecords(ReadAll(records), split, error)) << error;
    ASSERT_EQ(split.size(), 4u);
    VideoDecoder decoder;
    decoder.Init(4);
    YuvImage decoded(kPictureWidth, kTallHeight);
    EXPECT_TRUE(DecodeInto(decoder, split[3], decoded));
    EXPECT_EQ(decoder.QuantiserScale(), 5u);

    // The frames are 640x272, so reading them as 640x224 leaves a partial frame.
    EXPECT_NE(RunSim("encode-yuv " + yuv + " " + records + " --size 640x224"), 0);
    EXPECT_NE(RunSim("encode-yuv " + yuv + " " + records + " --q"), 0);
    EXPECT_NE(RunSim("make-yuv " + yuv + " --size 640by224"), 0);
    std::remove(yuv.c_str());
    std::remove(records.c_str());
}

}  // namespace
}  // namespace tamlorex::sim
