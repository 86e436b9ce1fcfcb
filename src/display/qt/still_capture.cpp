#include "display/qt/still_capture.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_paths.h"

namespace tamlorex::display {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint16_t kBmpType = 0x4D42;  // "BM"

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at)
{
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
           static_cast<std::uint32_t>(in[at + 2]) << 16 | static_cast<std::uint32_t>(in[at + 3]) << 24;
}

}  // namespace

std::string StillCaptureName(const std::tm& local)
{
    char name[64];
    std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d.bmp", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

std::uint32_t BmpPixelOffset(std::uint32_t compression, int bitCount, std::uint32_t colorsUsed)
{
    const std::uint32_t table = colorsUsed != 0 ? 4 * colorsUsed : 4u << std::min(bitCount, 16);
    std::uint32_t header = kBmpInfoHeaderSize;
    if (compression == kBiRgb) {
        if (bitCount <= 8 || colorsUsed != 0) header = kBmpInfoHeaderSize + table;
    } else if (compression == kBiRle8 || compression == kBiRle4) {
        header = kBmpInfoHeaderSize + table;
    } else if (compression == kBiBitfields) {
        header = 52 + 4 * colorsUsed;
    }
    return static_cast<std::uint32_t>(kBmpFileHeaderSize) + header;
}

std::vector<std::uint8_t> ImageToDib(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width();
    const int height = rgb.height();
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    std::vector<std::uint8_t> dib(kBmpInfoHeaderSize + rowBytes * static_cast<std::size_t>(height));
    Put32(dib, 0, kBmpInfoHeaderSize);
    Put32(dib, 4, static_cast<std::uint32_t>(width));
    Put32(dib, 8, static_cast<std::uint32_t>(height));  // positive: bottom-up
    Put16(dib, 12, 1);
    Put16(dib, 14, 32);
    Put32(dib, 16, kBiRgb);
    Put32(dib, 20, static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(height)));
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(rgb.constScanLine(y));
        std::uint8_t* out = dib.data() + kBmpInfoHeaderSize + rowBytes * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = line[x];
            out[4 * x] = static_cast<std::uint8_t>(pixel);
            out[4 * x + 1] = static_cast<std::uint8_t>(pixel >> 8);
            out[4 * x + 2] = static_cast<std::uint8_t>(pixel >> 16);
            out[4 * x + 3] = 0;
        }
    }
    return dib;
}

bool WriteBmpFile(const std::string& path, const std::vector<std::uint8_t>& dib)
{
    if (dib.size() < kBmpInfoHeaderSize) return false;
    const std::uint32_t compression = Get32(dib, 16);
    const int bitCount = dib[14] | dib[15] << 8;
    const std::uint32_t colorsUsed = Get32(dib, 32);
    std::vector<std::uint8_t> header(kBmpFileHeaderSize, 0);
    Put16(header, 0, kBmpType);
    Put32(header, 2, static_cast<std::uint32_t>(dib.size() + kBmpFileHeaderSize));
    Put32(header, 10, BmpPixelOffset(compression, bitCount, colorsUsed));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    ok = ok && std::fwrite(dib.data(), 1, dib.size(), file) == dib.size();
    return std::fclose(file) == 0 && ok;
}

void CaptureToFile(QWidget& widget, std::string path)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const QImage image = widget.grab().toImage();
    if (!image.isNull()) {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(image);
        WriteBmpFile(path, ImageToDib(image));
    }
    QGuiApplication::restoreOverrideCursor();
}

std::string StillCapture(QWidget& widget, const std::string& folder)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (!folder.empty()) ::mkdir(folder.c_str(), 0777);  // only the last level; the result does not matter
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string path = FreeFilePath(JoinFolderPath(folder, StillCaptureName(local)));
    CaptureToFile(widget, path);
    QGuiApplication::restoreOverrideCursor();
    return PathExists(path) ? path : std::string();
}

}  // namespace tamlorex::display
