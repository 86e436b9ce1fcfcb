// Accelerated-path transform in SSE2: each row pass is four pmaddwd pairs on
// one row, the column pass works on all eight columns at once in saturating
// 16-bit lanes, and the store packs with unsigned saturation.
#if defined(__SSE2__)

#include <emmintrin.h>

#include "codec/idct.h"

namespace tamlorex {

namespace {

// Multiplier pairs for pmaddwd, per constant set: (x0,x2), (x4,x6),
// (x1,x3), (x5,x7), each giving the four sums a0..a3 or b0..b3.
struct alignas(16) RowConstants {
    int16_t k02[8], k46[8], k13[8], k57[8];
};

constexpr RowConstants MakeRowConstants(const int16_t* s) {
    const int16_t c4 = s[0], c2 = s[1], c6 = s[2], c1 = s[3], c3 = s[4], c5 = s[5], c7 = s[6];
    return RowConstants{
        {c4, c2, c4, c6, c4, int16_t(-c6), c4, int16_t(-c2)},
        {c4, c6, int16_t(-c4), int16_t(-c2), int16_t(-c4), c2, c4, int16_t(-c6)},
        {c1, c3, c3, int16_t(-c7), c5, int16_t(-c1), c7, int16_t(-c5)},
        {c5, c7, int16_t(-c1), int16_t(-c5), c7, c3, c3, int16_t(-c1)},
    };
}

constexpr RowConstants kRowConstants[4] = {
    MakeRowConstants(accel::kRowSets[0]), MakeRowConstants(accel::kRowSets[1]),
    MakeRowConstants(accel::kRowSets[2]), MakeRowConstants(accel::kRowSets[3])};

inline __m128i Load(const int16_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }

inline __m128i RowPass(__m128i x, int index) {
    const RowConstants& k = kRowConstants[accel::kRowSetOfRow[index]];
    // Words as x0 x2 x1 x3 x4 x6 x5 x7, i.e. dwords (x0,x2) (x1,x3) (x4,x6) (x5,x7).
    __m128i y = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
    __m128i v02 = _mm_shuffle_epi32(y, 0x00);
    __m128i v13 = _mm_shuffle_epi32(y, 0x55);
    __m128i v46 = _mm_shuffle_epi32(y, 0xAA);
    __m128i v57 = _mm_shuffle_epi32(y, 0xFF);
    __m128i a = _mm_add_epi32(_mm_madd_epi16(v02, Load(k.k02)), _mm_madd_epi16(v46, Load(k.k46)));
    __m128i b = _mm_add_epi32(_mm_madd_epi16(v13, Load(k.k13)), _mm_madd_epi16(v57, Load(k.k57)));
    a = _mm_add_epi32(a, _mm_set1_epi32(accel::kRowRounding[index]));
    __m128i lo = _mm_srai_epi32(_mm_add_epi32(a, b), accel::kRowShift);
    __m128i hi = _mm_srai_epi32(_mm_sub_epi32(a, b), accel::kRowShift);
    hi = _mm_shuffle_epi32(hi, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_packs_epi32(lo, hi);
}

// Rows in, the eight output rows of the column pass out (same registers).
inline void ColumnPass(__m128i* x) {
    using namespace accel;
    const __m128i t1c = _mm_set1_epi16(kT1), t2c = _mm_set1_epi16(kT2);
    const __m128i t3c = _mm_set1_epi16(kT3), cc = _mm_set1_epi16(kC);

    __m128i tm35 = _mm_subs_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x[3], t3c), x[3]), x[5]);
    __m128i tp35 = _mm_adds_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x[5], t3c), x[3]), x[5]);
    __m128i tp17 = _mm_adds_epi16(_mm_mulhi_epi16(x[7], t1c), x[1]);
    __m128i tm17 = _mm_subs_epi16(_mm_mulhi_epi16(x[1], t1c), x[7]);
    __m128i b0 = _mm_adds_epi16(tp17, tp35);
    __m128i b3 = _mm_subs_epi16(tm17, tm35);
    __m128i t1 = _mm_subs_epi16(tp17, tp35);
    __m128i t2 = _mm_adds_epi16(tm17, tm35);
    __m128i h1 = _mm_mulhi_epi16(_mm_adds_epi16(t1, t2), cc);
    __m128i h2 = _mm_mulhi_epi16(_mm_subs_epi16(t1, t2), cc);
    __m128i b1 = _mm_adds_epi16(h1, h1);
    __m128i b2 = _mm_adds_epi16(h2, h2);

    __m128i tm26 = _mm_subs_epi16(_mm_mulhi_epi16(x[2], t2c), x[6]);
    __m128i tp26 = _mm_adds_epi16(_mm_mulhi_epi16(x[6], t2c), x[2]);
    __m128i tp04 = _mm_adds_epi16(x[0], x[4]);
    __m128i tm04 = _mm_subs_epi16(x[0], x[4]);
    __m128i a0 = _mm_adds_epi16(tp04, tp26);
    __m128i a3 = _mm_subs_epi16(tp04, tp26);
    __m128i a1 = _mm_adds_epi16(tm04, tm26);
    __m128i a2 = _mm_subs_epi16(tm04, tm26);

    x[0] = _mm_srai_epi16(_mm_adds_epi16(a0, b0), kColumnShift);
    x[1] = _mm_srai_epi16(_mm_adds_epi16(a1, b1), kColumnShift);
    x[2] = _mm_srai_epi16(_mm_adds_epi16(a2, b2), kColumnShift);
    x[3] = _mm_srai_epi16(_mm_adds_epi16(a3, b3), kColumnShift);
    x[4] = _mm_srai_epi16(_mm_subs_epi16(a3, b3), kColumnShift);
    x[5] = _mm_srai_epi16(_mm_subs_epi16(a2, b2), kColumnShift);
    x[6] = _mm_srai_epi16(_mm_subs_epi16(a1, b1), kColumnShift);
    x[7] = _mm_srai_epi16(_mm_subs_epi16(a0, b0), kColumnShift);
}

// Row bit r set when row r of `acMask` (raster positions, DC excluded) has a position set.
inline unsigned RowsOfMask(uint64_t acMask) {
    const __m128i bytes = _mm_cvtsi64_si128(int64_t(acMask));
    return ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128()))) & 0xFFu;
}

// Positions 1..63 of the block holding a non-zero coefficient.
inline uint64_t NonZeroMask(const int16_t* block) {
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int r = 0; r < 8; r += 2) {
        const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r)), zero);
        const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r + 8)), zero);
        zeros |= uint64_t(unsigned(_mm_movemask_epi8(_mm_packs_epi16(a, b)))) << (8 * r);
    }
    return ~zeros & ~uint64_t(1);
}

// Row passes of the rows in `rows` (bit r for row r; the others must be zero), then the
// column pass.
inline void Transform(const int16_t* block, unsigned rows, __m128i* x) {
    for (int r = 0; r < 8; ++r) {
        // Most rows of a coded block are zero, and a zero row's pass leaves only its rounding term.
        if ((rows >> r) & 1)
            x[r] = RowPass(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r)), r);
        else
            x[r] = _mm_set1_epi16(int16_t(accel::kRowRounding[r] >> accel::kRowShift));
    }
    ColumnPass(x);
}

// Positions of the first column, DC excluded.
constexpr uint64_t kFirstColumn = 0x0101010101010100ull;

// Row and column pass of a block whose non-zero coefficients all lie in the first column.
// Row r then has only x0, so its pass gives one value in every lane, saturate((C4(r) * x0 +
// rounding(r)) >> 11), exactly as the pmaddwd pass computes it; the eight values are formed
// in one register and spread to the rows, and the column pass gives uniform rows.
inline void TransformFirstColumn(const int16_t* block, __m128i* x) {
    using namespace accel;
    __m128i column = _mm_cvtsi32_si128(uint16_t(block[0]));
    column = _mm_insert_epi16(column, block[8], 1);
    column = _mm_insert_epi16(column, block[16], 2);
    column = _mm_insert_epi16(column, block[24], 3);
    column = _mm_insert_epi16(column, block[32], 4);
    column = _mm_insert_epi16(column, block[40], 5);
    column = _mm_insert_epi16(column, block[48], 6);
    column = _mm_insert_epi16(column, block[56], 7);
    const __m128i c4 = _mm_setr_epi16(kRowSets[kRowSetOfRow[0]][0], kRowSets[kRowSetOfRow[1]][0],
                                      kRowSets[kRowSetOfRow[2]][0], kRowSets[kRowSetOfRow[3]][0],
                                      kRowSets[kRowSetOfRow[4]][0], kRowSets[kRowSetOfRow[5]][0],
                                      kRowSets[kRowSetOfRow[6]][0], kRowSets[kRowSetOfRow[7]][0]);
    const __m128i low = _mm_mullo_epi16(column, c4);
    const __m128i high = _mm_mulhi_epi16(column, c4);
    __m128i top = _mm_unpacklo_epi16(low, high);  // rows 0..3, 32-bit products
    __m128i bottom = _mm_unpackhi_epi16(low, high);
    top = _mm_add_epi32(top, _mm_setr_epi32(kRowRounding[0], kRowRounding[1], kRowRounding[2], kRowRounding[3]));
    bottom = _mm_add_epi32(bottom, _mm_setr_epi32(kRowRounding[4], kRowRounding[5], kRowRounding[6], kRowRounding[7]));
    const __m128i rows = _mm_packs_epi32(_mm_srai_epi32(top, kRowShift), _mm_srai_epi32(bottom, kRowShift));
    const __m128i pairs0 = _mm_unpacklo_epi16(rows, rows);
    const __m128i pairs1 = _mm_unpackhi_epi16(rows, rows);
    x[0] = _mm_shuffle_epi32(pairs0, 0x00);
    x[1] = _mm_shuffle_epi32(pairs0, 0x55);
    x[2] = _mm_shuffle_epi32(pairs0, 0xAA);
    x[3] = _mm_shuffle_epi32(pairs0, 0xFF);
    x[4] = _mm_shuffle_epi32(pairs1, 0x00);
    x[5] = _mm_shuffle_epi32(pairs1, 0x55);
    x[6] = _mm_shuffle_epi32(pairs1, 0xAA);
    x[7] = _mm_shuffle_epi32(pairs1, 0xFF);
    ColumnPass(x);
}

inline void StoreRows(const __m128i* x, uint8_t* dest, ptrdiff_t stride) {
    for (int r = 0; r < 8; r += 2, dest += 2 * stride) {
        const __m128i pair = _mm_packus_epi16(x[r], x[r + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), pair);
        _mm_storeh_pi(reinterpret_cast<__m64*>(dest + stride), _mm_castsi128_ps(pair));
    }
}

}  // namespace

void IdctAccelSse2(int16_t* block) {
    __m128i x[8];
    Transform(block, RowsOfMask(NonZeroMask(block)) | 1u, x);
    for (int r = 0; r < 8; ++r) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * r), x[r]);
}

// Transform and store with unsigned saturation straight from the registers.
void WriteBlockAccelSse2Masked(int16_t* block, uint8_t* dest, ptrdiff_t stride, uint64_t acMask) {
    // A block coded by its DC byte alone (coefficient 0 = 8 x byte, the rest zero) transforms to
    // that byte in every sample; flat parts of a picture are mostly such blocks.
    if (acMask == 0 && (block[0] & 7) == 0 && block[0] >= 0 && block[0] <= 8 * 255) {
        const __m128i flat = _mm_set1_epi8(char(block[0] >> 3));
        for (int r = 0; r < 8; ++r, dest += stride) _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), flat);
        return;
    }
    __m128i x[8];
    // Next most common: vertical detail alone, all coefficients in the first column.
    if ((acMask & ~kFirstColumn) == 0)
        TransformFirstColumn(block, x);
    else
        Transform(block, RowsOfMask(acMask) | 1u, x);
    StoreRows(x, dest, stride);
}

void WriteBlockAccelSse2(int16_t* block, uint8_t* dest, ptrdiff_t stride) {
    WriteBlockAccelSse2Masked(block, dest, stride, NonZeroMask(block));
}

}  // namespace tamlorex

#endif  // __SSE2__
