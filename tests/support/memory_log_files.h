#pragma once
// Log files kept in memory, with switches for the failures the logger must survive.

#include <map>
#include <mutex>
#include <set>

#include "platform/log_files.h"

namespace shuttle::testing {

class MemoryLogFiles final : public LogFiles {
public:
    std::optional<std::string> logFolder() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return folder_;
    }
    bool folderExists(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return folders_.count(path) != 0;
    }
    void createFolder(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failCreate_) folders_.insert(path);
    }
    AppendResult append(const std::string& path, const std::string& bytes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string folder = path.substr(0, path.rfind('\\') + 1);
        if (folders_.count(folder) == 0 || readOnly_.count(path) != 0) return AppendResult::OpenFailed;
        if (failWrites_) return AppendResult::WriteFailed;
        files_[path] += bytes;
        return AppendResult::Written;
    }

    void setLogFolder(std::optional<std::string> value) {
        std::lock_guard<std::mutex> lock(mutex_);
        folder_ = std::move(value);
    }
    void failFolderCreation() { failCreate_ = true; }
    void failWrites() { failWrites_ = true; }
    void makeReadOnly(const std::string& path) { readOnly_.insert(path); }
    std::map<std::string, std::string> files() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return files_;
    }
    std::set<std::string> folders() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return folders_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<std::string> folder_ = std::string("C:\\Users\\me\\AppData\\Local\\ORB\\");
    std::set<std::string> folders_;
    std::set<std::string> readOnly_;
    std::map<std::string, std::string> files_;
    bool failCreate_ = false;
    bool failWrites_ = false;
};

}  // namespace shuttle::testing
