// Most-significant-bit-first reader over one record.
//
// A 32-bit left-aligned cache refilled with whole bytes from a big-endian
// four-byte load. Bytes past the end of the record read as zero; the reader
// never touches memory outside [begin, end).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tamlorex {

class BitReader {
public:
    // Starts at byte `offset` of the record; an offset at or past the end
    // yields only zero bits.
    BitReader(const uint8_t* record, size_t length, size_t offset)
        : pos_(record + (offset < length ? offset : length)), end_(record + length) {}

    // Makes at least `n` (<= 25) bits available in the cache.
    void Need(int n) {
        if (bits_ < n) Refill();
    }

    // Top `n` (1..25) bits of the cache after Need(n).
    uint32_t Peek(int n) const { return cache_ >> (32 - n); }

    void Dump(int n) {
        cache_ <<= n;
        bits_ -= n;
    }

    uint32_t Take(int n) {
        Need(n);
        uint32_t value = Peek(n);
        Dump(n);
        return value;
    }

private:
    // Appends as many whole bytes as fit in the cache.
    void Refill() {
        int count = (32 - bits_) >> 3;
        uint32_t word;
        if (end_ - pos_ >= 4) {
            word = (uint32_t(pos_[0]) << 24) | (uint32_t(pos_[1]) << 16) |
                   (uint32_t(pos_[2]) << 8) | uint32_t(pos_[3]);
        } else {
            word = 0;
            for (ptrdiff_t i = 0; i < end_ - pos_; ++i) word |= uint32_t(pos_[i]) << (24 - 8 * i);
        }
        word &= ~uint32_t(0) << (32 - 8 * count);  // count >= 1 here
        cache_ |= word >> bits_;
        bits_ += 8 * count;
        ptrdiff_t left = end_ - pos_;
        pos_ += count < left ? count : left;
    }

    uint32_t cache_ = 0;
    int bits_ = 0;
    const uint8_t* pos_;
    const uint8_t* end_;
};

}  // namespace tamlorex
