#pragma once
// The notification-area icon on a Linux desktop, with the same states and menu ("Open", "Start
// at login", "Exit") as on Windows, and the balloons as desktop notifications
// (org.freedesktop.Notifications, which a desktop without any tray shows too).
// QSystemTrayIcon speaks StatusNotifierItem over D-Bus when a host is registered at the first
// icon's creation, else the X11 tray protocol, and keeps that first answer for the whole
// process. So the icon is made only once one of the two is there, and made again whenever a
// StatusNotifierItem host registers (a panel started after the program, or restarted).
// Any thread may call the Tray functions; the work is done on the GUI thread.

#include <QObject>
#include <QString>

#include <memory>

#include "platform/run_key.h"
#include "platform/tray.h"

class QMenu;
class QAction;
class QSystemTrayIcon;

namespace shuttle {

class QtTray final : public QObject, public Tray {
    Q_OBJECT

public:
    // Made on the GUI thread. `startAtLogin` (the autostart folder) must outlive it; `program`
    // is the path a login starts.
    QtTray(RunKey& startAtLogin, QString program);
    ~QtTray() override;

    // GUI thread: makes the icon when a tray is there, and watches for one to come.
    void start();
    // GUI thread: whether the icon is in a tray now.
    bool shown() const { return icon_ != nullptr; }

    void setIcon(uint16_t icon) override;
    void showBalloon(const std::u16string& title, const std::u16string& text) override;
    void setTip(const std::u16string& text) override;
    void beep(bool information) override;
    void restore() override;

signals:
    void openRequested();
    void exitRequested();
    // The icon is in a tray now (it may not have been at start).
    void iconShown();

private slots:
    void onStatusNotifierHost();

private:
    void createIcon();
    void toggleStartAtLogin();
    void notify(const QString& title, const QString& text);

    RunKey& startAtLogin_;
    const QString program_;
    std::unique_ptr<QMenu> menu_;
    QAction* startAtLoginAction_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> icon_;
    uint16_t shownIcon_;          // GUI thread
    QString tip_;                 // GUI thread
    uint32_t lastNotification_ = 0;  // replaced by the next one, as a balloon is
};

// Where the program's resources hold the picture of icon resource `icon` at `size` pixels.
QString trayIconResource(uint16_t icon, int size);

}  // namespace shuttle
