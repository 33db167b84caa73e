#pragma once
// The link supervisor's environment in the running program. The platform questions (which
// COM ports exist, whether a drive root is a directory) and the main window's clipboard
// listener are answered here; connecting, closing and drive discovery are attached by the
// program from the serial and discovery modules. Until they are attached: USB mode records
// the selected drive as the store selection, a COM port cannot be opened, and no store drive
// is found.

#include <windows.h>

#include <atomic>
#include <functional>

#include "core/shared_state.h"
#include "app/link_environment.h"

namespace shuttle {

class WindowLinkEnvironment final : public LinkEnvironment {
public:
    WindowLinkEnvironment(SharedState& state, HWND mainWindow) : state_(state), mainWindow_(mainWindow) {}

    std::function<void(const std::u16string& selectedText)> openLink;  // openSelectedLink
    std::function<void()> closeLink;                                    // closePort
    std::function<std::vector<LinkDrive>()> findDrives;                 // findStoreDrives

    bool comPortExists(uint32_t number) override;
    void openSelectedLink(const std::u16string& selectedText) override;
    void closePort() override;
    std::vector<LinkDrive> findStoreDrives() override;
    bool isDirectory(const std::u16string& path) override;
    void addClipboardListener() override;
    void removeClipboardListener() override;

private:
    void recordSelection(const std::u16string& selectedText);

    SharedState& state_;
    HWND mainWindow_;
    std::atomic<bool> listening_{false};
};

}  // namespace shuttle
