#include "platform/settings_store_memory.h"

#include <cstring>

namespace shuttle {

class MemorySettingsKey final : public SettingsKey {
public:
    explicit MemorySettingsKey(MemorySettingsStore& store) : store_(store) {}

    std::optional<uint32_t> readNumber(const std::u16string& name) override {
        auto found = store_.value(name);
        if (!found || found->type != MemorySettingsStore::Type::Number || found->bytes.size() != 4)
            return std::nullopt;
        uint32_t number;
        std::memcpy(&number, found->bytes.data(), 4);
        return number;
    }

    std::optional<std::u16string> readText(const std::u16string& name, size_t maxBytes) override {
        auto found = store_.value(name);
        if (!found || found->type != MemorySettingsStore::Type::Text) return std::nullopt;
        if (found->bytes.size() > maxBytes) return std::nullopt;
        std::u16string text(found->bytes.size() / 2, u'\0');
        std::memcpy(text.data(), found->bytes.data(), text.size() * 2);
        // Stored with the terminator; the value ends at the first zero.
        auto zero = text.find(u'\0');
        if (zero != std::u16string::npos) text.resize(zero);
        return text;
    }

    void writeNumber(const std::u16string& name, uint32_t value) override { store_.setNumber(name, value); }
    void writeText(const std::u16string& name, const std::u16string& value) override { store_.setText(name, value); }

private:
    MemorySettingsStore& store_;
};

std::unique_ptr<SettingsKey> MemorySettingsStore::openOrCreate(bool& existed) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failOpen_) return nullptr;
    ++opens_;
    existed = exists_;
    exists_ = true;
    return std::make_unique<MemorySettingsKey>(*this);
}

bool MemorySettingsStore::keyExists() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return exists_;
}

void MemorySettingsStore::createKey() {
    std::lock_guard<std::mutex> lock(mutex_);
    exists_ = true;
}

void MemorySettingsStore::failOpen(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    failOpen_ = fail;
}

void MemorySettingsStore::setNumber(const std::u16string& name, uint32_t value) {
    std::vector<uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    std::lock_guard<std::mutex> lock(mutex_);
    exists_ = true;
    values_[name] = Value{Type::Number, std::move(bytes)};
    writes_.push_back(name);
}

void MemorySettingsStore::setText(const std::u16string& name, const std::u16string& value) {
    std::vector<uint8_t> bytes((value.size() + 1) * 2, 0);
    std::memcpy(bytes.data(), value.data(), value.size() * 2);
    std::lock_guard<std::mutex> lock(mutex_);
    exists_ = true;
    values_[name] = Value{Type::Text, std::move(bytes)};
    writes_.push_back(name);
}

void MemorySettingsStore::setBinary(const std::u16string& name, std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    exists_ = true;
    values_[name] = Value{Type::Binary, std::move(bytes)};
    writes_.push_back(name);
}

std::optional<MemorySettingsStore::Value> MemorySettingsStore::value(const std::u16string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

std::vector<std::u16string> MemorySettingsStore::writeOrder() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

size_t MemorySettingsStore::openCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
}

}  // namespace shuttle
