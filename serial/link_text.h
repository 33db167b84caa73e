#pragma once
// Text as it travels in a serial message: UTF-16 on the clipboard, UTF-8 on the line.

#include <cstddef>
#include <optional>
#include <string>

namespace shuttle {

// The longest text a sender puts in one message, in UTF-16 units. Each unit takes at most three
// bytes on the line (a surrogate pair takes four for its two units).
constexpr size_t kMaxLinkTextUnits = 3000;
constexpr size_t kMaxLinkTextBytes = 3 * kMaxLinkTextUnits;

// UTF-16 up to its first zero unit to UTF-8: each unit of the Basic Multilingual Plane as one
// to three bytes on its own, a surrogate pair as one four-byte sequence (a lone surrogate as
// its own three bytes).
std::string encodeLinkText(const std::u16string& text);

// UTF-8 up to its first zero byte back to the units it was made of. Besides well-formed UTF-8
// it takes a surrogate written as its own three bytes: a lone one, as encodeLinkText writes it,
// or one half of a pair, as older senders write characters outside the Basic Multilingual
// Plane. Any other byte sequence is no text of this link: nothing, never a replacement.
std::optional<std::u16string> decodeLinkText(const std::string& bytes);

}  // namespace shuttle
