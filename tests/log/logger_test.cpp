#include <gtest/gtest.h>

#include <thread>

#include "log/logger.h"
#include "support/manual_clock.h"
#include "support/memory_log_files.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using testing::ManualClock;
using testing::MemoryLogFiles;

const std::string kFolder = "C:\\Users\\me\\AppData\\Local\\ORB\\";

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override { clock.setLocal(2026, 12, 5, 14, 3, 7); }
    MemoryLogFiles files;
    ManualClock clock;
};

TEST_F(LoggerTest, EntriesOfOneDayShareAFileThatStartsWithALineBreakAndEachDayHasItsOwn) {
    Logger logger(files, clock);
    EXPECT_EQ(files.folders().count(kFolder), 1u);
    EXPECT_TRUE(files.files().empty()) << "the folder is made at once, the file with the first entry";
    EXPECT_EQ(logger.appender().currentPath(), kFolder + "Shuttle.log-05122026");
    logger.appender().appendLine("Ready to paste");
    clock.setLocal(2026, 12, 5, 14, 3, 9);
    logger.appender().appendLine("Can't copy 3001 characters (max 3000)");
    auto written = files.files();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written.at(kFolder + "Shuttle.log-05122026"),
              "\n2026-12-05 14:03:07INFO - Ready to paste"
              "\n2026-12-05 14:03:09INFO - Can't copy 3001 characters (max 3000)");

    clock.setLocal(2026, 12, 31, 23, 59, 59);  // midnight starts a new file named by its own date
    logger.appender().appendLine("a");
    clock.setLocal(2027, 1, 1, 0, 0, 0);
    logger.appender().appendLine("b");
    written = files.files();
    EXPECT_EQ(written.at(kFolder + "Shuttle.log-31122026"), "\n2026-12-31 23:59:59INFO - a");
    EXPECT_EQ(written.at(kFolder + "Shuttle.log-01012027"), "\n2027-01-01 00:00:00INFO - b");
    EXPECT_EQ(logger.appender().currentPath(), kFolder + "Shuttle.log-01012027");
}

TEST_F(LoggerTest, UnwritableOrMissingPlacesDropEntriesSilentlyAndAFailedWriteIsTold) {
    testing::TraceCapture trace;
    enum Place { ReadOnlyFile, NoAppData, NoFolder };
    for (Place place : {ReadOnlyFile, NoAppData, NoFolder}) {
        MemoryLogFiles broken;
        if (place == NoAppData) broken.setLogFolder(std::nullopt);
        if (place == NoFolder) broken.failFolderCreation();
        Logger logger(broken, clock);
        if (place == ReadOnlyFile) broken.makeReadOnly(kFolder + "Shuttle.log-05122026");
        logger.appender().appendLine("x");
        EXPECT_TRUE(broken.files().empty()) << place;
        EXPECT_EQ(broken.folders().empty(), place != ReadOnlyFile) << place;
    }
    EXPECT_EQ(trace.out(), "");

    Logger logger(files, clock);
    files.failWrites();
    logger.appender().appendLine("x");
    EXPECT_EQ(trace.out(), "Print error\n");
}

TEST_F(LoggerTest, ConcurrentEntriesNeverInterleave) {
    Logger logger(files, clock);
    const std::string first(200, 'a'), second(200, 'b');
    auto writer = [&](const std::string& text) {
        for (int i = 0; i < 300; ++i) logger.appender().appendLine(text.c_str());
    };
    std::thread one(writer, first), two(writer, second);
    one.join(), two.join();
    const std::string content = files.files().at(kFolder + "Shuttle.log-05122026");
    const std::string prefix = "\n2026-12-05 14:03:07INFO - ";
    size_t entries = 0;
    for (size_t at = 0; at < content.size(); ++entries) {
        ASSERT_EQ(content.compare(at, prefix.size(), prefix), 0);
        std::string body = content.substr(at + prefix.size(), 200);
        ASSERT_TRUE(body == first || body == second);
        at += prefix.size() + 200;
    }
    EXPECT_EQ(entries, 600u);
}

TEST(LogPrint, FormatIntoRefusesWhatDoesNotFit) {
    char buffer[8];
    EXPECT_EQ(formatInto(buffer, sizeof buffer, "%u", 1234567u), 7);
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(formatInto(buffer, sizeof buffer, "%u", 12345678u), -1);
}

}  // namespace
}  // namespace shuttle
