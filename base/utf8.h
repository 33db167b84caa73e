#pragma once
// Strict conversions between UTF-16 (the platform's wide text) and UTF-8 (paths and texts in
// the payload document and the store).

#include <cstdint>
#include <string>
#include <string_view>

namespace shuttle {

// UTF-16 to UTF-8; an unpaired surrogate makes the conversion fail and gives "".
std::string toUtf8(const std::u16string& wide);
// UTF-8 to UTF-16; ill-formed input writes "Error converting UTF-8 to wide string" to the error
// stream and gives "".
std::u16string fromUtf8(const std::string& utf8);

// The same conversions reporting failure instead of printing.
bool tryToUtf8(const std::u16string& wide, std::string& out);
bool tryFromUtf8(const std::string& utf8, std::u16string& out);

// The well-formed UTF-8 sequence starting at `index`: its length with its code point in `code`,
// or 0 when the bytes there are not one (a stray, overlong or truncated sequence, a surrogate).
size_t utf8SequenceAt(std::string_view text, size_t index, uint32_t& code);

// One code point (up to U+10FFFF) appended in UTF-8, or in UTF-16 as one unit or a surrogate pair.
void appendUtf8(std::string& out, uint32_t code);
void appendUtf16(std::u16string& out, uint32_t code);

}  // namespace shuttle
