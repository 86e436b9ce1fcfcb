// The simulated recorder's side of a hostile client: the bytes a client sends, cut into packets
// by the simulator's packet reader in reads of any size, and handled as the simulator handles
// them (login check, then keys and mouse reports applied to its monitor view, logout), followed by
// the view drawn and encoded into the live stream, which must stay a picture a client can read.
// How the bytes are cut into reads must not change the packets the reader finds.
//
// RecorderSim itself takes clients only from its listening socket, so its packet handling is
// followed here step by step over PacketReader, LoginMatches and LiveView.
//
// Input: byte 0 sets the camera count (low nibble + 1) and whether the view is encoded at the end
// (bit 4); bytes 1-4 are the sizes of the reads, in turn (255: all that is left). The rest is
// what the client sends; the password is "1234".
#include <string>
#include <vector>

#include "codec/video_decoder.h"
#include "fuzz_input.h"
#include "net/control_packet.h"
#include "net/hex_field.h"
#include "sim/control_link.h"
#include "sim/live_feed.h"
#include "sim/live_view.h"

namespace {

using namespace tamlorex;
using namespace tamlorex::sim;
using tamlorex::fuzz::ExactCopy;
using tamlorex::fuzz::FuzzInput;

constexpr int kReadSizes = 4;
constexpr int kMaxReads = 4000;
constexpr int kMaxPackets = 2000;
constexpr int kRenderEvery = 64;  // packets between drawings of the view
const std::string kPassword = "1234";

enum class State { AwaitLogin, Online, Closing };

void CheckPacket(const PacketReader::Packet& p)
{
    FUZZ_CHECK(p.bytes.size() >= kControlHeaderSize && p.bytes.size() <= kMaxClientPacket);
    FUZZ_CHECK(ControlPacket::HasStartCode(p.bytes.data(), p.bytes.size()));
    FUZZ_CHECK(HexField::Read(p.bytes.data() + 4) == p.bytes.size());
    FUZZ_CHECK(HexField::Read(p.bytes.data() + 8) == p.code);
}

// As RecorderSim::HandlePacket: a login first, then keys, mouse reports and a logout.
State Handle(State state, const PacketReader::Packet& p, LiveView& view, double now)
{
    const auto bytes = ExactCopy(p.bytes.data(), p.bytes.size());
    const std::size_t length = p.bytes.size();
    if (p.code == CMD_LOGIN && state == State::AwaitLogin)
        return length >= kLoginPacketSize && LoginMatches(bytes.get(), length, kPassword) ? State::Online : State::Closing;
    if (state != State::Online) return state;
    if (p.code == CMD_KEY && length >= kKeyPacketSize) {
        const int key = HexField::Read(bytes.get() + 12) & 0xFF;
        FUZZ_CHECK(!view.HandleKey(key, now).empty());
        FUZZ_CHECK(!KeyName(key).empty());
    } else if (p.code == CMD_MOUSE && length >= kMousePacketSize) {
        int v[5];
        for (int i = 0; i < 5; ++i) v[i] = HexField::Read(bytes.get() + 12 + 4 * i);
        view.HandleMouse(v[0], v[1], v[2], v[3], v[4]);
    } else if (p.code == CMD_LOGOUT) {
        return State::Closing;
    }
    FUZZ_CHECK(view.Split() == 1 || view.Split() == 4 || view.Split() == 9);
    FUZZ_CHECK(view.Channel() >= 0 && view.Channel() < 16);
    return state;
}

// Draws the view over flat cameras, as the simulator's monitor output.
void Render(const LiveView& view, double now)
{
    YuvImage out(640, 224);
    view.Render(now, [](int channel, int width, int height, YuvImage& picture) {
        if (channel % 3 == 2) return false;  // a camera without a picture
        picture = YuvImage(width, height, static_cast<std::uint8_t>(40 + channel * 10));
        return true;
    }, out);
    FUZZ_CHECK(out.data.size() == YuvImage::Bytes(640, 224));
}

// The view encoded into the live stream; every picture record in it reads as a live picture.
void Encode(const LiveView& view, double now, int channels)
{
    FeedOptions options;
    options.channels = channels;
    LiveFeed feed(options);
    std::string error;
    FUZZ_CHECK(feed.Open(error));
    std::vector<std::uint8_t> stream;
    FUZZ_CHECK(feed.Pictures(now, 36000, view, stream) == 1);
    FUZZ_CHECK(stream.size() > kStartCodeSize && stream.size() <= kLivePictureLimit);
    const auto record = ExactCopy(stream.data(), stream.size());
    VideoDecoder decoder;
    decoder.Init(sim::kLiveModelType);
    FUZZ_CHECK(decoder.ParseHeader(record.get(), static_cast<std::uint32_t>(stream.size())) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();
    const int channels = (flags & 0x0F) + 1;
    const bool encode = (flags & 0x10) != 0;
    std::uint8_t sizes[kReadSizes];
    for (std::uint8_t& s : sizes) s = in.Byte();

    PacketReader reader;
    std::vector<PacketReader::Packet> all;
    LiveView view(channels);
    State state = State::AwaitLogin;
    double now = 0;
    int handled = 0;
    std::uint64_t fed = 0, kept = 0;
    const std::uint8_t* stream = in.Rest();
    std::size_t left = in.RestSize();
    for (int read = 0; left > 0 && read < kMaxReads && state != State::Closing && handled < kMaxPackets; ++read) {
        const std::uint8_t s = sizes[read % kReadSizes];
        const std::size_t n = s == 255 ? left : std::min<std::size_t>(s, left);
        const auto chunk = ExactCopy(stream, n);
        std::vector<PacketReader::Packet> packets;
        reader.Feed(chunk.get(), n, packets);
        stream += n;
        left -= n;
        fed += n;
        for (const auto& p : packets) {
            CheckPacket(p);
            kept += p.bytes.size();
            all.push_back(p);
        }
        for (const auto& p : packets) {
            if (state == State::Closing || handled >= kMaxPackets) break;
            now += 0.25;
            state = Handle(state, p, view, now);
            if (++handled % kRenderEvery == 0) Render(view, now);
        }
        // Nothing is invented: what was dropped and what was cut out add up to no more than was fed.
        FUZZ_CHECK(reader.DroppedBytes() + kept <= fed);
    }
    // How the bytes were cut into reads does not matter: read at once, they give the same.
    PacketReader whole;
    std::vector<PacketReader::Packet> once;
    const auto fedCopy = ExactCopy(in.Rest(), fed);
    whole.Feed(fedCopy.get(), fed, once);
    FUZZ_CHECK(once.size() == all.size());
    for (std::size_t i = 0; i < once.size(); ++i) FUZZ_CHECK(once[i].code == all[i].code && once[i].bytes == all[i].bytes);
    FUZZ_CHECK(whole.DroppedBytes() == reader.DroppedBytes() && whole.OversizedPackets() == reader.OversizedPackets());

    Render(view, now);
    if (encode && state == State::Online) Encode(view, now, channels);
    return 0;
}
