#pragma once
// Walking the comma-separated lists of a payload document without copying them first.

#include <string_view>

namespace shuttle {

// Calls visit(piece) for every piece of `text` between delimiters, with the rule of
// splitString: no piece after a trailing delimiter, none at all for "".
template <class Visit>
void forEachPiece(std::string_view text, char delimiter, Visit&& visit) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) end = text.size();
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

// A list item without its first and last character (the quotes around it); "" when it has
// fewer than three characters.
inline std::string_view withoutEnds(std::string_view piece) {
    return piece.size() < 3 ? std::string_view() : piece.substr(1, piece.size() - 2);
}

// The text between the first "[" at or after `from` and the first "]" behind it;
// false when either is missing.
inline bool bracketed(std::string_view text, size_t from, std::string_view& inside) {
    const size_t open = text.find('[', from);
    if (open == std::string_view::npos) return false;
    const size_t close = text.find(']', open + 1);
    if (close == std::string_view::npos) return false;
    inside = text.substr(open + 1, close - open - 1);
    return true;
}

}  // namespace shuttle
