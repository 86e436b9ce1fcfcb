#include "engine/picture_index.h"

#include <algorithm>
#include <iterator>

namespace tamlorex {
namespace {

constexpr std::size_t kLongestWalk = 8192;

}  // namespace

void PictureIndex::Clear()
{
    entries_.clear();
    stretches_.clear();
}

void PictureIndex::Add(std::uint64_t offset, int channel, bool full, std::uint32_t pageTime)
{
    auto [it, added] = entries_.try_emplace(offset);
    IndexEntry& e = it->second;
    if (!added && e.channel == channel && e.full == full) return;
    e.offset = offset;
    e.pageTime = pageTime;
    e.channel = static_cast<std::int8_t>(channel);
    e.full = full;
    e.whole = Wholeness::kUnknown;
}

void PictureIndex::MarkWhole(std::uint64_t offset, bool whole)
{
    const auto it = entries_.find(offset);
    if (it != entries_.end()) it->second.whole = whole ? Wholeness::kWhole : Wholeness::kPartial;
}

const IndexEntry* PictureIndex::Find(std::uint64_t offset) const
{
    const auto it = entries_.find(offset);
    return it == entries_.end() ? nullptr : &it->second;
}

void PictureIndex::Cover(std::uint64_t from, std::uint64_t to)
{
    if (from >= to) return;
    // Merge with every stretch that overlaps or touches [from, to).
    auto it = stretches_.upper_bound(from);
    if (it != stretches_.begin()) {
        auto before = std::prev(it);
        if (before->second >= from) it = before;
    }
    while (it != stretches_.end() && it->first <= to) {
        from = std::min(from, it->first);
        to = std::max(to, it->second);
        it = stretches_.erase(it);
    }
    stretches_.emplace(from, to);
}

bool PictureIndex::StretchAt(std::uint64_t offset, std::uint64_t& start, std::uint64_t& end) const
{
    auto it = stretches_.upper_bound(offset);
    if (it == stretches_.begin()) return false;
    --it;
    if (offset >= it->second) return false;
    start = it->first;
    end = it->second;
    return true;
}

Lookup PictureIndex::Previous(int channel, std::uint64_t offset, IndexEntry& out) const
{
    if (offset == 0) return Lookup::kNone;
    std::uint64_t start = 0, end = 0;
    // Only the stretch that runs up to the offset can vouch for the pictures before it.
    if (!StretchAt(offset - 1, start, end)) return Lookup::kUnknown;
    auto it = entries_.lower_bound(offset);
    for (std::size_t walked = 0; it != entries_.begin(); ++walked) {
        --it;
        if (it->first < start) break;
        // A channel not seen for this long is as good as unknown: the walk stays short.
        if (walked == kLongestWalk) return Lookup::kUnknown;
        if (it->second.channel == channel) {
            out = it->second;
            return Lookup::kFound;
        }
    }
    return start == 0 ? Lookup::kNone : Lookup::kUnknown;
}

Lookup PictureIndex::LastAtOrBefore(int channel, std::uint64_t offset, IndexEntry& out) const
{
    const IndexEntry* here = Find(offset);
    if (here != nullptr && here->channel == channel) {
        out = *here;
        return Lookup::kFound;
    }
    return Previous(channel, offset + 1, out);
}

void PictureIndex::Trim(std::uint64_t from, std::uint64_t to, std::size_t limit)
{
    if (entries_.size() <= limit) return;
    entries_.erase(entries_.begin(), entries_.lower_bound(from));
    entries_.erase(entries_.lower_bound(to), entries_.end());
    std::map<std::uint64_t, std::uint64_t> kept;
    for (const auto& [start, end] : stretches_) {
        const std::uint64_t s = std::max(start, from), e = std::min(end, to);
        if (s < e) kept.emplace(s, e);
    }
    stretches_ = std::move(kept);
}

}  // namespace tamlorex
