#include "payload/format_catalogue.h"

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

}  // namespace shuttle
