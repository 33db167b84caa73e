#include "ui/link_panel_win.h"

#include <vector>

#include "resources/resource_ids.h"
#include "ui/dialog_fit_win.h"
#include "ui/win_ui_handles.h"

namespace shuttle {
namespace {

constexpr int kCaptionCharacters = 31;

LPARAM textParam(const std::u16string& text) { return reinterpret_cast<LPARAM>(wideText(text)); }

int indexOrNone(LRESULT result) { return result < 0 ? -1 : static_cast<int>(result); }

int modeControlId(ModeControl control) {
    switch (control) {
        case ModeControl::SizeSelector:
            return IDC_SIZE_SELECTOR;
        case ModeControl::SizeFrame:
            return IDC_SIZE_FRAME;
        case ModeControl::ComOptions:
            return IDC_COM_OPTIONS_FRAME;
        case ModeControl::UsbOptions:
            return IDC_USB_OPTIONS_FRAME;
    }
    return 0;
}

}  // namespace

void DialogLinkPanel::resetLinks() { send(IDC_LINK_SELECTOR, CB_RESETCONTENT); }

int DialogLinkPanel::addLink(const std::u16string& text) {
    return indexOrNone(send(IDC_LINK_SELECTOR, CB_ADDSTRING, 0, textParam(text)));
}

int DialogLinkPanel::linkCount() {
    LRESULT count = send(IDC_LINK_SELECTOR, CB_GETCOUNT);
    return count < 0 ? 0 : static_cast<int>(count);
}

bool DialogLinkPanel::selectLink(int index) {
    if (index < 0) return false;  // CB_SETCURSEL with -1 would clear the selection
    return send(IDC_LINK_SELECTOR, CB_SETCURSEL, static_cast<WPARAM>(index)) != CB_ERR;
}

bool DialogLinkPanel::selectLinkByName(const std::u16string& name) {
    // The list's own comparison: whole entries, letter case ignored as the list sorts them.
    const LRESULT index = send(IDC_LINK_SELECTOR, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), textParam(name));
    return index >= 0 && selectLink(static_cast<int>(index));
}

int DialogLinkPanel::currentLink() { return indexOrNone(send(IDC_LINK_SELECTOR, CB_GETCURSEL)); }

std::u16string DialogLinkPanel::linkText(int index) {
    if (index < 0) return {};
    LRESULT length = send(IDC_LINK_SELECTOR, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length < 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = send(IDC_LINK_SELECTOR, CB_GETLBTEXT, static_cast<WPARAM>(index),
                          reinterpret_cast<LPARAM>(buffer.data()));
    if (copied < 0) return {};
    return fromWide(buffer.data(), static_cast<size_t>(std::min(copied, length)));
}

int DialogLinkPanel::measureLinkText(const std::u16string& text) {
    return listWidthFor(control(IDC_LINK_SELECTOR), wideText(text));
}

void DialogLinkPanel::setLinkDroppedWidth(int pixels) {
    send(IDC_LINK_SELECTOR, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(pixels));
}

void DialogLinkPanel::enableLinks(bool enabled) { EnableWindow(control(IDC_LINK_SELECTOR), enabled ? TRUE : FALSE); }

std::u16string DialogLinkPanel::linkButtonCaption() {
    wchar_t caption[kCaptionCharacters + 1] = {};
    int length = GetWindowTextW(control(IDC_LINK_BUTTON), caption, kCaptionCharacters + 1);
    return fromWide(caption, length < 0 ? 0 : static_cast<size_t>(length));
}

void DialogLinkPanel::setLinkButtonCaption(const std::u16string& caption) {
    SetWindowTextW(control(IDC_LINK_BUTTON), wideText(caption));
}

void DialogLinkPanel::setStatusText(const std::u16string& text) { SetWindowTextW(control(IDC_STATUS_TEXT), wideText(text)); }

void DialogLinkPanel::addSize(const std::u16string& label) { send(IDC_SIZE_SELECTOR, CB_ADDSTRING, 0, textParam(label)); }

bool DialogLinkPanel::selectSize(const std::u16string& label) {
    LRESULT index = send(IDC_SIZE_SELECTOR, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), textParam(label));
    if (index < 0) return false;
    return send(IDC_SIZE_SELECTOR, CB_SETCURSEL, static_cast<WPARAM>(index)) != CB_ERR;
}

int DialogLinkPanel::currentSize() { return indexOrNone(send(IDC_SIZE_SELECTOR, CB_GETCURSEL)); }

void DialogLinkPanel::showControl(ModeControl which, bool visible) {
    ShowWindow(control(modeControlId(which)), visible ? SW_SHOW : SW_HIDE);
}

}  // namespace shuttle
