#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// The export buttons of the showing list, and the progress of the exports
// that run.
class ExportBar : public QWidget {
    Q_OBJECT

public:
    explicit ExportBar(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // The page switched to another list: its buttons show.
    void setCategory(ResultCategory category);

private:
    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
