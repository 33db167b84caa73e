#include "caption_fit_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMainDialogResource = 102;  // IDD_MAIN_DIALOG in Shuttle.exe

struct FontHolder {
    HFONT font = nullptr;
    bool own = false;
    std::wstring source;
    ~FontHolder() {
        if (own && font != nullptr) DeleteObject(font);
    }
};

struct Fit {
    int id;
    std::wstring what;
    int need;
    int room;
    const wchar_t* needWords = L"needs";
    const wchar_t* roomWords = L"has";
};

UINT dpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = getDpi != nullptr ? getDpi(window) : 0;
    return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int metric(int index, UINT dpi) {
    using MetricFn = int(WINAPI*)(int, UINT);
    auto forDpi = reinterpret_cast<MetricFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    return forDpi != nullptr ? forDpi(index, dpi) : GetSystemMetrics(index);
}

int scaled(int pixelsAt96, UINT dpi) { return MulDiv(pixelsAt96, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

std::wstring textOf(HWND window) {
    wchar_t buffer[1024] = {};
    LRESULT length = SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring itemOf(HWND combo, int index) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length < 0) return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data());
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

// A sz_Or_Ord field of a dialog template: none, an ordinal, or a string.
const WORD* skipTemplateString(const WORD* field) {
    if (*field == 0x0000) return field + 1;
    if (*field == 0xFFFF) return field + 2;
    return field + std::wcslen(reinterpret_cast<const wchar_t*>(field)) + 1;
}

// The font the dialog template declares, made at `dpi` as the dialog manager makes it. Under
// Wine WM_GETFONT from another process gives no font, so this stands in for it.
HFONT declaredFont(HWND window, UINT dpi) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return nullptr;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &size) != FALSE;
    CloseHandle(process);
    if (!named) return nullptr;
    HMODULE image = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) return nullptr;
    HFONT font = nullptr;
    HRSRC resource = FindResourceW(image, MAKEINTRESOURCEW(kMainDialogResource), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    const auto* words =
        resource != nullptr ? static_cast<const WORD*>(LockResource(LoadResource(image, resource))) : nullptr;
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style, style, item count, x, y, cx, cy.
    if (words != nullptr && words[0] == 1 && words[1] == 0xFFFF) {
        DWORD style = 0;
        std::memcpy(&style, words + 6, sizeof style);
        const WORD* field = skipTemplateString(skipTemplateString(words + 13));  // menu, class
        field += std::wcslen(reinterpret_cast<const wchar_t*>(field)) + 1;     // title
        if (style & DS_SETFONT) {
            const int points = field[0];
            const int weight = field[1];
            const bool italic = LOBYTE(field[2]) != 0;
            font = CreateFontW(-MulDiv(points, static_cast<int>(dpi), 72), 0, 0, 0, weight, italic, FALSE, FALSE,
                               DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE, reinterpret_cast<LPCWSTR>(field + 3));
        }
    }
    FreeLibrary(image);
    return font;
}

// The font the control reports (WM_GETFONT) when this process can read it, else the declared one.
void findFont(HWND dialog, UINT dpi, FontHolder& holder) {
    auto reported = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    if (reported != nullptr && GetObjectW(reported, sizeof description, &description) == sizeof description) {
        holder.font = CreateFontIndirectW(&description);
        holder.source = L"WM_GETFONT";
    } else {
        holder.font = declaredFont(dialog, dpi);
        holder.source = L"declared by the dialog";
    }
    holder.own = true;
}

class Measure {
public:
    explicit Measure(HFONT font) : dc_(CreateCompatibleDC(nullptr)) { previous_ = SelectObject(dc_, font); }
    ~Measure() {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    int width(const std::wstring& text) const {
        SIZE size{};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

int clientWidth(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return client.right - client.left;
}

std::wstring quoted(const std::wstring& text) { return L"'" + text + L"'"; }

void fitButton(HWND control, int id, const Measure& measure, UINT dpi, std::vector<Fit>& fits) {
    const std::wstring text = textOf(control);
    if (text.empty()) return;
    const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    int room = clientWidth(control);
    switch (type) {
        case BS_GROUPBOX:
            room -= 2 * scaled(8, dpi);
            break;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE:
            room -= metric(SM_CXMENUCHECK, dpi) + scaled(4, dpi);
            break;
        default:
            room -= 2 * scaled(4, dpi);
            break;
    }
    fits.push_back({id, quoted(text), measure.width(text), room});
}

void fitCombo(HWND control, int id, const Measure& measure, UINT dpi, std::vector<Fit>& fits) {
    const LRESULT count = SendMessageW(control, CB_GETCOUNT, 0, 0);
    int widest = 0;
    std::wstring widestText;
    for (int index = 0; index < count; ++index) {
        const std::wstring item = itemOf(control, index);
        const int width = measure.width(item);
        if (width > widest) widest = width, widestText = item;
    }
    if (widestText.empty()) return;
    const int edges = 2 * metric(SM_CXEDGE, dpi);
    const int arrow = metric(SM_CXVSCROLL, dpi);
    fits.push_back(
        {id, quoted(widestText) + L" in the box", widest, clientWidth(control) - arrow - edges - scaled(2, dpi)});
    const auto dropped = static_cast<int>(SendMessageW(control, CB_GETDROPPEDWIDTH, 0, 0));
    fits.push_back({id, quoted(widestText) + L" in the list", widest, dropped - arrow - edges});
}

void fitEdit(HWND control, int id, const Measure& measure, std::vector<Fit>& fits) {
    const std::wstring text = textOf(control);
    const auto margins = static_cast<DWORD>(SendMessageW(control, EM_GETMARGINS, 0, 0));
    const int room = clientWidth(control) - LOWORD(margins) - HIWORD(margins);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        if (!line.empty()) fits.push_back({id, quoted(line), measure.width(line), room});
        start = end + 2;
    }
}

// A text static is its word: too narrow cuts it, much wider leaves a gap beside it (where it sits
// over a frame, the frame is missing there).
void fitStatic(HWND control, int id, const Measure& measure, UINT dpi, std::vector<Fit>& fits) {
    const LONG kind = GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK;
    if (kind == SS_ICON || kind == SS_BITMAP || kind == SS_ENHMETAFILE) return;
    const std::wstring text = textOf(control);
    if (text.empty()) return;
    const int need = measure.width(text);
    const int room = clientWidth(control);
    fits.push_back({id, quoted(text), need, room});
    if (room > need + scaled(4, dpi))
        fits.push_back({id, quoted(text), room, need + scaled(4, dpi), L"is", L"wide, its word at most"});
}

std::vector<Fit> measureControls(HWND dialog, const Measure& measure, UINT dpi) {
    std::vector<Fit> fits;
    for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        wchar_t name[64] = L"";
        GetClassNameW(control, name, 64);
        const int id = GetDlgCtrlID(control);
        if (_wcsicmp(name, L"Button") == 0)
            fitButton(control, id, measure, dpi, fits);
        else if (_wcsicmp(name, L"ComboBox") == 0)
            fitCombo(control, id, measure, dpi, fits);
        else if (_wcsicmp(name, L"Edit") == 0)
            fitEdit(control, id, measure, fits);
        else if (_wcsicmp(name, L"Static") == 0)
            fitStatic(control, id, measure, dpi, fits);
        else if (_wcsicmp(name, L"SysLink") == 0) {
            const std::wstring text = withoutMarkup(textOf(control));
            fits.push_back({id, quoted(text), measure.width(text), clientWidth(control)});
        }
    }
    return fits;
}

void printLine(const std::wstring& line) {
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr,
                            nullptr);
    std::printf("%s\n", utf8.c_str());
}

}  // namespace

int printCaptionFits(HWND window, HWND dialog, bool all) {
    // Real pixels, not the scaled ones a DPI-unaware process would be shown.
    using SetContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    auto setContext = reinterpret_cast<SetContextFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (setContext != nullptr) setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    const UINT dpi = dpiOf(dialog);
    std::printf("dpi %u\n", dpi);
    FontHolder font;
    findFont(dialog, dpi, font);
    LOGFONTW description{};
    if (font.font == nullptr || GetObjectW(font.font, sizeof description, &description) == 0) return 2;
    printLine(L"font " + std::wstring(description.lfFaceName) + L" " + std::to_wstring(description.lfHeight) + L" (" +
              font.source + L")");

    int misfits = 0;
    const Measure measure(font.font);
    for (const Fit& fit : measureControls(dialog, measure, dpi)) {
        const bool fits = fit.need <= fit.room;
        if (!fits) ++misfits;
        if (!fits || all)
            printLine(std::to_wstring(fit.id) + L" " + fit.what + L" " + fit.needWords + L" " +
                      std::to_wstring(fit.need) + L" " + fit.roomWords + L" " + std::to_wstring(fit.room));
    }
    RECT client{}, dialogBox{};
    GetClientRect(window, &client);
    GetWindowRect(dialog, &dialogBox);
    const bool same =
        client.right == dialogBox.right - dialogBox.left && client.bottom == dialogBox.bottom - dialogBox.top;
    if (!same) ++misfits;
    if (!same || all)
        std::printf("window client %ldx%ld, dialog %ldx%ld\n", client.right, client.bottom,
                    dialogBox.right - dialogBox.left, dialogBox.bottom - dialogBox.top);
    return misfits == 0 ? 0 : 1;
}
