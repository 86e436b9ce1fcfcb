#pragma once
// The recorder's side of the control packets (built and read with net/control_packet.h): the
// login check, and cutting the packets a client sends out of an untrusted byte stream.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/control_packet.h"
#include "net/hex_field.h"

namespace tamlorex::sim {

// Longest packet the simulator keeps; longer ones are skipped to their declared end unread.
inline constexpr std::size_t kMaxClientPacket = 1024;

// Whether a login packet's digest (offset 12, 32 characters, either case) is that of `password`.
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
