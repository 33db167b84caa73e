// shuttle-probe: inspects and drives a running Shuttle from outside its process.
//   wait-window MS      wait until the main window exists (exit 0) or MS pass (exit 1)
//   wait-gone MS        wait until the main window is gone
//   visible             print 1 when the main window is visible, else 0
//   command ID          post WM_COMMAND ID to the main window (32776 Exit, 32777 Open)
//   close               send WM_CLOSE to the main window
//   console             print the text of Shuttle's console (exit 2 when it has none)

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

HWND mainWindow() { return FindWindowW(L"SHUTTLE", L"Shuttle"); }

bool waitFor(bool wantWindow, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    do {
        if ((mainWindow() != nullptr) == wantWindow) return true;
        Sleep(20);
    } while (GetTickCount64() < end);
    return false;
}

int printConsole() {
    HWND window = mainWindow();
    if (window == nullptr) return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    // Attaching replaces the standard handles; keep the pipe this probe reports on.
    HANDLE pipe = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    if (!AttachConsole(pid)) return 2;
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 3;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) return 3;
    std::string text;
    std::vector<wchar_t> row(info.dwSize.X);
    for (SHORT y = 0; y <= info.dwCursorPosition.Y && y < info.dwSize.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(out, row.data(), info.dwSize.X, COORD{0, y}, &read);
        std::wstring line(row.data(), read);
        line.erase(line.find_last_not_of(L' ') + 1);
        int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
        if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
        text += utf8 + "\n";
    }
    CloseHandle(out);
    FreeConsole();
    DWORD written = 0;
    WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 64;
    const std::wstring verb = argv[1];
    const DWORD number = argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 0;
    if (verb == L"wait-window") return waitFor(true, number) ? 0 : 1;
    if (verb == L"wait-gone") return waitFor(false, number) ? 0 : 1;
    if (verb == L"visible") {
        HWND window = mainWindow();
        if (window == nullptr) return 1;
        std::printf("%d\n", IsWindowVisible(window) ? 1 : 0);
        return 0;
    }
    if (verb == L"command") return PostMessageW(mainWindow(), WM_COMMAND, number, 0) ? 0 : 1;
    if (verb == L"close") return SendMessageW(mainWindow(), WM_CLOSE, 0, 0) == 0 ? 0 : 1;
    if (verb == L"console") return printConsole();
    return 64;
}
