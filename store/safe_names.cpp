#include "store/safe_names.h"

#include <cstdint>
#include <cstring>

#include "base/host_names.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

// The bytes of the name, host bytes put back in place of their spellings.
std::string hostBytesOf(std::string_view name) {
    std::string bytes;
    bytes.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        uint32_t code = 0;
        const size_t length = utf8SequenceAt(name, i, code);
        if (length != 0 && isHostByteCharacter(code))
            bytes.push_back(static_cast<char>(code - 0xF000));
        else
            bytes.append(name.substr(i, length == 0 ? 1 : length));
        i += length == 0 ? 1 : length;
    }
    return bytes;
}

std::string withoutRefusedCharacters(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        uint32_t code = 0;
        const size_t length = utf8SequenceAt(bytes, i, code);
        const bool refused = length == 0 || (byte < 0x20 || std::strchr("\\/:*?\"<>|", byte) != nullptr);
        if (refused)
            out.push_back('_');
        else
            out.append(bytes, i, length);
        i += length == 0 ? 1 : length;
    }
    return out;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isDeviceDigit(std::string_view digit) {
    if (digit.size() == 1) return digit[0] >= '0' && digit[0] <= '9';
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";  // ¹ ² ³
}

// CON, PRN, AUX, NUL, COMn, LPTn: Windows opens the device whatever follows the first dot.
bool isDeviceName(std::string_view stem) {
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    if (stem.size() < 3) return false;
    std::string prefix;
    for (char c : stem.substr(0, 3)) prefix.push_back(asciiUpper(c));
    if (stem.size() == 3) return prefix == "CON" || prefix == "PRN" || prefix == "AUX" || prefix == "NUL";
    return (prefix == "COM" || prefix == "LPT") && isDeviceDigit(stem.substr(3));
}

// Printable ASCII that a drive takes as it is: the name needs no look at its characters.
bool plainAscii(std::string_view name) {
    for (const char c : name) {
        if (c < 0x20 || c > 0x7E || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
    }
    return true;
}

}  // namespace

StoreName safeStoreName(std::string_view name) {
    std::string safe = plainAscii(name) ? std::string(name) : withoutRefusedCharacters(hostBytesOf(name));
    if (safe.empty()) safe = "_";
    if (safe.back() == '.' || safe.back() == ' ') safe.back() = '_';
    const size_t stemEnd = safe.find('.');
    if (isDeviceName(std::string_view(safe).substr(0, stemEnd)))
        safe.insert(stemEnd == std::string::npos ? safe.size() : stemEnd, "_");
    const bool changed = safe != name;
    return StoreName{std::move(safe), changed};
}

}  // namespace shuttle
