#include "base/trace_text.h"

#include <cstdio>

namespace shuttle {

std::string traceText(std::string_view bytes, size_t limit) {
    const std::string_view shown = bytes.substr(0, limit);
    std::string text;
    text.reserve(shown.size() + 16);
    for (unsigned char c : shown) {
        if (c >= 0x20 && c < 0x7F) {
            text.push_back(static_cast<char>(c));
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    if (bytes.size() > limit) text += "... (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

}  // namespace shuttle
