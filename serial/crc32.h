#pragma once
// CRC-32 of ISO-HDLC / IEEE 802.3 (zlib, PNG): reflected polynomial 0xEDB88320, initial value
// and final XOR 0xFFFFFFFF. The check value of "123456789" is 0xCBF43926.

#include <cstddef>
#include <cstdint>

namespace shuttle {

uint32_t crc32(const uint8_t* data, size_t length);

}  // namespace shuttle
