// The user's files on Linux: where they go, the settings file, the one-instance lock, the
// autostart entry and the daily log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "core/settings.h"
#include "core/start_with_windows.h"
#include "log/logger.h"
#include "platform/autostart_linux.h"
#include "platform/instance_lock_linux.h"
#include "platform/serial_ports_linux.h"
#include "platform/settings_file_linux.h"
#include "support/manual_clock.h"

namespace shuttle {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
    TempFolder() {
        std::string pattern = fs::temp_directory_path().string() + "/shuttle-home-XXXXXX";
        path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string path;
};

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(UserFolders, AbsoluteXdgVariablesWinAndEverythingElseFallsBackUnderHome) {
    std::map<std::string, std::string> variables{{"HOME", "/home/anna"}, {"XDG_CONFIG_HOME", "relative/cfg"},
                                                 {"XDG_STATE_HOME", "/var/state"}};
    const EnvironmentLookup lookup = [&](const char* name) -> const char* {
        auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(settingsFilePath(lookup), "/home/anna/.config/shuttle/shuttle.conf");
    EXPECT_EQ(autostartFolder(lookup), "/home/anna/.config/autostart");
    EXPECT_EQ(instanceLockPath(lookup), "/var/state/shuttle/shuttle.lock");
    variables["XDG_RUNTIME_DIR"] = "/run/user/1000";
    variables.erase("XDG_STATE_HOME");
    EXPECT_EQ(instanceLockPath(lookup), "/run/user/1000/shuttle.lock");
    EXPECT_EQ(stateHome(lookup), "/home/anna/.local/state");
}

TEST(SettingsFile, TheFourValuesRoundTripWithThePortSavedAsItsPath) {
    TempFolder home;
    const std::string path = home.path + "/config/shuttle/shuttle.conf";
    const std::string port = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    LinuxSerialPorts ports(home.path);
    SettingsFile file(path, ports);
    Settings settings;
    settings.loadFrom(file);
    EXPECT_FALSE(fs::exists(path)) << "nothing is written before something is chosen";
    settings.flags = 21;
    settings.comPort = *ports.portNumber(port);
    settings.storeSelection.set(u"STICK on /media/anna/STICK (E:)");
    settings.sizeLimit = 26214400;
    settings.save();
    EXPECT_EQ(contentOf(path), "Flags=21\nCom=" + port + "\nUsb=STICK on /media/anna/STICK (E:)\nMax=26214400\n");

    // The next run's table numbers the ports anew; the saved path is the choice all the same.
    std::ofstream(path, std::ios::app) << "# kept\n";
    LinuxSerialPorts nextRun(home.path);
    nextRun.portNumber("/dev/ttyUSB3");
    SettingsFile reopened(path, nextRun);
    Settings loaded;
    loaded.loadFrom(reopened);
    EXPECT_EQ(nextRun.portName(loaded.comPort), port);
    EXPECT_EQ(loaded.flags, 21u);
    EXPECT_EQ(loaded.sizeLimit, 26214400u);
    loaded.comPort = kNoComPort;
    loaded.storeSelection.set(u"/mnt/we\\ird\nname (F:)");
    loaded.save();
    EXPECT_EQ(contentOf(path), "Flags=21\nCom=\nUsb=/mnt/we\\\\ird\\nname (F:)\nMax=26214400\n# kept\n");

    std::ofstream(path) << "Flags=lots\nCom=COM5\nUsb=x (E:)\nMax=99999999999\n";  // ill-typed values keep the defaults
    Settings defaults;
    SettingsFile edited(path, nextRun);
    defaults.loadFrom(edited);
    EXPECT_EQ(defaults.flags, kDefaultFlags);
    EXPECT_EQ(defaults.comPort, kNoComPort);
    EXPECT_EQ(defaults.sizeLimit, kDefaultSizeLimit);
    EXPECT_EQ(defaults.storeSelection.get(), u"x (E:)");
    bool existed = true;
    EXPECT_FALSE(SettingsFile("/proc/shuttle/shuttle.conf", nextRun).openOrCreate(existed)) << "no folder can be made";
}

TEST(InstanceLock, OneHolderAtATimeUntilItGoes) {
    TempFolder runtime;
    const std::string path = runtime.path + "/run/shuttle.lock";
    {
        InstanceLock first(path);
        EXPECT_EQ(first.state(), InstanceLock::State::Held);
        EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::HeldElsewhere);
    }
    EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::Held);
    EXPECT_EQ(InstanceLock("").state(), InstanceLock::State::Unavailable);
}

TEST(Autostart, StartAtLoginWritesAndRemovesTheDesktopEntry) {
    TempFolder config;
    AutostartFolder autostart(config.path + "/autostart");
    const std::string entry = config.path + "/autostart/shuttle.desktop";
    const std::u16string program = u"/opt/My Apps/shuttle";
    EXPECT_FALSE(startsWithWindows(autostart, program));
    ASSERT_TRUE(setStartWithWindows(autostart, program, true));
    EXPECT_NE(contentOf(entry).find("\nExec=\"/opt/My Apps/shuttle\"\n"), std::string::npos) << contentOf(entry);
    EXPECT_TRUE(startsWithWindows(autostart, program));
    EXPECT_FALSE(startsWithWindows(autostart, u"/usr/bin/shuttle"));
    EXPECT_TRUE(setStartWithWindows(autostart, program, false));
    EXPECT_FALSE(fs::exists(entry));
    std::ofstream(entry) << "[Desktop Entry]\nExec=\"/opt/My Apps/shuttle\"\nHidden=true\n";  // the user turned it off
    EXPECT_FALSE(startsWithWindows(autostart, program));

    EXPECT_EQ(execValueOf("\"/a/$x\" 100%"), "\"/a/\\\\$x\" 100%%");
    for (const char* command : {"\"/a b/$HOME/`x`/100%/back\\slash\" --console", "shuttle", "\"\""})
        EXPECT_EQ(commandOfExecValue(execValueOf(command)), command) << command;
    EXPECT_EQ(commandOfExecValue("\"/with\\sspace\""), "\"/with space\"");
}

TEST(LinuxLogFiles, TheDailyLogKeepsItsNamesAndLinesInTheStateFolder) {
    TempFolder state;
    ::setenv("XDG_STATE_HOME", (state.path + "/not/yet").c_str(), 1);
    testing::ManualClock clock;
    clock.setLocal(2026, 12, 5, 14, 3, 7);
    Logger logger(systemLogFiles(), clock);
    logger.appender().appendLine("Ready to paste");
    EXPECT_EQ(contentOf(state.path + "/not/yet/shuttle/Shuttle.log-05122026"), "\n2026-12-05 14:03:07INFO - Ready to paste");
}

}  // namespace
}  // namespace shuttle
