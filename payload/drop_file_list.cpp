// The CF_HDROP block rebuilt from a payload document's file list. The document lies on a drive
// another computer writes, so its paths are checked before they reach the clipboard.

#include <new>
#include <string_view>

#include "base/print.h"
#include "base/trace_text.h"
#include "base/utf8.h"
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

// The list item as a local path: its text with the first character made the local drive letter.
// An item that is no string gives "".
void localPath(const JsonView& item, char driveLetter, std::string& path) {
    item.textInto(path);
    if (!path.empty()) path[0] = driveLetter;
}

constexpr size_t kTracedPathLimit = 260;  // MAX_PATH: a whole path, leaf name included

enum class Verdict { Accepted, NoPath, OutsideStore, NotUtf8 };

// Whether a local path may be pasted; `ascii` tells how, and a non-ASCII path is also given
// in UTF-16.
Verdict judge(const JsonView& item, const std::string& path, const std::string& prefix, bool& ascii,
              std::u16string& widePath) {
    if (!item.is(JsonView::Kind::String)) return Verdict::NoPath;
    if (!isInsideStore(path, prefix)) return Verdict::OutsideStore;
    ascii = isAscii(path);
    if (!ascii && !tryFromUtf8(path, widePath)) return Verdict::NotUtf8;
    return Verdict::Accepted;
}

std::vector<uint8_t> blockOf(const JsonView& list, char driveLetter, const std::string& prefix, size_t bytes,
                             bool wide) {
    std::vector<uint8_t> block;
    block.reserve(kDropFilesHeaderSize + bytes);
    appendHeader(block, wide);
    std::string path;
    std::u16string widePath;
    list.forEachItem([&](const JsonView& item) {
        localPath(item, driveLetter, path);
        bool ascii = true;
        if (judge(item, path, prefix, ascii, widePath) != Verdict::Accepted) return true;
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
        return true;
    });
    if (wide)
        appendUnit(block, 0);
    else
        block.push_back(0);
    return block;
}

const char* refusedAs(Verdict verdict) {
    switch (verdict) {
        case Verdict::NoPath: return "Entry that is no path";
        case Verdict::NotUtf8: return "Path not in UTF-8";
        default: return "Path outside the store";
    }
}

// An item as the document holds it, for the trace: a string's text, anything else as written.
std::string shownItem(const JsonView& item) {
    const std::string shown = item.is(JsonView::Kind::String) ? item.text(kTracedPathLimit + 1)
                                                                : std::string(item.raw().substr(0, kTracedPathLimit + 1));
    return traceText(shown, kTracedPathLimit);
}

}  // namespace

DropFileList buildDropFileList(const JsonView& list, const std::string& localRoot, TraceBudget& trace) {
    if (localRoot.empty()) return {std::nullopt, "this computer has no store drive"};
    if (!list.is(JsonView::Kind::Array)) return {std::nullopt, "the file list is not a list"};
    const char driveLetter = localRoot[0];
    const std::string prefix = storePrefix(driveLetter);
    try {
        // First the checks and the size, then the block itself: nothing but the block is held.
        size_t accepted = 0, refused = 0, narrowBytes = 0, wideUnits = 0;
        bool allAscii = true;
        std::string path;
        std::u16string widePath;
        list.forEachItem([&](const JsonView& item) {
            if (trace.take()) printOut("url: %s\n", shownItem(item).c_str());
            localPath(item, driveLetter, path);
            bool ascii = true;
            const Verdict verdict = judge(item, path, prefix, ascii, widePath);
            if (verdict != Verdict::Accepted) {
                if (trace.take()) printOut("%s ignored: %s\n", refusedAs(verdict),
                                           (verdict == Verdict::NoPath ? shownItem(item) : traceText(path, kTracedPathLimit)).c_str());
                ++refused;
                return true;
            }
            allAscii = allAscii && ascii;
            ++accepted;
            narrowBytes += path.size() + 1;
            wideUnits += (ascii ? path.size() : widePath.size()) + 1;
            return true;
        });
        if (accepted == 0)
            return {std::nullopt, formatText("no path of the file list can be pasted (%s refused)", groupedNumber(refused).c_str())};
        return {allAscii ? blockOf(list, driveLetter, prefix, narrowBytes + 1, false)
                         : blockOf(list, driveLetter, prefix, (wideUnits + 1) * 2, true),
                ""};
    } catch (const std::bad_alloc&) {
        return {std::nullopt, "not enough memory for the file list"};
    }
}

DropFileList buildDropFileList(const JsonView& list, const std::string& localRoot) {
    TraceBudget trace;
    return buildDropFileList(list, localRoot, trace);
}

}  // namespace shuttle
