#include "KTScanVSButton.h"

#include <QIcon>
#include <QKeyEvent>

#include "Theme.h"

namespace vessamo::gui {

KTScanVSButton::KTScanVSButton(int type, NotificationCenter& notifications, QWidget* parent)
    : QPushButton(tr("Scan"), parent), type_(type), notifications_(notifications) {
    setFocusPolicy(Qt::StrongFocus);
    setIcon(QIcon(":/icons/sources/scan.svg"));
    setMinimumHeight(40);
    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 1.15);
    large.setBold(true);
    setFont(large);
    Theme::makePrimary(this);
    connect(this, &QPushButton::clicked, this,
            [this] { notifications_.post("KTScanVSButtonMouseDown", type_); });
}

void KTScanVSButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void KTScanVSButton::enterEvent(QEnterEvent* event) {
    notifications_.post("KTScanVSButtonMouseEntered", type_);
    QPushButton::enterEvent(event);
}

void KTScanVSButton::leaveEvent(QEvent* event) {
    notifications_.post("KTScanVSButtonMouseExited", type_);
    QPushButton::leaveEvent(event);
}

}  // namespace vessamo::gui
