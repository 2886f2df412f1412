#include "SideDrawer.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "Theme.h"
#include "app/OrlendoAppDelegate.h"

namespace vessamo::gui {

namespace {

constexpr int kContentWidth = 340;
constexpr int kContentHeight = 542;
constexpr int kSlideMilliseconds = 180;

QLabel* linkLabel(const QString& html, QWidget* parent) {
    auto* label = new QLabel(html, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    return label;
}

}  // namespace

SideDrawer::SideDrawer(OrlendoAppDelegate& app, QWidget& host)
    : QWidget(&host),
      app_(app),
      host_(host),
      animation_(new QPropertyAnimation(this, "pos", this)) {
    setObjectName("SideDrawer");
    setAutoFillBackground(true);
    setFixedWidth(kContentWidth);
    setMinimumHeight(kContentHeight);
    animation_->setDuration(kSlideMilliseconds);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation_, &QPropertyAnimation::finished, this, [this] {
        state_ = state_ == State::Opening ? State::Open : State::Closed;
        setVisible(state_ == State::Open);
    });
    buildContent();
    host_.installEventFilter(this);
    hide();
}

void SideDrawer::buildContent() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    layout->setSpacing(Theme::relatedSpacing);

    auto* closeButton = new QToolButton(this);
    closeButton->setIcon(themedIcon("window-close", ":/icons/vessamo-close.svg"));
    closeButton->setToolTip(tr("Close"));
    closeButton->setAutoRaise(true);
    connect(closeButton, &QToolButton::clicked, this, &SideDrawer::closeDrawer);
    layout->addWidget(closeButton, 0, Qt::AlignRight);

    auto* learnMore = linkLabel("<a href=\"learn\">Learn More...</a>", this);
    learnMore->setFont(Theme::titleFont(font()));
    connect(learnMore, &QLabel::linkActivated, this, [this] { app_.ClickLearnMore(); });
    layout->addWidget(learnMore);

    auto* other = new QPushButton(tr("I like more"), this);
    connect(other, &QPushButton::clicked, this, [this] { app_.clickILikeMore(); });
    layout->addWidget(other, 0, Qt::AlignLeft);
    layout->addSpacing(Theme::groupSpacing);

    // Suggestions go to the support page until the feedback form exists.
    auto* suggestions = linkLabel(
        "Please help me get BETTER with your <a href=\"suggestions\">suggestions</a>!", this);
    connect(suggestions, &QLabel::linkActivated, this, [this] { app_.clickSupport(); });
    layout->addWidget(suggestions);
    layout->addSpacing(Theme::groupSpacing);

    auto* help = linkLabel("Need Help? Go to our <a href=\"support\">Support Portal</a>", this);
    connect(help, &QLabel::linkActivated, this, [this] { app_.clickSupport(); });
    layout->addWidget(help);
    layout->addStretch(1);
}

void SideDrawer::toggle() {
    if (state_ == State::Closed || state_ == State::Closing) {
        openDrawer();
    } else {
        closeDrawer();
    }
}

void SideDrawer::openDrawer() {
    if (state_ == State::Open || state_ == State::Opening) {
        return;
    }
    if (state_ == State::Closed) {
        resize(width(), std::max(kContentHeight, host_.height()));
        move(closedPosition());
    }
    state_ = State::Opening;
    show();
    raise();
    slideTo(true);
    setFocus(Qt::OtherFocusReason);
}

void SideDrawer::closeDrawer() {
    if (state_ == State::Closed || state_ == State::Closing) {
        return;
    }
    state_ = State::Closing;
    slideTo(false);
}

void SideDrawer::slideTo(bool opened) {
    resize(width(), std::max(kContentHeight, host_.height()));
    animation_->stop();
    animation_->setStartValue(pos());
    animation_->setEndValue(opened ? openPosition() : closedPosition());
    animation_->start();
}

QPoint SideDrawer::openPosition() const {
    return {host_.width() - width(), 0};
}

QPoint SideDrawer::closedPosition() const {
    return {host_.width(), 0};
}

void SideDrawer::placeAtRest() {
    resize(width(), std::max(kContentHeight, host_.height()));
    if (state_ == State::Open) {
        move(openPosition());
    } else if (state_ == State::Closed) {
        move(closedPosition());
    }
}

bool SideDrawer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &host_ && event->type() == QEvent::Resize) {
        placeAtRest();
    }
    return QWidget::eventFilter(watched, event);
}

void SideDrawer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        closeDrawer();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SideDrawer::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // A hairline on the edge it slides in from, so it reads as lying on top.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, 0, 0, height());
}

}  // namespace vessamo::gui
