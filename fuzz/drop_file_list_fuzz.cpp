// buildDropFileList on arbitrary JSON text: a document's first data entry, or the text's value
// itself. Whatever the text, every path in the block must lie inside the local store folder, the
// block must be well formed, and a block is made only for a list that holds at least one such
// path; otherwise the refusal says why.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "payload/payload_document.h"
#include "base/utf8.h"

using namespace shuttle;

namespace {

const std::string kPrefix = "F:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\";

uint32_t readUint32(const std::vector<uint8_t>& block, size_t at) {
    return block[at] | (block[at + 1] << 8) | (block[at + 2] << 16) | (uint32_t(block[at + 3]) << 24);
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

void checkPath(const std::string& path) {
    fuzz::require(path.size() > kPrefix.size(), "path longer than the store prefix");
    for (size_t i = 0; i < kPrefix.size(); ++i) {
        fuzz::require(upper(path[i]) == upper(kPrefix[i]), "path starts with the store prefix");
    }
    size_t start = kPrefix.size();
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        const std::string component = path.substr(start, end - start);
        fuzz::require(component != ".." && component != ".", "no dot components");
        start = end + 1;
    }
    for (unsigned char c : path) fuzz::require(c >= 0x20, "no control characters");
}

void checkNarrow(const std::vector<uint8_t>& block) {
    std::string list(block.begin() + 20, block.end());
    fuzz::require(list.size() >= 2 && list.back() == '\0', "at least one path, and the list ends with zero");
    fuzz::require(list[0] != '\0', "no empty first path");
    fuzz::require(list[list.size() - 2] == '\0', "list ends with two zeros");
    size_t start = 0;
    while (start + 1 < list.size()) {
        size_t end = list.find('\0', start);
        checkPath(list.substr(start, end - start));
        start = end + 1;
    }
}

void checkWide(const std::vector<uint8_t>& block) {
    fuzz::require(block.size() % 2 == 0, "whole UTF-16 units");
    std::u16string list;
    for (size_t i = 20; i + 1 < block.size(); i += 2) list.push_back(char16_t(block[i] | (block[i + 1] << 8)));
    fuzz::require(list.size() >= 3 && list[0] != 0, "at least one path");
    fuzz::require(list.back() == 0 && list[list.size() - 2] == 0, "wide list ends with two zeros");
    size_t start = 0;
    while (start + 1 < list.size()) {
        size_t end = list.find(char16_t(0), start);
        std::string path;
        fuzz::require(tryToUtf8(list.substr(start, end - start), path), "wide paths are well formed");
        checkPath(path);
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::silenceTrace();
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    const JsonReading reading = readJson(text);
    if (!reading.value) return 0;
    JsonView list = *reading.value;
    if (const std::optional<JsonView> data = list.member("data"))
        data->forEachItem([&](const JsonView& first) { return list = first, false; });
    const DropFileList built = buildDropFileList(list, "F:\\");
    fuzz::require(built.block.has_value() == built.refusal.empty(), "a block or a reason");
    const auto& block = built.block;
    if (!block) return 0;
    fuzz::require(block->size() >= 21, "header and terminator");
    fuzz::require(readUint32(*block, 0) == 20, "pFiles");
    fuzz::require(readUint32(*block, 4) == 0 && readUint32(*block, 8) == 0 && readUint32(*block, 12) == 0, "pt, fNC");
    const uint32_t wide = readUint32(*block, 16);
    fuzz::require(wide == 0 || wide == 1, "fWide");
    if (wide)
        checkWide(*block);
    else
        checkNarrow(*block);
    return 0;
}
