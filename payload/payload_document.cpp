// Assembling the payload document, reading it back, and the GUID rules that decide whether a
// document is new.

#include "payload/payload_document.h"

#include <string_view>

#include "base/print.h"
#include "base/trace_text.h"
#include "payload/format_catalogue.h"

namespace shuttle {
namespace {

// Longer names are cut: no format is called anything that long.
constexpr size_t kFormatNameLimit = 64;

// The three members the reader takes; any other member is left alone.
struct Members {
    std::optional<JsonView> guid, data, formats;
    std::string twice;  // the name of one that stands twice, making the document ambiguous
};

Members membersOf(const JsonView& document) {
    Members members;
    document.forEachMember([&](const JsonView& name, const JsonView& value) {
        for (auto [wanted, slot] : {std::pair{"GUID", &members.guid}, std::pair{"data", &members.data},
                                    std::pair{"formats", &members.formats}}) {
            if (!name.textIs(wanted)) continue;
            if (*slot) {
                members.twice = wanted;
                return false;
            }
            *slot = value;
        }
        return true;
    });
    return members;
}

// What stands in the way of reading a whole JSON text as a payload document; "" when nothing.
std::string structureFault(const JsonReading& reading, const Members& members) {
    if (!reading.value) return "it is not JSON: " + describe(reading.fault);
    if (!reading.value->is(JsonView::Kind::Object)) return "it is not a JSON object";
    if (!members.twice.empty()) return "it holds \"" + members.twice + "\" twice";
    if (!members.guid || !members.guid->is(JsonView::Kind::String)) return "it holds no \"GUID\" text";
    return "";
}

// The lists a new document must hold before its GUID is remembered; "" when it does.
std::string listFault(const Members& members) {
    if (!members.data || !members.data->is(JsonView::Kind::Array)) return "it holds no \"data\" list";
    if (!members.formats || !members.formats->is(JsonView::Kind::Array)) return "it holds no \"formats\" list";
    return "";
}

// The GUID rule: a value longer than a GUID is invalid (traced cut), as is one the memory
// does not find new.
bool isNewGuid(GuidMemory& memory, const std::string& guid, TraceBudget& trace) {
    if (guid.size() > kGuidTextSize) {
        trace.printOut("GUID=%s\xE2\x80\xA6 (longer than %lu characters)\n", traceText(guid.substr(0, kGuidTextSize)).c_str(),
                       static_cast<unsigned long>(kGuidTextSize));
        return false;
    }
    trace.printOut("GUID=%s\n", traceText(guid).c_str());
    return memory.isNew(guid);
}

void readFormats(const JsonView& list, std::vector<std::string>& formats, TraceBudget& trace) {
    bool cut = false;
    list.forEachItem([&](const JsonView& item) {
        if (formats.size() == kMaxPayloadFormats) {
            cut = true;
            return false;
        }
        formats.push_back(item.text(kFormatNameLimit));
        if (trace.take()) printOut("format=%s\n", traceText(formats.back()).c_str());
        return true;
    });
    if (cut) trace.printOut("Only the first %lu formats are read\n", static_cast<unsigned long>(kMaxPayloadFormats));
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

bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, std::string_view text,
                         PayloadDocument& document, TraceBudget& trace) {
    document = PayloadDocument{};
    const JsonReading reading = readJson(text);
    if (reading.fault.kind == JsonFault::Kind::EndsEarly) {
        trace.printOut("%s incomplete data\n", driveName.c_str());
        return false;
    }
    const Members members = reading.value ? membersOf(*reading.value) : Members{};
    if (const std::string fault = structureFault(reading, members); !fault.empty()) {
        trace.printOut("%s unreadable data: %s\n", driveName.c_str(), fault.c_str());
        return false;
    }
    document.guid = members.guid->text(kGuidTextSize + 1);
    if (!isNewGuid(memory, document.guid, trace)) {
        trace.printOut("%s old data\n", driveName.c_str());
        return false;
    }
    if (const std::string fault = listFault(members); !fault.empty()) {
        trace.printOut("%s unreadable data: %s\n", driveName.c_str(), fault.c_str());
        return false;
    }
    memory.recordReceived(document.guid);
    trace.printOut("%s NEW DATA!\n", driveName.c_str());
    readFormats(*members.formats, document.formats, trace);
    members.data->forEachItem([&](const JsonView& entry) {
        if (document.data.size() == document.formats.size()) return false;
        document.data.push_back(entry);
        return true;
    });
    return true;
}

bool readPayloadDocument(GuidMemory& memory, const std::string& driveName, std::string_view text,
                         PayloadDocument& document) {
    TraceBudget trace;
    return readPayloadDocument(memory, driveName, text, document, trace);
}

}  // namespace shuttle
