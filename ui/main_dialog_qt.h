#pragma once
// The main dialog on Linux, in Qt widgets with the Windows dialog's captions: mode, the link
// selector with its button and status line, an "Add…" button for a port or a store folder the
// system does not list (a pseudo-terminal, a mounted image, a network share), the options, the
// size limit in USB mode, the version and the maker's address. Options are saved at once; what
// touches the link becomes a request for the link supervisor, whose part of the dialog is the
// model it draws (ui/link_panel_model.h). It stays for the program's whole run: closing it hides
// it while a tray holds the icon, and only minimises it while none does, so that it can always
// be brought back.

#include <QWidget>

#include <functional>
#include <string>

#include "core/link_state.h"
#include "core/settings.h"
#include "ui/link_panel_model.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace shuttle {

// What "Add…" does with the path the user gave; false when it cannot be used.
struct DialogActions {
    std::function<bool(const std::string& devicePath)> addPort;  // COM mode
    std::function<bool(const std::string& folder)> addStoreFolder;  // USB mode
};

class MainDialog final : public QWidget {
    Q_OBJECT

public:
    MainDialog(Settings& settings, Requests& requests, DialogActions actions);
    ~MainDialog() override;

    // The model the supervisor writes; it lives as long as the dialog.
    LinkPanelModel& panel() { return *panel_; }
    // Shows the dialog in front (the tray's "Open").
    void bringToFront();
    // Whether a tray holds the program's icon: closing then hides the dialog.
    void setTrayShown(bool shown) { trayShown_ = shown; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    QWidget* buildLinkFrame();
    QWidget* buildOptionFrames();
    QWidget* buildAbout();
    void render();
    void putAway();
    void changeMode(bool usb);
    void changeFlag(uint32_t flag, bool on);
    void addLink();

    Settings& settings_;
    Requests& requests_;
    const DialogActions actions_;
    std::unique_ptr<LinkPanelModel> panel_;
    bool trayShown_ = false;
    QRadioButton* comMode_ = nullptr;
    QRadioButton* usbMode_ = nullptr;
    QLabel* status_ = nullptr;
    QComboBox* links_ = nullptr;
    QPushButton* linkButton_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QGroupBox* options_ = nullptr;
    QGroupBox* sizeFrame_ = nullptr;
    QComboBox* sizes_ = nullptr;
};

}  // namespace shuttle
