#pragma once

#include <QWidget>
#include <vector>

#include "app/OrlendoAppDelegate.h"
#include "common/UiPort.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace vessamo::gui {

class TimelineRow;

// The Timeline view: the account of the first Timeline backup (picture,
// "Name: %@", "State: %@") above one row per backup. "Show Content" scans
// that backup; "Back to iDevice" needs a connected device. With no backup
// a placeholder says how to make one.
class TimelinePage : public QWidget {
    Q_OBJECT

public:
    TimelinePage(OrlendoAppDelegate& app, UiPort& ui, QWidget* parent = nullptr);

    // Lists the Timeline folder again and shows what it holds; with nothing
    // in it the person is told (an alert) and the placeholder shows.
    void open();

    [[nodiscard]] const std::vector<TimelineRow*>& rows() const { return rows_; }
    [[nodiscard]] bool showsPlaceholder() const;
    [[nodiscard]] QLabel* nameLabel() const { return name_; }
    [[nodiscard]] QLabel* stateLabel() const { return state_; }
    [[nodiscard]] QLabel* pictureLabel() const { return picture_; }
    [[nodiscard]] bool showsAccountPicture() const { return accountPicture_; }

signals:
    // A Timeline backup's scan started: the scanning page should show.
    void scanStarted();
    // The placeholder's button: the person wants to pick a source to scan.
    void sourcesRequested();

private:
    void buildLayout();
    QWidget* buildPlaceholder();
    void clearRows();
    void addRow(const KTTimeLineFileNode& node);
    void showAccount(const TimelineAccount& account);
    void ClickShowContentAction(const KTTimeLineFileNode& node);
    void ClickBackToiDeviceAction();

    OrlendoAppDelegate& app_;
    UiPort& ui_;
    QLabel* picture_;
    QLabel* name_;
    QLabel* state_;
    QStackedWidget* body_;
    QScrollArea* scroll_;
    QWidget* list_;
    QVBoxLayout* listLayout_;
    QWidget* placeholder_;
    std::vector<TimelineRow*> rows_;
    bool accountPicture_ = false;
};

}  // namespace vessamo::gui
