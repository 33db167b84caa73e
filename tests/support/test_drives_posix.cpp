#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/file_system_posix.h"
#include "support/test_drives.h"

namespace shuttle::testing {

struct TestDrives::Impl {
    std::string base;
    PosixFileSystem fs;
};

TestDrives::TestDrives() : impl_(std::make_unique<Impl>()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/shuttle-drives-XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    impl_->base = made != nullptr ? made : pattern;
}

TestDrives::~TestDrives() {
    std::error_code ignored;
    std::filesystem::remove_all(impl_->base, ignored);
}

FileSystem& TestDrives::fs() { return impl_->fs; }

std::string TestDrives::mount(char letter) {
    std::string folder = impl_->base + "/" + letter;
    ::mkdir(folder.c_str(), 0777);
    impl_->fs.mapDrive(letter, folder);
    return std::string(1, letter) + ":\\";
}

bool readOnlyIsEnforced() { return true; }

}  // namespace shuttle::testing
