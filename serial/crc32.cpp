#include "serial/crc32.h"

#include <array>

namespace shuttle {
namespace {

// The CRC is the remainder of the message, read as a polynomial over GF(2), divided by the
// generator; bits are taken least significant first ("reflected"), so the register shifts
// right and the generator 0x04C11DB7 appears bit-reversed as 0xEDB88320.
//
// Table 0 entry i is the register after feeding byte i into a zero register: eight steps of
// "shift right, XOR the polynomial if the bit that fell out was 1". Because the remainder is
// linear (XOR of inputs gives XOR of remainders), a register can be advanced by a byte as
// crc = (crc >> 8) ^ table0[(crc ^ byte) & 0xFF].
//
// Table k entry i is the same byte followed by k zero bytes: one more zero byte turns a
// register r into (r >> 8) ^ table0[r & 0xFF], hence
// table[k][i] = (table[k-1][i] >> 8) ^ table0[table[k-1][i] & 0xFF].
//
// Slicing-by-16 feeds 16 bytes at once. Byte j of the slice (j = 0..15) is followed by 15 - j
// more bytes before the slice ends, so its contribution to the final register is
// table[15 - j][byte]; the 16 contributions are independent and are XORed together. The
// running register enters the same way as message data: XORing it into the slice's first
// four bytes is exactly what four single-byte steps would do with it, after which the old
// register has been shifted out completely.
constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kSlice = 16;
constexpr size_t kBlock = 64;  // four slices per round

using Tables = std::array<std::array<uint32_t, 256>, kSlice>;

constexpr Tables makeTables() {
    Tables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? kPolynomial : 0u);
        tables[0][i] = crc;
    }
    for (size_t k = 1; k < kSlice; ++k)
        for (size_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFFu];
    return tables;
}

constexpr Tables kTables = makeTables();

inline uint32_t loadLittleEndian(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline uint32_t feedSlice(uint32_t crc, const uint8_t* p) {
    const auto& t = kTables;
    uint32_t head = crc ^ loadLittleEndian(p);
    return t[15][head & 0xFF] ^ t[14][(head >> 8) & 0xFF] ^ t[13][(head >> 16) & 0xFF] ^ t[12][head >> 24] ^
           t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^
           t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]] ^
           t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
}

}  // namespace

uint32_t crc32Slicing(const uint8_t* data, size_t length, uint32_t previous) {
    uint32_t crc = ~previous;
    while (length >= kBlock) {
        crc = feedSlice(crc, data);
        crc = feedSlice(crc, data + 16);
        crc = feedSlice(crc, data + 32);
        crc = feedSlice(crc, data + 48);
        data += kBlock;
        length -= kBlock;
    }
    for (; length >= kSlice; data += kSlice, length -= kSlice) crc = feedSlice(crc, data);
    while (length-- > 0) crc = (crc >> 8) ^ kTables[0][(crc ^ *data++) & 0xFFu];
    return ~crc;
}

uint32_t crc32(const uint8_t* data, size_t length, uint32_t previous) {
    // Folding needs one 64-byte block to start; from there on it is faster than the tables
    // (crc32_bench: BM_Crc32Folded against BM_Crc32Slicing, already at 64 bytes).
    constexpr size_t kFoldFrom = 64;
    if (length >= kFoldFrom && crc32FoldedAvailable()) return crc32Folded(data, length, previous);
    return crc32Slicing(data, length, previous);
}

}  // namespace shuttle
