#include "KTExpandButton.h"

#include <QPainter>

#include "ControlEvents.h"
#include "Theme.h"

namespace vessamo::gui {

KTExpandButton::KTExpandButton(SourceEntryId id, bool expanded, NotificationCenter& notifications,
                               QWidget* parent)
    : QToolButton(parent), id_(id), expanded_(expanded), notifications_(notifications) {
    ControlEvents::install(*this, notifications, "KTExpandButton", id_);
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
    QPainter painter(this);
    paintFocusRing(painter, *this, 1);
}

}  // namespace vessamo::gui
