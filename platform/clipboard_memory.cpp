#include "platform/clipboard_memory.h"

#include <cstring>

namespace shuttle {
namespace {

constexpr size_t kDropFilesHeader = 20;
constexpr uint32_t kFormatUnicodeText = 13;  // CF_UNICODETEXT
constexpr uint32_t kFormatDropList = 15;     // CF_HDROP

uint32_t readU32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> makeDropFilesBlock(const std::vector<std::u16string>& paths) {
    std::vector<uint8_t> block(kDropFilesHeader, 0);
    putU32(block, 0, kDropFilesHeader);
    putU32(block, 16, 1);  // fWide
    for (const auto& path : paths) {
        for (char16_t unit : path) {
            block.push_back(static_cast<uint8_t>(unit & 0xFF));
            block.push_back(static_cast<uint8_t>(unit >> 8));
        }
        block.push_back(0);
        block.push_back(0);
    }
    block.push_back(0);
    block.push_back(0);
    return block;
}

std::optional<std::vector<std::u16string>> parseDropFilesBlock(const std::vector<uint8_t>& block) {
    if (block.size() < kDropFilesHeader) return std::nullopt;
    const size_t offset = readU32(block, 0);
    const bool wide = readU32(block, 16) != 0;
    if (offset > block.size()) return std::nullopt;
    std::vector<std::u16string> paths;
    std::u16string current;
    const size_t unit = wide ? 2 : 1;
    for (size_t at = offset; at + unit <= block.size(); at += unit) {
        char16_t value = wide ? static_cast<char16_t>(block[at] | (block[at + 1] << 8)) : block[at];
        if (value != 0) {
            current.push_back(value);
        } else if (current.empty()) {
            return paths;  // the second zero ends the list
        } else {
            paths.push_back(current);
            current.clear();
        }
    }
    return std::nullopt;  // no terminating zero: a malformed block
}

bool MemoryClipboard::open() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refusals_ > 0) {
        --refusals_;
        return false;
    }
    if (heldByOther_ || openByUs_) return false;
    if (holdClock_ != nullptr && holdClock_->tickMs() < holdUntil_) return false;
    openByUs_ = true;
    return true;
}

void MemoryClipboard::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    openByUs_ = false;
}

bool MemoryClipboard::ownedByMainWindow() {
    std::lock_guard<std::mutex> lock(mutex_);
    return owner_ == kMainWindow;
}

bool MemoryClipboard::isFormatAvailable(uint32_t format) {
    std::lock_guard<std::mutex> lock(mutex_);
    return content_.count(format) != 0;
}

uint32_t MemoryClipboard::sequenceNumber() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(changes_);
}

ClipboardBlock MemoryClipboard::read(uint32_t format, size_t unit, uint64_t maxBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClipboardBlock result;
    auto found = content_.find(format);
    if (!openByUs_) {
        result.status = ClipboardBlock::Status::Unreadable;
        return result;
    }
    if (found == content_.end()) return result;
    const std::vector<uint8_t>& block = found->second;
    result.size = block.size();
    const std::optional<uint64_t> length = clipboardContentLength(block.data(), block.size(), unit, maxBytes);
    if (!length) {
        result.status = ClipboardBlock::Status::TooLarge;
        return result;
    }
    result.bytes.assign(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(*length));
    bytesRead_ += *length;
    result.status = ClipboardBlock::Status::Read;
    return result;
}

std::optional<std::vector<std::u16string>> MemoryClipboard::dropList() {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = content_.find(kFormatDropList);
    if (!openByUs_ || found == content_.end()) return std::nullopt;
    bytesRead_ += found->second.size();
    return parseDropFilesBlock(found->second);
}

PasteResult MemoryClipboard::replace(const std::vector<ClipboardItem>& items) {
    std::function<void()> listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!openByUs_) return {PasteResult::Status::Refused, 1418};  // ERROR_CLIPBOARD_NOT_OPEN
        for (const ClipboardItem& item : items) {
            if (item.format == 0) return {PasteResult::Status::NoFormat, 0};
            auto refused = refusedFormats_.find(item.format);
            if (refused != refusedFormats_.end()) return {PasteResult::Status::Refused, refused->second};
        }
        content_.clear();
        for (const ClipboardItem& item : items) content_[item.format] = item.bytes;
        owner_ = kMainWindow;
        ++changes_;
        listener = listener_;
    }
    if (listener) listener();
    return {};
}

bool MemoryClipboard::listen(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (on && listenRefusals_ > 0) {
        --listenRefusals_;
        return false;
    }
    listening_ = on;
    return true;
}

bool MemoryClipboard::listening() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return listening_;
}

bool MemoryClipboard::isOpenByUs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openByUs_;
}

void MemoryClipboard::refuseListening(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    listenRefusals_ = count;
}

bool MemoryClipboard::openAsOtherProgram() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (heldByOther_ || openByUs_) return false;
    heldByOther_ = true;
    return true;
}

void MemoryClipboard::closeAsOtherProgram() {
    std::lock_guard<std::mutex> lock(mutex_);
    heldByOther_ = false;
}

void MemoryClipboard::holdOpenUntil(Clock& clock, uint64_t untilTick) {
    std::lock_guard<std::mutex> lock(mutex_);
    holdClock_ = &clock;
    holdUntil_ = untilTick;
}

void MemoryClipboard::replaceContent(int owner, std::map<uint32_t, std::vector<uint8_t>> content) {
    std::function<void()> listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        content_ = std::move(content);
        owner_ = owner;
        ++changes_;
        listener = listener_;
    }
    if (listener) listener();
}

void MemoryClipboard::userCopiesText(const std::u16string& text) {
    std::vector<uint8_t> bytes((text.size() + 1) * 2, 0);
    std::memcpy(bytes.data(), text.data(), text.size() * 2);
    replaceContent(kOtherProgram, {{kFormatUnicodeText, std::move(bytes)}});
}

void MemoryClipboard::userCopiesFiles(const std::vector<std::u16string>& paths) {
    replaceContent(kOtherProgram, {{kFormatDropList, makeDropFilesBlock(paths)}});
}

void MemoryClipboard::userCopiesData(uint32_t format, std::vector<uint8_t> bytes) {
    replaceContent(kOtherProgram, {{format, std::move(bytes)}});
}

void MemoryClipboard::userCopiesFormats(std::map<uint32_t, std::vector<uint8_t>> content) {
    replaceContent(kOtherProgram, std::move(content));
}

void MemoryClipboard::holdOpenByOtherProgram(bool held) {
    std::lock_guard<std::mutex> lock(mutex_);
    heldByOther_ = held;
}

void MemoryClipboard::refuseOpens(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusals_ = count;
}

uint64_t MemoryClipboard::bytesRead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytesRead_;
}

void MemoryClipboard::refuseFormat(uint32_t format, uint32_t systemError) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusedFormats_[format] = systemError;
}

std::optional<std::vector<uint8_t>> MemoryClipboard::peek(uint32_t format) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = content_.find(format);
    if (found == content_.end()) return std::nullopt;
    return found->second;
}

int MemoryClipboard::owner() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return owner_;
}

int MemoryClipboard::changeCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
}

void MemoryClipboard::onChange(std::function<void()> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

}  // namespace shuttle
