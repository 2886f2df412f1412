#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultPages.h"
#include "results/ResultViewState.h"

class QListView;
class QSplitter;

namespace vessamo::gui {

class DetailPane;
class MediaBrowserModel;
class ThumbnailCache;

// The media files of the source as a grid of thumbnails, with the details
// of the chosen item beside it.
class MediaBrowser : public QWidget {
    Q_OBJECT

public:
    explicit MediaBrowser(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // The pages' media list was refilled (the media page was shown).
    void reload();

    [[nodiscard]] QListView* grid() const { return grid_; }
    [[nodiscard]] MediaBrowserModel* model() const { return model_; }
    [[nodiscard]] DetailPane* details() const { return details_; }

signals:
    void previewRequested(const QString& filePath, const QString& displayName);
    // The marks changed (check mark overlays, select-all).
    void marksChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void selectionChanged();
    void currentChanged(const QModelIndex& current);
    void activated(const QModelIndex& index);

    OrlendoAppDelegate& app_;
    ThumbnailCache* thumbnails_;
    MediaBrowserModel* model_;
    QSplitter* split_;
    QListView* grid_;
    DetailPane* details_;
    bool sized_ = false;
    // The rows the grid shows: a reload with the same rows only repaints.
    std::weak_ptr<const ResultLists> shownLists_;
    std::vector<const KTWhatsAppResourceNode*> shownRows_;
};

}  // namespace vessamo::gui
