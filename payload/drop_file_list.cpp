// The CF_HDROP block rebuilt from a payload document's file list. The document lies on a drive
// another computer writes, so its paths are checked before they reach the clipboard.

#include <algorithm>
#include <new>
#include <string_view>

#include "base/print.h"
#include "base/trace_text.h"
#include "base/utf8.h"
#include "payload/list_pieces.h"
#include "payload/payload_document.h"

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

// The prefix every pasted path must start with: "X:\<storage folder>\".
std::string storePrefix(char driveLetter) {
    std::string prefix;
    prefix.reserve(kStorageFolderName.size() + 4);
    prefix.append(1, driveLetter).append(":\\").append(kStorageFolderName).append("\\");
    return prefix;
}

// True when `path` (already carrying the local drive letter) names something inside the store
// folder of that drive: `prefix` followed by components that cannot climb out, and no control
// characters (a zero byte would end the path early inside the block).
bool isInsideStore(std::string_view path, std::string_view prefix) {
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

void appendUint32(std::vector<uint8_t>& block, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) block.push_back(static_cast<uint8_t>(value >> shift));
}

void appendHeader(std::vector<uint8_t>& block, bool wide) {
    appendUint32(block, static_cast<uint32_t>(kDropFilesHeaderSize));  // pFiles
    appendUint32(block, 0);                                            // pt.x
    appendUint32(block, 0);                                            // pt.y
    appendUint32(block, 0);                                            // fNC
    appendUint32(block, wide ? 1 : 0);                                 // fWide
}

void appendUnit(std::vector<uint8_t>& block, char16_t unit) {
    block.push_back(static_cast<uint8_t>(unit & 0xFF));
    block.push_back(static_cast<uint8_t>(unit >> 8));
}

// The list item as a local path: two backslashes standing together are one (what a JSON writer
// makes of one), a leading "\\?\" stays as it is, and the first character becomes the local
// drive letter.
void localPath(std::string_view item, char driveLetter, std::string& path) {
    path.clear();
    path.reserve(item.size());
    size_t i = 0;
    if (item.substr(0, 4) == "\\\\?\\") {
        path.append(item.substr(0, 4));
        i = 4;
    }
    for (; i < item.size(); ++i) {
        path.push_back(item[i]);
        if (item[i] == '\\' && i + 1 < item.size() && item[i + 1] == '\\') ++i;
    }
    if (!path.empty()) path[0] = driveLetter;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The file list of a document: the items of the first list inside the first bracket.
struct FileList {
    std::string_view items;
    bool found = false;
};

FileList fileListOf(const std::string& text) {
    // The first list of a document written by writeTo is "data", which sorts before "formats";
    // its first item is the file list, behind the second bracket.
    const size_t open = findOutsideQuotes(text, '[', 0);
    if (open == std::string::npos) return {};
    const size_t close = findOutsideQuotes(text, ']', open);
    if (close == std::string::npos) return {};
    size_t start = open + 1;
    while (start < close && isBlank(text[start])) ++start;
    start = std::min(start + 1, close);
    return FileList{std::string_view(text).substr(start, close - start), true};
}

// Calls visit(item) for each non-empty item of the list, white space around it removed.
template <class Visit>
void forEachFileItem(std::string_view list, Visit&& visit) {
    forEachListItem(list, [&](std::string_view piece) {
        piece = withoutBlanks(piece);
        if (!piece.empty()) visit(withoutEnds(piece));
    });
}

constexpr size_t kTracedPathLimit = 260;  // MAX_PATH: a whole path, leaf name included

enum class Verdict { Accepted, OutsideStore, NotUtf8 };

// Whether a local path may be pasted; `ascii` tells how, and a non-ASCII path is also given
// in UTF-16.
Verdict judge(const std::string& path, const std::string& prefix, bool& ascii, std::u16string& widePath) {
    if (!isInsideStore(path, prefix)) return Verdict::OutsideStore;
    ascii = isAscii(path);
    if (!ascii && !tryFromUtf8(path, widePath)) return Verdict::NotUtf8;
    return Verdict::Accepted;
}

std::vector<uint8_t> blockOf(std::string_view list, char driveLetter, const std::string& prefix, size_t bytes,
                             bool wide) {
    std::vector<uint8_t> block;
    block.reserve(kDropFilesHeaderSize + bytes);
    appendHeader(block, wide);
    std::string path;
    std::u16string widePath;
    forEachFileItem(list, [&](std::string_view item) {
        localPath(item, driveLetter, path);
        bool ascii = true;
        if (judge(path, prefix, ascii, widePath) != Verdict::Accepted) return;
        if (!wide) {
            block.insert(block.end(), path.begin(), path.end());
            block.push_back(0);
        } else if (ascii) {
            for (char c : path) appendUnit(block, static_cast<char16_t>(c));
            appendUnit(block, 0);
        } else {
            for (char16_t unit : widePath) appendUnit(block, unit);
            appendUnit(block, 0);
        }
    });
    if (wide)
        appendUnit(block, 0);
    else
        block.push_back(0);
    return block;
}

}  // namespace

std::optional<std::vector<uint8_t>> buildDropFileList(const std::string& text, const std::string& localRoot,
                                                      TraceBudget& trace) {
    if (localRoot.empty()) return std::nullopt;
    const FileList list = fileListOf(text);
    if (!list.found) return std::nullopt;
    const char driveLetter = localRoot[0];
    const std::string prefix = storePrefix(driveLetter);
    try {
        // First the checks and the size, then the block itself: nothing but the block is held.
        size_t accepted = 0, refused = 0, narrowBytes = 0, wideUnits = 0;
        bool allAscii = true;
        std::string path;
        std::u16string widePath;
        forEachFileItem(list.items, [&](std::string_view item) {
            if (trace.take()) printOut("url: %s\n", traceText(item, kTracedPathLimit).c_str());
            localPath(item, driveLetter, path);
            bool ascii = true;
            const Verdict verdict = judge(path, prefix, ascii, widePath);
            if (verdict != Verdict::Accepted) {
                if (trace.take())
                    printOut(verdict == Verdict::OutsideStore ? "Path outside the store ignored: %s\n"
                                                               : "Path not in UTF-8 ignored: %s\n",
                             traceText(path, kTracedPathLimit).c_str());
                ++refused;
                return;
            }
            allAscii = allAscii && ascii;
            ++accepted;
            narrowBytes += path.size() + 1;
            wideUnits += (ascii ? path.size() : widePath.size()) + 1;
        });
        if (accepted == 0) {
            trace.printOut("No path of the file list can be pasted (%lu refused); nothing pasted\n",
                           static_cast<unsigned long>(refused));
            return std::nullopt;
        }
        return allAscii ? blockOf(list.items, driveLetter, prefix, narrowBytes + 1, false)
                        : blockOf(list.items, driveLetter, prefix, (wideUnits + 1) * 2, true);
    } catch (const std::bad_alloc&) {
        printOut("Not enough memory for the file list\n");
        return std::nullopt;
    }
}

std::optional<std::vector<uint8_t>> buildDropFileList(const std::string& text, const std::string& localRoot) {
    TraceBudget trace;
    return buildDropFileList(text, localRoot, trace);
}

}  // namespace shuttle
