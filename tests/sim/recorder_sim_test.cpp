// The recorder simulator: packet cutting, the live layout, the view's reaction to keys, the feed,
// and whole sessions over 127.0.0.1 with a client socket in the test.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "audio/audio_out.h"
#include "codec/video_decoder.h"
#include "media/vvf_reader.h"
#include "net/control_packet.h"
#include "net/hex_field.h"
#include "sim/control_link.h"
#include "sim/live_feed.h"
#include "sim/live_view.h"
#include "sim/recorder_sim.h"
#include "sim/sample_maker.h"
#include "sim_test_util.h"

namespace tamlorex::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ---------------------------------------------------------------------------------------------
// Packet cutting

TEST(PacketReaderTest, CutsPacketsFedOneByteAtATime)
{
    const Bytes stream = Concat({ControlPacket::Login("1234"), ControlPacket::Key(0x15), ControlPacket::Logout()});
    PacketReader reader;
    std::vector<PacketReader::Packet> packets;
    for (std::uint8_t b : stream) reader.Feed(&b, 1, packets);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].code, CMD_LOGIN);
    EXPECT_EQ(packets[0].bytes.size(), kLoginPacketSize);
    EXPECT_EQ(packets[1].code, CMD_KEY);
    EXPECT_EQ(HexField::Read(packets[1].bytes.data() + 12), 0x15);
    EXPECT_EQ(packets[2].code, CMD_LOGOUT);
    EXPECT_EQ(reader.DroppedBytes(), 0u);
}

TEST(PacketReaderTest, DropsNoiseAndShortOrUnreadableLengths)
{
    Bytes stream = {'x', 0x00, 0x00, 0x01, 0x00, 0x01, 0xFE};        // junk, including a near start code
    const Bytes shortLength = {0x00, 0x00, 0x01, 0xFE, '0', '0', '0', '4'};   // declares 4 bytes
    const Bytes badDigit = {0x00, 0x00, 0x01, 0xFE, '0', '0', '1', 'g'};      // reads as 0
    stream = Concat({stream, shortLength, badDigit, ControlPacket::Key(7)});
    PacketReader reader;
    std::vector<PacketReader::Packet> packets;
    reader.Feed(stream.data(), stream.size(), packets);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].code, CMD_KEY);
    EXPECT_EQ(HexField::Read(packets[0].bytes.data() + 12), 7);
    EXPECT_GE(reader.DroppedBytes(), 7u + 8u + 8u);
}

TEST(PacketReaderTest, SkipsAnOversizedPacketWithoutStoringItAndReadsOn)
{
    // Declares 0xFFFF bytes; the body that follows is swallowed, then a key packet is read.
    Bytes big = {0x00, 0x00, 0x01, 0xFE, 'F', 'F', 'F', 'F', '0', '0', '8', '5'};
    big.resize(0xFFFF, 0xAB);
    const Bytes stream = Concat({big, ControlPacket::Key(3)});
    PacketReader reader;
    std::vector<PacketReader::Packet> packets;
    for (std::size_t at = 0; at < stream.size(); at += 1000)
        reader.Feed(stream.data() + at, std::min<std::size_t>(1000, stream.size() - at), packets);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].code, CMD_KEY);
    EXPECT_EQ(reader.OversizedPackets(), 1u);
    EXPECT_EQ(reader.DroppedBytes(), 0xFFFFu);
}

TEST(LoginCheckTest, AcceptsTheDigestOfThePasswordInEitherCaseOnly)
{
    Bytes login = ControlPacket::Login("1234");
    EXPECT_TRUE(LoginMatches(login.data(), login.size(), "1234"));
    EXPECT_FALSE(LoginMatches(login.data(), login.size(), "1235"));
    EXPECT_FALSE(LoginMatches(login.data(), login.size(), ""));
    for (std::size_t i = 12; i < login.size(); ++i) login[i] = static_cast<std::uint8_t>(std::tolower(login[i]));
    EXPECT_TRUE(LoginMatches(login.data(), login.size(), "1234"));
    EXPECT_FALSE(LoginMatches(login.data(), 40, "1234"));  // cut short
    const Bytes empty = ControlPacket::Login("");
    EXPECT_TRUE(LoginMatches(empty.data(), empty.size(), ""));
}

// ---------------------------------------------------------------------------------------------
// Live layout

TEST(LiveLayoutTest, StoredRecordsDecodeTheSameInTheLiveLayout)
{
    const YuvImage source = testing::NaturalPicture(kPictureWidth, kShortHeight, 3);
    for (int model : {1, 4, 5}) {
        PictureHeader h;
        h.modelType = model;
        h.channel = 3;
        h.quantiserScale = 5;
        const EncodeResult stored = EncodePicture(h, source);
        ASSERT_FALSE(stored.record.empty());
        Bytes live;
        ASSERT_TRUE(ToLiveLayout(stored.record.data(), stored.record.size(), model, 0x1234, live));
        EXPECT_EQ(live[4], 0x80 | 5 << 3) << model;  // full, quantiser 5, no channel
        EXPECT_EQ(live[5], 0x12);
        EXPECT_EQ(live[6], 0x34);

        VideoDecoder storedDecoder, liveDecoder;
        storedDecoder.Init(model);
        liveDecoder.Init(kLiveModelType);
        YuvImage a(kPictureWidth, kShortHeight), b(kPictureWidth, kShortHeight);
        ASSERT_TRUE(testing::DecodeInto(storedDecoder, stored.record, a));
        ASSERT_TRUE(testing::DecodeInto(liveDecoder, live, b)) << model;
        EXPECT_EQ(liveDecoder.FullPicture(), 1);
        EXPECT_EQ(liveDecoder.ExtraValue(), 0x1234);
        EXPECT_EQ(a.data, b.data) << model;
    }
}

TEST(LiveLayoutTest, UpdatePicturesKeepTheirKindAndOtherRecordsAreRefused)
{
    const YuvImage first = testing::NaturalPicture(kPictureWidth, kShortHeight, 1);
    YuvImage second = first;
    FillRect(second, 100, 40, 64, 64, 250, 90, 90);
    PictureHeader h;
    h.modelType = 4;
    h.full = false;
    const EncodeResult update = EncodePicture(h, second, &first);
    Bytes live;
    ASSERT_TRUE(ToLiveLayout(update.record.data(), update.record.size(), 4, 1, live));
    EXPECT_EQ(live[3], 0xF8);
    EXPECT_EQ(live[4] & 0x80, 0);
    EXPECT_TRUE(StartCodesOnlyWhereExpected(live, [&] {
        std::vector<std::uint32_t> offsets;
        for (std::uint32_t o : update.sliceOffsets) offsets.push_back(o + 2);  // two bytes inserted
        return offsets;
    }()));

    const Bytes audio = {0x00, 0x00, 0x01, 0xFA, 0x00, 0x02, 0x11, 0x22};
    Bytes untouched = {9};
    EXPECT_FALSE(ToLiveLayout(audio.data(), audio.size(), 4, 1, untouched));
    EXPECT_EQ(untouched, Bytes{9});
    EXPECT_FALSE(ToLiveLayout(audio.data(), 5, 4, 1, untouched));
}

// ---------------------------------------------------------------------------------------------
// The view and its keys

double Mean(const YuvImage& p, int x0, int y0, int w, int h)
{
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) sum += p.Y()[static_cast<std::size_t>(y) * p.width + x];
    return sum / (w * h);
}

// Cameras of one flat grey each, so that what the view draws can be told apart.
bool FlatCamera(int channel, int w, int h, YuvImage& out)
{
    out = YuvImage(w, h, static_cast<std::uint8_t>(100 + 10 * channel));
    return true;
}

TEST(LiveViewTest, ChannelAndSplitKeysChangeWhatIsShown)
{
    LiveView view(9);
    EXPECT_EQ(view.HandleKey(0x15, 0), "channel 5");  // Channel 5 is 0x15, not 0x05
    EXPECT_EQ(view.Channel(), 4);
    YuvImage out(kPictureWidth, kShortHeight);
    view.Render(10, FlatCamera, out);
    EXPECT_EQ(out.Y()[100 * kPictureWidth + 300], 140);

    EXPECT_EQ(view.HandleKey(dvrkey::kSelect, 0), "split 4");  // around channel 5: channels 5..8
    EXPECT_EQ(view.Split(), 4);
    view.Render(10, FlatCamera, out);
    EXPECT_EQ(out.Y()[10 * kPictureWidth + 10], 140);                  // channel 5 top left
    EXPECT_EQ(out.Y()[10 * kPictureWidth + 330], 150);                 // channel 6 top right
    EXPECT_EQ(out.Y()[120 * kPictureWidth + 330], 170);                // channel 8 bottom right
    EXPECT_EQ(out.Y()[10 * kPictureWidth + 319], 16);                  // the seam

    const std::uint32_t generation = view.LayoutGeneration();
    EXPECT_EQ(view.HandleKey(dvrkey::kSplit9, 0), "split 9");
    EXPECT_NE(view.LayoutGeneration(), generation);
    view.Render(10, FlatCamera, out);
    EXPECT_EQ(out.Y()[10 * kPictureWidth + 10], 100);    // channel 1
    EXPECT_EQ(out.Y()[200 * kPictureWidth + 600], 180);  // channel 9
    EXPECT_EQ(view.HandleKey(0x02, 0), "channel 2");
    EXPECT_EQ(view.Split(), 1);
}

TEST(LiveViewTest, MenuKeysDrawAndDriveTheMenu)
{
    LiveView view(4);
    YuvImage plain(kPictureWidth, kShortHeight), menu(kPictureWidth, kShortHeight);
    view.Render(100, FlatCamera, plain);
    EXPECT_FALSE(view.HasOverlay(100));
    EXPECT_EQ(view.HandleKey(dvrkey::kMenu, 100), "menu open");
    view.Render(100, FlatCamera, menu);
    EXPECT_LT(Mean(menu, 185, 46, 10, 28), 40);  // the menu box
    EXPECT_EQ(Mean(plain, 185, 46, 10, 28), 100);
    EXPECT_EQ(view.HandleKey(dvrkey::kDown, 100), "menu item CAMERA SETUP");
    EXPECT_EQ(view.HandleKey(dvrkey::kDown, 100), "menu item SPLIT 4");
    EXPECT_EQ(view.HandleKey(dvrkey::kSelect, 100), "menu select SPLIT 4");  // Select, not the split toggle
    EXPECT_FALSE(view.MenuOpen());
    EXPECT_EQ(view.Split(), 4);
    EXPECT_EQ(view.HandleKey(dvrkey::kMenu, 100), "menu open");
    EXPECT_EQ(view.HandleKey(dvrkey::kUp, 100), "menu item EXIT");
    EXPECT_EQ(view.HandleKey(dvrkey::kSelect, 100), "menu select EXIT");
    EXPECT_FALSE(view.MenuOpen());
    EXPECT_EQ(view.Split(), 4);
}

TEST(LiveViewTest, OtherKeysShowTheirNameForAWhileAndRecordToggles)
{
    LiveView view(4);
    EXPECT_EQ(KeyName(0x0B), "PLAY");
    EXPECT_EQ(KeyName(65), "KEY 65");
    EXPECT_EQ(KeyName(0x19), "CHANNEL 9");
    EXPECT_EQ(view.HandleKey(0x0B, 50), "shown");
    EXPECT_TRUE(view.HasOverlay(51));
    EXPECT_FALSE(view.HasOverlay(53));
    EXPECT_EQ(view.HandleKey(dvrkey::kRecord, 60), "recording");
    EXPECT_TRUE(view.HasOverlay(100));
    EXPECT_NE(view.StatusValue() & 0x100, 0);
    EXPECT_EQ(view.HandleKey(dvrkey::kStop, 60), "recording stopped");
    EXPECT_FALSE(view.HasOverlay(100));
}

TEST(LiveViewTest, MissingCamerasAndThePointerAreDrawn)
{
    LiveView view(2);
    view.HandleKey(dvrkey::kChannel4, 0);  // the recorder has two cameras
    YuvImage out(kPictureWidth, kShortHeight);
    view.Render(100, FlatCamera, out);
    EXPECT_EQ(out.Y()[5 * kPictureWidth + 5], 40);  // "no video" background
    view.HandleKey(dvrkey::kChannel1, 0);
    view.HandleMouse(0x101, 720, 480, 360, 240);  // mode 2: the pointer is shown
    EXPECT_TRUE(view.PointerShown());
    view.Render(100, FlatCamera, out);
    EXPECT_EQ(out.Y()[112 * kPictureWidth + 320], 250);
    view.HandleMouse(0x001, 720, 480, 360, 240);
    EXPECT_FALSE(view.PointerShown());
}

TEST(LiveViewTest, BlitClipsAtEveryEdge)
{
    YuvImage out(64, 32, 0, 0, 0);
    const YuvImage pane(20, 10, 200, 50, 60);
    BlitPicture(pane, -10, -4, out);
    BlitPicture(pane, 54, 26, out);
    BlitPicture(pane, 100, 100, out);
    EXPECT_EQ(out.Y()[0], 200);
    EXPECT_EQ(out.Y()[31 * 64 + 63], 200);
    EXPECT_EQ(out.Y()[16 * 64 + 32], 0);
    EXPECT_EQ(out.U()[0], 50);
    EXPECT_EQ(out.V()[15 * 32 + 31], 60);
}

// ---------------------------------------------------------------------------------------------
// The feed

// Cuts a stream at every 00 00 01 F8..FE; control messages are cut by their length.
struct Units {
    std::vector<Bytes> pictures;
    std::vector<Bytes> sound;
    std::vector<Bytes> messages;
};

Units Split(const Bytes& s)
{
    Units u;
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k + 3 < s.size(); ++k)
        if (s[k] == 0 && s[k + 1] == 0 && s[k + 2] == 1 && s[k + 3] >= 0xF8 && s[k + 3] <= 0xFE) starts.push_back(k);
    starts.push_back(s.size());
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        const Bytes unit(s.begin() + static_cast<std::ptrdiff_t>(starts[i]), s.begin() + static_cast<std::ptrdiff_t>(starts[i + 1]));
        const std::uint8_t type = unit[3];
        if (type == 0xF8 || type == 0xF9) u.pictures.push_back(unit);
        else if (type == 0xFA) u.sound.push_back(unit);
        else if (type == 0xFE) u.messages.push_back(unit);
    }
    return u;
}

TEST(LiveFeedTest, SyntheticPicturesDecodeAsModelTwoWithRisingFrameNumbers)
{
    FeedOptions options;
    LiveFeed feed(options);
    std::string error;
    ASSERT_TRUE(feed.Open(error)) << error;
    LiveView view(4);
    Bytes stream;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(feed.Pictures(i * 0.04, 36000, view, stream), 1);
    feed.Sound(400, stream);
    const Units u = Split(stream);
    ASSERT_EQ(u.pictures.size(), 6u);
    ASSERT_EQ(u.sound.size(), 1u);
    EXPECT_EQ(u.sound[0].size(), 6u + 400u);
    VideoDecoder decoder;
    decoder.Init(kLiveModelType);
    YuvImage picture(kPictureWidth, kShortHeight);
    std::uint16_t last = 0;
    for (std::size_t i = 0; i < u.pictures.size(); ++i) {
        ASSERT_TRUE(testing::DecodeInto(decoder, u.pictures[i], picture)) << i;
        EXPECT_EQ(decoder.FullPicture(), i == 0 ? 1 : 0) << i;
        EXPECT_GT(decoder.ExtraValue(), last);
        last = decoder.ExtraValue();
    }
    // The last decoded picture is close to what the view draws.
    YuvImage expected(kPictureWidth, kShortHeight);
    Scene scene(0, kPictureWidth, kShortHeight);
    view.Render(0.2, [&](int, int, int, YuvImage& out) { scene.Render(0.2, 36000, out); return true; }, expected);
    EXPECT_GT(testing::Psnr(picture, expected), 28.0);

    // A layout change and a new client each start with a full picture.
    view.HandleKey(dvrkey::kSplit9, 0.3);
    Bytes more;
    feed.Pictures(0.3, 36000, view, more);
    feed.Restart();
    feed.Pictures(0.34, 36000, view, more);
    const Units v = Split(more);
    ASSERT_EQ(v.pictures.size(), 2u);
    EXPECT_NE(v.pictures[0][4] & 0x80, 0);
    EXPECT_NE(v.pictures[1][4] & 0x80, 0);
}

TEST(LiveFeedTest, ARecordingIsStreamedInTheLiveLayout)
{
    const std::string path = ::testing::TempDir() + "recorder_sim_source.vvf";
    SampleOptions sample;
    sample.channels = 2;
    sample.seconds = 3;
    sample.modelType = 4;
    sample.fullPictureEvery = 1.0;
    SampleSummary summary;
    std::string error;
    ASSERT_TRUE(MakeSampleFile(path, sample, summary, error)) << error;

    FeedOptions options;
    options.source = path;
    options.sourceModel = 4;
    LiveFeed feed(options);
    ASSERT_TRUE(feed.Open(error)) << error;
    LiveView view(2);
    Bytes stream;
    for (int i = 0; i < 100; ++i) {
        feed.Pictures(i * 0.04, 0, view, stream);
        feed.Sound(320, stream);
    }
    view.HandleKey(dvrkey::kSelect, 4.0);  // split: composed and encoded
    for (int i = 100; i < 110; ++i) feed.Pictures(i * 0.04, 0, view, stream);
    view.HandleKey(dvrkey::kChannel4, 4.5);  // the recording has two channels: "no video" is encoded
    const int encodedBefore = feed.EncodedPictures();
    for (int i = 0; i < 5; ++i) EXPECT_GE(feed.Pictures(7.0 + i * 0.04, 0, view, stream), 1);  // after the key's banner
    EXPECT_EQ(feed.EncodedPictures(), encodedBefore + 5);
    EXPECT_GT(feed.PassedPictures(), 5);
    EXPECT_GT(feed.EncodedPictures(), 5);
    const Units u = Split(stream);
    ASSERT_GT(u.pictures.size(), 10u);
    EXPECT_GT(u.sound.size(), 10u);
    VideoDecoder decoder;
    decoder.Init(kLiveModelType);
    YuvImage picture(kPictureWidth, kShortHeight);
    EXPECT_NE(u.pictures[0][4] & 0x80, 0);  // the stream opens with a full picture
    for (std::size_t i = 0; i < u.pictures.size(); ++i) ASSERT_TRUE(testing::DecodeInto(decoder, u.pictures[i], picture)) << i;

    // The sound is the recording's own (8-bit linear at 8000 Hz for model type 4), from its start.
    Bytes sent;
    for (const Bytes& unit : u.sound) sent.insert(sent.end(), unit.begin() + 6, unit.end());
    Bytes stored;
    VvfReader reader;
    reader.SetModelType(4);
    ASSERT_TRUE(reader.Open(path, false));
    std::vector<std::uint8_t> record(kRecordBufferSize);
    for (int empty = 0; empty < 40 && stored.size() < sent.size();) {
        const std::uint32_t length = reader.ReadNext(record.data());
        empty = length == 0 ? empty + 1 : 0;
        if (length > 0 && reader.IsAudio()) stored.insert(stored.end(), record.begin(), record.begin() + length);
    }
    // The feed starts the recording again at its end: what was sent begins with all it holds.
    ASSERT_GE(sent.size(), 3200u);
    ASSERT_GE(stored.size(), 3200u);
    const std::size_t both = std::min(sent.size(), stored.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(both), stored.begin()));
    std::remove(path.c_str());
}

// The samples of a sound unit as 16-bit values, read in the given coding.
std::vector<int> SoundSamples(const Bytes& unit, bool alaw)
{
    std::vector<int> out;
    for (std::size_t i = 6; i < unit.size(); ++i) out.push_back(alaw ? ALawToLinear(unit[i]) : (unit[i] - 128) * 256);
    return out;
}

TEST(LiveFeedTest, SoundIsInTheCodingAndAtTheRateOfTheModelType)
{
    // model type, A-law, samples per second
    const std::tuple<int, bool, int> cases[] = {{4, false, 8000}, {3, true, 13183}, {5, false, 16000}, {2, true, 8000}};
    for (const auto& [model, alaw, rate] : cases) {
        FeedOptions options;
        options.sourceModel = model;
        options.toneHz = 500;
        LiveFeed feed(options);
        std::string error;
        ASSERT_TRUE(feed.Open(error)) << error;
        EXPECT_EQ(feed.SoundFormat().alaw, alaw) << model;
        EXPECT_EQ(feed.SoundFormat().rate, rate) << model;
        Bytes stream;
        feed.Sound(static_cast<std::size_t>(rate / 10), stream);  // a tenth of a second
        const Units u = Split(stream);
        ASSERT_EQ(u.sound.size(), 1u) << model;
        ASSERT_EQ(u.sound[0].size(), 6u + rate / 10) << model;
        // Read in its coding, the unit is a smooth 500 Hz tone: 50 periods, two crossings each.
        const std::vector<int> s = SoundSamples(u.sound[0], alaw);
        int crossings = 0, peak = 0, largestStep = 0;
        for (std::size_t i = 1; i < s.size(); ++i) {
            if ((s[i - 1] < 0) != (s[i] < 0)) ++crossings;
            largestStep = std::max(largestStep, std::abs(s[i] - s[i - 1]));
            peak = std::max(peak, std::abs(s[i]));
        }
        EXPECT_NEAR(crossings, 100, 3) << model;
        EXPECT_GT(peak, 8000) << model;
        EXPECT_LT(largestStep, 5000) << model;  // a 30 % tone moves at most about 3900 a sample at 8000 Hz
    }
}

TEST(LiveFeedTest, AMissingRecordingIsReported)
{
    FeedOptions options;
    options.source = ::testing::TempDir() + "no_such_recording.vvf";
    LiveFeed feed(options);
    std::string error;
    EXPECT_FALSE(feed.Open(error));
    EXPECT_FALSE(error.empty());
}

// ---------------------------------------------------------------------------------------------
// Sessions over 127.0.0.1

// A simulator on its own thread, with the lines it logs.
class ServedSim {
public:
    explicit ServedSim(ServeOptions options)
        : sim_(Prepare(std::move(options)), [this](const std::string& line) {
              std::lock_guard<std::mutex> lock(mutex_);
              lines_.push_back(line);
          })
    {
        std::string error;
        started_ = sim_.Start(error);
        EXPECT_TRUE(started_) << error;
        if (started_) thread_ = std::thread([this] { sim_.Run(stop_); });
    }
    ~ServedSim() { Stop(); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int Port() const { return sim_.Port(); }
    int DdnsPort() const { return sim_.DdnsPort(); }
    const RecorderSim& Sim() const { return sim_; }
    // Waits up to `seconds` for a logged line that holds `text`.
    bool WaitForLine(const std::string& text, double seconds = 3)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (const auto& l : lines_)
                    if (l.find(text) != std::string::npos) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    static ServeOptions Prepare(ServeOptions o)
    {
        o.port = 0;
        if (o.ddnsPort >= 0) o.ddnsPort = 0;
        if (o.seconds == 0) o.seconds = 30;  // a safety bound whatever the test does
        return o;
    }
    RecorderSim sim_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    bool started_ = false;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class TestSocket {
public:
    explicit TestSocket(int port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{0, 200000};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<std::uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~TestSocket() { Close(); }
    void Close()
    {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    bool Connected() const { return connected_; }
    bool Send(const Bytes& b) { return send(fd_, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size()); }
    // Reads until `count` bytes are held, the peer closes, or `seconds` pass.
    void ReadAtLeast(std::size_t count, double seconds)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        std::uint8_t buffer[65536];
        while (received.size() < count && !closed && std::chrono::steady_clock::now() < until) {
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n == 0) closed = true;
            if (n > 0) received.insert(received.end(), buffer, buffer + n);
        }
    }
    void ReadFor(double seconds) { ReadAtLeast(SIZE_MAX, seconds); }
    // Reads until a unit passes that holds a control message of `code`, or `seconds` pass.
    bool ReadUntilMessage(std::uint16_t code, double seconds)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            for (const Bytes& m : Split(received).messages)
                if (m.size() >= 12 && HexField::Read(m.data() + 8) == code) return true;
            if (closed) return false;
            ReadAtLeast(received.size() + 1, 0.1);
        }
        return false;
    }
    Bytes received;
    bool closed = false;

private:
    int fd_ = -1;
    bool connected_ = false;
};

std::uint16_t ReplyCode(const Bytes& b) { return b.size() >= 12 ? HexField::Read(b.data() + 8) : 0xFFFF; }

ServeOptions Options(const std::string& password = "1234")
{
    ServeOptions o;
    o.password = password;
    return o;
}

TEST(RecorderSimTest, RightPasswordGetsTheLiveStream)
{
    ServedSim sim(Options());
    TestSocket client(sim.Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(ControlPacket::Login("1234")));
    client.ReadAtLeast(12, 3);
    ASSERT_GE(client.received.size(), 12u);
    EXPECT_EQ(ReplyCode(client.received), kLoginReplyAccepted);
    ASSERT_TRUE(client.ReadUntilMessage(MSG_STATUS, 4));  // a status message within about a second
    const Units u = Split(Bytes(client.received.begin() + 12, client.received.end()));
    ASSERT_GE(u.pictures.size(), 5u);
    EXPECT_GE(u.sound.size(), 3u);
    VideoDecoder decoder;
    decoder.Init(kLiveModelType);
    YuvImage picture(kPictureWidth, kShortHeight);
    EXPECT_NE(u.pictures[0][4] & 0x80, 0);
    for (std::size_t i = 0; i + 1 < u.pictures.size(); ++i)  // the last may be cut by the read
        ASSERT_TRUE(testing::DecodeInto(decoder, u.pictures[i], picture)) << i;
    EXPECT_TRUE(sim.WaitForLine("\"login\":\"accepted\""));
}

TEST(RecorderSimTest, SoundUnitsHoldFiftyMillisecondsAtTheModelsRate)
{
    ServeOptions options = Options();
    options.feed.sourceModel = 3;  // A-law at 13183 Hz: 659.15 samples per unit
    ServedSim sim(options);
    TestSocket client(sim.Port());
    ASSERT_TRUE(client.Send(ControlPacket::Login("1234")));
    client.ReadFor(0.6);
    const Units u = Split(Bytes(client.received.begin() + std::min<std::size_t>(12, client.received.size()), client.received.end()));
    ASSERT_GE(u.sound.size(), 6u);
    std::size_t total = 0;
    for (std::size_t i = 0; i + 1 < u.sound.size(); ++i) {  // the last may be cut by the read
        const std::size_t samples = u.sound[i].size() - 6;
        EXPECT_TRUE(samples == 659 || samples == 660) << i << ": " << samples;
        total += samples;
    }
    const double units = static_cast<double>(u.sound.size() - 1);
    EXPECT_NEAR(static_cast<double>(total) / units, 659.15, 1.0 / units + 0.01);
}

TEST(RecorderSimTest, WrongPasswordIsRefusedAndDisconnected)
{
    ServedSim sim(Options());
    TestSocket client(sim.Port());
    ASSERT_TRUE(client.Send(ControlPacket::Login("4321")));
    client.ReadFor(2);
    EXPECT_TRUE(client.closed);
    ASSERT_EQ(client.received.size(), 16u);
    EXPECT_EQ(ReplyCode(client.received), kLoginReplyRefused);
    EXPECT_EQ(HexField::Read(client.received.data() + 12), kRefusalBadPassword);
    EXPECT_TRUE(sim.WaitForLine("incorrect password"));
    // The recorder is free again for a client that knows the password.
    TestSocket next(sim.Port());
    ASSERT_TRUE(next.Send(ControlPacket::Login("1234")));
    next.ReadAtLeast(12, 3);
    EXPECT_EQ(ReplyCode(next.received), kLoginReplyAccepted);
}

TEST(RecorderSimTest, WaitReplyComesBeforeTheAccept)
{
    ServeOptions o = Options("");
    o.waitMs = 300;
    ServedSim sim(o);
    TestSocket client(sim.Port());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.Send(ControlPacket::Login("")));
    client.ReadAtLeast(24, 3);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_GE(client.received.size(), 24u);
    EXPECT_EQ(ReplyCode(client.received), kLoginReplyWait);
    EXPECT_EQ(ReplyCode(Bytes(client.received.begin() + 12, client.received.end())), kLoginReplyAccepted);
    EXPECT_GE(elapsed, 0.25);
}

TEST(RecorderSimTest, KeysAndMouseReportsAreLoggedAndShown)
{
    ServeOptions o = Options();
    o.feed.channels = 9;
    ServedSim sim(o);
    TestSocket client(sim.Port());
    ASSERT_TRUE(client.Send(ControlPacket::Login("1234")));
    client.ReadFor(0.5);
    ASSERT_TRUE(client.Send(ControlPacket::Key(0x15)));
    ASSERT_TRUE(client.Send(ControlPacket::Key(dvrkey::kMenu)));
    ASSERT_TRUE(client.Send(ControlPacket::Mouse(0x101, 720, 480, 100, 200)));
    EXPECT_TRUE(sim.WaitForLine("\"key\":21,\"name\":\"CHANNEL 5\",\"effect\":\"channel 5\""));
    EXPECT_TRUE(sim.WaitForLine("\"key\":12,\"name\":\"MENU\",\"effect\":\"menu open\""));
    EXPECT_TRUE(sim.WaitForLine("\"mouse\":257,\"width\":720,\"height\":480,\"x\":100,\"y\":200"));

    // The pictures that follow show the menu box where the sky was.
    client.ReadFor(1.0);
    const Units u = Split(client.received);
    VideoDecoder decoder;
    decoder.Init(kLiveModelType);
    YuvImage picture(kPictureWidth, kShortHeight);
    ASSERT_GE(u.pictures.size(), 3u);
    EXPECT_NE(u.pictures[0][4] & 0x80, 0);
    bool sawSky = false, sawMenu = false;
    for (std::size_t i = 0; i + 1 < u.pictures.size(); ++i) {
        ASSERT_TRUE(testing::DecodeInto(decoder, u.pictures[i], picture));
        const double mean = Mean(picture, 186, 48, 8, 24);
        sawSky = sawSky || mean > 150;
        sawMenu = sawMenu || mean < 60;
    }
    EXPECT_TRUE(sawSky);
    EXPECT_TRUE(sawMenu);
    sim.Stop();
    EXPECT_EQ(sim.Sim().View().Channel(), 4);
    EXPECT_TRUE(sim.Sim().View().MenuOpen());
    EXPECT_TRUE(sim.Sim().View().PointerShown());
    EXPECT_EQ(sim.Sim().Stats().keys, 2);
    EXPECT_EQ(sim.Sim().Stats().mouseReports, 1);
}

TEST(RecorderSimTest, LogoutEndsTheSession)
{
    ServedSim sim(Options());
    TestSocket client(sim.Port());
    ASSERT_TRUE(client.Send(ControlPacket::Login("1234")));
    client.ReadFor(0.3);
    ASSERT_TRUE(client.Send(ControlPacket::Logout()));
    client.ReadFor(2);
    EXPECT_TRUE(client.closed);
    EXPECT_TRUE(sim.WaitForLine("\"logout\":1"));
}

TEST(RecorderSimTest, ASecondClientIsRefusedAsTooManyClients)
{
    ServedSim sim(Options());
    TestSocket first(sim.Port());
    ASSERT_TRUE(first.Send(ControlPacket::Login("1234")));
    first.ReadAtLeast(12, 3);
    ASSERT_EQ(ReplyCode(first.received), kLoginReplyAccepted);
    TestSocket second(sim.Port());
    ASSERT_TRUE(second.Send(ControlPacket::Login("1234")));
    second.ReadFor(2);
    EXPECT_TRUE(second.closed);
    ASSERT_EQ(second.received.size(), 16u);
    EXPECT_EQ(ReplyCode(second.received), kLoginReplyRefusedOther);
    EXPECT_EQ(HexField::Read(second.received.data() + 12), kRefusalTooManyClients);
    // The first one is still served.
    first.received.clear();
    first.ReadAtLeast(1000, 2);
    EXPECT_FALSE(first.closed);
    EXPECT_GE(first.received.size(), 1000u);
}

TEST(RecorderSimTest, SurvivesHostileClients)
{
    ServedSim sim(Options());
    {
        TestSocket early(sim.Port());  // connects and goes at once
    }
    {
        TestSocket half(sim.Port());  // half a login, then gone
        const Bytes login = ControlPacket::Login("1234");
        half.Send(Bytes(login.begin(), login.begin() + 20));
    }
    {
        TestSocket vanishing(sim.Port());  // logs in and leaves without reading
        vanishing.Send(ControlPacket::Login("1234"));
    }
    TestSocket noisy(sim.Port());
    ASSERT_TRUE(noisy.Connected());
    std::mt19937 rng(5);
    Bytes garbage(100000);
    for (auto& b : garbage) b = static_cast<std::uint8_t>(rng());
    Bytes big = {0x00, 0x00, 0x01, 0xFE, 'F', 'F', 'F', 'F', '0', '0', '8', '1'};
    big.resize(0xFFFF, '7');
    Bytes tiny = {0x00, 0x00, 0x01, 0xFE, '0', '0', '0', '0'};
    const Bytes all = Concat({garbage, big, tiny, ControlPacket::Key(3), ControlPacket::Login("1234")});
    std::size_t at = 0;
    while (at < all.size()) {
        const std::size_t chunk = std::min<std::size_t>(4096, all.size() - at);
        ASSERT_TRUE(noisy.Send(Bytes(all.begin() + static_cast<std::ptrdiff_t>(at), all.begin() + static_cast<std::ptrdiff_t>(at + chunk))));
        at += chunk;
    }
    noisy.ReadAtLeast(12, 3);
    ASSERT_GE(noisy.received.size(), 12u);
    EXPECT_EQ(ReplyCode(noisy.received), kLoginReplyAccepted);
    EXPECT_TRUE(sim.WaitForLine("\"oversized\":1"));
    EXPECT_TRUE(sim.WaitForLine("\"ignored\":\"not logged in\""));  // the key before the login
    sim.Stop();
    // The clients that left early may have been taken for second clients while the first was
    // still being noticed as gone; either way the noisy one was served.
    EXPECT_GE(sim.Sim().Stats().logins, 1);
    EXPECT_EQ(sim.Sim().Stats().connections, 4);
    EXPECT_EQ(sim.Sim().Stats().keys, 0);
}

TEST(RecorderSimTest, StoppingTellsTheClientThatTheServerCloses)
{
    ServedSim sim(Options());
    TestSocket client(sim.Port());
    ASSERT_TRUE(client.Send(ControlPacket::Login("1234")));
    client.ReadFor(0.3);
    std::thread stopper([&] { sim.Stop(); });
    EXPECT_TRUE(client.ReadUntilMessage(MSG_SERVER_CLOSED, 3));
    stopper.join();
    client.ReadFor(1);
    EXPECT_TRUE(client.closed);
}

// Sends a lookup request for `name` and returns what came back.
Bytes Lookup(int port, const std::string& name)
{
    TestSocket s(port);
    const auto request = ControlPacket::DdnsRequest(name);
    s.Send(Bytes(request.begin(), request.end()));
    s.ReadFor(2);
    return s.received;
}

TEST(RecorderSimTest, LookupsAnswerWithTheRecordersAddressForItsNameOnly)
{
    ServeOptions o = Options();
    o.ddnsPort = 0;
    o.name = "CAMERA12345";  // only the first 8 bytes go on the wire
    ServedSim sim(o);
    const Bytes answer = Lookup(sim.DdnsPort(), "CAMERA12");
    std::string address;
    int port = 0;
    ASSERT_TRUE(ControlPacket::ParseDdnsReply(answer.data(), answer.size(), address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, sim.Port());

    const Bytes unknown = Lookup(sim.DdnsPort(), "OTHER");
    EXPECT_EQ(unknown, Bytes(kDdnsReplySize, 0));
    EXPECT_FALSE(ControlPacket::ParseDdnsReply(unknown.data(), unknown.size(), address, port));

    TestSocket bad(sim.DdnsPort());
    bad.Send(Bytes(12, 'x'));
    bad.ReadFor(2);
    EXPECT_TRUE(bad.closed);
    EXPECT_TRUE(bad.received.empty());
    EXPECT_TRUE(sim.WaitForLine("\"error\":\"bad request\""));

    // And the answer leads to a recorder that logs in.
    TestSocket client(port);
    ASSERT_TRUE(client.Send(ControlPacket::Login("1234")));
    client.ReadAtLeast(12, 3);
    EXPECT_EQ(ReplyCode(client.received), kLoginReplyAccepted);
}

TEST(RecorderSimProgramTest, ServePrintsItsPortAndLogsKeysAsJsonLines)
{
    const std::string out = ::testing::TempDir() + "recorder_sim_serve.txt";
    const std::string command = std::string(TAMLOREX_SIM_PATH) + " serve --port 0 --password 1234 --seconds 3 >" + out + " 2>&1 &";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int port = 0;
    for (int i = 0; i < 100 && port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (FILE* f = std::fopen(out.c_str(), "r")) {
            if (std::fscanf(f, "{\"listening\":%d}", &port) != 1) port = 0;
            std::fclose(f);
        }
    }
    ASSERT_GT(port, 0);
    {
        TestSocket client(port);
        ASSERT_TRUE(client.Send(ControlPacket::Login("1234")));
        client.ReadAtLeast(12, 2);
        EXPECT_EQ(ReplyCode(client.received), kLoginReplyAccepted);
        ASSERT_TRUE(client.Send(ControlPacket::Key(dvrkey::kSplit9)));
        EXPECT_TRUE(client.ReadUntilMessage(MSG_SERVER_CLOSED, 5));  // the program ends after its 3 seconds
    }
    std::string text;
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        text.clear();
        if (FILE* f = std::fopen(out.c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, f)) text += line;
            std::fclose(f);
        }
        if (text.find("\"stopped\":1") != std::string::npos) break;
    }
    EXPECT_NE(text.find("\"key\":132,\"name\":\"SPLIT 9\",\"effect\":\"split 9\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"stopped\":1,\"connections\":1,\"logins\":1"), std::string::npos) << text;
    std::remove(out.c_str());
}

}  // namespace
}  // namespace tamlorex::sim
