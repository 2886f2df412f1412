#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "MainWindow.h"
#include "QtUiPort.h"
#include "app/OrlendoAppDelegate.h"
#include "common/NotificationCenter.h"
#include "support/TestSupport.h"

namespace vessamo::test {

// Processes events until the condition holds or the time is up; true when it held.
bool waitUntil(const std::function<bool()>& condition, int milliseconds = 10000);

// Fails the test, instead of letting it hang, when an alert sheet stays
// unanswered: the sheet's own event loop would otherwise never return to
// the test's waits. The sheet is closed through its escape button.
class UnansweredAlertGuard : public QObject {
public:
    explicit UnansweredAlertGuard(int patienceMs = 20000);

private:
    void timerEvent(QTimerEvent* event) override;

    int patienceMs_;
    std::map<const QObject*, qint64> firstSeen_;
    QElapsedTimer clock_;
};

// The sources the harness writes into its user folder before the program starts.
struct HarnessSources {
    bool itunes = true;           // a backup in the backup root
    bool encrypted = false;       // ... which says it is encrypted
    bool icloud = false;          // an iCloud Drive WhatsApp account
    bool timeline = false;        // a Timeline backup in the default Timeline folder
    size_t messages = 0;          // the backup's messages; 0 keeps the small sample
    bool firstLaunchDone = true;  // false: the program has never run here
};

// The desktop application on a fresh user folder, started as a person
// starts it: sources written, the controller launched, the window shown.
// Web addresses, files and folders the program opens are recorded.
class GuiHarness {
public:
    explicit GuiHarness(HarnessSources sources = {});
    ~GuiHarness();
    GuiHarness(const GuiHarness&) = delete;
    GuiHarness& operator=(const GuiHarness&) = delete;

    [[nodiscard]] const std::string& home() const { return home_.path(); }
    [[nodiscard]] const std::string& backupFolder() const { return backupFolder_; }
    [[nodiscard]] OrlendoAppDelegate& app() { return *app_; }
    [[nodiscard]] gui::QtUiPort& ui() { return ui_; }
    [[nodiscard]] gui::MainWindow& window() { return *window_; }
    [[nodiscard]] const QStringList& opened() const { return opened_; }

    // Waits (processing events) until no scan runs; false on timeout.
    bool waitForScan(int milliseconds = 60000);

private:
    TempHome home_;  // first: everything below lives in it
    UnansweredAlertGuard guard_;
    std::string backupFolder_;
    NotificationCenter notifications_;
    gui::QtUiPort ui_;
    QStringList opened_;
    std::unique_ptr<OrlendoAppDelegate> app_;
    std::unique_ptr<gui::MainWindow> window_;
};

// What an answered alert said.
struct AnsweredAlert {
    QString text;
    QString detail;
    QStringList buttons;
    bool hadCheckBox = false;
};

// Answers the next alert sheet: once one is shown, it records its texts,
// ticks its check box when asked and clicks the button with that text
// (blanks around button texts do not matter).
class AlertAnswerer : public QObject {
public:
    explicit AlertAnswerer(QString button, bool tickCheckBox = false);
    // True once an alert was answered.
    [[nodiscard]] bool answered() const { return answered_.has_value(); }
    [[nodiscard]] const AnsweredAlert& alert() const { return *answered_; }
    // Processes events until an alert was answered; false on timeout.
    bool wait(int milliseconds = 10000);

private:
    void timerEvent(QTimerEvent* event) override;

    QString button_;
    bool tick_;
    std::optional<AnsweredAlert> answered_;
};

}  // namespace vessamo::test
