#include "base/print.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace shuttle {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

TraceSink& currentSink() {
    static TraceSink sink;
    return sink;
}

void emit(TraceStream stream, const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(sinkMutex());
        if (currentSink()) {
            currentSink()(stream, text);
            return;
        }
    }
    FILE* file = stream == TraceStream::Out ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

}  // namespace

std::string formatTextV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return std::string();
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), static_cast<size_t>(needed));
}

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatTextV(format, args);
    va_end(args);
    return text;
}

void printOut(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatTextV(format, args);
    va_end(args);
    emit(TraceStream::Out, text);
}

void printErr(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatTextV(format, args);
    va_end(args);
    emit(TraceStream::Err, text);
}

int formatInto(char* buffer, size_t size, const char* format, ...) {
    if (buffer == nullptr || size == 0) return -1;
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        buffer[0] = '\0';
        return -1;
    }
    return written;
}

void setTraceSink(TraceSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    currentSink() = std::move(sink);
}

}  // namespace shuttle
