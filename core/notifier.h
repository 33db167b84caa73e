#pragma once
// How the program tells the user what happened: the tray icon, the balloon and beep the
// settings allow, and the few user-level events of the daily log. The copy path, the receive
// loop and the link supervisor share one per computer.

#include <atomic>
#include <cstdint>
#include <string>

#include "base/guarded.h"
#include "core/settings.h"
#include "log/logger.h"
#include "platform/clock.h"
#include "platform/tray.h"

namespace shuttle {

// The beep (if `playSound`) and then the balloon (if `showBalloon`).
void showNotification(Tray& tray, const std::u16string& title, const std::u16string& text, bool showBalloon,
                      bool playSound, bool informationSound);

class Notifier {
public:
    // `logger` may be null: log entries are then dropped.
    Notifier(Tray& tray, Clock& clock, const Settings& settings, Logger* logger = nullptr);

    // Shows `icon` and stamps the time of the change, after which the supervisor puts the state
    // icon back.
    void setIcon(uint16_t icon);
    // Forgets the stamp: the icon shown now stays.
    void keepIcon() { iconChangeTick_ = 0; }
    // True, once, when the stamped icon has been shown for `ms`; a newer change stamped
    // meanwhile keeps its own time.
    bool iconChangeExpired(uint64_t ms);
    uint64_t iconChangeTick() const { return iconChangeTick_.load(); }

    // Balloon and beep as settings flags allow (show notifications, play sound).
    void notify(const std::u16string& title, const std::u16string& text, bool informationSound);
    // An entry of the daily log when logging is on.
    void log(const char* message);

    // A transfer's progress: the tray icon's tip shows `text` (and the trace prints it), and
    // progressText() gives it to the status line of the dialog.
    void showProgress(const std::u16string& text);
    // The transfer ended: the normal tip returns and progressText() is empty again.
    void endProgress();
    std::u16string progressText() const { return progress_.get(); }

    // Re-adds the notification-area icon (the shell restarted and lost it).
    void restoreTrayIcon() { tray_.restore(); }

private:
    Tray& tray_;
    Clock& clock_;
    const Settings& settings_;
    Logger* logger_;
    std::atomic<uint64_t> iconChangeTick_{0};  // 0 = no icon change pending
    GuardedText<std::u16string> progress_;
};

}  // namespace shuttle
