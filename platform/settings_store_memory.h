#pragma once
// A settings key held in memory, with registry-like typed values. Used by tests and by the
// POSIX build, which has no registry.

#include <map>
#include <mutex>
#include <vector>

#include "platform/settings_store.h"

namespace shuttle {

class MemorySettingsStore final : public SettingsStore {
public:
    enum class Type { Number, Text, Binary };
    struct Value {
        Type type;
        std::vector<uint8_t> bytes;  // as the registry would store them
    };

    std::unique_ptr<SettingsKey> openOrCreate(bool& existed) override;

    // Inspection and set-up for tests.
    bool keyExists() const;
    void createKey();
    void failOpen(bool fail);
    void setNumber(const std::u16string& name, uint32_t value);
    void setText(const std::u16string& name, const std::u16string& value);
    void setBinary(const std::u16string& name, std::vector<uint8_t> bytes);
    std::optional<Value> value(const std::u16string& name) const;
    std::vector<std::u16string> writeOrder() const;  // names in the order they were written
    size_t openCount() const;

private:
    friend class MemorySettingsKey;
    mutable std::mutex mutex_;
    bool exists_ = false;
    bool failOpen_ = false;
    size_t opens_ = 0;
    std::map<std::u16string, Value> values_;
    std::vector<std::u16string> writes_;
};

}  // namespace shuttle
