// Accelerated-path transform in portable C++, bit-exact with the SSE2
// version: the row pass in 32-bit multiply-adds with a saturating pack to
// 16 bits, the column pass in saturating 16-bit arithmetic with mulhi.
#include <algorithm>

#include "codec/idct.h"

namespace tamlorex {

namespace {

inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

inline int16_t Sat16(int32_t v) { return int16_t(std::clamp<int32_t>(v, -32768, 32767)); }
inline int16_t Add(int16_t a, int16_t b) { return Sat16(int32_t(a) + b); }
inline int16_t Sub(int16_t a, int16_t b) { return Sat16(int32_t(a) - b); }
inline int16_t MulHi(int16_t a, int16_t b) { return int16_t((int32_t(a) * b) >> 16); }

void RowPass(int16_t* row, int index) {
    const int16_t* k = accel::kRowSets[accel::kRowSetOfRow[index]];
    const int64_t c4 = k[0], c2 = k[1], c6 = k[2], c1 = k[3], c3 = k[4], c5 = k[5], c7 = k[6];
    const int64_t x0 = row[0], x1 = row[1], x2 = row[2], x3 = row[3];
    const int64_t x4 = row[4], x5 = row[5], x6 = row[6], x7 = row[7];
    const int64_t r = accel::kRowRounding[index];

    int64_t a[4] = {c4 * x0 + c2 * x2 + c4 * x4 + c6 * x6, c4 * x0 + c6 * x2 - c4 * x4 - c2 * x6,
                    c4 * x0 - c6 * x2 - c4 * x4 + c2 * x6, c4 * x0 - c2 * x2 + c4 * x4 - c6 * x6};
    int64_t b[4] = {c1 * x1 + c3 * x3 + c5 * x5 + c7 * x7, c3 * x1 - c7 * x3 - c1 * x5 - c5 * x7,
                    c5 * x1 - c1 * x3 + c7 * x5 + c3 * x7, c7 * x1 - c5 * x3 + c3 * x5 - c1 * x7};
    for (int i = 0; i < 4; ++i) {
        row[i] = Sat16(Wrap32(a[i] + r + b[i]) >> accel::kRowShift);
        row[7 - i] = Sat16(Wrap32(a[i] + r - b[i]) >> accel::kRowShift);
    }
}

void ColumnPass(int16_t* col) {
    using namespace accel;
    const int16_t x0 = col[0], x1 = col[8], x2 = col[16], x3 = col[24];
    const int16_t x4 = col[32], x5 = col[40], x6 = col[48], x7 = col[56];

    int16_t tm35 = Sub(Add(MulHi(x3, kT3), x3), x5);
    int16_t tp35 = Add(Add(MulHi(x5, kT3), x3), x5);
    int16_t tp17 = Add(MulHi(x7, kT1), x1);
    int16_t tm17 = Sub(MulHi(x1, kT1), x7);
    int16_t b0 = Add(tp17, tp35);
    int16_t b3 = Sub(tm17, tm35);
    int16_t t1 = Sub(tp17, tp35);
    int16_t t2 = Add(tm17, tm35);
    int16_t h1 = MulHi(Add(t1, t2), kC);
    int16_t h2 = MulHi(Sub(t1, t2), kC);
    int16_t b1 = Add(h1, h1);
    int16_t b2 = Add(h2, h2);

    int16_t tm26 = Sub(MulHi(x2, kT2), x6);
    int16_t tp26 = Add(MulHi(x6, kT2), x2);
    int16_t tp04 = Add(x0, x4);
    int16_t tm04 = Sub(x0, x4);
    int16_t a0 = Add(tp04, tp26);
    int16_t a3 = Sub(tp04, tp26);
    int16_t a1 = Add(tm04, tm26);
    int16_t a2 = Sub(tm04, tm26);

    col[0] = int16_t(Add(a0, b0) >> kColumnShift);
    col[8] = int16_t(Add(a1, b1) >> kColumnShift);
    col[16] = int16_t(Add(a2, b2) >> kColumnShift);
    col[24] = int16_t(Add(a3, b3) >> kColumnShift);
    col[32] = int16_t(Sub(a3, b3) >> kColumnShift);
    col[40] = int16_t(Sub(a2, b2) >> kColumnShift);
    col[48] = int16_t(Sub(a1, b1) >> kColumnShift);
    col[56] = int16_t(Sub(a0, b0) >> kColumnShift);
}

}  // namespace

void IdctAccelScalar(int16_t* block) {
    for (int r = 0; r < 8; ++r) RowPass(block + 8 * r, r);
    for (int c = 0; c < 8; ++c) ColumnPass(block + c);
}

void StoreBlockSaturated(const int16_t* block, uint8_t* dest, ptrdiff_t stride) {
    for (int r = 0; r < 8; ++r, dest += stride)
        for (int c = 0; c < 8; ++c) dest[c] = uint8_t(std::clamp<int16_t>(block[8 * r + c], 0, 255));
}

}  // namespace tamlorex
