#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTableView;

namespace vessamo::gui {

class BackupTableModel;

// The home screen's backup pane: the backups found on this computer in a
// table, the scan of the selected one, a folder of the person's choice, and
// a refresh that looks for backups again.
class BackupTablePage : public QWidget {
    Q_OBJECT

public:
    explicit BackupTablePage(OrlendoAppDelegate& app, QWidget* parent = nullptr);

    // Shows the controller's backup records as they are now.
    void reload();

    [[nodiscard]] QTableView* table() const { return table_; }
    [[nodiscard]] QPushButton* scanButton() const { return scan_; }

signals:
    // The backups were looked for again and the source list rebuilt.
    void sourcesChanged();

private:
    void buildButtons(QWidget* parent);
    void scanSelected();
    void refresh();
    void updateButtons();
    [[nodiscard]] int selectedRow() const;

    OrlendoAppDelegate& app_;
    BackupTableModel* model_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* empty_ = nullptr;
    QPushButton* scan_ = nullptr;
    QPushButton* choose_ = nullptr;
    QPushButton* refresh_ = nullptr;
};

}  // namespace vessamo::gui
