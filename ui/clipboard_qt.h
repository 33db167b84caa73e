#pragma once
// The clipboard of a Linux desktop through Qt on X11 (the xcb platform, which learns of changes
// while unfocused and fetches large data incrementally), behind the clipboard seam in the
// Windows formats the exchange knows (ui/clipboard_mime_linux.h maps them). X11 knows no lock on
// the clipboard, so open() always succeeds and "busy" never happens; and an owner's data comes
// whole, its size unknown before, so a block's limit is checked once it has been fetched.
// Qt's clipboard lives on the GUI thread: the workers' calls are carried there.

#include <QClipboard>
#include <QObject>

#include <atomic>

#include "platform/clipboard.h"
#include "ui/clipboard_mime_linux.h"
#include "ui/gui_calls_qt.h"

class QMimeData;

namespace shuttle {

class QtClipboard final : public QObject, public Clipboard {
    Q_OBJECT

public:
    // Made on the GUI thread. `formats` and `calls` must outlive it; `hostPathOf` turns the
    // Windows paths of a pasted file list into host paths.
    QtClipboard(const LinuxClipboardFormats& formats, HostPathOf hostPathOf, GuiCalls& calls);

    bool open() override { return true; }
    void close() override {}
    bool ownedByMainWindow() override;
    bool isFormatAvailable(uint32_t format) override;
    uint32_t sequenceNumber() override { return sequence_.load(); }
    ClipboardBlock read(uint32_t format, size_t unit, uint64_t maxBytes) override;
    std::optional<std::vector<std::u16string>> dropList() override;
    PasteResult replace(const std::vector<ClipboardItem>& items) override;
    bool listen(bool on) override;

signals:
    // The content changed while the program listens (on the GUI thread).
    void changed();

private:
    void onSystemChange(QClipboard::Mode mode);
    PasteResult place(const std::vector<ClipboardItem>& items);
    void putItem(QMimeData& data, const ClipboardItem& item, bool withUnicodeText);

    const LinuxClipboardFormats& formats_;
    const HostPathOf hostPathOf_;
    GuiCalls& calls_;
    std::atomic<uint32_t> sequence_{1};
    std::atomic<bool> listening_{false};
};

}  // namespace shuttle
