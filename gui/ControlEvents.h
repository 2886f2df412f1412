#pragma once

#include <QObject>
#include <any>
#include <string>

#include "common/NotificationCenter.h"

class QAbstractButton;
class QPainter;
class QWidget;

namespace vessamo::gui {

// What every custom control of the source list and the home screen does
// alike: it tells the controller when the pointer enters and leaves it
// ("<Class>MouseEntered", "<Class>MouseExited", with the control's object),
// and a button is pressed by Enter as well as by Space.
class ControlEvents : public QObject {
public:
    // Watches widget for as long as it lives.
    static void install(QWidget& widget, NotificationCenter& notifications, std::string className,
                        std::any object);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ControlEvents(QWidget& widget, NotificationCenter& notifications, std::string className,
                  std::any object);

    NotificationCenter& notifications_;
    std::string className_;
    std::any object_;
};

// The keyboard focus ring of a control that styles draw without one.
void paintFocusRing(QPainter& painter, const QWidget& widget, qreal inset = 1);

}  // namespace vessamo::gui
