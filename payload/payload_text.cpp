// Text helpers of the payload document: base64, splitting at a delimiter and the clipboard
// block of a format carried inline.

#include <array>

#include "payload/format_catalogue.h"
#include "payload/payload_document.h"

namespace shuttle {
namespace {

constexpr int kNotInAlphabet = -1;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> makeBase64Table() {
    std::array<int, 256> table{};
    for (int& entry : table) entry = kNotInAlphabet;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

constexpr std::array<int, 256> kBase64Table = makeBase64Table();

// Appends the bytes of `text` to `bytes`.
template <class Bytes>
void appendBase64Decoded(std::string_view text, Bytes& bytes) {
    uint32_t pending = 0;  // only the low `pendingBits` bits matter
    int pendingBits = 0;
    for (unsigned char c : text) {
        const int sextet = kBase64Table[c];
        if (sextet == kNotInAlphabet) continue;
        pending = ((pending << 6) | static_cast<uint32_t>(sextet)) & 0xFFFFu;
        pendingBits += 6;
        if (pendingBits >= 8) {
            pendingBits -= 8;
            bytes.push_back(static_cast<typename Bytes::value_type>((pending >> pendingBits) & 0xFFu));
        }
    }
}

}  // namespace

std::string base64Encode(const uint8_t* bytes, size_t size) {
    std::string text;
    text.reserve(base64Length(size));
    size_t at = 0;
    for (; at + 3 <= size; at += 3) {
        const uint32_t group = (uint32_t(bytes[at]) << 16) | (uint32_t(bytes[at + 1]) << 8) | bytes[at + 2];
        text.push_back(kAlphabet[group >> 18]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        text.push_back(kAlphabet[(group >> 6) & 63]);
        text.push_back(kAlphabet[group & 63]);
    }
    if (at < size) {
        const bool two = at + 1 < size;
        const uint32_t group = (uint32_t(bytes[at]) << 16) | (two ? uint32_t(bytes[at + 1]) << 8 : 0);
        text.push_back(kAlphabet[group >> 18]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        text.push_back(two ? kAlphabet[(group >> 6) & 63] : '=');
        text.push_back('=');
    }
    return text;
}


std::string base64Decode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 3);
    appendBase64Decoded(text, bytes);
    return bytes;
}

std::vector<uint8_t> inlineClipboardBlock(std::string_view formatName, std::string_view base64) {
    const bool text = isTextFormat(formatName);
    const bool wide = formatName == standardFormatName(kFormatUnicodeText);
    std::vector<uint8_t> block;
    block.reserve(base64.size() / 4 * 3 + 3 + 3);  // room for a padding byte and a terminator
    appendBase64Decoded(base64, block);
    if (!text) return block;
    if (wide && block.size() % 2 != 0) block.push_back(0);  // a cut last unit becomes whole
    block.insert(block.end(), wide ? 2 : 1, 0);
    return block;
}

}  // namespace shuttle
