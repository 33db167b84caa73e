#pragma once

#include <windows.h>

#include <memory>

#include "platform/clipboard.h"

namespace shuttle {

// The Win32 clipboard in the name of `mainWindow`; blocks go in movable global memory.
std::unique_ptr<Clipboard> makeWin32Clipboard(HWND mainWindow);

}  // namespace shuttle
