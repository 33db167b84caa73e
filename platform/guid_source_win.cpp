#include <windows.h>
#include <objbase.h>

#include "platform/guid_source.h"

namespace shuttle {
namespace {

class ComGuidSource final : public GuidSource {
public:
    std::u16string newGuid() override {
        GUID guid{};
        CoCreateGuid(&guid);
        LPOLESTR text = nullptr;
        if (StringFromIID(guid, &text) != S_OK || text == nullptr) return std::u16string();
        std::u16string result(reinterpret_cast<const char16_t*>(text));
        CoTaskMemFree(text);
        return result;
    }
};

}  // namespace

GuidSource& systemGuidSource() {
    static ComGuidSource source;
    return source;
}

}  // namespace shuttle
