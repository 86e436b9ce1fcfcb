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
    // Every channel starts afresh with its next picture.
    void Forget();

private:
    std::vector<std::vector<std::uint8_t>> buffers_;
    std::array<std::array<std::uint32_t, 2>, kMaxChannels> sizes_{};
};

}  // namespace tamlorex
