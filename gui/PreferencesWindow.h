#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;

namespace vessamo {
class OrlendoAppDelegate;
class UiPort;
}  // namespace vessamo

namespace vessamo::gui {

class StatusItem;

// The preferences: the Timeline folder, the advanced recovery mode, starting
// at log-in and the tray icon. A window of its own that only hides when
// closed; it shows the current choices each time it opens.
class PreferencesWindow : public QWidget {
    Q_OBJECT

public:
    // statusItem may be null: the tray choice is then left out.
    PreferencesWindow(OrlendoAppDelegate& app, UiPort& ui, StatusItem* statusItem,
                      QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit& timelineField() { return *timelineField_; }

    // Applies the Timeline folder field; false (after an alert) when the
    // folder could not be made.
    bool applyTimelineFolder();

signals:
    // The Timeline folder changed: the source list shows its backups.
    void timelineFolderChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildTimelineGroup();
    void chooseTimelineFolder();
    void setLoginItem(bool on);

    OrlendoAppDelegate& app_;
    UiPort& ui_;
    StatusItem* statusItem_;
    QLineEdit* timelineField_ = nullptr;
    QCheckBox* advancedMode_ = nullptr;
    QCheckBox* loginItem_ = nullptr;
    QCheckBox* trayIcon_ = nullptr;
};

}  // namespace vessamo::gui
