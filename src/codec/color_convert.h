// Colour conversion of decoded pictures (planar YUV 4:2:0, full-range luma) into the packed RGB
// formats of display surfaces and bitmaps, and read-back of such pictures into bottom-up 24-bit
// lines for AVI files.
//
// A YuvPicture of width x height is one unpadded buffer: Y at 0 (width x height), U at
// width*height and V at width*height*5/4 (each (width/2) x (height/2)). Every 2 x 2 group of luma
// samples shares one U/V pair; there is no chroma interpolation.
//
// Destinations hold lines of exactly width x bytes-per-pixel bytes with no padding. The forward
// converters need positive even width and height and return false (writing nothing) otherwise;
// the read-back converters accept any positive size.
//
// All converters share one set of read-only tables, built on first use in a thread-safe way, so
// any number of threads may convert at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tamlorex {

// The YUV-to-RGB lookup tables. Each output channel is
//   clamp[(Y * 1024 + chroma term) >> 10]
// with an arithmetic shift, i.e. Y plus the floor of the chroma term over 1024.
struct ColorTables {
    static constexpr int kClampLowest = -320;  // lowest index of the clamp table
    static constexpr int kClampHighest = 575;  // highest index of the clamp table
    static constexpr int kClampEntries = kClampHighest - kClampLowest + 1;

    // 1 for indices -320..0, the index for 1..255, 255 for 256..575: a channel is never 0.
    uint8_t clamp_storage[kClampEntries];
    int32_t CrToRed[256];    // (c - 128) * 1436   (1.402 x 1024)
    int32_t CbToGreen[256];  // (c - 128) * 352    (0.344 x 1024)
    int32_t CrToGreen[256];  // (c - 128) * 731    (0.714 x 1024)
    int32_t CbToBlue[256];   // (c - 128) * 1815   (1.772 x 1024)

    // Clamp table indexed -320..575.
    const uint8_t* clamp() const { return clamp_storage - kClampLowest; }
};

// Builds the tables if no thread has yet and returns them. Safe to call from several threads.
const ColorTables& GetColorTables();

// Makes sure the tables exist before the first picture; the decoder calls it on construction.
void InitColorTables();

// Bytes of one packed picture line and of a whole YUV picture.
constexpr size_t kRgb16BytesPerPixel = 2;
constexpr size_t kRgb24BytesPerPixel = 3;
constexpr size_t kRgb32BytesPerPixel = 4;
constexpr size_t YuvPictureBytes(int width, int height)
{
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2;
}

// ---- Forward converters: (destination, YuvPicture, width, height) ----

// 16-bit little-endian words, bit 15 zero, then 5 bits each of red, green, blue. Top-down.
bool ConvertToRgb555(uint8_t* dst, const uint8_t* yuv, int width, int height);
// 16-bit little-endian words: 5 bits red, 6 green, 5 blue (red mask 0xF800). Top-down.
bool ConvertToRgb565(uint8_t* dst, const uint8_t* yuv, int width, int height);
// 16-bit little-endian words: 5 bits blue, 6 green, 5 red (red mask 0x001F). Top-down.
bool ConvertToBgr565(uint8_t* dst, const uint8_t* yuv, int width, int height);
// Bytes blue, green, red, 0 (the word 0x00RRGGBB). Top-down.
bool ConvertToRgb32(uint8_t* dst, const uint8_t* yuv, int width, int height);
// Bytes blue, green, red. Top-down.
bool ConvertToRgb24(uint8_t* dst, const uint8_t* yuv, int width, int height);
// Bytes blue, green, red, bottom-up: picture line k goes to memory line height - 1 - k.
bool ConvertToDib24(uint8_t* dst, const uint8_t* yuv, int width, int height);
// Like ConvertToDib24 into an image of 2 x height lines: picture line k goes to memory line
// 2 x (height - 1 - k); the odd memory lines are left as they are.
bool ConvertToDib24DoubleHeight(uint8_t* dst, const uint8_t* yuv, int width, int height);

// The table-driven versions of the 24- and 32-bit converters. The converters above run the SSE2
// versions when the build targets SSE2 (always on x86-64) and these otherwise; both give
// identical bytes, which the tests check.
bool ConvertToRgb32Plain(uint8_t* dst, const uint8_t* yuv, int width, int height);
bool ConvertToRgb24Plain(uint8_t* dst, const uint8_t* yuv, int width, int height);
bool ConvertToDib24Plain(uint8_t* dst, const uint8_t* yuv, int width, int height);
bool ConvertToDib24DoubleHeightPlain(uint8_t* dst, const uint8_t* yuv, int width, int height);

// True when the SSE2 versions below are built into this program (x86-64 builds).
bool HaveSse2Converters();
// SSE2 versions; when HaveSse2Converters() is false they fall back to the plain ones.
bool ConvertToRgb32Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height);
bool ConvertToRgb24Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height);
bool ConvertToDib24Sse2(uint8_t* dst, const uint8_t* yuv, int width, int height);
bool ConvertToDib24DoubleHeightSse2(uint8_t* dst, const uint8_t* yuv, int width, int height);

// ---- Read-back converters: (destination, source, width, height) ----
// The source is a top-down picture of width-pixel lines; the destination receives bottom-up
// blue, green, red lines of 3 x width bytes (first source line to last destination line).
// Widened channels keep their low bits zero.

bool ReadBackRgb555ToDib24(uint8_t* dst, const uint8_t* src, int width, int height);
bool ReadBackRgb565ToDib24(uint8_t* dst, const uint8_t* src, int width, int height);
bool ReadBackBgr565ToDib24(uint8_t* dst, const uint8_t* src, int width, int height);
bool ReadBackRgb24ToDib24(uint8_t* dst, const uint8_t* src, int width, int height);
bool ReadBackRgb32ToDib24(uint8_t* dst, const uint8_t* src, int width, int height);

// ---- Output formats by name, for the command-line tool ----
// Names: yuv (the picture itself), rgb555, rgb565, bgr565, rgb24, rgb32, dib24, and dib24x2 (a
// zero-filled width x 2*height x 3 buffer after ConvertToDib24DoubleHeight). `out` is resized to
// the output's size. Returns false for an unknown name or a size the converters refuse.
bool ConvertPictureForFormat(const std::string& format, const uint8_t* yuv, int width, int height,
                             std::vector<uint8_t>& out);

}  // namespace tamlorex
