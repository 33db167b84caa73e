#pragma once
// The clipboard of a Linux desktop speaks MIME types; the exchange speaks Windows clipboard
// formats. These are the pure translations between the two, used by the Qt clipboard at its
// boundary so that the exchange stays as it is:
//   CF_UNICODETEXT        text/plain;charset=utf-8
//   "HTML Format"         text/html, the Windows header built and stripped
//   "Rich Text Format"    text/rtf
//   CF_DIB                image/png (the pixels, in ui/dib_image_qt.h)
//   CF_HDROP              text/uri-list and x-special/gnome-copied-files
//   the "exclude from monitoring" marker   x-kde-passwordManagerHint = "secret"
// Any other registered format travels under Qt's name for a Windows format,
// application/x-qt-windows-mime;value="<name>".

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clipboard_formats.h"

namespace shuttle {

// What a clipboard format id stands for on this desktop.
enum class MimeRole {
    None,        // nothing here carries it
    UnicodeText,
    AnsiText,    // CF_TEXT: only pasted, as text, when no CF_UNICODETEXT comes with it
    Html,
    Rtf,
    Picture,
    FileList,
    SecretMark,  // present when the owner marked the content secret
    Opaque,      // the block as it is, under `mimeType`
};

struct MimeFormat {
    MimeRole role = MimeRole::None;
    std::string mimeType;  // Opaque only
};

inline constexpr char kMimeUtf8Text[] = "text/plain;charset=utf-8";
inline constexpr char kMimeHtml[] = "text/html";
inline constexpr char kMimeRtf[] = "text/rtf";
inline constexpr char kMimePng[] = "image/png";
inline constexpr char kMimeUriList[] = "text/uri-list";
inline constexpr char kMimeGnomeFiles[] = "x-special/gnome-copied-files";
inline constexpr char kMimePasswordHint[] = "x-kde-passwordManagerHint";
// The types another program may offer a rich text under, in the order they are looked at.
inline constexpr const char* kRtfReadTypes[] = {"text/rtf", "application/rtf", "text/richtext"};

// The clipboard formats of a Linux computer: the standard ids keep their Windows numbers, and
// each registered name gets an id from 0xC000, as Windows hands them out.
class LinuxClipboardFormats final : public ClipboardFormatRegistry {
public:
    uint32_t registerFormat(const std::u16string& name) override;
    MimeFormat formatOf(uint32_t id) const;

private:
    mutable std::mutex mutex_;
    std::map<uint32_t, MimeFormat> registered_;
    std::map<std::u16string, uint32_t> ids_;
    uint32_t nextId_ = 0xC000;
};

// The "HTML Format" block (without its terminator) that carries `html`: the Windows header with
// its four offsets, then the HTML, with fragment markers around it unless it has its own.
std::string cfHtmlOfHtml(std::string_view html);
// The HTML an "HTML Format" block carries (up to its first zero byte): the part its StartHTML
// and EndHTML name, else its fragment, without the fragment markers cfHtmlOfHtml adds; nothing
// when no offset pair fits the block.
std::optional<std::string> htmlOfCfHtml(std::string_view block);
// text/html as a program offered it, as UTF-8: a UTF-16 text (it begins with its byte-order
// mark) is converted; nothing when that conversion fails.
std::optional<std::string> htmlAsUtf8(std::string_view offered);

// "file:///home/me/a%20b": every byte but letters, digits, "-._~" and "/" percent-escaped.
std::string fileUriOfHostPath(std::string_view hostPath);
// The host path of a file URI on this computer ("file:///..." or "file://localhost/..."); nothing
// for another scheme or host, a bad escape, an escaped NUL or a relative path.
std::optional<std::string> hostPathOfFileUri(std::string_view uri);

// text/uri-list: each URI followed by CRLF.
std::string uriListOfHostPaths(const std::vector<std::string>& hostPaths);
// The local files a URI list names, in order: comment lines, blank lines and URIs that are no
// local files are skipped.
std::vector<std::string> hostPathsOfUriList(std::string_view list);
// x-special/gnome-copied-files: "copy", then one URI a line, without a final line break.
std::string gnomeCopiedFilesOf(const std::vector<std::string>& hostPaths);
// The local files of a gnome-copied-files text whose first line is "copy" or "cut"; nothing
// else counts.
std::vector<std::string> hostPathsOfGnomeCopiedFiles(std::string_view text);

// A file list as the copy path reads it: each host path as a Windows path on the host root's
// drive (base/host_names.h).
std::vector<std::u16string> dropListOfHostPaths(const std::vector<std::string>& hostPaths);
// The host paths of a CF_HDROP block's entries, each through `hostPathOf` (a Windows path on a
// drive of this computer to its host path); entries it refuses are left out.
using HostPathOf = std::function<std::optional<std::string>(const std::string& windowsPath)>;
std::vector<std::string> hostPathsOfDropFiles(const std::vector<uint8_t>& block, const HostPathOf& hostPathOf);

}  // namespace shuttle
