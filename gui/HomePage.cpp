#include "HomePage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "BackupTablePage.h"
#include "ControlEvents.h"
#include "Theme.h"
#include "app/OrlendoAppDelegate.h"
#include "common/NotificationCenter.h"

namespace vessamo::gui {

namespace {

// One large choice: its icon, a title and a line saying what it does. The
// labels let the clicks through, so the whole card is one button with the
// style's hover, focus and pressed looks.
class ChoiceButton : public QPushButton {
public:
    ChoiceButton(NotificationCenter& notifications, HomeButton which, const QIcon& icon,
                 const QString& title, const QString& line, QWidget* parent)
        : QPushButton(parent), notifications_(notifications), which_(which) {
        ControlEvents::install(*this, notifications, "KTbutton", which_);
        setAccessibleName(title);
        setAccessibleDescription(line);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);

        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                                   Theme::windowMargin);
        layout->setSpacing(Theme::windowMargin);
        auto* picture = new QLabel(this);
        const int side = fontMetrics().height() * 3;
        picture->setPixmap(icon.pixmap(side, side));
        layout->addWidget(picture, 0, Qt::AlignVCenter);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(Theme::relatedSpacing / 2);
        auto* titleLabel = new QLabel(title, this);
        titleLabel->setFont(Theme::titleFont(font()));
        auto* lineLabel = new QLabel(line, this);
        lineLabel->setWordWrap(true);
        Theme::makeMuted(lineLabel);
        texts->addWidget(titleLabel);
        texts->addWidget(lineLabel);
        layout->addLayout(texts, 1);
        for (QLabel* label : {picture, titleLabel, lineLabel}) {
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        connect(this, &QPushButton::clicked, this,
                [this] { notifications_.post("KTbuttonMouseDown", which_); });
    }

    // The layout's own size, so long titles and large fonts never clip.
    QSize sizeHint() const override { return layout()->sizeHint(); }
    QSize minimumSizeHint() const override { return layout()->minimumSize(); }

private:
    NotificationCenter& notifications_;
    HomeButton which_;
};

}  // namespace

HomePage::HomePage(OrlendoAppDelegate& app, NotificationCenter& notifications, QWidget* parent)
    : QWidget(parent), app_(app), notifications_(notifications), panes_(new QStackedWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panes_);
    choices_ = buildChoices();
    backupPane_ = buildBackupPane();
    panes_->addWidget(choices_);
    panes_->addWidget(backupPane_);
}

QWidget* HomePage::buildChoices() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(Theme::groupSpacing * 2, Theme::groupSpacing,
                               Theme::groupSpacing * 2, Theme::groupSpacing);
    layout->setSpacing(Theme::windowMargin);
    layout->addStretch(1);
    auto* heading = new QLabel(tr("Where is the WhatsApp data you want to read?"), page);
    heading->setFont(Theme::titleFont(font()));
    heading->setWordWrap(true);
    layout->addWidget(heading);
    layout->addSpacing(Theme::relatedSpacing);

    struct Choice {
        HomeButton which;
        const char* themeName;
        const char* fallback;
        QString title;
        QString line;
    };
    const Choice choices[] = {
        {HomeButton::BackupList, "drive-harddisk", ":/icons/vessamo-backups.svg",
         tr("Backups on this computer"),
         tr("Read an iPhone backup that iTunes or Finder made on this computer.")},
        {HomeButton::Device, "phone", ":/icons/vessamo-phone.svg", tr("A connected iPhone"),
         tr("Back up an iPhone connected by USB and read WhatsApp from it.")},
        {HomeButton::WebWindow, "web-browser", ":/icons/vessamo-web.svg", tr("WhatsApp Web"),
         tr("Open WhatsApp's own web client in a window of its own.")},
    };
    for (const Choice& choice : choices) {
        auto* button = new ChoiceButton(notifications_, choice.which,
                                        themedIcon(choice.themeName, choice.fallback), choice.title,
                                        choice.line, page);
        button->setObjectName(QStringLiteral("homeChoice%1").arg(static_cast<int>(choice.which)));
        layout->addWidget(button);
    }
    layout->addStretch(2);
    return page;
}

QWidget* HomePage::buildBackupPane() {
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    // The table keeps its own window margins; the way back lines up with them.
    layout->setContentsMargins(0, Theme::relatedSpacing, 0, 0);
    layout->setSpacing(0);
    auto* back = new QPushButton(themedIcon("go-previous", ":/icons/vessamo-back.svg"),
                                 tr("All choices"), pane);
    back->setFlat(true);
    back->setObjectName("homeBackToChoices");
    connect(back, &QPushButton::clicked, this, &HomePage::showChoices);
    auto* backRow = new QHBoxLayout;
    backRow->setContentsMargins(Theme::windowMargin - Theme::relatedSpacing, 0, 0, 0);
    backRow->addWidget(back);
    backRow->addStretch(1);
    layout->addLayout(backRow);

    backupTable_ = new BackupTablePage(app_, pane);
    connect(backupTable_, &BackupTablePage::sourcesChanged, this, &HomePage::sourcesChanged);
    layout->addWidget(backupTable_, 1);
    return pane;
}

void HomePage::showBackupPane() {
    backupTable_->reload();
    panes_->setCurrentWidget(backupPane_);
}

void HomePage::showChoices() {
    panes_->setCurrentWidget(choices_);
}

bool HomePage::showsBackupPane() const {
    return panes_->currentWidget() == backupPane_;
}

}  // namespace vessamo::gui
