#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// Below the showing list: its select-all box, how many records are marked
// and the button that saves the marked records.
class SelectionBar : public QWidget {
    Q_OBJECT

public:
    explicit SelectionBar(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // The page switched to another list.
    void setCategory(ResultCategory category);
    // Marks changed somewhere: re-read the count and the boxes.
    void refresh();

signals:
    // The select-all box changed the marks of the whole list.
    void marksChanged();

private:
    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
