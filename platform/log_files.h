#pragma once
// What the daily log needs from the system: the folder of the log files and an append of one
// entry to a file shared with other writers. Paths are UTF-8 with the platform's separators.

#include <optional>
#include <string>

namespace shuttle {

class LogFiles {
public:
    enum class AppendResult { Written, OpenFailed, WriteFailed };

    virtual ~LogFiles() = default;
    // The folder of the log files, ending with a separator: "<localappdata>\ORB\" on Windows,
    // "<state home>/shuttle/" on Linux; nothing when it cannot be known.
    virtual std::optional<std::string> logFolder() = 0;
    virtual bool folderExists(const std::string& path) = 0;
    // Creates the folder (on Linux with the levels above it that are missing); failures are
    // ignored by the caller.
    virtual void createFolder(const std::string& path) = 0;
    // Opens the file for writing (created when missing, content kept, readers and writers
    // allowed), writes `bytes` at its end in one write and closes it.
    virtual AppendResult append(const std::string& path, const std::string& bytes) = 0;
};

LogFiles& systemLogFiles();

}  // namespace shuttle
