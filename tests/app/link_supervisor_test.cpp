#include <gtest/gtest.h>

#include "app/link_supervisor.h"
#include "base/utf8.h"
#include "core/settings.h"
#include "platform/settings_store_memory.h"
#include "support/fake_link_environment.h"
#include "support/fake_link_panel.h"
#include "support/manual_clock.h"
#include "support/recording_tray.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using Texts = std::vector<std::u16string>;
using Events = std::vector<std::string>;
using Shown = std::pair<std::u16string, std::u16string>;  // status text, button caption

class LinkSupervisorTest : public ::testing::Test {
protected:
    LinkSupervisorTest() {
        settings.loadFrom(store);
        settings.flags = kFlagShowNotifications;
    }

    void useUsbMode() { settings.setFlag(kFlagUsbMode, true); }
    // Begins over these COM ports, searching or not.
    void start(std::set<uint32_t> ports, bool search = true) {
        environment.presentPorts = std::move(ports);
        if (!search) link.autoProbe = 0;
        ASSERT_TRUE(supervisor.begin());
    }
    std::unique_ptr<Settings> saved() {
        auto settings = std::make_unique<Settings>();
        loadSettings(store, *settings);
        return settings;
    }
    // Values written since the test's set-up, four to a save.
    size_t writes() const { return store.writeOrder().size() - setUpWrites; }
    size_t saveCount() const { return writes() / 4; }
    // The port the user chose in an earlier run, as the registry holds it at start.
    void savedChoice(uint32_t port) {
        settings.comPort = port;
        settings.save();
        setUpWrites = store.writeOrder().size();
    }
    void setReady(int copy, int paste) {
        link.copyReady = copy;
        link.pasteReady = paste;
    }
    void ask(std::atomic<int>& request) {
        request = 1;
        supervisor.runRound();
    }
    Shown shown() const { return {panel.status, panel.caption}; }
    void runFor(uint64_t ms) {
        for (const uint64_t end = clock.tickMs() + ms; clock.tickMs() < end;) supervisor.runRound();
    }

    MemorySettingsStore store;
    size_t setUpWrites = 0;
    Settings settings;
    LinkState link;
    Requests requests;
    testing::ManualClock clock;
    testing::RecordingTray tray;
    Notifier notifier{tray, clock, settings};
    Wakeup stop;
    testing::FakeLinkPanel panel;
    testing::FakeLinkEnvironment environment{settings, link, clock};
    LinkSupervisor supervisor{settings, link, requests, panel, environment, notifier, clock, stop};
};

TEST_F(LinkSupervisorTest, StatusTextCaptionAndSelectorFollowTheFlags) {
    struct Row {
        bool usb;
        int portOpen, connected, attempted, copy, paste;
        std::u16string status, caption;
        bool selectorEnabled;
    };
    const std::vector<Row> rows = {
        {false, 1, 1, 1, 1, 1, u" Ready", u"Disconnect", false},
        {false, 1, 1, 1, 1, 0, u" Ready to copy", u"Disconnect", false},
        {false, 1, 1, 1, 0, 1, u" Ready to paste", u"Disconnect", false},
        {false, 1, 1, 1, 0, 0, u" Not ready", u"Disconnect", false},
        {true, 1, 0, 1, 1, 1, u" Ready", u"Disconnect", true},  // USB: connected means port-open
        {true, 1, 0, 1, 0, 0, u" Not ready", u"Disconnect", true},
        {false, 0, 0, 1, 0, 0, u" FAILED !", u"Refresh", true},
        {true, 0, 1, 1, 0, 0, u" Not connected", u"Refresh", true},  // stale connected flag ignored
        {false, 0, 0, 0, 0, 0, u" Select  COM", u"Auto", true},
        {true, 0, 0, 0, 0, 0, u" Select  USB", u"Refresh", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(toUtf8(row.status) + (row.usb ? " usb" : " com"));
        settings.setFlag(kFlagUsbMode, row.usb);
        link.portOpen = row.portOpen;
        link.linkConnected = row.connected;
        link.openAttempted = row.attempted;
        setReady(row.copy, row.paste);
        panel.linksEnabled = !row.selectorEnabled;
        supervisor.showLinkState();
        EXPECT_EQ(shown(), (Shown{row.status, row.caption}));
        EXPECT_EQ(panel.linksEnabled, row.selectorEnabled);
    }
}

TEST_F(LinkSupervisorTest, PortListHoldsEveryPresentPortSortedByTheListAndClearsTheFlags) {
    environment.presentPorts = {0, 1, 2, 10, 255};
    settings.comPort = 2;
    link.linkConnected = 1;
    link.openAttempted = 1;
    setReady(1, 1);
    supervisor.refreshLinkList(true);
    EXPECT_EQ(link.linkConnected.load() + link.openAttempted.load() + link.copyReady.load() + link.pasteReady.load(), 0);
    EXPECT_EQ(panel.links, (Texts{u"COM0", u"COM1", u"COM10", u"COM2", u"COM255"}));
    EXPECT_EQ(environment.portListings, 1);
    EXPECT_EQ(environment.closes, 1);
    EXPECT_EQ(settings.comPort.load(), 2u);
    EXPECT_EQ(saveCount(), 0u);

    supervisor.refreshLinkList(false);
    EXPECT_EQ(settings.comPort.load(), kNoComPort);
    EXPECT_EQ(saveCount(), 1u);
    EXPECT_EQ(saved()->comPort.load(), kNoComPort);
}

// The saved choice is found by its whole name and, answering, needs no search.
TEST_F(LinkSupervisorTest, SavedPortIsChosenByItsNameAndNeedsNoSearch) {
    environment.devices[10] = {false, true};
    savedChoice(10);
    start({1, 2, 10});
    EXPECT_EQ(panel.selectedLink(), u"COM10");
    EXPECT_EQ(link.portNumber.load(), 10u);
    for (int i = 0; i < 5; ++i) supervisor.runRound();
    EXPECT_EQ(environment.openedTexts(), Texts{u"COM10"});
    EXPECT_EQ(saved()->comPort.load(), 10u) << "found working: it becomes the choice";
    EXPECT_EQ(shown(), (Shown{u" Ready to paste", u"Disconnect"}));
    EXPECT_FALSE(panel.linksEnabled);
}

TEST_F(LinkSupervisorTest, SearchTriesPortsInListOrderOneSecondEach) {
    start({2, 1, 10});
    EXPECT_EQ(shown(), (Shown{u" Select  COM", u"Auto"}));
    panel.statusHistory.clear();

    supervisor.runRound();
    EXPECT_EQ(environment.openedTexts(), (Texts{u"COM1", u"COM10", u"COM2"}));
    EXPECT_EQ(environment.opens[1].tick - environment.opens[0].tick, 1000u);
    EXPECT_EQ(environment.opens[2].tick - environment.opens[1].tick, 1000u);
    EXPECT_EQ(panel.caption, u"Stop");
    EXPECT_FALSE(panel.linksEnabled);
    // Nothing answered: the last port stays open and the next round starts over.
    EXPECT_EQ(link.portOpen.load(), 1);
    supervisor.runRound();
    EXPECT_EQ(environment.openedTexts(), (Texts{u"COM1", u"COM10", u"COM2", u"COM1", u"COM10", u"COM2"}));
    EXPECT_EQ(panel.statusHistory, (Texts{u" Probing  > > >", u" Probing  ", u" Probing  > ", u" Probing  > > >",
                                          u" Probing  ", u" Probing  > "}));
}

TEST_F(LinkSupervisorTest, SearchKeepsTheSavedPortThatDidNotAnswer) {
    savedChoice(2);
    start({1, 2});
    EXPECT_EQ(environment.openedTexts(), Texts{u"COM2"});
    supervisor.runRound();
    EXPECT_EQ(environment.openedTexts(), (Texts{u"COM2", u"COM1", u"COM2"}));
    EXPECT_EQ(settings.comPort.load(), 2u);
    EXPECT_EQ(saveCount(), 0u);

    // A mode change ends the search too.
    environment.onOpen = [this](const std::u16string&) { requests.modeChange = 1; };
    supervisor.runRound();
    EXPECT_EQ(environment.opens.size(), 4u);
}

// It also replaces a saved choice that is absent.
TEST_F(LinkSupervisorTest, SearchStopsAtTheAnsweringPortAndSavesIt) {
    environment.devices[10] = {true, true};
    savedChoice(7);
    start({1, 2, 10});
    supervisor.runRound();
    EXPECT_EQ(environment.openedTexts(), (Texts{u"COM1", u"COM10"}));
    EXPECT_EQ(saved()->comPort.load(), 10u);
    EXPECT_EQ(shown(), (Shown{u" Ready", u"Disconnect"}));

    supervisor.runRound();  // the flag change reaches the tray and the listener
    EXPECT_EQ(tray.events(), Events{"icon 136"});
    EXPECT_TRUE(environment.listening);
    EXPECT_EQ(environment.opens.size(), 2u);  // paste-ready: no more searching
}

TEST_F(LinkSupervisorTest, StopDuringSearchEndsItAfterTheCurrentPort) {
    start({1, 2, 10});
    environment.onOpen = [this](const std::u16string& text) {
        if (text == u"COM10") requests.linkButton = 1;  // user clicks "Stop" meanwhile
    };
    supervisor.runRound();
    EXPECT_EQ(environment.openedTexts(), (Texts{u"COM1", u"COM10"}));
    EXPECT_EQ(environment.opens[1].tick + 1000, clock.tickMs());  // COM10 had its full second

    supervisor.runRound();
    EXPECT_EQ(link.autoProbe.load(), 0);
    EXPECT_EQ(shown(), (Shown{u" Not ready", u"Disconnect"}));  // COM10 is open but silent
    for (int i = 0; i < 3; ++i) supervisor.runRound();
    EXPECT_EQ(environment.opens.size(), 2u);
}

// One look at the port names lists them all.
constexpr int kNamesPerScan = 1;

TEST_F(LinkSupervisorTest, WithNoPortTheNamesAreLookedUpOnceASecondAndNothingIsWritten) {
    ASSERT_TRUE(supervisor.begin());
    environment.portListings = 0;
    runFor(60000);
    EXPECT_TRUE(environment.opens.empty());
    EXPECT_EQ(link.autoProbe.load(), 1);
    EXPECT_EQ(environment.portListings, 60 * kNamesPerScan);
    EXPECT_TRUE(store.writeOrder().empty());

    // A device arriving is looked for at once, not at the next second.
    while (environment.portListings == 60 * kNamesPerScan) supervisor.runRound();
    environment.portListings = 0;
    ask(requests.devicesChanged);
    EXPECT_EQ(environment.portListings, kNamesPerScan);
    EXPECT_EQ(requests.devicesChanged.load(), 0);
}

// COM1 is not COM10: the search probes COM10, and COM1 is taken up when it appears.
TEST_F(LinkSupervisorTest, AnAbsentSavedPortStaysSavedAndIsUsedWhenItAppears) {
    environment.presentPorts = {10};  // another port, with nothing behind it
    savedChoice(1);
    supervisor.selectSavedLink();
    supervisor.refreshLinkList(true);
    supervisor.selectSavedLink();
    EXPECT_TRUE(environment.opens.empty());
    ASSERT_TRUE(supervisor.begin());
    runFor(60000);
    EXPECT_EQ(environment.opens.front().text, u"COM10");
    EXPECT_EQ(settings.comPort.load(), 1u);
    EXPECT_EQ(writes(), 0u);

    // The device is plugged in again.
    environment.presentPorts.insert(1);
    environment.devices[1] = {true, true};
    requests.devicesChanged = 1;
    for (const uint64_t end = clock.tickMs() + 10000; link.pasteReady == 0 && clock.tickMs() < end;)
        supervisor.runRound();
    EXPECT_EQ(environment.opens.back().text, u"COM1");
    EXPECT_EQ(link.portNumber.load(), 1u);
    EXPECT_EQ(panel.status, u" Ready");
    EXPECT_EQ(saved()->comPort.load(), 1u);
    EXPECT_EQ(writes(), 0u);
}

// A port this user may not open: the search goes on, and the user hears why once.
TEST_F(LinkSupervisorTest, APortWithoutPermissionIsToldOnce) {
    environment.deniedPorts = {3};
    start({3});
    runFor(10000);
    EXPECT_GT(environment.opens.size(), 2u);
    int told = 0;
    for (const std::string& event : tray.events()) told += event.rfind("balloon Can't open the port | No permission", 0) == 0;
    EXPECT_EQ(told, 1);
}

TEST_F(LinkSupervisorTest, AutoStartsTheSearchAndDisconnectOrRefreshForgetsThePort) {
    start({5}, false);
    supervisor.runRound();
    EXPECT_TRUE(environment.opens.empty());

    requests.linkButton = 1;  // caption "Auto"
    environment.devices[5] = {true, false};
    supervisor.runRound();
    EXPECT_EQ(link.autoProbe.load(), 1);
    EXPECT_EQ(environment.openedTexts(), Texts{u"COM5"});
    EXPECT_EQ(panel.status, u" Ready to copy");
    EXPECT_EQ(saved()->comPort.load(), 5u);

    supervisor.runRound();
    ASSERT_EQ(panel.caption, u"Disconnect");
    ask(requests.linkButton);
    EXPECT_EQ(link.autoProbe.load(), 0);
    EXPECT_EQ(saved()->comPort.load(), kNoComPort);
    EXPECT_EQ(shown(), (Shown{u" Select  COM", u"Auto"}));
    EXPECT_EQ(link.portOpen.load(), 0);

    environment.busyPorts = {5};  // a port that fails shows "Refresh", which acts like "Disconnect"
    panel.selectLink(0);
    ask(requests.selectionChange);
    EXPECT_EQ(shown(), (Shown{u" FAILED !", u"Refresh"}));
    ask(requests.linkButton);
    EXPECT_EQ(panel.status, u" Select  COM");
    EXPECT_EQ(panel.links, Texts{u"COM5"});
}

TEST_F(LinkSupervisorTest, APickedPortIsSavedOnlyWhenItAnswersAndThenRearmsTheSearch) {
    environment.devices[6] = {false, true};
    start({1, 6}, false);
    panel.selectLink(0);
    ask(requests.selectionChange);
    EXPECT_EQ(saveCount(), 0u);
    EXPECT_EQ(panel.status, u" Not ready");

    link.autoProbe = 0;
    panel.selectLink(1);
    uint64_t before = clock.tickMs();
    ask(requests.selectionChange);
    EXPECT_GE(clock.tickMs() - before, 1100u);  // the round and the probe wait
    EXPECT_EQ(link.autoProbe.load(), 1);
    EXPECT_EQ(saveCount(), 1u);
    EXPECT_EQ(saved()->comPort.load(), 6u);
    EXPECT_EQ(requests.selectionChange.load(), 0);
}

TEST_F(LinkSupervisorTest, SizeLimitsAreListedOnceAnUnknownOneIsResetAndARequestTakesTheRow) {
    useUsbMode();
    settings.sizeLimit = 52428800;
    supervisor.applyMode();
    supervisor.applyMode();
    EXPECT_EQ(panel.sizes, (Texts{u"10MB", u"25MB", u"50MB", u"75MB", u"100MB"}));
    EXPECT_EQ(panel.currentSizeIndex, 2);
    EXPECT_EQ(saveCount(), 0u);

    settings.sizeLimit = 12345;
    supervisor.applyMode();
    EXPECT_EQ(panel.currentSizeIndex, 0);
    EXPECT_EQ(saved()->sizeLimit.load(), 10485760u);

    ASSERT_TRUE(supervisor.begin());
    panel.currentSizeIndex = 3;
    ask(requests.sizeLimit);
    EXPECT_EQ(settings.sizeLimit.load(), 78643200u);
    EXPECT_EQ(saved()->sizeLimit.load(), 78643200u);

    panel.currentSizeIndex = -1;  // nothing selected: the limit stays
    ask(requests.sizeLimit);
    EXPECT_EQ(settings.sizeLimit.load(), 78643200u);
}

// Switching to USB mode shows its controls, lists the drives with the saved one added though
// absent, and shows that drive's state.
TEST_F(LinkSupervisorTest, AModeSwitchShowsThatModesControlsAndTheRestoredDrive) {
    auto controlsShown = [&](bool usb) {
        for (ModeControl control : {ModeControl::SizeSelector, ModeControl::SizeFrame, ModeControl::UsbOptions})
            EXPECT_EQ(panel.isVisible(control), usb);
        EXPECT_EQ(panel.isVisible(ModeControl::ComOptions), !usb);
    };
    settings.storeSelection.set(u"GONE (H:)");
    start({1}, false);
    controlsShown(false);
    EXPECT_EQ(panel.droppedWidth, -1);
    EXPECT_EQ(panel.status, u" Select  COM");

    useUsbMode();
    environment.drives = {{"STICK", "F:\\"}, {"Backup Disk", "E:\\"}};
    const int closes = environment.closes;
    ask(requests.modeChange);
    controlsShown(true);
    EXPECT_EQ(panel.links, (Texts{u"Backup Disk (E:)", u"GONE (H:)", u"STICK (F:)"}));
    EXPECT_EQ(panel.selectedLink(), u"GONE (H:)");
    EXPECT_EQ(environment.openedTexts().back(), u"GONE (H:)");
    EXPECT_EQ(environment.directoryQueries.back(), u"H:\\");
    EXPECT_EQ(panel.droppedWidth, 7 * 16);
    EXPECT_GT(environment.closes, closes) << "a serial port of COM mode is closed";
    EXPECT_EQ(link.copyReady.load() + link.pasteReady.load(), 0);
    EXPECT_EQ(shown(), (Shown{u" Not connected", u"Refresh"}));
}

// The drive is checked every round, and the list follows the devices coming and going.
TEST_F(LinkSupervisorTest, SavedDriveIsFoundIgnoringCaseAndFollowedEveryRoundAndDeviceEvent) {
    useUsbMode();
    environment.drives = {{"Stick", "E:\\"}};
    environment.directories = {u"E:\\"};
    settings.storeSelection.set(u"STICK (e:)");
    ASSERT_TRUE(supervisor.begin());
    EXPECT_EQ(panel.selectedLink(), u"Stick (E:)");
    EXPECT_EQ(settings.storeSelection.get(), u"Stick (E:)");  // recorded by the open
    supervisor.runRound();
    EXPECT_EQ(panel.status, u" Ready");
    EXPECT_TRUE(environment.listening);
    EXPECT_EQ(tray.events(), Events{"icon 136"});

    // The list with both drives, the stick selected, whether the stick is there or not.
    auto listed = [&] { return std::make_pair(panel.links, panel.selectedLink()); };
    const auto bothListed = std::make_pair(Texts{u"Backup (F:)", u"Stick (E:)"}, std::u16string(u"Stick (E:)"));
    environment.drives.push_back({"Backup", "F:\\"});  // another drive arrives
    ask(requests.devicesChanged);
    EXPECT_EQ(listed(), bothListed);
    EXPECT_EQ(panel.status, u" Ready");

    environment.directories.clear();  // the stick is pulled
    supervisor.runRound();
    EXPECT_EQ(link.portOpen.load(), 0);
    EXPECT_TRUE(environment.listening) << "a copy now is reported as not sent";
    EXPECT_EQ(panel.status, u" Not connected");
    environment.drives.erase(environment.drives.begin());
    ask(requests.devicesChanged);
    EXPECT_EQ(listed(), bothListed);

    environment.drives.push_back({"Stick", "E:\\"});  // and comes back
    environment.directories = {u"E:\\"};
    ask(requests.devicesChanged);
    EXPECT_EQ(listed(), bothListed);
    EXPECT_EQ(panel.status, u" Ready");
    EXPECT_EQ(tray.events(), (Events{"icon 136", "icon 138", "icon 136"}));
    EXPECT_EQ(settings.storeSelection.get(), u"Stick (E:)");
}

TEST_F(LinkSupervisorTest, StoreDriveEntriesEndWithTheLetterWhichTheCheckReadsAfterTheLastParenthesis) {
    useUsbMode();
    environment.directories = {u"K:\\"};
    for (const auto& [selection, expected] : std::vector<std::pair<std::u16string, int>>{
             {u"My (old) stick (K:)", 1}, {u"(K:)", 1}, {u"Stick (J:)", 0}, {u"No letter", 0}, {u"", 0},
             {u"Ends with (", 0}, {u"Odd (\\:)", 0}}) {
        SCOPED_TRACE(toUtf8(selection));
        settings.storeSelection.set(selection);
        link.portOpen = 1 - expected;
        supervisor.checkStoreDrive();
        EXPECT_EQ((std::vector<int>{link.copyReady, link.pasteReady, link.portOpen}), std::vector<int>(3, expected));
    }
    // A drive's entry joins its name and letter; what names no letter is no entry.
    EXPECT_EQ(storeDriveEntry({"Stick", "E:\\"}), u"Stick (E:)");
    EXPECT_EQ(storeDriveEntry({"Clé USB", "F:\\"}), u"Cl\u00e9 USB (F:)");
    EXPECT_EQ(storeDriveEntry({"Stick", "E"}), u"");
    EXPECT_EQ(storeDriveEntry({"\xff\xfe", "E:\\"}), u"");
    EXPECT_EQ(storeSelectionDriveLetter(u"a (b) (c:)"), u'c');

    // Drives without a letter are left out of the list.
    environment.drives = {{"Broken", ""}, {"Good", "E:\\"}};
    supervisor.refreshLinkList(false);
    EXPECT_EQ(panel.links, Texts{u"Good (E:)"});
    EXPECT_EQ(settings.storeSelection.get(), u"");
    EXPECT_EQ(saveCount(), 1u);
}

TEST_F(LinkSupervisorTest, ListenerStaysOnWhateverTheFlagsAndARefusalIsRetried) {
    environment.refuseListener = 2;
    start({}, false);
    EXPECT_FALSE(link.listening());
    supervisor.runRound();
    EXPECT_FALSE(link.listening());
    supervisor.runRound();
    EXPECT_TRUE(link.listening()) << "the third registration went through";
    link.linkConnected = 1;
    for (auto ready : {std::make_pair(1, 1), {0, 1}, {0, 0}, {1, 0}, {1, 0}}) {
        setReady(ready.first, ready.second);
        supervisor.runRound();
    }
    EXPECT_EQ(environment.listenerEvents, (Events{"add", "add", "add"}));
    EXPECT_TRUE(environment.listening);
    EXPECT_EQ(tray.events(), (Events{"icon 136", "icon 160", "icon 138", "icon 136"}));
    EXPECT_EQ(panel.status, u" Ready to copy");
}

TEST_F(LinkSupervisorTest, AResumedMachineReopensThePortAtOnce) {
    environment.devices[4] = {true, true};
    settings.comPort = 4;
    start({4});
    const int closesBefore = environment.closes;
    ask(requests.reopenLink);
    EXPECT_EQ(environment.openedTexts(), (Texts{u"COM4", u"COM4"}));
    EXPECT_EQ(environment.closes, closesBefore + 1);
    EXPECT_EQ(requests.reopenLink.load(), 0);
    EXPECT_EQ(panel.status, u" Ready");

    // The receive thread's first poll of the reopened port lands while " Not ready" is being
    // shown: the flags are back as they were at the last look, and the status follows them.
    environment.devices.erase(4);
    panel.onStatus = [&](const std::u16string& text) {
        if (text == u" Not ready") setReady(1, 1);
    };
    ask(requests.reopenLink);
    EXPECT_EQ(panel.status, u" Ready");
}

// A transient icon gives way to the state icon after three seconds, but a failure with the link
// down stays.
TEST_F(LinkSupervisorTest, TransientIconsGiveWayToTheStateIconAfterThreeSeconds) {
    start({}, false);
    notifier.setIcon(kIconFailure);
    tray.clear();
    for (int i = 0; i < 40; ++i) supervisor.runRound();
    EXPECT_TRUE(tray.events().empty());
    EXPECT_EQ(notifier.iconChangeTick(), 0u);

    setReady(0, 1);
    supervisor.runRound();
    tray.clear();
    for (int i = 0; i < 31; ++i) supervisor.runRound();
    EXPECT_EQ(tray.events(), Events{"icon 160"}) << "the paste-ready icon is restored too";

    link.linkConnected = 1;
    setReady(1, 1);
    supervisor.runRound();
    // The copy path shows its tick.
    notifier.setIcon(kIconSuccess);
    uint64_t copied = clock.tickMs();
    tray.clear();
    while (clock.tickMs() - copied < 2900) supervisor.runRound();
    EXPECT_TRUE(tray.events().empty());
    while (clock.tickMs() - copied < 3000) supervisor.runRound();
    EXPECT_EQ(tray.events(), Events{"icon 136"});
    EXPECT_EQ(notifier.iconChangeTick(), clock.tickMs());  // stamped again
}

TEST_F(LinkSupervisorTest, TheStatusLineShowsATransfersProgressAndThenTheLinkAgain) {
    testing::TraceCapture trace;
    start({}, false);
    link.linkConnected = 1;
    setReady(1, 1);
    supervisor.runRound();
    ASSERT_EQ(panel.status, u" Ready");

    notifier.showProgress(u"Sending\u2026 42 %");  // the transfer worker
    notifier.showProgress(u"Sending\u2026 43 %");
    panel.statusHistory.clear();
    supervisor.runRound();
    EXPECT_EQ(panel.statusHistory, Texts{u" Sending\u2026 43 %"}) << "the latest, once a round";
    supervisor.runRound();
    EXPECT_EQ(panel.statusHistory.size(), 1u) << "an unchanged progress is not written again";

    setReady(1, 0);  // the flags change meanwhile: the progress keeps the line
    supervisor.runRound();
    EXPECT_EQ(panel.status, u" Sending\u2026 43 %");

    setReady(1, 1);
    notifier.endProgress();
    supervisor.runRound();
    EXPECT_EQ(panel.status, u" Ready");
    EXPECT_EQ(tray.tips(), (Events{"Sending\u2026 42 %", "Sending\u2026 43 %", "Shuttle"}));
}

TEST_F(LinkSupervisorTest, TheThreadEndsWhenTheStopIsRaised) {
    link.autoProbe = 0;
    const uint64_t start = clock.tickMs();
    clock.raiseAt(stop, start + 5000);
    EXPECT_EQ(runLinkSupervisor(supervisor), 1);
    EXPECT_LT(clock.tickMs() - start, 5000u + 200u);
}

TEST_F(LinkSupervisorTest, AThreadStoppedBeforeItBeganDoesNothing) {
    stop.raise();
    EXPECT_EQ(runLinkSupervisor(supervisor), 1);
    EXPECT_TRUE(panel.statusHistory.empty());
    EXPECT_EQ(environment.portListings, 0);
}

}  // namespace
}  // namespace shuttle
