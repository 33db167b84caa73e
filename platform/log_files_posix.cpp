#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/log_files.h"

namespace shuttle {
namespace {

std::string hostPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

class PosixLogFiles final : public LogFiles {
public:
    std::optional<std::string> localAppData() override {
        const char* value = std::getenv("localappdata");
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    }

    bool folderExists(const std::string& path) override {
        struct stat info {};
        return ::stat(hostPath(path).c_str(), &info) == 0;
    }

    void createFolder(const std::string& path) override { ::mkdir(hostPath(path).c_str(), 0777); }

    AppendResult append(const std::string& path, const std::string& bytes) override {
        int fd = ::open(hostPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (fd < 0) return AppendResult::OpenFailed;
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        bool closed = ::close(fd) == 0;
        if (written != static_cast<ssize_t>(bytes.size()) || !closed) return AppendResult::WriteFailed;
        return AppendResult::Written;
    }
};

}  // namespace

LogFiles& systemLogFiles() {
    static PosixLogFiles files;
    return files;
}

}  // namespace shuttle
