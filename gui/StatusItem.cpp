#include "StatusItem.h"

#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QWidget>

#include "Theme.h"
#include "VessamoApplication.h"

namespace vessamo::gui {

namespace {
constexpr const char* kHideKey = "WAMShouldHideStatusItem";
}

StatusItem::StatusItem(QWidget& window, QObject* parent) : QObject(parent), window_(&window) {}

StatusItem::~StatusItem() = default;

bool StatusItem::trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool StatusItem::shouldHide() const {
    return QSettings(VessamoApplication::settingsPath(), QSettings::IniFormat)
        .value(kHideKey, false)
        .toBool();
}

void StatusItem::createAtStart() {
    if (!shouldHide()) {
        createStatusItem();
    }
}

void StatusItem::createStatusItem() {
    if (tray_ || !trayAvailable()) {
        return;
    }
    menu_ = std::make_unique<QMenu>();
    connect(menu_->addAction(tr("Show Vessamo")), &QAction::triggered, this,
            &StatusItem::showAppWindow);
    menu_->addSeparator();
    connect(menu_->addAction(tr("Quit")), &QAction::triggered, this, [this] {
        if (window_) {
            window_->close();  // the window asks before the program ends
        }
    });
    tray_ = std::make_unique<QSystemTrayIcon>(themedIcon("vessamo", ":/icons/vessamo.svg"));
    tray_->setToolTip("Vessamo");
    tray_->setContextMenu(menu_.get());
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    showAppWindow();
                }
            });
    tray_->show();
}

void StatusItem::toggleStatusItem() {
    // Without a tray the remembered choice stands in for the icon, so the
    // preference still flips and holds on a desktop that gets one later.
    const bool present = tray_ != nullptr || (!trayAvailable() && !shouldHide());
    if (present) {
        tray_.reset();
        menu_.reset();
        remember(true);
        return;
    }
    createStatusItem();
    remember(false);
}

void StatusItem::showAppWindow() {
    if (!window_) {
        return;
    }
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void StatusItem::remember(bool hidden) {
    QSettings(VessamoApplication::settingsPath(), QSettings::IniFormat).setValue(kHideKey, hidden);
}

}  // namespace vessamo::gui
