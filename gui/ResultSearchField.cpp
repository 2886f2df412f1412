#include "ResultSearchField.h"

#include <QAction>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include "Theme.h"

namespace vessamo::gui {

namespace {

QString hintOf(ResultCategory list) {
    switch (list) {
        case ResultCategory::Chats:
            return ResultSearchField::tr("Search chats by name or subject");
        case ResultCategory::Attachments:
            return ResultSearchField::tr("Search files by name or content");
        case ResultCategory::Contacts:
        case ResultCategory::Favorites:
            return ResultSearchField::tr("Search by name or number");
        case ResultCategory::Calls:
            return ResultSearchField::tr("Calls cannot be searched");
        case ResultCategory::None:
            break;
    }
    return ResultSearchField::tr("Search");
}

}  // namespace

ResultSearchField::ResultSearchField(OrlendoAppDelegate& app, QWidget* parent)
    : QLineEdit(parent), app_(app) {
    addAction(Theme::themedIcon("edit-find", ":/icons/timeline/edit-find.svg"),
              QLineEdit::LeadingPosition);
    setClearButtonEnabled(true);
    setAccessibleName(tr("Search"));
    // Room for the longest hint, so it is never cut.
    setMinimumWidth(fontMetrics().horizontalAdvance(hintOf(ResultCategory::Attachments)) +
                    6 * Theme::relatedSpacing);
    setPlaceholderText(hintOf(ResultCategory::None));
    connect(this, &QLineEdit::textChanged, this, &ResultSearchField::textDidChange);
    // The results of a search arrive on this thread, after the keystroke;
    // a search still running when the field goes finds no field.
    app_.resultView().search().setRowsReplacedObserver([field = QPointer(this)] {
        if (field) {
            emit field->rowsReplaced();
        }
    });
}

ResultSearchField::~ResultSearchField() {
    app_.resultView().search().setRowsReplacedObserver({});
}

ResultCategory ResultSearchField::searchedList() const {
    return app_.resultView().pages().currentTableView();
}

void ResultSearchField::reset() {
    {
        const QSignalBlocker quiet(this);
        clear();
    }
    // The page fills its new list after this call: follow it once it has.
    QTimer::singleShot(0, this, &ResultSearchField::followShowingList);
}

void ResultSearchField::showEvent(QShowEvent* event) {
    QLineEdit::showEvent(event);
    followShowingList();
}

void ResultSearchField::textDidChange(const QString& text) {
    // The result view tells rowsReplaced() itself: the emptied list at once,
    // the rows found when they arrive, the whole list when cleared.
    app_.resultView().search().controlTextDidChange(text.toStdString());
}

void ResultSearchField::followShowingList() {
    const ResultCategory list = searchedList();
    const bool searchable = list != ResultCategory::Calls && list != ResultCategory::None;
    setEnabled(searchable);
    setPlaceholderText(hintOf(list));
}

}  // namespace vessamo::gui
