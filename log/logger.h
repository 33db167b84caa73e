#pragma once
// The user's daily log: one file per local day in the log folder of the platform
// ("<localappdata>\ORB\" on Windows), named "Shuttle.log-DDMMYYYY", each entry
// "\n<YYYY-mm-dd HH:MM:SS>INFO - <message>".

#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/log_files.h"

namespace shuttle {

class FileAppender {
public:
    FileAppender(std::string path, LogFiles& files, Clock& clock);
    virtual ~FileAppender() = default;

    // Appends one entry to today's file. Entries of concurrent callers never mix. A missing
    // folder variable or an unopenable file drops the entry silently.
    void appendLine(const char* message);

    std::string currentPath() const;

private:
    mutable std::mutex mutex_;
    std::string path_;
    LogFiles& files_;
    Clock& clock_;
};

class Logger {
public:
    Logger(LogFiles& files, Clock& clock);
    virtual ~Logger() = default;
    FileAppender& appender() { return *appender_; }

private:
    std::unique_ptr<FileAppender> appender_;
};

// Log folder (see LogFiles::logFolder) and today's file path; empty when the folder is unknown.
std::string logFolder(LogFiles& files);
std::string logFilePath(const std::string& folder, const std::tm& now);
// One entry's bytes for `message` written at `now`.
std::string logEntry(const std::tm& now, const char* message);

// Ensures the log folder exists and gives today's path ("" when it cannot be known).
std::string prepareLogFile(LogFiles& files, const std::tm& now);

}  // namespace shuttle
