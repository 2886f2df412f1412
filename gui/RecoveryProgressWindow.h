#pragma once

#include <QDialog>
#include <cstdint>

#include "app/OrlendoAppDelegate.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace vessamo::gui {

// The window the combined recovery shows while it copies the marked
// records: a bar and how many items are done, read once a second from the
// export's own count. It closes itself when the recovery has ended (its
// folder is shown by then).
class RecoveryProgressWindow : public QDialog {
    Q_OBJECT

public:
    explicit RecoveryProgressWindow(OrlendoAppDelegate& app, QWidget* parent = nullptr);

    // Shows the window for the export with that id until it has finished.
    void watch(uint64_t exportId);

    [[nodiscard]] QProgressBar* bar() const { return bar_; }
    [[nodiscard]] QLabel* countLabel() const { return count_; }
    [[nodiscard]] uint64_t watched() const { return watched_; }

signals:
    // The watched recovery ended and the window closed.
    void recoveryFinished();

protected:
    void reject() override {}  // Escape does not hide a running recovery

private:
    void update();

    OrlendoAppDelegate& app_;
    QLabel* title_;
    QProgressBar* bar_;
    QLabel* count_;
    QTimer* timer_;
    uint64_t watched_ = 0;
};

}  // namespace vessamo::gui
