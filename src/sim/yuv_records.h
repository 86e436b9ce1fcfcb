#pragma once
// Raw YUV 4:2:0 frame files in and record files out, for side-by-side timing against other
// decoders: scene frames written as planar yuv420p, and pictures encoded from such frames into
// a file of length-prefixed records (4-byte little-endian length, then the record).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/picture_encoder.h"

namespace tamlorex::sim {

inline constexpr std::size_t kRecordLengthBytes = 4;

// Appends `record` with its length prefix.
void AppendRecord(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> record);
// Splits a whole record file. False (with `error`) when a length prefix or a record is cut off.
bool SplitRecords(std::span<const std::uint8_t> file, std::vector<std::vector<std::uint8_t>>& records, std::string& error);

struct SceneFramesOptions {
    int width = kPictureWidth;
    int height = kShortHeight;  // 224 or 272
    int frames = 100;
    int channels = 4;           // consecutive frames show channels 0, 1, ... channels-1, 0, ...
    double framesPerSecond = 25;
};

// Writes `frames` scene pictures as planar yuv420p to `path` ("-" for standard output).
bool WriteSceneFrames(const std::string& path, const SceneFramesOptions& options, std::string& error);

struct YuvEncodeOptions {
    int width = kPictureWidth;
    int height = kShortHeight;  // 224 or 272
    int quantiserScale = 4;     // 1..kMaxQuantiserScale
    int modelType = 4;
    int channel = 0;
};

struct YuvEncodeSummary {
    int pictures = 0;
    std::uint64_t recordBytes = 0;  // records alone, without the length prefixes
    int adjustments = 0;            // blocks changed to keep start codes out of the records
};

// Encodes every frame of the yuv420p file `in` ("-" for standard input) as a full picture and
// writes the records to `out` ("-" for standard output). A partial last frame is an error.
bool EncodeYuvFile(const std::string& in, const std::string& out, const YuvEncodeOptions& options,
                   YuvEncodeSummary& summary, std::string& error);

}  // namespace tamlorex::sim
