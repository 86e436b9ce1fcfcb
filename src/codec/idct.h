// Inverse 8x8 transforms and the block-decoding paths built on them.
//
// The plain path is the Chen-Wang integer transform. The accelerated paths
// share one 16-bit fixed-point transform of the AP-922 kind: an SSE2 version
// and a scalar version with exactly the same arithmetic (saturating 16-bit
// column pass, mulhi, unsigned-saturating store). Blocks are 64 coefficients
// in raster order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tamlorex {

// In place; results are samples 0..255 (read through the clip table).
void IdctPlain(int16_t* block);
// In place; results are the 16-bit column outputs before the unsigned
// saturation of the store.
void IdctAccelScalar(int16_t* block);
#if defined(__SSE2__)
void IdctAccelSse2(int16_t* block);
#endif

// Transforms `block` and writes its 8x8 samples at `dest`, rows `stride`
// bytes apart. The block's contents are undefined afterwards.
using BlockWriter = void (*)(int16_t* block, uint8_t* dest, ptrdiff_t stride);

// A BlockWriter told which coefficients the block may hold: bit i of `acMask`
// (1..63, raster order) is set for every non-zero coefficient i > 0; bits of
// zero coefficients may be set too. Writes exactly what the path's BlockWriter
// writes for the same block.
using MaskedBlockWriter = void (*)(int16_t* block, uint8_t* dest, ptrdiff_t stride, uint64_t acMask);

enum class DecodePath { kPlain, kAccelScalar, kAccelSse2 };

// Forces a path for tests and the command line; kAuto follows the processor.
enum class DecodePathOverride { kAuto, kPlain, kAccel, kAccelScalar };

// Picks the path: the override if set; else SSE2 when the processor has SSE2
// and CMOV, the scalar accelerated transform on other processors with SSE
// and CMOV or MMX and on machines other than x86, else the plain path.
DecodePath SelectDecodePath(DecodePathOverride override);
BlockWriter GetBlockWriter(DecodePath path);
MaskedBlockWriter GetMaskedBlockWriter(DecodePath path);
const char* DecodePathName(DecodePath path);

// Writes 8x8 values with unsigned saturation to 0..255.
void StoreBlockSaturated(const int16_t* block, uint8_t* dest, ptrdiff_t stride);

// Clip table of the plain path: entry i + kClipOffset for i in -512..511.
inline constexpr int kClipOffset = 512;
inline constexpr int kClipSize = 1024;
extern const std::array<int16_t, kClipSize> kClipTable;

// Clip table lookup; indices outside -512..511 clamp to the ends.
inline int16_t Clip(int32_t index) {
    if (index < -kClipOffset) index = -kClipOffset;
    if (index > kClipSize - kClipOffset - 1) index = kClipSize - kClipOffset - 1;
    return kClipTable[index + kClipOffset];
}

// Constants of the accelerated transform.
namespace accel {
// Row constant sets (C4, C2, C6, C1, C3, C5, C7) by row.
inline constexpr int16_t kRowSets[4][7] = {
    {16384, 21407, 8867, 22725, 19266, 12873, 4520},
    {22725, 29692, 12299, 31521, 26722, 17855, 6270},
    {21407, 27969, 11585, 29692, 25172, 16819, 5906},
    {19266, 25172, 10426, 26722, 22654, 15137, 5315},
};
inline constexpr int kRowSetOfRow[8] = {0, 1, 2, 3, 0, 3, 2, 1};
inline constexpr int32_t kRowRounding[8] = {65536, 3597, 2260, 1203, 0, 120, 512, 512};
inline constexpr int kRowShift = 11;
inline constexpr int kColumnShift = 6;
inline constexpr int16_t kT1 = 13036;   // tan(pi/16) * 65536
inline constexpr int16_t kT2 = 27146;   // tan(2pi/16) * 65536
inline constexpr int16_t kT3 = -21746;  // (tan(3pi/16) - 1) * 65536
inline constexpr int16_t kC = 23170;    // cos(pi/4) * 32768
}  // namespace accel

}  // namespace tamlorex
