// Chen-Wang integer inverse DCT: 11 multiplications and 29 additions per
// 8-point pass, with an all-zero shortcut per row and column.
//
// The format's arithmetic is signed 32-bit with two's complement wrap on
// damaged blocks; sums are formed in 64 bits and wrapped to 32 bits before
// every shift, which gives the same results without signed overflow.
#include "codec/idct.h"

namespace tamlorex {

const std::array<int16_t, kClipSize> kClipTable = [] {
    std::array<int16_t, kClipSize> table{};
    for (int i = 0; i < kClipSize; ++i) {
        int v = i - kClipOffset;
        table[i] = int16_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return table;
}();

namespace {

constexpr int64_t W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

// Wraps to signed 32 bits (two's complement).
inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// Keeps the low 16 bits.
inline int16_t Wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

void RowPass(int16_t* row) {
    int64_t x0 = row[0], x1 = row[1], x2 = row[2], x3 = row[3];
    int64_t x4 = row[4], x5 = row[5], x6 = row[6], x7 = row[7];
    if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
        int16_t dc = Wrap16(int32_t(x0 * 8));
        for (int i = 0; i < 8; ++i) row[i] = dc;
        return;
    }
    x0 = x0 * 2048 + 128;
    x4 = x4 * 2048;

    int64_t p = W7 * (x1 + x7);
    int64_t s1 = p + (W1 - W7) * x1;
    int64_t s7 = p - (W1 + W7) * x7;
    p = W3 * (x5 + x3);
    int64_t s5 = p - (W3 - W5) * x5;
    int64_t s3 = p - (W3 + W5) * x3;

    int64_t e0 = x0 + x4, e1 = x0 - x4;
    p = W6 * (x2 + x6);
    int64_t e6 = p - (W2 + W6) * x6;
    int64_t e2 = p + (W2 - W6) * x2;
    int64_t o0 = s1 + s5, o1 = s1 - s5, o2 = s7 + s3, o3 = s7 - s3;

    int64_t f0 = e0 + e2, f3 = e0 - e2, f1 = e1 + e6, f2 = e1 - e6;
    int64_t g1 = Wrap32(181 * (o1 + o3) + 128) >> 8;
    int64_t g2 = Wrap32(181 * (o1 - o3) + 128) >> 8;

    row[0] = Wrap16(Wrap32(f0 + o0) >> 8);
    row[1] = Wrap16(Wrap32(f1 + g1) >> 8);
    row[2] = Wrap16(Wrap32(f2 + g2) >> 8);
    row[3] = Wrap16(Wrap32(f3 + o2) >> 8);
    row[4] = Wrap16(Wrap32(f3 - o2) >> 8);
    row[5] = Wrap16(Wrap32(f2 - g2) >> 8);
    row[6] = Wrap16(Wrap32(f1 - g1) >> 8);
    row[7] = Wrap16(Wrap32(f0 - o0) >> 8);
}

void ColumnPass(int16_t* col) {
    int64_t x0 = col[0], x1 = col[8], x2 = col[16], x3 = col[24];
    int64_t x4 = col[32], x5 = col[40], x6 = col[48], x7 = col[56];
    if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
        int16_t v = Clip(int32_t((x0 + 32) >> 6));
        for (int i = 0; i < 8; ++i) col[8 * i] = v;
        return;
    }
    x0 = x0 * 256 + 8192;
    x4 = x4 * 256;

    int64_t p = W7 * (x1 + x7) + 4;
    int64_t s1 = Wrap32(p + (W1 - W7) * x1) >> 3;
    int64_t s7 = Wrap32(p - (W1 + W7) * x7) >> 3;
    p = W3 * (x5 + x3) + 4;
    int64_t s5 = Wrap32(p - (W3 - W5) * x5) >> 3;
    int64_t s3 = Wrap32(p - (W3 + W5) * x3) >> 3;

    int64_t e0 = x0 + x4, e1 = x0 - x4;
    p = W6 * (x2 + x6) + 4;
    int64_t e6 = Wrap32(p - (W2 + W6) * x6) >> 3;
    int64_t e2 = Wrap32(p + (W2 - W6) * x2) >> 3;
    int64_t o0 = s1 + s5, o1 = s1 - s5, o2 = s7 + s3, o3 = s7 - s3;

    int64_t f0 = e0 + e2, f3 = e0 - e2, f1 = e1 + e6, f2 = e1 - e6;
    int64_t g1 = Wrap32(181 * (o1 + o3) + 128) >> 8;
    int64_t g2 = Wrap32(181 * (o1 - o3) + 128) >> 8;

    col[0] = Clip(Wrap32(f0 + o0) >> 14);
    col[8] = Clip(Wrap32(f1 + g1) >> 14);
    col[16] = Clip(Wrap32(f2 + g2) >> 14);
    col[24] = Clip(Wrap32(f3 + o2) >> 14);
    col[32] = Clip(Wrap32(f3 - o2) >> 14);
    col[40] = Clip(Wrap32(f2 - g2) >> 14);
    col[48] = Clip(Wrap32(f1 - g1) >> 14);
    col[56] = Clip(Wrap32(f0 - o0) >> 14);
}

}  // namespace

void IdctPlain(int16_t* block) {
    for (int r = 0; r < 8; ++r) RowPass(block + 8 * r);
    for (int c = 0; c < 8; ++c) ColumnPass(block + c);
}

}  // namespace tamlorex
