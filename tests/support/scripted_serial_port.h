#pragma once
// A serial port whose device side is a script: each write takes the next Reply, which says
// whether the write goes through and what answer bytes then arrive, how late, with which line
// errors, and which reads fail. Without a reply the device stays silent. Every call is logged.

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace shuttle::testing {

using Bytes = std::vector<uint8_t>;

struct Reply {
    enum class Write { Accept, Fail, Short };
    Write write = Write::Accept;
    Bytes answer;               // bytes that arrive after the write
    int pollsBeforeAnswer = 0;  // looks at the error state that still find the input queue empty
    uint32_t lineErrors = 0;    // error bits reported by the first look after the write
    bool failFirstRead = false;   // the head read fails
    bool failSecondRead = false;  // the read of the rest fails
    size_t firstReadMax = 64;     // the head read stops (times out) after this many bytes
    size_t secondReadMax = 64;
};

class ScriptedSerialPort final : public SerialPort {
public:
    void script(Reply reply) { scriptAll({std::move(reply)}); }
    void scriptAll(const std::vector<Reply>& replies) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_.insert(replies_.end(), replies.begin(), replies.end());
    }
    void failClearErrors(bool fail) { clearFails_ = fail; }

    std::optional<size_t> write(const uint8_t* data, size_t size) override {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back("write " + std::to_string(size));
        writes_.emplace_back(data, data + size);
        current_ = Reply{};
        if (!replies_.empty()) {
            current_ = std::move(replies_.front());
            replies_.pop_front();
        }
        readsSinceWrite_ = 0;
        pollsSinceWrite_ = 0;
        if (current_.write == Reply::Write::Fail) return std::nullopt;
        if (current_.write == Reply::Write::Short) return size / 2;
        return size;
    }

    std::optional<size_t> read(uint8_t* buffer, size_t size) override {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back("read " + std::to_string(size));
        ++readsSinceWrite_;
        if ((readsSinceWrite_ == 1 && current_.failFirstRead) || (readsSinceWrite_ == 2 && current_.failSecondRead))
            return std::nullopt;
        arrive();
        size_t limit = readsSinceWrite_ == 1 ? current_.firstReadMax : readsSinceWrite_ == 2 ? current_.secondReadMax : size;
        size_t count = std::min({size, limit, input_.size()});
        std::copy(input_.begin(), input_.begin() + static_cast<long>(count), buffer);
        input_.erase(input_.begin(), input_.begin() + static_cast<long>(count));
        return count;
    }

    bool purge() override {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back("purge");
        input_.clear();
        return true;
    }

    std::optional<SerialErrorState> clearErrors() override {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back("clear");
        if (clearFails_) return std::nullopt;
        SerialErrorState state;
        if (pollsSinceWrite_++ == 0) state.errors = current_.lineErrors;
        if (pollsSinceWrite_ > current_.pollsBeforeAnswer) arrive();
        state.inputQueue = static_cast<uint32_t>(input_.size());
        return state;
    }

    bool flush() override { return true; }
    void cancel() override { note("cancel"); }
    void close() override { note("close"); }

    std::vector<Bytes> writes() const { return locked([&] { return writes_; }); }
    std::vector<std::string> log() const { return locked([&] { return log_; }); }
    size_t unusedReplies() const { return locked([&] { return replies_.size(); }); }

private:
    template <class Read>
    auto locked(Read read) const -> decltype(read()) {
        std::lock_guard<std::mutex> lock(mutex_);
        return read();
    }
    void note(const char* call) {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back(call);
    }
    void arrive() {
        input_.insert(input_.end(), current_.answer.begin(), current_.answer.end());
        current_.answer.clear();
    }

    mutable std::mutex mutex_;
    std::deque<Reply> replies_;
    Reply current_;
    Bytes input_;
    int readsSinceWrite_ = 0;
    int pollsSinceWrite_ = 0;
    bool clearFails_ = false;
    std::vector<Bytes> writes_;
    std::vector<std::string> log_;
};

// Ports handed out by number from a table, recording every open.
class ScriptedSerialPorts final : public SerialPorts {
public:
    void add(uint32_t number, std::shared_ptr<SerialPort> port) { ports_[number] = std::move(port); }
    std::shared_ptr<SerialPort> open(uint32_t number, const SerialPortSettings& settings) override {
        opened.push_back(number);
        lastSettings = settings;
        auto found = ports_.find(number);
        return found == ports_.end() ? nullptr : found->second;
    }
    bool exists(uint32_t number) override { return ports_.count(number) != 0; }

    std::vector<uint32_t> opened;
    SerialPortSettings lastSettings{};

private:
    std::map<uint32_t, std::shared_ptr<SerialPort>> ports_;
};

// Answers as the link device gives them; a whole frame (a request, or a full answer) as bytes.
inline Bytes statusAnswer(uint8_t byte1, uint8_t byte2 = 0) { return Bytes{0x40, byte1, byte2, 3}; }
inline Bytes headAnswer(uint8_t byte1 = 0, uint8_t byte2 = 0) { return Bytes{0x40, byte1, byte2, 1}; }
template <class Frame>
Bytes bytesOf(const Frame& frame) {
    return Bytes(frame.begin(), frame.end());
}

}  // namespace shuttle::testing
