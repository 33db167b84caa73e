// paste-view: a window that shows the file list pasted into it, the way a file manager shows a
// paste landing: each pasted file or folder, the files inside the folders, and their sizes,
// under a line that sums them up. Ctrl+V pastes, and so does WM_PASTE (shuttle-ui-driver's
// paste-into sends it). Every line of the list is also written to the standard output as UTF-8,
// so that a script can print what the window shows.
//   paste-view [TITLE]

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kClass[] = L"ShuttlePasteView";
constexpr int kOpenAttempts = 20;  // another program may hold the clipboard for a moment
constexpr DWORD kOpenPauseMs = 50;
constexpr WORD kPasteCommand = 1;
constexpr int kHeaderHeight = 24;

HWND header = nullptr;
HWND listBox = nullptr;
std::wstring title = L"Pasted files";

std::string utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring withThousands(unsigned long long value) {
    std::wstring digits = std::to_wstring(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, L",");
    return digits;
}

struct Entry {
    std::wstring name;
    bool folder;
    unsigned long long size;
};

// The folder's entries, folders and files alike, sorted by name (the directory order is the
// file system's).
std::vector<Entry> entriesOf(const std::wstring& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back({name, isFolder, (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

struct Totals {
    unsigned files = 0;
    unsigned long long bytes = 0;
};

void addLine(const std::wstring& line) {
    SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    std::string text = utf8(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void listFolder(const std::wstring& folder, const std::wstring& indent, Totals& totals) {
    for (const Entry& entry : entriesOf(folder)) {
        if (entry.folder) {
            addLine(indent + entry.name + L"\\");
            listFolder(folder + L"\\" + entry.name, indent + L"    ", totals);
        } else {
            addLine(indent + entry.name + L"    " + withThousands(entry.size) + L" bytes");
            ++totals.files;
            totals.bytes += entry.size;
        }
    }
}

bool openClipboard(HWND window) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (OpenClipboard(window)) return true;
        Sleep(kOpenPauseMs);
    }
    return false;
}

// Reads the clipboard's file list; false when there is none.
bool pastedPaths(HWND window, std::vector<std::wstring>& paths) {
    if (!openClipboard(window)) return false;
    HANDLE data = GetClipboardData(CF_HDROP);
    auto drop = static_cast<HDROP>(data != nullptr ? GlobalLock(data) : nullptr);
    if (drop != nullptr) {
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT index = 0; index < count; ++index) {
            UINT length = DragQueryFileW(drop, index, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, index, path.data(), length + 1);
            path.resize(length);
            paths.push_back(path);
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return drop != nullptr;
}

void paste(HWND window) {
    std::vector<std::wstring> paths;
    SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
    if (!pastedPaths(window, paths)) {
        addLine(L"(the clipboard holds no file list)");
        std::fflush(stdout);
        return;
    }
    Totals totals;
    for (const std::wstring& path : paths) {
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            addLine(path + L"\\");
            listFolder(path, L"    ", totals);
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA info;
        if (attributes == INVALID_FILE_ATTRIBUTES || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) {
            addLine(path + L"    (missing)");
            continue;
        }
        unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        addLine(path + L"    " + withThousands(size) + L" bytes");
        ++totals.files;
        totals.bytes += size;
    }
    std::fflush(stdout);
    std::wstring caption = title + L": " + std::to_wstring(paths.size()) + L" pasted, " +
                           std::to_wstring(totals.files) + L" files, " + withThousands(totals.bytes) + L" bytes";
    SetWindowTextW(window, caption.c_str());
    SetWindowTextW(header, caption.c_str());
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        header = CreateWindowExW(0, L"Static", (title + L" (Ctrl+V pastes)").c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                                 0, 0, 0, 0, window, nullptr, nullptr, nullptr);
        SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        listBox = CreateWindowExW(WS_EX_CLIENTEDGE, L"ListBox", nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, 0,
                                  0, 0, 0, window, nullptr, nullptr, nullptr);
        SendMessageW(listBox, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        SendMessageW(listBox, LB_SETHORIZONTALEXTENT, 1200, 0);
        return 0;
    case WM_SIZE:
        MoveWindow(header, 6, 4, LOWORD(lParam) - 6, kHeaderHeight - 4, TRUE);
        MoveWindow(listBox, 0, kHeaderHeight, LOWORD(lParam), HIWORD(lParam) - kHeaderHeight, TRUE);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kPasteCommand) paste(window);
        return 0;
    case WM_PASTE:
        paste(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1) title = argv[1];
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in "\n" alone, as UTF-8 text on the reader's side
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClass;
    if (!RegisterClassExW(&windowClass)) return 1;
    HWND window = CreateWindowExW(0, kClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 620, 400, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ACCEL pasteKey{FCONTROL | FVIRTKEY, 'V', kPasteCommand};
    HACCEL keys = CreateAcceleratorTableW(&pasteKey, 1);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorW(window, keys, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
