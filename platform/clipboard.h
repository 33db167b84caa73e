#pragma once
// The system clipboard as the copy path and the paste need it, always in the name of this
// computer's main window. Blocks placed on the clipboard are handed over whole: the clipboard
// owns them on success, and a failed hand-over frees them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace shuttle {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // One attempt to open the clipboard for the main window.
    virtual bool open() = 0;
    virtual void close() = 0;
    // Whether the main window owns the clipboard (it put the current content there).
    virtual bool ownedByMainWindow() = 0;
    virtual bool isFormatAvailable(uint32_t format) = 0;
    // CF_UNICODETEXT up to its first zero unit; nothing when absent or unreadable.
    virtual std::optional<std::u16string> unicodeText() = 0;
    // CF_HDROP entries in order, as the system reports them (an entry may be empty).
    virtual std::optional<std::vector<std::u16string>> dropList() = 0;
    // The bytes of a format held in a memory block, the whole block as the system sizes it
    // (formats the system makes from another on request included); nothing when absent or
    // unreadable. Only while the clipboard is open.
    virtual std::optional<std::vector<uint8_t>> data(uint32_t format) const = 0;
    // Replaces the content with `block` under `format`, in the main window's name (which makes
    // it the owner). The block is made before the clipboard is emptied, so a block that cannot
    // be made, or a format id of 0, leaves the content as it was.
    virtual bool replace(uint32_t format, const std::vector<uint8_t>& block) = 0;
    // Turns the main window's clipboard-change notifications on or off; false when the system
    // refused.
    virtual bool listen(bool on) = 0;
};

// Keeps the clipboard open for its lifetime: opened with up to `attempts` tries, 1 ms apart.
class ClipboardSession {
public:
    ClipboardSession(Clipboard& clipboard, Clock& clock, int attempts);
    ~ClipboardSession();
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool isOpen() const { return open_; }

private:
    Clipboard& clipboard_;
    bool open_ = false;
};

}  // namespace shuttle
