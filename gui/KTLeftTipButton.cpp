#include "KTLeftTipButton.h"

#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

#include "ControlEvents.h"
#include "KTDeviceView.h"

namespace vessamo::gui {

KTLeftTipButton::KTLeftTipButton(const SourceListRow& placeholder,
                                 NotificationCenter& notifications, QWidget* parent)
    : QToolButton(parent), btnType_(placeholder.placeholderType), notifications_(notifications) {
    ControlEvents::install(*this, notifications, "KTLeftTipButton", btnType_);
    setAutoRaise(true);
    setFocusPolicy(Qt::StrongFocus);
    setText(QString::fromStdString(placeholder.title));
    setIcon(KTDeviceView::pictureFor(placeholder.type, nullptr));
    setIconSize(QSize(32, 32));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QToolButton::clicked, this,
            [this] { notifications_.post("KTLeftTipButtonMouseDown", btnType_); });
}

// The style draws the hover and pressed panel; picture and text sit at the
// left like every other entry's, and the focus ring is drawn whatever the
// style does for tool buttons.
void KTLeftTipButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);

    const QRect area = rect().adjusted(16, 0, -8, 0);
    const QRect picture(area.left(), area.center().y() - 16, 32, 32);
    // A placeholder is not a source: its picture is drawn muted.
    icon().paint(&painter, picture, Qt::AlignCenter, QIcon::Disabled);

    const QRect textArea = area.adjusted(32 + 12, 0, 0, 0);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.setPen(palette().color(group, QPalette::WindowText));
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textArea.width()));

    paintFocusRing(painter, *this, 2);
}

}  // namespace vessamo::gui
