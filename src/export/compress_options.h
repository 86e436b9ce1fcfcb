#pragma once
// The video compressor shared by the export writers, and the list of compressors an AVI file can
// hold. A compressor is one of the linked FFmpeg's video encoders; "DIB " stands for uncompressed
// 24-bit BI_RGB pictures stored bottom-up, as they are handed to the writers.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tamlorex {

// The handler of uncompressed pictures.
inline constexpr char kUncompressedHandler[] = "DIB ";
// Quality is 0..10000 as the compressor dialogs show it; -1 is the compressor's default.
inline constexpr int kDefaultQuality = -1;
inline constexpr int kMaxQuality = 10000;

// One process-wide record: every AviChannelWriter resets it, ChooseCompressor overwrites it.
struct CompressOptions {
    std::string type;     // "vids"
    std::string handler;  // kUncompressedHandler, an encoder name ("mjpeg"), or empty when cleared
    std::uint32_t keyFrameEvery = 0;
    int quality = 0;
    std::uint32_t bytesPerSecond = 0;  // data rate; 0 lets the compressor choose
};

// stream type "vids", handler "DIB ", a key frame every frame, the compressor's default quality.
CompressOptions DefaultCompressOptions();

CompressOptions GetCompressOptions();
void SetCompressOptions(const CompressOptions& options);
// Back to DefaultCompressOptions(), as constructing an AviChannelWriter does.
void ResetCompressOptions();

struct Compressor {
    std::string handler;      // what CompressOptions::handler holds for it
    std::string fourcc;       // the code the AVI stream header carries ("" for BI_RGB)
    std::string description;  // the encoder's long name
};

// "DIB " first, then the linked encoders that an AVI file can hold, by handler. Hardware and
// experimental encoders are left out.
const std::vector<Compressor>& ListCompressors();

// The description of the compressor CompressOptions names, or "" when none matches (the options
// were cleared, or name an encoder this build lacks).
std::string DescribeCompressor();

// The compressor choice: the owner (a dialog) gets the list and the cleared options to fill in,
// and returns false when the user cancels. On false the options stay cleared.
using CompressorChoice = std::function<bool(const std::vector<Compressor>& list, CompressOptions& options)>;
bool ChooseCompressor(const CompressorChoice& choose);

}  // namespace tamlorex
