#pragma once
// MD5 message digest (RFC 1321).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tamlorex {

class Md5 {
public:
    Md5();
    void Update(const void* data, std::size_t length);
    std::array<std::uint8_t, 16> Final();
    // Lower-case hexadecimal digest of a whole buffer.
    static std::string Hex(const void* data, std::size_t length);
    static std::string ToHex(const std::array<std::uint8_t, 16>& digest);

private:
    void Transform(const std::uint8_t* block);
    std::uint32_t state_[4];
    std::uint64_t bytes_ = 0;
    std::uint8_t buffer_[64];
};

}  // namespace tamlorex
