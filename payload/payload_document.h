#pragma once
// The payload document of USB mode: the JSON text in the META data file at the store drive's
// root that names the payload's GUID, its clipboard formats and their data. Written with
// JsonValue; read back with the JSON reader, which takes that unescaped form and standard JSON.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/guid_text.h"
#include "base/trace_budget.h"
#include "core/guid_memory.h"
#include "payload/json_reader.h"
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
// in the given order, "data" = the base64 of each one's bytes, "GUID" = guidText.
void assembleInlineDocument(JsonValue& document, const std::string& guidText, const std::vector<InlineFormat>& formats);

// A payload document as read: its GUID, the names of its formats, and the data entry of each,
// still inside the text it was read from (which must outlive it).
struct PayloadDocument {
    std::string guid;                  // at most a GUID's length and one more character
    std::vector<std::string> formats;  // "" for an entry that is no string
    std::vector<JsonView> data;        // entry i belongs to format i; never more than the formats
};

// Reads a META data file's text, members by name in any order, escaped or as this program
// writes them (json_reader.h). True only for a whole JSON object whose "GUID" `memory` finds new
// and which holds a "data" list and a "formats" list; only then is the GUID remembered as
// received. A GUID longer than a GUID is invalid. A text that ends early (still being written)
// says "incomplete data"; any other refusal says why, in one line. The first kMaxPayloadFormats
// formats are read, and only the data entries that belong to one of them. `driveName` names the
// drive in the trace; what comes from the drive is printed through `trace`, escaped.
bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, std::string_view text,
                         PayloadDocument& document, TraceBudget& trace);
// The same with a trace budget of its own.
bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, std::string_view text,
                         PayloadDocument& document);

// The CF_HDROP clipboard block of a file list, or why there is none.
struct DropFileList {
    std::optional<std::vector<uint8_t>> block;
    std::string refusal;  // when there is no block
};

// The CF_HDROP block for a document's file list (the "data" entry of CF_HDROP, a list of paths):
// a DROPFILES header followed by the paths, each zero-terminated, and one more zero. Each path
// gets the drive letter of `localRoot` ("F:\"). Only paths inside this drive's store folder
// survive, as the document comes from another computer; an entry that is no string is refused
// too. All-ASCII lists are single-byte paths (fWide = 0); any other list is UTF-16 (fWide = 1).
// No block when the entry is no list, when no path survives or when memory runs out. Beside the
// text, only the block and one path are held. Items are printed through `trace`, escaped.
DropFileList buildDropFileList(const JsonView& list, const std::string& localRoot, TraceBudget& trace);
// The same with a trace budget of its own.
DropFileList buildDropFileList(const JsonView& list, const std::string& localRoot);

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string base64Encode(const uint8_t* bytes, size_t size);
// The length base64Encode gives for `size` bytes.
constexpr size_t base64Length(size_t size) { return (size + 2) / 3 * 4; }

// Standard base64 (RFC 4648 alphabet); every other character ("=", line breaks) is skipped and
// trailing bits that make no whole byte are dropped.
std::string base64Decode(std::string_view text);

// The clipboard block of a format carried inline, from its base64 data: the bytes exactly for
// a picture; a text format ends with its full terminator whatever the data held (CF_UNICODETEXT
// padded to whole UTF-16 units and a zero unit, every other one a zero byte).
std::vector<uint8_t> inlineClipboardBlock(std::string_view formatName, std::string_view base64);

}  // namespace shuttle
