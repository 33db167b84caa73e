// base64Decode on arbitrary text: the output length follows from the alphabet characters
// alone, base64Encode of the output agrees with a plain bit-by-bit encoder, and decoding that
// encoding gives the output back.

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "payload/payload_document.h"

using namespace shuttle;

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string encode(const std::string& bytes) {
    std::string out;
    uint32_t pending = 0;
    int bits = 0;
    for (unsigned char c : bytes) {
        pending = (pending << 8) | c;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += kAlphabet[(pending >> bits) & 63];
        }
        pending &= 0xFF;
    }
    if (bits > 0) out += kAlphabet[(pending << (6 - bits)) & 63];
    while (out.size() % 4 != 0) out += '=';
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    const std::string decoded = base64Decode(text);
    size_t sextets = 0;
    for (unsigned char c : text)
        if (c != 0 && std::strchr(kAlphabet, c) != nullptr) ++sextets;
    fuzz::require(decoded.size() == sextets * 6 / 8, "one byte per eight bits");
    const std::string encoded = base64Encode(reinterpret_cast<const uint8_t*>(decoded.data()), decoded.size());
    fuzz::require(encoded == encode(decoded), "the encoder agrees with the reference");
    fuzz::require(encoded.size() == base64Length(decoded.size()), "the promised length");
    fuzz::require(base64Decode(encoded) == decoded, "round trip");
    return 0;
}
