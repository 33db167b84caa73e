#include "ui/tray_qt.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include <xcb/xcb.h>

#include <cstdlib>

#include "base/print.h"
#include "core/start_with_windows.h"

namespace shuttle {
namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kNotificationsService = QStringLiteral("org.freedesktop.Notifications");
constexpr int kIconSizes[] = {16, 24, 32, 48};
constexpr int kNotificationTimeoutMs = -1;  // the desktop's own

QIcon pictureOf(uint16_t icon) {
    QIcon picture;
    for (int size : kIconSizes) picture.addFile(trayIconResource(icon, size), QSize(size, size));
    return picture;
}

bool statusNotifierHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kWatcherService)) return false;
    QDBusInterface watcher(kWatcherService, kWatcherPath, kWatcherService, bus);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

template <class Reply>
using XcbReply = std::unique_ptr<Reply, decltype(&std::free)>;

// An X11 tray owns the selection _NET_SYSTEM_TRAY_S<screen>. Asked directly, because Qt's own
// question would settle the D-Bus answer for good.
bool x11TrayPresent() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) return false;
    xcb_connection_t* connection = x11->connection();
    static constexpr char kSelection[] = "_NET_SYSTEM_TRAY_S0";
    const XcbReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof kSelection - 1, kSelection), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    const XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr), &std::free);
    return owner && owner->owner != XCB_NONE;
}

}  // namespace

QString trayIconResource(uint16_t icon, int size) { return QStringLiteral(":/icons/%1_%2.png").arg(icon).arg(size); }

QtTray::QtTray(RunKey& startAtLogin, QString program)
    : startAtLogin_(startAtLogin),
      program_(std::move(program)),
      menu_(std::make_unique<QMenu>()),
      shownIcon_(kIconIdle),
      tip_(QString::fromStdU16String(std::u16string(kNormalTrayTip))) {
    connect(menu_->addAction(QStringLiteral("Open")), &QAction::triggered, this, &QtTray::openRequested);
    startAtLoginAction_ = menu_->addAction(QStringLiteral("Start at login"));
    startAtLoginAction_->setCheckable(true);
    connect(startAtLoginAction_, &QAction::triggered, this, &QtTray::toggleStartAtLogin);
    connect(menu_->addAction(QStringLiteral("Exit")), &QAction::triggered, this, &QtTray::exitRequested);
    // The tick shows what the autostart folder says now, whoever changed it.
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        startAtLoginAction_->setChecked(startsWithWindows(startAtLogin_, program_.toStdU16String()));
    });
}

QtTray::~QtTray() = default;

void QtTray::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(kWatcherService, kWatcherPath, kWatcherService, QStringLiteral("StatusNotifierHostRegistered"), this,
                    SLOT(onStatusNotifierHost()));
        auto* watcher = new QDBusServiceWatcher(kWatcherService, bus, QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &QtTray::onStatusNotifierHost);
    }
    if (statusNotifierHostRegistered() || x11TrayPresent()) createIcon();
}

void QtTray::onStatusNotifierHost() {
    if (!statusNotifierHostRegistered()) return;  // the watcher came; its host registers next
    icon_.reset();
    createIcon();
}

void QtTray::createIcon() {
    icon_ = std::make_unique<QSystemTrayIcon>(pictureOf(shownIcon_));
    icon_->setToolTip(tip_);
    icon_->setContextMenu(menu_.get());
    connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit openRequested();
    });
    icon_->show();
    printOut("Tray icon shown\n");
    emit iconShown();
}

void QtTray::setIcon(uint16_t icon) {
    QMetaObject::invokeMethod(
        this,
        [this, icon] {
            shownIcon_ = icon;
            if (icon_) icon_->setIcon(pictureOf(icon));
        },
        Qt::QueuedConnection);
}

void QtTray::showBalloon(const std::u16string& title, const std::u16string& text) {
    QMetaObject::invokeMethod(
        this, [this, title = QString::fromStdU16String(title), text = QString::fromStdU16String(text)] { notify(title, text); },
        Qt::QueuedConnection);
}

void QtTray::setTip(const std::u16string& text) {
    QMetaObject::invokeMethod(
        this,
        [this, tip = QString::fromStdU16String(text)] {
            tip_ = tip;
            if (icon_) icon_->setToolTip(tip);
        },
        Qt::QueuedConnection);
}

void QtTray::beep(bool) {
    QMetaObject::invokeMethod(this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

void QtTray::restore() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            icon_.reset();
            if (statusNotifierHostRegistered() || x11TrayPresent()) createIcon();
        },
        Qt::QueuedConnection);
}

void QtTray::toggleStartAtLogin() {
    const std::u16string program = program_.toStdU16String();
    const bool on = !startsWithWindows(startAtLogin_, program);
    if (setStartWithWindows(startAtLogin_, program, on))
        printOut("Start at login: %s\n", on ? "on" : "off");
    else
        printErr("Start at login: the autostart entry could not be changed\n");
    startAtLoginAction_->setChecked(startsWithWindows(startAtLogin_, program));
}

// A notification replaces the one before, as a balloon does; the desktop gives its number.
void QtTray::notify(const QString& title, const QString& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kNotificationsService, QStringLiteral("/org/freedesktop/Notifications"),
                                                       kNotificationsService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("shuttle"));
    call << QStringLiteral("Shuttle") << lastNotification_ << QStringLiteral("shuttle") << title << text << QStringList()
         << hints << kNotificationTimeoutMs;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<uint32_t> reply = *finished;
        if (reply.isValid()) lastNotification_ = reply.value();
        finished->deleteLater();
    });
}

}  // namespace shuttle
