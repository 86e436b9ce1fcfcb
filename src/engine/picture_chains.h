#pragma once
// Exact pictures anywhere in a recording. A channel's picture after one of its records is what
// decoding the recording from its start gives: the channel's last whole picture (or the empty
// picture at the start of the recording) with every later picture of the channel decoded on top,
// in order. The chains rebuild that from the picture index, scan the recording for the pictures
// the index does not know yet, and keep a few decoded pictures per channel so that stepping and
// playing backward decode each picture about once.
//
// Everything here runs on the engine's worker thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codec/record_pipeline.h"
#include "engine/picture_index.h"
#include "media/vvf_reader.h"

namespace tamlorex {

class PictureChains {
public:
    // Reference offsets that name no record: the empty picture before a channel's first one, and
    // a picture that is not exact.
    static constexpr std::uint64_t kBeforeStart = ~std::uint64_t{0};
    static constexpr std::uint64_t kNoPicture = ~std::uint64_t{0} - 1;

    enum class Keep { kNothing, kForReverse };

    PictureChains(RecordPipeline& pipeline, PictureIndex& index);
    ~PictureChains();

    // Its own reader of the source, for the records of a chain and for scans.
    bool Open(const std::string& path, bool drive, ModelType model);
    // See VvfReader::SetCancel: the scans give up while *cancel is true.
    void SetCancel(const std::atomic<bool>* cancel) { reader_.SetCancel(cancel); }
    void Close();
    // No picture kept; every reference is the empty picture of the start of the recording.
    void Restart();

    // The reference of the channel now holds its picture after the record at `offset`.
    void NoteDecoded(int channel, std::uint64_t offset) { reference_[Slot(channel)] = offset; }
    void Invalidate(int channel) { reference_[Slot(channel)] = kNoPicture; }
    std::uint64_t ReferenceOffset(int channel) const { return reference_[Slot(channel)]; }
    // The reference is exactly what the channel's picture at `offset` is decoded on.
    bool IsCurrentFor(int channel, std::uint64_t offset) const;

    // Makes the channel's reference its picture after the record at `offset` (one of the
    // channel's pictures in the index). False when the chain cannot be rebuilt within the limits;
    // the reference is then not exact.
    bool Rebuild(int channel, std::uint64_t offset, Keep keep);

    // For each channel of `wanted`, the offset of its last picture at or before `offset` in
    // `found` (kNoPicture for none), scanning the recording back as far as the limits allow.
    void FindLastPictures(std::uint64_t offset, std::uint32_t wanted, std::array<std::uint64_t, kMaxChannels>& found);

    // Reads the record at `offset` and parses it into the pipeline (no decoding).
    bool ParseAt(std::uint64_t offset);

    // Puts every picture whose start code begins in [from, to) into the index (`from` is taken
    // from the start of its page).
    void Scan(std::uint64_t from, std::uint64_t to);

private:
    struct Kept {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::vector<std::uint8_t> yuv;
    };
    enum class StartFrom { kReference, kCache, kEmpty, kWholeCandidate };

    static std::size_t Slot(int channel) { return static_cast<std::size_t>(channel) & (kMaxChannels - 1); }
    // Collects the pictures to decode (newest first) back from `at` until a place to start from.
    bool Walk(int channel, std::uint64_t at, std::uint64_t target, std::vector<std::uint64_t>& chain,
              StartFrom& start, std::uint64_t& startAt, std::uint64_t& scanBudget);
    // Extends the index below the stretch that holds `offset`; false when it cannot.
    bool ScanBack(std::uint64_t offset, std::uint64_t& budget, std::uint64_t& step);
    bool DecodeAt(int channel, std::uint64_t offset);
    bool LoadKept(int channel, std::uint64_t offset);
    void KeepPicture(int channel, std::uint64_t offset);
    void DropKeptAbove(int channel, std::uint64_t offset);
    void Drop(std::vector<std::uint8_t>&& buffer);
    // Pictures a channel may keep: its share of the cache among the channels keeping pictures.
    std::size_t Capacity(int channel) const;
    // Every channel over its share gives up its oldest pictures.
    void TrimKept();

    RecordPipeline& pipeline_;
    PictureIndex& index_;
    VvfReader reader_;
    std::unique_ptr<std::uint8_t[]> record_;
    std::array<std::uint64_t, kMaxChannels> reference_{};
    std::array<std::map<std::uint64_t, Kept>, kMaxChannels> kept_;
    std::vector<std::vector<std::uint8_t>> spare_;  // buffers of dropped pictures, for reuse
    std::uint32_t lastLength_ = 0;
};

}  // namespace tamlorex
