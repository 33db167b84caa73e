#include "platform/clipboard.h"

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

}  // namespace shuttle
