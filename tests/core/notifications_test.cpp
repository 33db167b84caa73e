#include <gtest/gtest.h>

#include "support/manual_clock.h"
#include "support/recording_tray.h"
#include "core/notifications.h"

namespace shuttle {
namespace {

using Events = std::vector<std::string>;

TEST(Notifications, SoundComesBeforeBalloonAndEachFollowsItsOwnFlag) {
    SharedState state;
    testing::RecordingTray tray;
    for (uint32_t flags : {0u, 1u, 2u, 3u}) {
        state.settings.flags = flags;
        tray.clear();
        notifyUser(state, tray, u"Can't copy", u"No files to copy", false);
        Events expected;
        if (flags & 2) expected.push_back("beep hand");
        if (flags & 1) expected.push_back("balloon Can't copy | No files to copy");
        EXPECT_EQ(tray.events(), expected) << "flags " << flags;
    }
}

TEST(Notifications, SettingTheIconStampsTheTimeOfTheChange) {
    SharedState state;
    testing::RecordingTray tray;
    testing::ManualClock clock;
    clock.advance(41000);
    setTrayIcon(state, tray, clock, kIconSuccess);
    EXPECT_EQ(state.lastIconChangeTick.load(), clock.tickMs());
    EXPECT_EQ(tray.events(), Events{"icon 155"});
}

}  // namespace
}  // namespace shuttle
