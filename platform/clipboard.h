#pragma once
// The system clipboard as the copy path and the paste need it, always in the name of this
// computer's main window. Blocks are measured before they are copied out, so that a huge copy
// is refused without being read into this process. Blocks placed on the clipboard are handed
// over whole: the clipboard owns them on success, and a failed hand-over frees them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace shuttle {

// What reading one format's block gave.
struct ClipboardBlock {
    enum class Status {
        Read,        // `bytes` holds the block (up to its terminator, see Clipboard::read)
        Absent,      // the format is not on the clipboard
        TooLarge,    // more than the caller's limit: nothing was copied; `size` is the block's size
        Unreadable,  // the system gave no memory block for it
        NoMemory,    // this process could not hold a copy
    };
    Status status = Status::Absent;
    std::vector<uint8_t> bytes;
    uint64_t size = 0;  // the block's size as the system gives it (GlobalSize)

    bool read() const { return status == Status::Read; }
};

// One format and its block, as a paste puts it on the clipboard.
struct ClipboardItem {
    uint32_t format = 0;
    std::vector<uint8_t> bytes;
};

// Why a paste placed nothing.
struct PasteResult {
    enum class Status {
        Placed,
        NoFormat,   // an item's format id is 0 (its registration failed)
        NoMemory,   // a block could not be made
        Refused,    // the system refused to empty the clipboard or to take a block
    };
    Status status = Status::Placed;
    uint32_t systemError = 0;  // Refused: the system's error code

    bool placed() const { return status == Status::Placed; }
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // One attempt to open the clipboard for the main window.
    virtual bool open() = 0;
    virtual void close() = 0;
    // Whether the main window owns the clipboard (it put the current content there).
    virtual bool ownedByMainWindow() = 0;
    virtual bool isFormatAvailable(uint32_t format) = 0;
    // A number that changes with every change of the content, whoever made it
    // (GetClipboardSequenceNumber). Any thread, open or not.
    virtual uint32_t sequenceNumber() = 0;
    // The block of `format`, copied out only when its content fits in `maxBytes`. With a `unit`
    // (1 for byte texts, 2 for UTF-16) the content ends with the first zero unit, which it
    // includes; a block without one is taken whole, by its size. Without a unit (0) the content is
    // the whole block. The system may size a block larger than the text it holds, so a text is
    // looked at no further than `maxBytes`. Only while the clipboard is open.
    virtual ClipboardBlock read(uint32_t format, size_t unit, uint64_t maxBytes) = 0;
    // CF_HDROP entries in order, as the system reports them (an entry may be empty); nothing when
    // absent or unreadable. Only while the clipboard is open.
    virtual std::optional<std::vector<std::u16string>> dropList() = 0;
    // Replaces the content with `items`, all in one change and in the main window's name (which
    // makes it the owner). Every block is made before the clipboard is emptied, so a block that
    // cannot be made, or a format id of 0, leaves the content as it was. Only while open.
    virtual PasteResult replace(const std::vector<ClipboardItem>& items) = 0;
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

// The part of `block` that Clipboard::read takes: up to and including the first zero unit of
// `unit` bytes within the first `maxBytes`, the whole block without a unit or without a zero.
// Gives the length, or nothing when that part is longer than `maxBytes`. Shared by the
// implementations, which look at the system's memory in place.
std::optional<uint64_t> clipboardContentLength(const uint8_t* block, uint64_t size, size_t unit, uint64_t maxBytes);

}  // namespace shuttle
