// SSE2 versions of the 24- and 32-bit converters. They compute exactly what the table-driven
// versions compute: each channel is clamp(Y + floor(term / 1024)) with the clamp to 1..255, and
// the chroma terms are the same integer products, so the bytes are identical.
//
// Sixteen pixels of two lines are done per step; the columns left over at the right (when the
// width is not a multiple of 16) go through the tables one 2 x 2 group at a time.
#include "codec/color_convert.h"

#include <cstring>

#include "codec/color_convert_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tamlorex {

#if defined(__SSE2__)

using convert_detail::BottomUp;
using convert_detail::BottomUpDoubleHeight;
using convert_detail::LinePlacement;
using convert_detail::TopDown;
using convert_detail::ValidForwardArgs;

namespace {

constexpr int kStepPixels = 16;

// Chroma terms of eight U/V pairs as 16-bit lanes: red and blue are floor(c * k / 1024),
// green is floor(-(cu * 352 + cv * 731) / 1024).
struct ChromaTerms {
    __m128i red;
    __m128i green;
    __m128i blue;
};

inline ChromaTerms LoadChromaTerms(const uint8_t* u, const uint8_t* v)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i cu = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)), zero), bias);
    const __m128i cv = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)), zero), bias);

    ChromaTerms t;
    // (c * 64) * k is c * k * 2^6 in 32 bits; its high half is that over 2^16, rounded down,
    // which is floor(c * k / 1024). c * 64 stays within -8192..8128.
    t.red = _mm_mulhi_epi16(_mm_slli_epi16(cv, 6), _mm_set1_epi16(1436));
    t.blue = _mm_mulhi_epi16(_mm_slli_epi16(cu, 6), _mm_set1_epi16(1815));

    // The green sum needs 18 bits before the shift: multiply-add U/V pairs in 32 bits.
    const __m128i coeff = _mm_set_epi16(-731, -352, -731, -352, -731, -352, -731, -352);
    const __m128i g_lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cu, cv), coeff), 10);
    const __m128i g_hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cu, cv), coeff), 10);
    t.green = _mm_packs_epi32(g_lo, g_hi);
    return t;
}

// One chroma term per pixel: each of the eight terms covers two neighbouring columns.
struct PixelTerms {
    __m128i lo;  // pixels 0..7
    __m128i hi;  // pixels 8..15
};

inline PixelTerms Widen(__m128i term)
{
    return {_mm_unpacklo_epi16(term, term), _mm_unpackhi_epi16(term, term)};
}

// Y + term for sixteen pixels, saturated to 0..255 and then raised to at least 1. The sums lie
// within -227..480, so the 16-bit lanes never wrap.
inline __m128i Channel(__m128i y_lo, __m128i y_hi, const PixelTerms& term)
{
    const __m128i packed =
        _mm_packus_epi16(_mm_add_epi16(y_lo, term.lo), _mm_add_epi16(y_hi, term.hi));
    return _mm_max_epu8(packed, _mm_set1_epi8(1));
}

// Sixteen pixels as four registers of blue, green, red, 0.
struct Bgr0x16 {
    __m128i p[4];
};

inline Bgr0x16 Interleave(__m128i b, __m128i g, __m128i r)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bg_lo = _mm_unpacklo_epi8(b, g);
    const __m128i bg_hi = _mm_unpackhi_epi8(b, g);
    const __m128i r0_lo = _mm_unpacklo_epi8(r, zero);
    const __m128i r0_hi = _mm_unpackhi_epi8(r, zero);
    return {{_mm_unpacklo_epi16(bg_lo, r0_lo), _mm_unpackhi_epi16(bg_lo, r0_lo),
             _mm_unpacklo_epi16(bg_hi, r0_hi), _mm_unpackhi_epi16(bg_hi, r0_hi)}};
}

struct StoreBgr32 {
    static constexpr size_t kBytes = kRgb32BytesPerPixel;
    static void Store16(uint8_t* d, __m128i b, __m128i g, __m128i r, bool /*ends_line*/)
    {
        const Bgr0x16 px = Interleave(b, g, r);
        for (int i = 0; i < 4; ++i)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * i), px.p[i]);
    }
    static void Put(uint8_t* p, unsigned r, unsigned g, unsigned b)
    {
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        p[3] = 0;
    }
};

// 24-bit pixels go out as eight overlapping 8-byte stores, each holding one pixel pair (6 bytes)
// and 2 zero bytes that the next store overwrites. Only the last store of a step reaches past the
// step's 48 bytes, so a step that ends its line writes its last pair with exactly 6 bytes.
struct StoreBgr24 {
    static constexpr size_t kBytes = kRgb24BytesPerPixel;
    static void Store16(uint8_t* d, __m128i b, __m128i g, __m128i r, bool ends_line)
    {
        const __m128i low_bytes = _mm_set1_epi16(0x00FF);
        const __m128i high_bytes = _mm_set1_epi16(static_cast<short>(0xFF00));
        const __m128i zero = _mm_setzero_si128();
        // For pixel pair k (pixels 2k, 2k + 1), the three words of its six bytes.
        const __m128i bg = _mm_or_si128(_mm_and_si128(b, low_bytes), _mm_slli_epi16(g, 8));
        const __m128i rb = _mm_or_si128(_mm_and_si128(r, low_bytes), _mm_and_si128(b, high_bytes));
        const __m128i gr = _mm_or_si128(_mm_srli_epi16(g, 8), _mm_and_si128(r, high_bytes));
        const __m128i bgrb_lo = _mm_unpacklo_epi16(bg, rb);
        const __m128i bgrb_hi = _mm_unpackhi_epi16(bg, rb);
        const __m128i gr_lo = _mm_unpacklo_epi16(gr, zero);
        const __m128i gr_hi = _mm_unpackhi_epi16(gr, zero);
        // Each 64-bit half: one pair's six bytes, then two zero bytes.
        const __m128i pairs[4] = {
            _mm_unpacklo_epi32(bgrb_lo, gr_lo), _mm_unpackhi_epi32(bgrb_lo, gr_lo),
            _mm_unpacklo_epi32(bgrb_hi, gr_hi), _mm_unpackhi_epi32(bgrb_hi, gr_hi)};
        for (int i = 0; i < 3; ++i) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 12 * i), pairs[i]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(d + 12 * i + 6), _mm_castsi128_ps(pairs[i]));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 36), pairs[3]);
        if (ends_line) {
            const uint64_t last = static_cast<uint64_t>(
                _mm_cvtsi128_si64(_mm_unpackhi_epi64(pairs[3], pairs[3])));
            std::memcpy(d + 42, &last, 6);  // x86 is little-endian: the pair's six bytes
        } else {
            _mm_storeh_pi(reinterpret_cast<__m64*>(d + 42), _mm_castsi128_ps(pairs[3]));
        }
    }
    static void Put(uint8_t* p, unsigned r, unsigned g, unsigned b)
    {
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
    }
};

template <typename Store>
bool ConvertSse2(uint8_t* dst, const uint8_t* yuv, int width, int height,
                 LinePlacement (*placement)(int, int, size_t))
{
    if (!ValidForwardArgs(dst, yuv, width, height))
        return false;
    const ColorTables& t = GetColorTables();
    const uint8_t* clamp = t.clamp();
    const LinePlacement place = placement(width, height, Store::kBytes);
    const size_t luma_size = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t chroma_width = static_cast<size_t>(width) / 2;
    const uint8_t* u_plane = yuv + luma_size;
    const uint8_t* v_plane = yuv + luma_size + luma_size / 4;
    const int simd_width = width - width % kStepPixels;
    const __m128i zero = _mm_setzero_si128();

    for (int line = 0; line < height; line += 2) {
        const uint8_t* y0 = yuv + static_cast<size_t>(line) * static_cast<size_t>(width);
        const uint8_t* y1 = y0 + width;
        const uint8_t* u = u_plane + static_cast<size_t>(line / 2) * chroma_width;
        const uint8_t* v = v_plane + static_cast<size_t>(line / 2) * chroma_width;
        uint8_t* d0 = dst + place.first_line + place.line_step * line;
        uint8_t* d1 = d0 + place.line_step;

        int col = 0;
        for (; col < simd_width; col += kStepPixels) {
            const bool ends_line = col + kStepPixels == width;
            const ChromaTerms c = LoadChromaTerms(u + col / 2, v + col / 2);
            const PixelTerms red = Widen(c.red);
            const PixelTerms green = Widen(c.green);
            const PixelTerms blue = Widen(c.blue);

            const __m128i ya = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y0 + col));
            const __m128i ya_lo = _mm_unpacklo_epi8(ya, zero);
            const __m128i ya_hi = _mm_unpackhi_epi8(ya, zero);
            Store::Store16(d0 + col * Store::kBytes, Channel(ya_lo, ya_hi, blue),
                           Channel(ya_lo, ya_hi, green), Channel(ya_lo, ya_hi, red), ends_line);

            const __m128i yb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y1 + col));
            const __m128i yb_lo = _mm_unpacklo_epi8(yb, zero);
            const __m128i yb_hi = _mm_unpackhi_epi8(yb, zero);
            Store::Store16(d1 + col * Store::kBytes, Channel(yb_lo, yb_hi, blue),
                           Channel(yb_lo, yb_hi, green), Channel(yb_lo, yb_hi, red), ends_line);
        }
        for (; col < width; col += 2) {
            const int cu = u[col / 2];
            const int cv = v[col / 2];
            const int red = t.CrToRed[cv];
            const int green = -t.CbToGreen[cu] - t.CrToGreen[cv];
            const int blue = t.CbToBlue[cu];
            for (int dy = 0; dy < 2; ++dy) {
                const uint8_t* ys = dy == 0 ? y0 : y1;
                uint8_t* ds = dy == 0 ? d0 : d1;
                for (int dx = 0; dx < 2; ++dx) {
                    const int y = ys[col + dx] * 1024;
                    Store::Put(ds + (col + dx) * Store::kBytes, clamp[(y + red) >> 10],
                               clamp[(y + green) >> 10], clamp[(y + blue) >> 10]);
                }
            }
        }
    }
    return true;
}

}  // namespace

bool HaveSse2Converters()
{
    return true;
}

bool ConvertToRgb32Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertSse2<StoreBgr32>(dst, yuv, width, height, TopDown);
}

bool ConvertToRgb24Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertSse2<StoreBgr24>(dst, yuv, width, height, TopDown);
}

bool ConvertToDib24Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertSse2<StoreBgr24>(dst, yuv, width, height, BottomUp);
}

bool ConvertToDib24DoubleHeightSse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertSse2<StoreBgr24>(dst, yuv, width, height, BottomUpDoubleHeight);
}

#else  // no SSE2: the plain versions serve

bool HaveSse2Converters()
{
    return false;
}

bool ConvertToRgb32Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToRgb32Plain(dst, yuv, width, height);
}

bool ConvertToRgb24Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToRgb24Plain(dst, yuv, width, height);
}

bool ConvertToDib24Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToDib24Plain(dst, yuv, width, height);
}

bool ConvertToDib24DoubleHeightSse2(uint8_t* dst, const uint8_t* yuv, int width, int height)
{
    return ConvertToDib24DoubleHeightPlain(dst, yuv, width, height);
}

#endif

}  // namespace tamlorex
