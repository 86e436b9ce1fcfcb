#include "codec/color_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tamlorex {
namespace {

using ForwardFn = bool (*)(uint8_t*, const uint8_t*, int, int);
using ReadBackFn = bool (*)(uint8_t*, const uint8_t*, int, int);

// A heap buffer of exactly `size` bytes, so that AddressSanitizer reports any access past it.
struct ExactBuffer {
    explicit ExactBuffer(size_t n, uint8_t fill = 0) : size(n), data(new uint8_t[n])
    {
        std::memset(data.get(), fill, n);
    }
    ExactBuffer(const std::vector<uint8_t>& from) : ExactBuffer(from.size())
    {
        std::memcpy(data.get(), from.data(), from.size());
    }
    std::vector<uint8_t> ToVector() const { return {data.get(), data.get() + size}; }
    size_t size;
    std::unique_ptr<uint8_t[]> data;
};

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// The conversion rule written out directly, as a reference for the table-driven code:
// channel = Y + floor(k * (c - 128) / 1024), limited to 1..255.
int FloorDiv1024(int a)
{
    return a >= 0 ? a / 1024 : -((-a + 1023) / 1024);
}

int Limit(int v)
{
    return v < 1 ? 1 : (v > 255 ? 255 : v);
}

Rgb Reference(int y, int u, int v)
{
    const int cu = u - 128;
    const int cv = v - 128;
    return {Limit(y + FloorDiv1024(1436 * cv)), Limit(y + FloorDiv1024(-352 * cu - 731 * cv)),
            Limit(y + FloorDiv1024(1815 * cu))};
}

// Sample accessors of a planar 4:2:0 picture, written from the plane table, not from the code.
struct Picture {
    int width, height;
    std::vector<uint8_t> bytes;

    Picture(int w, int h) : width(w), height(h), bytes(YuvPictureBytes(w, h), 0) {}
    uint8_t& Y(int x, int y) { return bytes[static_cast<size_t>(y) * width + x]; }
    uint8_t& U(int cx, int cy)
    {
        return bytes[static_cast<size_t>(width) * height + static_cast<size_t>(cy) * (width / 2) + cx];
    }
    uint8_t& V(int cx, int cy)
    {
        return bytes[static_cast<size_t>(width) * height * 5 / 4 +
                     static_cast<size_t>(cy) * (width / 2) + cx];
    }
    Rgb Expected(int x, int y) { return Reference(Y(x, y), U(x / 2, y / 2), V(x / 2, y / 2)); }
};

Picture RandomPicture(int w, int h, uint32_t seed)
{
    Picture p(w, h);
    std::mt19937 rng(seed);
    for (auto& b : p.bytes)
        b = static_cast<uint8_t>(rng());
    return p;
}

// A uniform picture: every sample of each plane has the same value.
Picture Flat(int w, int h, uint8_t y, uint8_t u, uint8_t v)
{
    Picture p(w, h);
    const size_t luma = static_cast<size_t>(w) * h;
    std::memset(p.bytes.data(), y, luma);
    std::memset(p.bytes.data() + luma, u, luma / 4);
    std::memset(p.bytes.data() + luma * 5 / 4, v, luma / 4);
    return p;
}

// Runs a forward converter on exact-size copies of the input and of the output buffer.
std::vector<uint8_t> Convert(ForwardFn fn, const Picture& p, size_t out_size, uint8_t fill = 0)
{
    ExactBuffer in(p.bytes);
    ExactBuffer out(out_size, fill);
    EXPECT_TRUE(fn(out.data.get(), in.data.get(), p.width, p.height));
    return out.ToVector();
}

size_t Pixels(const Picture& p)
{
    return static_cast<size_t>(p.width) * p.height;
}

Rgb Bgr24At(const std::vector<uint8_t>& out, int width, int x, int memory_line)
{
    const size_t at = (static_cast<size_t>(memory_line) * width + x) * 3;
    return {out[at + 2], out[at + 1], out[at]};
}

uint16_t WordAt(const std::vector<uint8_t>& out, int width, int x, int line)
{
    const size_t at = (static_cast<size_t>(line) * width + x) * 2;
    return static_cast<uint16_t>(out[at] | (out[at + 1] << 8));
}

// 64 pictures of 512 x 512: chroma pair (U, V) = (column, row) of the chroma plane, so every
// pair appears once per picture, and over the 64 pictures every pair meets every luma value.
Picture ExhaustivePicture(int pass)
{
    Picture p(512, 512);
    for (int cy = 0; cy < 256; ++cy) {
        for (int cx = 0; cx < 256; ++cx) {
            p.U(cx, cy) = static_cast<uint8_t>(cx);
            p.V(cx, cy) = static_cast<uint8_t>(cy);
            const int base = pass * 4 + cx * 7 + cy * 13;
            for (int k = 0; k < 4; ++k)
                p.Y(2 * cx + (k & 1), 2 * cy + (k >> 1)) = static_cast<uint8_t>(base + k);
        }
    }
    return p;
}

// ---- Tables ----

TEST(ColorTables, ClampLowestLevelIsOne)
{
    const uint8_t* clamp = GetColorTables().clamp();
    EXPECT_EQ(clamp[-320], 1);
    EXPECT_EQ(clamp[-1], 1);
    EXPECT_EQ(clamp[0], 1);
    EXPECT_EQ(clamp[1], 1);
    EXPECT_EQ(clamp[2], 2);
    EXPECT_EQ(clamp[254], 254);
    EXPECT_EQ(clamp[255], 255);
    EXPECT_EQ(clamp[256], 255);
    EXPECT_EQ(clamp[575], 255);
}

TEST(ColorTables, ChromaEntriesAtTheEnds)
{
    const ColorTables& t = GetColorTables();
    EXPECT_EQ(t.CrToRed[128], 0);
    EXPECT_EQ(t.CrToRed[0], -183808);
    EXPECT_EQ(t.CrToRed[255], 182372);
    EXPECT_EQ(t.CbToGreen[0], -45056);
    EXPECT_EQ(t.CrToGreen[255], 92837);
    EXPECT_EQ(t.CbToBlue[0], -232320);
    EXPECT_EQ(t.CbToBlue[255], 230505);
}

TEST(ColorTables, InitReturnsTheSameTablesEveryTime)
{
    InitColorTables();
    const ColorTables* first = &GetColorTables();
    InitColorTables();
    EXPECT_EQ(first, &GetColorTables());
}

// ---- Arithmetic ----

TEST(ColorConvert, EdgeValues)
{
    struct Case {
        uint8_t y, u, v;
        Rgb want;
    };
    const Case cases[] = {
        {0, 128, 128, {1, 1, 1}},          // black is level 1, never 0
        {255, 128, 128, {255, 255, 255}},  // white
        {128, 128, 255, {255, 37, 128}},   // red saturates; green 128 - 91
        {128, 0, 128, {128, 172, 1}},      // blue 128 - 227 clamps to 1; green 128 + 44
        {0, 0, 0, {1, 135, 1}},            // both chroma at the low end
        {255, 255, 255, {255, 120, 255}},  // both at the high end: green 255 - 135
        {1, 128, 128, {1, 1, 1}},
        {254, 128, 128, {254, 254, 254}},
    };
    for (const Case& c : cases) {
        const Picture p = Flat(2, 2, c.y, c.u, c.v);
        const std::vector<uint8_t> out = Convert(ConvertToRgb24Plain, p, 12);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Bgr24At(out, 2, i % 2, i / 2), c.want)
                << "Y=" << int(c.y) << " U=" << int(c.u) << " V=" << int(c.v);
        }
    }
}

TEST(ColorConvert, PlainMatchesRuleForEveryLumaAndChroma)
{
    for (int pass = 0; pass < 64; ++pass) {
        Picture p = ExhaustivePicture(pass);
        const std::vector<uint8_t> out = Convert(ConvertToRgb24Plain, p, Pixels(p) * 3);
        int bad = 0;
        for (int y = 0; y < p.height && bad < 5; ++y) {
            for (int x = 0; x < p.width && bad < 5; ++x) {
                if (!(Bgr24At(out, p.width, x, y) == p.Expected(x, y))) {
                    ++bad;
                    ADD_FAILURE() << "pass " << pass << " pixel " << x << "," << y;
                }
            }
        }
        ASSERT_EQ(bad, 0);
    }
}

// Non-square pictures catch mixed-up plane offsets and strides that a square one hides.
TEST(ColorConvert, ChromaPlanesOfNonSquarePictures)
{
    const int sizes[][2] = {{640, 224}, {320, 136}, {18, 6}, {2, 8}};
    uint32_t seed = 1;
    for (const auto& s : sizes) {
        Picture p = RandomPicture(s[0], s[1], seed++);
        const std::vector<uint8_t> out = Convert(ConvertToRgb24Plain, p, Pixels(p) * 3);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                ASSERT_EQ(Bgr24At(out, p.width, x, y), p.Expected(x, y))
                    << s[0] << "x" << s[1] << " pixel " << x << "," << y;
    }
}

TEST(ColorConvert, OneChromaPairPerTwoByTwoGroup)
{
    // 4 x 4 picture, luma 128 everywhere; only chroma sample (1, 0) is extreme.
    Picture p = Flat(4, 4, 128, 128, 128);
    p.V(1, 0) = 255;
    const std::vector<uint8_t> out = Convert(ConvertToRgb24Plain, p, 48);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool in_group = x >= 2 && y < 2;
            EXPECT_EQ(Bgr24At(out, 4, x, y), (in_group ? Rgb{255, 37, 128} : Rgb{128, 128, 128}))
                << x << "," << y;
        }
    }
}

// ---- Pixel layouts ----

TEST(ColorConvert, SixteenBitWhiteAndBlack)
{
    const Picture white = Flat(2, 2, 255, 128, 128);
    const Picture black = Flat(2, 2, 0, 128, 128);
    EXPECT_EQ(WordAt(Convert(ConvertToRgb555, white, 8), 2, 0, 0), 0x7FFF);
    EXPECT_EQ(WordAt(Convert(ConvertToRgb565, white, 8), 2, 1, 1), 0xFFFF);
    EXPECT_EQ(WordAt(Convert(ConvertToBgr565, white, 8), 2, 0, 1), 0xFFFF);
    for (ForwardFn fn : {ConvertToRgb555, ConvertToRgb565, ConvertToBgr565})
        EXPECT_EQ(Convert(fn, black, 8), std::vector<uint8_t>(8, 0));
}

TEST(ColorConvert, SixteenBitBitPositions)
{
    // Y=128 U=128 V=255 gives red 255, green 37, blue 128 (00100101 and 10000000 in binary).
    const Picture p = Flat(2, 2, 128, 128, 255);
    const std::vector<uint8_t> rgb555 = Convert(ConvertToRgb555, p, 8);
    EXPECT_EQ(rgb555[0], 0x90);  // little-endian word 0x7C90: 11111 00100 10000
    EXPECT_EQ(rgb555[1], 0x7C);
    EXPECT_EQ(WordAt(Convert(ConvertToRgb565, p, 8), 2, 1, 0), 0xF930);  // 11111 001001 10000
    EXPECT_EQ(WordAt(Convert(ConvertToBgr565, p, 8), 2, 1, 0), 0x813F);  // 10000 001001 11111
}

TEST(ColorConvert, SixteenBitFormatsCarryTheTopBitsOfEachChannel)
{
    Picture p = RandomPicture(64, 32, 7);
    const size_t n = Pixels(p);
    const std::vector<uint8_t> rgb24 = Convert(ConvertToRgb24Plain, p, n * 3);
    const std::vector<uint8_t> w555 = Convert(ConvertToRgb555, p, n * 2);
    const std::vector<uint8_t> w565 = Convert(ConvertToRgb565, p, n * 2);
    const std::vector<uint8_t> b565 = Convert(ConvertToBgr565, p, n * 2);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const Rgb c = Bgr24At(rgb24, p.width, x, y);
            const uint16_t a = WordAt(w555, p.width, x, y);
            EXPECT_EQ(a >> 15, 0);
            EXPECT_EQ((a >> 10) & 31, c.r >> 3);
            EXPECT_EQ((a >> 5) & 31, c.g >> 3);
            EXPECT_EQ(a & 31, c.b >> 3);
            const uint16_t b = WordAt(w565, p.width, x, y);
            EXPECT_EQ(b >> 11, c.r >> 3);
            EXPECT_EQ((b >> 5) & 63, c.g >> 2);
            EXPECT_EQ(b & 31, c.b >> 3);
            const uint16_t d = WordAt(b565, p.width, x, y);
            EXPECT_EQ(d >> 11, c.b >> 3);
            EXPECT_EQ((d >> 5) & 63, c.g >> 2);
            EXPECT_EQ(d & 31, c.r >> 3);
        }
    }
}

TEST(ColorConvert, Rgb32IsBlueGreenRedZero)
{
    const std::vector<uint8_t> black = Convert(ConvertToRgb32Plain, Flat(2, 2, 0, 128, 128), 16);
    EXPECT_EQ(black[0] | (black[1] << 8) | (black[2] << 16) | (uint32_t(black[3]) << 24),
              0x00010101u);
    const std::vector<uint8_t> px = Convert(ConvertToRgb32, Flat(2, 2, 128, 0, 128), 16, 0xEE);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(px[4 * i + 0], 1);    // blue
        EXPECT_EQ(px[4 * i + 1], 172);  // green
        EXPECT_EQ(px[4 * i + 2], 128);  // red
        EXPECT_EQ(px[4 * i + 3], 0);    // written as 0, not left alone
    }
}

// ---- Line order ----

// A picture whose luma encodes its line number, so each output line can be traced back.
Picture LineNumbered(int w, int h)
{
    Picture p = Flat(w, h, 0, 128, 128);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.Y(x, y) = static_cast<uint8_t>(10 + y);
    return p;
}

TEST(ColorConvert, TopDownFormatsKeepLineOrder)
{
    const Picture p = LineNumbered(8, 6);
    const std::vector<uint8_t> rgb24 = Convert(ConvertToRgb24, p, 8 * 6 * 3);
    const std::vector<uint8_t> rgb32 = Convert(ConvertToRgb32, p, 8 * 6 * 4);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(Bgr24At(rgb24, 8, 7, y).g, 10 + y);
        EXPECT_EQ(rgb32[(y * 8 + 7) * 4 + 1], 10 + y);
    }
}

TEST(ColorConvert, Dib24IsBottomUp)
{
    Picture p = RandomPicture(640, 224, 11);
    const size_t n = Pixels(p);
    const std::vector<uint8_t> top_down = Convert(ConvertToRgb24Plain, p, n * 3);
    const std::vector<uint8_t> dib = Convert(ConvertToDib24, p, n * 3);
    const size_t line = 640 * 3;
    // The picture's top line sits at byte offset 223 x 1920.
    EXPECT_EQ(0, std::memcmp(dib.data() + 223 * line, top_down.data(), line));
    for (int k = 0; k < 224; ++k)
        ASSERT_EQ(0, std::memcmp(dib.data() + (223 - k) * line, top_down.data() + k * line, line))
            << "picture line " << k;
}

TEST(ColorConvert, DoubleHeightWritesEveryOtherLineBottomUp)
{
    for (ForwardFn fn : {ConvertToDib24DoubleHeight, ConvertToDib24DoubleHeightPlain}) {
        Picture p = RandomPicture(320, 136, 12);
        const size_t line = 320 * 3;
        const std::vector<uint8_t> top_down = Convert(ConvertToRgb24Plain, p, Pixels(p) * 3);
        const std::vector<uint8_t> out = Convert(fn, p, 2 * Pixels(p) * 3, 0xA5);
        for (int m = 0; m < 2 * 136; ++m) {
            const uint8_t* got = out.data() + m * line;
            if (m % 2 == 0) {
                const int k = 135 - m / 2;
                ASSERT_EQ(0, std::memcmp(got, top_down.data() + k * line, line)) << "memory line " << m;
            } else {
                for (size_t i = 0; i < line; ++i)
                    ASSERT_EQ(got[i], 0xA5) << "memory line " << m << " was written";
            }
        }
    }
}

// ---- Refused sizes ----

TEST(ColorConvert, RefusesOddOrEmptySizesWithoutWriting)
{
    const Picture p = Flat(4, 4, 100, 100, 100);
    const ForwardFn all[] = {ConvertToRgb555,       ConvertToRgb565,      ConvertToBgr565,
                             ConvertToRgb32,        ConvertToRgb24,       ConvertToDib24,
                             ConvertToDib24DoubleHeight, ConvertToRgb32Plain, ConvertToDib24Plain,
                             ConvertToRgb32Sse2,    ConvertToDib24Sse2};
    const int bad_sizes[][2] = {{3, 4}, {4, 3}, {0, 4}, {4, 0}, {-2, 4}};
    for (ForwardFn fn : all) {
        ExactBuffer out(4 * 4 * 4 * 2, 0x5A);
        for (const auto& s : bad_sizes)
            EXPECT_FALSE(fn(out.data.get(), p.bytes.data(), s[0], s[1]));
        EXPECT_FALSE(fn(nullptr, p.bytes.data(), 4, 4));
        EXPECT_FALSE(fn(out.data.get(), nullptr, 4, 4));
        EXPECT_EQ(out.ToVector(), std::vector<uint8_t>(out.size, 0x5A));
    }
}

// ---- Read-back ----

std::vector<uint8_t> ReadBack(ReadBackFn fn, const std::vector<uint8_t>& src, int w, int h)
{
    ExactBuffer in(src);
    ExactBuffer out(static_cast<size_t>(w) * h * 3, 0x77);
    EXPECT_TRUE(fn(out.data.get(), in.data.get(), w, h));
    return out.ToVector();
}

TEST(ReadBack, Bgr565TopBitsAreBlue)
{
    const std::vector<uint8_t> out = ReadBack(ReadBackBgr565ToDib24, {0x00, 0xF8}, 1, 1);
    EXPECT_EQ(out, (std::vector<uint8_t>{248, 0, 0}));
}

TEST(ReadBack, SixteenBitWordsWidenWithLowBitsZero)
{
    // One line holding every 16-bit word.
    std::vector<uint8_t> words(65536 * 2);
    for (int w = 0; w < 65536; ++w) {
        words[2 * w] = static_cast<uint8_t>(w);
        words[2 * w + 1] = static_cast<uint8_t>(w >> 8);
    }
    const std::vector<uint8_t> a = ReadBack(ReadBackRgb555ToDib24, words, 65536, 1);
    const std::vector<uint8_t> b = ReadBack(ReadBackRgb565ToDib24, words, 65536, 1);
    const std::vector<uint8_t> c = ReadBack(ReadBackBgr565ToDib24, words, 65536, 1);
    for (int w = 0; w < 65536; ++w) {
        const uint8_t* pa = &a[3 * w];
        ASSERT_EQ(pa[0] & 7, 0);
        ASSERT_EQ(pa[1] & 7, 0);
        ASSERT_EQ(pa[2] & 7, 0);
        ASSERT_EQ((pa[2] >> 3) << 10 | (pa[1] >> 3) << 5 | (pa[0] >> 3), w & 0x7FFF) << w;
        const uint8_t* pb = &b[3 * w];
        ASSERT_EQ(pb[0] & 7, 0);
        ASSERT_EQ(pb[1] & 3, 0);
        ASSERT_EQ(pb[2] & 7, 0);
        ASSERT_EQ((pb[2] >> 3) << 11 | (pb[1] >> 2) << 5 | (pb[0] >> 3), w) << w;
        const uint8_t* pc = &c[3 * w];
        ASSERT_EQ((pc[0] >> 3) << 11 | (pc[1] >> 2) << 5 | (pc[2] >> 3), w) << w;
        ASSERT_EQ(pc[0] & 7, 0);
        ASSERT_EQ(pc[1] & 3, 0);
        ASSERT_EQ(pc[2] & 7, 0);
    }
}

// Converting to a surface format and reading it back gives the bottom-up 24-bit picture,
// less the bits the surface format drops.
TEST(ReadBack, RoundTripThroughEachSurfaceFormat)
{
    struct Case {
        const char* name;
        ForwardFn forward;
        ReadBackFn back;
        size_t bytes;
        uint8_t mask_b, mask_g, mask_r;
    };
    const Case cases[] = {
        {"rgb555", ConvertToRgb555, ReadBackRgb555ToDib24, 2, 0xF8, 0xF8, 0xF8},
        {"rgb565", ConvertToRgb565, ReadBackRgb565ToDib24, 2, 0xF8, 0xFC, 0xF8},
        {"bgr565", ConvertToBgr565, ReadBackBgr565ToDib24, 2, 0xF8, 0xFC, 0xF8},
        {"rgb24", ConvertToRgb24, ReadBackRgb24ToDib24, 3, 0xFF, 0xFF, 0xFF},
        {"rgb32", ConvertToRgb32, ReadBackRgb32ToDib24, 4, 0xFF, 0xFF, 0xFF},
    };
    for (const auto& size : {std::pair{640, 272}, std::pair{320, 112}, std::pair{18, 6}}) {
        Picture p = RandomPicture(size.first, size.second, 21);
        const size_t n = Pixels(p);
        const std::vector<uint8_t> dib = Convert(ConvertToDib24Plain, p, n * 3);
        for (const Case& c : cases) {
            const std::vector<uint8_t> surface = Convert(c.forward, p, n * c.bytes);
            const std::vector<uint8_t> back = ReadBack(c.back, surface, p.width, p.height);
            ASSERT_EQ(back.size(), dib.size());
            for (size_t i = 0; i < n; ++i) {
                ASSERT_EQ(back[3 * i], dib[3 * i] & c.mask_b) << c.name << " pixel " << i;
                ASSERT_EQ(back[3 * i + 1], dib[3 * i + 1] & c.mask_g) << c.name << " pixel " << i;
                ASSERT_EQ(back[3 * i + 2], dib[3 * i + 2] & c.mask_r) << c.name << " pixel " << i;
            }
        }
    }
}

TEST(ReadBack, OddSizesAndLineOrder)
{
    // 3 x 2 RGB32 source; byte 3 of each pixel must be dropped.
    const std::vector<uint8_t> src = {
        1, 2, 3, 99,    4, 5, 6, 99,    7, 8, 9, 99,     // top line
        10, 11, 12, 99, 13, 14, 15, 99, 16, 17, 18, 99,  // bottom line
    };
    EXPECT_EQ(ReadBack(ReadBackRgb32ToDib24, src, 3, 2),
              (std::vector<uint8_t>{10, 11, 12, 13, 14, 15, 16, 17, 18, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    std::vector<uint8_t> rgb24(5 * 3 * 3);
    for (size_t i = 0; i < rgb24.size(); ++i)
        rgb24[i] = static_cast<uint8_t>(i);
    const std::vector<uint8_t> back = ReadBack(ReadBackRgb24ToDib24, rgb24, 5, 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(0, std::memcmp(back.data() + (2 - k) * 15, rgb24.data() + k * 15, 15));
}

TEST(ReadBack, RefusesEmptySizes)
{
    uint8_t buf[12] = {};
    for (ReadBackFn fn : {ReadBackRgb555ToDib24, ReadBackRgb565ToDib24, ReadBackBgr565ToDib24,
                          ReadBackRgb24ToDib24, ReadBackRgb32ToDib24}) {
        EXPECT_FALSE(fn(buf, buf, 0, 1));
        EXPECT_FALSE(fn(buf, buf, 1, -1));
        EXPECT_FALSE(fn(nullptr, buf, 1, 1));
    }
}

// ---- SSE2 against plain ----

struct SimdPair {
    const char* name;
    ForwardFn plain;
    ForwardFn simd;
    size_t out_bytes_per_pixel;  // output bytes per picture pixel
};

const SimdPair kSimdPairs[] = {
    {"rgb32", ConvertToRgb32Plain, ConvertToRgb32Sse2, 4},
    {"rgb24", ConvertToRgb24Plain, ConvertToRgb24Sse2, 3},
    {"dib24", ConvertToDib24Plain, ConvertToDib24Sse2, 3},
    {"dib24x2", ConvertToDib24DoubleHeightPlain, ConvertToDib24DoubleHeightSse2, 6},
};

// Single-threaded suite: ColorConvertSse2 (an exhaustive comparison, spared ThreadSanitizer)
TEST(ColorConvertSse2, Available)
{
#if defined(__SSE2__)
    EXPECT_TRUE(HaveSse2Converters());
#else
    GTEST_SKIP() << "built without SSE2; the SSE2 entry points run the plain code";
#endif
}

TEST(ColorConvertSse2, IdenticalToPlainForEveryLumaAndChroma)
{
    for (int pass = 0; pass < 64; ++pass) {
        const Picture p = ExhaustivePicture(pass);
        for (const SimdPair& f : kSimdPairs) {
            const size_t size = Pixels(p) * f.out_bytes_per_pixel;
            ASSERT_EQ(Convert(f.simd, p, size, 0x33), Convert(f.plain, p, size, 0x33))
                << f.name << " pass " << pass;
        }
    }
}

TEST(ColorConvertSse2, IdenticalToPlainOnRandomPictures)
{
    // The picture sizes in use, plus widths that leave 2..14 columns after the 16-pixel steps
    // and widths below one step.
    const int sizes[][2] = {{640, 224}, {640, 272}, {320, 112}, {320, 136}, {16, 2}, {18, 2},
                            {2, 2},     {30, 4},    {34, 6},    {46, 2},    {62, 8}, {48, 10}};
    uint32_t seed = 100;
    for (const auto& s : sizes) {
        const Picture p = RandomPicture(s[0], s[1], seed++);
        for (const SimdPair& f : kSimdPairs) {
            const size_t size = Pixels(p) * f.out_bytes_per_pixel;
            ASSERT_EQ(Convert(f.simd, p, size, 0xC3), Convert(f.plain, p, size, 0xC3))
                << f.name << " " << s[0] << "x" << s[1];
        }
    }
}

TEST(ColorConvertSse2, PublicConvertersGiveThePlainResult)
{
    const Picture p = RandomPicture(640, 272, 5);
    const size_t n = Pixels(p);
    EXPECT_EQ(Convert(ConvertToRgb32, p, n * 4), Convert(ConvertToRgb32Plain, p, n * 4));
    EXPECT_EQ(Convert(ConvertToRgb24, p, n * 3), Convert(ConvertToRgb24Plain, p, n * 3));
    EXPECT_EQ(Convert(ConvertToDib24, p, n * 3), Convert(ConvertToDib24Plain, p, n * 3));
    EXPECT_EQ(Convert(ConvertToDib24DoubleHeight, p, n * 6),
              Convert(ConvertToDib24DoubleHeightPlain, p, n * 6));
}

// ---- Threads ----

TEST(ColorConvert, TwoThreadsConvertAtOnce)
{
    const Picture a = RandomPicture(640, 224, 31);
    const Picture b = RandomPicture(640, 272, 32);
    const std::vector<uint8_t> want_a = Convert(ConvertToDib24Plain, a, Pixels(a) * 3);
    const std::vector<uint8_t> want_b = Convert(ConvertToRgb555, b, Pixels(b) * 2);
    std::vector<uint8_t> got_a(want_a.size()), got_b(want_b.size());
    bool ok_a = true, ok_b = true;
    std::thread ta([&] {
        for (int i = 0; i < 20; ++i)
            ok_a = ok_a && ConvertToDib24(got_a.data(), a.bytes.data(), 640, 224) && got_a == want_a;
    });
    std::thread tb([&] {
        for (int i = 0; i < 20; ++i)
            ok_b = ok_b && ConvertToRgb555(got_b.data(), b.bytes.data(), 640, 272) && got_b == want_b;
    });
    ta.join();
    tb.join();
    EXPECT_TRUE(ok_a);
    EXPECT_TRUE(ok_b);
}

// ---- Formats by name ----

TEST(ConvertPictureForFormat, NamesMapToTheirConverters)
{
    const Picture p = RandomPicture(320, 112, 41);
    const size_t n = Pixels(p);
    struct Case {
        const char* name;
        ForwardFn fn;
        size_t size;
    };
    const Case cases[] = {
        {"rgb555", ConvertToRgb555, n * 2}, {"rgb565", ConvertToRgb565, n * 2},
        {"bgr565", ConvertToBgr565, n * 2}, {"rgb24", ConvertToRgb24Plain, n * 3},
        {"rgb32", ConvertToRgb32Plain, n * 4}, {"dib24", ConvertToDib24Plain, n * 3},
        {"dib24x2", ConvertToDib24DoubleHeightPlain, n * 6},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(3, 0xFF);  // stale contents must not survive
        ASSERT_TRUE(ConvertPictureForFormat(c.name, p.bytes.data(), 320, 112, out)) << c.name;
        EXPECT_EQ(out, Convert(c.fn, p, c.size, 0)) << c.name;
    }
    // The YUV format is the picture itself.
    std::vector<uint8_t> yuv;
    ASSERT_TRUE(ConvertPictureForFormat("yuv", p.bytes.data(), 320, 112, yuv));
    EXPECT_EQ(yuv, p.bytes);
}

TEST(ConvertPictureForFormat, DoubleHeightOddLinesAreZero)
{
    const Picture p = Flat(16, 4, 255, 128, 128);
    std::vector<uint8_t> out;
    ASSERT_TRUE(ConvertPictureForFormat("dib24x2", p.bytes.data(), 16, 4, out));
    ASSERT_EQ(out.size(), 16u * 8 * 3);
    for (int m = 0; m < 8; ++m)
        for (int i = 0; i < 48; ++i)
            ASSERT_EQ(out[m * 48 + i], m % 2 == 0 ? 255 : 0) << "memory line " << m;
}

TEST(ConvertPictureForFormat, UnknownNameOrBadSize)
{
    const Picture p = Flat(4, 4, 0, 0, 0);
    std::vector<uint8_t> out;
    EXPECT_FALSE(ConvertPictureForFormat("bgr24", p.bytes.data(), 4, 4, out));
    EXPECT_FALSE(ConvertPictureForFormat("", p.bytes.data(), 4, 4, out));
    EXPECT_FALSE(ConvertPictureForFormat("RGB24", p.bytes.data(), 4, 4, out));
    EXPECT_FALSE(ConvertPictureForFormat("rgb24", p.bytes.data(), 3, 4, out));
}

}  // namespace
}  // namespace tamlorex
