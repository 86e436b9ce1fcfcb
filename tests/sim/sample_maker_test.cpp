#include "sim/sample_maker.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "media/vvf_builder.h"
#include "run_command.h"
#include "sim/audio_encode.h"
#include "sim/page_writer.h"
#include "sim/scene.h"
#include "sim_test_util.h"

namespace tamlorex::sim {
namespace {

using testing::DecodeInto;
using testing::Psnr;
using testing::SplitPages;
using testing::StreamRecord;

// G.711 A-law expansion, written out independently of the encoder for the round trip.
int ALawToLinear(std::uint8_t code)
{
    code ^= 0x55;
    int t = (code & 0x0F) << 4;
    const int segment = (code & 0x70) >> 4;
    if (segment == 0) t += 8;
    else if (segment == 1) t += 0x108;
    else t = (t + 0x108) << (segment - 1);
    return (code & 0x80) ? t : -t;
}

TEST(ALaw, KnownCodes)
{
    EXPECT_EQ(LinearToALaw(0), 0xD5);
    EXPECT_EQ(LinearToALaw(8), 0xD5);
    EXPECT_EQ(LinearToALaw(-8), 0x55);
    EXPECT_EQ(LinearToALaw(5504), 0x80);
    EXPECT_EQ(LinearToALaw(-5504), 0x00);
    EXPECT_EQ(LinearToALaw(32767), 0xAA);
    EXPECT_EQ(LinearToALaw(-32768), 0x2A);
}

TEST(ALaw, RoundTripStaysWithinHalfASegmentStep)
{
    for (int v = -32768; v <= 32767; v += 7) {
        const int back = ALawToLinear(LinearToALaw(static_cast<std::int16_t>(v)));
        const int magnitude = std::abs(v);
        const int step = magnitude < 512 ? 16 : (1 << (31 - __builtin_clz(static_cast<unsigned>(magnitude)))) / 16;
        EXPECT_LE(std::abs(back - v), step) << v;
    }
}

TEST(AudioFormat, RatesAndCodingPerModel)
{
    const int rates[7] = {8000, 8000, 8000, 13183, 8000, 16000, 16000};
    for (int m = 0; m <= 6; ++m) {
        EXPECT_EQ(AudioFormatOfModel(m).rate, rates[m]) << m;
        EXPECT_EQ(AudioFormatOfModel(m).alaw, m < 4) << m;
    }
}

TEST(Tone, LinearSamplesAreUnsignedAround128AtTheToneFrequency)
{
    ToneGenerator tone(AudioFormatOfModel(6), 1000, 0.5);
    std::vector<std::uint8_t> a = tone.Next(8000);
    const std::vector<std::uint8_t> b = tone.Next(8000);  // continues without a jump
    a.insert(a.end(), b.begin(), b.end());
    long sum = 0;
    int crossings = 0;
    int lo = 255, hi = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += a[i];
        lo = std::min<int>(lo, a[i]);
        hi = std::max<int>(hi, a[i]);
        if (i > 0 && (a[i - 1] < 128) != (a[i] < 128)) ++crossings;
        if (i > 0) {
            EXPECT_LE(std::abs(int{a[i]} - int{a[i - 1]}), 26) << i;
        }
    }
    EXPECT_NEAR(static_cast<double>(sum) / static_cast<double>(a.size()), 128.0, 0.5);
    EXPECT_NEAR(lo, 128 - 64, 1);
    EXPECT_NEAR(hi, 128 + 64, 1);
    EXPECT_NEAR(crossings, 2000, 4);  // one second at 16000 Hz: 1000 periods, two crossings each
}

TEST(Tone, ALawSamplesExpandToASine)
{
    ToneGenerator tone(AudioFormatOfModel(3), 1000, 0.5);
    const auto s = tone.Next(13183);
    double peak = 0;
    for (std::uint8_t c : s) peak = std::max(peak, std::fabs(ALawToLinear(c)));
    EXPECT_NEAR(peak, 16384, 600);
}

TEST(AudioRecord, LayoutAndNoStrayStartCodes)
{
    const std::vector<std::uint8_t> samples = {0x00, 0x00, 0x01, 0xF8, 0x00, 0x00, 0x01, 0x7F, 0x00, 0x00, 0x00, 0x01};
    const auto r = MakeAudioRecord(2, samples);
    ASSERT_EQ(r.size(), 6 + samples.size());
    EXPECT_EQ(r[3], 0xFC);
    EXPECT_EQ(r[4], 0);
    EXPECT_EQ(r[5], samples.size());
    const auto prefixes = FindStartCodePrefixes(r.data(), r.size());
    ASSERT_EQ(prefixes.size(), 1u);
    EXPECT_EQ(prefixes[0], 0u);
    EXPECT_EQ(r[6 + 3], 0xF8);  // untouched samples stay
    EXPECT_EQ(r[6 + 7], 0x7F);
}

TEST(PageWriter, PagesCarryHeadersAndTheStreamRunsOn)
{
    std::vector<std::uint8_t> file;
    PageWriter w(6, [&](const std::uint8_t* p, std::size_t n) {
        file.insert(file.end(), p, p + n);
        return true;
    });
    std::vector<std::uint8_t> data(10000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    w.SetHeader(0x01020304, 0x00FF, 0x85);
    ASSERT_TRUE(w.Append(data.data(), 5000));
    w.SetHeader(0x01020305, 0x0003, 2);
    ASSERT_TRUE(w.Append(data.data() + 5000, 5000));
    EXPECT_EQ(w.Pages(), 2u);  // the third page is still open
    ASSERT_TRUE(w.Finish());
    ASSERT_EQ(file.size(), 3 * kPageSize);
    EXPECT_EQ(w.Pages(), 3u);
    // Model 6 pages are big-endian; bit 7 of the interval is written as 0.
    EXPECT_EQ(file[0], 0x01);
    EXPECT_EQ(file[3], 0x04);
    EXPECT_EQ(file[6], 0x05);
    const PageHeader second = PageHeader::Decode(file.data() + kPageSize, true);
    EXPECT_EQ(second.time, 0x01020304u);  // begun while the first 5000 bytes were appended
    const PageHeader third = PageHeader::Decode(file.data() + 2 * kPageSize, true);
    EXPECT_EQ(third.time, 0x01020305u);
    EXPECT_EQ(third.mask, 0x0003);
    EXPECT_EQ(third.interval, 2);
    std::vector<std::uint8_t> body;
    for (int p = 0; p < 3; ++p) {
        EXPECT_TRUE(PageChecksumMatches(file.data() + p * kPageSize));
        body.insert(body.end(), file.begin() + p * kPageSize + kPageHeaderSize, file.begin() + (p + 1) * kPageSize);
    }
    EXPECT_TRUE(std::equal(data.begin(), data.end(), body.begin()));
    EXPECT_TRUE(std::all_of(body.begin() + static_cast<std::ptrdiff_t>(data.size()), body.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(PageWriter, StopsWhenTheSinkFails)
{
    int calls = 0;
    PageWriter w(4, [&](const std::uint8_t*, std::size_t) { return ++calls < 2; });
    std::vector<std::uint8_t> data(3 * kPageBodySize);
    EXPECT_FALSE(w.Append(data));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(w.Finish());
}

TEST(Font, DrawsDigitsAndLetters)
{
    for (char c : std::string("0123456789:CH")) EXPECT_TRUE(FontHasGlyph(c)) << c;
    YuvImage p(64, 32, 0);
    DrawText(p, 1, 1, 2, "8", 200);  // every row of an 8 has dots
    int lit = 0;
    for (std::uint8_t y : std::vector<std::uint8_t>(p.Y(), p.Y() + 64 * 32)) lit += y == 200;
    EXPECT_EQ(lit, 4 * 17);  // 17 dots of 2 x 2
    EXPECT_EQ(p.Y()[1 * 64 + 1], 0);       // top-left corner of an 8 is empty
    EXPECT_EQ(p.Y()[1 * 64 + 3], 200);     // top bar
    EXPECT_EQ(TextWidth("12", 3), 33);
    DrawText(p, 60, 28, 4, "1", 99);  // clipped, no write outside the picture
}

TEST(Scene, MovesButKeepsItsBackground)
{
    const Scene scene(2, kPictureWidth, kShortHeight);
    YuvImage a, b, c;
    scene.Render(1.0, 3600, a);
    scene.Render(1.5, 3600, b);
    scene.Render(1.0, 3601, c);
    int changedMacroblocks = 0;
    const PictureLevels moved = QuantisePicture(b, 4, &a);
    for (const auto& mb : moved.mb) changedMacroblocks += mb.coded;
    EXPECT_GT(changedMacroblocks, 4);
    EXPECT_LT(changedMacroblocks, 140);  // most of the 560 macroblocks stay
    const PictureLevels ticked = QuantisePicture(c, 4, &a);
    int clockMacroblocks = 0;
    for (int row = 0; row < ticked.Rows(); ++row)
        for (int col = 0; col < ticked.Columns(); ++col) {
            if (!ticked.At(row, col).coded) continue;
            ++clockMacroblocks;
            EXPECT_LT(row, 3);  // only the clock in the top-left changed
            EXPECT_LT(col, 12);
        }
    EXPECT_GT(clockMacroblocks, 0);
}

std::vector<std::uint8_t> MakeInMemory(const SampleOptions& o, SampleSummary& s)
{
    std::vector<std::uint8_t> file;
    std::string error;
    EXPECT_TRUE(MakeSample(
        o,
        [&](const std::uint8_t* p, std::size_t n) {
            file.insert(file.end(), p, p + n);
            return true;
        },
        s, error))
        << error;
    return file;
}

struct SampleCase {
    int model;
    int height;
    int channels;
};

class SampleRecording : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleRecording, DecodesChannelByChannelWithAdvancingPages)
{
    const auto [model, height, channels] = GetParam();
    SampleOptions o;
    o.modelType = model;
    o.height = height;
    o.channels = channels;
    o.seconds = 5;
    SampleSummary s;
    const std::vector<std::uint8_t> file = MakeInMemory(o, s);
    ASSERT_EQ(file.size(), s.bytes);
    std::vector<StreamRecord> records;
    ASSERT_TRUE(SplitPages(file, model, records));

    const AudioFormat format = AudioFormatOfModel(model);
    const double picturePeriod = (s.interval + 1) * FramePeriodMicros(model, height) / 1e6;
    EXPECT_NEAR(1.0 / picturePeriod, 15.0, 3.5);
    std::map<int, YuvImage> reference;  // one decoded picture per channel, as the player keeps them
    std::map<int, int> fullSeen;
    VideoDecoder decoder;
    decoder.Init(model);
    int video = 0, audio = 0, full = 0;
    std::uint64_t samples = 0;
    std::uint32_t lastTime = 0;
    for (const StreamRecord& r : records) {
        EXPECT_GE(r.pageTime, lastTime);
        lastTime = r.pageTime;
        EXPECT_EQ(r.pageMask, (1u << channels) - 1);
        EXPECT_EQ(r.pageInterval, s.interval);
        if (r.bytes[3] >= 0xFA) {
            EXPECT_EQ(r.bytes[3], 0xFA);
            ++audio;
            samples += r.bytes.size() - 6;
            EXPECT_EQ(r.bytes.size() - 6, static_cast<std::size_t>(r.bytes[4] << 8 | r.bytes[5]));
            continue;
        }
        ++video;
        EXPECT_EQ(FindStartCodePrefixes(r.bytes.data(), r.bytes.size()).size(), static_cast<std::size_t>(height / 16 + 1));
        ASSERT_NE(decoder.ParseHeader(r.bytes.data(), static_cast<std::uint32_t>(r.bytes.size())), 0u);
        const int channel = decoder.Channel();
        EXPECT_LT(channel, channels);
        if (model == 5) {
            EXPECT_EQ(decoder.DualFlag(), 1);
            EXPECT_EQ(channel % 2, 0);
            if (channel + 1 < channels) {
                EXPECT_EQ(decoder.DualRightChannel(), channel + 1);
            }
            EXPECT_EQ(decoder.RightHidden(), channel + 1 >= channels ? 1 : 0);
        }
        const bool isFull = decoder.FullPicture() != 0;
        if (!fullSeen[channel]) {
            EXPECT_TRUE(isFull) << "channel " << channel << " starts with an update picture";
        }
        fullSeen[channel] += isFull;
        full += isFull;
        auto it = reference.try_emplace(channel, kPictureWidth, height, 0, 128, 128).first;
        ASSERT_TRUE(DecodeInto(decoder, r.bytes, it->second));
    }
    EXPECT_EQ(video, s.pictures);
    EXPECT_EQ(full, s.fullPictures);
    EXPECT_EQ(audio, s.audioRecords);
    EXPECT_EQ(samples, s.audioSamples);
    EXPECT_NEAR(static_cast<double>(samples), format.rate * 5.0, format.rate * picturePeriod + 1);
    EXPECT_EQ(records.front().pageTime, kDefaultStartTime);
    EXPECT_EQ(lastTime, kDefaultStartTime + 4);  // five seconds of pages
    // Full pictures every two seconds per stream, updates in between.
    const int streams = model == 5 ? (channels + 1) / 2 : channels;
    EXPECT_EQ(static_cast<int>(fullSeen.size()), streams);
    for (const auto& [channel, count] : fullSeen) {
        EXPECT_GE(count, 2) << channel;
        EXPECT_LE(count, 3) << channel;
    }
    if (streams <= 8) {
        EXPECT_GT(s.updatePictures, s.fullPictures);
    }
    EXPECT_EQ(s.updatePictures + s.fullPictures, s.pictures);

    // The last decoded picture of channel 0 matches the scene as rendered for its time.
    const Scene scene(0, model == 5 ? kPictureWidth / 2 : kPictureWidth, height);
    int lastIndex = (s.pictures - 1) / streams * streams;
    YuvImage expected;
    const double t = lastIndex * picturePeriod;
    scene.Render(t, (kDefaultStartTime + static_cast<std::uint32_t>(t)) % 86400, expected);
    YuvImage got = reference.at(0);
    if (model == 5) {
        YuvImage left(kPictureWidth / 2, height), right(kPictureWidth / 2, height);
        ASSERT_TRUE(VideoDecoder::SplitDualPicture(ConstYuvPicture(got.data), kPictureWidth, height, YuvPicture(left.data),
                                                   YuvPicture(right.data)));
        got = left;
    }
    EXPECT_GT(Psnr(expected, got), 34.0);
}

INSTANTIATE_TEST_SUITE_P(Models, SampleRecording,
                         ::testing::Values(SampleCase{4, 224, 8}, SampleCase{6, 272, 3}, SampleCase{5, 224, 5},
                                           SampleCase{0, 224, 4}, SampleCase{2, 272, 1}, SampleCase{3, 224, 16}),
                         [](const auto& info) {
                             return "Model" + std::to_string(info.param.model) + "_" + std::to_string(info.param.height) + "_" +
                                    std::to_string(info.param.channels);
                         });

TEST(SampleRecording, RejectsBadOptions)
{
    SampleSummary s;
    std::string error;
    const auto sink = [](const std::uint8_t*, std::size_t) { return true; };
    SampleOptions o;
    o.channels = 5;
    o.modelType = 0;
    EXPECT_FALSE(MakeSample(o, sink, s, error));
    EXPECT_NE(error.find("channels"), std::string::npos);
    o = SampleOptions{};
    o.modelType = 2;
    o.channels = 2;  // the live-stream layout carries no channel
    EXPECT_FALSE(MakeSample(o, sink, s, error));
    o = SampleOptions{};
    o.modelType = 7;
    EXPECT_FALSE(MakeSample(o, sink, s, error));
    o = SampleOptions{};
    o.height = 240;
    EXPECT_FALSE(MakeSample(o, sink, s, error));
    o = SampleOptions{};
    o.seconds = 0;
    EXPECT_FALSE(MakeSample(o, sink, s, error));
}

TEST(SampleRecording, FramePeriods)
{
    EXPECT_EQ(FramePeriodMicros(0, 224), 33333);
    EXPECT_EQ(FramePeriodMicros(2, 272), 25000);
    EXPECT_EQ(FramePeriodMicros(4, 224), 16666);
    EXPECT_EQ(FramePeriodMicros(6, 272), 12500);
}

std::string RunSim(const std::string& args, int& status)
{
    const std::string out = ::testing::TempDir() + "sim_out.txt";
    status = std::system((std::string(TAMLOREX_SIM_PATH) + " " + args + " >" + out + " 2>&1").c_str());
    std::ifstream f(out);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(SimProgram, HelpAndMakeSample)
{
    int status = 0;
    const std::string help = RunSim("--help", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("make-sample"), std::string::npos);
    EXPECT_NE(RunSim("make-sample --help", status).find("--channels"), std::string::npos);

    const std::string path = ::testing::TempDir() + "sim_sample.vvf";
    std::remove(path.c_str());
    const std::string line = RunSim("make-sample " + path + " --channels 3 --seconds 2 --model 6", status);
    EXPECT_EQ(status, 0) << line;
    EXPECT_NE(line.find("3 channels"), std::string::npos) << line;
    std::ifstream f(path, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(f)), {});
    EXPECT_NE(line.find(std::to_string(file.size()) + " bytes"), std::string::npos) << line;
    std::vector<StreamRecord> records;
    EXPECT_TRUE(SplitPages(file, 6, records));
    EXPECT_GT(records.size(), 40u);
    std::remove(path.c_str());

    RunSim("make-sample " + path + " --channels 99", status);
    EXPECT_NE(status, 0);
    // Numbers beyond any int, and ones that are not finite, are refused like any bad value.
    for (const char* bad : {" --channels 1e10", " --quantiser -1e300", " --seconds nan", " --height inf"}) {
        const std::string text = RunSim("make-sample " + path + bad, status);
        EXPECT_NE(status, 0) << bad;
        EXPECT_NE(text.find("tamlorex-sim"), std::string::npos) << text;
    }
    EXPECT_EQ(RunSim("serve --port 1e12", status).find("listening"), std::string::npos);
    EXPECT_NE(status, 0);
    RunSim("frobnicate", status);
    EXPECT_NE(status, 0);
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// Every command, given what would otherwise make it write into the folder (or serve), answers
// --help and -h with its usage wherever they stand, and refuses an option it does not know in
// one line, writing nothing.
TEST(SimProgram, EveryCommandAnswersHelpAndRefusesUnknownOptions)
{
    test::TempDir dir;
    const std::string out = dir.Path("out");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    const std::string sim = TAMLOREX_SIM_PATH;
    int status = -1;
    test::RunCommand(sim + " make-yuv " + dir.Path("in.yuv") + " --frames 1", &status);
    ASSERT_EQ(status, 0);
    const std::pair<const char*, std::string> commands[] = {
        {"make-sample", out + "/s.vvf --seconds 1 --channels 1"},
        {"make-yuv", out + "/f.yuv --frames 2"},
        {"encode-yuv", dir.Path("in.yuv") + " " + out + "/r.records"},
        {"serve", "--port 0 --seconds 1"},
    };
    const std::string err = dir.Path("err.txt");
    for (const auto& [command, args] : commands) {
        const std::string start = "cd " + out + " && " + sim + " " + command;
        for (const std::string& line : {start + " --help " + args, start + " " + args + " -h"}) {
            const std::string text = test::RunCommand(line + " 2>/dev/null", &status);
            EXPECT_EQ(status, 0) << line;
            EXPECT_EQ(text.rfind(std::string("usage: tamlorex-sim ") + command, 0), 0u) << line << ": " << text;
        }
        for (const std::string unknown : {"-x", "--bogus"}) {
            const std::string line = unknown == "-x" ? start + " -x " + args : start + " " + args + " --bogus";
            const std::string text = test::RunCommand(line + " 2>" + err, &status);
            EXPECT_EQ(status, 2) << line;
            EXPECT_TRUE(text.empty()) << line << ": " << text;
            std::ifstream f(err);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}),
                      "tamlorex-sim: unknown option \"" + unknown + "\" for \"" + command + "\"; see tamlorex-sim " + command +
                          " --help\n");
        }
        EXPECT_TRUE(FilesIn(out).empty()) << command;
    }
    for (const char* help : {" --help", " -h"}) {
        EXPECT_EQ(test::RunCommand(sim + help, &status).rfind("usage: tamlorex-sim", 0), 0u);
        EXPECT_EQ(status, 0);
    }
    EXPECT_TRUE(test::RunCommand(sim + " --bogus 2>/dev/null", &status).empty());
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace tamlorex::sim
