#pragma once
// What the link supervisor needs from the rest of the program: the serial ports present, the
// connection to the selected port or drive, the store drives, the file system and the main
// window's clipboard listener. A computer answers it from its platform seams
// (app/link_connections.h); the supervisor's tests use a fake.

#include <cstdint>
#include <string>
#include <vector>

namespace shuttle {

// One candidate store drive, as drive discovery reports it (UTF-8 texts).
struct LinkDrive {
    std::string name;      // volume or device name shown to the user
    std::string rootPath;  // "E:\" - the first two characters are the drive letter and colon
};

class LinkEnvironment {
public:
    virtual ~LinkEnvironment() = default;

    // The serial ports present now, by the names the user sees ("COM5" on Windows, a device path
    // on Linux), in the system's order.
    virtual std::vector<std::u16string> presentPortNames() = 0;
    // The name of port `number` ("" for none), by which the saved choice is found in the list.
    virtual std::u16string portName(uint32_t number) = 0;
    // Connects to the entry the link selector shows (`selectedText`, empty when none is
    // selected): in COM mode opens that port, in USB mode records the drive as the store
    // selection. The outcome is in the link flags of the shared state.
    virtual void openSelectedLink(const std::u16string& selectedText) = 0;
    // Closes the serial port under the link mutex; nothing when none is open.
    virtual void closePort() = 0;
    virtual std::vector<LinkDrive> findStoreDrives() = 0;
    // Whether `path` can be read and is a directory ("E:\" for a drive root).
    virtual bool isDirectory(const std::u16string& path) = 0;
    // The main window's clipboard-change listener; false when the system refused it.
    virtual bool addClipboardListener() = 0;
    virtual void removeClipboardListener() = 0;
};

}  // namespace shuttle
