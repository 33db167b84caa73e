#include "log/logger.h"

#include <ctime>

#include "base/print.h"

namespace shuttle {
namespace {

// A log path holds at most 319 characters; a longer one is not truncated (that would write to
// some other file) but makes the entry be dropped.
constexpr size_t kMaxPathLength = 319;
constexpr size_t kMaxFolderLength = 1023;

std::string formatTime(const std::tm& when, const char* format) {
    char text[64];
    size_t length = std::strftime(text, sizeof text, format, &when);
    return std::string(text, length);
}

}  // namespace

std::string logFolder(LogFiles& files) {
    std::optional<std::string> folder = files.logFolder();
    if (!folder || folder->size() > kMaxFolderLength) return std::string();
    return *folder;
}

std::string logFilePath(const std::string& folder, const std::tm& now) {
    return folder + "Shuttle.log-" + formatTime(now, "%d%m%Y");
}

std::string logEntry(const std::tm& now, const char* message) {
    return "\n" + formatTime(now, "%Y-%m-%d %H:%M:%S") + "INFO - " + message;
}

std::string prepareLogFile(LogFiles& files, const std::tm& now) {
    std::string folder = logFolder(files);
    if (folder.empty()) return std::string();
    if (!files.folderExists(folder)) files.createFolder(folder);
    return logFilePath(folder, now);
}

FileAppender::FileAppender(std::string path, LogFiles& files, Clock& clock)
    : path_(path.size() > kMaxPathLength ? std::string() : std::move(path)), files_(files), clock_(clock) {}

std::string FileAppender::currentPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

void FileAppender::appendLine(const char* message) {
    std::lock_guard<std::mutex> lock(mutex_);
    // One reading of the clock names the file and stamps the entry, so an entry written just
    // before midnight never lands in the next day's file.
    const std::tm now = clock_.localNow();
    std::string path = prepareLogFile(files_, now);
    if (path.empty() || path.size() > kMaxPathLength) return;
    if (path != path_) path_ = path;
    auto result = files_.append(path_, logEntry(now, message));
    if (result == LogFiles::AppendResult::WriteFailed) printOut("Print error\n");
}

Logger::Logger(LogFiles& files, Clock& clock)
    : appender_(std::make_unique<FileAppender>(prepareLogFile(files, clock.localNow()), files, clock)) {}

}  // namespace shuttle
