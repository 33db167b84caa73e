#pragma once
// A Run key held in memory. Used by tests and by the POSIX build, which has no registry.

#include <map>
#include <mutex>

#include "platform/run_key.h"

namespace shuttle {

class MemoryRunKey final : public RunKey {
public:
    std::optional<std::u16string> read(const std::u16string& name) override;
    bool write(const std::u16string& name, const std::u16string& command) override;
    bool remove(const std::u16string& name) override;

    // Set-up for tests: a value of another type (read gives nothing), and a key that refuses
    // every change (as a policy-locked key would).
    void setNonText(const std::u16string& name);
    void refuseChanges(bool refuse);
    bool has(const std::u16string& name) const;

private:
    mutable std::mutex mutex_;
    bool refuse_ = false;
    std::map<std::u16string, std::optional<std::u16string>> values_;  // nothing = not text
};

}  // namespace shuttle
