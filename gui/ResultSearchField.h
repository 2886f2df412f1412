#pragma once

#include <QLineEdit>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// The search field of the result view: filters the showing list as the
// person types and gives the whole list back when cleared. The search runs
// on workers of the result view; its rows arrive after the keystroke, and
// rowsReplaced() says when. The calls page has no search: the field is off
// there.
class ResultSearchField : public QLineEdit {
    Q_OBJECT

public:
    explicit ResultSearchField(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    ~ResultSearchField() override;
    ResultSearchField(const ResultSearchField&) = delete;
    ResultSearchField& operator=(const ResultSearchField&) = delete;

    // The page switched to another list: empty the field without searching.
    void reset();
    // The list the field searches now (None when no list shows).
    [[nodiscard]] ResultCategory searchedList() const;

signals:
    // The showing list was replaced by a search's result or given back whole.
    void rowsReplaced();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void textDidChange(const QString& text);
    // Enables the field and words its hint for the list that shows.
    void followShowingList();

    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
