#pragma once
// The main dialog (IDD_MAIN_DIALOG): mode, link selector and button, status, options, size limit,
// logo, version text and the link to the maker's web site. Option changes are saved at once;
// everything that touches the link becomes a request for the link supervisor. Its layout keeps
// every caption whole (ui/dialog_fit_win.h) and tells the main window its size.

#include <windows.h>

#include "core/link_state.h"
#include "core/settings.h"
#include "ui/dialog_texts.h"

namespace shuttle {

// The maker's web address and the third line of the version text.
inline constexpr wchar_t kMakerUrl[] = L"" SHUTTLE_MAKER_URL;
inline constexpr wchar_t kMakerLinkMarkup[] = L"<a href=\"" SHUTTLE_MAKER_URL "\">" SHUTTLE_MAKER_HOST "</a>";
inline constexpr wchar_t kLogoFile[] = L"Images\\logo_orb.ico";

// Creates the dialog as a child of `mainWindow`. Option changes are written to `settings`,
// link changes become `requests` to the supervisor; both must outlive the dialog. Null when
// the dialog could not be created.
HWND createMainDialog(HINSTANCE instance, HWND mainWindow, Settings& settings, Requests& requests);

// Lays the dialog out anew for its DPI (after a DPI change); its parent is then sent
// kDialogLaidOutMessage, as after the first layout.
void refitMainDialog(HWND dialog);

// The dialog procedure; nonzero when it handled the message.
INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The three centred lines of the version box: product, "Version 3.0.0.6" (the project
// version), and a tag line.
std::wstring versionText();

}  // namespace shuttle
