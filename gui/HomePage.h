#pragma once

#include <QWidget>

class QStackedWidget;

namespace vessamo {
class NotificationCenter;
class OrlendoAppDelegate;
}  // namespace vessamo

namespace vessamo::gui {

class BackupTablePage;

// The first screen: three large choices (the backups on this computer, a
// connected iPhone, WhatsApp Web). A choice is posted to the controller,
// which decides what follows; the backup list opens as a pane of its own
// with a way back to the choices.
class HomePage : public QWidget {
    Q_OBJECT

public:
    HomePage(OrlendoAppDelegate& app, NotificationCenter& notifications, QWidget* parent = nullptr);

    // The backup list, freshly read.
    void showBackupPane();
    void showChoices();
    [[nodiscard]] bool showsBackupPane() const;
    [[nodiscard]] BackupTablePage& backupTable() { return *backupTable_; }

signals:
    // The backup table rebuilt the sources (a folder was chosen, ...).
    void sourcesChanged();

private:
    QWidget* buildChoices();
    QWidget* buildBackupPane();

    OrlendoAppDelegate& app_;
    NotificationCenter& notifications_;
    QStackedWidget* panes_;
    QWidget* choices_ = nullptr;
    QWidget* backupPane_ = nullptr;
    BackupTablePage* backupTable_ = nullptr;
};

}  // namespace vessamo::gui
