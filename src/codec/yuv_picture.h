// Caller-owned planar YUV 4:2:0 picture: Y (width x height), then U and V
// (width/2 x height/2 each), no padding, line strides width and width/2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tamlorex {

using YuvPicture = std::span<uint8_t>;
using ConstYuvPicture = std::span<const uint8_t>;

// Bytes of a decoded picture buffer as callers allocate it (720 x 576).
inline constexpr size_t kYuvPictureBufferSize = 414720;

inline constexpr size_t YuvPictureSize(size_t width, size_t height) { return width * height * 3 / 2; }

}  // namespace tamlorex
