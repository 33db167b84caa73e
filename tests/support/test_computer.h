#pragma once
// One computer of the exchange tests, built as the program builds one, over an in-memory clipboard,
// a recording tray, a fake panel and POSIX files whose drive letters are host folders.

#include <cstring>
#include <optional>
#include <string>

#include "app/computer.h"
#include "payload/format_catalogue.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_memory.h"
#include "platform/file_system_posix.h"
#include "store/store_layout.h"
#include "support/fake_link_panel.h"
#include "support/faulty_file_system.h"
#include "support/recording_tray.h"

namespace shuttle::testing {

class TestComputer {
public:
    // `failingFormat`, when given, is a registered format this computer's clipboard refuses.
    TestComputer(char driveLetter, const std::string& driveFolder, SerialPorts& ports, Clock& clock = systemClock(),
                 const std::u16string& failingFormat = u"")
        : letter(driveLetter),
          formatIds([&] {
              if (!failingFormat.empty()) formatRegistry.failFor(failingFormat);
              return ClipboardFormatIds::registerAll(formatRegistry);
          }()),
          computer({clock, faultyFiles, systemGuidSource(), ports, systemDeviceQuery(), formatIds, nullptr}) {
        files.mapDrive(letter, driveFolder);
        computer.settings().flags = 0;  // no balloon, no sound: each test turns on what it looks at
        // On a loaded machine the simulator may wait longer than a device's answer window: two seconds.
        computer.link().answerWait = DeviceAnswerWait{20, 10, 200};
    }

    // Wires the computer to its clipboard, tray and panel and starts the chosen workers.
    bool start(const ComputerOptions& options = {kTransferWorker}) {
        return computer.start({clipboard, tray, panel}, options);
    }
    void useUsb() {
        computer.settings().setFlag(kFlagUsbMode, true);
        computer.settings().storeSelection.set(u"Link drive (" + std::u16string(1, letter) + u":)");
        computer.link().setReadiness(true, true);
        computer.link().linkConnected = 1;
    }

    // The window thread's part of a clipboard change, looking again while the clipboard is
    // busy as the window's timer would; then waits until the transfer worker is idle.
    void copyPathRuns() {
        for (bool busy = computer.onClipboardChange(); busy; busy = computer.onClipboardLookAgain())
            systemClock().sleepMs(kCopyRetryMs);
        computer.waitForTransfers(120000);
    }
    void copyText(const std::u16string& text) {
        clipboard.userCopiesText(text);
        copyPathRuns();
    }
    void copyFiles(const std::vector<std::u16string>& paths) {
        clipboard.userCopiesFiles(paths);
        copyPathRuns();
    }
    std::optional<std::u16string> pastedText() const {
        auto block = clipboard.peek(kFormatUnicodeText);
        if (!block || block->size() < 2) return std::nullopt;
        std::u16string text(block->size() / 2, u'\0');
        std::memcpy(text.data(), block->data(), text.size() * 2);
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        return text;
    }

    char letter;
    MemoryClipboard clipboard;
    RecordingTray tray;
    FakeLinkPanel panel;
    PosixFileSystem files;
    FaultyFileSystem faultyFiles{files};  // what the computer uses: tests may inject faults
    MemoryClipboardFormatRegistry formatRegistry;
    ClipboardFormatIds formatIds;
    Computer computer;  // last: its workers stop before the parts above go
};

}  // namespace shuttle::testing
