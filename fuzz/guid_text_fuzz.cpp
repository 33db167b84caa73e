// isValidGuidText against a hand-written check of the same form.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "payload/payload_document.h"

using namespace shuttle;

namespace {

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool expectedValid(const std::string& text) {
    const std::string shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'x' ? !isUpperHex(text[i]) : text[i] != shape[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    fuzz::require(isValidGuidText(text) == expectedValid(text), "agrees with the plain check");
    return 0;
}
