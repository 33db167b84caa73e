// readPayloadDocument on arbitrary META data file contents. The first byte chooses what the
// GUID memories hold before the read, so the old/new rules are exercised too.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "payload/payload_document.h"

using namespace shuttle;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::silenceTrace();
    if (size == 0) return 0;
    const uint8_t mode = bytes[0];
    const std::string text(reinterpret_cast<const char*>(bytes + 1), size - 1);

    GuidMemory memory;
    const std::string known = "{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305}";
    if (mode & 1) memory.recordReceived(known);
    if (mode & 2) memory.recordSent(known);

    PayloadDocument document;
    const bool isNew = readPayloadDocument(memory, "Store (F:)", text, document);
    if (!isNew) {
        fuzz::require(memory.lastReceived() == ((mode & 1) ? known : ""), "a refused document is not remembered");
        return 0;
    }
    fuzz::require(isValidGuidText(document.guid), "a new document has a valid GUID");
    fuzz::require(memory.lastReceived() == document.guid, "a new GUID is remembered");
    fuzz::require(memory.lastSent() != document.guid, "the own GUID is never new");
    fuzz::require(readJson(text).value.has_value(), "only whole JSON documents are new");
    fuzz::require(document.formats.size() <= kMaxPayloadFormats, "no more than the formats read");
    fuzz::require(document.data.size() <= document.formats.size(), "no data entry without its format");
    for (const JsonView& entry : document.data) {
        const char* first = entry.raw().data();
        fuzz::require(first >= text.data() && first + entry.raw().size() <= text.data() + text.size(),
                      "entries lie inside the text");
    }
    PayloadDocument again;
    fuzz::require(!readPayloadDocument(memory, "Store (F:)", text, again), "new only once");
    return 0;
}
