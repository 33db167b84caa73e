#pragma once
// A tray that records every call, in order, as text: "icon 150", "beep hand",
// "beep asterisk", "balloon <title> | <text>", "tip <text>", "restore".

#include <mutex>
#include <string>
#include <vector>

#include "platform/tray.h"
#include "base/utf8.h"

namespace shuttle::testing {

class RecordingTray final : public Tray {
public:
    void setIcon(uint16_t icon) override { record("icon " + std::to_string(icon)); }
    void showBalloon(const std::u16string& title, const std::u16string& text) override {
        record("balloon " + toUtf8(title) + " | " + toUtf8(text));
    }
    void setTip(const std::u16string& text) override { record("tip " + toUtf8(text)); }
    void beep(bool information) override { record(information ? "beep asterisk" : "beep hand"); }
    void restore() override { record("restore"); }

    std::vector<std::string> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // The texts of the "tip" events, in order.
    std::vector<std::string> tips() const {
        std::vector<std::string> result;
        for (const std::string& event : events())
            if (event.rfind("tip ", 0) == 0) result.push_back(event.substr(4));
        return result;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }

private:
    void record(std::string event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

}  // namespace shuttle::testing
