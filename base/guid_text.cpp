#include "base/guid_text.h"

namespace shuttle {

bool isValidGuidText(std::string_view text) {
    if (text.size() != kGuidTextSize || text.front() != '{' || text.back() != '}') return false;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        const char c = text[i];
        const bool hyphenPlace = i == 9 || i == 14 || i == 19 || i == 24;
        if (hyphenPlace ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

}  // namespace shuttle
