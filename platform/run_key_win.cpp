#include <windows.h>

#include <vector>

#include "platform/run_key.h"
#include "platform/win_handles.h"

namespace shuttle {
namespace {

constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

class RegistryRunKey final : public RunKey {
public:
    explicit RegistryRunKey(HKEY hive) : hive_(hive) {}

    std::optional<std::u16string> read(const std::u16string& name) override {
        // RRF_RT_REG_SZ also takes REG_EXPAND_SZ values, expanded. The size is asked first; a
        // value that grows between the two calls is asked for again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            DWORD bytes = 0;
            LSTATUS status = RegGetValueW(hive_, kRunKeyPath, wide(name), RRF_RT_REG_SZ, nullptr,
                                          nullptr, &bytes);
            if (status != ERROR_SUCCESS) return std::nullopt;
            std::vector<char16_t> buffer(bytes / sizeof(char16_t) + 1, u'\0');
            bytes = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
            status = RegGetValueW(hive_, kRunKeyPath, wide(name), RRF_RT_REG_SZ, nullptr,
                                  buffer.data(), &bytes);
            if (status == ERROR_MORE_DATA) continue;
            if (status != ERROR_SUCCESS) return std::nullopt;
            return std::u16string(buffer.data());
        }
        return std::nullopt;
    }

    bool write(const std::u16string& name, const std::u16string& command) override {
        HKEY opened = nullptr;
        if (RegCreateKeyExW(hive_, kRunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                            nullptr, &opened, nullptr) != ERROR_SUCCESS)
            return false;
        ScopedRegKey key(opened);
        return RegSetValueExW(key.get(), wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                              static_cast<DWORD>((command.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
    }

    bool remove(const std::u16string& name) override {
        HKEY opened = nullptr;
        LSTATUS status = RegOpenKeyExW(hive_, kRunKeyPath, 0, KEY_SET_VALUE, &opened);
        if (status == ERROR_FILE_NOT_FOUND) return true;
        if (status != ERROR_SUCCESS) return false;
        ScopedRegKey key(opened);
        status = RegDeleteValueW(key.get(), wide(name));
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }

private:
    HKEY hive_;
};

}  // namespace

std::unique_ptr<RunKey> makeRegistryRunKey(RunKeyHive hive) {
    return std::make_unique<RegistryRunKey>(hive == RunKeyHive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
}

}  // namespace shuttle
