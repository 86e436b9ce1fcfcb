#include "display/qt/pixel_format.h"

#include "codec/color_convert.h"

namespace tamlorex::display {

SurfaceFormatType ClassifyPixelFormat(const PixelFormatDesc& format, std::string& error)
{
    if (format.palette || !format.rgb) {
        error = kErrorPalette;
        return kFormatUnknown;
    }
    switch (format.bitsPerPixel) {
    case 15: return kFormatRgb555;
    case 16:
        if (format.redMask == 0xF800) return kFormatRgb565;
        if (format.redMask == 0x001F) return kFormatBgr565;
        break;
    case 24:
        if (format.redMask == 0xFF0000) return kFormatRgb24;
        break;
    case 32:
        if (format.redMask == 0xFF0000) return kFormatRgb32;
        break;
    default: break;
    }
    error = kErrorUnknownFormat;
    return kFormatUnknown;
}

PixelFormatDesc DescribeScreenDepth(int depth)
{
    PixelFormatDesc desc;
    desc.bitsPerPixel = depth;
    switch (depth) {
    case 15: desc.redMask = 0x7C00; break;
    case 16: desc.redMask = 0xF800; break;
    case 24:
    case 32: desc.redMask = 0xFF0000; break;
    default:
        desc.redMask = 0;
        desc.palette = depth <= 8;
        break;
    }
    return desc;
}

QImage::Format ImageFormatFor(SurfaceFormatType type)
{
    switch (type) {
    case kFormatRgb555: return QImage::Format_RGB555;
    case kFormatRgb565:
    case kFormatBgr565: return QImage::Format_RGB16;
    case kFormatRgb24: return QImage::Format_BGR888;
    case kFormatRgb32: return QImage::Format_RGB32;
    default: return QImage::Format_Invalid;
    }
}

int BytesPerPixel(SurfaceFormatType type)
{
    switch (type) {
    case kFormatRgb555:
    case kFormatRgb565:
    case kFormatBgr565: return 2;
    case kFormatRgb24: return 3;
    case kFormatRgb32: return 4;
    default: return 0;
    }
}

bool ConvertInto(SurfaceFormatType type, std::uint8_t* dst, const std::uint8_t* yuv, int width, int height)
{
    switch (type) {
    case kFormatRgb555: return ConvertToRgb555(dst, yuv, width, height);
    case kFormatRgb565: return ConvertToRgb565(dst, yuv, width, height);
    case kFormatBgr565: return ConvertToBgr565(dst, yuv, width, height);
    case kFormatRgb24: return ConvertToRgb24(dst, yuv, width, height);
    case kFormatRgb32: return ConvertToRgb32(dst, yuv, width, height);
    default: return false;
    }
}

bool ReadBack(SurfaceFormatType type, std::uint8_t* dst, const std::uint8_t* src, int width, int height)
{
    switch (type) {
    case kFormatRgb555: return ReadBackRgb555ToDib24(dst, src, width, height);
    case kFormatRgb565: return ReadBackRgb565ToDib24(dst, src, width, height);
    case kFormatBgr565: return ReadBackBgr565ToDib24(dst, src, width, height);
    case kFormatRgb24: return ReadBackRgb24ToDib24(dst, src, width, height);
    case kFormatRgb32: return ReadBackRgb32ToDib24(dst, src, width, height);
    default: return false;
    }
}

void SetOpaque(QImage& image)
{
    if (image.format() != QImage::Format_RGB32) return;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) line[x] |= 0xFF000000u;
    }
}

}  // namespace tamlorex::display
