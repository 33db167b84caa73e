#pragma once
// Registration of named clipboard formats. The system gives each name a numeric id that is
// valid for the rest of the process and differs from one computer to the next.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace shuttle {

class ClipboardFormatRegistry {
public:
    virtual ~ClipboardFormatRegistry() = default;
    // The id of the format called `name`, registering it when new; 0 when registration fails.
    virtual uint32_t registerFormat(const std::u16string& name) = 0;
};

// The system's clipboard (Windows only: RegisterClipboardFormatW).
std::unique_ptr<ClipboardFormatRegistry> makeSystemClipboardFormatRegistry();

// Registered formats held in memory, for tests and the POSIX build. Ids are handed out in
// registration order from `firstId` (the system's range starts at 0xC000); a name registered
// again gets its first id back. A second instance with another `firstId` plays another computer.
class MemoryClipboardFormatRegistry final : public ClipboardFormatRegistry {
public:
    explicit MemoryClipboardFormatRegistry(uint32_t firstId = 0xC000) : nextId_(firstId) {}

    uint32_t registerFormat(const std::u16string& name) override;

    // Makes every registration of `name` fail (return 0), as a full system atom table would.
    void failFor(const std::u16string& name);

private:
    std::mutex mutex_;
    uint32_t nextId_;
    std::map<std::u16string, uint32_t> ids_;
    std::set<std::u16string> failing_;
};

}  // namespace shuttle
