#include <gtest/gtest.h>

#include <cstring>

#include "core/settings.h"
#include "platform/settings_store_memory.h"

namespace shuttle {
namespace {

void expectValues(const Settings& settings, uint32_t flags, uint32_t com, const std::u16string& usb, uint32_t max) {
    EXPECT_EQ(settings.flags.load(), flags);
    EXPECT_EQ(settings.comPort.load(), com);
    EXPECT_EQ(settings.storeSelection.get(), usb);
    EXPECT_EQ(settings.sizeLimit.load(), max);
}

// A first run creates an empty key and keeps the defaults. Each value is read on its own: a
// missing one, one of the wrong type and an overlong selection keep their defaults.
TEST(SettingsLoad, FirstRunCreatesAnEmptyKeyAndExistingValuesAreReadEachOnItsOwn) {
    MemorySettingsStore empty;
    Settings defaults;
    loadSettings(empty, defaults);
    EXPECT_TRUE(empty.keyExists());
    EXPECT_TRUE(empty.writeOrder().empty());
    expectValues(defaults, 5u, 0xFFFFFFFFu, u"", 10485760u);

    MemorySettingsStore store;
    store.setNumber(u"Flags", 13);
    store.setText(u"Com", u"7");
    store.setText(u"Usb", std::u16string(1023, u'y'));
    Settings settings;
    loadSettings(store, settings);
    EXPECT_TRUE(settings.has(kFlagEnableLogging));
    expectValues(settings, 13u, kNoComPort, std::u16string(1023, u'y'), kDefaultSizeLimit);

    MemorySettingsStore other;
    other.setBinary(u"Flags", {1, 2, 3, 4});
    other.setNumber(u"Com", 4);
    other.setText(u"Usb", std::u16string(1024, u'x'));  // 2050 bytes with terminator: too long
    other.setNumber(u"Max", 26214400);
    Settings fresh;
    loadSettings(other, fresh);
    expectValues(fresh, 5u, 4u, u"", 26214400u);
}

TEST(SettingsSave, WritesAllFourValuesInOrder) {
    MemorySettingsStore store;
    Settings settings;
    settings.flags = 21;
    settings.comPort = 3;
    settings.storeSelection.set(u"0123456789");
    settings.sizeLimit = 52428800;
    saveSettings(store, settings);
    EXPECT_EQ(store.writeOrder(), (std::vector<std::u16string>{u"Flags", u"Com", u"Usb", u"Max"}));
    ASSERT_TRUE(store.value(u"Usb"));
    EXPECT_EQ(store.value(u"Usb")->bytes.size(), 22u);  // ten characters and the terminator, two bytes each
    Settings reloaded;
    loadSettings(store, reloaded);
    expectValues(reloaded, 21u, 3u, u"0123456789", 52428800u);

    MemorySettingsStore locked;  // an unopenable key skips the save quietly
    locked.failOpen(true);
    EXPECT_FALSE(saveSettings(locked, settings));
    EXPECT_TRUE(locked.writeOrder().empty());
    Settings detached;  // no store at all
    detached.save();
}

TEST(SettingsSave, OnlyAChangedValueReachesTheStore) {
    MemorySettingsStore store;
    store.setNumber(u"Flags", 5);
    store.setNumber(u"Com", 3);
    store.setText(u"Usb", u"Stick (E:)");
    store.setNumber(u"Max", 10485760);
    const size_t setUp = store.writeOrder().size();
    Settings settings;
    settings.loadFrom(store);
    settings.save();
    EXPECT_EQ(store.writeOrder().size(), setUp) << "what was read is what the store holds";
    settings.comPort = 4;
    settings.save();
    settings.save();
    EXPECT_EQ(store.writeOrder().size(), setUp + 4);
    settings.comPort = 3;
    settings.save();
    EXPECT_EQ(store.writeOrder().size(), setUp + 8);

    MemorySettingsStore partial;  // a value missing from the store must be written once
    partial.setNumber(u"Flags", 5);
    Settings fresh;
    fresh.loadFrom(partial);
    fresh.save();
    fresh.save();
    EXPECT_EQ(partial.writeOrder().size(), 1u + 4u);
}

}  // namespace
}  // namespace shuttle
