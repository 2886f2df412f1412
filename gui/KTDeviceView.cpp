#include "KTDeviceView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "ControlEvents.h"
#include "KTExpandButton.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

constexpr int kPictureSize = 32;

QIcon devicePicture(const KTIOSDeviceNode& record) {
    const std::string type = record.strDeviceType.value_or("");
    if (type.find("Ipod") != std::string::npos) {
        return themedIcon("multimedia-player", ":/icons/sources/ipod.svg");
    }
    if (record.deviceImage == "ipad") {
        return QIcon(":/icons/sources/ipad.svg");
    }
    return themedIcon("phone", ":/icons/sources/iphone.svg");
}

}  // namespace

QIcon KTDeviceView::pictureOf(const KTIOSDeviceNode& record) {
    return devicePicture(record);
}

QIcon KTDeviceView::pictureFor(SourceEntryType type, const KTIOSDeviceNode* record) {
    switch (type) {
        case SourceEntryType::Device:
        case SourceEntryType::ITunes:
            if (record != nullptr) {
                return devicePicture(*record);
            }
            [[fallthrough]];
        case SourceEntryType::NoDevice:
            return themedIcon("phone", ":/icons/sources/iphone.svg");
        case SourceEntryType::NoITunes:
            return themedIcon("computer", ":/icons/sources/backup-folder.svg");
        case SourceEntryType::ICloud:
        case SourceEntryType::NoICloud:
            return themedIcon("folder-remote", ":/icons/sources/icloud-drive.svg");
        case SourceEntryType::Timeline:
        case SourceEntryType::NoTimeline:
            return themedIcon("document-open-recent", ":/icons/sources/timeline.svg");
    }
    return {};
}

KTDeviceView::KTDeviceView(const SourceListRow& entry, bool current,
                           NotificationCenter& notifications, QWidget* parent)
    : QWidget(parent), id_(entry.id), current_(current), notifications_(notifications) {
    ControlEvents::install(*this, notifications, "KTDeviceView", id_);
    setAttribute(Qt::WA_Hover);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 4, 8, 4);
    row->setSpacing(12);

    auto* picture = new QLabel(this);
    picture->setPixmap(pictureFor(entry.type, entry.record.get())
                           .pixmap(QSize(kPictureSize, kPictureSize), devicePixelRatioF()));
    picture->setFixedSize(kPictureSize, kPictureSize);
    row->addWidget(picture);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addStretch();
    title_ = new QLabel(QString::fromStdString(entry.title), this);
    title_->setTextFormat(Qt::PlainText);
    texts->addWidget(title_);
    detail_ = new QLabel(QString::fromStdString(entry.detail), this);
    detail_->setTextFormat(Qt::PlainText);
    Theme::makeMuted(detail_);
    detail_->setVisible(!entry.detail.empty());
    texts->addWidget(detail_);
    texts->addStretch();
    row->addLayout(texts, 1);

    expand_ = new KTExpandButton(entry.id, entry.expanded, notifications, this);
    row->addWidget(expand_);
    setToolTip(detail_->isVisible() ? title_->text() + "\n" + detail_->text() : title_->text());
}

QString KTDeviceView::title() const {
    return title_->text();
}

QString KTDeviceView::detail() const {
    return detail_->text();
}

// Selected when it is the source on show, a light wash on hover.
void KTDeviceView::paintEvent(QPaintEvent* /*event*/) {
    if (!current_ && !underMouse()) {
        return;
    }
    QPainter painter(this);
    QColor wash = palette().color(QPalette::Highlight);
    wash.setAlphaF(current_ ? 0.22F : 0.08F);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(wash);
    painter.drawRoundedRect(QRectF(rect()).adjusted(4, 2, -4, -2), 6, 6);
}

void KTDeviceView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        expand_->click();
        return;
    }
    QWidget::mousePressEvent(event);
}

}  // namespace vessamo::gui
