#include "sim/picture_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sim/fdct.h"

namespace tamlorex::sim {

const std::array<std::uint8_t, 64> kZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

const std::array<std::uint8_t, 64> kIntraWeights = {
    8,  16, 19, 22, 26, 27, 29, 34,  //
    16, 16, 22, 24, 27, 29, 34, 37,  //
    19, 22, 26, 27, 29, 34, 34, 38,  //
    22, 22, 26, 27, 29, 34, 37, 40,  //
    22, 26, 27, 29, 32, 35, 40, 48,  //
    26, 27, 29, 32, 35, 40, 48, 58,  //
    26, 27, 29, 34, 38, 46, 56, 69,  //
    27, 29, 35, 38, 46, 56, 69, 83};

namespace {

constexpr std::uint32_t kEndOfBlock = 0x2;  // 10
constexpr int kEndOfBlockBits = 2;
constexpr std::uint32_t kEscape = 0x1;      // 000001
constexpr int kEscapeBits = 6;
constexpr int kMaxMagnitude = 255;

// Run/level codes without their sign bit, grouped by code length.
const RunLevelCode kCodes[] = {
    {0, 1, 2, 0x3},
    {1, 1, 3, 0x3},
    {0, 2, 4, 0x4}, {2, 1, 4, 0x5},
    {0, 3, 5, 0x5}, {4, 1, 5, 0x6}, {3, 1, 5, 0x7},
    {7, 1, 6, 0x4}, {6, 1, 6, 0x5}, {1, 2, 6, 0x6}, {5, 1, 6, 0x7},
    {2, 2, 7, 0x4}, {9, 1, 7, 0x5}, {0, 4, 7, 0x6}, {8, 1, 7, 0x7},
    {13, 1, 8, 0x20}, {0, 6, 8, 0x21}, {12, 1, 8, 0x22}, {11, 1, 8, 0x23},
    {3, 2, 8, 0x24}, {1, 3, 8, 0x25}, {0, 5, 8, 0x26}, {10, 1, 8, 0x27},
    {16, 1, 10, 0x8}, {5, 2, 10, 0x9}, {0, 7, 10, 0xA}, {2, 3, 10, 0xB},
    {1, 4, 10, 0xC}, {15, 1, 10, 0xD}, {14, 1, 10, 0xE}, {4, 2, 10, 0xF},
    {0, 11, 12, 0x10}, {8, 2, 12, 0x11}, {4, 3, 12, 0x12}, {0, 10, 12, 0x13},
    {2, 4, 12, 0x14}, {7, 2, 12, 0x15}, {21, 1, 12, 0x16}, {20, 1, 12, 0x17},
    {0, 9, 12, 0x18}, {19, 1, 12, 0x19}, {18, 1, 12, 0x1A}, {1, 5, 12, 0x1B},
    {3, 3, 12, 0x1C}, {0, 8, 12, 0x1D}, {6, 2, 12, 0x1E}, {17, 1, 12, 0x1F},
    {10, 2, 13, 0x10}, {9, 2, 13, 0x11}, {5, 3, 13, 0x12}, {3, 4, 13, 0x13},
    {2, 5, 13, 0x14}, {1, 7, 13, 0x15}, {1, 6, 13, 0x16}, {0, 15, 13, 0x17},
    {0, 14, 13, 0x18}, {0, 13, 13, 0x19}, {0, 12, 13, 0x1A}, {26, 1, 13, 0x1B},
    {25, 1, 13, 0x1C}, {24, 1, 13, 0x1D}, {23, 1, 13, 0x1E}, {22, 1, 13, 0x1F},
    {0, 31, 14, 0x10}, {0, 30, 14, 0x11}, {0, 29, 14, 0x12}, {0, 28, 14, 0x13},
    {0, 27, 14, 0x14}, {0, 26, 14, 0x15}, {0, 25, 14, 0x16}, {0, 24, 14, 0x17},
    {0, 23, 14, 0x18}, {0, 22, 14, 0x19}, {0, 21, 14, 0x1A}, {0, 20, 14, 0x1B},
    {0, 19, 14, 0x1C}, {0, 18, 14, 0x1D}, {0, 17, 14, 0x1E}, {0, 16, 14, 0x1F},
    {0, 40, 15, 0x10}, {0, 39, 15, 0x11}, {0, 38, 15, 0x12}, {0, 37, 15, 0x13},
    {0, 36, 15, 0x14}, {0, 35, 15, 0x15}, {0, 34, 15, 0x16}, {0, 33, 15, 0x17},
    {0, 32, 15, 0x18}, {1, 14, 15, 0x19}, {1, 13, 15, 0x1A}, {1, 12, 15, 0x1B},
    {1, 11, 15, 0x1C}, {1, 10, 15, 0x1D}, {1, 9, 15, 0x1E}, {1, 8, 15, 0x1F},
    {1, 18, 16, 0x10}, {1, 17, 16, 0x11}, {1, 16, 16, 0x12}, {1, 15, 16, 0x13},
    {6, 3, 16, 0x14}, {16, 2, 16, 0x15}, {15, 2, 16, 0x16}, {14, 2, 16, 0x17},
    {13, 2, 16, 0x18}, {12, 2, 16, 0x19}, {11, 2, 16, 0x1A}, {31, 1, 16, 0x1B},
    {30, 1, 16, 0x1C}, {29, 1, 16, 0x1D}, {28, 1, 16, 0x1E}, {27, 1, 16, 0x1F},
};

// codeIndex[run][level]: position in kCodes + 1, or 0 when the pair needs the escape.
struct CodeIndex {
    std::uint8_t at[32][41] = {};
    CodeIndex()
    {
        for (std::size_t i = 0; i < std::size(kCodes); ++i) at[kCodes[i].run][kCodes[i].level] = static_cast<std::uint8_t>(i + 1);
    }
};

const CodeIndex& TheCodeIndex()
{
    static const CodeIndex index;
    return index;
}

// Most significant bit first, into a growing byte vector.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Put(std::uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            current_ = static_cast<std::uint8_t>((current_ << 1) | ((value >> i) & 1u));
            if (++filled_ == 8) {
                out_.push_back(current_);
                current_ = 0;
                filled_ = 0;
            }
        }
    }
    // Fills the last byte with one bits: a slice ends wherever its syntax ends.
    void PadWithOnes()
    {
        while (filled_ != 0) Put(1, 1);
    }
    std::uint64_t Position() const { return static_cast<std::uint64_t>(out_.size()) * 8 + filled_; }

private:
    std::vector<std::uint8_t>& out_;
    std::uint8_t current_ = 0;
    int filled_ = 0;
};

// Where each block's bits lie in the record, to find the block behind a false start code.
struct BlockSpan {
    std::size_t macroblock;
    int block;
    std::uint64_t begin;  // first bit
    std::uint64_t end;    // one past the last bit
};

void WriteLevelEscape(BitWriter& w, int run, int value)
{
    w.Put(kEscape, kEscapeBits);
    w.Put(static_cast<std::uint32_t>(run), 6);
    const int magnitude = std::abs(value);
    if (value > 0) {
        if (magnitude <= 127) {
            w.Put(static_cast<std::uint32_t>(magnitude), 8);
        } else {
            w.Put(0, 8);
            w.Put(static_cast<std::uint32_t>(magnitude), 8);
        }
    } else {
        if (magnitude <= 127) {
            w.Put(static_cast<std::uint32_t>(256 - magnitude), 8);
        } else {
            w.Put(128, 8);
            w.Put(static_cast<std::uint32_t>(256 - magnitude), 8);
        }
    }
}

void WriteBlock(BitWriter& w, const BlockLevels& b, bool escapeEverything)
{
    const CodeIndex& index = TheCodeIndex();
    w.Put(b.dc, 8);
    int run = 0;
    for (int p = 1; p < 64; ++p) {
        int value = b.level[kZigZag[p]];
        if (value == 0) {
            ++run;
            continue;
        }
        value = std::clamp(value, -kMaxMagnitude, kMaxMagnitude);
        const int magnitude = std::abs(value);
        const std::uint8_t at = (!escapeEverything && magnitude <= 40 && run <= 31) ? index.at[run][magnitude] : 0;
        if (at != 0) {
            const RunLevelCode& code = kCodes[at - 1];
            w.Put(code.bits, code.length);
            w.Put(value < 0 ? 1u : 0u, 1);
        } else {
            WriteLevelEscape(w, run, value);
        }
        run = 0;
    }
    w.Put(kEndOfBlock, kEndOfBlockBits);
}

void WriteHeader(const PictureHeader& h, std::vector<std::uint8_t>& out)
{
    const HeaderLayout layout = LayoutOfModel(h.modelType);
    const unsigned q = static_cast<unsigned>(std::clamp(h.quantiserScale, 1, kMaxQuantiserScale));
    out = {0x00, 0x00, 0x01, static_cast<std::uint8_t>(h.full ? 0xF9 : 0xF8)};
    switch (layout) {
    case HeaderLayout::kA:
        out.push_back(static_cast<std::uint8_t>((h.full ? 0x80 : 0) | (q << 3) | (h.channel & 0x07)));
        break;
    case HeaderLayout::kB:
    case HeaderLayout::kNone:  // not returned by LayoutOfModel
        out.push_back(static_cast<std::uint8_t>((q << 4) | (h.channel & 0x0F)));
        break;
    case HeaderLayout::kC:
        out.push_back(static_cast<std::uint8_t>((h.full ? 0x80 : 0) | (q << 3)));
        out.push_back(static_cast<std::uint8_t>(h.extra >> 8));
        out.push_back(static_cast<std::uint8_t>(h.extra));
        break;
    case HeaderLayout::kD:
        out.push_back(static_cast<std::uint8_t>((q << 4) | (h.channel & 0x0F)));
        out.push_back(static_cast<std::uint8_t>((h.dual ? 0x80 : 0) | ((h.dualRight & 0x0F) << 3) |
                                                (h.leftHidden ? 0x04 : 0) | (h.rightHidden ? 0x02 : 0)));
        break;
    }
}

// One pass of the record writer; fills the block spans for the start-code check.
void WriteRecord(const PictureHeader& header, const PictureLevels& levels, const EncodeOptions& options,
                 EncodeResult& result, std::vector<BlockSpan>& spans)
{
    WriteHeader(header, result.record);
    result.sliceOffsets.clear();
    result.codedMacroblocks = 0;
    spans.clear();
    BitWriter w(result.record);
    const int columns = levels.Columns();
    for (int row = 0; row < levels.Rows(); ++row) {
        result.sliceOffsets.push_back(static_cast<std::uint32_t>(result.record.size()));
        w.Put(0x000001, 24);
        w.Put(static_cast<std::uint32_t>(row), 5);
        int previous = -1;
        for (int column = 0; column < columns; ++column) {
            const std::size_t m = static_cast<std::size_t>(row) * columns + column;
            const MacroblockLevels& mb = levels.mb[m];
            if (!header.full) {
                if (!mb.coded) continue;
                w.Put(static_cast<std::uint32_t>(column - previous), 6);
                w.Put(mb.pattern & 0x0Fu, 4);
                previous = column;
            }
            ++result.codedMacroblocks;
            for (int j = 0; j < 6; ++j) {
                if (!header.full && j < 4 && !(mb.pattern & (1u << j))) continue;
                const std::uint64_t begin = w.Position();
                WriteBlock(w, mb.block[j], options.escapeEverything);
                spans.push_back({m, j, begin, w.Position()});
            }
        }
        if (!header.full && previous != columns - 1) w.Put(0, 6);  // address increment 0 ends the slice
        w.PadWithOnes();
    }
}

// Changes one block a little so that the bits around a false start code change: drops its last
// coefficient, or moves its DC by one when it has none (or when the zeros lie in the DC byte).
void NudgeBlock(BlockLevels& b, bool inDcField)
{
    int last = 0;
    for (int p = 63; p >= 1; --p)
        if (b.level[kZigZag[p]] != 0) {
            last = p;
            break;
        }
    if (last != 0 && !inDcField) {
        b.level[kZigZag[last]] = 0;
        return;
    }
    b.dc = static_cast<std::uint8_t>(b.dc < 255 ? b.dc + 1 : b.dc - 1);
}

std::size_t FirstMisplacedPrefix(const EncodeResult& r, bool& found)
{
    found = false;
    const auto& rec = r.record;
    std::size_t nextSlice = 0;
    for (std::size_t k = 0; k + 2 < rec.size(); ++k) {
        if (rec[k] != 0 || rec[k + 1] != 0 || rec[k + 2] != 1) continue;
        if (k == 0) continue;
        while (nextSlice < r.sliceOffsets.size() && r.sliceOffsets[nextSlice] < k) ++nextSlice;
        if (nextSlice < r.sliceOffsets.size() && r.sliceOffsets[nextSlice] == k) continue;
        found = true;
        return k;
    }
    return 0;
}

int RoundToInt(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

HeaderLayout LayoutOfModel(int modelType)
{
    // A model the decoder does not know is written in the common layout.
    const HeaderLayout layout = RulesFor(modelType).layout;
    return layout == HeaderLayout::kNone ? HeaderLayout::kB : layout;
}

std::size_t SliceDataOffset(HeaderLayout layout)
{
    switch (layout) {
    case HeaderLayout::kC: return 7;
    case HeaderLayout::kD: return 6;
    default: return 5;
    }
}

YuvImage::YuvImage(int w, int h, std::uint8_t y, std::uint8_t u, std::uint8_t v)
    : width(w), height(h), data(Bytes(w, h))
{
    const std::size_t luma = static_cast<std::size_t>(w) * h;
    const std::size_t chroma = luma / 4;
    std::fill(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(luma), y);
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(luma), data.begin() + static_cast<std::ptrdiff_t>(luma + chroma), u);
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(luma + chroma), data.end(), v);
}

YuvImage ComposeDual(const YuvImage& left, const YuvImage& right)
{
    const int half = left.width;
    const int h = left.height;
    YuvImage out(half * 2, h);
    for (int y = 0; y < h; ++y) {
        std::copy_n(left.Y() + y * half, half, out.Y() + y * 2 * half);
        std::copy_n(right.Y() + y * half, half, out.Y() + y * 2 * half + half);
    }
    const int ch = half / 2;
    for (int y = 0; y < h / 2; ++y) {
        std::copy_n(left.U() + y * ch, ch, out.U() + y * half);
        std::copy_n(right.U() + y * ch, ch, out.U() + y * half + ch);
        std::copy_n(left.V() + y * ch, ch, out.V() + y * half);
        std::copy_n(right.V() + y * ch, ch, out.V() + y * half + ch);
    }
    return out;
}

PictureLevels::PictureLevels(int w, int h) : width(w), height(h), mb(static_cast<std::size_t>(w / 16) * (h / 16)) {}

const std::vector<RunLevelCode>& RunLevelCodes()
{
    static const std::vector<RunLevelCode> codes(std::begin(kCodes), std::end(kCodes));
    return codes;
}

std::vector<std::size_t> FindStartCodePrefixes(const std::uint8_t* record, std::size_t length)
{
    std::vector<std::size_t> at;
    for (std::size_t k = 0; k + 2 < length; ++k)
        if (record[k] == 0 && record[k + 1] == 0 && record[k + 2] == 1) at.push_back(k);
    return at;
}

bool StartCodesOnlyWhereExpected(const std::vector<std::uint8_t>& record, const std::vector<std::uint32_t>& sliceOffsets)
{
    const auto prefixes = FindStartCodePrefixes(record.data(), record.size());
    if (prefixes.empty() || prefixes.front() != 0 || record.size() < 4 || (record[3] != 0xF8 && record[3] != 0xF9))
        return false;
    if (prefixes.size() != sliceOffsets.size() + 1) return false;
    for (std::size_t i = 0; i < sliceOffsets.size(); ++i) {
        const std::size_t k = prefixes[i + 1];
        if (k != sliceOffsets[i] || k + 3 >= record.size()) return false;
        if (record[k + 3] >= 0xF8 && record[k + 3] <= 0xFD) return false;
    }
    return true;
}

EncodeResult EncodeLevels(const PictureHeader& header, PictureLevels& levels, const EncodeOptions& options)
{
    EncodeResult result;
    std::vector<BlockSpan> spans;
    for (;;) {
        WriteRecord(header, levels, options, result, spans);
        bool found = false;
        const std::size_t k = FirstMisplacedPrefix(result, found);
        if (!found) return result;
        if (result.adjustments >= options.maxAdjustments || spans.empty()) {
            result.record.clear();
            result.sliceOffsets.clear();
            return result;
        }
        // The zero run of 00 00 01 covers bits 8k .. 8k+22; change the block that holds its middle,
        // or the last block that overlaps it.
        const std::uint64_t runBegin = 8 * static_cast<std::uint64_t>(k);
        const std::uint64_t middle = runBegin + 12;
        const BlockSpan* chosen = nullptr;
        for (const BlockSpan& s : spans)
            if (s.begin <= middle && middle < s.end) chosen = &s;
        if (!chosen)
            for (const BlockSpan& s : spans)
                if (s.begin < runBegin + 24 && s.end > runBegin) chosen = &s;
        if (!chosen)
            for (const BlockSpan& s : spans)
                if (s.begin >= runBegin + 24) {
                    chosen = &s;
                    break;
                }
        if (!chosen) chosen = &spans.back();
        const bool inDc = middle >= chosen->begin && middle < chosen->begin + 8;
        NudgeBlock(levels.mb[chosen->macroblock].block[chosen->block], inDc);
        ++result.adjustments;
    }
}

BlockLevels QuantiseBlock(const std::uint8_t* samples, int stride, int quantiserScale)
{
    const int q = std::clamp(quantiserScale, 1, kMaxQuantiserScale);
    const std::array<double, 64> f = ForwardDct(samples, stride);
    BlockLevels b;
    b.dc = static_cast<std::uint8_t>(std::clamp(RoundToInt(f[0] / 8.0), 0, 255));
    for (int n = 1; n < 64; ++n) {
        const double magnitude = std::fabs(f[n]);
        const unsigned multiplier = static_cast<unsigned>(q) * kIntraWeights[n];
        // The decoder rebuilds (level x multiplier) >> 2; take the level whose rebuilt value is nearest.
        int level = static_cast<int>(magnitude * 4.0 / multiplier);
        int best = 0;
        double bestError = magnitude;
        for (int candidate = std::max(level - 1, 1); candidate <= std::min(level + 1, kMaxMagnitude); ++candidate) {
            const double rebuilt = std::min((static_cast<unsigned>(candidate) * multiplier) >> 2, 2047u);
            const double error = std::fabs(rebuilt - magnitude);
            if (error < bestError) {
                bestError = error;
                best = candidate;
            }
        }
        b.level[n] = static_cast<std::int16_t>(f[n] < 0 ? -best : best);
    }
    return b;
}

namespace {

bool BlockDiffers(const std::uint8_t* a, const std::uint8_t* b, int stride, int threshold)
{
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (std::abs(int{a[y * stride + x]} - int{b[y * stride + x]}) > threshold) return true;
    return false;
}

}  // namespace

PictureLevels QuantisePicture(const YuvImage& picture, int quantiserScale, const YuvImage* reference, int threshold)
{
    PictureLevels levels(picture.width, picture.height);
    const int w = picture.width;
    const int cw = w / 2;
    const bool compare = reference && reference->width == picture.width && reference->height == picture.height;
    for (int row = 0; row < levels.Rows(); ++row)
        for (int column = 0; column < levels.Columns(); ++column) {
            MacroblockLevels& mb = levels.At(row, column);
            const std::size_t lumaAt[4] = {
                static_cast<std::size_t>(16 * row) * w + 16 * column,
                static_cast<std::size_t>(16 * row) * w + 16 * column + 8,
                static_cast<std::size_t>(16 * row + 8) * w + 16 * column,
                static_cast<std::size_t>(16 * row + 8) * w + 16 * column + 8,
            };
            const std::size_t chromaAt = static_cast<std::size_t>(8 * row) * cw + 8 * column;
            mb.pattern = 0;
            bool chromaChanged = !compare;
            for (int j = 0; j < 4; ++j)
                if (!compare || BlockDiffers(picture.Y() + lumaAt[j], reference->Y() + lumaAt[j], w, threshold))
                    mb.pattern |= static_cast<std::uint8_t>(1u << j);
            if (compare)
                chromaChanged = BlockDiffers(picture.U() + chromaAt, reference->U() + chromaAt, cw, threshold) ||
                                BlockDiffers(picture.V() + chromaAt, reference->V() + chromaAt, cw, threshold);
            mb.coded = mb.pattern != 0 || chromaChanged;
            if (!mb.coded) continue;
            for (int j = 0; j < 4; ++j)
                if (mb.pattern & (1u << j)) mb.block[j] = QuantiseBlock(picture.Y() + lumaAt[j], w, quantiserScale);
            mb.block[4] = QuantiseBlock(picture.U() + chromaAt, cw, quantiserScale);
            mb.block[5] = QuantiseBlock(picture.V() + chromaAt, cw, quantiserScale);
        }
    return levels;
}

EncodeResult EncodePicture(const PictureHeader& header, const YuvImage& picture, const YuvImage* reference,
                           int threshold, const EncodeOptions& options)
{
    PictureLevels levels = QuantisePicture(picture, header.quantiserScale, header.full ? nullptr : reference, threshold);
    return EncodeLevels(header, levels, options);
}

}  // namespace tamlorex::sim
