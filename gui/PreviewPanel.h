#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// A larger look at one file of the results, with a command that saves a
// copy of it.
class PreviewPanel : public QWidget {
    Q_OBJECT

public:
    explicit PreviewPanel(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // Opens the panel on a file of the source.
    void preview(const QString& filePath, const QString& displayName);

private:
    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
