#pragma once
// The one path of a video record to the pictures it shows: the header parsed once, the picture
// decoded onto its channel's reference picture, a dual picture split into its two halves, and
// each picture that is to be seen handed on. Playback, the live view, the export and
// `tamlorex decode` all decode through it.
#include <cstdint>
#include <vector>

#include "codec/channel_pictures.h"
#include "codec/video_decoder.h"

namespace tamlorex {

// A picture to be seen: `yuv` holds width x height planar 4:2:0 and lives until the next record.
struct VisiblePicture {
    int channel = 0;
    const std::uint8_t* yuv = nullptr;
    int width = 0;
    int height = 0;
};

class RecordPipeline {
public:
    RecordPipeline();

    // The decoder's Init; every channel's reference starts afresh.
    void Init(ModelType model);
    void SetDecodePathOverride(DecodePathOverride path) { decoder_.SetDecodePathOverride(path); }

    // Reads the header; false when the record is rejected. The queries below then describe it.
    bool Parse(const std::uint8_t* record, std::uint32_t length);
    // Decodes the record just parsed onto its channel's reference; false when the decoder refuses.
    bool Decode(const std::uint8_t* record, std::uint32_t length);

    const VideoDecoder& Decoder() const { return decoder_; }
    int Channel() const { return decoder_.Channel(); }
    bool Full() const { return decoder_.FullPicture() != 0; }
    int Width() const { return static_cast<int>(decoder_.Width()); }
    int Height() const { return static_cast<int>(decoder_.Height()); }
    // The record is a dual picture of two half-width channels (header layout D).
    bool Dual() const;
    // The last decode wrote every sample: its picture does not depend on the reference before it.
    bool WroteWholePicture() const { return decoder_.WroteWholePicture(); }

    // The parsed record would show something of the channels whose bits are set in `shown`:
    // a visible half of a dual picture, or else `channel` (the one the reader names).
    bool ShowsAny(std::uint32_t shown, int channel) const;

    // The pictures of the record just decoded that are to be seen, in `out`; their count (0 when
    // a dual picture cannot be split).
    int Visible(VisiblePicture out[2]);

    // The reference pictures, one per channel.
    ChannelPictures& References() { return references_; }
    const ChannelPictures& References() const { return references_; }
    ConstYuvPicture Picture(int channel) const { return references_.Picture(channel); }

private:
    VideoDecoder decoder_;
    ChannelPictures references_;
    std::vector<std::uint8_t> halves_[2];
};

}  // namespace tamlorex
