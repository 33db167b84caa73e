// busy-neighbour: another program beside a running Shuttle. Each mode repeats its action every
// MS milliseconds until the file STOP exists, then prints what it measured; it prints "running"
// once its first action is done, so that a test starts what is to be measured only then:
//   open-every MS STOP   opens and closes the clipboard; "longest refusal: N ms" is the longest
//                        stretch in which every open was refused (someone held the clipboard)
//   read-every MS STOP   opens the clipboard and reads its text, as clipboard managers do
//   ping-window MS STOP  sends WM_NULL to Shuttle's main window; "longest answer: N ms"
// Exit status 0, or 1 when the main window was never found (ping-window).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void announceRunning() {
    std::printf("running\n");
    std::fflush(stdout);
}

bool stopRequested(const std::wstring& stopFile) {
    return GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES;
}

double msBetween(LARGE_INTEGER from, LARGE_INTEGER to) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency);
}

LARGE_INTEGER now() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value;
}

int openEvery(DWORD periodMs, const std::wstring& stopFile, bool readText) {
    double longest = 0;
    unsigned attempts = 0, refusals = 0;
    bool refused = false;
    LARGE_INTEGER refusedSince{};
    while (!stopRequested(stopFile)) {
        ++attempts;
        const LARGE_INTEGER at = now();
        if (OpenClipboard(nullptr)) {
            if (readText) {
                HANDLE data = GetClipboardData(CF_UNICODETEXT);
                if (data != nullptr) {
                    if (GlobalLock(data) != nullptr) GlobalUnlock(data);
                }
            }
            CloseClipboard();
            if (refused) longest = std::max(longest, msBetween(refusedSince, at));
            refused = false;
        } else {
            ++refusals;
            if (!refused) refusedSince = at;
            refused = true;
        }
        if (attempts == 1) announceRunning();
        Sleep(periodMs);
    }
    if (refused) longest = std::max(longest, msBetween(refusedSince, now()));
    std::printf("longest refusal: %.0f ms\nattempts: %u refused: %u\n", longest, attempts, refusals);
    return 0;
}

int pingWindow(DWORD periodMs, const std::wstring& stopFile) {
    double longest = 0;
    unsigned pings = 0;
    while (!stopRequested(stopFile)) {
        HWND window = FindWindowW(L"SHUTTLE", L"Shuttle");
        if (window == nullptr) return 1;
        const LARGE_INTEGER sent = now();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        longest = std::max(longest, msBetween(sent, now()));
        if (++pings == 1) announceRunning();
        Sleep(periodMs);
    }
    std::printf("longest answer: %.0f ms\npings: %u\n", longest, pings);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 64;
    const std::wstring mode = argv[1];
    const DWORD periodMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const std::wstring stopFile = argv[3];
    if (mode == L"open-every") return openEvery(periodMs, stopFile, false);
    if (mode == L"read-every") return openEvery(periodMs, stopFile, true);
    if (mode == L"ping-window") return pingWindow(periodMs, stopFile);
    return 64;
}
