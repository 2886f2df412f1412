#include "BackupChooser.h"

#include <QSignalBlocker>

namespace vessamo::gui {

BackupChooser::BackupChooser(OrlendoAppDelegate& app, QWidget* parent)
    : QComboBox(parent), app_(app) {
    setObjectName("backupChooser");
    setAccessibleName(tr("Backup"));
    setToolTip(tr("Scan another backup"));
    setPlaceholderText(tr("Choose another backup…"));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // Activated only by the person, never by reload().
    connect(this, &QComboBox::activated, this, &BackupChooser::chosen);
}

QString BackupChooser::entryText(const KTIOSDeviceNode& record) {
    const QString name = QString::fromStdString(record.strDeviceName);
    if (record.strBackupType == kBackupTypeICloud) {
        return tr("iCloud Backup — %1").arg(name);
    }
    if (record.strDeviceBackUpTime.empty()) {
        return name;
    }
    return tr("%1 — %2").arg(name, QString::fromStdString(record.strDeviceBackUpTime));
}

void BackupChooser::reload() {
    const QSignalBlocker quiet(this);
    clear();
    int current = -1;
    const auto& records = app_.GetKTIOSDeviceController().records();
    for (size_t at = 0; at < records.size(); ++at) {
        addItem(entryText(*records[at]));
        if (records[at] == app_.currentNode) {
            current = static_cast<int>(at);
        }
    }
    setCurrentIndex(current);
}

void BackupChooser::showPopup() {
    app_.resultView().pages().setBackupChooserActive(true);
    QComboBox::showPopup();
}

void BackupChooser::hidePopup() {
    QComboBox::hidePopup();
    app_.resultView().pages().setBackupChooserActive(false);
}

void BackupChooser::chosen(int index) {
    const auto& records = app_.GetKTIOSDeviceController().records();
    const bool another = index >= 0 && static_cast<size_t>(index) < records.size() &&
                         records[static_cast<size_t>(index)] != app_.currentNode;
    if (another) {
        app_.actSelectBackUp(index);
    }
    if (app_.isScanning() && another) {
        emit scanStarted();
    }
    // A refused choice (a scan runs) leaves the shown source selected.
    reload();
}

}  // namespace vessamo::gui
