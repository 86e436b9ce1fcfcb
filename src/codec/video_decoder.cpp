#include "codec/video_decoder.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/color_convert.h"

namespace tamlorex {

namespace {

constexpr uint8_t kTypeUpdatePicture = 0xF8;
constexpr uint8_t kTypeFullPicture = 0xF9;
constexpr uint32_t kRecordStartFirst = 0x000001F8;
constexpr uint32_t kRecordStartLast = 0x000001FD;
constexpr uint32_t kHeaderLength = 5;  // start code and parameter byte
constexpr uint32_t kRejectedQuantiserScale = 15;
constexpr uint32_t kSlicesSmall = 14;  // 640 x 224
constexpr uint32_t kSlicesLarge = 17;  // 640 x 272
constexpr uint32_t kSlicesSizeKept = 18;
constexpr uint32_t kMacroblockLines = 16;

struct PictureSize {
    uint32_t width, height;
};

PictureSize SizeForSliceCount(uint32_t count) {
    if (count <= 7) return {320, 112};
    if (count <= 9) return {320, 128};
    if (count <= 14) return {640, 224};
    return {640, 272};
}

// First offset p >= `from` with bytes 00 00 01 at p and a fourth byte after them (p + 3 <
// length); `length` if there is none. Sixteen offsets at a time where three loads of 16 bytes
// fit in the record; the last few offsets byte by byte. Nothing outside the record is read.
uint32_t NextStartCode(const uint8_t* record, uint32_t from, uint32_t length) {
    if (length < 4) return length;
    const uint32_t last = length - 4;
    uint32_t p = from;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    for (; p <= last && length - p >= 18; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record + p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record + p + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record + p + 2));
        const __m128i hits =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero)), _mm_cmpeq_epi8(c, one));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0) {
            const uint32_t q = p + uint32_t(__builtin_ctz(unsigned(mask)));
            return q <= last ? q : length;
        }
    }
#endif
    for (; p <= last; ++p)
        if (record[p] == 0 && record[p + 1] == 0 && record[p + 2] == 1) return p;
    return length;
}

}  // namespace

VideoDecoder::VideoDecoder() {
    Init(0);
    InitColorTables();
}

int VideoDecoder::Init(ModelType modelType) {
    modelType_ = modelType;
    quantiserScale_ = 0;
    width_ = 0;
    height_ = 0;
    extraValue_ = 0;
    path_ = SelectDecodePath(override_);
    writeBlock_ = GetMaskedBlockWriter(path_);
    return 1;
}

void VideoDecoder::SetDecodePathOverride(DecodePathOverride override) {
    override_ = override;
    path_ = SelectDecodePath(override_);
    writeBlock_ = GetMaskedBlockWriter(path_);
}

void VideoDecoder::ParseLayout(const uint8_t* record, uint32_t length) {
    const uint8_t type = record[3];
    const uint8_t b4 = record[4];
    const uint8_t b5 = record[5];  // length > 5 here
    switch (RulesFor(modelType_).layout) {
    case HeaderLayout::kA:
        fullPicture_ = b4 >> 7;
        quantiserScale_ = (b4 >> 3) & 0xF;
        channel_ = (b4 & 0x7) < 4 ? (b4 & 0x7) : 0;
        dualFlag_ = 0;
        break;
    case HeaderLayout::kB:
        fullPicture_ = type == kTypeFullPicture;
        quantiserScale_ = b4 >> 4;
        channel_ = b4 & 0xF;
        dualFlag_ = 0;
        break;
    case HeaderLayout::kC:  // a missing byte 6 reads as zero
        fullPicture_ = b4 >> 7;
        quantiserScale_ = (b4 >> 3) & 0xF;
        channel_ = 0;
        extraValue_ = uint16_t(b5 << 8 | (length > 6 ? record[6] : 0));
        dualFlag_ = 0;
        break;
    case HeaderLayout::kD:
        fullPicture_ = type == kTypeFullPicture;
        quantiserScale_ = b4 >> 4;
        channel_ = b4 & 0xF;
        dualFlag_ = b5 >> 7;
        dualRightChannel_ = (b5 >> 3) & 0xF;
        leftHidden_ = (b5 >> 2) & 1;
        rightHidden_ = (b5 >> 1) & 1;
        dualLeftChannel_ = channel_;
        break;
    case HeaderLayout::kNone:  // unknown model: nothing read
        break;
    }
}

uint32_t VideoDecoder::ParseHeader(const uint8_t* record, uint32_t length) {
    startCodeRegister_ = 0xFFFFFFFF;
    if (record == nullptr || length <= kHeaderLength) return 0;
    if (record[0] != 0 || record[1] != 0 || record[2] != 1 ||
        (record[3] != kTypeUpdatePicture && record[3] != kTypeFullPicture))
        return 0;
    ParseLayout(record, length);
    if (quantiserScale_ == kRejectedQuantiserScale) return 0;

    // Start codes 00 00 01 xx after the header: a record start type (F8..FD) ends the scan at
    // its type byte, any other type starts a slice. The register holds the last four bytes
    // scanned, bytes before the scan counting as FF.
    uint32_t count = 0;
    uint32_t stop = length;
    uint32_t reg = startCodeRegister_;
    bool stopped = false;
    for (uint32_t p = NextStartCode(record, kHeaderLength, length); p < length;
         p = NextStartCode(record, p + 3, length)) {
        const uint32_t code = 0x00000100u | record[p + 3];
        if (code >= kRecordStartFirst && code <= kRecordStartLast) {
            stop = p + 3;
            reg = code;
            stopped = true;
            break;
        }
        if (count < kSliceTableSize) sliceTable_[count] = p;
        ++count;
    }
    if (!stopped)
        for (uint32_t i = std::max(kHeaderLength, length - 4); i < length; ++i) reg = (reg << 8) | record[i];
    startCodeRegister_ = reg;
    sliceCount_ = count;
    if (count < kSlicesSizeKept) {
        PictureSize size = SizeForSliceCount(count);
        width_ = size.width;
        height_ = size.height;
    }
    return (count == kSlicesSmall || count == kSlicesLarge) ? stop : 0;
}

int VideoDecoder::Decode(const uint8_t* record, uint32_t length, YuvPicture picture) {
    wholePicture_ = false;
    if (record == nullptr || length < kHeaderLength || quantiserScale_ == 0 || width_ == 0 || height_ == 0)
        return 0;
    if (picture.data() == nullptr || picture.size() < YuvPictureSize(width_, height_)) return 0;

    if (multiplierScale_ != quantiserScale_) {
        for (int n = 0; n < kBlockCoefficients; ++n) multipliers_[n] = quantiserScale_ * kIntraWeights[n];
        multiplierScale_ = quantiserScale_;
    }

    SliceContext context{record,           length,  picture.data(),       width_, height_, fullPicture_ != 0,
                         multipliers_.data(), writeBlock_, block_};
    lastStop_ = DecodeStop::kNone;
    const uint32_t slices = std::min<uint32_t>(sliceCount_, kSliceTableSize);
    uint32_t rows = 0;  // bit r: macroblock row r decoded whole
    for (uint32_t i = 0; i < slices; ++i) {
        lastStop_ = DecodeSlice(context, sliceTable_[i]);
        if (lastStop_ != DecodeStop::kNone) break;
        // The row is the five bits after the slice start code (below height / 16, or the slice
        // would have stopped); a full picture's slice codes every macroblock of its row.
        rows |= 1u << (record[sliceTable_[i] + 3] >> 3);
    }
    const uint32_t allRows = (1u << (height_ / kMacroblockLines)) - 1;
    wholePicture_ = fullPicture_ != 0 && lastStop_ == DecodeStop::kNone && (rows & allRows) == allRows;
    return 1;
}

bool VideoDecoder::SplitDualPicture(ConstYuvPicture source, uint32_t width, uint32_t height, YuvPicture left,
                                    YuvPicture right) {
    if (width == 0 || height == 0 || width % 4 != 0 || height % 2 != 0) return false;
    const size_t half = width / 2;
    if (source.size() < YuvPictureSize(width, height) || left.size() < YuvPictureSize(half, height) ||
        right.size() < YuvPictureSize(half, height))
        return false;

    const uint8_t* src = source.data();
    uint8_t* l = left.data();
    uint8_t* r = right.data();
    for (uint32_t y = 0; y < height; ++y, src += width, l += half, r += half) {
        std::memcpy(l, src, half);
        std::memcpy(r, src + half, half);
    }
    const size_t quarter = width / 4;
    for (uint32_t y = 0; y < height; ++y, src += half, l += quarter, r += quarter) {  // U then V lines
        std::memcpy(l, src, quarter);
        std::memcpy(r, src + quarter, quarter);
    }
    return true;
}

}  // namespace tamlorex
