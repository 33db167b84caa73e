// qt-clipboard: the X11 clipboard from the command line, through Qt as a user's program uses it
// and independent of Shuttle's own mappings. On X11 a copy lives in the program that made it,
// so "set" and "files" keep serving their copy until another program takes the clipboard (or
// for two minutes at most); they print "ready" once the copy is theirs.
//   set TYPE FILE [TYPE FILE]...  one copy offering each MIME type with a file's bytes; the type
//                                  "text" is FILE's UTF-8 text as Qt offers a text (text/plain,
//                                  UTF8_STRING...), "image" a picture file as Qt offers an image
//   files PATH...                  a file list: text/uri-list (by Qt) and
//                                  x-special/gnome-copied-files, as file managers copy
//   get TYPE FILE                  write the bytes of TYPE to FILE (exit 1 when not offered)
//   text FILE                      write the offered text to FILE as UTF-8 (exit 1 when none)
//   get-files                      print the local files of the offered URI list, one a line
//   types                          print the offered types, one a line
//   image FILE                     write the offered picture to FILE as PPM (exit 1 when none)
//   notifications FILE             be the desktop's notification service on the session bus:
//                                  each notification is a line "summary | body" in FILE
//   view TITLE                     a window showing the clipboard's text, or its files with their
//                                  sizes, following each change (for the demonstration)
//   tray-host FILE                 be a StatusNotifierItem host on the session bus (the watcher
//                                  service, a host registered): each item that registers is a
//                                  line in FILE

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

constexpr int kServeMs = 120000;

QByteArray readFile(const char* path) {
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const char* path, const QByteArray& bytes) {
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Makes `data` the clipboard and serves it until another program takes the clipboard.
int serve(QMimeData* data) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    QObject::connect(clipboard, &QClipboard::changed, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard()) QCoreApplication::exit(0);
    });
    clipboard->setMimeData(data);
    if (!clipboard->ownsClipboard()) return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    QTimer::singleShot(kServeMs, [] { QCoreApplication::exit(0); });
    return QGuiApplication::exec();
}

int set(int count, char** pairs) {
    auto* data = new QMimeData;
    for (int i = 0; i + 1 < count; i += 2) {
        const QByteArray bytes = readFile(pairs[i + 1]);
        const QString type = QString::fromUtf8(pairs[i]);
        if (type == "text")
            data->setText(QString::fromUtf8(bytes));
        else if (type == "image")
            data->setImageData(QImage::fromData(bytes));
        else
            data->setData(type, bytes);
    }
    return serve(data);
}

int files(int count, char** paths) {
    QList<QUrl> urls;
    QByteArray gnome = "copy";
    for (int i = 0; i < count; ++i) {
        urls.append(QUrl::fromLocalFile(QFile::decodeName(paths[i])));
        gnome += "\n" + urls.back().toEncoded();
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    data->setData("x-special/gnome-copied-files", gnome);
    return serve(data);
}

int get(const char* type, const char* path) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasFormat(QString::fromUtf8(type))) return 1;
    return writeFile(path, data->data(QString::fromUtf8(type))) ? 0 : 2;
}

int text(const char* path) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) return 1;
    return writeFile(path, data->text().toUtf8()) ? 0 : 2;
}

int getFiles() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasUrls()) return 1;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) std::printf("%s\n", QFile::encodeName(url.toLocalFile()).constData());
    return 0;
}

int image(const char* path) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasImage()) return 1;
    return qvariant_cast<QImage>(data->imageData()).save(QFile::decodeName(path), "PPM") ? 0 : 2;
}

// What a desktop shows as notifications, written down instead.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit NotificationService(QString path) : path_(std::move(path)) {}

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
                const QVariantMap&, int) {
        QFile file(path_);
        if (file.open(QIODevice::Append)) file.write((summary + " | " + body + "\n").toUtf8());
        return ++shown_;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    const QString path_;
    uint shown_ = 0;
};

int notifications(const char* path) {
    NotificationService service(QFile::decodeName(path));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications")))
        return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    return QGuiApplication::exec();
}

// Each file of the list, a folder's files below it, with its size.
QString filesText(const QList<QUrl>& urls) {
    QString text;
    for (const QUrl& url : urls) {
        const QFileInfo item(url.toLocalFile());
        text += item.filePath() + (item.isDir() ? "/\n" : QString("   %1 bytes\n").arg(item.size()));
        QDirIterator files(item.filePath(), QDir::Files, QDirIterator::Subdirectories);
        while (item.isDir() && files.hasNext()) {
            const QFileInfo file(files.next());
            text += QString("    %1   %2 bytes\n").arg(QDir(item.filePath()).relativeFilePath(file.filePath())).arg(file.size());
        }
    }
    return text;
}

class ClipboardView : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QString text = "(empty)";
        if (data != nullptr && data->hasUrls())
            text = filesText(data->urls());
        else if (data != nullptr && data->hasImage())
            text = QString("a picture, %1 x %2").arg(qvariant_cast<QImage>(data->imageData()).width()).arg(
                qvariant_cast<QImage>(data->imageData()).height());
        else if (data != nullptr && data->hasText())
            text = data->text();
        const QRect area(QPoint(0, 0), size());
        QPainter painter(this);
        painter.fillRect(area, Qt::white);
        painter.drawText(area.adjusted(12, 12, -12, -12), Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, text);
    }
};

int view(const char* title) {
    ClipboardView window;
    window.setTitle(QString::fromUtf8(title));
    window.resize(600, 400);
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, &window, [&window] { window.update(); });
    window.show();
    return QGuiApplication::exec();
}

// A panel's tray as the StatusNotifierItem protocol sees it: the watcher, with a host.
class TrayHost : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    explicit TrayHost(QString path) : path_(std::move(path)) {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }

public slots:
    void RegisterStatusNotifierItem(const QString& item) {
        items_.append(item.startsWith('/') ? message().service() + item : item);  // a path names its sender's object
        QFile file(path_);
        if (file.open(QIODevice::Append)) file.write((items_.back() + "\n").toUtf8());
        emit StatusNotifierItemRegistered(items_.back());
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    const QString path_;
    QStringList items_;
};

int trayHost(const char* path) {
    TrayHost host(QFile::decodeName(path));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &host,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")))
        return 2;
    emit host.StatusNotifierHostRegistered();
    std::printf("ready\n");
    std::fflush(stdout);
    return QGuiApplication::exec();
}

int types() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr) return 1;
    for (const QString& type : data->formats()) std::printf("%s\n", type.toUtf8().constData());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    const QByteArray verb = argc > 1 ? argv[1] : "";
    if (verb == "set" && argc >= 4 && argc % 2 == 0) return set(argc - 2, argv + 2);
    if (verb == "files" && argc >= 3) return files(argc - 2, argv + 2);
    if (verb == "get" && argc == 4) return get(argv[2], argv[3]);
    if (verb == "text" && argc == 3) return text(argv[2]);
    if (verb == "get-files" && argc == 2) return getFiles();
    if (verb == "types" && argc == 2) return types();
    if (verb == "image" && argc == 3) return image(argv[2]);
    if (verb == "notifications" && argc == 3) return notifications(argv[2]);
    if (verb == "view" && argc == 3) return view(argv[2]);
    if (verb == "tray-host" && argc == 3) return trayHost(argv[2]);
    std::fprintf(stderr,
                 "usage: qt-clipboard set TYPE FILE... | files PATH... | get TYPE FILE | text FILE | get-files | types |"
                 " image FILE | notifications FILE | view TITLE | tray-host FILE\n");
    return 64;
}

#include "qt_clipboard.moc"
