#include "KTExpandButton.h"

#include <QKeyEvent>
#include <QPainter>

#include "Theme.h"

namespace vessamo::gui {

KTExpandButton::KTExpandButton(SourceEntryId id, bool expanded, NotificationCenter& notifications,
                               QWidget* parent)
    : QToolButton(parent), id_(id), expanded_(expanded), notifications_(notifications) {
    setAutoRaise(true);
    setFocusPolicy(Qt::StrongFocus);
    setIcon(expanded ? themedIcon("go-down", ":/icons/sources/chevron-down.svg")
                     : themedIcon("go-next", ":/icons/sources/chevron-right.svg"));
    setIconSize(QSize(16, 16));
    // Screen readers and tooltips say what the arrow does, not what it looks like.
    const QString action = expanded ? tr("Hide categories") : tr("Show categories");
    setToolTip(action);
    setAccessibleName(action);
    connect(this, &QToolButton::clicked, this, &KTExpandButton::post);
}

void KTExpandButton::post() {
    notifications_.post("KTExpandButtonMouseDown", id_);
    emit toggled(id_);
}

// Styles draw no focus frame on flat tool buttons; the arrow is the row's
// only stop in the tab chain, so its ring must show.
void KTExpandButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
    }
}

void KTExpandButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QToolButton::keyPressEvent(event);
}

void KTExpandButton::enterEvent(QEnterEvent* event) {
    notifications_.post("KTExpandButtonMouseEntered", id_);
    QToolButton::enterEvent(event);
}

void KTExpandButton::leaveEvent(QEvent* event) {
    notifications_.post("KTExpandButtonMouseExited", id_);
    QToolButton::leaveEvent(event);
}

}  // namespace vessamo::gui
