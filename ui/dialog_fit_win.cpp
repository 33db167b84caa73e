#include "ui/dialog_fit_win.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/win_dpi.h"

namespace shuttle {
namespace {

constexpr UINT_PTR kFitSubclassId = 2;
constexpr wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// In dialog units, as the template spaces its controls: beside each other, and inside a frame.
constexpr int kGapUnits = 4;
constexpr int kInsetUnits = 6;
// In pixels at 100 % scaling: a frame's caption starts this far into the frame (and keeps as
// much to its end); a check mark is this far from its text; a button's text this far from its
// edges; a text this far from the end of its edit box or link.
constexpr int kFrameCaptionMargin = 8;
constexpr int kCheckMarkGap = 6;
constexpr int kButtonTextMargin = 6;
constexpr int kTextEndMargin = 2;
constexpr int kComboTextMargin = 4;

int scaled(int pixelsAt96, UINT dpi) { return MulDiv(pixelsAt96, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

bool isClass(HWND window, const wchar_t* name) {
    wchar_t actual[32] = L"";
    GetClassNameW(window, actual, 32);
    return CompareStringOrdinal(actual, -1, name, -1, TRUE) == CSTR_EQUAL;
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(std::max(0, GetWindowTextW(window, text.data(), length + 1))));
    return text;
}

std::vector<std::wstring> comboEntries(HWND combo) {
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length < 0) continue;
        std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
        const LRESULT copied =
            SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<size_t>(std::max<LRESULT>(0, std::min(copied, length))));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::wstring withoutMarkup(const std::wstring& text) {
    std::wstring plain;
    bool inTag = false;
    for (wchar_t c : text) {
        if (c == L'<') inTag = true;
        if (!inTag) plain += c;
        if (c == L'>') inTag = false;
    }
    return plain;
}

std::vector<std::wstring> linesOf(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A window's device context with a font selected, for measuring texts.
class MeasuringDc {
public:
    MeasuringDc(HWND window, HFONT font)
        : dc_(window), previous_(dc_.get() != nullptr && font != nullptr ? SelectObject(dc_.get(), font) : nullptr) {}
    ~MeasuringDc() {
        if (previous_ != nullptr) SelectObject(dc_.get(), previous_);
    }
    MeasuringDc(const MeasuringDc&) = delete;
    MeasuringDc& operator=(const MeasuringDc&) = delete;
    HDC get() const { return dc_.get(); }

private:
    WindowDc dc_;
    HGDIOBJ previous_;
};

HFONT fontOf(HWND window) { return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)); }

int textWidth(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

int widest(HDC dc, const std::vector<std::wstring>& texts) {
    int width = 0;
    for (const std::wstring& text : texts) width = std::max(width, textWidth(dc, text));
    return width;
}

bool isFrame(HWND control) {
    return isClass(control, WC_BUTTONW) && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool isCheckMarked(LONG style) {
    switch (style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return true;
        default:
            return false;
    }
}

int buttonNeed(LONG style, int textPixels, UINT dpi) {
    if (textPixels == 0) return 0;
    if ((style & BS_TYPEMASK) == BS_GROUPBOX) return textPixels + 2 * scaled(kFrameCaptionMargin, dpi);
    if (isCheckMarked(style)) return systemMetricForDpi(SM_CXMENUCHECK, dpi) + scaled(kCheckMarkGap, dpi) + textPixels;
    return textPixels + 2 * scaled(kButtonTextMargin, dpi);
}

bool showsText(LONG staticStyle) {
    const LONG kind = staticStyle & SS_TYPEMASK;
    return kind != SS_ICON && kind != SS_BITMAP && kind != SS_ENHMETAFILE && kind != SS_OWNERDRAW;
}

FitBox toPixels(const FitBox& units, SIZE base) {
    const int left = MulDiv(units.left, base.cx, 4);
    const int top = MulDiv(units.top, base.cy, 8);
    return FitBox{left, top, left + MulDiv(units.width(), base.cx, 4),
                  top + MulDiv(units.bottom - units.top, base.cy, 8)};
}

FitBox boxInDialog(HWND control, HWND dialog) {
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    return FitBox{box.left, box.top, box.right, box.bottom};
}

// The base units the dialog manager takes from a font: the average width of the letters and
// the height.
SIZE measuredBaseUnits(HWND dialog, HFONT font) {
    MeasuringDc dc(dialog, font);
    TEXTMETRICW metrics{};
    if (dc.get() == nullptr || !GetTextMetricsW(dc.get(), &metrics)) return SIZE{4, 8};
    return SIZE{(textWidth(dc.get(), kAlphabet) / 26 + 1) / 2, metrics.tmHeight};
}

// The base units of the dialog's own font, as its controls were placed with them.
SIZE dialogBaseUnits(HWND dialog) {
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    return SIZE{units.right, units.bottom};
}

LONG heightOf(HFONT font) {
    LOGFONTW description{};
    return font != nullptr && GetObjectW(font, sizeof description, &description) != 0 ? description.lfHeight : 0;
}

void giveFont(HWND dialog, HFONT font) {
    for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT))
        if (fontOf(control) != font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool resize(HWND window, const FitBox& box) {
    RECT client{};
    GetClientRect(window, &client);
    if (client.right == box.width() && client.bottom == box.bottom - box.top) return false;
    SetWindowPos(window, nullptr, 0, 0, box.width(), box.bottom - box.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

// The drop-down list shows its widest entry whole.
void fitList(HWND combo) {
    int width = 0;
    for (const std::wstring& entry : comboEntries(combo)) width = std::max(width, listWidthFor(combo, entry));
    SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

LRESULT CALLBACK fitSubclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR data) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, fitSubclassProc, id);
        return DefSubclassProc(control, message, wParam, lParam);
    }
    const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
    auto* fit = reinterpret_cast<DialogFit*>(data);
    switch (message) {
        case WM_SETTEXT:
            fit->fitWord();
            break;
        case CB_ADDSTRING:
        case CB_INSERTSTRING:
        case CB_DELETESTRING:
        case CB_RESETCONTENT:
            fit->apply();
            break;
        default:
            break;
    }
    return result;
}

}  // namespace

int listWidthFor(HWND combo, const std::wstring& text) {
    MeasuringDc dc(combo, fontOf(combo));
    if (dc.get() == nullptr) return 0;
    const int pixels = textWidth(dc.get(), text);
    // The list's edges and a scroll bar, so that the longest entry is not clipped.
    const UINT dpi = windowDpi(combo);
    return pixels + systemMetricForDpi(SM_CXVSCROLL, dpi) + 4 * systemMetricForDpi(SM_CXEDGE, dpi);
}

DialogFit::DialogFit(HWND dialog, int templateId, std::vector<LaterTexts> laterTexts, int wordId)
    : dialog_(dialog), laterTexts_(std::move(laterTexts)), wordId_(wordId) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5));  // RT_DIALOG
    HGLOBAL loaded = resource != nullptr ? LoadResource(instance, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) template_ = readDialogTemplate(bytes, SizeofResource(instance, resource));
    // This layout follows DPI changes itself, from the template; the dialog manager's own
    // scaling would undo it.
    disableDialogDpiScaling(dialog);
    for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        if (!isClass(control, WC_COMBOBOXW) && GetDlgCtrlID(control) != wordId_) continue;
        if (SetWindowSubclass(control, fitSubclassProc, kFitSubclassId, reinterpret_cast<DWORD_PTR>(this)))
            subclassed_.push_back(control);
    }
}

DialogFit::~DialogFit() {
    for (HWND control : subclassed_)
        if (IsWindow(control)) RemoveWindowSubclass(control, fitSubclassProc, kFitSubclassId);
    if (!ownFont_) return;
    // The controls outlive this object by a moment: they go back to the dialog's font.
    giveFont(dialog_, fontOf(dialog_));
}

// The dialog's font when it has the height the template's point size gives at this DPI, else
// one of that height made from it (the dialog manager made its font for another DPI). Every
// control is given the font chosen.
DialogFit::Font DialogFit::fontForDpi(UINT dpi) {
    HFONT dialogFont = fontOf(dialog_);
    LOGFONTW description{};
    const bool described = dialogFont != nullptr && GetObjectW(dialogFont, sizeof description, &description) != 0;
    const LONG wanted = -MulDiv(template_->pointSize, static_cast<int>(dpi), 72);
    if (!described || template_->pointSize == 0 || description.lfHeight == wanted) {
        giveFont(dialog_, dialogFont);
        return Font{dialogFont, dialogBaseUnits(dialog_)};
    }
    if (heightOf(ownFont_.get()) != wanted) {
        description.lfHeight = wanted;
        description.lfWidth = 0;
        ScopedFont made(CreateFontIndirectW(&description));
        if (!made) return Font{dialogFont, dialogBaseUnits(dialog_)};
        giveFont(dialog_, made.get());
        ownFont_ = std::move(made);  // the one made before goes once no control uses it
    }
    giveFont(dialog_, ownFont_.get());
    return Font{ownFont_.get(), measuredBaseUnits(dialog_, ownFont_.get())};
}

// The controls as the template lists them (the creation order is the order of the children),
// or none when they are not the template's.
std::vector<HWND> DialogFit::controlsInTemplateOrder() const {
    std::vector<HWND> controls;
    if (!template_) return controls;
    for (HWND control = GetWindow(dialog_, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        const size_t index = controls.size();
        if (index >= template_->controls.size() ||
            static_cast<uint32_t>(GetDlgCtrlID(control)) != template_->controls[index].id)
            return {};
        controls.push_back(control);
    }
    if (controls.size() != template_->controls.size()) controls.clear();
    return controls;
}

// The width the control needs for its text, and for the texts it shows at other times.
int DialogFit::needOf(HWND control, HDC dc, UINT dpi) const {
    std::vector<std::wstring> texts{windowText(control)};
    for (const LaterTexts& later : laterTexts_)
        if (later.id == GetDlgCtrlID(control))
            for (const std::u16string& text : later.texts) texts.emplace_back(wideText(text));
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (isClass(control, WC_BUTTONW)) return buttonNeed(style, widest(dc, texts), dpi);
    if (isClass(control, WC_STATICW)) return showsText(style) ? widest(dc, texts) : 0;
    if (isClass(control, WC_COMBOBOXW)) {
        const int entries = widest(dc, comboEntries(control));
        if (entries == 0) return 0;
        return entries + systemMetricForDpi(SM_CXVSCROLL, dpi) + 2 * systemMetricForDpi(SM_CXEDGE, dpi) +
               scaled(kComboTextMargin, dpi);
    }
    if (isClass(control, WC_EDITW)) {
        const auto margins = static_cast<DWORD>(SendMessageW(control, EM_GETMARGINS, 0, 0));
        return widest(dc, linesOf(texts.front())) + LOWORD(margins) + HIWORD(margins) + scaled(kTextEndMargin, dpi);
    }
    if (isClass(control, WC_LINK)) return textWidth(dc, withoutMarkup(texts.front())) + scaled(kTextEndMargin, dpi);
    return 0;
}

bool DialogFit::place(const std::vector<HWND>& controls, const std::vector<FitBox>& boxes) const {
    constexpr UINT kPlace = SWP_NOZORDER | SWP_NOACTIVATE;
    bool moved = false;
    for (size_t index = 0; index < controls.size(); ++index) {
        HWND control = controls[index];
        FitBox box = boxes[index];
        const FitBox now = boxInDialog(control, dialog_);
        if (isClass(control, WC_COMBOBOXW)) {
            // A drop-down's window is its closed box; the template's height also holds the list.
            if (now.left == box.left && now.top == box.top && now.width() == box.width()) continue;
        } else {
            if (GetDlgCtrlID(control) == wordId_) box.right = box.left + now.width();  // its text sets it
            if (now == box) continue;
        }
        SetWindowPos(control, nullptr, box.left, box.top, box.width(), box.bottom - box.top, kPlace);
        moved = true;
    }
    return moved;
}

void DialogFit::apply() {
    const std::vector<HWND> controls = controlsInTemplateOrder();
    if (controls.empty()) {  // not the template's controls: left as the system made them
        SendMessageW(GetParent(dialog_), kDialogLaidOutMessage, 0, reinterpret_cast<LPARAM>(dialog_));
        return;
    }
    const UINT dpi = windowDpi(dialog_);
    const Font font = fontForDpi(dpi);
    std::vector<FitItem> items;
    {
        MeasuringDc dc(dialog_, font.handle);
        if (dc.get() == nullptr) return;
        for (size_t index = 0; index < controls.size(); ++index)
            items.push_back(FitItem{toPixels(template_->controls[index].box, font.baseUnits),
                                    needOf(controls[index], dc.get(), dpi), isFrame(controls[index])});
    }
    items.push_back(FitItem{toPixels(template_->box, font.baseUnits), 0, true});
    const FitSpacing spacing{MulDiv(kGapUnits, font.baseUnits.cx, 4), MulDiv(kInsetUnits, font.baseUnits.cx, 4)};
    const std::vector<FitBox> boxes = fitItems(items, spacing);

    const bool moved = place(controls, boxes);
    const bool resized = resize(dialog_, boxes.back());
    // Frames do not paint their inside: where one grew or moved, its old edge would stay.
    if (moved || resized) RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    for (HWND control : controls)
        if (isClass(control, WC_COMBOBOXW)) fitList(control);
    fitWord();
    SendMessageW(GetParent(dialog_), kDialogLaidOutMessage, 0, reinterpret_cast<LPARAM>(dialog_));
}

void DialogFit::fitWord() {
    HWND word = GetDlgItem(dialog_, wordId_);
    if (word == nullptr) return;
    int width = 0;
    {
        MeasuringDc dc(word, fontOf(word));
        if (dc.get() == nullptr) return;
        width = textWidth(dc.get(), windowText(word));
    }
    const FitBox now = boxInDialog(word, dialog_);
    if (now.width() == width) return;
    SetWindowPos(word, nullptr, 0, 0, width, now.bottom - now.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame it sat over shows again where the word was wider.
    RECT uncovered{now.left, now.top, now.right, now.bottom};
    RedrawWindow(dialog_, &uncovered, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace shuttle
