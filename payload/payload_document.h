#pragma once
// The payload document of USB mode: the JSON text in the META data file at the store drive's
// root that names the payload's GUID, its clipboard formats and their data. Written with
// JsonValue; read back by plain text search, which relies on the compact, unescaped form
// JsonValue writes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/guid_text.h"
#include "base/trace_budget.h"
#include "core/guid_memory.h"
#include "payload/json_value.h"

namespace shuttle {

constexpr size_t kDropFilesHeaderSize = 20;  // DROPFILES: pFiles, pt.x, pt.y, fNC, fWide
// A document's formats beyond this many are not read: no peer knows that many.
constexpr size_t kMaxPayloadFormats = 100;

// Sets the members of `document` (an Object) for a file list: "formats" = ["CF_HDROP"],
// "data" = [[paths...]] in the given order, "GUID" = guidText. Paths are UTF-8.
void assemblePayloadDocument(JsonValue& document, const std::string& guidText,
                             const std::vector<std::string>& utf8Paths);

// A clipboard format whose data travels inside the document: its payload name and the bytes
// of its clipboard block.
struct InlineFormat {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Sets the members of `document` (an Object) for formats carried inline: "formats" = the names
// in the given order, "data" = the base64 of each one's bytes, "GUID" = guidText. Base64 holds
// no quote, comma or bracket, so the reader's text search takes the entries back whole.
void assembleInlineDocument(JsonValue& document, const std::string& guidText, const std::vector<InlineFormat>& formats);

// Reads a META data file's text. True only for a complete document whose GUID `memory` finds
// new and whose "formats" and "data" lists were read; such a GUID is remembered as received
// before the lists are read, so a document whose lists cannot be read is not offered again. A
// document that does not end with its closing brace yet (still being written) is not
// remembered. A GUID field longer than a GUID is invalid as soon as that is seen. `driveName`
// names the drive in the trace. The out-arguments are cleared first; data entry i belongs to
// format i: the first kMaxPayloadFormats formats are read, and only the data entries that
// belong to one of them. What comes from the drive is printed through `trace`, escaped.
bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, const std::string& text,
                         std::string& guid, std::vector<std::string>& formats, std::vector<std::string>& data,
                         TraceBudget& trace);
// The same with a trace budget of its own.
bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, const std::string& text,
                         std::string& guid, std::vector<std::string>& formats, std::vector<std::string>& data);

// The CF_HDROP clipboard block for the file list of a document: a DROPFILES header followed by
// the paths, each zero-terminated, and one more zero. Each path gets the drive letter of
// `localRoot` ("F:\"). Only paths inside this drive's store folder survive, as the document
// comes from another computer; pieces left empty by doubled commas are skipped, and so is white
// space around an item. Two backslashes standing together count as one (as a JSON writer
// escapes them; this program writes none), except in a leading "\\?\". All-ASCII lists are
// single-byte paths (fWide = 0); any other list is UTF-16 (fWide = 1). Nothing when the text
// holds no list, when no path survives (said once in the trace) or when memory runs out. Beside
// the text, only the block and one path are held. Items are printed through `trace`, escaped.
std::optional<std::vector<uint8_t>> buildDropFileList(const std::string& text, const std::string& localRoot,
                                                      TraceBudget& trace);
// The same with a trace budget of its own.
std::optional<std::vector<uint8_t>> buildDropFileList(const std::string& text, const std::string& localRoot);

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string base64Encode(const uint8_t* bytes, size_t size);
// The length base64Encode gives for `size` bytes.
constexpr size_t base64Length(size_t size) { return (size + 2) / 3 * 4; }

// The clipboard block of a text format's decoded data, ending with the format's full
// terminator whatever the data held: CF_UNICODETEXT is padded to whole UTF-16 units and gets a
// zero unit; every other text format gets one zero byte.
std::vector<uint8_t> textClipboardBlock(std::string_view formatName, const std::string& bytes);

// Standard base64 (RFC 4648 alphabet); every other character ("=", line breaks) is skipped and
// trailing bits that make no whole byte are dropped.
std::string base64Decode(const std::string& text);

// Pieces between delimiters, as reading lines with `delimiter` as terminator gives them: a
// trailing delimiter adds no empty piece, adjacent delimiters give an empty piece, "" gives none.
std::vector<std::string> splitString(const std::string& text, char delimiter);

}  // namespace shuttle
