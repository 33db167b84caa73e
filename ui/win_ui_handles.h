#pragma once
// Move-only owners of the user-interface handles the dialog and the tray create.

#include <windows.h>

#include <string>

#include "platform/win_handles.h"

namespace shuttle {

struct IconTraits {
    using Handle = HICON;
    static Handle invalid() { return nullptr; }
    static bool isValid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DestroyIcon(h); }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle invalid() { return nullptr; }
    static bool isValid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DestroyMenu(h); }
};

struct FontTraits {
    using Handle = HFONT;
    static Handle invalid() { return nullptr; }
    static bool isValid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DeleteObject(h); }
};

using ScopedIcon = ScopedWinHandle<IconTraits>;
using ScopedFont = ScopedWinHandle<FontTraits>;
using ScopedMenu = ScopedWinHandle<MenuTraits>;

inline const wchar_t* wideText(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string fromWide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace shuttle
