#pragma once
// The notification-area icon as the logic sees it: change its picture, show a balloon, beep.
// The Win32 side (ui/) owns the real icon; tests use a recording fake.

#include <cstdint>
#include <string>
#include <string_view>

#include "resources/resource_ids.h"  // plain macros, shared with the resource compiler

namespace shuttle {

// Icon resources.
enum TrayIconId : uint16_t {
    kIconCopyReady = IDI_COPY_READY,    // clipboard with a blue sheet
    kIconIdle = IDI_IDLE,               // the same clipboard in grey
    kIconPasteReady = IDI_PASTE_READY,  // clipboard with a yellow sheet
    kIconSuccess = IDI_COPY_DONE,       // blue square with a tick
    kIconFailure = IDI_COPY_FAILED,     // red square with a cross
};

// The icon's tip when nothing is going on.
inline constexpr std::u16string_view kNormalTrayTip = u"Shuttle";

class Tray {
public:
    virtual ~Tray() = default;
    // Shows the icon resource `icon` in the notification area.
    virtual void setIcon(uint16_t icon) = 0;
    // A balloon with information fields only; it never makes a sound of its own.
    virtual void showBalloon(const std::u16string& title, const std::u16string& text) = 0;
    // The text shown when the pointer rests on the icon (at most 127 characters are shown).
    virtual void setTip(const std::u16string& text) = 0;
    // The system beep: the information sound when `information`, else the error sound.
    virtual void beep(bool information) = 0;
    // Adds the icon again, with the picture it showed last: the shell that held it restarted.
    virtual void restore() = 0;
};

}  // namespace shuttle
