#include "SelectionBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <iterator>

#include "RecoveryProgressWindow.h"
#include "RowMarks.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

struct SelectAllPlan {
    ResultCategory category;
    const char* objectName;
    const char* text;
};

// The lists that have a select-all box, in the order of boxes_.
constexpr SelectAllPlan kSelectAll[] = {
    {ResultCategory::Chats, "selectAllChats",
     QT_TRANSLATE_NOOP("SelectionBar", "Select all chats")},
    {ResultCategory::Attachments, "selectAllMedia",
     QT_TRANSLATE_NOOP("SelectionBar", "Select all files")},
    {ResultCategory::Contacts, "selectAllContacts",
     QT_TRANSLATE_NOOP("SelectionBar", "Select all contacts")},
    {ResultCategory::Favorites, "selectAllWhatsAppContacts",
     QT_TRANSLATE_NOOP("SelectionBar", "Select all WhatsApp contacts")},
};

}  // namespace

SelectionBar::SelectionBar(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      label_(new QLabel(this)),
      save_(new QPushButton(tr("Save…"), this)),
      recovery_(new RecoveryProgressWindow(app, this)) {
    setObjectName("selectionBar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(Theme::relatedSpacing);
    for (size_t at = 0; at < std::size(kSelectAll); ++at) {
        const SelectAllPlan& plan = kSelectAll[at];
        auto* box = new QCheckBox(tr(plan.text), this);
        box->setObjectName(plan.objectName);
        box->hide();
        connect(box, &QCheckBox::clicked, this,
                [this, category = plan.category](bool on) { selectAll(category, on); });
        row->addWidget(box);
        boxes_[at] = box;
    }
    label_->setObjectName("selectionLabel");
    label_->hide();
    row->addSpacing(Theme::groupSpacing);
    row->addWidget(label_);
    row->addStretch(1);
    save_->setObjectName("recoveryBtn");
    save_->setToolTip(tr("Save the marked records into a folder you choose"));
    save_->setEnabled(false);
    Theme::makePrimary(save_);
    row->addWidget(save_);
    connect(save_, &QPushButton::clicked, this, &SelectionBar::recover);
}

QCheckBox* SelectionBar::selectAllBox(ResultCategory category) const {
    for (size_t at = 0; at < std::size(kSelectAll); ++at) {
        if (kSelectAll[at].category == category) {
            return boxes_[at];
        }
    }
    return nullptr;
}

void SelectionBar::setCategory(ResultCategory category) {
    category_ = category;
    for (QCheckBox* box : boxes_) {
        box->setVisible(box == selectAllBox(category));
    }
    refresh();
}

void SelectionBar::refresh() {
    ResultPages& pages = app_.resultView().pages();
    const bool any = pages.selectionLabelVisible();
    label_->setText(QString::fromStdString(pages.selectionLabelText()));
    label_->setVisible(any);
    save_->setEnabled(pages.saveEnabled());
    if (QCheckBox* box = selectAllBox(category_)) {
        const QSignalBlocker quiet(box);
        // A search may show part of the list: the box follows what shows.
        box->setChecked(pages.currentTableView() == category_ && RowMarks(pages).allMarked());
        box->setEnabled(RowMarks(pages).rows() > 0);
    }
}

void SelectionBar::selectAll(ResultCategory category, bool on) {
    ResultPages& pages = app_.resultView().pages();
    if (pages.currentTableView() == category) {
        RowMarks(pages).setAll(on);
    }
    refresh();
    emit marksChanged();
}

void SelectionBar::recover() {
    ResultExportCommands& commands = app_.exportCommands();
    if (commands.KTExportButtonMouseDownHandle(ExportButton::recoveryBtn)) {
        recovery_->watch(commands.lastStartedExport());
    }
}

}  // namespace vessamo::gui
