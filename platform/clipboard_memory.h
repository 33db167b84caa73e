#pragma once
// A clipboard in memory, one per simulated computer. Other "programs" can hold it open or put
// data on it; the main window of the computer is owner id 1.

#include <functional>
#include <map>
#include <mutex>

#include "platform/clipboard.h"

namespace shuttle {

class MemoryClipboard final : public Clipboard {
public:
    static constexpr int kMainWindow = 1;
    static constexpr int kOtherProgram = 2;

    bool open() override;
    void close() override;
    bool ownedByMainWindow() override;
    bool isFormatAvailable(uint32_t format) override;
    uint32_t sequenceNumber() override;
    // Reads and the file list are refused while the main window has not opened the clipboard,
    // as the system refuses them.
    ClipboardBlock read(uint32_t format, size_t unit, uint64_t maxBytes) override;
    std::optional<std::vector<std::u16string>> dropList() override;
    PasteResult replace(const std::vector<ClipboardItem>& items) override;
    bool listen(bool on) override;

    // What another program (the user) does.
    void userCopiesText(const std::u16string& text);
    void userCopiesFiles(const std::vector<std::u16string>& paths);
    void userCopiesData(uint32_t format, std::vector<uint8_t> bytes);
    // Several formats at once, as one program's copy.
    void userCopiesFormats(std::map<uint32_t, std::vector<uint8_t>> content);
    void holdOpenByOtherProgram(bool held);
    // Another program's own open and close: refused while anyone holds the clipboard.
    bool openAsOtherProgram();
    void closeAsOtherProgram();
    // Another program holds the clipboard open until `clock` reads `untilTick`.
    void holdOpenUntil(Clock& clock, uint64_t untilTick);
    // Refuses the next `count` opens of the main window (a busy clipboard).
    void refuseOpens(int count);

    // Also for tests, with the clipboard closed.
    std::optional<std::vector<uint8_t>> peek(uint32_t format) const;
    // Bytes copied out through read() and dropList() so far.
    uint64_t bytesRead() const;
    // Makes replace() fail with `systemError` for any item of `format`, as a refusing system would.
    void refuseFormat(uint32_t format, uint32_t systemError);
    int owner() const;
    int changeCount() const;
    bool listening() const;
    bool isOpenByUs() const;
    // Makes the next `count` listen(true) calls fail, as a refused registration would.
    void refuseListening(int count);
    // Called after every change of the content (the listener notification).
    void onChange(std::function<void()> listener);

private:
    void replaceContent(int owner, std::map<uint32_t, std::vector<uint8_t>> content);
    mutable std::mutex mutex_;
    std::map<uint32_t, std::vector<uint8_t>> content_;
    int owner_ = 0;
    bool openByUs_ = false;
    bool heldByOther_ = false;
    int refusals_ = 0;
    Clock* holdClock_ = nullptr;
    uint64_t holdUntil_ = 0;
    bool listening_ = false;
    int listenRefusals_ = 0;
    int changes_ = 0;
    uint64_t bytesRead_ = 0;
    std::map<uint32_t, uint32_t> refusedFormats_;
    std::function<void()> listener_;
};

// Bytes of a CF_HDROP block (DROPFILES header, UTF-16 paths) and back.
std::vector<uint8_t> makeDropFilesBlock(const std::vector<std::u16string>& paths);
std::optional<std::vector<std::u16string>> parseDropFilesBlock(const std::vector<uint8_t>& block);

}  // namespace shuttle
