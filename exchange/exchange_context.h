#pragma once
// What the copy path, the transfer worker and the receive loop work with: one computer's
// settings, link state, GUID memory and notifier, and its clipboard, clock, files and GUID
// generator. A Computer (app/computer.h) builds one from the platform seams.

#include "core/guid_memory.h"
#include "core/link_state.h"
#include "core/notifier.h"
#include "core/settings.h"
#include "payload/format_catalogue.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/guid_source.h"
#include "store/file_tree.h"

namespace shuttle {

struct ExchangeContext {
    Settings& settings;
    LinkState& link;
    GuidMemory& memory;
    Notifier& notifier;
    Clipboard& clipboard;
    Clock& clock;
    FileSystem& files;
    GuidSource& guids;
    CopyBuffer& copyBuffer;             // used only by the transfer worker's store writes
    const ClipboardFormatIds& formatIds;
    Wakeup& stop;                       // raised when the computer stops
};

}  // namespace shuttle
