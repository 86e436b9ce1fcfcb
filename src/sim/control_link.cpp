#include "sim/control_link.h"

#include <algorithm>
#include <cstdio>

#include "platform/md5.h"

namespace tamlorex::sim {
namespace {

constexpr std::uint8_t kControlStart[4] = {0x00, 0x00, 0x01, 0xFE};

void PutField(std::vector<std::uint8_t>& out, std::size_t at, unsigned value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
    std::copy(text, text + 4, out.begin() + static_cast<std::ptrdiff_t>(at));
}

int HexDigit(std::uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::vector<std::uint8_t> BuildPacket(std::uint16_t code, std::initializer_list<std::uint16_t> fields)
{
    std::vector<std::uint8_t> out(kControlHeaderSize + 4 * fields.size());
    std::copy(std::begin(kControlStart), std::end(kControlStart), out.begin());
    PutField(out, 4, static_cast<unsigned>(out.size()));
    PutField(out, 8, code);
    std::size_t at = kControlHeaderSize;
    for (std::uint16_t f : fields) {
        PutField(out, at, f);
        at += 4;
    }
    return out;
}

std::uint16_t ReadField(const std::uint8_t* p)
{
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = HexDigit(p[i]);
        if (d < 0) return 0;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return static_cast<std::uint16_t>(value);
}

std::string LoginDigestText(const std::string& password)
{
    Md5 md5;
    md5.Update(password.data(), password.size());
    std::string hex = Md5::ToHex(md5.Final());
    for (char& c : hex)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return hex;
}

bool LoginMatches(const std::uint8_t* packet, std::size_t length, const std::string& password)
{
    if (length < kLoginPacketSize) return false;
    const std::string want = LoginDigestText(password);
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
            const std::size_t declared = ReadField(pending_.data() + 4);
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
            p.code = ReadField(pending_.data() + 8);
            p.bytes.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(declared));
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(declared));
            out.push_back(std::move(p));
        }
    }
}

}  // namespace tamlorex::sim
