#include "engine/picture_chains.h"

#include <algorithm>
#include <cstring>

#include "media/page_header.h"

namespace tamlorex {
namespace {

// A chain longer than this (pictures of one channel since its last whole picture) is not rebuilt.
constexpr std::size_t kLongestChain = 2048;
// Bytes one rebuild, or one search for the pictures at a seek target, may scan back.
constexpr std::uint64_t kRebuildScanBudget = std::uint64_t{64} << 20;
constexpr std::uint64_t kSearchScanBudget = std::uint64_t{32} << 20;
// The first step back; each further step doubles.
constexpr std::uint64_t kFirstScanStep = std::uint64_t{256} << 10;
constexpr std::uint64_t kPageMask = ~static_cast<std::uint64_t>(kPageSize - 1);
// Bytes of decoded pictures all channels keep together, and spare buffers held for reuse.
constexpr std::size_t kCacheBudget = std::size_t{64} << 20;
constexpr std::size_t kSpareBuffers = 16;

}  // namespace

PictureChains::PictureChains(RecordPipeline& pipeline, PictureIndex& index)
    : pipeline_(pipeline), index_(index), record_(new std::uint8_t[kRecordBufferSize])
{
    reference_.fill(kBeforeStart);
}

PictureChains::~PictureChains() = default;

bool PictureChains::Open(const std::string& path, bool drive, ModelType model)
{
    reader_.SetModelType(model);
    return reader_.Open(path, drive);
}

void PictureChains::Close() { reader_.Close(); }

void PictureChains::Restart()
{
    for (auto& kept : kept_) {
        for (auto& [offset, picture] : kept) Drop(std::move(picture.yuv));
        kept.clear();
    }
    reference_.fill(kBeforeStart);
    pipeline_.References().Forget();
}

bool PictureChains::IsCurrentFor(int channel, std::uint64_t offset) const
{
    const std::uint64_t reference = reference_[Slot(channel)];
    if (reference == kNoPicture) return false;
    IndexEntry previous;
    switch (index_.Previous(channel, offset, previous)) {
    case Lookup::kFound: return reference == previous.offset;
    case Lookup::kNone: return reference == kBeforeStart;
    case Lookup::kUnknown: break;
    }
    return false;
}

std::size_t PictureChains::Capacity(int channel) const
{
    const ChannelPictures& references = pipeline_.References();
    const std::size_t bytes = std::max<std::size_t>(
        YuvPictureSize(references.Width(channel), references.Height(channel)), YuvPictureSize(640, 224));
    std::size_t sharing = 1;
    for (std::size_t c = 0; c < kept_.size(); ++c)
        if (c != Slot(channel) && !kept_[c].empty()) ++sharing;
    return std::clamp<std::size_t>(kCacheBudget / (bytes * sharing), 4, 256);
}

void PictureChains::Drop(std::vector<std::uint8_t>&& buffer)
{
    if (spare_.size() < kSpareBuffers) spare_.push_back(std::move(buffer));
}

void PictureChains::TrimKept()
{
    for (std::size_t c = 0; c < kept_.size(); ++c) {
        auto& kept = kept_[c];
        // The oldest go first: playing backward needs the newest next.
        for (const std::size_t capacity = Capacity(static_cast<int>(c)); kept.size() > capacity;) {
            Drop(std::move(kept.begin()->second.yuv));
            kept.erase(kept.begin());
        }
    }
}

bool PictureChains::LoadKept(int channel, std::uint64_t offset)
{
    auto& kept = kept_[Slot(channel)];
    const auto it = kept.find(offset);
    if (it == kept.end()) return false;
    pipeline_.References().Load(channel, it->second.yuv.data(), it->second.width, it->second.height);
    reference_[Slot(channel)] = offset;
    return true;
}

void PictureChains::KeepPicture(int channel, std::uint64_t offset)
{
    auto& kept = kept_[Slot(channel)];
    const ConstYuvPicture picture = pipeline_.Picture(channel);
    Kept& k = kept[offset];
    if (k.yuv.empty() && !spare_.empty()) {
        k.yuv = std::move(spare_.back());
        spare_.pop_back();
    }
    k.yuv.assign(picture.begin(), picture.end());
    k.width = pipeline_.References().Width(channel);
    k.height = pipeline_.References().Height(channel);
}

void PictureChains::DropKeptAbove(int channel, std::uint64_t offset)
{
    auto& kept = kept_[Slot(channel)];
    for (auto it = kept.upper_bound(offset); it != kept.end();) {
        Drop(std::move(it->second.yuv));
        it = kept.erase(it);
    }
}

bool PictureChains::ScanBack(std::uint64_t offset, std::uint64_t& budget, std::uint64_t& step)
{
    std::uint64_t start = offset, end = offset;
    if (!index_.StretchAt(offset, start, end)) start = offset;
    if (start == 0 || budget == 0) return false;
    const std::uint64_t want = std::min(step, budget);
    const std::uint64_t from = (start > want ? start - want : 0) & kPageMask;
    Scan(from, start == offset ? offset + 1 : start);
    budget -= std::min(budget, start - from);
    step *= 2;
    return true;
}

void PictureChains::Scan(std::uint64_t from, std::uint64_t to)
{
    from &= kPageMask;
    if (!reader_.IsOpen() || from >= to) return;
    reader_.Rescan(from);
    for (std::uint64_t last = ~std::uint64_t{0};;) {
        const std::uint32_t length = reader_.ReadNext(record_.get());
        if (length == 0) {
            // A damaged page moves the scan on; the end of the data does not.
            const std::uint64_t position = reader_.GetPosition();
            if (position >= to || position == last) break;
            last = position;
            continue;
        }
        const std::uint64_t start = reader_.GetRecordStart();
        if (start >= to) break;
        if (!reader_.IsAudio() && pipeline_.Parse(record_.get(), length))
            index_.Add(start, pipeline_.Channel(), pipeline_.Full(), reader_.GetPageTime());
    }
    index_.Cover(from, to);
}

void PictureChains::FindLastPictures(std::uint64_t offset, std::uint32_t wanted,
                                     std::array<std::uint64_t, kMaxChannels>& found)
{
    found.fill(kNoPicture);
    std::uint64_t budget = kSearchScanBudget, step = kFirstScanStep;
    for (;;) {
        std::uint32_t unknown = 0;
        for (int c = 0; c < kMaxChannels; ++c) {
            if (!((wanted >> c) & 1)) continue;
            IndexEntry e;
            const Lookup lookup = index_.LastAtOrBefore(c, offset, e);
            if (lookup == Lookup::kFound) found[static_cast<std::size_t>(c)] = e.offset;
            else if (lookup == Lookup::kUnknown) unknown |= 1u << c;
        }
        if (unknown == 0 || !ScanBack(offset, budget, step)) return;
        wanted = unknown;
    }
}

bool PictureChains::ParseAt(std::uint64_t offset)
{
    reader_.Rescan(offset);
    lastLength_ = reader_.ReadNext(record_.get());
    // The index and the recording must agree; a file that changed under us stops the chain.
    if (lastLength_ == 0 || reader_.IsAudio() || reader_.GetRecordStart() != offset) return false;
    return pipeline_.Parse(record_.get(), lastLength_);
}

bool PictureChains::DecodeAt(int channel, std::uint64_t offset)
{
    if (!ParseAt(offset) || pipeline_.Channel() != channel) return false;
    const std::uint32_t length = lastLength_;
    // A picture the decoder refuses leaves the reference as it is, as decoding in order does.
    const bool ran = pipeline_.Decode(record_.get(), length);
    if (pipeline_.Full()) index_.MarkWhole(offset, ran && pipeline_.WroteWholePicture());
    return true;
}

bool PictureChains::Walk(int channel, std::uint64_t at, std::uint64_t target, std::vector<std::uint64_t>& chain,
                         StartFrom& start, std::uint64_t& startAt, std::uint64_t& scanBudget)
{
    std::uint64_t step = kFirstScanStep;
    for (;;) {
        const IndexEntry* e = index_.Find(at);
        if (e == nullptr || e->channel != channel) return false;
        if (at != target) {
            if (reference_[Slot(channel)] == at) {
                start = StartFrom::kReference;
                return true;
            }
            if (kept_[Slot(channel)].count(at) != 0) {
                start = StartFrom::kCache;
                startAt = at;
                return true;
            }
        }
        chain.push_back(at);
        if (e->full && e->whole != Wholeness::kPartial) {
            start = StartFrom::kWholeCandidate;
            return true;
        }
        if (chain.size() > kLongestChain) return false;
        IndexEntry previous;
        Lookup lookup;
        while ((lookup = index_.Previous(channel, at, previous)) == Lookup::kUnknown)
            if (!ScanBack(at, scanBudget, step)) return false;
        if (lookup == Lookup::kNone) {
            start = StartFrom::kEmpty;
            return true;
        }
        at = previous.offset;
    }
}

bool PictureChains::Rebuild(int channel, std::uint64_t offset, Keep keep)
{
    const std::size_t slot = Slot(channel);
    if (reference_[slot] == offset || LoadKept(channel, offset)) return true;

    std::vector<std::uint64_t> chain;  // newest first
    std::uint64_t scanBudget = kRebuildScanBudget;
    StartFrom start = StartFrom::kEmpty;
    std::uint64_t startAt = 0;
    if (!Walk(channel, offset, offset, chain, start, startAt, scanBudget)) return false;
    for (;;) {
        if (start == StartFrom::kCache && !LoadKept(channel, startAt)) return false;
        if (start == StartFrom::kEmpty) pipeline_.References().Forget(channel);
        // From here on the reference is being rewritten.
        reference_[slot] = kNoPicture;
        if (start != StartFrom::kWholeCandidate) break;
        // The oldest picture of the chain starts it if it decodes whole; otherwise the chain goes
        // on back past it.
        const std::uint64_t candidate = chain.back();
        if (!DecodeAt(channel, candidate)) return false;
        const IndexEntry* e = index_.Find(candidate);
        if (e != nullptr && e->whole == Wholeness::kWhole) break;
        chain.pop_back();
        if (!Walk(channel, candidate, offset, chain, start, startAt, scanBudget)) return false;
        if (start == StartFrom::kWholeCandidate && chain.back() == candidate) return false;
    }

    // In decoding order: the first picture (a whole candidate) is decoded already.
    const std::size_t n = chain.size();
    const std::size_t first = start == StartFrom::kWholeCandidate ? 1 : 0;
    const bool keepPictures = keep == Keep::kForReverse;
    std::size_t spacing = 1, tail = n;
    if (keepPictures) {
        DropKeptAbove(channel, offset);
        const std::size_t capacity = Capacity(channel);
        // A long chain keeps evenly spaced pictures and its newest ones, so that the pictures
        // before each kept one are decoded at most once more.
        if (n > capacity) {
            tail = capacity / 2;
            spacing = (n + tail - 1) / tail;
        }
    }
    for (std::size_t j = 0; j < n; ++j) {
        const std::uint64_t at = chain[n - 1 - j];
        if (j >= first && !DecodeAt(channel, at)) return false;
        if (keepPictures && (j % spacing == 0 || j + tail >= n)) KeepPicture(channel, at);
    }
    if (keepPictures) TrimKept();
    reference_[slot] = offset;
    return true;
}

}  // namespace tamlorex
