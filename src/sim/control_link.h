#pragma once
// The recorder's side of the control packets: 00 00 01 FE, a four-digit upper-case hexadecimal
// length, a code and further four-digit fields. Building replies and messages, and cutting the
// packets a client sends out of an untrusted byte stream.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tamlorex::sim {

inline constexpr std::size_t kControlHeaderSize = 12;
// Longest packet the simulator keeps; longer ones are skipped to their declared end unread.
inline constexpr std::size_t kMaxClientPacket = 1024;

// Codes the client sends.
inline constexpr std::uint16_t kCmdLogin = 0x0081;
inline constexpr std::uint16_t kCmdKey = 0x0085;
inline constexpr std::uint16_t kCmdLogout = 0x0086;
inline constexpr std::uint16_t kCmdMouse = 0x0089;
inline constexpr std::size_t kLoginPacketSize = 44;
inline constexpr std::size_t kKeyPacketSize = 16;
inline constexpr std::size_t kLogoutPacketSize = 12;
inline constexpr std::size_t kMousePacketSize = 32;

// Login replies and refusal reasons.
inline constexpr std::uint16_t kReplyWait = 1;
inline constexpr std::uint16_t kReplyRefused = 2;
inline constexpr std::uint16_t kReplyAccepted = 3;
inline constexpr std::uint16_t kReplyRefusedOther = 4;
inline constexpr std::uint16_t kReasonTooManyClients = 1;
inline constexpr std::uint16_t kReasonBadPassword = 2;

// Messages inside the live stream.
inline constexpr std::uint16_t kMsgStatus = 7;
inline constexpr std::uint16_t kMsgStatusBlock = 8;
inline constexpr std::uint16_t kMsgClosedByServer = 11;

// A packet with `code` and the given fields, its length written in.
std::vector<std::uint8_t> BuildPacket(std::uint16_t code, std::initializer_list<std::uint16_t> fields = {});
// Four hexadecimal characters (either case) as a number; anything else reads as 0.
std::uint16_t ReadField(const std::uint8_t* p);
// What the client must send for `password`: the MD5 digest in upper-case hexadecimal.
std::string LoginDigestText(const std::string& password);
// Whether a login packet's digest (offset 12, 32 characters) is that of `password`.
bool LoginMatches(const std::uint8_t* packet, std::size_t length, const std::string& password);

// Cuts whole packets out of a stream that may hold anything. Bytes outside packets are counted
// and dropped; a packet declaring more than kMaxClientPacket bytes is skipped to its declared end
// without being stored; one declaring fewer than 12 is taken as noise.
class PacketReader {
public:
    struct Packet {
        std::uint16_t code = 0;
        std::vector<std::uint8_t> bytes;  // the whole packet
    };
    // Takes received bytes; complete packets go to `out` in order.
    void Feed(const std::uint8_t* data, std::size_t length, std::vector<Packet>& out);
    std::uint64_t DroppedBytes() const { return dropped_; }
    std::uint32_t OversizedPackets() const { return oversized_; }

private:
    void Drop(std::size_t count);
    std::vector<std::uint8_t> pending_;   // never more than kMaxClientPacket bytes
    std::size_t skipRemaining_ = 0;       // bytes of an oversized packet still to pass over
    std::uint64_t dropped_ = 0;
    std::uint32_t oversized_ = 0;
};

}  // namespace tamlorex::sim
