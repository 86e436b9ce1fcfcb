#include "codec/channel_pictures.h"

#include <algorithm>
#include <cstring>

namespace tamlorex {

ChannelPictures::ChannelPictures() : buffers_(kMaxChannels, std::vector<std::uint8_t>(kYuvPictureBufferSize)) {}

YuvPicture ChannelPictures::For(int channel, std::uint32_t width, std::uint32_t height)
{
    const std::size_t slot = Slot(channel);
    std::vector<std::uint8_t>& buffer = buffers_[slot];
    if (sizes_[slot][0] != width || sizes_[slot][1] != height) {
        const std::size_t luma = std::min<std::size_t>(std::size_t{width} * height, buffer.size());
        const std::size_t whole = std::min<std::size_t>(YuvPictureSize(width, height), buffer.size());
        std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(luma), 0);
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(luma), buffer.begin() + static_cast<std::ptrdiff_t>(whole), 128);
        sizes_[slot] = {width, height};
    }
    return YuvPicture(buffer.data(), buffer.size());
}

ConstYuvPicture ChannelPictures::Picture(int channel) const
{
    const std::size_t slot = Slot(channel);
    return ConstYuvPicture(buffers_[slot].data(), YuvPictureSize(sizes_[slot][0], sizes_[slot][1]));
}

void ChannelPictures::Load(int channel, const std::uint8_t* yuv, std::uint32_t width, std::uint32_t height)
{
    const std::size_t slot = Slot(channel);
    const std::size_t bytes = std::min(YuvPictureSize(width, height), buffers_[slot].size());
    std::memcpy(buffers_[slot].data(), yuv, bytes);
    sizes_[slot] = {width, height};
}

void ChannelPictures::Forget()
{
    for (auto& size : sizes_) size = {0, 0};
}

void ChannelPictures::Forget(int channel) { sizes_[Slot(channel)] = {0, 0}; }

}  // namespace tamlorex
