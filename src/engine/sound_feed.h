#pragma once
// Sound on its way into the output ring. A block is taken whole and written in pieces as the ring
// has room, so that no block, however long, holds up pictures or commands while it waits.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamlorex {

class AudioOut;

class SoundFeed {
public:
    // Holds at most `limit` samples; beyond that the oldest are dropped (the output fell behind).
    explicit SoundFeed(std::size_t limit);

    void Push(const std::uint8_t* samples, std::size_t n);
    // Writes what the ring takes now: A-law expanded (`alaw`) or as it is.
    void Pump(AudioOut& audio, bool alaw);
    void Clear();
    std::size_t Pending() const { return end_ - begin_; }

private:
    std::size_t limit_;
    std::vector<std::uint8_t> samples_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

}  // namespace tamlorex
