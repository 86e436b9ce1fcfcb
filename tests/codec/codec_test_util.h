// Builders for hand-made picture records in codec tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tamlorex::test {

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) PutBit((value >> i) & 1);
    }
    // Pads the last byte with zero bits.
    std::vector<uint8_t> Bytes() const { return bytes_; }
    size_t BitCount() const { return bitCount_; }

private:
    void PutBit(uint32_t bit) {
        if (bitCount_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= uint8_t(0x80 >> (bitCount_ % 8));
        ++bitCount_;
    }
    std::vector<uint8_t> bytes_;
    size_t bitCount_ = 0;
};

inline constexpr uint32_t kEndOfBlock = 0b10;  // 2 bits

// Escape code: run, then a level in -255..255 (0 allowed).
inline void PutEscape(BitWriter& w, int run, int level) {
    w.Put(0b000001, 6);
    w.Put(uint32_t(run), 6);
    if (level > 0 && level < 128) {
        w.Put(uint32_t(level), 8);
    } else if (level >= 0) {
        w.Put(0, 8);
        w.Put(uint32_t(level), 8);
    } else if (level > -128) {
        w.Put(uint32_t(256 + level), 8);
    } else {
        w.Put(128, 8);
        w.Put(uint32_t(256 + level), 8);
    }
}

// A block given as DC byte and (run, level) escapes, closed by end of block.
struct TestBlock {
    uint8_t dc = 0;
    std::vector<std::pair<int, int>> coefficients;
};

inline void PutBlock(BitWriter& w, const TestBlock& block) {
    w.Put(block.dc, 8);
    for (auto [run, level] : block.coefficients) PutEscape(w, run, level);
    w.Put(kEndOfBlock, 2);
}

// Starts a slice: start code and macroblock row.
inline void PutSliceStart(BitWriter& w, uint32_t row) {
    w.Put(0x000001, 24);
    w.Put(row, 5);
}

// Record of layout B (model types 1, 3, 4, 6): type byte F9 for a full
// picture, byte 4 = quantiser scale << 4 | channel, then the slices.
inline std::vector<uint8_t> MakeRecordB(bool full, uint32_t scale, uint32_t channel,
                                        const std::vector<std::vector<uint8_t>>& slices) {
    std::vector<uint8_t> record = {0, 0, 1, uint8_t(full ? 0xF9 : 0xF8), uint8_t(scale << 4 | channel)};
    for (const auto& slice : slices) record.insert(record.end(), slice.begin(), slice.end());
    return record;
}

// An update-picture slice that codes nothing.
inline std::vector<uint8_t> EmptyUpdateSlice(uint32_t row) {
    BitWriter w;
    PutSliceStart(w, row);
    w.Put(0, 6);
    return w.Bytes();
}

// Heap copy of exactly `size` bytes, so that a read past the end is caught
// by AddressSanitizer.
struct ExactBuffer {
    explicit ExactBuffer(const std::vector<uint8_t>& bytes, size_t size)
        : data(new uint8_t[size ? size : 1]), length(size) {
        const size_t copied = size < bytes.size() ? size : bytes.size();
        if (copied != 0) std::memcpy(data.get(), bytes.data(), copied);  // an empty vector's data() may be null
    }
    explicit ExactBuffer(const std::vector<uint8_t>& bytes) : ExactBuffer(bytes, bytes.size()) {}
    std::unique_ptr<uint8_t[]> data;
    size_t length;
};

}  // namespace tamlorex::test
