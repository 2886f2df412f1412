#include "TimelineRow.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include "ControlEvents.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

constexpr const char* kControlName = "KTTimeLineButton";

QIcon glyphOf(TimelineButton::Side side) {
    // White glyphs of our own: the theme's would be dark on the dark images.
    return QIcon(side == TimelineButton::Side::Left ? ":/icons/timeline/back-to-device.svg"
                                                    : ":/icons/timeline/show-content.svg");
}

}  // namespace

TimelineButton::TimelineButton(Side side, const QString& text, NotificationCenter& notifications,
                               QWidget* parent)
    : QAbstractButton(parent), side_(side), notifications_(notifications) {
    setText(text);
    setAccessibleName(shownText());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    ControlEvents::install(*this, notifications_, kControlName, this);
    // Back to normal after the action, even with the pointer still on it.
    connect(this, &QAbstractButton::clicked, this, [this] {
        hovered_ = false;
        update();
    });
}

// The images' leading blanks made room for a picture; the picture is drawn
// beside the words here, so the blanks are not drawn as well.
QString TimelineButton::shownText() const {
    return text().trimmed();
}

TimelineButton::Look TimelineButton::look() const {
    if (isDown()) {
        return Look::Pressed;
    }
    return hovered_ ? Look::Hover : Look::Normal;
}

QString TimelineButton::imageOf(Look look) const {
    const QString side = side_ == Side::Left ? "left" : "right";
    const char* state = look == Look::Pressed ? "Down" : (look == Look::Hover ? "Move" : "Nom");
    return QStringLiteral(":/icons/timeline/timelinebutton%1_%2.svg").arg(side, state);
}

QSize TimelineButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    const int glyph = metrics.height();
    const int width = metrics.horizontalAdvance(shownText()) + glyph + 5 * Theme::relatedSpacing;
    return {width, metrics.height() + 2 * Theme::relatedSpacing};
}

void TimelineButton::paintEvent(QPaintEvent* event) {
    (void)event;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer image(imageOf(look()));
    image.render(&painter, QRectF(rect()));
    const int glyph = fontMetrics().height();
    const int left = 2 * Theme::relatedSpacing;
    const QRect glyphRect(left, (height() - glyph) / 2, glyph, glyph);
    glyphOf(side_).paint(&painter, glyphRect);
    painter.setPen(Qt::white);
    const QRect words = rect().adjusted(glyphRect.right() + Theme::relatedSpacing, 0,
                                        -2 * Theme::relatedSpacing, 0);
    painter.drawText(words, Qt::AlignVCenter | Qt::AlignLeft, shownText());
    paintFocusRing(painter, *this, 2);
}

void TimelineButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TimelineButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TimelineButton::mousePressEvent(QMouseEvent* event) {
    QAbstractButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        notifications_.post(std::string(kControlName) + "MouseDown", this);
    }
}

TimelineRow::TimelineRow(KTTimeLineFileNode node, NotificationCenter& notifications,
                         QWidget* parent)
    : QFrame(parent),
      node_(std::move(node)),
      date_(new QLabel(this)),
      back_(new TimelineButton(TimelineButton::Side::Left, QStringLiteral("    Back to iDevice"),
                               notifications, this)),
      show_(new TimelineButton(TimelineButton::Side::Right,
                               QStringLiteral("           Show Content"), notifications, this)) {
    setObjectName("timelineRow");
    setFrameShape(QFrame::StyledPanel);
    date_->setObjectName("timelineDate");
    date_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    back_->setObjectName("timelineBackButton");
    show_->setObjectName("timelineShowButton");
    SetTimeDateString(QString::fromStdString(node_.nodeName.value_or("")));

    auto* icon = new QLabel(this);
    const int side = fontMetrics().height() * 2;
    icon->setPixmap(Theme::themedIcon("document-open-recent", ":/icons/timeline/timeline.svg")
                        .pixmap(QSize(side, side), devicePixelRatioF()));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(Theme::windowMargin, Theme::relatedSpacing, Theme::windowMargin,
                            Theme::relatedSpacing);
    row->setSpacing(Theme::relatedSpacing);
    row->addWidget(icon);
    row->addWidget(date_, 1);
    row->addWidget(back_);
    row->addWidget(show_);

    connect(back_, &QAbstractButton::clicked, this, [this] { emit backToDeviceClicked(node_); });
    connect(show_, &QAbstractButton::clicked, this, [this] { emit showContentClicked(node_); });
}

void TimelineRow::SetTimeDateString(const QString& text) {
    date_->setText(text);
}

}  // namespace vessamo::gui
