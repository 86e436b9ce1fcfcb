#include "codec/slice_decoder.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/bit_reader.h"
#include "codec/vlc_tables.h"

namespace tamlorex {

namespace {

constexpr uint32_t kSliceStartCode = 0x000001;
constexpr int kSliceStartBits = 24;
constexpr int kRowBits = 5;
constexpr int kAddressIncrementBits = 6;
constexpr int kCodedBlockPatternBits = 4;
constexpr int kDcBits = 8;
constexpr int kDcScale = 8;
constexpr int kEscapeRunBits = 6;
constexpr int kEscapeLevelBits = 8;
constexpr int kMacroblockSize = 16;
constexpr int kBlocksPerMacroblock = 6;
constexpr int kLumaBlocks = 4;
constexpr uint32_t kMaxPositive = 2047;
constexpr uint32_t kMaxNegative = 2048;

// Zeroes the 64 coefficients of a 16-byte aligned block. Eight plain vector stores: the
// compiler's own expansion of memset here (a string store) costs far more per block.
inline void ClearBlock(int16_t* block) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < kBlockCoefficients; i += 8) _mm_store_si128(reinterpret_cast<__m128i*>(block + i), zero);
#else
    std::memset(block, 0, kBlockCoefficients * sizeof(int16_t));
#endif
}

// Decodes one block into `block`; bit i of `acMask` is set for each coefficient i > 0 written.
DecodeStop DecodeBlock(BitReader& reader, const uint32_t* multipliers, int16_t* block, uint64_t& acMask) {
    ClearBlock(block);
    block[0] = int16_t(reader.Take(kDcBits) * kDcScale);
    uint64_t written = 0;
    int position = 0;
    for (;;) {
        reader.Need(16);
        uint32_t run, magnitude;
        bool negative;
        uint8_t codeRun;
        const DctShortCode& shortCode = kDctShortCodes[reader.Peek(kDctShortBits)];
        if (shortCode.len != 0) {
            reader.Dump(shortCode.len);
            codeRun = shortCode.run;
            run = shortCode.run;
            magnitude = shortCode.level;
            negative = shortCode.negative != 0;
        } else {
            uint32_t peek = reader.Peek(16);
            if (peek < kDctMinPeek) return DecodeStop::kInvalidCode;
            const DctCode& code = LookupDctCode(peek);
            reader.Dump(code.len);
            codeRun = code.run;
            run = code.run;
            magnitude = code.level;
            negative = codeRun < kDctEndOfBlock && reader.Take(1) != 0;
        }
        if (codeRun == kDctEndOfBlock) {
            acMask = written;
            return DecodeStop::kNone;
        }

        if (codeRun == kDctEscape) {
            run = reader.Take(kEscapeRunBits);
            uint32_t level = reader.Take(kEscapeLevelBits);
            if (level == 0) {
                magnitude = reader.Take(kEscapeLevelBits);
                negative = false;
            } else if (level < 128) {
                magnitude = level;
                negative = false;
            } else if (level == 128) {
                magnitude = (256 - reader.Take(kEscapeLevelBits)) & 0xFF;
                negative = true;
            } else {
                magnitude = 256 - level;
                negative = true;
            }
        }

        position += 1 + int(run);
        if (position >= kBlockCoefficients) return DecodeStop::kScanOverrun;
        int index = kZigZag[position];
        written |= uint64_t(1) << index;
        uint32_t value = (magnitude * multipliers[index]) >> 2;
        block[index] = negative ? int16_t(-int32_t(std::min(value, kMaxNegative)))
                                : int16_t(std::min(value, kMaxPositive));
    }
}

}  // namespace

DecodeStop DecodeSlice(const SliceContext& context, size_t offset) {
    BitReader reader(context.record, context.length, offset);
    if (reader.Take(kSliceStartBits) != kSliceStartCode) return DecodeStop::kBadSliceStart;
    const uint32_t row = reader.Take(kRowBits);
    if (row >= context.height / kMacroblockSize) return DecodeStop::kBadRow;

    const uint32_t width = context.width;
    const uint32_t columns = width / kMacroblockSize;
    const size_t chromaStride = width / 2;
    uint8_t* const lumaRow = context.picture + size_t(row) * kMacroblockSize * width;
    const size_t chromaRowOffset = size_t(row) * 8 * chromaStride;
    uint8_t* const uRow = context.picture + size_t(width) * context.height + chromaRowOffset;
    uint8_t* const vRow = context.picture + size_t(width) * context.height * 5 / 4 + chromaRowOffset;

    uint32_t column = 0;
    for (;;) {
        uint32_t pattern = 0xF;
        if (!context.fullPicture) {
            uint32_t increment = reader.Take(kAddressIncrementBits);
            if (increment == 0) return DecodeStop::kNone;
            column += increment - 1;
            pattern = reader.Take(kCodedBlockPatternBits);
        }
        const bool inside = column < columns;
        for (int j = 0; j < kBlocksPerMacroblock; ++j) {
            if (j < kLumaBlocks && !((pattern >> j) & 1)) continue;
            uint64_t acMask;
            DecodeStop stop = DecodeBlock(reader, context.multipliers, context.block, acMask);
            if (stop != DecodeStop::kNone) return stop;
            if (!inside) continue;
            if (j < kLumaBlocks) {
                uint8_t* dest = lumaRow + size_t(j >> 1) * 8 * width + column * kMacroblockSize + (j & 1) * 8;
                context.writeBlock(context.block, dest, width, acMask);
            } else {
                uint8_t* dest = (j == 4 ? uRow : vRow) + column * 8;
                context.writeBlock(context.block, dest, ptrdiff_t(chromaStride), acMask);
            }
        }
        ++column;
        if (column >= columns) return DecodeStop::kNone;
    }
}

}  // namespace tamlorex
