#include <gtest/gtest.h>

#include "core/start_with_windows.h"
#include "platform/run_key_memory.h"

namespace shuttle {
namespace {

const std::u16string kProgram = u"C:\\Program Files\\Shuttle\\Shuttle.exe";

TEST(StartWithWindows, TurningOnWritesTheQuotedPathAndOffRemovesIt) {
    MemoryRunKey key;
    EXPECT_FALSE(startsWithWindows(key, kProgram));
    EXPECT_TRUE(setStartWithWindows(key, kProgram, true));
    EXPECT_EQ(key.read(u"Shuttle"), u"\"C:\\Program Files\\Shuttle\\Shuttle.exe\"");
    EXPECT_TRUE(startsWithWindows(key, kProgram));
    EXPECT_TRUE(setStartWithWindows(key, kProgram, true));  // again: same value
    EXPECT_EQ(key.read(u"Shuttle"), startCommand(kProgram));
    EXPECT_TRUE(setStartWithWindows(key, kProgram, false));
    EXPECT_FALSE(key.has(u"Shuttle"));
    EXPECT_TRUE(setStartWithWindows(key, kProgram, false));  // already off
}

TEST(StartWithWindows, ValuesThatStartThisProgram) {
    for (const std::u16string command : {
             u"\"C:\\Program Files\\Shuttle\\Shuttle.exe\"",
             u"C:\\Program Files\\Shuttle\\Shuttle.exe",            // quotes are optional
             u"\"c:\\PROGRAM FILES\\shuttle\\SHUTTLE.EXE\"",        // case does not matter
             u"  \"C:\\Program Files\\Shuttle\\Shuttle.exe\" -console ",  // blanks, arguments
             u"C:\\Program Files\\Shuttle\\Shuttle.exe -console",
         })
        EXPECT_TRUE(commandStarts(command, kProgram)) << std::string(command.begin(), command.end());
    EXPECT_TRUE(commandStarts(u"\"C:\\Users\\J\u00C9R\u00D4ME\\Shuttle.exe\"", u"C:\\Users\\j\u00e9r\u00f4me\\Shuttle.exe"));
}

TEST(StartWithWindows, ValuesThatStartSomethingElse) {
    for (const std::u16string command : {
             u"",
             u"\"\"",
             u"\"C:\\Program Files\\Shuttle\\Shuttle.exe",          // quote never closed
             u"\"C:\\Program Files\\Shuttle\\Shuttle.exe\"x",       // the name goes on after the quote
             u"C:\\Program Files\\Shuttle\\Shuttle.exe.old",
             u"\"C:\\Program Files\\Shuttle\\Shuttle.ex\"",
             u"\"D:\\Portable\\Shuttle.exe\"",
         })
        EXPECT_FALSE(commandStarts(command, kProgram)) << std::string(command.begin(), command.end());
    EXPECT_FALSE(commandStarts(u"\"\"", u""));
    EXPECT_FALSE(commandStarts(u"C:\\A\u00F7", u"C:\\A\u00D7"));  // division sign is no letter
}

TEST(StartWithWindows, AnotherCopysValueShowsOffAndIsReplacedOnlyWhenTurnedOn) {
    MemoryRunKey key;
    const std::u16string other = u"\"D:\\Portable\\Shuttle.exe\"";
    key.write(u"Shuttle", other);
    EXPECT_FALSE(startsWithWindows(key, kProgram));
    EXPECT_TRUE(setStartWithWindows(key, kProgram, false));
    EXPECT_EQ(key.read(u"Shuttle"), other);
    EXPECT_TRUE(setStartWithWindows(key, kProgram, true));
    EXPECT_EQ(key.read(u"Shuttle"), startCommand(kProgram));

    key.setNonText(u"Shuttle");  // a number where the command line belongs
    EXPECT_FALSE(startsWithWindows(key, kProgram));
    EXPECT_TRUE(setStartWithWindows(key, kProgram, true));
    EXPECT_TRUE(startsWithWindows(key, kProgram));
}

TEST(StartWithWindows, ALockedKeyReportsTheFailureAndKeepsItsValue) {
    MemoryRunKey key;
    key.refuseChanges(true);
    EXPECT_FALSE(setStartWithWindows(key, kProgram, true));
    EXPECT_FALSE(key.has(u"Shuttle"));
    key.refuseChanges(false);
    key.write(u"Shuttle", startCommand(kProgram));
    key.refuseChanges(true);
    EXPECT_FALSE(setStartWithWindows(key, kProgram, false));
    EXPECT_TRUE(startsWithWindows(key, kProgram));
}

}  // namespace
}  // namespace shuttle
