#include "KTScanVSButton.h"

#include <QIcon>

#include "ControlEvents.h"
#include "Theme.h"

namespace vessamo::gui {

KTScanVSButton::KTScanVSButton(int type, NotificationCenter& notifications, QWidget* parent)
    : QPushButton(tr("Scan"), parent), type_(type), notifications_(notifications) {
    ControlEvents::install(*this, notifications, "KTScanVSButton", type_);
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

}  // namespace vessamo::gui
