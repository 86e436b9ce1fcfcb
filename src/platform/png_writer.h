#pragma once
// Writes 24-bit RGB pictures as PNG files (stored deflate blocks: no compression library needed).
#include <cstdint>
#include <string>

namespace tamlorex {

// rgb: height lines of width * 3 bytes, red first, top line first.
bool WritePng(const std::string& path, const std::uint8_t* rgb, int width, int height);

}  // namespace tamlorex
