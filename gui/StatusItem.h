#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace vessamo::gui {

// The program's icon in the system tray, with a menu to bring the window
// back and to quit. Whether it is hidden is remembered in the settings
// ("WAMShouldHideStatusItem"); desktops without a tray never get one.
class StatusItem : public QObject {
    Q_OBJECT

public:
    // window: what "Show Vessamo" brings up and "Quit" closes.
    explicit StatusItem(QWidget& window, QObject* parent = nullptr);
    ~StatusItem() override;

    // Creates the tray icon unless the settings say it is hidden.
    void createAtStart();
    // Puts the icon into the tray (when the desktop has one).
    void createStatusItem();
    // Removes the icon when present and remembers it hidden, else creates
    // it and remembers it shown.
    void toggleStatusItem();
    // Brings the main window to the front.
    void showAppWindow();

    [[nodiscard]] bool isPresent() const { return tray_ != nullptr; }
    [[nodiscard]] bool shouldHide() const;
    [[nodiscard]] static bool trayAvailable();

private:
    void remember(bool hidden);

    QPointer<QWidget> window_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
};

}  // namespace vessamo::gui
