#include "sim/hostile_stream.h"

#include <algorithm>
#include <cstdio>

#include "media/frame_record.h"
#include "net/control_packet.h"
#include "net/hex_field.h"
#include "net/record_queue.h"
#include "net/stream_parser.h"

namespace tamlorex::sim {
namespace {

constexpr double kFirstGapMin = 0.5, kFirstGapMax = 1.5;  // normal stream after a login
constexpr double kGapMin = 0.2, kGapMax = 1.2;            // between two events
constexpr std::size_t kGarbageMax = 4096;
constexpr int kPlantedStartsMax = 4;
constexpr std::size_t kOversizeMax = 65536;  // bytes past the client's limit, at most
constexpr double kLongStallExtraMin = 1, kLongStallExtraMax = 3;
constexpr double kShortStallMin = 0.1, kShortStallMax = 0.6;  // of the client's time-out

// Weights of the kinds, in HostileKind order.
constexpr std::uint64_t kWeights[] = {30, 20, 20, 15, 15};

std::string Ms(double seconds) { return std::to_string(static_cast<long long>(seconds * 1000 + 0.5)); }

}  // namespace

HostileSchedule::HostileSchedule(const HostileOptions& options)
    : options_(options), rng_(options.seed), timing_(options.seed ^ 0x9E3779B97F4A7C15ull)
{
    if (!(options_.clientTimeout > 0)) options_.clientTimeout = 7;
    Draw();
}

void HostileSchedule::Restart(double now) { next_ = now + Uniform(timing_, kFirstGapMin, kFirstGapMax); }

void HostileSchedule::Draw()
{
    std::uint64_t total = 0;
    for (const auto w : kWeights) total += w;
    std::uint64_t pick = Below(total);
    int kind = 0;
    while (pick >= kWeights[kind]) pick -= kWeights[kind++];
    kind_ = static_cast<HostileKind>(kind);
    const std::uint64_t unit = Below(4);
    cutUnit_ = unit < 2 ? CutUnit::kPicture : unit == 2 ? CutUnit::kSound : CutUnit::kMessage;
}

void HostileSchedule::Payload(std::vector<std::uint8_t>& out, std::size_t count)
{
    const std::size_t start = out.size();
    out.reserve(start + count);
    for (std::size_t i = 0; i < count; ++i) {
        auto b = static_cast<std::uint8_t>(rng_());
        const std::size_t at = out.size();
        if (b == 0x01 && at >= start + 2 && out[at - 1] == 0 && out[at - 2] == 0) b = 0x02;
        out.push_back(b);
    }
}

double HostileSchedule::ShortStall() { return Uniform(kShortStallMin, kShortStallMax) * options_.clientTimeout; }

void HostileSchedule::Garbage(HostileEvent& e)
{
    const std::size_t count = 1 + Below(kGarbageMax);
    e.bytes.resize(count);
    for (auto& b : e.bytes) b = static_cast<std::uint8_t>(rng_());
    // Half of the time some start codes among the noise put the client's parser into pictures,
    // sound and messages made of it.
    int planted = 0;
    if (count >= 4 && Below(2) == 0) {
        static constexpr std::uint8_t kTypes[] = {kVideoUpdateType, kVideoFullType, kAudioFirstType, kControlType};
        planted = 1 + static_cast<int>(Below(kPlantedStartsMax));
        for (int i = 0; i < planted; ++i) {
            const std::size_t at = Below(count - 3);
            e.bytes[at] = 0;
            e.bytes[at + 1] = 0;
            e.bytes[at + 2] = 1;
            e.bytes[at + 3] = kTypes[Below(4)];
        }
    }
    e.fields = "\"hostile\":\"garbage\",\"bytes\":" + std::to_string(count) + ",\"starts\":" + std::to_string(planted);
}

void HostileSchedule::Oversized(HostileEvent& e)
{
    const std::uint64_t which = Below(3);
    std::vector<std::uint8_t>& out = e.bytes;
    const char* unit = "message";
    std::size_t limit = 0;
    if (which == 0) {
        // A control message declaring more than the client's message buffer holds, and carrying it.
        limit = kMessageBufferSize;
        const std::size_t declared = limit + 1 + Below(0xFFFF - limit);
        out = {0x00, 0x00, 0x01, kControlType};
        out.resize(kControlHeaderSize);
        HexField::Write(out.data() + 4, static_cast<std::uint32_t>(declared));
        // A status message or a code the client does not know; never the recorder's goodbye.
        const std::uint64_t pick = Below(3);
        const auto code = static_cast<std::uint32_t>(pick == 0 ? MSG_STATUS : pick == 1 ? MSG_STATUS_FIVE : 0x0100 + Below(0xFF00));
        HexField::Write(out.data() + 8, code);
        Payload(out, declared - kControlHeaderSize);
    } else if (which == 1) {
        // A picture longer than the client's record buffer.
        unit = "picture";
        limit = kRecordBufferSize;
        out = {0x00, 0x00, 0x01, Below(2) ? kVideoFullType : kVideoUpdateType};
        Payload(out, limit + 1 + Below(kOversizeMax));
    } else {
        // A sound unit of more samples than the client's sound block.
        unit = "sound";
        limit = kLiveAudioSize;
        out = {0x00, 0x00, 0x01, kAudioFirstType, 0x00, 0x00};
        Payload(out, limit + 1 + Below(kOversizeMax));
    }
    e.fields = std::string("\"hostile\":\"oversized\",\"unit\":\"") + unit + "\",\"bytes\":" + std::to_string(out.size()) +
               ",\"limit\":" + std::to_string(limit);
}

HostileEvent HostileSchedule::Take(double now, const std::vector<std::uint8_t>& unit, const char* unitName)
{
    HostileEvent e;
    e.kind = kind_;
    if (e.kind == HostileKind::kCut && unit.size() < 2) e.kind = HostileKind::kDisconnect;
    switch (e.kind) {
    case HostileKind::kGarbage: Garbage(e); break;
    case HostileKind::kOversized: Oversized(e); break;
    case HostileKind::kCut: {
        const std::size_t kept = 1 + Below(unit.size() - 1);
        e.bytes.assign(unit.begin(), unit.begin() + static_cast<std::ptrdiff_t>(kept));
        e.fields = std::string("\"hostile\":\"cut\",\"unit\":\"") + unitName + "\",\"bytes\":" + std::to_string(kept) +
                   ",\"of\":" + std::to_string(unit.size());
        if (Below(2) == 0) {
            e.close = true;
            e.fields += ",\"then\":\"close\"";
        } else {
            e.stallSeconds = ShortStall();
            e.fields += ",\"then\":\"stall\",\"ms\":" + Ms(e.stallSeconds);
        }
        break;
    }
    case HostileKind::kStall: {
        const bool outlasts = Below(100) < 35;
        e.stallSeconds = outlasts ? options_.clientTimeout + Uniform(kLongStallExtraMin, kLongStallExtraMax) : ShortStall();
        e.fields = "\"hostile\":\"stall\",\"ms\":" + Ms(e.stallSeconds) + ",\"timeout\":" + (outlasts ? "1" : "0");
        break;
    }
    case HostileKind::kDisconnect:
        e.close = true;
        e.fields = "\"hostile\":\"disconnect\"";
        break;
    }
    ++events_;
    next_ = now + e.stallSeconds + Uniform(timing_, kGapMin, kGapMax);
    Draw();
    return e;
}

}  // namespace tamlorex::sim
