// The bit reader against a bit-at-a-time model: random records of every short length, every
// start offset and random mixes of Need/Peek/Dump/Take, reading well past the end (zero bits).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec/bit_reader.h"
#include "codec_test_util.h"

namespace tamlorex {
namespace {

uint32_t ModelBits(const std::vector<uint8_t>& bytes, size_t bit, int n) {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i, ++bit) {
        const size_t byte = bit / 8;
        value = value << 1 | (byte < bytes.size() ? (bytes[byte] >> (7 - bit % 8)) & 1 : 0);
    }
    return value;
}

TEST(BitReader, MatchesABitAtATimeModel) {
    std::mt19937 rng(5);
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes(round % 40 + (round % 7 == 0 ? rng() % 200 : 0));
        for (auto& b : bytes) b = uint8_t(rng());
        const size_t offset = rng() % (bytes.size() + 3);
        test::ExactBuffer exact(bytes);  // reads past the end are caught by the sanitizer build
        BitReader reader(exact.data.get(), exact.length, offset);
        size_t bit = (offset < bytes.size() ? offset : bytes.size()) * 8;
        const size_t stop = bit + 8 * bytes.size() + 200;
        while (bit < stop) {
            switch (rng() % 4) {
            case 0: {
                const int n = 1 + int(rng() % 32);
                ASSERT_EQ(reader.Take(n), ModelBits(bytes, bit, n)) << "round " << round << " bit " << bit;
                bit += size_t(n);
                break;
            }
            case 1: {
                const int need = 1 + int(rng() % BitReader::kMaxNeed);
                reader.Need(need);
                const int n = 1 + int(rng() % std::min(need, 32));
                ASSERT_EQ(reader.Peek(n), ModelBits(bytes, bit, n)) << "round " << round << " bit " << bit;
                const int dump = int(rng() % (need + 1));
                reader.Dump(dump);
                bit += size_t(dump);
                break;
            }
            case 2: {
                reader.Need(32);
                const int n = 1 + int(rng() % 32);
                ASSERT_EQ(reader.TakeAvailable(n), ModelBits(bytes, bit, n)) << "round " << round;
                bit += size_t(n);
                break;
            }
            default: {
                const int n = 1 + int(rng() % 8);
                ASSERT_EQ(reader.Take(n), ModelBits(bytes, bit, n)) << "round " << round << " bit " << bit;
                bit += size_t(n);
                break;
            }
            }
        }
    }
}

}  // namespace
}  // namespace tamlorex
