#pragma once
// One reference picture per channel: an update picture is decoded over its own channel's last
// picture. A channel's picture starts as luma 0 and chroma 128 whenever its size changes.
#include <array>
#include <cstdint>
#include <vector>

#include "codec/yuv_picture.h"
#include "media/frame_record.h"

namespace tamlorex {

class ChannelPictures {
public:
    ChannelPictures();
    // The channel's picture buffer (kYuvPictureBufferSize bytes) for a picture of this size.
    YuvPicture For(int channel, std::uint32_t width, std::uint32_t height);
    // The channel's picture as it stands, and its size (0 x 0 before its first picture).
    ConstYuvPicture Picture(int channel) const;
    std::uint32_t Width(int channel) const { return sizes_[Slot(channel)][0]; }
    std::uint32_t Height(int channel) const { return sizes_[Slot(channel)][1]; }
    // Makes `yuv` (width x height) the channel's picture.
    void Load(int channel, const std::uint8_t* yuv, std::uint32_t width, std::uint32_t height);
    // Every channel, or one, starts afresh with its next picture.
    void Forget();
    void Forget(int channel);

private:
    static std::size_t Slot(int channel) { return static_cast<std::size_t>(channel) & (kMaxChannels - 1); }

    std::vector<std::vector<std::uint8_t>> buffers_;
    std::array<std::array<std::uint32_t, 2>, kMaxChannels> sizes_{};
};

}  // namespace tamlorex
