#pragma once
// The persistent settings key ("SOFTWARE\ORB\Shuttle" in the current user's registry hive on
// Windows). The logic of loading and saving lives in core/settings.*; this is only the key.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace shuttle {

// The key's four values.
inline constexpr char16_t kFlagsValueName[] = u"Flags";
inline constexpr char16_t kComValueName[] = u"Com";  // the chosen serial port
inline constexpr char16_t kUsbValueName[] = u"Usb";  // the store selection
inline constexpr char16_t kMaxValueName[] = u"Max";

// An open key; closed when destroyed.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // A 32-bit number value; nothing when missing or of another type.
    virtual std::optional<uint32_t> readNumber(const std::u16string& name) = 0;
    // A string value that fits, with its terminator, in maxBytes; nothing when missing, of
    // another type, or longer.
    virtual std::optional<std::u16string> readText(const std::u16string& name, size_t maxBytes) = 0;
    // Writes; errors are ignored by the callers and so are not reported.
    virtual void writeNumber(const std::u16string& name, uint32_t value) = 0;
    virtual void writeText(const std::u16string& name, const std::u16string& value) = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens the key for reading and writing, creating it when missing. `existed` tells whether
    // it was there before the call. Null when it can be neither opened nor created.
    virtual std::unique_ptr<SettingsKey> openOrCreate(bool& existed) = 0;
};

// The current user's registry (Windows only; Linux keeps a file, platform/settings_file_linux.h).
std::unique_ptr<SettingsStore> makeRegistrySettingsStore();

}  // namespace shuttle
