#pragma once

#include <QWidget>
#include <memory>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

class QCheckBox;
class QLabel;
class QSplitter;
class QToolButton;
class QStackedWidget;
class QTableView;

namespace vessamo::gui {

class CharacterWindow;
class ChatView;
class DetailPane;
class ExportBar;
class MediaBrowser;
class PreviewPanel;
class ResultListModel;
class ResultSearchField;
class SelectionBar;

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
    [[nodiscard]] ResultSearchField* searchField() const { return search_; }
    [[nodiscard]] QCheckBox* onlyDeletedBox() const { return onlyDeleted_; }
    [[nodiscard]] QToolButton* charactersButton() const { return characters_; }
    [[nodiscard]] ExportBar* exportBar() const { return exports_; }
    [[nodiscard]] SelectionBar* selectionBar() const { return selection_; }
    [[nodiscard]] DetailPane* detailPane() const { return details_; }
    [[nodiscard]] MediaBrowser* mediaBrowser() const { return media_; }
    [[nodiscard]] PreviewPanel* previewPanel() const { return preview_; }
    [[nodiscard]] CharacterWindow* characterWindow() const { return characterWindow_; }

private:
    void buildLayout();
    void connectParts();
    void bindTable(ResultCategory category);
    void refill(ResultCategory category);
    void updateHeader();
    void selectShownRow();
    void rowChosen(const QModelIndex& current);

    OrlendoAppDelegate& app_;
    ResultCategory category_ = ResultCategory::None;
    std::weak_ptr<const ResultLists> shownLists_;  // compared only: the pages own the lists
    QLabel* title_;
    QLabel* count_;
    QLabel* note_;
    ResultSearchField* search_;
    QCheckBox* onlyDeleted_;
    QToolButton* characters_;
    ExportBar* exports_;
    QStackedWidget* body_;
    QSplitter* split_;
    QTableView* table_;
    QStackedWidget* side_;  // the chat view or the details, beside the list
    ChatView* chatView_;
    DetailPane* details_;
    MediaBrowser* media_;
    QLabel* empty_;
    SelectionBar* selection_;
    PreviewPanel* preview_;
    CharacterWindow* characterWindow_;
    ResultListModel* models_[5] = {};  // children of the page, by category number - 1
};

}  // namespace vessamo::gui
