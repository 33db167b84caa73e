#include "core/settings.h"

namespace shuttle {
namespace {

const std::u16string kFlagsValue = kFlagsValueName;
const std::u16string kComValue = kComValueName;
const std::u16string kUsbValue = kUsbValueName;
const std::u16string kMaxValue = kMaxValueName;
constexpr size_t kStoreSelectionBytes = 2048;  // 1023 characters and the terminator

}  // namespace

int sizeLimitRow(uint32_t bytes) {
    for (size_t row = 0; row < kSizeLimitRows.size(); ++row)
        if (kSizeLimitRows[row].bytes == bytes) return static_cast<int>(row);
    return -1;
}

bool loadSettings(SettingsStore& store, Settings& settings) {
    bool existed = false;
    auto key = store.openOrCreate(existed);
    if (!key || !existed) return false;
    int read = 0;
    if (auto flags = key->readNumber(kFlagsValue)) settings.flags = *flags, ++read;
    if (auto com = key->readNumber(kComValue)) settings.comPort = *com, ++read;
    if (auto usb = key->readText(kUsbValue, kStoreSelectionBytes)) settings.storeSelection.set(*usb), ++read;
    if (auto max = key->readNumber(kMaxValue)) settings.sizeLimit = *max, ++read;
    return read == 4;
}

bool saveSettings(SettingsStore& store, const Settings& settings) {
    bool existed = false;
    auto key = store.openOrCreate(existed);
    if (!key) return false;
    key->writeNumber(kFlagsValue, settings.flags.load());
    key->writeNumber(kComValue, settings.comPort.load());
    key->writeText(kUsbValue, settings.storeSelection.get());
    key->writeNumber(kMaxValue, settings.sizeLimit.load());
    return true;
}

Settings::Snapshot Settings::snapshot() const {
    return Snapshot{flags.load(), comPort.load(), sizeLimit.load(), storeSelection.get()};
}

void Settings::loadFrom(SettingsStore& store) {
    std::lock_guard<std::mutex> lock(saveMutex_);
    store_ = &store;
    stored_.reset();
    if (loadSettings(store, *this)) stored_ = snapshot();
}

void Settings::save() {
    std::lock_guard<std::mutex> lock(saveMutex_);
    if (store_ == nullptr) return;
    Snapshot now = snapshot();
    if (stored_ && *stored_ == now) return;  // the supervisor saves often; the registry sees only changes
    if (saveSettings(*store_, *this)) stored_ = std::move(now);
}

}  // namespace shuttle
