// Pieces shared by the plain and SSE2 colour converters; not part of the public interface.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamlorex::convert_detail {

// Forward converters take positive even sizes only: 4:2:0 chroma covers 2 x 2 luma groups.
inline bool ValidForwardArgs(const uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return dst != nullptr && yuv != nullptr && width > 0 && height > 0 && width % 2 == 0 &&
           height % 2 == 0;
}

// Where picture line k lands: dst + first_line + k * line_step (bytes; step may be negative).
struct LinePlacement {
    ptrdiff_t first_line;
    ptrdiff_t line_step;
};

inline LinePlacement TopDown(int width, int height, size_t bytes_per_pixel)
{
    const ptrdiff_t line = static_cast<ptrdiff_t>(width) * static_cast<ptrdiff_t>(bytes_per_pixel);
    return {0, line};
}

inline LinePlacement BottomUp(int width, int height, size_t bytes_per_pixel)
{
    const ptrdiff_t line = static_cast<ptrdiff_t>(width) * static_cast<ptrdiff_t>(bytes_per_pixel);
    return {line * (height - 1), -line};
}

// Every other memory line of a 2 x height image, bottom-up; odd memory lines are skipped.
inline LinePlacement BottomUpDoubleHeight(int width, int height, size_t bytes_per_pixel)
{
    const ptrdiff_t line = static_cast<ptrdiff_t>(width) * static_cast<ptrdiff_t>(bytes_per_pixel);
    return {2 * line * (height - 1), -2 * line};
}

}  // namespace tamlorex::convert_detail
