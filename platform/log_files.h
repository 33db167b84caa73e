#pragma once
// What the daily log needs from the system: the user's local application-data folder and an
// append of one entry to a file shared with other writers. Paths are UTF-8 with "\" separators.

#include <optional>
#include <string>

namespace shuttle {

class LogFiles {
public:
    enum class AppendResult { Written, OpenFailed, WriteFailed };

    virtual ~LogFiles() = default;
    // The environment variable "localappdata"; nothing when it is not set.
    virtual std::optional<std::string> localAppData() = 0;
    virtual bool folderExists(const std::string& path) = 0;
    // Creates one folder level; failures are ignored by the caller.
    virtual void createFolder(const std::string& path) = 0;
    // Opens the file for writing (created when missing, content kept, readers and writers
    // allowed), writes `bytes` at its end in one write and closes it.
    virtual AppendResult append(const std::string& path, const std::string& bytes) = 0;
};

LogFiles& systemLogFiles();

}  // namespace shuttle
