#include "serial/link_text.h"

#include <algorithm>
#include <cstdint>

#include "base/utf8.h"

namespace shuttle {
namespace {

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool isContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Reads the sequence at bytes[i]: its length, with `code` set, or 0 when it is ill-formed. The
// allowed range of the second byte excludes overlong forms, code points above U+10FFFF and, for
// ED, the surrogates (read apart, below).
size_t readSequence(const uint8_t* bytes, size_t size, size_t i, uint32_t& code) {
    const uint8_t lead = bytes[i];
    size_t length;
    uint8_t low = 0x80, high = 0xBF;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > size) return 0;
    uint32_t value = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        const uint8_t next = bytes[i + k];
        if (k == 1 ? (next < low || next > high) : !isContinuation(next)) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    code = value;
    return length;
}

// An encoded surrogate: ED A0..BF xx. Gives the unit, or 0 when there is none at bytes[i].
uint32_t readEncodedSurrogate(const uint8_t* bytes, size_t size, size_t i) {
    if (i + 2 >= size || bytes[i] != 0xED || bytes[i + 1] < 0xA0 || bytes[i + 1] > 0xBF || !isContinuation(bytes[i + 2]))
        return 0;
    return 0xD000 | ((bytes[i + 1] & 0x3F) << 6) | (bytes[i + 2] & 0x3F);
}

}  // namespace

std::string encodeLinkText(const std::u16string& text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size() && text[i] != 0; ++i) {
        const uint32_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

// A surrogate read on its own gives the same unit whether it was lone or half of a pair, so the
// units come back exactly as they were sent.
std::optional<std::u16string> decodeLinkText(const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const size_t size = std::min(text.find('\0'), text.size());
    std::u16string out;
    out.reserve(size);
    for (size_t i = 0; i < size;) {
        if (const uint32_t surrogate = readEncodedSurrogate(bytes, size, i)) {
            out.push_back(static_cast<char16_t>(surrogate));
            i += 3;
            continue;
        }
        uint32_t code = 0;
        const size_t length = readSequence(bytes, size, i, code);
        if (length == 0) return std::nullopt;
        appendUtf16(out, code);
        i += length;
    }
    return out;
}

}  // namespace shuttle
