#include "ui/main_dialog_qt.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/tray.h"
#include "shuttle_version.h"
#include "ui/dialog_texts.h"
#include "ui/tray_qt.h"

namespace shuttle {
namespace {

constexpr int kLogoSize = 48;

QString textOf(const std::u16string& text) { return QString::fromStdU16String(text); }

QStringList textsOf(const std::vector<std::u16string>& texts) {
    QStringList list;
    for (const std::u16string& text : texts) list.append(textOf(text));
    return list;
}

QStringList itemsOf(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) items.append(box.itemText(i));
    return items;
}

// Replaces a list's entries only when they differ, so that an open list is not disturbed.
void showEntries(QComboBox& box, const std::vector<std::u16string>& entries, int current) {
    const QStringList texts = textsOf(entries);
    if (itemsOf(box) != texts) {
        box.clear();
        box.addItems(texts);
    }
    box.setCurrentIndex(current);
}

QCheckBox* optionBox(const char* caption, bool checked) {
    auto* box = new QCheckBox(QString::fromLatin1(caption));
    box->setChecked(checked);
    return box;
}

}  // namespace

MainDialog::MainDialog(Settings& settings, Requests& requests, DialogActions actions)
    : settings_(settings), requests_(requests), actions_(std::move(actions)) {
    panel_ = std::make_unique<LinkPanelModel>(
        [this] { QMetaObject::invokeMethod(this, [this] { render(); }, Qt::QueuedConnection); },
        fontMetrics().averageCharWidth());
    setWindowTitle(QStringLiteral(SHUTTLE_PRODUCT_NAME));
    setWindowIcon(QIcon(trayIconResource(kIconCopyReady, kLogoSize)));
    build();
    render();
}

MainDialog::~MainDialog() = default;

void MainDialog::build() {
    auto* left = new QVBoxLayout;
    auto* modeFrame = new QGroupBox(QStringLiteral(" Mode"));
    auto* modeRow = new QHBoxLayout(modeFrame);
    comMode_ = new QRadioButton(QStringLiteral(" COM"));
    usbMode_ = new QRadioButton(QStringLiteral(" USB"));
    (settings_.usbMode() ? usbMode_ : comMode_)->setChecked(true);
    modeRow->addWidget(comMode_);
    modeRow->addWidget(usbMode_);
    connect(comMode_, &QRadioButton::clicked, this, [this] { changeMode(false); });
    connect(usbMode_, &QRadioButton::clicked, this, [this] { changeMode(true); });
    left->addWidget(modeFrame);
    left->addWidget(buildLinkFrame());
    left->addWidget(buildOptionFrames());
    auto* notifications = new QGroupBox(QStringLiteral(" Notifications"));
    auto* notificationRow = new QHBoxLayout(notifications);
    QCheckBox* show = optionBox("Show", settings_.has(kFlagShowNotifications));
    QCheckBox* sound = optionBox("Play sound", settings_.has(kFlagPlaySound));
    connect(show, &QCheckBox::clicked, this, [this](bool on) { changeFlag(kFlagShowNotifications, on); });
    connect(sound, &QCheckBox::clicked, this, [this](bool on) { changeFlag(kFlagPlaySound, on); });
    notificationRow->addWidget(show);
    notificationRow->addWidget(sound);
    left->addWidget(notifications);
    left->addStretch();

    auto* outer = new QHBoxLayout(this);
    outer->addLayout(left);
    outer->addSpacing(fontMetrics().averageCharWidth() * 3);
    outer->addWidget(buildAbout());
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

// The status line heads the selector's frame, as on Windows.
QWidget* MainDialog::buildLinkFrame() {
    auto* frame = new QGroupBox;
    status_ = new QLabel;
    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(status_);
    auto* row = new QHBoxLayout;
    links_ = new QComboBox;
    links_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    links_->setMinimumContentsLength(10);
    linkButton_ = new QPushButton;
    addButton_ = new QPushButton(QStringLiteral("Add…"));
    row->addWidget(links_, 1);
    row->addWidget(linkButton_);
    row->addWidget(addButton_);
    layout->addLayout(row);
    connect(links_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        panel_->chooseLink(index);
        requests_.selectionChange = 1;
    });
    connect(linkButton_, &QPushButton::clicked, this, [this] { requests_.linkButton = 1; });
    connect(addButton_, &QPushButton::clicked, this, &MainDialog::addLink);
    return frame;
}

QWidget* MainDialog::buildOptionFrames() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    options_ = new QGroupBox(QStringLiteral(" Options"));
    QCheckBox* startInTray = optionBox("Start in tray", settings_.has(kFlagStartInTray));
    connect(startInTray, &QCheckBox::clicked, this, [this](bool on) { changeFlag(kFlagStartInTray, on); });
    (new QHBoxLayout(options_))->addWidget(startInTray);
    sizeFrame_ = new QGroupBox(QStringLiteral("File size limit"));
    sizes_ = new QComboBox;
    (new QHBoxLayout(sizeFrame_))->addWidget(sizes_);
    connect(sizes_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        panel_->chooseSize(index);
        requests_.sizeLimit = 1;
    });
    layout->addWidget(options_);
    layout->addWidget(sizeFrame_);
    return row;
}

QWidget* MainDialog::buildAbout() {
    auto* about = new QWidget;
    auto* layout = new QVBoxLayout(about);
    auto* logo = new QLabel;
    logo->setPixmap(QPixmap(QStringLiteral(":/icons/logo_%1.png").arg(kLogoSize)));
    logo->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QStringLiteral(SHUTTLE_PRODUCT_NAME "\nVersion " SHUTTLE_VERSION_TEXT "\n" SHUTTLE_TAG_LINE));
    version->setAlignment(Qt::AlignCenter);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    version->setContextMenuPolicy(Qt::NoContextMenu);
    auto* link = new QLabel(QStringLiteral("<a href=\"" SHUTTLE_MAKER_URL "\">" SHUTTLE_MAKER_HOST "</a>"));
    link->setAlignment(Qt::AlignCenter);
    link->setOpenExternalLinks(true);
    auto* ok = new QPushButton(QStringLiteral("OK"));
    connect(ok, &QPushButton::clicked, this, &MainDialog::putAway);
    layout->addWidget(logo);
    layout->addWidget(version);
    layout->addWidget(link);
    layout->addStretch();
    layout->addWidget(ok, 0, Qt::AlignCenter);
    return about;
}

void MainDialog::render() {
    const LinkPanelView view = panel_->take();
    const QSignalBlocker linksQuiet(links_);
    const QSignalBlocker sizesQuiet(sizes_);
    showEntries(*links_, view.links, view.currentLink);
    links_->setEnabled(view.linksEnabled);
    if (view.linksDroppedWidth > 0) links_->view()->setMinimumWidth(view.linksDroppedWidth);
    linkButton_->setText(textOf(view.buttonCaption));
    status_->setText(textOf(view.status));
    showEntries(*sizes_, view.sizes, view.currentSize);
    sizeFrame_->setVisible(view.sizeShown);
    addButton_->setToolTip(view.usbLayout ? QStringLiteral("Add a folder as the store drive")
                                          : QStringLiteral("Add a serial port by its path"));
}

void MainDialog::changeMode(bool usb) {
    settings_.setFlag(kFlagUsbMode, usb);
    requests_.modeChange = 1;
    settings_.save();
}

void MainDialog::changeFlag(uint32_t flag, bool on) {
    settings_.setFlag(flag, on);
    settings_.save();
}

void MainDialog::addLink() {
    if (settings_.usbMode()) {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Add a folder as the store drive"));
        if (folder.isEmpty()) return;
        if (!actions_.addStoreFolder(QFile::encodeName(folder).toStdString()))
            QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 cannot serve as the store drive.").arg(folder));
        return;
    }
    bool given = false;
    const QString path = QInputDialog::getText(this, QStringLiteral("Add a port"),
                                               QStringLiteral("Path of the serial device or pseudo-terminal:"),
                                               QLineEdit::Normal, QStringLiteral("/dev/"), &given);
    if (!given || path.isEmpty()) return;
    if (!actions_.addPort(QFile::encodeName(path).toStdString()))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 is no path of a port.").arg(path));
}

void MainDialog::bringToFront() {
    showNormal();
    raise();
    activateWindow();
}

void MainDialog::putAway() {
    if (trayShown_)
        hide();
    else
        showMinimized();
}

void MainDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    putAway();
}

}  // namespace shuttle
