#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "serial/crc32.h"

namespace shuttle {
namespace {

using Crc = uint32_t (*)(const uint8_t*, size_t, uint32_t);

// One bit at a time, straight from the definition, continuing `previous`.
uint32_t bitwiseCrc(const uint8_t* data, size_t length, uint32_t previous = 0) {
    uint32_t crc = ~previous;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

std::vector<uint8_t> randomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// crc32 itself, the byte tables and, where the processor has it, the carry-less multiply.
std::vector<Crc> everyWay() {
    std::vector<Crc> ways{crc32, crc32Slicing};
    if (crc32FoldedAvailable()) ways.push_back(crc32Folded);
    return ways;
}

TEST(Crc32, KnownCheckValues) {
    auto crcOf = [](const std::string& text) { return crc32(reinterpret_cast<const uint8_t*>(text.data()), text.size()); };
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf("abc"), 0x352441C2u);
    EXPECT_EQ(crcOf(""), 0u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

// Every length up to 1024 (the fold setup, single-block folds, the 16- and 64-byte steps and the
// byte tail in every combination), some long ones and all-zero and all-one blocks, at every
// alignment of a 16-byte load, each continuing a different running CRC.
TEST(Crc32, EveryWayMatchesTheBitwiseDefinitionForAnyLengthAlignmentAndRunningValue) {
    std::vector<std::vector<uint8_t>> blocks{randomBytes(70000, 11), std::vector<uint8_t>(4200, 0),
                                             std::vector<uint8_t>(4200, 0xFF)};
    std::mt19937 random(12);
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 1024; ++length) lengths.push_back(length);
    for (size_t length : {4095, 4096, 4097, 65536 - 1, 65536, 65536 + 63}) lengths.push_back(length);
    size_t mismatches = 0;
    for (const auto& block : blocks) {
        for (size_t offset = 0; offset < 16; ++offset) {
            for (size_t length : lengths) {
                if (offset + length > block.size()) continue;
                const uint32_t previous = offset == 0 ? 0u : static_cast<uint32_t>(random());
                const uint8_t* p = block.data() + offset;
                const uint32_t expected = bitwiseCrc(p, length, previous);
                for (Crc way : everyWay())
                    if (way(p, length, previous) != expected && mismatches++ < 5)
                        ADD_FAILURE() << "offset " << offset << " length " << length << " previous " << previous;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// crc32(b, crc32(a)) is the CRC of a followed by b, whichever way each part is computed and
// wherever the split falls relative to the 16- and 64-byte steps and the folding threshold.
TEST(Crc32, ChainedCallsEqualOneCallOverTheWhole) {
    const std::vector<uint8_t> data = randomBytes(5000, 13);
    for (size_t total : {300, 5000}) {
        const uint32_t whole = bitwiseCrc(data.data(), total);
        for (size_t split : {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 200, 299, 300, 1000, 4999}) {
            if (split > total) continue;
            for (Crc first : everyWay())
                for (Crc second : everyWay())
                    EXPECT_EQ(second(data.data() + split, total - split, first(data.data(), split, 0)), whole)
                        << "total " << total << " split " << split;
        }
    }
}

}  // namespace
}  // namespace shuttle
