// The CF_HDROP block rebuilt from a payload document's file list. The document lies on a drive
// another computer writes, so its paths are checked before they reach the clipboard.

#include <new>
#include <string_view>

#include "base/print.h"
#include "payload/list_pieces.h"
#include "payload/payload_document.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr std::string_view kStorageFolderName = "AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage";

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (asciiUpper(text[i]) != asciiUpper(prefix[i])) return false;
    return true;
}

// "." and ".." (and what Windows trims to them, such as ". ." or "...") would lead out of the
// folder.
bool isDotComponent(std::string_view component) {
    return !component.empty() && component.find_first_not_of(". ") == std::string_view::npos;
}

// True when `path` (already carrying the local drive letter) names something inside the store
// folder of that drive: "X:\<storage folder>\" followed by components that cannot climb out,
// and no control characters (a zero byte would end the path early inside the block).
bool isInsideStore(std::string_view path, char driveLetter) {
    std::string prefix;
    prefix.reserve(kStorageFolderName.size() + 4);
    prefix.append(1, driveLetter).append(":\\").append(kStorageFolderName).append("\\");
    if (path.size() <= prefix.size() || !startsWithIgnoringCase(path, prefix)) return false;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7F) return false;
    const std::string_view rest = path.substr(prefix.size());
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = rest.size();
        if (isDotComponent(rest.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

bool isAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

bool isValidUtf8(const std::string& text) {
    std::u16string ignored;
    return tryFromUtf8(text, ignored);
}

void appendUint32(std::vector<uint8_t>& block, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) block.push_back(static_cast<uint8_t>(value >> shift));
}

std::vector<uint8_t> dropFilesHeader(bool wide) {
    std::vector<uint8_t> header;
    appendUint32(header, static_cast<uint32_t>(kDropFilesHeaderSize));  // pFiles
    appendUint32(header, 0);                                            // pt.x
    appendUint32(header, 0);                                            // pt.y
    appendUint32(header, 0);                                            // fNC
    appendUint32(header, wide ? 1 : 0);                                 // fWide
    return header;
}

std::vector<uint8_t> narrowBlock(const std::vector<std::string>& paths) {
    size_t size = kDropFilesHeaderSize + 1;
    for (const std::string& path : paths) size += path.size() + 1;
    std::vector<uint8_t> block = dropFilesHeader(false);
    block.reserve(size);
    for (const std::string& path : paths) {
        block.insert(block.end(), path.begin(), path.end());
        block.push_back(0);
    }
    block.push_back(0);
    return block;
}

void appendUnit(std::vector<uint8_t>& block, char16_t unit) {
    block.push_back(static_cast<uint8_t>(unit & 0xFF));
    block.push_back(static_cast<uint8_t>(unit >> 8));
}

std::vector<uint8_t> wideBlock(const std::vector<std::string>& paths) {
    std::vector<std::u16string> widePaths;
    widePaths.reserve(paths.size());
    size_t size = kDropFilesHeaderSize + 2;
    for (const std::string& path : paths) {
        std::u16string widePath;
        tryFromUtf8(path, widePath);  // checked by the caller
        size += (widePath.size() + 1) * 2;
        widePaths.push_back(std::move(widePath));
    }
    std::vector<uint8_t> block = dropFilesHeader(true);
    block.reserve(size);
    for (const std::u16string& widePath : widePaths) {
        for (char16_t unit : widePath) appendUnit(block, unit);
        appendUnit(block, 0);
    }
    appendUnit(block, 0);
    return block;
}

// The document's file paths with the local drive letter, those that may be pasted.
std::vector<std::string> localPaths(std::string_view list, char driveLetter, bool& allAscii) {
    std::vector<std::string> paths;
    allAscii = true;
    forEachListItem(list, [&](std::string_view piece) {
        if (piece.empty()) return;
        std::string path(withoutEnds(piece));
        printOut("url: %s\n", path.c_str());
        if (!path.empty()) path[0] = driveLetter;
        if (!isInsideStore(path, driveLetter)) {
            printOut("Path outside the store ignored: %s\n", path.c_str());
            return;
        }
        const bool ascii = isAscii(path);
        if (!ascii && !isValidUtf8(path)) {
            printOut("Path not in UTF-8 ignored: %s\n", path.c_str());
            return;
        }
        allAscii = allAscii && ascii;
        paths.push_back(std::move(path));
    });
    return paths;
}

}  // namespace

std::optional<std::vector<uint8_t>> buildDropFileList(const std::string& text, const std::string& localRoot) {
    if (localRoot.empty()) return std::nullopt;
    // The first list of a document written by writeTo is "data", which sorts before "formats";
    // its first item is the file list, so the text starts two characters behind the bracket.
    const size_t open = findOutsideQuotes(text, '[', 0);
    if (open == std::string::npos) return std::nullopt;
    const size_t close = findOutsideQuotes(text, ']', open);
    if (close == std::string::npos) return std::nullopt;
    const std::string_view list =
        close > open + 2 ? std::string_view(text).substr(open + 2, close - open - 2) : std::string_view();
    try {
        bool allAscii = true;
        const std::vector<std::string> paths = localPaths(list, localRoot[0], allAscii);
        return allAscii ? narrowBlock(paths) : wideBlock(paths);
    } catch (const std::bad_alloc&) {
        printOut("Not enough memory for the file list\n");
        return std::nullopt;
    }
}

}  // namespace shuttle
