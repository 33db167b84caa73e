// The Qt clipboard seam on Qt's own in-process clipboard (the offscreen platform): pictures
// between CF_DIB and PNG, what another program offers read as Windows formats, and a worker's
// paste carried to the GUI thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include <thread>

#include "payload/format_catalogue.h"
#include "platform/clipboard_memory.h"
#include "ui/clipboard_qt.h"
#include "ui/dib_image_qt.h"

namespace shuttle {
namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "clipboard_qt_test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a runtime folder Qt makes /tmp/runtime-<user> and leaves it behind.
    static QTemporaryDir runtime(QDir::tempPath() + "/shuttle-qt-test-XXXXXX");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    static QApplication instance(argc, argv);
    return instance;
}

// 24 bits a pixel, `width` x 3, bottom-up, rows padded to four bytes.
std::vector<uint8_t> testDib(uint32_t width) {
    const uint32_t stride = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> dib{40, 0, 0, 0, static_cast<uint8_t>(width), 0, 0, 0, 3, 0, 0, 0, 1, 0, 24, 0};
    dib.resize(40, 0);
    for (uint32_t row = 0; row < 3; ++row)
        for (uint32_t at = 0; at < stride; ++at) dib.push_back(at < width * 3 ? static_cast<uint8_t>(row * 71 + at * 13) : 0);
    return dib;
}

QImage throughPng(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QImage::fromData(png, "PNG");
}

std::vector<uint8_t> pixelsOf(const std::vector<uint8_t>& dib) {
    const uint32_t header = dib[0] | dib[1] << 8;
    return {dib.begin() + header, dib.end()};
}

TEST(ClipboardQt, PicturesGoThroughPngPixelForPixel) {
    application();
    const std::vector<uint8_t> dib = testDib(5);
    const QImage image = imageOfDib(dib);
    ASSERT_EQ(image.size(), QSize(5, 3));
    EXPECT_EQ(qBlue(image.pixel(0, 2)), 0);  // the first row of the block is the bottom one
    EXPECT_EQ(pixelsOf(dibOfImage(throughPng(image))), pixelsOf(dib));

    QImage translucent(4, 2, QImage::Format_ARGB32);
    for (int i = 0; i < 8; ++i) translucent.setPixel(i % 4, i / 4, qRgba(i * 30, 255 - i, i * 7, i * 32));
    const std::vector<uint8_t> withAlpha = dibOfImage(translucent);
    EXPECT_EQ(withAlpha[0], 124);  // a V5 header names the alpha byte
    EXPECT_EQ(throughPng(imageOfDib(withAlpha)).convertToFormat(QImage::Format_ARGB32), translucent);

    std::vector<uint8_t> topDown = testDib(5);
    topDown[8] = 0xFD, topDown[9] = topDown[10] = topDown[11] = 0xFF;  // height -3
    EXPECT_EQ(imageOfDib(topDown).pixel(0, 0), image.pixel(0, 2));
    EXPECT_TRUE(imageOfDib({40, 0, 0, 0, 9}).isNull());
    EXPECT_TRUE(imageOfDib(std::vector<uint8_t>(dib.begin(), dib.begin() + 44)).isNull());
}

struct ClipboardQtTest : ::testing::Test {
    QApplication& app = application();  // before the clipboard
    LinuxClipboardFormats formats;
    ClipboardFormatIds ids = ClipboardFormatIds::registerAll(formats);
    GuiCalls calls;
    QtClipboard clipboard{formats,
                          [](const std::string& path) -> std::optional<std::string> {
                              if (path.rfind("E:\\", 0) != 0) return std::nullopt;
                              return "/media/stick/" + path.substr(3);
                          },
                          calls};

    void offer(std::initializer_list<std::pair<const char*, QByteArray>> types) {
        auto* data = new QMimeData;
        for (const auto& [type, bytes] : types) data->setData(type, bytes);
        QGuiApplication::clipboard()->setMimeData(data);
    }
    // A worker's call, with the GUI thread's events handled until it is done.
    template <class Work>
    void fromWorker(Work work) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            work();
            done = true;
        });
        while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        worker.join();
    }
};

TEST_F(ClipboardQtTest, WhatAnotherProgramOffersReadsAsWindowsFormats) {
    const uint32_t before = clipboard.sequenceNumber();
    offer({{"text/plain", "caf\xC3\xA9 \xF0\x9F\x9A\x80"}, {"text/html", "<b>x</b>"}, {"x-kde-passwordManagerHint", "secret"}});
    EXPECT_GT(clipboard.sequenceNumber(), before);
    EXPECT_FALSE(clipboard.ownedByMainWindow());
    EXPECT_TRUE(clipboard.isFormatAvailable(ids.markerId(PrivacyMarker::ExcludeFromMonitoring)));
    const ClipboardBlock text = clipboard.read(kFormatUnicodeText, 2, 100);
    ASSERT_TRUE(text.read());
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text.bytes.data()), text.bytes.size() / 2),
              std::u16string(u"caf\u00E9 \U0001F680\0", 8));
    const ClipboardBlock tooLong = clipboard.read(kFormatUnicodeText, 2, 8);
    EXPECT_EQ(tooLong.status, ClipboardBlock::Status::TooLarge);
    EXPECT_EQ(tooLong.size, 16u);
    const ClipboardBlock html = clipboard.read(ids.idOfPayloadName("CF_HTML"), 1, 1000);
    EXPECT_EQ(htmlOfCfHtml({reinterpret_cast<const char*>(html.bytes.data()), html.bytes.size()}), "<b>x</b>");
    EXPECT_EQ(clipboard.read(kFormatDib, 0, 1000).status, ClipboardBlock::Status::Absent);
    EXPECT_FALSE(clipboard.isFormatAvailable(kFormatHdrop));

    offer({{"text/plain", "https://example.org"}, {"text/uri-list", "https://example.org\r\n"}});
    EXPECT_FALSE(clipboard.isFormatAvailable(kFormatHdrop));  // a link is no file
    offer({{"x-special/gnome-copied-files", "copy\nfile:///home/a%20b\nfile:///x"}});
    EXPECT_TRUE(clipboard.isFormatAvailable(kFormatHdrop));
    EXPECT_EQ(clipboard.dropList(), (std::vector<std::u16string>{u"Z:\\home\\a b", u"Z:\\x"}));
}

TEST_F(ClipboardQtTest, AWorkersPasteReachesTheClipboardInOneChange) {
    const std::vector<uint8_t> html = [] {
        const std::string block = cfHtmlOfHtml("<i>y</i>");
        return std::vector<uint8_t>(block.begin(), block.end());
    }();
    const std::vector<ClipboardItem> items{{kFormatUnicodeText, {'y', 0, 0, 0}},
                                           {ids.idOfPayloadName("CF_HTML"), html},
                                           {kFormatDib, testDib(2)},
                                           {kFormatHdrop, makeDropFilesBlock({u"E:\\s\\a b.txt", u"Q:\\gone"})}};
    const uint32_t before = clipboard.sequenceNumber();
    PasteResult result{PasteResult::Status::Refused, 0};
    fromWorker([&] { result = clipboard.replace(items); });
    EXPECT_TRUE(result.placed());
    EXPECT_EQ(clipboard.sequenceNumber(), before + 1);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text(), "y");
    EXPECT_EQ(data->data("text/html"), "<i>y</i>");
    EXPECT_EQ(QImage::fromData(data->data("image/png"), "PNG").size(), QSize(2, 3));
    EXPECT_EQ(data->data("text/uri-list"), "file:///media/stick/s%5Ca%20b.txt\r\n");
    EXPECT_EQ(data->data("x-special/gnome-copied-files"), "copy\nfile:///media/stick/s%5Ca%20b.txt");

    fromWorker([&] { result = clipboard.replace({{kFormatHdrop, makeDropFilesBlock({u"Q:\\gone"})}}); });
    EXPECT_EQ(result.status, PasteResult::Status::Refused);  // no file of the list is here
    EXPECT_EQ(clipboard.replace({{0, {}}}).status, PasteResult::Status::NoFormat);
    calls.close();  // the program ends: a worker no longer waits for the GUI thread
    std::thread([&] { result = clipboard.replace(items); }).join();
    EXPECT_FALSE(result.placed());
}

}  // namespace
}  // namespace shuttle
