#pragma once

#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>

namespace vessamo {
class NotificationCenter;
class OrlendoAppDelegate;
class ScratchFolder;
}  // namespace vessamo

namespace vessamo::gui {

class MainWindow;
class QtUiPort;

// The running desktop application: its user folder (a sample one for
// "--sample"), the controller, the interface port and the main window,
// built and started in the launch order, taken down in reverse.
class VessamoApplication {
public:
    struct Arguments {
        bool sample = false;  // "--sample": a fresh sample user folder, gone at exit
    };
    // Arguments after the program name; unknown ones are left alone, as Qt's own are.
    [[nodiscard]] static Arguments parse(const QStringList& arguments);

    // The desktop application's settings file: in the user folder, so a run
    // on another VESSAMO_HOME (a test, "--sample") never touches the real one.
    [[nodiscard]] static QString settingsPath();

    explicit VessamoApplication(Arguments arguments);
    ~VessamoApplication();
    VessamoApplication(const VessamoApplication&) = delete;
    VessamoApplication& operator=(const VessamoApplication&) = delete;

    // False with a reason when the sample user folder could not be made.
    [[nodiscard]] bool ready() const { return error_.empty(); }
    [[nodiscard]] const std::string& error() const { return error_; }

    // Builds the controller and the window and shows it; call once, with
    // the QApplication running.
    void start();

    [[nodiscard]] MainWindow* mainWindow() const { return window_.get(); }

private:
    bool makeSampleHome();
    // Ctrl-C or a termination request ends the event loop, so the sample
    // folder still goes: the handler only writes to a pipe the loop watches.
    void quitOnSignals();
    void stopScanAndWait();

    std::string error_;
    std::unique_ptr<ScratchFolder> sampleHome_;  // first: outlives everything below
    std::optional<std::string> previousHome_;
    std::unique_ptr<NotificationCenter> notifications_;
    std::unique_ptr<QtUiPort> ui_;
    std::unique_ptr<OrlendoAppDelegate> app_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
};

}  // namespace vessamo::gui
