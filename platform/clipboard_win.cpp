#include "platform/clipboard_win.h"

#include <shellapi.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace shuttle {
namespace {

// A locked view of a global memory block, unlocked when it goes.
class GlobalLock final {
public:
    explicit GlobalLock(HGLOBAL block) : block_(block), data_(block ? ::GlobalLock(block) : nullptr) {}
    ~GlobalLock() {
        if (data_ != nullptr) ::GlobalUnlock(block_);
    }
    GlobalLock(const GlobalLock&) = delete;
    GlobalLock& operator=(const GlobalLock&) = delete;
    void* data() const { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};

// A movable global block owned until handed to the clipboard.
class OwnedGlobal final {
public:
    // A zero-sized block is still a block: the clipboard takes one byte then.
    explicit OwnedGlobal(size_t size) : block_(GlobalAlloc(GMEM_MOVEABLE, size != 0 ? size : 1)) {}
    ~OwnedGlobal() {
        if (block_ != nullptr) GlobalFree(block_);
    }
    OwnedGlobal(OwnedGlobal&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    OwnedGlobal& operator=(OwnedGlobal&&) = delete;
    OwnedGlobal(const OwnedGlobal&) = delete;
    OwnedGlobal& operator=(const OwnedGlobal&) = delete;
    HGLOBAL get() const { return block_; }
    HGLOBAL release() { return std::exchange(block_, nullptr); }

private:
    HGLOBAL block_;
};

class Win32Clipboard final : public Clipboard {
public:
    explicit Win32Clipboard(HWND window) : window_(window) {}

    bool open() override { return OpenClipboard(window_) != FALSE; }
    void close() override { CloseClipboard(); }
    bool ownedByMainWindow() override { return GetClipboardOwner() == window_; }
    bool isFormatAvailable(uint32_t format) override { return IsClipboardFormatAvailable(format) != FALSE; }

    uint32_t sequenceNumber() override { return GetClipboardSequenceNumber(); }

    ClipboardBlock read(uint32_t format, size_t unit, uint64_t maxBytes) override {
        ClipboardBlock result;
        if (!IsClipboardFormatAvailable(format)) return result;
        result.status = ClipboardBlock::Status::Unreadable;
        HANDLE handle = GetClipboardData(format);
        if (handle == nullptr) return result;
        GlobalLock lock(handle);  // fails for formats held as GDI handles (CF_BITMAP)
        if (lock.data() == nullptr) return result;
        result.size = GlobalSize(handle);
        const auto* bytes = static_cast<const uint8_t*>(lock.data());
        const std::optional<uint64_t> length = clipboardContentLength(bytes, result.size, unit, maxBytes);
        if (!length) {
            result.status = ClipboardBlock::Status::TooLarge;
            return result;
        }
        try {
            result.bytes.assign(bytes, bytes + *length);
        } catch (const std::bad_alloc&) {
            result.status = ClipboardBlock::Status::NoMemory;
            return result;
        }
        result.status = ClipboardBlock::Status::Read;
        return result;
    }

    std::optional<std::vector<std::u16string>> dropList() override {
        if (!IsClipboardFormatAvailable(CF_HDROP)) return std::nullopt;
        auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
        if (drop == nullptr) return std::nullopt;
        std::vector<std::u16string> paths;
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT index = 0; index < count; ++index) {
            const UINT length = DragQueryFileW(drop, index, nullptr, 0);
            std::u16string path(length, u'\0');
            if (length > 0)
                DragQueryFileW(drop, index, reinterpret_cast<wchar_t*>(path.data()), length + 1);
            paths.push_back(std::move(path));
        }
        return paths;
    }

    PasteResult replace(const std::vector<ClipboardItem>& items) override {
        std::vector<OwnedGlobal> blocks;
        blocks.reserve(items.size());
        for (const ClipboardItem& item : items) {
            if (item.format == 0) return {PasteResult::Status::NoFormat, 0};
            blocks.emplace_back(item.bytes.size());
            if (blocks.back().get() == nullptr) return {PasteResult::Status::NoMemory, 0};
            GlobalLock lock(blocks.back().get());
            if (lock.data() == nullptr) return {PasteResult::Status::NoMemory, 0};
            if (!item.bytes.empty()) std::memcpy(lock.data(), item.bytes.data(), item.bytes.size());
        }
        if (!EmptyClipboard()) return {PasteResult::Status::Refused, GetLastError()};
        for (size_t index = 0; index < items.size(); ++index) {
            if (SetClipboardData(items[index].format, blocks[index].get()) == nullptr)
                return {PasteResult::Status::Refused, GetLastError()};
            blocks[index].release();  // the clipboard owns it now
        }
        return {};
    }

    bool listen(bool on) override {
        if (on) return AddClipboardFormatListener(window_) != FALSE;
        RemoveClipboardFormatListener(window_);
        return true;
    }

private:
    HWND window_;
};

}  // namespace

std::unique_ptr<Clipboard> makeWin32Clipboard(HWND mainWindow) { return std::make_unique<Win32Clipboard>(mainWindow); }

}  // namespace shuttle
