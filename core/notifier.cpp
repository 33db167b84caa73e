#include "core/notifier.h"

#include "base/print.h"
#include "base/utf8.h"

namespace shuttle {

void showNotification(Tray& tray, const std::u16string& title, const std::u16string& text, bool showBalloon,
                      bool playSound, bool informationSound) {
    if (playSound) tray.beep(informationSound);
    if (showBalloon) tray.showBalloon(title, text);
}

Notifier::Notifier(Tray& tray, Clock& clock, const Settings& settings, Logger* logger)
    : tray_(tray), clock_(clock), settings_(settings), logger_(logger) {}

void Notifier::setIcon(uint16_t icon) {
    iconChangeTick_ = clock_.tickMs();
    tray_.setIcon(icon);
}

bool Notifier::iconChangeExpired(uint64_t ms) {
    uint64_t changed = iconChangeTick_;
    const uint64_t now = clock_.tickMs();
    if (changed == 0 || now < changed || now - changed < ms) return false;
    return iconChangeTick_.compare_exchange_strong(changed, 0);
}

void Notifier::notify(const std::u16string& title, const std::u16string& text, bool informationSound) {
    showNotification(tray_, title, text, settings_.has(kFlagShowNotifications), settings_.has(kFlagPlaySound),
                     informationSound);
}

void Notifier::showProgress(const std::u16string& text) {
    progress_.set(text);
    tray_.setTip(text);
    printOut("Progress: %s\n", toUtf8(text).c_str());
}

void Notifier::endProgress() {
    progress_.set(u"");
    tray_.setTip(std::u16string(kNormalTrayTip));
}

void Notifier::log(const char* message) {
    if (logger_ != nullptr && settings_.has(kFlagEnableLogging)) logger_->appender().appendLine(message);
}

}  // namespace shuttle
