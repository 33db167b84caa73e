#include "platform/clipboard.h"

#include <algorithm>

namespace shuttle {

ClipboardSession::ClipboardSession(Clipboard& clipboard, Clock& clock, int attempts) : clipboard_(clipboard) {
    for (int attempt = 0; attempt < attempts && !open_; ++attempt) {
        open_ = clipboard_.open();
        if (!open_) clock.sleepMs(1);
    }
}

ClipboardSession::~ClipboardSession() {
    if (open_) clipboard_.close();
}

std::optional<uint64_t> clipboardContentLength(const uint8_t* block, uint64_t size, size_t unit, uint64_t maxBytes) {
    if (unit == 0) return size <= maxBytes ? std::optional<uint64_t>(size) : std::nullopt;
    const uint64_t looked = std::min(size, maxBytes);
    for (uint64_t at = 0; at + unit <= looked; at += unit) {
        if (std::all_of(block + at, block + at + unit, [](uint8_t byte) { return byte == 0; })) return at + unit;
    }
    if (size <= maxBytes) return size;  // no terminator: the whole block, by its size
    return std::nullopt;
}

}  // namespace shuttle
