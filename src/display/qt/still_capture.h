#pragma once
// Still capture: the video window as shown goes to the clipboard and into a BMP file (a 14-byte
// file header, then the device-independent bitmap: 40-byte header and 32-bit rows bottom-up).
#include <QImage>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class QWidget;

namespace tamlorex::display {

inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::size_t kBmpInfoHeaderSize = 40;

// The file name of a capture taken at the local time: "%04d%02d%02d-%02d%02d%02d.bmp".
std::string StillCaptureName(const std::tm& local);

// Bytes before the pixel bits, from the bitmap header's compression, bit count and colours used.
std::uint32_t BmpPixelOffset(std::uint32_t compression, int bitCount, std::uint32_t colorsUsed);
// The device-independent bitmap of an image: a 40-byte header and 32-bit BI_RGB rows bottom-up.
std::vector<std::uint8_t> ImageToDib(const QImage& image);
// The file: the 14-byte header, then the bitmap. False when the file cannot be written.
bool WriteBmpFile(const std::string& path, const std::vector<std::uint8_t>& dib);

// Grabs the widget as it is shown, puts the picture on the clipboard and writes it to path.
// Nothing is reported: a failure just leaves no file.
void CaptureToFile(QWidget& widget, std::string path);

// The whole command: makes the last level of the folder, names the file from the local time,
// captures. Returns the path written to (empty when no file was written).
std::string StillCapture(QWidget& widget, const std::string& folder);

}  // namespace tamlorex::display
