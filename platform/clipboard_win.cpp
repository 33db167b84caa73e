#include "platform/clipboard_win.h"

#include <shellapi.h>

#include <cstring>
#include <utility>

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
    explicit OwnedGlobal(size_t size) : block_(GlobalAlloc(GMEM_MOVEABLE, size)) {}
    ~OwnedGlobal() {
        if (block_ != nullptr) GlobalFree(block_);
    }
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

    std::optional<std::u16string> unicodeText() override {
        if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return std::nullopt;
        HANDLE handle = GetClipboardData(CF_UNICODETEXT);
        if (handle == nullptr) return std::nullopt;
        GlobalLock lock(handle);
        if (lock.data() == nullptr) return std::nullopt;
        // Bounded by the block's size, in case the text lacks its terminator.
        const size_t units = GlobalSize(handle) / sizeof(char16_t);
        const auto* text = static_cast<const char16_t*>(lock.data());
        size_t length = 0;
        while (length < units && text[length] != 0) ++length;
        return std::u16string(text, length);
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

    std::optional<std::vector<uint8_t>> data(uint32_t format) const override {
        if (!IsClipboardFormatAvailable(format)) return std::nullopt;
        HANDLE handle = GetClipboardData(format);
        if (handle == nullptr) return std::nullopt;
        GlobalLock lock(handle);  // fails for formats held as GDI handles (CF_BITMAP)
        if (lock.data() == nullptr) return std::nullopt;
        const auto* bytes = static_cast<const uint8_t*>(lock.data());
        return std::vector<uint8_t>(bytes, bytes + GlobalSize(handle));
    }

    bool replace(uint32_t format, const std::vector<uint8_t>& block) override {
        if (format == 0) return false;
        OwnedGlobal memory(block.size());
        if (memory.get() == nullptr) return false;
        {
            GlobalLock lock(memory.get());
            if (lock.data() == nullptr) return false;
            if (!block.empty()) std::memcpy(lock.data(), block.data(), block.size());
        }
        if (!EmptyClipboard()) return false;
        if (SetClipboardData(format, memory.get()) == nullptr) return false;
        memory.release();  // the clipboard owns it now
        return true;
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
