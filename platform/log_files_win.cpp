#include <windows.h>

#include <vector>

#include "platform/log_files.h"
#include "platform/win_handles.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

std::wstring wide(const std::string& utf8) {
    std::u16string text = fromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

class WinLogFiles final : public LogFiles {
public:
    std::optional<std::string> logFolder() override {
        DWORD needed = GetEnvironmentVariableW(L"localappdata", nullptr, 0);
        if (needed == 0) return std::nullopt;
        std::vector<wchar_t> buffer(needed);
        DWORD length = GetEnvironmentVariableW(L"localappdata", buffer.data(), needed);
        if (length == 0 || length >= needed) return std::nullopt;
        return toUtf8(std::u16string(buffer.data(), buffer.data() + length)) + "\\ORB\\";
    }

    bool folderExists(const std::string& path) override {
        return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void createFolder(const std::string& path) override { CreateDirectoryW(wide(path).c_str(), nullptr); }

    AppendResult append(const std::string& path, const std::string& bytes) override {
        ScopedHandle file(CreateFileW(wide(path).c_str(), FILE_GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return AppendResult::OpenFailed;
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        BOOL wrote = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        BOOL closed = CloseHandle(file.release());
        if (!wrote || written != bytes.size() || !closed) return AppendResult::WriteFailed;
        return AppendResult::Written;
    }
};

}  // namespace

LogFiles& systemLogFiles() {
    static WinLogFiles files;
    return files;
}

}  // namespace shuttle
