#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "serial/crc32.h"

namespace shuttle {
namespace {

uint32_t crcOf(const std::string& text) { return crc32(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

// One bit at a time, straight from the definition.
uint32_t bitwiseCrc(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

TEST(Crc32, KnownCheckValues) {
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf("abc"), 0x352441C2u);
    EXPECT_EQ(crcOf(""), 0u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

// Lengths around the 64-byte block and 16-byte slice edges, at every alignment, so both the
// sliced rounds and the byte-wise tail are covered.
TEST(Crc32, MatchesTheBitwiseDefinitionForAnyLengthAndAlignment) {
    std::mt19937 random(7);
    std::vector<uint8_t> data(1100);
    for (auto& byte : data) byte = static_cast<uint8_t>(random());
    for (size_t offset = 0; offset < 4; ++offset) {
        for (size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 200, 1024, 1093}) {
            EXPECT_EQ(crc32(data.data() + offset, length), bitwiseCrc(data.data() + offset, length))
                << "offset " << offset << " length " << length;
        }
    }
}

TEST(Crc32, AllZeroAndAllOnesBlocks) {
    std::vector<uint8_t> zeros(4096, 0), ones(4096, 0xFF);
    EXPECT_EQ(crc32(zeros.data(), zeros.size()), bitwiseCrc(zeros.data(), zeros.size()));
    EXPECT_EQ(crc32(ones.data(), ones.size()), bitwiseCrc(ones.data(), ones.size()));
}

}  // namespace
}  // namespace shuttle
