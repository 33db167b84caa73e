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

    // Whether the device namespace knows the serial port "COM<number>".
    virtual bool comPortExists(uint32_t number) = 0;
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
