// readJson on arbitrary text, and a walk through every value of a text it accepts: the walk
// stays inside the text, takes each value whole (a container from its opening to its closing
// bracket, a string between quotes), and decodes every string.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "payload/json_reader.h"

using namespace shuttle;

namespace {

void walk(const JsonView& value, std::string_view text, size_t depth) {
    const std::string_view raw = value.raw();
    fuzz::require(!raw.empty() && raw.data() >= text.data() && raw.data() + raw.size() <= text.data() + text.size(),
                  "a value lies inside the text");
    fuzz::require(depth <= kMaxJsonDepth, "no deeper than the limit");
    switch (value.kind()) {
        case JsonView::Kind::String:
            fuzz::require(raw.size() >= 2 && raw.back() == '"', "a string between quotes");
            fuzz::require(value.text(3).size() <= 3, "a cut text is no longer than asked");
            value.withText([](std::string_view) { return 0; });
            break;
        case JsonView::Kind::Array:
            fuzz::require(raw.back() == ']', "an array to its closing bracket");
            value.forEachItem([&](const JsonView& item) { return walk(item, text, depth + 1), true; });
            break;
        case JsonView::Kind::Object:
            fuzz::require(raw.back() == '}', "an object to its closing brace");
            value.forEachMember([&](const JsonView& name, const JsonView& member) {
                fuzz::require(name.is(JsonView::Kind::String), "member names are strings");
                walk(member, text, depth + 1);
                return true;
            });
            break;
        default: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    const JsonReading reading = readJson(text);
    fuzz::require(reading.value.has_value() == (reading.fault.kind == JsonFault::Kind::None), "a value or a fault");
    if (reading.value) walk(*reading.value, text, 1);
    else fuzz::require(reading.fault.at <= text.size(), "the fault lies inside the text");
    return 0;
}
