#pragma once
// Wraps a file system and makes the Nth call of an operation from now on (counting from 1) fail
// with a chosen Win32 error; it counts the calls, so a test can see which path the logic took.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/test_drives.h"
#include "support/trace_capture.h"

namespace shuttle::testing {

enum class FsOp { Open, Size, LastWriteTime, Read, Write, CopyTo, CopyFile, DeleteFile, MoveFile, GetAttributes, SetAttributes,
                  FindFirst, FindNext, CreateDirectory, RemoveDirectory, Count };

class FaultyFileSystem final : public FileSystem {
public:
    explicit FaultyFileSystem(FileSystem& inner) : inner_(inner) {}

    // The `nth` call of `op` after this one, and the `times - 1` calls after it, fail with `error`.
    void failCall(FsOp op, int nth, uint32_t error, int times = 1) {
        faults_.push_back({op, calls(op) + nth, times, error});
    }
    // Runs `action` just before the `nth` call of `op` after this one goes through.
    void beforeCall(FsOp op, int nth, std::function<void()> action) {
        actions_.push_back({op, calls(op) + nth, std::move(action)});
    }
    // Calls of `op` since the wrapper was made or last reset.
    int calls(FsOp op) const { return counts_[static_cast<size_t>(op)]; }
    void reset() {
        faults_.clear();
        actions_.clear();
        counts_.fill(0);
    }

    std::unique_ptr<OpenFile> open(const std::string& path, FileAccess access, uint32_t share,
                                   FileDisposition disposition, uint32_t attributes) override {
        if (injected(FsOp::Open)) return nullptr;
        std::unique_ptr<OpenFile> file = inner_.open(path, access, share, disposition, attributes);
        return file ? std::make_unique<File>(*this, std::move(file)) : nullptr;
    }
    bool copyFile(const std::string& source, const std::string& target, bool failIfExists) override {
        return !injected(FsOp::CopyFile) && inner_.copyFile(source, target, failIfExists);
    }
    bool deleteFile(const std::string& path) override { return !injected(FsOp::DeleteFile) && inner_.deleteFile(path); }
    bool moveFile(const std::string& source, const std::string& target) override {
        return !injected(FsOp::MoveFile) && inner_.moveFile(source, target);
    }
    uint32_t attributes(const std::string& path) override {
        return injected(FsOp::GetAttributes) ? kInvalidAttributes : inner_.attributes(path);
    }
    bool setAttributes(const std::string& path, uint32_t attributes) override {
        return !injected(FsOp::SetAttributes) && inner_.setAttributes(path, attributes);
    }
    std::unique_ptr<FindEnumeration> findFirst(const std::string& pattern, FindEntry& first,
                                               FindDetail detail = FindDetail::Full) override {
        if (injected(FsOp::FindFirst)) return nullptr;
        std::unique_ptr<FindEnumeration> listing = inner_.findFirst(pattern, first, detail);
        return listing ? std::make_unique<Listing>(*this, std::move(listing)) : nullptr;
    }
    bool createDirectory(const std::string& path) override {
        return !injected(FsOp::CreateDirectory) && inner_.createDirectory(path);
    }
    bool removeDirectory(const std::string& path) override {
        return !injected(FsOp::RemoveDirectory) && inner_.removeDirectory(path);
    }
    uint32_t lastError() override { return lastWasInjected_ ? injectedError_ : inner_.lastError(); }

private:
    struct Fault {
        FsOp op;
        int first, times;
        uint32_t error;
    };
    struct Action {
        FsOp op;
        int at;
        std::function<void()> run;
    };

    struct File final : OpenFile {
        File(FaultyFileSystem& owner, std::unique_ptr<OpenFile> inner) : owner_(owner), inner_(std::move(inner)) {}
        bool size(int64_t& bytes) override { return !owner_.injected(FsOp::Size) && inner_->size(bytes); }
        bool lastWriteTime(uint64_t& time) override {
            return !owner_.injected(FsOp::LastWriteTime) && inner_->lastWriteTime(time);
        }
        bool read(void* buffer, uint32_t length, uint32_t& got) override {
            got = 0;
            return !owner_.injected(FsOp::Read) && inner_->read(buffer, length, got);
        }
        bool write(const void* buffer, uint32_t length, uint32_t& put) override {
            put = 0;
            return !owner_.injected(FsOp::Write) && inner_->write(buffer, length, put);
        }
        bool copyTo(OpenFile& target, uint32_t length, uint32_t& copied) override {
            copied = 0;
            auto* wrapped = dynamic_cast<File*>(&target);  // the inner file's own kind copies in the kernel
            return !owner_.injected(FsOp::CopyTo) && inner_->copyTo(wrapped ? *wrapped->inner_ : target, length, copied);
        }
        FaultyFileSystem& owner_;
        std::unique_ptr<OpenFile> inner_;
    };
    struct Listing final : FindEnumeration {
        Listing(FaultyFileSystem& owner, std::unique_ptr<FindEnumeration> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        bool next(FindEntry& entry) override { return !owner_.injected(FsOp::FindNext) && inner_->next(entry); }
        FaultyFileSystem& owner_;
        std::unique_ptr<FindEnumeration> inner_;
    };

    // Counts the call; true (with the error recorded) when it is to fail.
    bool injected(FsOp op) {
        int number = ++counts_[static_cast<size_t>(op)];
        for (Action& action : actions_)
            if (action.op == op && action.at == number && action.run) std::exchange(action.run, nullptr)();
        lastWasInjected_ = false;
        for (const Fault& fault : faults_) {
            if (fault.op == op && number >= fault.first && number < fault.first + fault.times) {
                lastWasInjected_ = true;
                injectedError_ = fault.error;
                return true;
            }
        }
        return false;
    }

    FileSystem& inner_;
    std::vector<Fault> faults_;
    std::vector<Action> actions_;
    std::array<int, static_cast<size_t>(FsOp::Count)> counts_{};
    bool lastWasInjected_ = false;
    uint32_t injectedError_ = 0;
};

// Test drives seen through a FaultyFileSystem, with short ways to build trees on them and read them back.
class FaultyDrives : public ::testing::Test {
protected:
    TestDrives drives;
    FaultyFileSystem fs{drives.fs()};
    TraceCapture trace;
    void file(const std::string& path, const std::string& bytes) { ASSERT_TRUE(writeFile(fs, path, bytes)); }
    void folder(const std::string& path) { ASSERT_TRUE(makeFolder(fs, path)); }
    std::string content(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(readFile(fs, path, bytes)) << path;
        return bytes;
    }
    uint32_t special(const std::string& path) {
        return fs.attributes(path) & (kAttributeReadOnly | kAttributeHidden | kAttributeSystem);
    }
};

}  // namespace shuttle::testing
