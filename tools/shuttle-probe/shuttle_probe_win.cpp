// shuttle-probe: inspects and drives a running Shuttle from outside its process.
//   wait-window MS      wait until the main window exists (exit 0) or MS pass (exit 1)
//   wait-gone MS        wait until the main window is gone
//   visible             print 1 when the main window is visible, else 0
//   command ID          post WM_COMMAND ID to the main window (32776 Exit, 32777 Open)
//   close               send WM_CLOSE to the main window
//   console             print the text of Shuttle's console (exit 2 when it has none)
//   wait-console MS TEXT [COUNT]
//                       wait until the console holds TEXT (UTF-8) COUNT times (default once)
//   wait-idle MS        wait until Shuttle's main thread has first waited in its message loop
//                       (start-up done: the window is shown or left hidden by then)

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

std::string utf8(const wchar_t* wide) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), bytes, nullptr, nullptr);
    return text;
}

// Reads the text of Shuttle's console into `text`: 0 = read, 1 = no Shuttle, 2 = no console.
int readConsole(std::string& text) {
    HWND window = mainWindow();
    if (window == nullptr) return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    FreeConsole();
    if (!AttachConsole(pid)) return 2;
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        FreeConsole();
        return 3;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) {
        CloseHandle(out);
        FreeConsole();
        return 3;
    }
    text.clear();
    std::vector<wchar_t> row(info.dwSize.X);
    for (SHORT y = 0; y <= info.dwCursorPosition.Y && y < info.dwSize.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(out, row.data(), info.dwSize.X, COORD{0, y}, &read);
        std::wstring line(row.data(), read);
        line.erase(line.find_last_not_of(L' ') + 1);
        text += utf8(line.c_str()) + "\n";
    }
    CloseHandle(out);
    FreeConsole();
    return 0;
}

int printConsole() {
    // Attaching replaces the standard handles; keep the pipe this probe reports on.
    HANDLE pipe = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string text;
    int code = readConsole(text);
    if (code != 0) return code;
    DWORD written = 0;
    WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return 0;
}

size_t countOf(const std::string& text, const std::string& wanted) {
    size_t count = 0;
    for (size_t at = text.find(wanted); !wanted.empty() && at != std::string::npos; at = text.find(wanted, at + 1))
        ++count;
    return count;
}

// Polls the console in one process: each probe start costs a Wine process start.
int waitConsole(DWORD ms, const std::string& wanted, size_t count) {
    const ULONGLONG end = GetTickCount64() + ms;
    std::string text;
    do {
        if (readConsole(text) == 0 && countOf(text, wanted) >= count) return 0;
        Sleep(50);
    } while (GetTickCount64() < end);
    return 1;
}

int waitIdle(DWORD ms) {
    HWND window = mainWindow();
    if (window == nullptr) return 2;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (process == nullptr) return 2;
    DWORD result = WaitForInputIdle(process, ms);
    CloseHandle(process);
    return result == 0 ? 0 : 1;
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
    if (verb == L"wait-console" && argc >= 4) {
        const size_t count = argc > 4 ? std::wcstoul(argv[4], nullptr, 10) : 1;
        return waitConsole(number, utf8(argv[3]), count);
    }
    if (verb == L"wait-idle") return waitIdle(number);
    return 64;
}
