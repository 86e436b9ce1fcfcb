#include "sim/control_link.h"

#include <algorithm>

namespace tamlorex::sim {
namespace {

constexpr std::uint8_t kControlStart[4] = {0x00, 0x00, 0x01, kControlType};

}  // namespace

bool LoginMatches(const std::uint8_t* packet, std::size_t length, const std::string& password)
{
    if (length < kLoginPacketSize) return false;
    const std::string want = ControlPacket::LoginDigest(password);
    for (std::size_t i = 0; i < want.size(); ++i) {
        std::uint8_t c = packet[kControlHeaderSize + i];
        if (c >= 'a' && c <= 'f') c = static_cast<std::uint8_t>(c - 'a' + 'A');
        if (c != static_cast<std::uint8_t>(want[i])) return false;
    }
    return true;
}

void PacketReader::Drop(std::size_t count)
{
    count = std::min(count, pending_.size());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    dropped_ += count;
}

void PacketReader::Feed(const std::uint8_t* data, std::size_t length, std::vector<Packet>& out)
{
    while (length > 0) {
        if (skipRemaining_ > 0) {
            const std::size_t n = std::min(skipRemaining_, length);
            skipRemaining_ -= n;
            dropped_ += n;
            data += n;
            length -= n;
            continue;
        }
        const std::size_t take = std::min(length, kMaxClientPacket - pending_.size());
        pending_.insert(pending_.end(), data, data + take);
        data += take;
        length -= take;

        // Cut what is complete; afterwards the buffer has room again (below kMaxClientPacket).
        for (;;) {
            const auto start = std::search(pending_.begin(), pending_.end(), std::begin(kControlStart), std::end(kControlStart));
            if (start == pending_.end()) {
                // Keep a tail that may be the beginning of a start code.
                if (pending_.size() > 3) Drop(pending_.size() - 3);
                break;
            }
            Drop(static_cast<std::size_t>(start - pending_.begin()));
            if (pending_.size() < 8) break;
            const std::size_t declared = HexField::Read(pending_.data() + 4);
            if (declared < kControlHeaderSize) {
                Drop(4);  // not a packet: look for the next start code
                continue;
            }
            if (declared > kMaxClientPacket) {
                ++oversized_;
                skipRemaining_ = declared - pending_.size();
                Drop(pending_.size());
                break;
            }
            if (pending_.size() < declared) break;
            Packet p;
            p.code = HexField::Read(pending_.data() + 8);
            p.bytes.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(declared));
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(declared));
            out.push_back(std::move(p));
        }
    }
}

}  // namespace tamlorex::sim
