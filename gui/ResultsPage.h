#pragma once

#include <QWidget>
#include <memory>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

class QLabel;
class QSplitter;
class QStackedWidget;
class QTableView;

namespace vessamo::gui {

class ChatView;
class ResultListModel;

// One category of the current source's results: a title with the count and
// a table bound to the result pages' rows. The table draws only the rows in
// sight, so a very large result opens as fast as a small one.
class ResultsPage : public QWidget {
    Q_OBJECT

public:
    explicit ResultsPage(OrlendoAppDelegate& app, QWidget* parent = nullptr);

    // Shows the category; the pages' list is refilled only when the category
    // or the result changed since it was last shown.
    void showCategory(ResultCategory category);
    // The pages' showing list was replaced (a search): the table follows.
    void rowsChanged();

    [[nodiscard]] ResultCategory category() const { return category_; }
    [[nodiscard]] QLabel* titleLabel() const { return title_; }
    [[nodiscard]] QLabel* countLabel() const { return count_; }
    [[nodiscard]] QTableView* table() const { return table_; }
    // The opened conversation beside the chat list; hidden on other pages.
    [[nodiscard]] ChatView* chatView() const { return chatView_; }
    // The model behind the table for a category (None: nullptr).
    [[nodiscard]] ResultListModel* modelOf(ResultCategory category) const;

private:
    void bindTable(ResultCategory category);
    void updateHeader();
    void selectShownRow();

    OrlendoAppDelegate& app_;
    ResultCategory category_ = ResultCategory::None;
    std::weak_ptr<const ResultLists> shownLists_;  // compared only: the pages own the lists
    QLabel* title_;
    QLabel* count_;
    QLabel* note_;
    QStackedWidget* body_;
    QSplitter* split_;
    QTableView* table_;
    ChatView* chatView_;
    QLabel* empty_;
    ResultListModel* models_[5] = {};  // children of the page, by category number - 1
};

}  // namespace vessamo::gui
