#include "platform/clipboard_formats.h"

namespace shuttle {

uint32_t MemoryClipboardFormatRegistry::registerFormat(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (name.empty() || failing_.count(name) != 0) return 0;
    auto found = ids_.find(name);
    if (found != ids_.end()) return found->second;
    if (nextId_ == 0 || nextId_ > 0xFFFF) return 0;  // the id range is used up
    const uint32_t id = nextId_++;
    ids_.emplace(name, id);
    return id;
}

void MemoryClipboardFormatRegistry::failFor(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    failing_.insert(name);
}

}  // namespace shuttle
