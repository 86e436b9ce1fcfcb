#pragma once
// Where the pictures of a recording lie: every accepted picture record by the offset of its start
// code, with its channel, kind and page time, and the stretches of the recording in which every
// picture is known. A stretch lets the index answer "which picture of channel c comes last before
// this one", which is what rebuilding a channel's picture exactly needs.
#include <cstddef>
#include <cstdint>
#include <map>

namespace tamlorex {

// Whether a full picture decodes without its reference (every block written, undamaged).
enum class Wholeness : std::uint8_t { kUnknown, kWhole, kPartial };

struct IndexEntry {
    std::uint64_t offset = 0;
    std::uint32_t pageTime = 0;  // seconds since 1970
    std::int8_t channel = 0;     // the channel whose reference the picture is decoded on
    bool full = false;
    Wholeness whole = Wholeness::kUnknown;
};

enum class Lookup {
    kFound,    // the picture is in `out`
    kNone,     // known: the stretch reaches back to the start of the recording without one
    kUnknown,  // the index does not reach far enough back to tell
};

class PictureIndex {
public:
    void Clear();
    std::size_t Size() const { return entries_.size(); }

    // An accepted picture record whose start code begins at `offset` (an entry already there keeps
    // what was learnt of its wholeness).
    void Add(std::uint64_t offset, int channel, bool full, std::uint32_t pageTime);
    void MarkWhole(std::uint64_t offset, bool whole);
    const IndexEntry* Find(std::uint64_t offset) const;

    // Every picture record whose start code begins in [from, to) is in the index.
    void Cover(std::uint64_t from, std::uint64_t to);
    // The covered stretch [start, end) with start <= offset < end; false when there is none.
    bool StretchAt(std::uint64_t offset, std::uint64_t& start, std::uint64_t& end) const;

    // The last picture of the channel that begins before `offset`.
    Lookup Previous(int channel, std::uint64_t offset, IndexEntry& out) const;
    // The last picture of the channel that begins at or before `offset`.
    Lookup LastAtOrBefore(int channel, std::uint64_t offset, IndexEntry& out) const;

    // Forgets everything outside [from, to), stretches included, when the index has grown beyond
    // `limit` entries.
    void Trim(std::uint64_t from, std::uint64_t to, std::size_t limit);

private:
    std::map<std::uint64_t, IndexEntry> entries_;
    std::map<std::uint64_t, std::uint64_t> stretches_;  // start -> end, disjoint, never touching
};

}  // namespace tamlorex
