#pragma once
// The notification-area icon as the logic sees it: change its picture, show a balloon, beep.
// The Win32 side (ui/) owns the real icon; tests use a recording fake.

#include <cstdint>
#include <string>

namespace shuttle {

// Icon resources.
enum TrayIconId : uint16_t {
    kIconCopyReady = 136,   // clipboard with a blue sheet
    kIconIdle = 138,        // the same clipboard in grey
    kIconPasteReady = 160,  // clipboard with a yellow sheet
    kIconSuccess = 155,     // blue square with a tick
    kIconFailure = 150,     // red square with a cross
};

class Tray {
public:
    virtual ~Tray() = default;
    // Shows the icon resource `icon` in the notification area.
    virtual void setIcon(uint16_t icon) = 0;
    // A balloon with information fields only; it never makes a sound of its own.
    virtual void showBalloon(const std::u16string& title, const std::u16string& text) = 0;
    // The system beep: the information sound when `information`, else the error sound.
    virtual void beep(bool information) = 0;
    // Adds the icon again, with the picture it showed last: the shell that held it restarted.
    virtual void restore() = 0;
};

}  // namespace shuttle
