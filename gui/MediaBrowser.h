#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// The media files of the source as a grid of thumbnails, with the details
// of the chosen item beside it.
class MediaBrowser : public QWidget {
    Q_OBJECT

public:
    explicit MediaBrowser(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // The pages' media list was refilled (the media page was shown).
    void reload();

signals:
    void previewRequested(const QString& filePath, const QString& displayName);
    // The marks changed (check mark overlays, select-all).
    void marksChanged();

private:
    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
