#include <windows.h>

#include "platform/file_system.h"
#include "platform/win_handles.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

// Below this length every API takes a plain path (CreateDirectoryW stops at MAX_PATH - 12).
constexpr size_t kPlainPathLimit = MAX_PATH - 12;

// The wide form of a UTF-8 path; false (with ERROR_INVALID_NAME) when it is not valid UTF-8,
// so that no API is ever called with a mangled name. A long drive path gets the "\\?\" form,
// so that deep store trees copy whole instead of failing at MAX_PATH.
bool widePath(const std::string& utf8, std::wstring& wide) {
    std::u16string text = fromUtf8(utf8);
    if (text.empty() && !utf8.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    wide.assign(text.begin(), text.end());
    const bool drivePath = wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\';
    if (drivePath && wide.size() >= kPlainPathLimit) wide.insert(0, L"\\\\?\\");
    return true;
}

FindEntry entryFrom(const WIN32_FIND_DATAW& data) {
    FindEntry entry;
    const auto* name = reinterpret_cast<const char16_t*>(data.cFileName);
    entry.name = toUtf8(std::u16string(name));
    entry.attributes = data.dwFileAttributes;
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) entry.reparseTag = data.dwReserved0;
    return entry;
}

class WinOpenFile final : public OpenFile {
public:
    explicit WinOpenFile(ScopedHandle handle) : handle_(std::move(handle)) {}

    bool size(int64_t& bytes) override {
        LARGE_INTEGER value{};
        if (!GetFileSizeEx(handle_.get(), &value)) return false;
        bytes = value.QuadPart;
        return true;
    }
    bool lastWriteTime(uint64_t& time) override {
        FILETIME written{};
        if (!GetFileTime(handle_.get(), nullptr, nullptr, &written)) return false;
        time = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
        return true;
    }
    bool read(void* buffer, uint32_t length, uint32_t& bytesRead) override {
        DWORD done = 0;
        BOOL ok = ReadFile(handle_.get(), buffer, length, &done, nullptr);
        bytesRead = done;
        return ok != FALSE;
    }
    bool write(const void* buffer, uint32_t length, uint32_t& bytesWritten) override {
        DWORD done = 0;
        BOOL ok = WriteFile(handle_.get(), buffer, length, &done, nullptr);
        bytesWritten = done;
        return ok != FALSE;
    }
    // Win32 has no copy between two open handles: the caller reads and writes.
    bool copyTo(OpenFile&, uint32_t, uint32_t& copied) override {
        copied = 0;
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }

private:
    ScopedHandle handle_;
};

class WinFindEnumeration final : public FindEnumeration {
public:
    explicit WinFindEnumeration(ScopedFindHandle handle) : handle_(std::move(handle)) {}

    bool next(FindEntry& entry) override {
        WIN32_FIND_DATAW data{};
        if (!FindNextFileW(handle_.get(), &data)) return false;
        entry = entryFrom(data);
        return true;
    }

private:
    ScopedFindHandle handle_;
};

class WinFileSystem final : public FileSystem {
public:
    std::unique_ptr<OpenFile> open(const std::string& path, FileAccess access, uint32_t share,
                                   FileDisposition disposition, uint32_t attributes) override {
        std::wstring wide;
        if (!widePath(path, wide)) return nullptr;
        DWORD desired = access == FileAccess::Read ? GENERIC_READ : GENERIC_WRITE;
        DWORD shareMode = ((share & kShareRead) ? FILE_SHARE_READ : 0) | ((share & kShareWrite) ? FILE_SHARE_WRITE : 0) |
                          ((share & kShareDelete) ? FILE_SHARE_DELETE : 0);
        DWORD how = disposition == FileDisposition::OpenExisting ? OPEN_EXISTING : CREATE_ALWAYS;
        ScopedHandle handle(CreateFileW(wide.c_str(), desired, shareMode, nullptr, how, attributes, nullptr));
        if (!handle) return nullptr;
        return std::make_unique<WinOpenFile>(std::move(handle));
    }

    bool copyFile(const std::string& source, const std::string& target, bool failIfExists) override {
        std::wstring from, to;
        if (!widePath(source, from) || !widePath(target, to)) return false;
        return CopyFileW(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
    }

    bool deleteFile(const std::string& path) override {
        std::wstring wide;
        return widePath(path, wide) && DeleteFileW(wide.c_str()) != FALSE;
    }

    uint32_t attributes(const std::string& path) override {
        std::wstring wide;
        if (!widePath(path, wide)) return kInvalidAttributes;
        return GetFileAttributesW(wide.c_str());
    }

    bool setAttributes(const std::string& path, uint32_t attributes) override {
        std::wstring wide;
        return widePath(path, wide) && SetFileAttributesW(wide.c_str(), attributes) != FALSE;
    }

    // Every detail comes with each entry at no cost.
    std::unique_ptr<FindEnumeration> findFirst(const std::string& pattern, FindEntry& first,
                                               FindDetail = FindDetail::Full) override {
        std::wstring wide;
        if (!widePath(pattern, wide)) return nullptr;
        WIN32_FIND_DATAW data{};
        ScopedFindHandle handle(FindFirstFileW(wide.c_str(), &data));
        if (!handle) return nullptr;
        first = entryFrom(data);
        return std::make_unique<WinFindEnumeration>(std::move(handle));
    }

    bool createDirectory(const std::string& path) override {
        std::wstring wide;
        return widePath(path, wide) && CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
    }

    bool removeDirectory(const std::string& path) override {
        std::wstring wide;
        return widePath(path, wide) && RemoveDirectoryW(wide.c_str()) != FALSE;
    }

    bool moveFile(const std::string& source, const std::string& target) override {
        std::wstring from, to;
        return widePath(source, from) && widePath(target, to) &&
               MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    }

    uint32_t lastError() override { return GetLastError(); }
};

}  // namespace

FileSystem& systemFileSystem() {
    static WinFileSystem fileSystem;
    return fileSystem;
}

}  // namespace shuttle
