#include "TimelinePage.h"

#include <QBuffer>
#include <QByteArray>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "Theme.h"
#include "TimelineRow.h"
#include "app/TimelineLibrary.h"
#include "common/Files.h"

namespace vessamo::gui {

namespace {

constexpr const char* kBackToDeviceUnavailable =
    "Putting a Timeline backup back onto the iPhone needs a connected device, which this version "
    "of Vessamo cannot use yet.";

// The account's picture in a circle of the given side.
QPixmap roundPicture(const QImage& image, int side, qreal ratio) {
    QPixmap round(QSize(side, side) * ratio);
    round.setDevicePixelRatio(ratio);
    round.fill(Qt::transparent);
    QPainter painter(&round);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath circle;
    circle.addEllipse(QRectF(0, 0, side, side));
    painter.setClipPath(circle);
    const QImage filled = image.scaled(QSize(side, side) * ratio, Qt::KeepAspectRatioByExpanding,
                                       Qt::SmoothTransformation);
    const QRectF source((filled.width() - side * ratio) / 2, (filled.height() - side * ratio) / 2,
                        side * ratio, side * ratio);
    painter.drawImage(QRectF(0, 0, side, side), filled, source);
    return round;
}

}  // namespace

TimelinePage::TimelinePage(OrlendoAppDelegate& app, UiPort& ui, QWidget* parent)
    : QWidget(parent),
      app_(app),
      ui_(ui),
      picture_(new QLabel(this)),
      name_(new QLabel(this)),
      state_(new QLabel(this)),
      body_(new QStackedWidget(this)),
      scroll_(new QScrollArea(body_)),
      list_(new QWidget(scroll_)),
      listLayout_(new QVBoxLayout(list_)),
      placeholder_(buildPlaceholder()) {
    setObjectName("timelinePage");
    buildLayout();
}

void TimelinePage::buildLayout() {
    auto* title = new QLabel(tr("WhatsApp Timeline"), this);
    title->setObjectName("timelineTitle");
    title->setFont(Theme::titleFont(font(), 1));
    picture_->setObjectName("timelinePicture");
    name_->setObjectName("timelineName");
    state_->setObjectName("timelineState");
    Theme::makeMuted(state_);
    for (QLabel* label : {name_, state_}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);
    }

    auto* account = new QVBoxLayout;
    account->setSpacing(Theme::relatedSpacing / 2);
    account->addStretch(1);
    account->addWidget(name_);
    account->addWidget(state_);
    account->addStretch(1);
    auto* header = new QHBoxLayout;
    header->setSpacing(Theme::windowMargin);
    header->addWidget(picture_);
    header->addLayout(account, 1);

    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(Theme::relatedSpacing);
    listLayout_->addStretch(1);
    scroll_->setObjectName("timelineRows");
    scroll_->setWidget(list_);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    // The scroller only when the rows are higher than the view.
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    body_->addWidget(scroll_);
    body_->addWidget(placeholder_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    column->setSpacing(Theme::relatedSpacing);
    column->addWidget(title);
    column->addLayout(header);
    column->addSpacing(Theme::relatedSpacing);
    column->addWidget(body_, 1);
}

QWidget* TimelinePage::buildPlaceholder() {
    auto* page = new QWidget(this);
    page->setObjectName("timelinePlaceholder");
    auto* icon = new QLabel(page);
    const int side = fontMetrics().height() * 4;
    icon->setPixmap(Theme::themedIcon("document-open-recent", ":/icons/timeline/timeline.svg")
                        .pixmap(QSize(side, side), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(tr("No Timeline backup yet"), page);
    title->setFont(Theme::titleFont(font(), 1));
    title->setAlignment(Qt::AlignCenter);
    auto* body = new QLabel(tr("A Timeline backup keeps the WhatsApp data of one moment, so you "
                               "can come back to it later. Scan a backup first, then make a "
                               "Timeline backup of its result; it is listed here."),
                            page);
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignCenter);
    Theme::makeMuted(body);
    auto* choose = new QPushButton(tr("Choose a backup to scan"), page);
    choose->setObjectName("timelinePlaceholderAction");
    Theme::makePrimary(choose);
    connect(choose, &QPushButton::clicked, this, &TimelinePage::sourcesRequested);

    auto* content = new QWidget(page);
    content->setMaximumWidth(fontMetrics().averageCharWidth() * 64);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(Theme::relatedSpacing);
    column->addWidget(icon);
    column->addWidget(title);
    column->addWidget(body);
    column->addSpacing(Theme::groupSpacing);
    column->addWidget(choose, 0, Qt::AlignHCenter);
    auto* centre = new QGridLayout(page);
    centre->addWidget(content, 1, 1);
    centre->setRowStretch(0, 2);
    centre->setRowStretch(2, 3);
    centre->setColumnStretch(0, 1);
    centre->setColumnStretch(2, 1);
    return page;
}

bool TimelinePage::showsPlaceholder() const {
    return body_->currentWidget() == placeholder_;
}

void TimelinePage::open() {
    clearRows();
    scroll_->verticalScrollBar()->setValue(0);
    const TimelineViewData view = app_.ClickShowWhatsAppTimeline();
    showAccount(view.account);
    for (const KTTimeLineFileNode& node : view.rows) {
        addRow(node);
    }
    body_->setCurrentWidget(view.rows.empty() ? placeholder_ : static_cast<QWidget*>(scroll_));
}

void TimelinePage::clearRows() {
    for (TimelineRow* row : rows_) {
        listLayout_->removeWidget(row);
        row->deleteLater();
    }
    rows_.clear();
}

void TimelinePage::addRow(const KTTimeLineFileNode& node) {
    auto* row = new TimelineRow(node, app_.notifications(), list_);
    // Before the closing stretch, below the rows already there.
    listLayout_->insertWidget(listLayout_->count() - 1, row);
    row->show();  // at once, not when the layout gets round to it
    rows_.push_back(row);
    connect(row, &TimelineRow::showContentClicked, this, &TimelinePage::ClickShowContentAction);
    connect(row, &TimelineRow::backToDeviceClicked, this, [this] { ClickBackToiDeviceAction(); });
}

void TimelinePage::showAccount(const TimelineAccount& account) {
    const bool any = account.info != nullptr;
    name_->setText(QString::fromStdString(account.nameLabel));
    state_->setText(QString::fromStdString(account.stateLabel));
    name_->setVisible(any && !account.nameLabel.empty());
    state_->setVisible(any && !account.stateLabel.empty());
    const int side = fontMetrics().height() * 4;
    QImage image;
    if (any && !account.info->whatsAppContactPath.empty()) {
        // The Timeline's own picture, not whatever a link in its place names.
        const StatusOr<std::string> bytes =
            readWholeFile(PathWithin{{}, std::string(account.info->whatsAppContactPath.view())});
        QByteArray stored = bytes.ok() ? QByteArray::fromStdString(*bytes) : QByteArray();
        QBuffer buffer(&stored);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        image = reader.read();
    }
    accountPicture_ = !image.isNull();
    if (accountPicture_) {
        picture_->setPixmap(roundPicture(image, side, devicePixelRatioF()));
    } else {
        picture_->setPixmap(Theme::themedIcon("avatar-default", ":/icons/timeline/avatar.svg")
                                .pixmap(QSize(side, side), devicePixelRatioF()));
    }
    picture_->setVisible(any);
}

void TimelinePage::ClickShowContentAction(const KTTimeLineFileNode& node) {
    if (app_.ClickShowContentAction(node)) {
        emit scanStarted();
    }
}

void TimelinePage::ClickBackToiDeviceAction() {
    AlertRequest alert;
    alert.title = kBackToDeviceUnavailable;
    alert.asSheet = true;
    ui_.showAlert(alert);
}

}  // namespace vessamo::gui
