#include "net/control_packet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "net/hex_field.h"
#include "platform/md5.h"

namespace tamlorex {
namespace {

constexpr std::uint8_t kStartCode[4] = {0x00, 0x00, 0x01, kControlType};
constexpr std::size_t kLengthOffset = 4;
constexpr std::size_t kCodeOffset = 8;

std::vector<std::uint8_t> Header(std::size_t length, std::uint16_t code)
{
    std::vector<std::uint8_t> packet(length, 0);
    std::memcpy(packet.data(), kStartCode, sizeof kStartCode);
    HexField::Write(packet.data() + kLengthOffset, static_cast<std::uint32_t>(length));
    HexField::Write(packet.data() + kCodeOffset, code);
    return packet;
}

void PutMagic(std::uint8_t* out)
{
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(kDdnsMagic >> (8 * i));
}

bool HasMagic(const std::uint8_t* data)
{
    for (int i = 0; i < 4; ++i)
        if (data[i] != static_cast<std::uint8_t>(kDdnsMagic >> (8 * i))) return false;
    return true;
}

}  // namespace

std::uint16_t ControlMessage::Field(std::size_t n) const
{
    const std::size_t at = kControlHeaderSize + n * HexField::kSize;
    if (at + HexField::kSize > size || at + HexField::kSize > length) return 0;
    return HexField::Read(data + at);
}

std::string ControlMessage::PayloadText() const
{
    std::size_t end = std::min<std::size_t>(size, length);
    if (end <= kControlHeaderSize) return {};
    return std::string(reinterpret_cast<const char*>(data) + kControlHeaderSize, end - kControlHeaderSize);
}

std::vector<std::uint8_t> ControlPacket::Build(std::uint16_t code, std::initializer_list<std::uint32_t> fields)
{
    auto packet = Header(kControlHeaderSize + fields.size() * HexField::kSize, code);
    std::size_t at = kControlHeaderSize;
    for (std::uint32_t value : fields) {
        HexField::Write(packet.data() + at, value);
        at += HexField::kSize;
    }
    return packet;
}

std::string ControlPacket::LoginDigest(const std::string& password)
{
    Md5 md5;
    md5.Update(password.data(), password.size());
    const auto digest = md5.Final();
    std::string text;
    text.reserve(kLoginDigestChars);
    char pair[3];
    for (std::uint8_t byte : digest) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

std::vector<std::uint8_t> ControlPacket::Login(const std::string& password)
{
    auto packet = Header(kLoginPacketSize, CMD_LOGIN);
    const std::string digest = LoginDigest(password);
    std::memcpy(packet.data() + kControlHeaderSize, digest.data(), kLoginDigestChars);
    return packet;
}

std::vector<std::uint8_t> ControlPacket::Key(std::uint32_t key) { return Build(CMD_KEY, {key & 0xFF}); }

std::vector<std::uint8_t> ControlPacket::Mouse(int event, int width, int height, int x, int y)
{
    auto low = [](int v) { return static_cast<std::uint32_t>(v) & 0xFFFF; };
    return Build(CMD_MOUSE, {low(event), low(width), low(height), low(x), low(y)});
}

std::vector<std::uint8_t> ControlPacket::Logout() { return Build(CMD_LOGOUT, {}); }

bool ControlPacket::HasStartCode(const std::uint8_t* data, std::size_t size)
{
    return size >= sizeof kStartCode && std::memcmp(data, kStartCode, sizeof kStartCode) == 0;
}

bool ControlPacket::Parse(const std::uint8_t* data, std::size_t size, ControlMessage& out)
{
    if (size < kControlHeaderSize || !HasStartCode(data, size)) return false;
    out.data = data;
    out.size = size;
    out.length = HexField::Read(data + kLengthOffset);
    out.code = HexField::Read(data + kCodeOffset);
    return true;
}

const char* ControlPacket::RefusalText(std::uint16_t reason)
{
    switch (reason) {
    case kRefusalTooManyClients: return "Too many client.";
    case kRefusalBadPassword: return "Incorrect password.";
    case kRefusalBadNetwork: return "Bad network";
    default: return "Unkown error.";
    }
}

LoginOutcome ControlPacket::InterpretLoginReply(std::uint16_t code, std::uint16_t reason, std::string& errorText)
{
    switch (code) {
    case kLoginReplyWait: return LoginOutcome::Wait;
    case kLoginReplyAccepted: return LoginOutcome::Accepted;
    case kLoginReplyRefused:
    case kLoginReplyRefusedOther: errorText = RefusalText(reason); return LoginOutcome::Refused;
    default: errorText = "LOGIN ERROR"; return LoginOutcome::Error;
    }
}

std::array<std::uint8_t, kDdnsRequestSize> ControlPacket::DdnsRequest(const std::string& name)
{
    std::array<std::uint8_t, kDdnsRequestSize> request{};
    PutMagic(request.data());
    std::memcpy(request.data() + 4, name.data(), std::min(name.size(), kDdnsNameSize));
    return request;
}

bool ControlPacket::ParseDdnsRequest(const std::uint8_t* data, std::size_t size, std::string& name)
{
    if (size < kDdnsRequestSize || !HasMagic(data)) return false;
    const auto* field = reinterpret_cast<const char*>(data + 4);
    name.assign(field, strnlen(field, kDdnsNameSize));
    return true;
}

std::array<std::uint8_t, kDdnsReplySize> ControlPacket::DdnsReply(const std::array<std::uint8_t, 4>& address,
                                                                  std::uint16_t port)
{
    std::array<std::uint8_t, kDdnsReplySize> reply{};
    PutMagic(reply.data());
    std::memcpy(reply.data() + 4, address.data(), 4);
    reply[8] = static_cast<std::uint8_t>(port & 0xFF);
    reply[9] = static_cast<std::uint8_t>(port >> 8);
    return reply;
}

bool ControlPacket::ParseDdnsReply(const std::uint8_t* data, std::size_t size, std::string& address, int& port)
{
    if (size < kDdnsReplySize || !HasMagic(data)) return false;
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", data[4], data[5], data[6], data[7]);
    address = text;
    port = data[8] | (data[9] << 8);
    return true;
}

}  // namespace tamlorex
