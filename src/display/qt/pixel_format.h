#pragma once
// The display's pixel format and the surface format types the renderer knows:
//   1 RGB555, 2 RGB565 (red mask 0xF800), 3 BGR565 (red mask 0x001F), 4 RGB24, 5 RGB32 (red mask
//   0xFF0000), each with its picture converter and its read-back converter.
#include <QImage>

#include <cstdint>
#include <string>

namespace tamlorex::display {

struct PixelFormatDesc {
    int bitsPerPixel = 32;
    std::uint32_t redMask = 0xFF0000;
    bool rgb = true;      // an RGB format
    bool palette = false;  // palette-indexed (1, 2, 4 or 8 bits, or indexed to 8)
};

enum SurfaceFormatType : int {
    kFormatUnknown = 0,
    kFormatRgb555 = 1,
    kFormatRgb565 = 2,
    kFormatBgr565 = 3,
    kFormatRgb24 = 4,
    kFormatRgb32 = 5,
};

inline constexpr char kErrorPalette[] = "Not support palette mode.";
inline constexpr char kErrorUnknownFormat[] = "Unknown pixel format";
// The same failure found while making an off-screen surface has its own text.
inline constexpr char kErrorUnknownSurfaceFormat[] = "Unkown pixel format.";

// The format type, or kFormatUnknown with the failure text in error.
SurfaceFormatType ClassifyPixelFormat(const PixelFormatDesc& format, std::string& error);

// The description of a screen of the given depth (what Qt tells us about a display).
PixelFormatDesc DescribeScreenDepth(int depth);
// The QImage format a surface of the type lives in (type 3 is kept as 16-bit words).
QImage::Format ImageFormatFor(SurfaceFormatType type);
int BytesPerPixel(SurfaceFormatType type);

// Converts a picture into a surface line by line of width x bytes per pixel.
bool ConvertInto(SurfaceFormatType type, std::uint8_t* dst, const std::uint8_t* yuv, int width, int height);
// Reads a top-down surface of the type back into bottom-up 24-bit lines.
bool ReadBack(SurfaceFormatType type, std::uint8_t* dst, const std::uint8_t* src, int width, int height);
// Surfaces in Qt's RGB32 format need 0xFF in every pixel's fourth byte.
void SetOpaque(QImage& image);

}  // namespace tamlorex::display
