#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "app/console_win.h"

namespace shuttle {
namespace {

// The control handler is called on a thread of the system's choosing with no context of ours,
// so the one action it takes is kept here, set once before the handler is installed.
std::function<void()>& consoleEventAction() {
    static std::function<void()> action;
    return action;
}

BOOL WINAPI consoleControlHandler(DWORD) {
    if (consoleEventAction()) consoleEventAction()();
    return FALSE;
}

// The scrollback of a console window on Windows by default. Wine's consoles keep 150 lines,
// which a second of polling in COM mode fills in about a minute and a quarter.
constexpr SHORT kTraceConsoleLines = 9001;

void keepLongScrollback() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &info)) return;
    if (info.dwSize.Y >= kTraceConsoleLines) return;
    SetConsoleScreenBufferSize(out, COORD{info.dwSize.X, kTraceConsoleLines});
}

}  // namespace

bool isConsoleSwitch(const wchar_t* commandLine) {
    return commandLine != nullptr && std::wcscmp(commandLine, L"-console") == 0;
}

void openTraceConsole(std::function<void()> onConsoleEvent) {
    AllocConsole();
    keepLongScrollback();
    consoleEventAction() = std::move(onConsoleEvent);
    SetConsoleCtrlHandler(consoleControlHandler, TRUE);
    // Trace lines are UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    FILE* stream = nullptr;
    freopen_s(&stream, "CONOUT$", "w", stdout);
    freopen_s(&stream, "CONOUT$", "w", stderr);
    // Each trace call is flushed whole (base/print): buffered, a line reaches the console in
    // one write, so the console decodes a character of several UTF-8 bytes as one ("…", "ü").
    std::setvbuf(stdout, nullptr, _IOFBF, 4096);
    std::setvbuf(stderr, nullptr, _IOFBF, 4096);
    freopen_s(&stream, "CONIN$", "r", stdin);
}

}  // namespace shuttle
