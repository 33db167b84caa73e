#include "base/utf8.h"

#include "base/print.h"

namespace shuttle {

bool tryToUtf8(const std::u16string& wide, std::string& out) {
    out.clear();
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t unit = wide[i];
        uint32_t code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= wide.size()) return false;
            uint32_t low = wide[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
        appendUtf8(out, code);
    }
    return true;
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void appendUtf16(std::u16string& out, uint32_t code) {
    if (code < 0x10000) {
        out.push_back(static_cast<char16_t>(code));
        return;
    }
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

size_t utf8SequenceAt(std::string_view text, size_t index, uint32_t& code) {
    const auto byteAt = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(text[i])); };
    const uint32_t lead = byteAt(index);
    size_t extra;
    uint32_t minimum;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (index + extra >= text.size()) return 0;
    for (size_t k = 1; k <= extra; ++k) {
        const uint32_t next = byteAt(index + k);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return extra + 1;
}

bool tryFromUtf8(const std::string& utf8, std::u16string& out) {
    out.clear();
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t code = 0;
        const size_t length = utf8SequenceAt(utf8, i, code);
        if (length == 0) return false;
        appendUtf16(out, code);
        i += length;
    }
    return true;
}

std::string toUtf8(const std::u16string& wide) {
    std::string out;
    if (!tryToUtf8(wide, out)) return std::string();
    return out;
}

std::u16string fromUtf8(const std::string& utf8) {
    std::u16string out;
    if (!tryFromUtf8(utf8, out)) {
        printErr("Error converting UTF-8 to wide string\n");
        return std::u16string();
    }
    return out;
}

}  // namespace shuttle
