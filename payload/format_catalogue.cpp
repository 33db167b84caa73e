#include "payload/format_catalogue.h"

#include <algorithm>
#include <string>

namespace shuttle {

ClipboardFormatIds ClipboardFormatIds::registerAll(ClipboardFormatRegistry& registry) {
    ClipboardFormatIds result;
    for (size_t i = 0; i < registeredFormats.size(); ++i)
        result.ids_[i] = registry.registerFormat(std::u16string(registeredFormats[i].systemName));
    for (size_t i = 0; i < privacyMarkerNames.size(); ++i)
        result.markers_[i] = registry.registerFormat(std::u16string(privacyMarkerNames[i]));
    return result;
}

uint32_t ClipboardFormatIds::idOfPayloadName(std::string_view payloadName) const {
    for (size_t i = 0; i < registeredFormats.size(); ++i)
        if (registeredFormats[i].payloadName == payloadName) return ids_[i];
    return 0;
}

std::string_view standardFormatName(uint32_t id) {
    return id < standardFormatNames.size() ? standardFormatNames[id] : std::string_view();
}

uint32_t formatIdFromName(std::string_view name, const ClipboardFormatIds& ids) {
    for (uint32_t id = 0; id < standardFormatNames.size(); ++id)
        if (standardFormatNames[id] == name) return id;
    return ids.idOfPayloadName(name);
}

bool isTextFormat(std::string_view name) {
    for (std::string_view textName : textFormatNames)
        if (textName == name) return true;
    return false;
}

bool isPlausibleDib(std::string_view bytes) {
    auto byteAt = [&](size_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])); };
    auto u16At = [&](size_t at) { return byteAt(at) | (byteAt(at + 1) << 8); };
    if (bytes.size() < 12) return false;
    const uint32_t headerSize = u16At(0) | (u16At(2) << 16);
    // BITMAPCOREHEADER, BITMAPINFOHEADER and its V2 to V5 extensions.
    constexpr std::array<uint32_t, 6> knownSizes{12, 40, 52, 56, 108, 124};
    if (std::find(knownSizes.begin(), knownSizes.end(), headerSize) == knownSizes.end()) return false;
    if (headerSize > bytes.size()) return false;
    const size_t planesAt = headerSize == 12 ? 8 : 12;
    return u16At(planesAt) == 1;
}

}  // namespace shuttle
