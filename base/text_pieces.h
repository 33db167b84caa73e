#pragma once
// Cutting a text at a delimiter.

#include <string>
#include <vector>

namespace shuttle {

// Pieces between delimiters, as reading lines with `delimiter` as terminator gives them: a
// trailing delimiter adds no empty piece, adjacent delimiters give an empty piece, "" gives none.
std::vector<std::string> splitString(const std::string& text, char delimiter);

}  // namespace shuttle
