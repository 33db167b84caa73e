#include <windows.h>

#include <vector>

#include "platform/settings_store.h"
#include "platform/win_handles.h"

namespace shuttle {
namespace {

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

class RegistryKey final : public SettingsKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}

    std::optional<uint32_t> readNumber(const std::u16string& name) override {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(key_.get(), nullptr, wide(name), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
            return std::nullopt;
        return static_cast<uint32_t>(value);
    }

    std::optional<std::u16string> readText(const std::u16string& name, size_t maxBytes) override {
        std::vector<char16_t> buffer(maxBytes / 2 + 1, u'\0');
        DWORD size = static_cast<DWORD>(maxBytes);
        if (RegGetValueW(key_.get(), nullptr, wide(name), RRF_RT_REG_SZ, nullptr, buffer.data(), &size) != ERROR_SUCCESS)
            return std::nullopt;
        return std::u16string(buffer.data());
    }

    void writeNumber(const std::u16string& name, uint32_t value) override {
        DWORD number = value;
        RegSetValueExW(key_.get(), wide(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }

    void writeText(const std::u16string& name, const std::u16string& value) override {
        RegSetValueExW(key_.get(), wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    }

private:
    ScopedRegKey key_;
};

class RegistrySettingsStore final : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> openOrCreate(bool& existed) override {
        HKEY key = nullptr;
        DWORD disposition = 0;
        LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\ORB\\Shuttle", 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                                         &disposition);
        if (status != ERROR_SUCCESS) return nullptr;
        existed = disposition == REG_OPENED_EXISTING_KEY;
        return std::make_unique<RegistryKey>(key);
    }
};

}  // namespace

std::unique_ptr<SettingsStore> makeRegistrySettingsStore() { return std::make_unique<RegistrySettingsStore>(); }

}  // namespace shuttle
