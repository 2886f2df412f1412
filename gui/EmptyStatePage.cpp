#include "EmptyStatePage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Theme.h"

namespace vessamo::gui {

namespace {

struct EmptyText {
    QString themeIcon;
    QString fallbackIcon;
    QString title;
    QString body;
};

EmptyText textOf(ResultPage page) {
    switch (page) {
        case ResultPage::NoBackup:
            return {"drive-harddisk", ":/icons/scan-backup.svg",
                    EmptyStatePage::tr("Nothing to read yet"),
                    EmptyStatePage::tr(
                        "No device is connected and no backup was found on this computer. "
                        "If you keep an iPhone backup somewhere else, on another disk or in a "
                        "copied folder, choose that folder and Vessamo reads it.")};
        case ResultPage::NoITunesBackup:
            return {"phone", ":/icons/scan-phone.svg",
                    EmptyStatePage::tr("No iPhone backup on this computer"),
                    EmptyStatePage::tr(
                        "Make a backup of the iPhone first. On a Mac, connect it and choose "
                        "\"Back up all of the data on your iPhone to this Mac\" in Finder (or "
                        "\"Back Up Now\" in iTunes), with \"Encrypt local backup\" turned off. "
                        "On Linux, run <code>idevicebackup2 backup --full ~/iPhoneBackup</code> "
                        "with the phone connected and unlocked. Then choose the backup "
                        "folder.")};
        case ResultPage::NoICloudBackup:
            return {"folder-cloud", ":/icons/scan-cloud.svg",
                    EmptyStatePage::tr("No WhatsApp backup from iCloud Drive"),
                    EmptyStatePage::tr(
                        "When WhatsApp backs up to iCloud, a Mac signed in to the same Apple ID "
                        "keeps the backup in its iCloud Drive, in the WhatsApp folder under "
                        "~/Library/Mobile Documents. Turn on iCloud Drive in System Settings "
                        "and let that folder download; Vessamo then lists it here. You can "
                        "also choose a backup folder yourself.")};
        case ResultPage::NoTimelineBackup:
            return {"document-open-recent", ":/icons/scan-timeline.svg",
                    EmptyStatePage::tr("No Timeline backup yet"),
                    EmptyStatePage::tr(
                        "A Timeline backup is Vessamo's own copy of a phone's WhatsApp data at "
                        "one moment, so you can come back to that day later even when the phone "
                        "has changed. Making one needs a connected iPhone, which a later version "
                        "of Vessamo brings. Until then, read an existing backup folder.")};
        default:
            return {"go-previous", ":/icons/scan-start.svg",
                    EmptyStatePage::tr("Choose a source on the left"),
                    EmptyStatePage::tr(
                        "Pick a backup in the list on the left and then one of its categories, "
                        "such as Chats: Vessamo reads it and shows what it found. A backup kept "
                        "somewhere else can be opened as a folder.")};
    }
}

}  // namespace

EmptyStatePage::EmptyStatePage(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      icon_(new QLabel(this)),
      title_(new QLabel(this)),
      body_(new QLabel(this)),
      action_(new QPushButton(tr("Choose a backup folder…"), this)) {
    icon_->setAlignment(Qt::AlignCenter);
    title_->setObjectName("emptyTitle");
    title_->setAlignment(Qt::AlignCenter);
    title_->setWordWrap(true);
    title_->setFont(Theme::titleFont(font(), 1));
    body_->setObjectName("emptyBody");
    body_->setAlignment(Qt::AlignCenter);
    body_->setWordWrap(true);
    body_->setTextFormat(Qt::RichText);
    body_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Theme::makeMuted(body_);
    action_->setObjectName("emptyAction");
    Theme::makePrimary(action_);
    connect(action_, &QPushButton::clicked, this, [this] { app_.SelectBackUpAction(); });

    // A column of reading width in the middle: the wrapped labels get their
    // height for that width, so no line is cut off.
    auto* content = new QWidget(this);
    content->setMaximumWidth(fontMetrics().averageCharWidth() * 64);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(Theme::relatedSpacing);
    column->addWidget(icon_);
    column->addSpacing(Theme::relatedSpacing);
    column->addWidget(title_);
    column->addWidget(body_);
    column->addSpacing(Theme::groupSpacing);
    column->addWidget(action_, 0, Qt::AlignHCenter);

    auto* centre = new QGridLayout(this);
    centre->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    centre->addWidget(content, 1, 1);
    centre->setRowStretch(0, 2);
    centre->setRowStretch(2, 3);
    centre->setColumnStretch(0, 1);
    centre->setColumnStretch(2, 1);
    showPage(ResultPage::Start);
}

void EmptyStatePage::showPage(ResultPage page) {
    page_ = page;
    const EmptyText text = textOf(page);
    const int side = fontMetrics().height() * 4;
    icon_->setPixmap(Theme::themedIcon(text.themeIcon, text.fallbackIcon)
                         .pixmap(QSize(side, side), devicePixelRatioF()));
    title_->setText(text.title);
    body_->setText(text.body);
}

}  // namespace vessamo::gui
