// readPayloadDocument on arbitrary META data file contents. The first byte chooses what the
// GUID memories hold before the read, so the old/new rules are exercised too.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "payload/payload_document.h"

using namespace shuttle;

namespace {

// A whole document: it ends (before any trailing white space) with a brace outside any string.
bool looksWhole(const std::string& text) {
    const size_t last = text.find_last_not_of(" \t\r\n");
    if (last == std::string::npos || text[last] != '}') return false;
    size_t quotes = 0;
    for (size_t i = 0; i < last; ++i) quotes += text[i] == '"';
    return quotes % 2 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::silenceTrace();
    if (size == 0) return 0;
    const uint8_t mode = bytes[0];
    const std::string text(reinterpret_cast<const char*>(bytes + 1), size - 1);

    GuidMemory memory;
    const std::string known = "{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305}";
    if (mode & 1) memory.recordReceived(known);
    if (mode & 2) memory.recordSent(known);

    std::string guid;
    std::vector<std::string> formats, data;
    const bool isNew = readPayloadDocument(memory, "Store (F:)", text, guid, formats, data);
    const std::string received = memory.lastReceived();
    if (isNew) {
        fuzz::require(isValidGuidText(guid), "a new document has a valid GUID");
        fuzz::require(received == guid, "a new GUID is remembered");
        fuzz::require(memory.lastSent() != guid, "the own GUID is never new");
        fuzz::require(looksWhole(text), "only complete documents are new");
        fuzz::require(readPayloadDocument(memory, "Store (F:)", text, guid, formats, data) == false, "new only once");
    } else if (!received.empty() && received != known) {
        fuzz::require(received == guid, "only the document's GUID is remembered");
        fuzz::require(isValidGuidText(guid), "only valid GUIDs are remembered");
        fuzz::require(looksWhole(text), "only complete documents are remembered");
    }
    return 0;
}
