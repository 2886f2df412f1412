#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

class QLabel;
class QPushButton;

namespace vessamo::gui {

// What the result side shows when there is nothing to show yet: one
// sentence about what to do next and the button that does it.
class EmptyStatePage : public QWidget {
    Q_OBJECT

public:
    explicit EmptyStatePage(OrlendoAppDelegate& app, QWidget* parent = nullptr);

    // The empty pages are Start and the four "no backup" pages; any other
    // page shows the start text, so the side is never blank.
    void showPage(ResultPage page);
    [[nodiscard]] ResultPage page() const { return page_; }

    [[nodiscard]] QLabel* titleLabel() const { return title_; }
    [[nodiscard]] QLabel* bodyLabel() const { return body_; }
    [[nodiscard]] QPushButton* actionButton() const { return action_; }

private:
    OrlendoAppDelegate& app_;
    ResultPage page_ = ResultPage::Start;
    QLabel* icon_;
    QLabel* title_;
    QLabel* body_;
    QPushButton* action_;
};

}  // namespace vessamo::gui
