#include <windows.h>

#include "base/print.h"
#include "platform/clipboard_formats.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

class SystemClipboardFormatRegistry final : public ClipboardFormatRegistry {
public:
    uint32_t registerFormat(const std::u16string& name) override {
        const UINT id = RegisterClipboardFormatW(reinterpret_cast<const wchar_t*>(name.c_str()));
        if (id == 0)
            printOut("Cannot register clipboard format %s\t!!! Error: %lu\n", toUtf8(name).c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return static_cast<uint32_t>(id);
    }
};

}  // namespace

std::unique_ptr<ClipboardFormatRegistry> makeSystemClipboardFormatRegistry() {
    return std::make_unique<SystemClipboardFormatRegistry>();
}

}  // namespace shuttle
