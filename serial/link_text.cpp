#include "serial/link_text.h"

#include <cstdint>

#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool isContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Reads the sequence at bytes[i]; returns its length and sets `code`, or returns the length of
// the ill-formed part (at least 1) with `code` = U+FFFD. The allowed range of the second byte
// excludes overlong forms, code points above U+10FFFF and, for ED, the surrogates.
size_t readSequence(const uint8_t* bytes, size_t size, size_t i, uint32_t& code) {
    const uint8_t lead = bytes[i];
    code = kReplacement;
    size_t length;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
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
        return 1;
    }
    uint32_t value = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        if (i + k >= size) return k;
        const uint8_t next = bytes[i + k];
        if (k == 1 ? (next < low || next > high) : !isContinuation(next)) return k;
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

std::u16string decodeLinkText(const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    size_t size = 0;
    while (size < text.size() && bytes[size] != 0) ++size;

    std::u16string out;
    out.reserve(size);
    size_t i = 0;
    while (i < size) {
        if (bytes[i] < 0x80) {
            out.push_back(bytes[i++]);
            continue;
        }
        const uint32_t high = readEncodedSurrogate(bytes, size, i);
        if (high != 0) {
            const uint32_t low = readEncodedSurrogate(bytes, size, i + 3);
            const bool pair = isHighSurrogate(high) && isLowSurrogate(low);
            out.push_back(pair ? static_cast<char16_t>(high) : kReplacement);
            if (pair) out.push_back(static_cast<char16_t>(low));
            i += pair ? 6 : 3;
            continue;
        }
        uint32_t code;
        i += readSequence(bytes, size, i, code);
        appendUtf16(out, code);
    }
    return out;
}

}  // namespace shuttle
