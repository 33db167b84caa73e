#include "ui/clipboard_qt.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <algorithm>
#include <cerrno>
#include <new>

#include "platform/clipboard_memory.h"
#include "ui/dib_image_qt.h"

namespace shuttle {
namespace {

std::string_view viewOf(const QByteArray& bytes) { return {bytes.constData(), static_cast<size_t>(bytes.size())}; }

std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// A text block's text: the bytes before its first zero unit of `unit` bytes; with no unit (0),
// the whole block.
std::string_view untilTerminator(const std::vector<uint8_t>& block, size_t unit) {
    if (unit == 0) return {reinterpret_cast<const char*>(block.data()), block.size()};
    size_t at = 0;
    for (; at + unit <= block.size(); at += unit)
        if (std::all_of(block.begin() + at, block.begin() + at + unit, [](uint8_t byte) { return byte == 0; })) break;
    return {reinterpret_cast<const char*>(block.data()), std::min(at, block.size())};
}

const QMimeData* systemContent() { return QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard); }

QByteArray offeredRtf(const QMimeData& data) {
    for (const char* type : kRtfReadTypes)
        if (data.hasFormat(type)) return data.data(type);
    return {};
}

bool offersRtf(const QMimeData& data) {
    for (const char* type : kRtfReadTypes)
        if (data.hasFormat(type)) return true;
    return false;
}

// The local files offered: the URI list, else GNOME's list of copied files.
std::vector<std::string> offeredFiles(const QMimeData& data) {
    if (data.hasFormat(kMimeUriList)) {
        std::vector<std::string> files = hostPathsOfUriList(viewOf(data.data(kMimeUriList)));
        if (!files.empty()) return files;
    }
    if (data.hasFormat(kMimeGnomeFiles)) return hostPathsOfGnomeCopiedFiles(viewOf(data.data(kMimeGnomeFiles)));
    return {};
}

bool offers(const QMimeData& data, const MimeFormat& format) {
    switch (format.role) {
        case MimeRole::UnicodeText:
            return data.hasText();
        case MimeRole::Html:
            return data.hasFormat(kMimeHtml);
        case MimeRole::Rtf:
            return offersRtf(data);
        case MimeRole::Picture:
            return data.hasImage();
        case MimeRole::FileList:
            return !offeredFiles(data).empty();
        case MimeRole::SecretMark:
            return data.data(kMimePasswordHint).trimmed() == "secret";
        case MimeRole::Opaque:
            return data.hasFormat(QString::fromStdString(format.mimeType));
        case MimeRole::AnsiText:  // the text is CF_UNICODETEXT here; the receiving system derives the rest
        case MimeRole::None:
            break;
    }
    return false;
}

std::vector<uint8_t> unicodeTextBlock(const QString& text) {
    std::vector<uint8_t> block;
    block.reserve((static_cast<size_t>(text.size()) + 1) * 2);
    for (const QChar unit : text) {
        block.push_back(static_cast<uint8_t>(unit.unicode() & 0xFF));
        block.push_back(static_cast<uint8_t>(unit.unicode() >> 8));
    }
    block.insert(block.end(), {0, 0});
    return block;
}

// The Windows block of what the owner offers; nothing when it cannot be made.
std::optional<std::vector<uint8_t>> blockOf(const QMimeData& data, const MimeFormat& format) {
    switch (format.role) {
        case MimeRole::UnicodeText:
            return unicodeTextBlock(data.text());
        case MimeRole::Html: {
            const std::optional<std::string> html = htmlAsUtf8(viewOf(data.data(kMimeHtml)));
            if (!html) return std::nullopt;
            std::vector<uint8_t> block = bytesOf(cfHtmlOfHtml(*html));
            block.push_back(0);
            return block;
        }
        case MimeRole::Rtf: {
            std::vector<uint8_t> block = bytesOf(viewOf(offeredRtf(data)));
            block.push_back(0);
            return block;
        }
        case MimeRole::Picture: {
            const QImage image = qvariant_cast<QImage>(data.imageData());
            if (image.isNull()) return std::nullopt;
            return dibOfImage(image);
        }
        case MimeRole::FileList:
            return makeDropFilesBlock(dropListOfHostPaths(offeredFiles(data)));
        case MimeRole::SecretMark:
            return bytesOf(viewOf(data.data(kMimePasswordHint)));
        case MimeRole::Opaque:
            return bytesOf(viewOf(data.data(QString::fromStdString(format.mimeType))));
        case MimeRole::AnsiText:
        case MimeRole::None:
            break;
    }
    return std::nullopt;
}

QByteArray pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return {};
    return png;
}

QByteArray byteArrayOf(std::string_view bytes) { return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())); }

QString textOfUnicodeBlock(const std::vector<uint8_t>& block) {
    const std::string_view units = untilTerminator(block, 2);
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(units.data()), static_cast<qsizetype>(units.size() / 2));
}

// A text as programs ask for it: Qt's text targets, and UTF-8 by its MIME name.
void putText(QMimeData& data, const QString& text) {
    data.setText(text);
    data.setData(kMimeUtf8Text, text.toUtf8());
}

// A file list as file managers take it; nothing for a list none of whose files is here.
void putFiles(QMimeData& data, const std::vector<std::string>& files) {
    if (files.empty()) return;
    data.setData(kMimeUriList, byteArrayOf(uriListOfHostPaths(files)));
    data.setData(kMimeGnomeFiles, byteArrayOf(gnomeCopiedFilesOf(files)));
}

}  // namespace

QtClipboard::QtClipboard(const LinuxClipboardFormats& formats, HostPathOf hostPathOf, GuiCalls& calls)
    : formats_(formats), hostPathOf_(std::move(hostPathOf)), calls_(calls) {
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, &QtClipboard::onSystemChange);
}

void QtClipboard::onSystemChange(QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard) return;
    ++sequence_;
    if (listening_) emit changed();
}

bool QtClipboard::listen(bool on) {
    listening_ = on;
    return true;
}

bool QtClipboard::ownedByMainWindow() {
    bool owned = false;
    calls_.run([&] { owned = QGuiApplication::clipboard()->ownsClipboard(); });
    return owned;
}

bool QtClipboard::isFormatAvailable(uint32_t format) {
    const MimeFormat mime = formats_.formatOf(format);
    bool offered = false;
    calls_.run([&] {
        const QMimeData* data = systemContent();
        offered = data != nullptr && offers(*data, mime);
    });
    return offered;
}

ClipboardBlock QtClipboard::read(uint32_t format, size_t unit, uint64_t maxBytes) {
    const MimeFormat mime = formats_.formatOf(format);
    ClipboardBlock result;
    calls_.run([&] {
        try {
            const QMimeData* data = systemContent();
            if (data == nullptr || !offers(*data, mime)) return;
            std::optional<std::vector<uint8_t>> block = blockOf(*data, mime);
            if (!block) {
                result.status = ClipboardBlock::Status::Unreadable;
                return;
            }
            result.size = block->size();
            const std::optional<uint64_t> length = clipboardContentLength(block->data(), block->size(), unit, maxBytes);
            if (!length) {
                result.status = ClipboardBlock::Status::TooLarge;
                return;
            }
            block->resize(static_cast<size_t>(*length));
            result.bytes = std::move(*block);
            result.status = ClipboardBlock::Status::Read;
        } catch (const std::bad_alloc&) {
            result = ClipboardBlock{ClipboardBlock::Status::NoMemory, {}, result.size};
        }
    });
    return result;
}

std::optional<std::vector<std::u16string>> QtClipboard::dropList() {
    std::optional<std::vector<std::u16string>> list;
    calls_.run([&] {
        const QMimeData* data = systemContent();
        if (data == nullptr) return;
        const std::vector<std::string> files = offeredFiles(*data);
        if (!files.empty()) list = dropListOfHostPaths(files);
    });
    return list;
}

PasteResult QtClipboard::replace(const std::vector<ClipboardItem>& items) {
    for (const ClipboardItem& item : items)
        if (item.format == 0) return {PasteResult::Status::NoFormat, 0};
    PasteResult result{PasteResult::Status::Refused, 0};
    calls_.run([&] {
        try {
            result = place(items);
        } catch (const std::bad_alloc&) {
            result = {PasteResult::Status::NoMemory, 0};
        }
    });
    return result;
}

// Everything goes in one QMimeData, so one change of the clipboard carries it all.
PasteResult QtClipboard::place(const std::vector<ClipboardItem>& items) {
    auto data = std::make_unique<QMimeData>();
    bool withUnicodeText = false;
    for (const ClipboardItem& item : items)
        withUnicodeText = withUnicodeText || formats_.formatOf(item.format).role == MimeRole::UnicodeText;
    for (const ClipboardItem& item : items) putItem(*data, item, withUnicodeText);
    // Nothing this desktop can hold: a file list none of whose files is here, a broken picture.
    if (data->formats().isEmpty()) return {PasteResult::Status::Refused, static_cast<uint32_t>(ENOENT)};
    QGuiApplication::clipboard()->setMimeData(data.release(), QClipboard::Clipboard);
    return {};
}

void QtClipboard::putItem(QMimeData& data, const ClipboardItem& item, bool withUnicodeText) {
    const MimeFormat format = formats_.formatOf(item.format);
    switch (format.role) {
        case MimeRole::UnicodeText:
            putText(data, textOfUnicodeBlock(item.bytes));
            break;
        case MimeRole::AnsiText:  // only when no CF_UNICODETEXT came with it
            if (!withUnicodeText) putText(data, QString::fromLatin1(byteArrayOf(untilTerminator(item.bytes, 1))));
            break;
        case MimeRole::Html:
            if (const std::optional<std::string> html = htmlOfCfHtml(untilTerminator(item.bytes, 1)))
                data.setData(kMimeHtml, byteArrayOf(*html));
            break;
        case MimeRole::Rtf:
            data.setData(kMimeRtf, byteArrayOf(untilTerminator(item.bytes, 1)));
            break;
        case MimeRole::Picture:
            if (const QByteArray png = pngOf(imageOfDib(item.bytes)); !png.isEmpty()) data.setData(kMimePng, png);
            break;
        case MimeRole::FileList:
            putFiles(data, hostPathsOfDropFiles(item.bytes, hostPathOf_));
            break;
        case MimeRole::SecretMark:
            data.setData(kMimePasswordHint, "secret");
            break;
        case MimeRole::Opaque:
            data.setData(QString::fromStdString(format.mimeType), byteArrayOf(untilTerminator(item.bytes, 0)));
            break;
        case MimeRole::None:
            break;
    }
}

}  // namespace shuttle
