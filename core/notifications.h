#pragma once
// Tray notifications shared by the copy path, the store writer, the receive loop and the
// link supervisor.

#include <string>

#include "core/shared_state.h"
#include "platform/clock.h"
#include "platform/tray.h"

namespace shuttle {

// Sets the tray icon and stamps the time of the change, after which the supervisor puts the
// state icon back.
void setTrayIcon(SharedState& state, Tray& tray, Clock& clock, uint16_t icon);

// The beep (if `playSound`) and then the balloon (if `showBalloon`).
void showNotification(Tray& tray, const std::u16string& title, const std::u16string& text, bool showBalloon,
                      bool playSound, bool informationSound);

// The same with the switches taken from settings flags 1 (balloon) and 2 (sound).
void notifyUser(SharedState& state, Tray& tray, const std::u16string& title, const std::u16string& text,
                bool informationSound);

}  // namespace shuttle
