#pragma once
// The four persistent settings (registry values "Flags", "Com", "Usb", "Max"), the store they
// are kept in, and the table of file-size limits. Any thread may read them; the dialog and the
// link supervisor change them.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "base/guarded.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"

namespace shuttle {

constexpr uint32_t kDefaultFlags = 5;            // show notifications + start in tray
constexpr uint32_t kDefaultSizeLimit = 10485760; // 10 MiB

enum SettingsFlag : uint32_t {
    kFlagShowNotifications = 1,
    kFlagPlaySound = 2,
    kFlagStartInTray = 4,
    kFlagEnableLogging = 8,
    kFlagUsbMode = 16,
};

struct SizeLimitRow {
    const char16_t* label;
    uint32_t bytes;
};

// The only limits offered, in selector order: the selector's index is the row number.
constexpr std::array<SizeLimitRow, 5> kSizeLimitRows{{
    {u"10MB", 10485760},
    {u"25MB", 26214400},
    {u"50MB", 52428800},
    {u"75MB", 78643200},
    {u"100MB", 104857600},
}};

// Row of a byte value, or -1 when it matches none.
int sizeLimitRow(uint32_t bytes);

class Settings {
public:
    std::atomic<uint32_t> flags{kDefaultFlags};
    std::atomic<uint32_t> comPort{kNoComPort};  // the chosen port, kept while it is absent
    GuardedText<std::u16string> storeSelection;  // display text of the store drive, "... (E:)"
    std::atomic<uint32_t> sizeLimit{kDefaultSizeLimit};

    bool has(uint32_t flag) const { return (flags.load() & flag) != 0; }
    void setFlag(uint32_t flag, bool on) {
        if (on)
            flags.fetch_or(flag);
        else
            flags.fetch_and(~flag);
    }
    bool usbMode() const { return has(kFlagUsbMode); }

    // Reads the stored values (see loadSettings) and keeps `store` for save().
    void loadFrom(SettingsStore& store);
    // Writes the four values to the store given to loadFrom when any of them differs from what
    // is known to be stored there; nothing without a store.
    void save();

private:
    struct Snapshot {
        uint32_t flags, comPort, sizeLimit;
        std::u16string storeSelection;
        bool operator==(const Snapshot& other) const {
            return flags == other.flags && comPort == other.comPort && sizeLimit == other.sizeLimit &&
                   storeSelection == other.storeSelection;
        }
    };
    Snapshot snapshot() const;

    std::mutex saveMutex_;
    SettingsStore* store_ = nullptr;
    std::optional<Snapshot> stored_;  // what the store holds, when known
};

// Opens or creates the key; reads the values only when the key existed before. Each value is
// read on its own; a missing or ill-typed one keeps what `settings` already holds. True when
// all four values were read.
bool loadSettings(SettingsStore& store, Settings& settings);

// Writes "Flags", "Com", "Usb" and "Max", in that order, creating the key when missing. False
// when the key could not be opened.
bool saveSettings(SettingsStore& store, const Settings& settings);

}  // namespace shuttle
