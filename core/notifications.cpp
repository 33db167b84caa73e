#include "core/notifications.h"

namespace shuttle {

void setTrayIcon(SharedState& state, Tray& tray, Clock& clock, uint16_t icon) {
    state.lastIconChangeTick = clock.tickMs();
    tray.setIcon(icon);
}

void showNotification(Tray& tray, const std::u16string& title, const std::u16string& text, bool showBalloon,
                      bool playSound, bool informationSound) {
    if (playSound) tray.beep(informationSound);
    if (showBalloon) tray.showBalloon(title, text);
}

void notifyUser(SharedState& state, Tray& tray, const std::u16string& title, const std::u16string& text,
                bool informationSound) {
    showNotification(tray, title, text, state.settings.has(kFlagShowNotifications),
                     state.settings.has(kFlagPlaySound), informationSound);
}

}  // namespace shuttle
