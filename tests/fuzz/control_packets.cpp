// The recorder's control packets, their hexadecimal fields, and the replies the network client
// reads at login and at a dynamic-IP lookup, over hostile bytes.
//
// The input is read as a whole (a reply as it arrives), cut into packets at every 00 00 01 FE,
// and used for the numbers and the password of packets built and read back.
#include <cctype>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "net/control_packet.h"
#include "net/hex_field.h"

namespace {

using namespace tamlorex;
using tamlorex::fuzz::ExactCopy;

constexpr int kMaxPackets = 64;
constexpr std::size_t kMaxFieldOffsets = 512;

// What HexField::Read must give for four bytes: their value when all are hexadecimal digits.
std::uint16_t ExpectedField(const std::uint8_t* in)
{
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        if (!std::isxdigit(in[i])) return 0;
        const int c = std::toupper(in[i]);
        value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return static_cast<std::uint16_t>(value);
}

void CheckFormat(std::uint32_t value)
{
    const std::string text = HexField::Format(value);
    FUZZ_CHECK(text.size() == HexField::kSize);
    for (const char c : text) FUZZ_CHECK(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F'));
    FUZZ_CHECK(HexField::Read(reinterpret_cast<const std::uint8_t*>(text.data())) == (value & 0xFFFF));
}

// One packet as the client reads it: its header, fields and payload, and what it means as a
// login reply.
void ReadPacket(const std::uint8_t* data, std::size_t size)
{
    ControlMessage m;
    const bool parsed = ControlPacket::Parse(data, size, m);
    FUZZ_CHECK(parsed == (size >= kControlHeaderSize && ControlPacket::HasStartCode(data, size)));
    if (!parsed) return;
    FUZZ_CHECK(m.length == ExpectedField(data + 4) && m.code == ExpectedField(data + 8));
    const std::size_t end = std::min<std::size_t>(size, m.length);
    for (std::size_t n = 0; n < size / HexField::kSize + 2; ++n) {
        const std::size_t at = kControlHeaderSize + n * HexField::kSize;
        const std::uint16_t field = m.Field(n);
        FUZZ_CHECK(field == (at + HexField::kSize <= end ? ExpectedField(data + at) : 0));
    }
    const std::string payload = m.PayloadText();
    FUZZ_CHECK(payload.size() == (end > kControlHeaderSize ? end - kControlHeaderSize : 0));
    FUZZ_CHECK(payload.empty() || std::memcmp(payload.data(), data + kControlHeaderSize, payload.size()) == 0);

    // As a login reply: the code, and the reason of a refusal.
    std::string text;
    const LoginOutcome outcome = ControlPacket::InterpretLoginReply(m.code, m.Field(0), text);
    switch (m.code) {
    case kLoginReplyWait: FUZZ_CHECK(outcome == LoginOutcome::Wait); break;
    case kLoginReplyAccepted: FUZZ_CHECK(outcome == LoginOutcome::Accepted); break;
    case kLoginReplyRefused:
    case kLoginReplyRefusedOther:
        FUZZ_CHECK(outcome == LoginOutcome::Refused && text == ControlPacket::RefusalText(m.Field(0)));
        break;
    default: FUZZ_CHECK(outcome == LoginOutcome::Error && text == "LOGIN ERROR"); break;
    }
}

void ReadLookupReplies(const std::uint8_t* data, std::size_t size)
{
    std::string name;
    if (ControlPacket::ParseDdnsRequest(data, size, name)) {
        FUZZ_CHECK(size >= kDdnsRequestSize && name.size() <= kDdnsNameSize);
        FUZZ_CHECK(name.find('\0') == std::string::npos);
        std::string again;
        const auto request = ControlPacket::DdnsRequest(name);
        FUZZ_CHECK(ControlPacket::ParseDdnsRequest(request.data(), request.size(), again) && again == name);
    }
    std::string address;
    int port = -1;
    if (ControlPacket::ParseDdnsReply(data, size, address, port)) {
        FUZZ_CHECK(size >= kDdnsReplySize && port >= 0 && port <= 0xFFFF);
        const std::array<std::uint8_t, 4> octets{data[4], data[5], data[6], data[7]};
        const auto reply = ControlPacket::DdnsReply(octets, static_cast<std::uint16_t>(port));
        FUZZ_CHECK(std::equal(reply.begin(), reply.end(), data));
        std::string address2;
        int port2 = -1;
        FUZZ_CHECK(ControlPacket::ParseDdnsReply(reply.data(), reply.size(), address2, port2));
        FUZZ_CHECK(address2 == address && port2 == port);
    }
}

// The packets the client sends, built from the input's numbers and read back.
void BuildPackets(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const std::uint32_t key = static_cast<std::uint32_t>(in.Number(4));
    int v[5];
    for (int& x : v) x = static_cast<int>(static_cast<std::int32_t>(in.Number(4)));
    const std::string password(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 64));

    ControlMessage m;
    const auto login = ControlPacket::Login(password);
    FUZZ_CHECK(login.size() == kLoginPacketSize && ControlPacket::Parse(login.data(), login.size(), m));
    FUZZ_CHECK(m.code == CMD_LOGIN && m.length == kLoginPacketSize);
    const std::string digest = ControlPacket::LoginDigest(password);
    FUZZ_CHECK(digest.size() == kLoginDigestChars || digest.empty());
    FUZZ_CHECK(digest.empty() || std::equal(digest.begin(), digest.end(), login.data() + kControlHeaderSize));

    const auto keyPacket = ControlPacket::Key(key);
    FUZZ_CHECK(keyPacket.size() == kKeyPacketSize && ControlPacket::Parse(keyPacket.data(), keyPacket.size(), m));
    FUZZ_CHECK(m.code == CMD_KEY && m.length == kKeyPacketSize && m.Field(0) == (key & 0xFF));

    const auto mouse = ControlPacket::Mouse(v[0], v[1], v[2], v[3], v[4]);
    FUZZ_CHECK(mouse.size() == kMousePacketSize && ControlPacket::Parse(mouse.data(), mouse.size(), m));
    FUZZ_CHECK(m.code == CMD_MOUSE && m.length == kMousePacketSize);
    for (int i = 0; i < 5; ++i) FUZZ_CHECK(m.Field(i) == (static_cast<std::uint32_t>(v[i]) & 0xFFFF));

    const auto built = ControlPacket::Build(static_cast<std::uint16_t>(key >> 16), {key, static_cast<std::uint32_t>(v[0])});
    FUZZ_CHECK(ControlPacket::Parse(built.data(), built.size(), m) && m.length == built.size());
    FUZZ_CHECK(m.Field(0) == (key & 0xFFFF) && m.Field(2) == 0);
    CheckFormat(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto whole = ExactCopy(data, size);
    const std::uint8_t* bytes = whole.get();

    ReadPacket(bytes, size);
    ReadLookupReplies(bytes, size);
    BuildPackets(bytes, size);

    // Every four bytes as a field.
    for (std::size_t at = 0; at + HexField::kSize <= size && at < kMaxFieldOffsets; ++at) {
        const std::uint16_t value = HexField::Read(bytes + at);
        FUZZ_CHECK(value == ExpectedField(bytes + at));
        CheckFormat(value);
    }

    // The packets of the input, each in a block of its own size, as the client's reads cut them.
    int packets = 0;
    for (std::size_t at = 0; at + 4 <= size && packets < kMaxPackets; ++at) {
        if (!ControlPacket::HasStartCode(bytes + at, size - at)) continue;
        std::size_t end = at + 4;
        while (end + 4 <= size && !ControlPacket::HasStartCode(bytes + end, size - end)) ++end;
        if (end + 4 > size) end = size;
        const auto packet = ExactCopy(bytes + at, end - at);
        ReadPacket(packet.get(), end - at);
        ReadLookupReplies(packet.get(), end - at);
        ++packets;
        at = end - 1;
    }
    return 0;
}
