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
    EXPECT_EQ(crc32Slicing(ones.data(), ones.size()), bitwiseCrc(ones.data(), ones.size()));
    if (crc32FoldedAvailable()) {
        EXPECT_EQ(crc32Folded(zeros.data(), zeros.size()), bitwiseCrc(zeros.data(), zeros.size()));
        EXPECT_EQ(crc32Folded(ones.data(), ones.size()), bitwiseCrc(ones.data(), ones.size()));
    }
}

std::vector<uint8_t> randomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// The carry-less-multiply path against the byte tables: every length up to 1024 (the fold
// setup, single-block folds and the byte tail in every combination), some long ones, at every
// alignment of a 16-byte load, each continuing a different running CRC.
TEST(Crc32, FoldedMatchesSlicingForAnyLengthAlignmentAndRunningValue) {
    if (!crc32FoldedAvailable()) GTEST_SKIP() << "no carry-less multiplication on this processor";
    const std::vector<uint8_t> data = randomBytes(70000, 11);
    std::mt19937 random(12);
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 1024; ++length) lengths.push_back(length);
    for (size_t length : {4095, 4096, 4097, 65536 - 1, 65536, 65536 + 63}) lengths.push_back(length);
    size_t mismatches = 0;
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t length : lengths) {
            const uint32_t previous = offset == 0 ? 0u : static_cast<uint32_t>(random());
            const uint8_t* p = data.data() + offset;
            const uint32_t expected = crc32Slicing(p, length, previous);
            if (crc32Folded(p, length, previous) != expected && mismatches++ < 5)
                ADD_FAILURE() << "offset " << offset << " length " << length << " previous " << previous;
            if (crc32(p, length, previous) != expected && mismatches++ < 5)
                ADD_FAILURE() << "crc32: offset " << offset << " length " << length;
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// crc32(b, crc32(a)) is the CRC of a followed by b, whichever way each part is computed and
// wherever the split falls relative to the 16- and 64-byte steps and the folding threshold.
TEST(Crc32, ChainedCallsEqualOneCallOverTheWhole) {
    const std::vector<uint8_t> data = randomBytes(5000, 13);
    using Crc = uint32_t (*)(const uint8_t*, size_t, uint32_t);
    std::vector<Crc> ways{crc32, crc32Slicing};
    if (crc32FoldedAvailable()) ways.push_back(crc32Folded);
    for (size_t total : {300, 5000}) {
        const uint32_t whole = bitwiseCrc(data.data(), total);
        for (size_t split : {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 200, 299, 300, 1000, 4999}) {
            if (split > total) continue;
            for (Crc first : ways)
                for (Crc second : ways)
                    EXPECT_EQ(second(data.data() + split, total - split, first(data.data(), split, 0)), whole)
                        << "total " << total << " split " << split;
        }
    }
}

}  // namespace
}  // namespace shuttle
