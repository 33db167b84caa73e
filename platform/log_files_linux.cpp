#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/log_files.h"
#include "platform/user_folders_linux.h"

namespace shuttle {
namespace {

class LinuxLogFiles final : public LogFiles {
public:
    std::optional<std::string> logFolder() override {
        const std::string state = stateHome();
        if (state.empty()) return std::nullopt;
        return state + "/shuttle/";
    }

    bool folderExists(const std::string& path) override {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0;
    }

    // ~/.local/state may not exist yet on a fresh account.
    void createFolder(const std::string& path) override { makeFolders(path); }

    AppendResult append(const std::string& path, const std::string& bytes) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0) return AppendResult::OpenFailed;
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        bool closed = ::close(fd) == 0;
        if (written != static_cast<ssize_t>(bytes.size()) || !closed) return AppendResult::WriteFailed;
        return AppendResult::Written;
    }
};

}  // namespace

LogFiles& systemLogFiles() {
    static LinuxLogFiles files;
    return files;
}

}  // namespace shuttle
