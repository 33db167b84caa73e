#pragma once
// What the copy path and the receive loop work with: one computer's shared state and its
// clipboard, tray, clock, files and GUID generator. The Win32 program builds one from the real
// system; the tests build two from in-memory parts and a link-device simulator.

#include "core/shared_state.h"
#include "payload/format_catalogue.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/guid_source.h"
#include "platform/tray.h"
#include "store/file_tree.h"

namespace shuttle {

struct ExchangeContext {
    SharedState& state;
    Clipboard& clipboard;
    Tray& tray;
    Clock& clock;
    FileSystem& files;
    GuidSource& guids;
    CopyBuffer& copyBuffer;             // used only by the window thread's store writes
    const ClipboardFormatIds& formatIds;
};

}  // namespace shuttle
