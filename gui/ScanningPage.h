#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vessamo::gui {

class BusyIndicator;

// The page a scan runs on: how far it is in large figures, one progress
// bar, what it reads now in a muted line, and a Stop button that asks first.
class ScanningPage : public QWidget {
public:
    explicit ScanningPage(OrlendoAppDelegate& app, QWidget* parent = nullptr);

    // Shows what the result view's state says; interface thread only.
    void showState(const ResultViewState& state);

    [[nodiscard]] QLabel* percentLabel() const { return percent_; }
    [[nodiscard]] QLabel* messageCountLabel() const { return messageCount_; }
    [[nodiscard]] QLabel* stageLabel() const { return stage_; }
    [[nodiscard]] QProgressBar* progressBar() const { return progress_; }
    [[nodiscard]] QPushButton* stopButton() const { return stop_; }
    [[nodiscard]] BusyIndicator* busyIndicator() const { return busy_; }

private:
    OrlendoAppDelegate& app_;
    BusyIndicator* busy_;
    QLabel* percent_;
    QProgressBar* progress_;
    QLabel* messageCount_;
    QLabel* stage_;
    QPushButton* stop_;
};

}  // namespace vessamo::gui
