#pragma once
// The recorder's control packets: 00 00 01 FE, the total length and the code as `HexField`s, then
// further `HexField`s or other payload. Also the dynamic-IP lookup request and reply, which are
// binary rather than text-framed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tamlorex {

inline constexpr std::uint8_t kControlType = 0xFE;
inline constexpr std::size_t kControlHeaderSize = 12;  // start code, length, code

// Codes the client sends.
inline constexpr std::uint16_t CMD_LOGIN = 0x0081;
inline constexpr std::uint16_t CMD_KEY = 0x0085;
inline constexpr std::uint16_t CMD_LOGOUT = 0x0086;
inline constexpr std::uint16_t CMD_MOUSE = 0x0089;

inline constexpr std::size_t kLoginPacketSize = 44;
inline constexpr std::size_t kKeyPacketSize = 16;
inline constexpr std::size_t kLogoutPacketSize = 12;
inline constexpr std::size_t kMousePacketSize = 32;
inline constexpr std::size_t kLoginDigestChars = 32;

// Login reply codes (the code field of the recorder's first answer to CMD_LOGIN).
inline constexpr std::uint16_t kLoginReplyWait = 1;
inline constexpr std::uint16_t kLoginReplyRefused = 2;
inline constexpr std::uint16_t kLoginReplyAccepted = 3;
inline constexpr std::uint16_t kLoginReplyRefusedOther = 4;
// Refusal reasons (the field at offset 12 of a refusal).
inline constexpr std::uint16_t kRefusalTooManyClients = 1;
inline constexpr std::uint16_t kRefusalBadPassword = 2;
inline constexpr std::uint16_t kRefusalBadNetwork = 3;

// Message codes the recorder sends inside the live stream.
inline constexpr std::uint16_t MSG_STATUS = 7;        // one status field
inline constexpr std::uint16_t MSG_STATUS_FIVE = 8;   // five status fields
inline constexpr std::uint16_t MSG_SERVER_CLOSED = 11;

// Mouse report event codes; mode 2 adds kMouseShowCursor.
inline constexpr int kMouseMove = 0;
inline constexpr int kMouseLeft = 1;
inline constexpr int kMouseRight = 2;
inline constexpr int kMouseRightDouble = 4;
inline constexpr int kMouseShowCursor = 0x100;

// Dynamic-IP lookup.
inline constexpr std::uint32_t kDdnsMagic = 0xAA55AA55;  // 55 AA 55 AA on the wire
inline constexpr std::size_t kDdnsRequestSize = 12;
inline constexpr std::size_t kDdnsReplySize = 10;
inline constexpr std::size_t kDdnsNameSize = 8;

// A control packet as it arrived: a view of the caller's bytes.
struct ControlMessage {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;      // bytes available at data
    std::uint16_t length = 0;  // the declared length
    std::uint16_t code = 0;

    // The n-th `HexField` after the code (offset 12 + 4n); 0 when it lies outside the bytes
    // available or outside the declared length.
    std::uint16_t Field(std::size_t n) const;
    // The payload bytes after the code, bounded by the declared length and the bytes available.
    std::string PayloadText() const;
};

enum class LoginOutcome { Wait, Accepted, Refused, Error };

class ControlPacket {
public:
    // A packet of a code and its fields; its length field is 12 + 4 x the number of fields.
    static std::vector<std::uint8_t> Build(std::uint16_t code, std::initializer_list<std::uint32_t> fields);

    // Upper-case hexadecimal MD5 of the password's bytes (all of them; empty hashes as "").
    static std::string LoginDigest(const std::string& password);
    static std::vector<std::uint8_t> Login(const std::string& password);   // 44 bytes
    static std::vector<std::uint8_t> Key(std::uint32_t key);               // 16 bytes, low 8 bits
    // 32 bytes; the event code as given (mode 2 callers add kMouseShowCursor), each value's low
    // 16 bits.
    static std::vector<std::uint8_t> Mouse(int event, int width, int height, int x, int y);
    static std::vector<std::uint8_t> Logout();  // 12 bytes

    // True when the bytes begin 00 00 01 FE.
    static bool HasStartCode(const std::uint8_t* data, std::size_t size);
    // Reads the header of a packet at data: needs the start code and 12 bytes.
    static bool Parse(const std::uint8_t* data, std::size_t size, ControlMessage& out);

    // What a login reply means, with the error text for a refusal or an unknown code
    // ("Too many client.", "Incorrect password.", "Bad network", "Unkown error.", "LOGIN ERROR").
    static LoginOutcome InterpretLoginReply(std::uint16_t code, std::uint16_t reason, std::string& errorText);
    static const char* RefusalText(std::uint16_t reason);

    // Lookup request: 55 AA 55 AA and the name's first 8 bytes, zero-padded.
    static std::array<std::uint8_t, kDdnsRequestSize> DdnsRequest(const std::string& name);
    // The name of a request (up to its first zero byte); false without the magic or 12 bytes.
    static bool ParseDdnsRequest(const std::uint8_t* data, std::size_t size, std::string& name);
    // Lookup reply: the magic, the IPv4 address in network order (octets first to last) and the
    // port little-endian.
    static std::array<std::uint8_t, kDdnsReplySize> DdnsReply(const std::array<std::uint8_t, 4>& address,
                                                              std::uint16_t port);
    // Address as "%u.%u.%u.%u", first octet first, and the port; false without the magic or
    // without 10 bytes.
    static bool ParseDdnsReply(const std::uint8_t* data, std::size_t size, std::string& address, int& port);
};

}  // namespace tamlorex
