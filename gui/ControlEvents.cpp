#include "ControlEvents.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>
#include <QWidget>

namespace vessamo::gui {

ControlEvents::ControlEvents(QWidget& widget, NotificationCenter& notifications,
                             std::string className, std::any object)
    : QObject(&widget),
      notifications_(notifications),
      className_(std::move(className)),
      object_(std::move(object)) {}

void ControlEvents::install(QWidget& widget, NotificationCenter& notifications,
                            std::string className, std::any object) {
    // Owned by the widget: it goes with it.
    auto* events =
        new ControlEvents(widget, notifications, std::move(className), std::move(object));
    widget.installEventFilter(events);
}

bool ControlEvents::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Enter:
            notifications_.post(className_ + "MouseEntered", object_);
            break;
        case QEvent::Leave:
            notifications_.post(className_ + "MouseExited", object_);
            break;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            auto* button = qobject_cast<QAbstractButton*>(watched);
            if (button != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
                button->click();
                return true;
            }
            break;
        }
        default:
            break;
    }
    return false;
}

void paintFocusRing(QPainter& painter, const QWidget& widget, qreal inset) {
    if (!widget.hasFocus()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(widget.palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(widget.rect()).adjusted(inset, inset, -inset, -inset), 4, 4);
    painter.restore();
}

}  // namespace vessamo::gui
