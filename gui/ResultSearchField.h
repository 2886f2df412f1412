#pragma once

#include <QLineEdit>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// The search field of the result view: filters the showing list as the
// person types and gives the whole list back when cleared.
class ResultSearchField : public QLineEdit {
    Q_OBJECT

public:
    explicit ResultSearchField(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // The page switched to another list: empty the field without searching.
    void reset();

signals:
    // The showing list was replaced by a search's result or given back whole.
    void rowsReplaced();

private:
    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
