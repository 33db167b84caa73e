#pragma once
// The notification-area icon of the main window, as one object: added when made, removed when
// destroyed. It is the program's Tray: state and result icons, balloons and beeps.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/tray.h"

namespace shuttle {

constexpr UINT kTrayCallbackMessage = WM_APP + 100;  // 0x8064
constexpr UINT kTrayIconId = 0xEA856883u;

class TrayIcon final : public Tray {
public:
    // Adds the grey icon with the normal tip "Shuttle" for `window`; icons come from `instance`.
    // The version call follows only when the icon was added.
    TrayIcon(HWND window, HINSTANCE instance);
    ~TrayIcon() override;
    // Other threads hold it by reference as their Tray: it neither copies nor moves.
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    bool added() const { return added_; }
    // Deletes the icon now (the main window is being destroyed); later calls do nothing.
    void remove();

    void setIcon(uint16_t icon) override;
    void showBalloon(const std::u16string& title, const std::u16string& text) override;
    void setTip(const std::u16string& text) override;
    void beep(bool information) override;
    void restore() override;

private:
    bool add();

    const HWND window_;
    const HINSTANCE instance_;
    std::atomic<bool> added_{false};
    std::atomic<uint16_t> shownIcon_{kIconIdle};
    mutable std::mutex tipMutex_;
    std::u16string tip_{kNormalTrayTip};  // the tip shown now, for a restored icon
};

// Deletes the icon of `window` (also used by the console control handler).
void removeTrayIcon(HWND window);

// WM_COMMAND and the tray callback message of the main window: the menu items "Open", "Start
// with Windows" and "Exit", a click on the icon, the balloon time-out. Gives the message result.
LRESULT onTrayMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace shuttle
