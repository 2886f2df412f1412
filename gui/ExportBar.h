#pragma once

#include <QWidget>
#include <vector>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

class QToolButton;

namespace vessamo::gui {

class ExportProgressView;

// The export buttons of the showing list, and the progress of the exports
// that run. A button asks where to write (the save sheet) and starts its
// export on a worker; the progress list below follows it to its end.
class ExportBar : public QWidget {
    Q_OBJECT

public:
    explicit ExportBar(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // The page switched to another list: its buttons show.
    void setCategory(ResultCategory category);

    // The button of an export (objectName: the export's name, e.g.
    // "exportChatHtmlBtn"); null for the recovery and the character view.
    [[nodiscard]] QToolButton* button(ExportButton which) const;
    // The buttons the showing list offers, in their order.
    [[nodiscard]] std::vector<ExportButton> shownButtons() const;
    [[nodiscard]] ExportProgressView* progressView() const { return progress_; }

private:
    void start(ExportButton which);

    struct Entry {
        ExportButton which;
        ResultCategory category;
        QToolButton* button;
    };

    OrlendoAppDelegate& app_;
    ResultCategory category_ = ResultCategory::None;
    std::vector<Entry> entries_;
    ExportProgressView* progress_;
};

}  // namespace vessamo::gui
