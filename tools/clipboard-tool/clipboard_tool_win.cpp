// clipboard-tool: the clipboard from the command line (texts are UTF-8 files so that any
// character survives the shell and Wine).
//   set-text FILE [MARK...]   put FILE's UTF-8 text on the clipboard as CF_UNICODETEXT; each
//                             MARK is a format put beside it in the same copy, written NAME
//                             (a DWORD 0) or NAME=N (the DWORD N), e.g. the privacy markers
//                             "Clipboard Viewer Ignore" or CanUploadToCloudClipboard=1
//   get-text FILE             write CF_UNICODETEXT to FILE as UTF-8 (exit 1 when absent)
//   set-files PATH...         put a file list (CF_HDROP, wide paths)
//   get-files                 print the file list, one path a line (exit 1 when absent)
//   set-format NAME FILE...   put FILE's bytes under a standard (CF_TEXT...) or registered format;
//                             more NAME FILE pairs go beside it in the same copy
//   get-format NAME FILE      write the bytes of a format to FILE (exit 1 when absent)
//   formats                   print the formats present, by name
//   hold MS                   keep the clipboard open for MS milliseconds
//   hold-then-set FLAG FILE   open the clipboard, print "holding", wait until the file FLAG exists,
//                             then put FILE's text on it (a copy made the moment another program
//                             lets go of the clipboard)
//   owner-class               print the window class of the clipboard owner

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

const std::map<std::wstring, UINT> kStandardFormats = {
    {L"CF_TEXT", 1}, {L"CF_BITMAP", 2}, {L"CF_OEMTEXT", 7}, {L"CF_DIB", 8}, {L"CF_UNICODETEXT", 13},
    {L"CF_HDROP", 15}, {L"CF_LOCALE", 16},
};
const std::map<std::wstring, std::wstring> kRegisteredFormats = {
    {L"CF_HTML", L"HTML Format"},
    {L"CF_RTF", L"Rich Text Format"},
    {L"CF_RTFNOOBJS", L"Rich Text Format Without Objects"},
    {L"CF_RETEXTOBJ", L"RichEdit Text and Objects"},
};

std::string utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), units);
    return out;
}

std::string readFile(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const wchar_t* path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

UINT formatId(const std::wstring& name) {
    auto standard = kStandardFormats.find(name);
    if (standard != kStandardFormats.end()) return standard->second;
    auto registered = kRegisteredFormats.find(name);
    return RegisterClipboardFormatW(registered != kRegisteredFormats.end() ? registered->second.c_str() : name.c_str());
}

// Another program (or Wine's own clipboard thread, on a loaded machine) may hold the clipboard
// for a while: a tool that gave up after a second would make its caller's result a matter of luck.
bool openClipboard() {
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(20);
    }
    return false;
}

bool placeBlock(UINT format, const void* data, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    void* target = block ? GlobalLock(block) : nullptr;
    if (target == nullptr) return false;
    std::memcpy(target, data, size);
    GlobalUnlock(block);
    bool placed = SetClipboardData(format, block) != nullptr;
    if (!placed) GlobalFree(block);
    return placed;
}

// Several formats as one copy: one open, one empty, every block placed.
bool putBlocks(const std::vector<std::pair<UINT, std::string>>& blocks) {
    if (!openClipboard()) return false;
    EmptyClipboard();
    bool placed = true;
    for (const auto& [format, bytes] : blocks) placed = placeBlock(format, bytes.data(), bytes.size()) && placed;
    CloseClipboard();
    return placed;
}

bool putBlock(UINT format, const void* data, size_t size) {
    return putBlocks({{format, std::string(static_cast<const char*>(data), size)}});
}

// "NAME" or "NAME=N": a registered format holding a DWORD (0 unless given).
std::pair<UINT, std::string> markBlock(const std::wstring& mark) {
    const size_t equals = mark.find(L'=');
    const DWORD value = equals == std::wstring::npos ? 0 : std::wcstoul(mark.c_str() + equals + 1, nullptr, 10);
    return {formatId(mark.substr(0, equals)), std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

int getBlock(UINT format, std::vector<char>& out) {
    if (!openClipboard()) return 2;
    HANDLE handle = IsClipboardFormatAvailable(format) ? GetClipboardData(format) : nullptr;
    if (handle == nullptr) {
        CloseClipboard();
        return 1;
    }
    const char* data = static_cast<const char*>(GlobalLock(handle));
    if (data != nullptr) out.assign(data, data + GlobalSize(handle));
    GlobalUnlock(handle);
    CloseClipboard();
    return data != nullptr ? 0 : 2;
}

int setFiles(int count, wchar_t** paths) {
    std::vector<char> block(sizeof(DROPFILES), 0);
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    for (int i = 0; i < count; ++i) {
        const char* bytes = reinterpret_cast<const char*>(paths[i]);
        block.insert(block.end(), bytes, bytes + (std::wcslen(paths[i]) + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), 0);
    return putBlock(CF_HDROP, block.data(), block.size()) ? 0 : 2;
}

int getFiles() {
    if (!openClipboard()) return 2;
    auto drop = static_cast<HDROP>(IsClipboardFormatAvailable(CF_HDROP) ? GetClipboardData(CF_HDROP) : nullptr);
    if (drop == nullptr) {
        CloseClipboard();
        return 1;
    }
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::string out;
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length, L'\0');
        DragQueryFileW(drop, i, path.data(), length + 1);
        out += utf8(path) + "\n";
    }
    CloseClipboard();
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int listFormats() {
    if (!openClipboard()) return 2;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        wchar_t name[256] = L"";
        std::wstring shown;
        for (const auto& standard : kStandardFormats)
            if (standard.second == format) shown = standard.first;
        if (shown.empty() && GetClipboardFormatNameW(format, name, 256) > 0) shown = name;
        if (shown.empty()) shown = std::to_wstring(format);
        std::printf("%s\n", utf8(shown).c_str());
    }
    CloseClipboard();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 64;
    const std::wstring verb = argv[1];
    if (verb == L"set-text" && argc >= 3) {
        std::wstring text = wide(readFile(argv[2]));
        std::vector<std::pair<UINT, std::string>> blocks{
            {CF_UNICODETEXT, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t))}};
        for (int i = 3; i < argc; ++i) blocks.push_back(markBlock(argv[i]));
        return putBlocks(blocks) ? 0 : 2;
    }
    if (verb == L"get-text" && argc == 3) {
        std::vector<char> block;
        int result = getBlock(CF_UNICODETEXT, block);
        if (result != 0) return result;
        std::wstring text(reinterpret_cast<const wchar_t*>(block.data()), block.size() / sizeof(wchar_t));
        text.resize(std::wcslen(text.c_str()));
        std::string bytes = utf8(text);
        return writeFile(argv[2], bytes.data(), bytes.size()) ? 0 : 2;
    }
    if (verb == L"set-files") return setFiles(argc - 2, argv + 2);
    if (verb == L"get-files") return getFiles();
    if (verb == L"set-format" && argc >= 4 && argc % 2 == 0) {
        std::vector<std::pair<UINT, std::string>> blocks;
        for (int i = 2; i < argc; i += 2) blocks.emplace_back(formatId(argv[i]), readFile(argv[i + 1]));
        return putBlocks(blocks) ? 0 : 2;
    }
    if (verb == L"get-format" && argc == 4) {
        std::vector<char> block;
        int result = getBlock(formatId(argv[2]), block);
        if (result != 0) return result;
        return writeFile(argv[3], block.data(), block.size()) ? 0 : 2;
    }
    if (verb == L"formats") return listFormats();
    if (verb == L"hold" && argc == 3) {
        if (!openClipboard()) return 2;
        Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
        CloseClipboard();
        return 0;
    }
    if (verb == L"hold-then-set" && argc == 4) {
        if (!openClipboard()) return 2;
        std::printf("holding\n");
        std::fflush(stdout);
        // Bounded, so that a test that never lets go does not leave the clipboard held.
        for (int look = 0; look < 6000 && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES; ++look) Sleep(20);
        std::wstring text = wide(readFile(argv[3]));
        EmptyClipboard();
        const bool placed = placeBlock(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        CloseClipboard();
        return placed ? 0 : 2;
    }
    if (verb == L"owner-class") {
        wchar_t name[256] = L"";
        HWND owner = GetClipboardOwner();
        if (owner != nullptr) GetClassNameW(owner, name, 256);
        std::printf("%s\n", utf8(name).c_str());
        return 0;
    }
    return 64;
}
