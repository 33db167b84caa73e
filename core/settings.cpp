#include "core/settings.h"

namespace shuttle {
namespace {

const std::u16string kFlagsValue = u"Flags";
const std::u16string kComValue = u"Com";
const std::u16string kUsbValue = u"Usb";
const std::u16string kMaxValue = u"Max";
constexpr size_t kStoreSelectionBytes = 2048;  // 1023 characters and the terminator

}  // namespace

int sizeLimitRow(uint32_t bytes) {
    for (size_t row = 0; row < kSizeLimitRows.size(); ++row)
        if (kSizeLimitRows[row].bytes == bytes) return static_cast<int>(row);
    return -1;
}

void loadSettings(SettingsStore& store, Settings& settings) {
    bool existed = false;
    auto key = store.openOrCreate(existed);
    if (!key || !existed) return;
    if (auto flags = key->readNumber(kFlagsValue)) settings.flags = *flags;
    if (auto com = key->readNumber(kComValue)) settings.comPort = *com;
    if (auto usb = key->readText(kUsbValue, kStoreSelectionBytes)) settings.storeSelection.set(*usb);
    if (auto max = key->readNumber(kMaxValue)) settings.sizeLimit = *max;
}

void saveSettings(SettingsStore& store, const Settings& settings) {
    bool existed = false;
    auto key = store.openOrCreate(existed);
    if (!key) return;
    key->writeNumber(kFlagsValue, settings.flags.load());
    key->writeNumber(kComValue, settings.comPort.load());
    key->writeText(kUsbValue, settings.storeSelection.get());
    key->writeNumber(kMaxValue, settings.sizeLimit.load());
}

void saveSettings(SharedState& state) {
    if (state.settingsStore != nullptr) saveSettings(*state.settingsStore, state.settings);
}

}  // namespace shuttle
