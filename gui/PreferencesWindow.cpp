#include "PreferencesWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "StatusItem.h"
#include "Theme.h"
#include "app/LoginItem.h"
#include "app/OrlendoAppDelegate.h"
#include "common/UiPort.h"

namespace vessamo::gui {

namespace {

LoginItem loginItem() {
    return LoginItem(LoginItem::defaultFolder(),
                     QCoreApplication::applicationFilePath().toStdString());
}

void tellFailure(UiPort& ui, const std::string& title, const Status& status) {
    AlertRequest alert;
    alert.title = title;
    alert.detail = status.message();
    ui.showAlert(alert);
}

}  // namespace

PreferencesWindow::PreferencesWindow(OrlendoAppDelegate& app, UiPort& ui, StatusItem* statusItem,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), app_(app), ui_(ui), statusItem_(statusItem) {
    setWindowTitle(tr("Preferences"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    layout->setSpacing(Theme::groupSpacing);
    layout->addWidget(buildTimelineGroup());

    auto* scanning = new QVBoxLayout;
    scanning->setSpacing(Theme::relatedSpacing);
    advancedMode_ = new QCheckBox("Scan with advanced recovery mode", this);
    connect(advancedMode_, &QCheckBox::toggled, this,
            [this](bool on) { app_.ClickAdvancedRecoveryMode(on); });
    scanning->addWidget(advancedMode_);

    loginItem_ = new QCheckBox(tr("Start Vessamo when I log in"), this);
    connect(loginItem_, &QCheckBox::toggled, this, &PreferencesWindow::setLoginItem);
    scanning->addWidget(loginItem_);

    if (statusItem_ != nullptr) {
        trayIcon_ = new QCheckBox(tr("Show Vessamo in the system tray"), this);
        if (!StatusItem::trayAvailable()) {
            trayIcon_->setToolTip(tr("This desktop has no system tray."));
        }
        connect(trayIcon_, &QCheckBox::toggled, this, [this] { statusItem_->toggleStatusItem(); });
        scanning->addWidget(trayIcon_);
    }
    layout->addLayout(scanning);
    layout->addStretch(1);
}

QWidget* PreferencesWindow::buildTimelineGroup() {
    auto* group = new QGroupBox(tr("Timeline backups"), this);
    auto* layout = new QVBoxLayout(group);
    layout->setSpacing(Theme::relatedSpacing);
    auto* explanation = new QLabel(tr("The folder Vessamo keeps its Timeline backups in."), group);
    explanation->setWordWrap(true);
    Theme::makeMuted(explanation);
    layout->addWidget(explanation);

    auto* row = new QHBoxLayout;
    row->setSpacing(Theme::relatedSpacing);
    timelineField_ = new QLineEdit(group);
    timelineField_->setAccessibleName(tr("Timeline folder"));
    timelineField_->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    row->addWidget(timelineField_, 1);
    auto* choose = new QPushButton(tr("Choose…"), group);
    connect(choose, &QPushButton::clicked, this, &PreferencesWindow::chooseTimelineFolder);
    row->addWidget(choose);
    auto* apply = new QPushButton(tr("Apply"), group);
    connect(apply, &QPushButton::clicked, this, &PreferencesWindow::applyTimelineFolder);
    connect(timelineField_, &QLineEdit::returnPressed, this,
            &PreferencesWindow::applyTimelineFolder);
    row->addWidget(apply);
    layout->addLayout(row);
    return group;
}

void PreferencesWindow::showEvent(QShowEvent* event) {
    timelineField_->setText(QString::fromStdString(app_.timelinePath));
    {
        const QSignalBlocker quiet(advancedMode_);
        advancedMode_->setChecked(app_.getScanBDeleted());
    }
    {
        const QSignalBlocker quiet(loginItem_);
        loginItem_->setChecked(loginItem().isLoginItem());
    }
    if (trayIcon_ != nullptr) {
        const QSignalBlocker quiet(trayIcon_);
        trayIcon_->setChecked(!statusItem_->shouldHide());
    }
    QWidget::showEvent(event);
}

// A sheet on this window: the rest of the program stays usable.
void PreferencesWindow::chooseTimelineFolder() {
    auto* dialog = new QFileDialog(this, tr("Choose the Timeline folder"), timelineField_->text());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& folder) { timelineField_->setText(folder); });
    dialog->open();
}

bool PreferencesWindow::applyTimelineFolder() {
    const Status status = app_.ResetPreferenceSetting(timelineField_->text().toStdString());
    if (!status.ok()) {
        tellFailure(ui_, "The Timeline folder could not be used.", status);
        return false;
    }
    emit timelineFolderChanged();
    return true;
}

void PreferencesWindow::setLoginItem(bool on) {
    const LoginItem item = loginItem();
    const Status status = on ? item.addAppAsLoginItem() : item.deleteAppFromLoginItem();
    if (status.ok()) {
        return;
    }
    tellFailure(ui_, "The start at log-in could not be changed.", status);
    const QSignalBlocker quiet(loginItem_);
    loginItem_->setChecked(item.isLoginItem());
}

}  // namespace vessamo::gui
