#pragma once
// The clipboard formats the exchange knows, by name. Payloads name formats by text because the
// ids of registered formats differ from one computer to the next.

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/clipboard_formats.h"

namespace shuttle {

constexpr uint32_t kFormatUnicodeText = 13;  // CF_UNICODETEXT
constexpr uint32_t kFormatHdrop = 15;        // CF_HDROP
constexpr uint32_t kFormatDib = 8;           // CF_DIB

// Position = standard clipboard format id.
inline constexpr std::array<std::string_view, 18> standardFormatNames{
    "",         "CF_TEXT",    "CF_BITMAP",  "CF_METAFILEPICT", "CF_SYLK",        "CF_DIF",
    "CF_TIFF",  "CF_OEMTEXT", "CF_DIB",     "CF_PALETTE",      "CF_PENDATA",     "CF_RIFF",
    "CF_WAVE",  "CF_UNICODETEXT", "CF_ENHMETAFILE", "CF_HDROP", "CF_LOCALE",     "CF_DIBV5",
};

struct RegisteredFormat {
    std::string_view payloadName;     // as written in a payload document
    std::u16string_view systemName;   // as registered with the clipboard
};

inline constexpr std::array<RegisteredFormat, 4> registeredFormats{{
    {"CF_HTML", u"HTML Format"},
    {"CF_RTF", u"Rich Text Format"},
    {"CF_RTFNOOBJS", u"Rich Text Format Without Objects"},
    {"CF_RETEXTOBJ", u"RichEdit Text and Objects"},
}};

// Formats whose data travels as base64 text, in search order.
inline constexpr std::array<std::string_view, 7> textFormatNames{
    "CF_TEXT", "CF_OEMTEXT", "CF_UNICODETEXT", "CF_HTML", "CF_RTF", "CF_RTFNOOBJS", "CF_RETEXTOBJ",
};

// Registered formats that password managers and other programs add to mark content that must
// not leave this computer.
enum class PrivacyMarker : size_t {
    ExcludeFromMonitoring,  // present: no clipboard monitor may process the content
    CanUploadToCloud,       // a DWORD; 0: the content must not be synced to other devices
    ViewerIgnore,           // present: clipboard viewers ignore the content
};
inline constexpr std::array<std::u16string_view, 3> privacyMarkerNames{
    u"ExcludeClipboardContentFromMonitorProcessing",
    u"CanUploadToCloudClipboard",
    u"Clipboard Viewer Ignore",
};

// The ids this computer's clipboard gave the four registered formats, in the order of
// `registeredFormats`, and the three privacy markers. Made once at start-up and passed to
// whoever converts names or looks for markers; a format whose registration failed keeps id 0.
// A default-constructed object has registered nothing.
class ClipboardFormatIds {
public:
    ClipboardFormatIds() = default;
    static ClipboardFormatIds registerAll(ClipboardFormatRegistry& registry);

    // The local id of a registered format's payload name; 0 for any other name.
    uint32_t idOfPayloadName(std::string_view payloadName) const;
    // The local id of a privacy marker; 0 when its registration failed.
    uint32_t markerId(PrivacyMarker marker) const { return markers_[static_cast<size_t>(marker)]; }

private:
    std::array<uint32_t, 4> ids_{};
    std::array<uint32_t, 3> markers_{};
};

// The name of a standard format id; "" for ids outside the table.
std::string_view standardFormatName(uint32_t id);

// The local clipboard format id of a payload format name (exact, case-sensitive); 0 = unknown.
uint32_t formatIdFromName(std::string_view name, const ClipboardFormatIds& ids);

// Whether the name is one of `textFormatNames`.
bool isTextFormat(std::string_view name);

}  // namespace shuttle
