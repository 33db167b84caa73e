#include <gtest/gtest.h>

#include "core/notifier.h"
#include "support/manual_clock.h"
#include "support/memory_log_files.h"
#include "support/recording_tray.h"

namespace shuttle {
namespace {

using Events = std::vector<std::string>;

class NotifierTest : public ::testing::Test {
protected:
    Settings settings;
    testing::RecordingTray tray;
    testing::ManualClock clock;
    Notifier notifier{tray, clock, settings};
};

TEST_F(NotifierTest, SoundComesBeforeBalloonAndEachFollowsItsOwnFlag) {
    for (uint32_t flags : {0u, 1u, 2u, 3u}) {
        settings.flags = flags;
        tray.clear();
        notifier.notify(u"Can't copy", u"No files to copy", false);
        Events expected;
        if (flags & 2) expected.push_back("beep hand");
        if (flags & 1) expected.push_back("balloon Can't copy | No files to copy");
        EXPECT_EQ(tray.events(), expected) << "flags " << flags;
    }
}

TEST_F(NotifierTest, AnIconChangeExpiresOnceAfterItsTime) {
    clock.advance(41000);
    notifier.setIcon(kIconSuccess);
    EXPECT_EQ(notifier.iconChangeTick(), clock.tickMs());
    EXPECT_EQ(tray.events(), Events{"icon 155"});
    clock.advance(2999);
    EXPECT_FALSE(notifier.iconChangeExpired(3000));
    clock.advance(1);
    EXPECT_TRUE(notifier.iconChangeExpired(3000));
    EXPECT_FALSE(notifier.iconChangeExpired(3000)) << "taken once";
    notifier.setIcon(kIconFailure);
    notifier.keepIcon();
    clock.advance(10000);
    EXPECT_FALSE(notifier.iconChangeExpired(3000)) << "a kept icon never expires";
}

TEST_F(NotifierTest, LogEntriesNeedTheLoggingFlagAndALogger) {
    clock.setLocal(2026, 12, 6, 10, 0, 0);
    testing::MemoryLogFiles files;
    Logger logger(files, clock);
    Notifier logging(tray, clock, settings, &logger);
    logging.log("off");
    settings.setFlag(kFlagEnableLogging, true);
    logging.log("on");
    notifier.log("dropped");  // no logger
    std::string written;
    for (const auto& file : files.files()) written += file.second;
    EXPECT_EQ(written, "\n2026-12-06 10:00:00INFO - on");
}

}  // namespace
}  // namespace shuttle
