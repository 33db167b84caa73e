#include "base/host_names.h"

#include <cstdint>
#include <cstring>

#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr uint32_t kHostByteBase = 0xF000;

bool isWindowsForbiddenAscii(unsigned char c) { return c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr; }

void appendHostByte(std::string& out, unsigned char byte) { appendUtf8(out, kHostByteBase + byte); }

bool isDotsAndSpaces(std::string_view component) {
    return !component.empty() && component.find_first_not_of(". ") == std::string_view::npos;
}

bool hasControlCharacter(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

std::string windowsNameOfHostName(std::string_view hostName) {
    std::string out;
    out.reserve(hostName.size());
    for (size_t i = 0; i < hostName.size();) {
        const auto byte = static_cast<unsigned char>(hostName[i]);
        uint32_t code = 0;
        const size_t length = byte < 0x80 ? 1 : utf8SequenceAt(hostName, i, code);
        if (byte < 0x80) {
            if (isWindowsForbiddenAscii(byte))
                appendHostByte(out, byte);
            else
                out.push_back(static_cast<char>(byte));
        } else if (length == 0) {
            appendHostByte(out, byte);
        } else if (isHostByteCharacter(code)) {
            for (size_t k = 0; k < length; ++k) appendHostByte(out, static_cast<unsigned char>(hostName[i + k]));
        } else {
            out.append(hostName.substr(i, length));
        }
        i += length == 0 ? 1 : length;
    }
    return out;
}

std::optional<std::string> hostNameOfWindowsName(std::string_view windowsName) {
    std::string out;
    out.reserve(windowsName.size());
    for (size_t i = 0; i < windowsName.size();) {
        uint32_t code = 0;
        const size_t length = utf8SequenceAt(windowsName, i, code);
        if (length == 0) return std::nullopt;
        if (isHostByteCharacter(code))
            out.push_back(static_cast<char>(code - kHostByteBase));
        else
            out.append(windowsName.substr(i, length));
        i += length;
    }
    if (out.find_first_of(std::string_view("/\0", 2)) != std::string::npos) return std::nullopt;
    return out;
}

std::optional<std::string> windowsPathOfHostPath(std::string_view hostPath, char letter) {
    if (hostPath.empty() || hostPath[0] != '/') return std::nullopt;
    std::string out{letter, ':'};
    size_t start = 1;
    while (start <= hostPath.size()) {
        size_t end = hostPath.find('/', start);
        if (end == std::string_view::npos) end = hostPath.size();
        if (end > start) out.append("\\").append(windowsNameOfHostName(hostPath.substr(start, end - start)));
        start = end + 1;
    }
    if (out.size() == 2) out.push_back('\\');
    return out;
}

std::optional<std::string> hostPathInFolder(std::string_view windowsPath, std::string_view driveFolder,
                                            bool hostNames) {
    if (windowsPath.size() < 2 || windowsPath[1] != ':') return std::nullopt;
    std::string out(driveFolder);
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    const std::string_view rest = windowsPath.substr(2);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view component = rest.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        if ((!hostNames && isDotsAndSpaces(component)) || hasControlCharacter(component)) return std::nullopt;
        std::optional<std::string> name = hostNames ? hostNameOfWindowsName(component) : std::string(component);
        if (!name || *name == "." || *name == "..") return std::nullopt;
        if (out.empty() || out.back() != '/') out.push_back('/');
        out += *name;
    }
    return out;
}

}  // namespace shuttle
