#pragma once
// The one rule for GUID texts: registry form, an opening brace, 8-4-4-4-12 upper-case
// hexadecimal digits separated by hyphens and a closing brace, 38 characters in all.

#include <cstddef>
#include <string_view>

namespace shuttle {

constexpr size_t kGuidTextSize = 38;

bool isValidGuidText(std::string_view text);

}  // namespace shuttle
