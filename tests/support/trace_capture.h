#pragma once
// Collects everything printed to the console trace while it lives.

#include <mutex>
#include <string>
#include <vector>

#include "base/print.h"

namespace shuttle::testing {

class TraceCapture {
public:
    TraceCapture() {
        setTraceSink([this](TraceStream stream, const std::string& text) {
            std::lock_guard<std::mutex> lock(mutex_);
            (stream == TraceStream::Out ? out_ : err_) += text;
        });
    }
    ~TraceCapture() { setTraceSink(nullptr); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string out() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }
    std::string err() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return err_;
    }
    // Standard output split into lines (without their line feeds).
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::string text = out();
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            result.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return result;
    }
    bool contains(const std::string& piece) const { return out().find(piece) != std::string::npos; }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        out_.clear();
        err_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::string out_;
    std::string err_;
};

}  // namespace shuttle::testing
