// Slice and block decoding of one picture: macroblock syntax, run/level
// codes with escapes, dequantisation and the hand-off to the block writer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/idct.h"

namespace tamlorex {

// Why decoding of a picture stopped early (kNone: it ran to the end).
enum class DecodeStop {
    kNone,
    kBadSliceStart,  // slice does not begin with 0x000001
    kBadRow,         // macroblock row not below height/16
    kInvalidCode,    // twelve or more leading zeros where a code belongs
    kScanOverrun,    // run past scan position 63
};

struct SliceContext {
    const uint8_t* record;
    size_t length;
    uint8_t* picture;  // at least width * height * 3/2 bytes
    uint32_t width;
    uint32_t height;
    bool fullPicture;
    const uint32_t* multipliers;  // 64 dequantisation multipliers, raster order
    MaskedBlockWriter writeBlock;
    int16_t* block;  // 64 coefficients of scratch space, 16-byte aligned
};

// Decodes the slice whose start code is at `offset`. Blocks of macroblocks
// outside the row are read but not written.
DecodeStop DecodeSlice(const SliceContext& context, size_t offset);

}  // namespace tamlorex
