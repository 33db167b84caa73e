#include <gtest/gtest.h>

#include "core/start_with_windows.h"
#include "platform/run_key_memory.h"

namespace shuttle {
namespace {

const std::u16string kProgram = u"C:\\Program Files\\Shuttle\\Shuttle.exe";

TEST(StartWithWindows, OnWritesTheQuotedPathOffRemovesItAndALockedKeyOrAnotherCopysValueIsKept) {
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

    key.refuseChanges(true);  // a locked key reports the failure and keeps its value
    EXPECT_FALSE(setStartWithWindows(key, kProgram, true));
    EXPECT_FALSE(key.has(u"Shuttle"));
    key.refuseChanges(false);
    ASSERT_TRUE(setStartWithWindows(key, kProgram, true));
    key.refuseChanges(true);
    EXPECT_FALSE(setStartWithWindows(key, kProgram, false));
    EXPECT_TRUE(startsWithWindows(key, kProgram));

    key.refuseChanges(false);  // another copy's value shows off and is replaced only when turned on
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

TEST(StartWithWindows, TheMachinesValueShowsOnAndAClickChangesOnlyTheUsersValue) {
    MemoryRunKey user, machine;
    machine.write(u"Shuttle", startCommand(kProgram));  // a per-machine installation's value
    EXPECT_TRUE(startsAtLogon(user, machine, kProgram));
    StartToggle toggle = toggleStartAtLogon(user, machine, kProgram);  // shown on: a click turns it off
    EXPECT_FALSE(toggle.on);
    EXPECT_FALSE(toggle.failed);
    EXPECT_TRUE(toggle.machineStillOn);
    EXPECT_FALSE(user.has(u"Shuttle"));
    EXPECT_TRUE(machine.has(u"Shuttle"));

    machine.remove(u"Shuttle");
    toggle = toggleStartAtLogon(user, machine, kProgram);
    EXPECT_TRUE(toggle.on && !toggle.failed && !toggle.machineStillOn);
    EXPECT_EQ(user.read(u"Shuttle"), startCommand(kProgram));
    user.refuseChanges(true);
    toggle = toggleStartAtLogon(user, machine, kProgram);
    EXPECT_TRUE(toggle.failed);
    EXPECT_TRUE(startsAtLogon(user, machine, kProgram));
}

TEST(StartWithWindows, OnlyValuesThatStartThisProgramCount) {
    const std::pair<std::u16string, bool> commands[] = {
        {u"\"C:\\Program Files\\Shuttle\\Shuttle.exe\"", true},
        {u"C:\\Program Files\\Shuttle\\Shuttle.exe", true},                    // quotes are optional
        {u"\"c:\\PROGRAM FILES\\shuttle\\SHUTTLE.EXE\"", true},                // case does not matter
        {u"  \"C:\\Program Files\\Shuttle\\Shuttle.exe\" -console ", true},    // blanks, arguments
        {u"C:\\Program Files\\Shuttle\\Shuttle.exe -console", true},
        {u"", false},
        {u"\"\"", false},
        {u"\"C:\\Program Files\\Shuttle\\Shuttle.exe", false},                   // quote never closed
        {u"\"C:\\Program Files\\Shuttle\\Shuttle.exe\"x", false},               // the name goes on
        {u"C:\\Program Files\\Shuttle\\Shuttle.exe.old", false},
        {u"\"C:\\Program Files\\Shuttle\\Shuttle.ex\"", false},
        {u"\"D:\\Portable\\Shuttle.exe\"", false},
    };
    for (const auto& [command, starts] : commands)
        EXPECT_EQ(commandStarts(command, kProgram), starts) << std::string(command.begin(), command.end());
    EXPECT_TRUE(commandStarts(u"\"C:\\Users\\J\u00C9R\u00D4ME\\Shuttle.exe\"", u"C:\\Users\\j\u00e9r\u00f4me\\Shuttle.exe"));
    EXPECT_FALSE(commandStarts(u"\"\"", u""));
    EXPECT_FALSE(commandStarts(u"C:\\A\u00F7", u"C:\\A\u00D7"));  // division sign is no letter
}

}  // namespace
}  // namespace shuttle
