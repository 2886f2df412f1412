#pragma once

#include <QComboBox>

#include "app/OrlendoAppDelegate.h"

namespace vessamo::gui {

// The result view's backup chooser: the backups on this computer (the
// iCloud Drive account among them), the shown source selected. Choosing
// another one drops the shown results and scans that backup. While its
// list is open, row selections of the result lists are ignored.
class BackupChooser : public QComboBox {
    Q_OBJECT

public:
    explicit BackupChooser(OrlendoAppDelegate& app, QWidget* parent = nullptr);

    // Lists the backups again and selects the current source's entry; none
    // is selected when the source is not one of them (a Timeline, a folder).
    void reload();
    // The entry's text for a backup record.
    [[nodiscard]] static QString entryText(const KTIOSDeviceNode& record);

    void showPopup() override;
    void hidePopup() override;

signals:
    // Another backup's scan was started from the chooser.
    void scanStarted();

private:
    void chosen(int index);

    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
