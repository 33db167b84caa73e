#include "ui/main_dialog_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "exchange/transfer_progress.h"
#include "resources/resource_ids.h"
#include "shuttle_version.h"
#include "ui/dialog_fit_win.h"
#include "ui/link_panel.h"
#include "ui/win_ui_handles.h"

namespace shuttle {
namespace {

constexpr UINT_PTR kVersionBoxSubclassId = 1;
constexpr size_t kVersionTextCharacters = 128;  // including the terminator

// What the dialog keeps for its lifetime, in its user data.
struct MainDialogData {
    Settings* settings;
    Requests* requests;
    ScopedIcon logo;
    std::unique_ptr<DialogFit> fit;
};

// What the creation parameter carries to WM_INITDIALOG.
struct DialogLinks {
    Settings* settings;
    Requests* requests;
};

MainDialogData* dialogData(HWND dialog) {
    return reinterpret_cast<MainDialogData*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

bool isChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void check(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

// The version box answers the context menu itself, so right-clicking shows no menu.
LRESULT CALLBACK versionBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    if (message == WM_CONTEXTMENU) return 1;
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, versionBoxProc, id);
    return DefSubclassProc(window, message, wParam, lParam);
}

void initialise(HWND dialog, MainDialogData& data) {
    const Settings& settings = *data.settings;
    bool usb = settings.usbMode();
    check(dialog, IDC_MODE_COM, !usb);
    check(dialog, IDC_MODE_USB, usb);
    check(dialog, IDC_SHOW_NOTIFICATIONS, settings.has(kFlagShowNotifications));
    check(dialog, IDC_PLAY_SOUND, settings.has(kFlagPlaySound));
    check(dialog, IDC_START_IN_TRAY, settings.has(kFlagStartInTray));

    // The image at the size stored in the file; a missing file leaves the picture empty.
    data.logo.reset(static_cast<HICON>(LoadImageW(nullptr, kLogoFile, IMAGE_ICON, 0, 0, LR_LOADFROMFILE)));
    if (data.logo) SendDlgItemMessageW(dialog, IDC_LOGO, STM_SETICON, reinterpret_cast<WPARAM>(data.logo.get()), 0);

    SetDlgItemTextW(dialog, IDC_WEB_LINK, kMakerLinkMarkup);
    SetDlgItemTextW(dialog, IDC_VERSION_TEXT, versionText().c_str());
    if (HWND versionBox = GetDlgItem(dialog, IDC_VERSION_TEXT))
        SetWindowSubclass(versionBox, versionBoxProc, kVersionBoxSubclassId, 0);
}

// Whatever the status line and the link button show later gets its room from the start.
std::vector<LaterTexts> laterTexts() {
    using namespace link_text;
    std::vector<std::u16string> statuses{kReady, kReadyToCopy, kReadyToPaste, kNotReady, kNotConnected,
                                         kFailed, kSelectCom, kSelectUsb, u" " + progressText(100)};
    statuses.insert(statuses.end(), kProbing.begin(), kProbing.end());
    return {{IDC_STATUS_TEXT, statuses}, {IDC_LINK_BUTTON, {kAuto, kStop, kDisconnect, kRefresh}}};
}

void changeOption(HWND dialog, Settings& settings, int id, uint32_t flag) {
    settings.setFlag(flag, isChecked(dialog, id));
    settings.save();
}

void changeMode(MainDialogData& data, bool usb) {
    data.settings->setFlag(kFlagUsbMode, usb);
    data.requests->modeChange = 1;
    data.settings->save();
}

bool onCommand(HWND dialog, MainDialogData& data, int id, int code) {
    Requests& requests = *data.requests;
    switch (id) {
        case IDC_MODE_COM:
            changeMode(data, !isChecked(dialog, IDC_MODE_COM));
            return true;
        case IDC_MODE_USB:
            changeMode(data, isChecked(dialog, IDC_MODE_USB));
            return true;
        case IDC_LINK_BUTTON:
            requests.linkButton = 1;
            return true;
        case IDC_LINK_SELECTOR:
            if (code != CBN_SELCHANGE) return false;
            requests.selectionChange = 1;
            return true;
        case IDC_SIZE_SELECTOR:
            if (code != CBN_SELCHANGE) return false;
            requests.sizeLimit = 1;
            return true;
        case IDC_SHOW_NOTIFICATIONS:
            changeOption(dialog, *data.settings, id, kFlagShowNotifications);
            return true;
        case IDC_PLAY_SOUND:
            changeOption(dialog, *data.settings, id, kFlagPlaySound);
            return true;
        case IDC_START_IN_TRAY:
            changeOption(dialog, *data.settings, id, kFlagStartInTray);
            return true;
        case IDC_OK:
            ShowWindow(GetParent(dialog), SW_HIDE);  // the program stays in the tray
            return true;
        default:
            return false;
    }
}

bool onNotify(HWND dialog, const NMHDR& header) {
    if (header.code != NM_CLICK && header.code != NM_RETURN) return false;
    // Only the link control sends the link record with these codes.
    if (header.hwndFrom == nullptr || header.hwndFrom != GetDlgItem(dialog, IDC_WEB_LINK)) return false;
    const auto& link = reinterpret_cast<const NMLINK&>(header);
    std::wstring url(link.item.szUrl, wcsnlen(link.item.szUrl, L_MAX_URL_LENGTH));
    if (!url.empty()) ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return true;
}

void release(HWND dialog) {
    std::unique_ptr<MainDialogData> data(dialogData(dialog));
    if (!data) return;
    SendDlgItemMessageW(dialog, IDC_LOGO, STM_SETICON, 0, 0);
    SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
}

}  // namespace

std::wstring versionText() {
    std::wstring text = L"" SHUTTLE_PRODUCT_NAME "\r\nVersion " SHUTTLE_VERSION_TEXT "\r\n" SHUTTLE_TAG_LINE;
    if (text.size() >= kVersionTextCharacters) text.resize(kVersionTextCharacters - 1);
    return text;
}

HWND createMainDialog(HINSTANCE instance, HWND mainWindow, Settings& settings, Requests& requests) {
    DialogLinks links{&settings, &requests};
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), mainWindow, mainDialogProc,
                              reinterpret_cast<LPARAM>(&links));
}

void refitMainDialog(HWND dialog) {
    MainDialogData* data = dialog != nullptr ? dialogData(dialog) : nullptr;
    if (data != nullptr && data->fit) data->fit->apply();
}

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* links = reinterpret_cast<const DialogLinks*>(lParam);
        if (links == nullptr) return TRUE;  // created without its links: an inert dialog
        auto data =
            std::make_unique<MainDialogData>(MainDialogData{links->settings, links->requests, ScopedIcon(), nullptr});
        initialise(dialog, *data);
        data->fit = std::make_unique<DialogFit>(dialog, IDD_MAIN_DIALOG, laterTexts(), IDC_STATUS_TEXT);
        data->fit->apply();
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data.release()));  // freed on WM_DESTROY
        return TRUE;
    }
    if (message == WM_DESTROY) {
        release(dialog);
        return FALSE;
    }
    MainDialogData* data = dialogData(dialog);
    if (data == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            return onCommand(dialog, *data, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        case WM_NOTIFY:
            return lParam != 0 && onNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam)) ? TRUE : FALSE;
        default:
            return FALSE;
    }
}

}  // namespace shuttle
