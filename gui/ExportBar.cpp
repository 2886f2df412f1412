#include "ExportBar.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "ExportProgressView.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

struct ButtonPlan {
    ExportButton which;
    ResultCategory category;
    const char* objectName;
    const char* text;
    const char* toolTip;
    const char* themeIcon;
    const char* fallback;  // in :/icons/exports/
};

// Every export button, grouped by the list that offers it.
const ButtonPlan kButtons[] = {
    {ExportButton::exportChatHtmlBtn, ResultCategory::Chats, "exportChatHtmlBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Web Pages"),
     QT_TRANSLATE_NOOP("ExportBar", "Save the selected and marked chats as web pages"), "text-html",
     "html.svg"},
    {ExportButton::exportChatReportBtn, ResultCategory::Chats, "exportChatReportBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Report"),
     QT_TRANSLATE_NOOP("ExportBar",
                       "Save the selected and marked chats as a report to read, search and "
                       "print: an index, one page per chat, oldest message first"),
     "x-office-document", "html.svg"},
    {ExportButton::exportChatTxtBtn, ResultCategory::Chats, "exportChatTxtBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Text"),
     QT_TRANSLATE_NOOP("ExportBar", "Save the selected and marked chats as text files"),
     "text-x-generic", "text.svg"},
    {ExportButton::exportCHatContactBtn, ResultCategory::Chats, "exportCHatContactBtn",
     QT_TRANSLATE_NOOP("ExportBar", "People"),
     QT_TRANSLATE_NOOP("ExportBar",
                       "Save the people of the selected and marked chats as contact cards"),
     "x-office-address-book", "vcard.svg"},
    {ExportButton::exportCHatAttachBtn, ResultCategory::Chats, "exportCHatAttachBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Attachments"),
     QT_TRANSLATE_NOOP("ExportBar",
                       "Save the pictures, videos and files of the selected and "
                       "marked chats"),
     "mail-attachment", "attachment.svg"},
    {ExportButton::exportAllFilesBtn, ResultCategory::Attachments, "exportAllFilesBtn",
     QT_TRANSLATE_NOOP("ExportBar", "All Files"),
     QT_TRANSLATE_NOOP("ExportBar", "Save every media file"), "folder-download", "files.svg"},
    {ExportButton::exportAllVideosBtn, ResultCategory::Attachments, "exportAllVideosBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Videos"), QT_TRANSLATE_NOOP("ExportBar", "Save every video"),
     "video-x-generic", "video.svg"},
    {ExportButton::exportAllAudioBtn, ResultCategory::Attachments, "exportAllAudioBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Audio"),
     QT_TRANSLATE_NOOP("ExportBar", "Save every sound file and voice note"), "audio-x-generic",
     "audio.svg"},
    {ExportButton::exportAllPhotosBtn, ResultCategory::Attachments, "exportAllPhotosBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Photos"), QT_TRANSLATE_NOOP("ExportBar", "Save every photo"),
     "image-x-generic", "photo.svg"},
    {ExportButton::exportMediaBtn, ResultCategory::Attachments, "exportMediaBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Selected"),
     QT_TRANSLATE_NOOP("ExportBar", "Save the files selected in the browser"), "edit-select-all",
     "selected.svg"},
    {ExportButton::exportCallBtn, ResultCategory::Calls, "exportCallBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Export Calls"),
     QT_TRANSLATE_NOOP("ExportBar", "Save the call history as a text file"), "call-start",
     "text.svg"},
    {ExportButton::exportContactBtn, ResultCategory::Contacts, "exportContactBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Export Contacts"),
     QT_TRANSLATE_NOOP("ExportBar", "Save every contact as a contact card"),
     "x-office-address-book", "vcard.svg"},
    {ExportButton::exportFavContactBtn, ResultCategory::Favorites, "exportFavContactBtn",
     QT_TRANSLATE_NOOP("ExportBar", "Export WhatsApp Contacts"),
     QT_TRANSLATE_NOOP("ExportBar", "Save every WhatsApp contact as a contact card"),
     "x-office-address-book", "vcard.svg"},
};

}  // namespace

ExportBar::ExportBar(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent), app_(app), progress_(new ExportProgressView(app, this)) {
    setObjectName("exportBar");
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(Theme::relatedSpacing);
    for (const ButtonPlan& plan : kButtons) {
        auto* button = new QToolButton(this);
        button->setObjectName(plan.objectName);
        button->setText(tr(plan.text));
        button->setToolTip(tr(plan.toolTip));
        button->setIcon(
            Theme::themedIcon(plan.themeIcon, QStringLiteral(":/icons/exports/") + plan.fallback));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        button->hide();
        connect(button, &QToolButton::clicked, this, [this, which = plan.which] { start(which); });
        buttons->addWidget(button);
        entries_.push_back({plan.which, plan.category, button});
    }
    buttons->addStretch(1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(Theme::relatedSpacing);
    column->addLayout(buttons);
    column->addWidget(progress_);
}

void ExportBar::setCategory(ResultCategory category) {
    category_ = category;
    for (const Entry& entry : entries_) {
        entry.button->setVisible(entry.category == category);
    }
}

QToolButton* ExportBar::button(ExportButton which) const {
    for (const Entry& entry : entries_) {
        if (entry.which == which) {
            return entry.button;
        }
    }
    return nullptr;
}

std::vector<ExportButton> ExportBar::shownButtons() const {
    std::vector<ExportButton> shown;
    for (const Entry& entry : entries_) {
        if (entry.category == category_) {
            shown.push_back(entry.which);
        }
    }
    return shown;
}

void ExportBar::start(ExportButton which) {
    if (app_.exportCommands().KTExportButtonMouseDownHandle(which)) {
        progress_->follow();
    }
}

}  // namespace vessamo::gui
