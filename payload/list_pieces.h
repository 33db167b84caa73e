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

// Where `wanted` next stands outside a quoted name, searching from `from` (which must lie
// outside quotes); npos when it does not. writeTo escapes nothing and Windows names hold no
// quote, so quotes pair up, and a comma or bracket inside a name ("a, b [2].txt") is part of it.
inline size_t findOutsideQuotes(std::string_view text, char wanted, size_t from) {
    bool quoted = false;
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (!quoted && text[i] == wanted)
            return i;
    }
    return std::string_view::npos;
}

// forEachPiece for a document's lists: only commas outside the quoted items separate them.
template <class Visit>
void forEachListItem(std::string_view list, Visit&& visit) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = findOutsideQuotes(list, ',', start);
        if (end == std::string_view::npos) end = list.size();
        visit(list.substr(start, end - start));
        start = end + 1;
    }
}

// `piece` without the JSON white space around it.
inline std::string_view withoutBlanks(std::string_view piece) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t first = piece.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return std::string_view();
    return piece.substr(first, piece.find_last_not_of(kBlanks) - first + 1);
}

// A list item without its first and last character (the quotes around it); "" when it has
// fewer than three characters.
inline std::string_view withoutEnds(std::string_view piece) {
    return piece.size() < 3 ? std::string_view() : piece.substr(1, piece.size() - 2);
}

// The text between the first "[" at or after `from` and the first "]" behind it, both outside
// quoted names; false when either is missing.
inline bool bracketed(std::string_view text, size_t from, std::string_view& inside) {
    const size_t open = findOutsideQuotes(text, '[', from);
    if (open == std::string_view::npos) return false;
    const size_t close = findOutsideQuotes(text, ']', open + 1);
    if (close == std::string_view::npos) return false;
    inside = text.substr(open + 1, close - open - 1);
    return true;
}

}  // namespace shuttle
