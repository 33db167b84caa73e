// Assembling the payload document, reading it back, and the GUID rules that decide whether a
// document is new.

#include "payload/payload_document.h"

#include <algorithm>
#include <string_view>

#include "base/print.h"
#include "base/trace_text.h"
#include "payload/format_catalogue.h"
#include "payload/list_pieces.h"

namespace shuttle {
namespace {

constexpr std::string_view kGuidMarker = "\"GUID\":";
constexpr std::string_view kFormatsMarker = "\"formats\":";
constexpr std::string_view kDataMarker = "\"data\":";

// The GUID value behind the "GUID" marker: from the quote after the marker to the next quote,
// or to the end of the text when there is no closing quote. No more than a GUID's length is
// ever looked at: a longer field is invalid, whatever follows.
struct GuidField {
    std::string text;        // at most kGuidTextSize characters
    bool closed = false;     // the closing quote was found
    bool tooLong = false;    // more than kGuidTextSize characters stand before any closing quote
    size_t closeAt = 0;      // where the closing quote is, when closed
};

bool findGuidField(const std::string& text, GuidField& field) {
    const size_t marker = text.find(kGuidMarker);
    if (marker == std::string::npos) return false;
    const size_t open = text.find('"', marker + kGuidMarker.size());
    if (open == std::string::npos) return true;  // a marker with no value: an empty, invalid GUID
    const std::string_view value = std::string_view(text).substr(open + 1, kGuidTextSize + 1);
    const size_t close = value.find('"');
    field.closed = close != std::string_view::npos;
    field.tooLong = !field.closed && value.size() > kGuidTextSize;
    field.closeAt = field.closed ? open + 1 + close : text.size();
    field.text = std::string(value.substr(0, field.closed ? close : kGuidTextSize));
    return true;
}

// writeTo ends every document with the object's closing brace, outside any string (it escapes
// nothing, and Windows names hold no quote, so quotes pair up). A file cut just behind a brace
// inside a file name ends inside a string. White space another writer may add at the end is
// not part of the document.
bool endsWithClosingBrace(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\n' || text[end - 1] == '\r' || text[end - 1] == '\t'))
        --end;
    if (end == 0 || text[end - 1] != '}') return false;
    return std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '"') % 2 == 0;
}

// A document still being written by the other computer is read again next time.
bool isCompleteDocument(const std::string& text, const GuidField& guid) {
    return guid.closed && text.size() > guid.closeAt + 1 && endsWithClosingBrace(text);
}

// The items of the first bracketed list behind `marker`, without their quotes, until `take`
// returns false. Empty pieces (doubled commas) are skipped. False when the marker or a bracket
// is missing.
template <class Take>
bool readList(const std::string& text, std::string_view marker, Take&& take) {
    const size_t at = text.find(marker);
    if (at == std::string::npos) return false;
    std::string_view inside;
    if (!bracketed(text, at + marker.size(), inside)) return false;
    size_t start = 0;
    while (start < inside.size()) {
        size_t end = findOutsideQuotes(inside, ',', start);
        if (end == std::string_view::npos) end = inside.size();
        const std::string_view piece = inside.substr(start, end - start);
        if (!piece.empty() && !take(withoutEnds(piece))) break;
        start = end + 1;
    }
    return true;
}

}  // namespace

void assemblePayloadDocument(JsonValue& document, const std::string& guidText,
                             const std::vector<std::string>& utf8Paths) {
    JsonValue formats(JsonValue::Kind::Array);
    formats.append(std::string(standardFormatName(kFormatHdrop)));
    JsonValue paths(JsonValue::Kind::Array);
    for (const std::string& path : utf8Paths) paths.append(path);
    JsonValue data(JsonValue::Kind::Array);
    data.append(paths);
    document["formats"] = std::move(formats);
    document["data"] = std::move(data);
    document["GUID"] = JsonValue(guidText);
}

void assembleInlineDocument(JsonValue& document, const std::string& guidText, const std::vector<InlineFormat>& formats) {
    JsonValue names(JsonValue::Kind::Array);
    JsonValue data(JsonValue::Kind::Array);
    for (const InlineFormat& format : formats) {
        names.append(format.name);
        data.append(base64Encode(format.bytes.data(), format.bytes.size()));
    }
    document["formats"] = std::move(names);
    document["data"] = std::move(data);
    document["GUID"] = JsonValue(guidText);
}

bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, const std::string& text,
                         std::string& guid, std::vector<std::string>& formats, std::vector<std::string>& data,
                         TraceBudget& trace) {
    guid.clear();
    formats.clear();
    data.clear();
    GuidField field;
    if (!findGuidField(text, field)) return false;
    guid = field.text;
    const std::string& drive = driveName;
    if (field.tooLong) {
        trace.printOut("GUID=%s\xE2\x80\xA6 (longer than %lu characters)\n", traceText(guid).c_str(),
                       static_cast<unsigned long>(kGuidTextSize));
        trace.printOut("%s old data\n", drive.c_str());
        return false;
    }
    trace.printOut("GUID=%s\n", traceText(guid).c_str());
    if (!memory.isNew(guid)) {
        trace.printOut("%s old data\n", drive.c_str());
        return false;
    }
    if (!isCompleteDocument(text, field)) {
        trace.printOut("%s incomplete data\n", drive.c_str());
        return false;
    }
    memory.recordReceived(guid);
    trace.printOut("%s NEW DATA!\n", drive.c_str());

    bool cut = false;
    const bool formatsRead = readList(text, kFormatsMarker, [&](std::string_view name) {
        if (formats.size() == kMaxPayloadFormats) {
            cut = true;
            return false;
        }
        formats.emplace_back(name);
        if (trace.take()) printOut("format=%s\n", traceText(name).c_str());
        return true;
    });
    if (cut) trace.printOut("Only the first %lu formats are read\n", static_cast<unsigned long>(kMaxPayloadFormats));
    if (!formatsRead) return false;
    // Data entry i belongs to format i: entries behind the last format read belong to none.
    return readList(text, kDataMarker, [&](std::string_view entry) {
        if (data.size() == formats.size()) return false;
        data.emplace_back(entry);
        return true;
    });
}

bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, const std::string& text,
                         std::string& guid, std::vector<std::string>& formats, std::vector<std::string>& data) {
    TraceBudget trace;
    return readPayloadDocument(memory, driveName, text, guid, formats, data, trace);
}

}  // namespace shuttle
