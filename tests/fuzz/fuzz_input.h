#pragma once
// What every fuzz target shares: the input copied into a heap block of exactly its size (so that
// AddressSanitizer sees a read one byte past it), taken apart from the front, and a check that
// stops the run when a property of the code under test does not hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace tamlorex::fuzz {

// Fails the input (libFuzzer keeps it as a crash) when `condition` is false.
#define FUZZ_CHECK(condition)                                                                    \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

// A heap copy of exactly `size` bytes; an empty input gets no block at all.
inline std::unique_ptr<std::uint8_t[]> ExactCopy(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return nullptr;
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    std::memcpy(copy.get(), data, size);
    return copy;
}

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : bytes_(ExactCopy(data, size)), size_(size) {}

    // A byte from the front, 0 once the input is used up.
    std::uint8_t Byte() { return at_ < size_ ? bytes_[at_++] : 0; }
    // Little-endian numbers from the front.
    std::uint64_t Number(int bytes)
    {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= std::uint64_t{Byte()} << (8 * i);
        return value;
    }
    // What is left, in the exact-size block (nullptr when nothing is).
    const std::uint8_t* Rest() const { return at_ < size_ ? bytes_.get() + at_ : nullptr; }
    std::size_t RestSize() const { return size_ - at_; }
    // Takes up to `n` bytes of what is left; returns how many.
    std::size_t Skip(std::size_t n)
    {
        const std::size_t taken = n < size_ - at_ ? n : size_ - at_;
        at_ += taken;
        return taken;
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace tamlorex::fuzz
