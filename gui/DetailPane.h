#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// What the selected row of the media, contacts, WhatsApp contacts or calls
// list holds: picture or player, and the labelled fields.
class DetailPane : public QWidget {
    Q_OBJECT

public:
    explicit DetailPane(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // Shows the pages' details of the selected row of that list.
    void showDetails(ResultCategory category);

signals:
    void previewRequested(const QString& filePath, const QString& displayName);

private:
    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
