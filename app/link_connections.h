#pragma once
// The link supervisor's environment in a running computer, answered from the computer's
// platform seams: serial ports, drive discovery, the file system and the clipboard listener.

#include "app/link_environment.h"
#include "core/link_state.h"
#include "core/settings.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/device_query.h"
#include "platform/file_system.h"
#include "platform/serial_port.h"
#include "platform/store_drive_list.h"

namespace shuttle {

// Where the store drives come from: the program's own list when it keeps one, else drive
// discovery through the device query.
struct StoreDriveSources {
    DeviceQuery& devices;
    StoreDriveList* list = nullptr;
};

class LinkConnections final : public LinkEnvironment {
public:
    LinkConnections(Settings& settings, LinkState& link, SerialPorts& ports, StoreDriveSources drives, FileSystem& files,
                    Clipboard& clipboard, Clock& clock)
        : settings_(settings),
          link_(link),
          ports_(ports),
          drives_(drives),
          files_(files),
          clipboard_(clipboard),
          clock_(clock) {}

    std::vector<std::u16string> presentPortNames() override;
    std::u16string portName(uint32_t number) override;
    void openSelectedLink(const std::u16string& selectedText) override;
    void closePort() override;
    std::vector<LinkDrive> findStoreDrives() override;
    bool isDirectory(const std::u16string& path) override;
    bool addClipboardListener() override { return clipboard_.listen(true); }
    void removeClipboardListener() override { clipboard_.listen(false); }

private:
    Settings& settings_;
    LinkState& link_;
    SerialPorts& ports_;
    StoreDriveSources drives_;
    FileSystem& files_;
    Clipboard& clipboard_;
    Clock& clock_;
};

}  // namespace shuttle
