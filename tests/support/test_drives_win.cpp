#include <windows.h>

#include <atomic>
#include <cctype>
#include <map>

#include "base/utf8.h"
#include "support/test_drives.h"

namespace shuttle::testing {
namespace {

// Rewrites "X:..." to "<folder>..." for the mounted letters; the folder listing needs no change.
class RedirectingFileSystem final : public FileSystem {
public:
    explicit RedirectingFileSystem(FileSystem& inner) : inner_(inner) {}
    void map(char letter, const std::string& folder) { drives_[upper(letter)] = folder; }

    std::unique_ptr<OpenFile> open(const std::string& path, FileAccess access, uint32_t share,
                                   FileDisposition disposition, uint32_t attributes) override {
        return inner_.open(real(path), access, share, disposition, attributes);
    }
    bool copyFile(const std::string& source, const std::string& target, bool failIfExists) override {
        return inner_.copyFile(real(source), real(target), failIfExists);
    }
    bool deleteFile(const std::string& path) override { return inner_.deleteFile(real(path)); }
    bool moveFile(const std::string& source, const std::string& target) override {
        return inner_.moveFile(real(source), real(target));
    }
    uint32_t attributes(const std::string& path) override { return inner_.attributes(real(path)); }
    bool setAttributes(const std::string& path, uint32_t attributes) override {
        return inner_.setAttributes(real(path), attributes);
    }
    std::unique_ptr<FindEnumeration> findFirst(const std::string& pattern, FindEntry& first,
                                               FindDetail detail = FindDetail::Full) override {
        return inner_.findFirst(real(pattern), first, detail);
    }
    bool createDirectory(const std::string& path) override {
        // The root of a mounted letter exists, as a drive root does.
        if (isRoot(path)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        return inner_.createDirectory(real(path));
    }
    bool removeDirectory(const std::string& path) override {
        if (isRoot(path)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        return inner_.removeDirectory(real(path));
    }
    uint32_t lastError() override { return inner_.lastError(); }

private:
    static char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
    bool isRoot(const std::string& path) const {
        return path.size() >= 2 && path[1] == ':' && drives_.count(upper(path[0])) &&
               path.find_first_not_of("\\/", 2) == std::string::npos;
    }
    std::string real(const std::string& path) const {
        if (path.size() < 2 || path[1] != ':') return path;
        auto drive = drives_.find(upper(path[0]));
        return drive == drives_.end() ? path : drive->second + path.substr(2);
    }

    FileSystem& inner_;
    std::map<char, std::string> drives_;
};

std::string temporaryBase() {
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH, folder);
    static std::atomic<int> counter{0};
    std::string base = toUtf8(std::u16string(reinterpret_cast<char16_t*>(folder), length));
    if (base.empty() || base.back() != '\\') base.push_back('\\');
    return base + "shuttle-drives-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

}  // namespace

struct TestDrives::Impl {
    std::string base = temporaryBase();
    RedirectingFileSystem fs{systemFileSystem()};
};

TestDrives::TestDrives() : impl_(std::make_unique<Impl>()) { systemFileSystem().createDirectory(impl_->base); }

TestDrives::~TestDrives() { wipeTree(systemFileSystem(), impl_->base); }

FileSystem& TestDrives::fs() { return impl_->fs; }

std::string TestDrives::mount(char letter) {
    std::string folder = impl_->base + "\\" + letter;
    systemFileSystem().createDirectory(folder);
    impl_->fs.map(letter, folder);
    return std::string(1, letter) + ":\\";
}

bool readOnlyIsEnforced() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

}  // namespace shuttle::testing
