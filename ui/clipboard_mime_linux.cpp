#include "ui/clipboard_mime_linux.h"

#include "base/host_names.h"
#include "base/print.h"
#include "base/utf8.h"
#include "payload/format_catalogue.h"
#include "platform/clipboard_memory.h"

namespace shuttle {
namespace {

constexpr std::string_view kStartMarker = "<!--StartFragment-->";
constexpr std::string_view kEndMarker = "<!--EndFragment-->";

// The header with its offsets, every number ten digits wide so that its length is fixed.
std::string cfHtmlHeader(size_t startHtml, size_t endHtml, size_t startFragment, size_t endFragment) {
    return formatText("Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\nStartFragment:%010zu\r\nEndFragment:%010zu\r\n",
                      startHtml, endHtml, startFragment, endFragment);
}

std::optional<size_t> decimalAt(std::string_view text) {
    size_t value = 0;
    size_t digits = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        if (value > (SIZE_MAX - 9) / 10) return std::nullopt;
        value = value * 10 + static_cast<size_t>(text[digits] - '0');
    }
    if (digits == 0) return std::nullopt;
    return value;
}

// The header's offsets: "Name:value" lines at the start of the block.
struct CfHtmlOffsets {
    std::optional<size_t> startHtml, endHtml, startFragment, endFragment;
};

CfHtmlOffsets parseCfHtmlHeader(std::string_view block) {
    CfHtmlOffsets offsets;
    size_t at = 0;
    while (at < block.size() && block[at] != '<') {
        size_t end = block.find('\n', at);
        if (end == std::string_view::npos) end = block.size();
        const std::string_view line = block.substr(at, end - at);
        at = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) break;
        const std::string_view name = line.substr(0, colon);
        const std::optional<size_t> value = decimalAt(line.substr(colon + 1));
        if (name == "StartHTML") offsets.startHtml = value;
        if (name == "EndHTML") offsets.endHtml = value;
        if (name == "StartFragment") offsets.startFragment = value;
        if (name == "EndFragment") offsets.endFragment = value;
    }
    return offsets;
}

std::optional<std::string_view> partBetween(std::string_view block, std::optional<size_t> start,
                                            std::optional<size_t> end) {
    if (!start || !end || *start > *end || *end > block.size()) return std::nullopt;
    return block.substr(*start, *end - *start);
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isUnreservedPathByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

// The lines of a text, each without its line break and trailing blanks.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string utf8OfUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first));
    }
    return toUtf8(units);
}

}  // namespace

uint32_t LinuxClipboardFormats::registerFormat(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (name.empty()) return 0;
    const auto known = ids_.find(name);
    if (known != ids_.end()) return known->second;
    if (nextId_ > 0xFFFF) return 0;
    MimeFormat format;
    std::string utf8;
    if (name == registeredFormats[0].systemName) {
        format.role = MimeRole::Html;
    } else if (name == registeredFormats[1].systemName) {
        format.role = MimeRole::Rtf;
    } else if (name == privacyMarkerNames[static_cast<size_t>(PrivacyMarker::ExcludeFromMonitoring)]) {
        format.role = MimeRole::SecretMark;
    } else if (tryToUtf8(name, utf8)) {
        format = {MimeRole::Opaque, "application/x-qt-windows-mime;value=\"" + utf8 + "\""};
    } else {
        return 0;
    }
    const uint32_t id = nextId_++;
    ids_.emplace(name, id);
    registered_.emplace(id, std::move(format));
    return id;
}

MimeFormat LinuxClipboardFormats::formatOf(uint32_t id) const {
    if (id == kFormatUnicodeText) return {MimeRole::UnicodeText, {}};
    if (id == kFormatDib) return {MimeRole::Picture, {}};
    if (id == kFormatHdrop) return {MimeRole::FileList, {}};
    if (id == formatIdFromName("CF_TEXT", ClipboardFormatIds())) return {MimeRole::AnsiText, {}};
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = registered_.find(id);
    return found != registered_.end() ? found->second : MimeFormat{};
}

std::string cfHtmlOfHtml(std::string_view html) {
    const size_t headerSize = cfHtmlHeader(0, 0, 0, 0).size();
    const size_t marked = html.find(kStartMarker);
    const size_t markedEnd = marked == std::string_view::npos ? marked : html.find(kEndMarker, marked);
    std::string body;
    size_t startFragment = marked + kStartMarker.size();
    size_t endFragment = markedEnd;
    if (markedEnd == std::string_view::npos) {
        body.append(kStartMarker).append(html).append(kEndMarker);
        startFragment = kStartMarker.size();
        endFragment = kStartMarker.size() + html.size();
    } else {
        body.assign(html);
    }
    return cfHtmlHeader(headerSize, headerSize + body.size(), headerSize + startFragment, headerSize + endFragment) +
           body;
}

std::optional<std::string> htmlOfCfHtml(std::string_view block) {
    block = block.substr(0, block.find('\0'));
    const CfHtmlOffsets offsets = parseCfHtmlHeader(block);
    std::optional<std::string_view> part = partBetween(block, offsets.startHtml, offsets.endHtml);
    if (!part) part = partBetween(block, offsets.startFragment, offsets.endFragment);
    if (!part) return std::nullopt;
    std::string_view html = *part;
    if (html.size() >= kStartMarker.size() + kEndMarker.size() && startsWith(html, kStartMarker) &&
        endsWith(html, kEndMarker))
        html = html.substr(kStartMarker.size(), html.size() - kStartMarker.size() - kEndMarker.size());
    return std::string(html);
}

std::optional<std::string> htmlAsUtf8(std::string_view offered) {
    const bool little = startsWith(offered, "\xFF\xFE");
    if (!little && !startsWith(offered, "\xFE\xFF")) return std::string(offered);
    std::string utf8 = utf8OfUtf16(offered.substr(2), !little);
    if (utf8.empty() && offered.size() > 3) return std::nullopt;
    return utf8;
}

std::string fileUriOfHostPath(std::string_view hostPath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : hostPath) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreservedPathByte(byte)) {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[byte >> 4]);
            uri.push_back(kHex[byte & 0xF]);
        }
    }
    return uri;
}

std::optional<std::string> hostPathOfFileUri(std::string_view uri) {
    if (uri.size() < 6 || !equalsIgnoringCase(uri.substr(0, 5), "file:")) return std::nullopt;
    std::string_view rest = uri.substr(5);
    if (startsWith(rest, "//")) {
        const size_t pathStart = rest.find('/', 2);
        if (pathStart == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(2, pathStart - 2);
        if (!host.empty() && !equalsIgnoringCase(host, "localhost")) return std::nullopt;
        rest = rest.substr(pathStart);
    }
    std::optional<std::string> path = percentDecoded(rest);
    if (!path || path->empty() || path->front() != '/') return std::nullopt;
    return path;
}

std::string uriListOfHostPaths(const std::vector<std::string>& hostPaths) {
    std::string list;
    for (const std::string& path : hostPaths) list.append(fileUriOfHostPath(path)).append("\r\n");
    return list;
}

std::vector<std::string> hostPathsOfUriList(std::string_view list) {
    std::vector<std::string> paths;
    for (std::string_view line : linesOf(list)) {
        if (line.empty() || line.front() == '#') continue;
        if (std::optional<std::string> path = hostPathOfFileUri(line)) paths.push_back(std::move(*path));
    }
    return paths;
}

std::string gnomeCopiedFilesOf(const std::vector<std::string>& hostPaths) {
    std::string text = "copy";
    for (const std::string& path : hostPaths) text.append("\n").append(fileUriOfHostPath(path));
    return text;
}

std::vector<std::string> hostPathsOfGnomeCopiedFiles(std::string_view text) {
    const std::vector<std::string_view> lines = linesOf(text);
    if (lines.empty() || (lines.front() != "copy" && lines.front() != "cut")) return {};
    std::vector<std::string> paths;
    for (size_t i = 1; i < lines.size(); ++i)
        if (std::optional<std::string> path = hostPathOfFileUri(lines[i])) paths.push_back(std::move(*path));
    return paths;
}

std::vector<std::u16string> dropListOfHostPaths(const std::vector<std::string>& hostPaths) {
    std::vector<std::u16string> list;
    for (const std::string& path : hostPaths) {
        std::optional<std::string> windowsPath = windowsPathOfHostPath(path);
        std::u16string wide;
        if (windowsPath && tryFromUtf8(*windowsPath, wide)) list.push_back(std::move(wide));
    }
    return list;
}

std::vector<std::string> hostPathsOfDropFiles(const std::vector<uint8_t>& block, const HostPathOf& hostPathOf) {
    std::vector<std::string> paths;
    const std::optional<std::vector<std::u16string>> entries = parseDropFilesBlock(block);
    if (!entries) return paths;
    for (const std::u16string& entry : *entries) {
        std::string windowsPath;
        if (!tryToUtf8(entry, windowsPath)) continue;
        if (std::optional<std::string> path = hostPathOf(windowsPath)) paths.push_back(std::move(*path));
    }
    return paths;
}

}  // namespace shuttle
