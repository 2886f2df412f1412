#pragma once

#include <QBasicTimer>
#include <QWidget>

namespace vessamo::gui {

// A quiet, painted sign that work goes on: an arc turning slowly round a
// faint ring. It steps only while it runs and can be seen, so a hidden page
// costs no timer events.
class BusyIndicator : public QWidget {
public:
    // One step of the turn; a person sees calm motion, the CPU barely notices.
    static constexpr int kStepMs = 100;
    static constexpr int kSteps = 12;

    explicit BusyIndicator(QWidget* parent = nullptr);

    void setRunning(bool running);
    [[nodiscard]] bool isRunning() const { return running_; }
    // True while the turn advances: running and visible.
    [[nodiscard]] bool isAnimating() const { return timer_.isActive(); }
    [[nodiscard]] int step() const { return step_; }

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void updateTimer();

    QBasicTimer timer_;
    bool running_ = false;
    int step_ = 0;
};

}  // namespace vessamo::gui
