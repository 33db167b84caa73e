#pragma once
// CRC-32 of ISO-HDLC / IEEE 802.3 (zlib, PNG): reflected polynomial 0xEDB88320, initial value
// and final XOR 0xFFFFFFFF. The check value of "123456789" is 0xCBF43926.
//
// `previous` continues a CRC, as zlib's crc32 does: crc32(b, nb, crc32(a, na)) is the CRC of a
// followed by b, and 0 starts afresh.

#include <cstddef>
#include <cstdint>

namespace shuttle {

// The fastest way this processor has.
uint32_t crc32(const uint8_t* data, size_t length, uint32_t previous = 0);

// The two ways behind it, named so that they can be compared: byte tables (any processor) and
// carry-less multiplication, which only runs where crc32FoldedAvailable() is true.
uint32_t crc32Slicing(const uint8_t* data, size_t length, uint32_t previous = 0);
bool crc32FoldedAvailable();
uint32_t crc32Folded(const uint8_t* data, size_t length, uint32_t previous = 0);

}  // namespace shuttle
