#include "BusyIndicator.h"

#include <QPainter>
#include <QTimerEvent>

#include "Theme.h"

namespace vessamo::gui {

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("Scanning"));
}

void BusyIndicator::setRunning(bool running) {
    if (running_ == running) {
        return;
    }
    running_ = running;
    updateTimer();
    update();
}

void BusyIndicator::updateTimer() {
    if (running_ && isVisible()) {
        if (!timer_.isActive()) {
            timer_.start(kStepMs, this);
        }
    } else {
        timer_.stop();
    }
}

QSize BusyIndicator::sizeHint() const {
    const int side = fontMetrics().height() * 3;
    return {side, side};
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height());
    const qreal pen = std::max(3.0, side / 12.0);
    const QRectF ring((width() - side) / 2.0 + pen / 2, (height() - side) / 2.0 + pen / 2,
                      side - pen, side - pen);

    QColor track = Theme::mutedText(palette());
    track.setAlphaF(0.25);
    painter.setPen(QPen(track, pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawEllipse(ring);
    if (!running_) {
        return;
    }
    // A quarter arc; Qt counts angles in sixteenths of a degree, counter-clockwise.
    const int start = 90 * 16 - step_ * (360 / kSteps) * 16;
    painter.setPen(QPen(Theme::accent(), pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, start, -90 * 16);
}

void BusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTimer();
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateTimer();
}

void BusyIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    step_ = (step_ + 1) % kSteps;
    update();
}

}  // namespace vessamo::gui
