#pragma once
// Loading and saving the four persistent settings, and the table of file-size limits.

#include <array>
#include <cstdint>

#include "core/shared_state.h"
#include "platform/settings_store.h"

namespace shuttle {

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

// Opens or creates the key; reads the values only when the key existed before. Each value is
// read on its own; a missing or ill-typed one keeps what `settings` already holds.
void loadSettings(SettingsStore& store, Settings& settings);

// Writes "Flags", "Com", "Usb" and "Max", in that order, creating the key when missing.
void saveSettings(SettingsStore& store, const Settings& settings);
// The same for a running computer (its own store; nothing when it has none).
void saveSettings(SharedState& state);

}  // namespace shuttle
