#pragma once
// The payload document of USB mode: the JSON text in the META data file at the store drive's
// root that names the payload's GUID, its clipboard formats and their data. Written with
// JsonValue; read back by plain text search, which relies on the compact, unescaped form
// JsonValue writes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/guid_text.h"
#include "core/guid_memory.h"
#include "payload/json_value.h"

namespace shuttle {

constexpr size_t kDropFilesHeaderSize = 20;  // DROPFILES: pFiles, pt.x, pt.y, fNC, fWide

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
// remembered. `driveName` names the drive in the trace. The out-arguments are cleared first;
// data entry i belongs to format i.
bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, const std::string& text,
                         std::string& guid, std::vector<std::string>& formats, std::vector<std::string>& data);

// The CF_HDROP clipboard block for the file list of a document: a DROPFILES header followed by
// the paths, each zero-terminated, and one more zero. Each path gets the drive letter of
// `localRoot` ("F:\"). Only paths inside this drive's store folder survive, as the document
// comes from another computer; pieces left empty by doubled commas are skipped. All-ASCII lists
// are single-byte paths (fWide = 0); any other list is UTF-16 (fWide = 1). Nothing when the text
// holds no list or memory runs out.
std::optional<std::vector<uint8_t>> buildDropFileList(const std::string& text, const std::string& localRoot);

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string base64Encode(const uint8_t* bytes, size_t size);
// The length base64Encode gives for `size` bytes.
constexpr size_t base64Length(size_t size) { return (size + 2) / 3 * 4; }

// Standard base64 (RFC 4648 alphabet); every other character ("=", line breaks) is skipped and
// trailing bits that make no whole byte are dropped.
std::string base64Decode(const std::string& text);

// Pieces between delimiters, as reading lines with `delimiter` as terminator gives them: a
// trailing delimiter adds no empty piece, adjacent delimiters give an empty piece, "" gives none.
std::vector<std::string> splitString(const std::string& text, char delimiter);

}  // namespace shuttle
