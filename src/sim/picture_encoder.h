#pragma once
// Test-data encoder: writes the recorder's compressed picture records (intra 8x8 DCT blocks in
// 16x16 macroblocks of 4:2:0 video, one slice per macroblock row) from YUV pictures or from
// chosen quantised coefficient blocks, in every picture-header layout.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/model_type.h"

namespace tamlorex::sim {

// Picture-header layouts by model type: A (0), B (1, 3, 4, 6), C (2), D (5).
HeaderLayout LayoutOfModel(int modelType);
// Offset of the first slice start code in a record of that layout.
std::size_t SliceDataOffset(HeaderLayout layout);

inline constexpr int kPictureWidth = 640;
inline constexpr int kShortHeight = 224;  // 14 slices
inline constexpr int kTallHeight = 272;   // 17 slices
inline constexpr int kMaxQuantiserScale = 14;  // 15 makes a record unreadable, 0 undecodable

// Planar YUV 4:2:0, no padding: Y (width x height), then U and V (width/2 x height/2 each).
struct YuvImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> data;

    YuvImage() = default;
    YuvImage(int w, int h, std::uint8_t y = 0, std::uint8_t u = 128, std::uint8_t v = 128);
    std::uint8_t* Y() { return data.data(); }
    std::uint8_t* U() { return data.data() + static_cast<std::size_t>(width) * height; }
    std::uint8_t* V() { return U() + static_cast<std::size_t>(width / 2) * (height / 2); }
    const std::uint8_t* Y() const { return data.data(); }
    const std::uint8_t* U() const { return data.data() + static_cast<std::size_t>(width) * height; }
    const std::uint8_t* V() const { return U() + static_cast<std::size_t>(width / 2) * (height / 2); }
    static std::size_t Bytes(int w, int h) { return static_cast<std::size_t>(w) * h * 3 / 2; }
};

// Builds a dual picture: the left half shows `left`, the right half `right` (each width/2 wide).
YuvImage ComposeDual(const YuvImage& left, const YuvImage& right);

// Fields of the picture header. Which of them a record carries depends on the layout.
struct PictureHeader {
    int modelType = 4;
    int channel = 0;          // 0..15 (layout A holds 0..3, layout C none)
    int quantiserScale = 4;   // 1..14
    bool full = true;         // full picture (every block coded) or update picture
    std::uint16_t extra = 0;  // layout C: bytes 5..6, big-endian
    // Layout D: dual picture of `channel` (left half) and `dualRight` (right half).
    bool dual = false;
    int dualRight = 0;
    bool leftHidden = false;
    bool rightHidden = false;
};

// One block as coded: the DC byte (coefficient 0 = dc x 8) and signed levels in raster order
// (index 8 x row + column; index 0 is unused). Magnitudes 1..255 can be coded.
struct BlockLevels {
    std::uint8_t dc = 128;
    std::array<std::int16_t, 64> level{};
};

// Blocks 0..3 are the luma quarters (top-left, top-right, bottom-left, bottom-right), 4 is U, 5 is V.
struct MacroblockLevels {
    bool coded = true;           // update pictures: false skips the macroblock
    std::uint8_t pattern = 0xF;  // update pictures: bit j codes luma block j
    std::array<BlockLevels, 6> block{};
};

// Quantised content of a whole picture, macroblocks row by row.
struct PictureLevels {
    int width = kPictureWidth;
    int height = kShortHeight;
    std::vector<MacroblockLevels> mb;

    PictureLevels() = default;
    PictureLevels(int w, int h);
    int Columns() const { return width / 16; }
    int Rows() const { return height / 16; }
    MacroblockLevels& At(int row, int column) { return mb[static_cast<std::size_t>(row) * Columns() + column]; }
    const MacroblockLevels& At(int row, int column) const { return mb[static_cast<std::size_t>(row) * Columns() + column]; }
};

struct EncodeOptions {
    bool escapeEverything = false;  // code every coefficient with the escape instead of the table
    int maxAdjustments = 100000;    // give up (return an empty record) after this many changes
};

struct EncodeResult {
    std::vector<std::uint8_t> record;       // empty when the picture could not be encoded
    std::vector<std::uint32_t> sliceOffsets;  // offsets of the slice start codes in the record
    int adjustments = 0;                    // blocks changed to keep start codes out of the data
    int codedMacroblocks = 0;
};

// Writes a record from chosen levels. The levels are adjusted in place when a block has to be
// changed to keep a false start code out of the record; the result says how many times.
// A full picture codes every macroblock and block whatever `coded` and `pattern` say.
EncodeResult EncodeLevels(const PictureHeader& header, PictureLevels& levels, const EncodeOptions& options = {});

// Quantises one 8x8 block of samples: DC byte = rounded mean, AC levels by the weight matrix.
BlockLevels QuantiseBlock(const std::uint8_t* samples, int stride, int quantiserScale);

// Quantises a whole picture (width 640, height 224 or 272). With `reference`, only macroblocks
// whose samples differ from it by more than `threshold` anywhere are marked coded, and within
// them only the changed luma blocks; chroma blocks of a coded macroblock are always coded.
PictureLevels QuantisePicture(const YuvImage& picture, int quantiserScale, const YuvImage* reference = nullptr,
                              int threshold = 0);

// Quantises and encodes: a full picture when header.full, otherwise an update picture against
// `reference` (which must then be given).
EncodeResult EncodePicture(const PictureHeader& header, const YuvImage& picture, const YuvImage* reference = nullptr,
                           int threshold = 0, const EncodeOptions& options = {});

// Offsets at which the byte sequence 00 00 01 occurs in `record` (from offset 0 on).
std::vector<std::size_t> FindStartCodePrefixes(const std::uint8_t* record, std::size_t length);

// True when the record has 00 00 01 only at offset 0 (followed by F8 or F9) and at `sliceOffsets`
// (each followed by a byte outside F8..FD).
bool StartCodesOnlyWhereExpected(const std::vector<std::uint8_t>& record, const std::vector<std::uint32_t>& sliceOffsets);

// Tables of the coefficient coding, shared with tests.
extern const std::array<std::uint8_t, 64> kZigZag;          // scan position -> raster index
extern const std::array<std::uint8_t, 64> kIntraWeights;    // raster order

struct RunLevelCode {
    std::uint8_t run;
    std::uint8_t level;
    std::uint8_t length;  // bits, without the sign bit
    std::uint16_t bits;   // right-aligned code
};
// Every run/level pair that has its own code (the rest use the escape).
const std::vector<RunLevelCode>& RunLevelCodes();

}  // namespace tamlorex::sim
