#include <gtest/gtest.h>

#include <string>

#include "platform/md5.h"

namespace tamlorex {
namespace {

TEST(Md5, TestSuiteOfRfc1321)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [input, digest] : cases) EXPECT_EQ(Md5::Hex(input.data(), input.size()), digest) << input;
}

TEST(Md5, PiecewiseUpdatesMatchOneUpdate)
{
    std::string data(1000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    const std::string whole = Md5::Hex(data.data(), data.size());
    for (std::size_t step : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 200u}) {
        Md5 md5;
        for (std::size_t i = 0; i < data.size(); i += step) md5.Update(data.data() + i, std::min(step, data.size() - i));
        EXPECT_EQ(Md5::ToHex(md5.Final()), whole) << step;
    }
}

}  // namespace
}  // namespace tamlorex
