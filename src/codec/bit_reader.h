// Most-significant-bit-first reader over one record.
//
// A 64-bit left-aligned cache refilled with whole bytes: from one big-endian
// eight-byte load while eight bytes of the record remain, byte by byte near its
// end. Bytes past the end of the record read as zero; the reader never touches
// memory outside [begin, end).
//
// The cache below its `bits_` counted bits holds either zeros or the record's
// own following bits (a load brings in more than the whole bytes it counts), so
// the next refill may OR the same bits in again without masking.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tamlorex {

class BitReader {
public:
    // Most bits Need() can promise.
    static constexpr int kMaxNeed = 57;

    // Starts at byte `offset` of the record; an offset at or past the end
    // yields only zero bits.
    BitReader(const uint8_t* record, size_t length, size_t offset)
        : pos_(record + (offset < length ? offset : length)), end_(record + length) {}

    // Makes at least `n` (<= kMaxNeed) bits available in the cache.
    void Need(int n) {
        if (__builtin_expect(bits_ < n, 0)) Refill();
    }

    // Top `n` (1..32) bits of the cache after Need(n).
    uint32_t Peek(int n) const { return uint32_t(cache_ >> (64 - n)); }

    // Drops `n` (0..kMaxNeed) bits, at most as many as are available.
    void Dump(int n) {
        cache_ <<= n;
        bits_ -= n;
    }

    // Reads `n` (1..32, <= kMaxNeed) bits.
    uint32_t Take(int n) {
        Need(n);
        uint32_t value = Peek(n);
        Dump(n);
        return value;
    }

    // Reads `n` (1..32) bits that an earlier Need has made available.
    uint32_t TakeAvailable(int n) {
        uint32_t value = Peek(n);
        Dump(n);
        return value;
    }

private:
    // Appends as many whole bytes as fit in the cache (bits_ < kMaxNeed here).
    void Refill() {
        if (end_ - pos_ >= 8) {
            uint64_t word;
            std::memcpy(&word, pos_, sizeof word);
            if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
            cache_ |= word >> bits_;
            const int count = (64 - bits_) >> 3;
            bits_ += 8 * count;
            pos_ += count;
            return;
        }
        // The record's last bytes, then zero bytes (counted, never read).
        while (bits_ <= 56) {
            if (pos_ < end_) cache_ |= uint64_t(*pos_++) << (56 - bits_);
            bits_ += 8;
        }
    }

    uint64_t cache_ = 0;
    int bits_ = 0;
    const uint8_t* pos_;
    const uint8_t* end_;
};

}  // namespace tamlorex
