#include "codec/color_convert.h"

#include <cstring>

#include "codec/color_convert_internal.h"

namespace tamlorex {

using convert_detail::BottomUp;
using convert_detail::BottomUpDoubleHeight;
using convert_detail::LinePlacement;
using convert_detail::TopDown;
using convert_detail::ValidForwardArgs;

namespace {

ColorTables BuildColorTables()
{
    ColorTables t{};
    for (int i = ColorTables::kClampLowest; i <= ColorTables::kClampHighest; ++i) {
        const int level = i < 1 ? 1 : (i > 255 ? 255 : i);
        t.clamp_storage[i - ColorTables::kClampLowest] = static_cast<uint8_t>(level);
    }
    for (int c = 0; c < 256; ++c) {
        t.CrToRed[c] = (c - 128) * 1436;
        t.CbToGreen[c] = (c - 128) * 352;
        t.CrToGreen[c] = (c - 128) * 731;
        t.CbToBlue[c] = (c - 128) * 1815;
    }
    return t;
}

// Writes one pixel of each output format from its three clamped channel values.
struct PutRgb555 {
    static constexpr size_t kBytes = kRgb16BytesPerPixel;
    void operator()(uint8_t* p, unsigned r, unsigned g, unsigned b) const
    {
        const unsigned w = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        p[0] = static_cast<uint8_t>(w);
        p[1] = static_cast<uint8_t>(w >> 8);
    }
};

struct PutRgb565 {
    static constexpr size_t kBytes = kRgb16BytesPerPixel;
    void operator()(uint8_t* p, unsigned r, unsigned g, unsigned b) const
    {
        const unsigned w = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        p[0] = static_cast<uint8_t>(w);
        p[1] = static_cast<uint8_t>(w >> 8);
    }
};

struct PutBgr565 {
    static constexpr size_t kBytes = kRgb16BytesPerPixel;
    void operator()(uint8_t* p, unsigned r, unsigned g, unsigned b) const
    {
        const unsigned w = ((b >> 3) << 11) | ((g >> 2) << 5) | (r >> 3);
        p[0] = static_cast<uint8_t>(w);
        p[1] = static_cast<uint8_t>(w >> 8);
    }
};

struct PutRgb32 {
    static constexpr size_t kBytes = kRgb32BytesPerPixel;
    void operator()(uint8_t* p, unsigned r, unsigned g, unsigned b) const
    {
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        p[3] = 0;
    }
};

struct PutRgb24 {
    static constexpr size_t kBytes = kRgb24BytesPerPixel;
    void operator()(uint8_t* p, unsigned r, unsigned g, unsigned b) const
    {
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
    }
};

// The table-driven conversion: two picture lines at a time, two columns at a time, one U/V
// pair per 2 x 2 group.
template <typename Put>
bool ConvertPlain(uint8_t* dst, const uint8_t* yuv, int width, int height,
                  LinePlacement (*placement)(int, int, size_t))
{
    if (!ValidForwardArgs(dst, yuv, width, height))
        return false;
    const ColorTables& t = GetColorTables();
    const uint8_t* clamp = t.clamp();
    const Put put;
    const LinePlacement place = placement(width, height, Put::kBytes);
    const size_t luma_size = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t chroma_width = static_cast<size_t>(width) / 2;
    const uint8_t* u_plane = yuv + luma_size;
    const uint8_t* v_plane = yuv + luma_size + luma_size / 4;

    for (int line = 0; line < height; line += 2) {
        const uint8_t* y0 = yuv + static_cast<size_t>(line) * static_cast<size_t>(width);
        const uint8_t* y1 = y0 + width;
        const uint8_t* u = u_plane + static_cast<size_t>(line / 2) * chroma_width;
        const uint8_t* v = v_plane + static_cast<size_t>(line / 2) * chroma_width;
        uint8_t* d0 = dst + place.first_line + place.line_step * line;
        uint8_t* d1 = d0 + place.line_step;
        for (int col = 0; col < width; col += 2) {
            const int cu = u[col / 2];
            const int cv = v[col / 2];
            const int red = t.CrToRed[cv];
            const int green = -t.CbToGreen[cu] - t.CrToGreen[cv];
            const int blue = t.CbToBlue[cu];
            const uint8_t* ys[4] = {y0 + col, y0 + col + 1, y1 + col, y1 + col + 1};
            uint8_t* ds[4] = {d0 + col * Put::kBytes, d0 + (col + 1) * Put::kBytes,
                              d1 + col * Put::kBytes, d1 + (col + 1) * Put::kBytes};
            for (int k = 0; k < 4; ++k) {
                const int y = *ys[k] * 1024;
                put(ds[k], clamp[(y + red) >> 10], clamp[(y + green) >> 10],
                    clamp[(y + blue) >> 10]);
            }
        }
    }
    return true;
}

bool ValidReadBackArgs(const uint8_t* dst, const uint8_t* src, int width, int height)
{
    return dst != nullptr && src != nullptr && width > 0 && height > 0;
}

// Read-back of a 16-bit little-endian picture; `decode` splits a word into blue, green, red.
template <typename Decode>
bool ReadBack16(uint8_t* dst, const uint8_t* src, int width, int height, Decode decode)
{
    if (!ValidReadBackArgs(dst, src, width, height))
        return false;
    const size_t src_line = static_cast<size_t>(width) * kRgb16BytesPerPixel;
    const size_t dst_line = static_cast<size_t>(width) * kRgb24BytesPerPixel;
    for (int line = 0; line < height; ++line) {
        const uint8_t* s = src + static_cast<size_t>(line) * src_line;
        uint8_t* d = dst + static_cast<size_t>(height - 1 - line) * dst_line;
        for (int x = 0; x < width; ++x) {
            const unsigned p = s[2 * x] | (static_cast<unsigned>(s[2 * x + 1]) << 8);
            decode(p, d + 3 * x);
        }
    }
    return true;
}

}  // namespace

const ColorTables& GetColorTables()
{
    static const ColorTables tables = BuildColorTables();
    return tables;
}

void InitColorTables()
{
    (void)GetColorTables();
}

bool ConvertToRgb555(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertPlain<PutRgb555>(dst, yuv, width, height, TopDown);
}

bool ConvertToRgb565(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertPlain<PutRgb565>(dst, yuv, width, height, TopDown);
}

bool ConvertToBgr565(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertPlain<PutBgr565>(dst, yuv, width, height, TopDown);
}

bool ConvertToRgb32Plain(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertPlain<PutRgb32>(dst, yuv, width, height, TopDown);
}

bool ConvertToRgb24Plain(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertPlain<PutRgb24>(dst, yuv, width, height, TopDown);
}

bool ConvertToDib24Plain(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertPlain<PutRgb24>(dst, yuv, width, height, BottomUp);
}

bool ConvertToDib24DoubleHeightPlain(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertPlain<PutRgb24>(dst, yuv, width, height, BottomUpDoubleHeight);
}

bool ConvertToRgb32(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToRgb32Sse2(dst, yuv, width, height);
}

bool ConvertToRgb24(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToRgb24Sse2(dst, yuv, width, height);
}

bool ConvertToDib24(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToDib24Sse2(dst, yuv, width, height);
}

bool ConvertToDib24DoubleHeight(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToDib24DoubleHeightSse2(dst, yuv, width, height);
}

bool ReadBackRgb555ToDib24(uint8_t* dst, const uint8_t* src, int width, int height)
{
    return ReadBack16(dst, src, width, height, [](unsigned p, uint8_t* d) {
        d[0] = static_cast<uint8_t>((p & 0x1F) << 3);
        d[1] = static_cast<uint8_t>(((p >> 5) & 0x1F) << 3);
        d[2] = static_cast<uint8_t>(((p >> 10) & 0x1F) << 3);
    });
}

bool ReadBackRgb565ToDib24(uint8_t* dst, const uint8_t* src, int width, int height)
{
    return ReadBack16(dst, src, width, height, [](unsigned p, uint8_t* d) {
        d[0] = static_cast<uint8_t>((p & 0x1F) << 3);
        d[1] = static_cast<uint8_t>(((p >> 5) & 0x3F) << 2);
        d[2] = static_cast<uint8_t>((p >> 11) << 3);
    });
}

bool ReadBackBgr565ToDib24(uint8_t* dst, const uint8_t* src, int width, int height)
{
    return ReadBack16(dst, src, width, height, [](unsigned p, uint8_t* d) {
        d[0] = static_cast<uint8_t>((p >> 11) << 3);
        d[1] = static_cast<uint8_t>(((p >> 5) & 0x3F) << 2);
        d[2] = static_cast<uint8_t>((p & 0x1F) << 3);
    });
}

bool ReadBackRgb24ToDib24(uint8_t* dst, const uint8_t* src, int width, int height)
{
    if (!ValidReadBackArgs(dst, src, width, height))
        return false;
    const size_t line = static_cast<size_t>(width) * kRgb24BytesPerPixel;
    for (int k = 0; k < height; ++k)
        std::memcpy(dst + static_cast<size_t>(height - 1 - k) * line,
                    src + static_cast<size_t>(k) * line, line);
    return true;
}

bool ReadBackRgb32ToDib24(uint8_t* dst, const uint8_t* src, int width, int height)
{
    if (!ValidReadBackArgs(dst, src, width, height))
        return false;
    const size_t src_line = static_cast<size_t>(width) * kRgb32BytesPerPixel;
    const size_t dst_line = static_cast<size_t>(width) * kRgb24BytesPerPixel;
    for (int k = 0; k < height; ++k) {
        const uint8_t* s = src + static_cast<size_t>(k) * src_line;
        uint8_t* d = dst + static_cast<size_t>(height - 1 - k) * dst_line;
        for (int x = 0; x < width; ++x) {
            d[3 * x] = s[4 * x];
            d[3 * x + 1] = s[4 * x + 1];
            d[3 * x + 2] = s[4 * x + 2];
        }
    }
    return true;
}

bool ConvertPictureForFormat(const std::string& format, const uint8_t* yuv, int width, int height,
                             std::vector<uint8_t>& out)
{
    if (yuv == nullptr || width <= 0 || height <= 0 || width % 2 != 0 || height % 2 != 0)
        return false;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    bool (*convert)(uint8_t*, const uint8_t*, int, int) = nullptr;
    size_t size = 0;
    if (format == "yuv") {
        out.assign(yuv, yuv + YuvPictureBytes(width, height));
        return true;
    } else if (format == "rgb555") {
        convert = ConvertToRgb555;
        size = pixels * kRgb16BytesPerPixel;
    } else if (format == "rgb565") {
        convert = ConvertToRgb565;
        size = pixels * kRgb16BytesPerPixel;
    } else if (format == "bgr565") {
        convert = ConvertToBgr565;
        size = pixels * kRgb16BytesPerPixel;
    } else if (format == "rgb24") {
        convert = ConvertToRgb24;
        size = pixels * kRgb24BytesPerPixel;
    } else if (format == "rgb32") {
        convert = ConvertToRgb32;
        size = pixels * kRgb32BytesPerPixel;
    } else if (format == "dib24") {
        convert = ConvertToDib24;
        size = pixels * kRgb24BytesPerPixel;
    } else if (format == "dib24x2") {
        // The odd lines are never written, so they stay zero.
        convert = ConvertToDib24DoubleHeight;
        size = 2 * pixels * kRgb24BytesPerPixel;
    } else {
        return false;
    }
    out.assign(size, 0);
    return convert(out.data(), yuv, width, height);
}

}  // namespace tamlorex
