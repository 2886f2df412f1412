#include "MediaBrowser.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QSplitter>
#include <set>

#include "DetailPane.h"
#include "MediaBrowserModel.h"
#include "MediaTileDelegate.h"
#include "Theme.h"
#include "ThumbnailCache.h"

namespace vessamo::gui {

namespace {

// Tiles are decoded at twice their size: sharp at 200 % as well.
constexpr int kThumbnailSide = 2 * 112;
constexpr int kThumbnailsKept = 600;  // a few screens of tiles

}  // namespace

MediaBrowser::MediaBrowser(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      thumbnails_(new ThumbnailCache(QSize(kThumbnailSide, kThumbnailSide), kThumbnailsKept, this)),
      model_(new MediaBrowserModel(app.resultView().pages(), *thumbnails_, this)),
      split_(new QSplitter(Qt::Horizontal, this)),
      grid_(new QListView(split_)),
      details_(new DetailPane(app, split_)) {
    setObjectName("mediaBrowser");
    grid_->setObjectName("mediaGrid");
    grid_->setViewMode(QListView::IconMode);
    grid_->setMovement(QListView::Static);
    grid_->setResizeMode(QListView::Adjust);
    grid_->setWrapping(true);
    grid_->setUniformItemSizes(true);  // no tile is measured, none is read to lay out
    grid_->setLayoutMode(QListView::Batched);
    grid_->setBatchSize(2000);
    grid_->setSpacing(Theme::relatedSpacing / 2);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid_->setMouseTracking(true);  // hover states of the tiles
    grid_->setItemDelegate(new MediaTileDelegate(grid_));
    grid_->setAccessibleName(tr("Media files"));
    grid_->setModel(model_);
    details_->setObjectName("mediaDetails");

    split_->addWidget(grid_);
    split_->addWidget(details_);
    split_->setChildrenCollapsible(false);
    split_->setStretchFactor(0, 3);
    split_->setStretchFactor(1, 1);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(split_);

    connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MediaBrowser::selectionChanged);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MediaBrowser::currentChanged);
    connect(grid_, &QListView::activated, this, &MediaBrowser::activated);
    connect(model_, &MediaBrowserModel::markChanged, this, &MediaBrowser::marksChanged);
    connect(details_, &DetailPane::previewRequested, this, &MediaBrowser::previewRequested);
}

// The grid takes most of the width the first time; the person may change it.
void MediaBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!sized_) {
        sized_ = true;
        const int width = this->width();
        split_->setSizes({width - width / 3, width / 3});
    }
}

void MediaBrowser::reload() {
    ResultPages& pages = app_.resultView().pages();
    if (shownLists_.lock() == pages.lists() && shownRows_ == pages.resourceRows()) {
        // Only marks changed, or the page came back: the selection stays,
        // and the pages learn again which tile's details show.
        grid_->viewport()->update();
        const QModelIndex current = grid_->currentIndex();
        if (current.isValid() && pages.currentTableView() == ResultCategory::Attachments) {
            pages.tableViewSelectionDidChange(static_cast<size_t>(current.row()));
        }
        return;
    }
    shownLists_ = pages.lists();
    shownRows_ = pages.resourceRows();
    const QSignalBlocker quiet(grid_->selectionModel());  // the pages start unselected
    model_->reload();
    pages.setMediaSelection({});
    details_->showDetails(ResultCategory::None);
    grid_->scrollToTop();
}

// What the "selected media" export takes: the browser items of the
// selected tiles (cards and places are no files of the browser).
void MediaBrowser::selectionChanged() {
    std::set<size_t> items;
    for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes()) {
        if (const std::optional<size_t> item = model_->mediaItemOf(index.row())) {
            items.insert(*item);
        }
    }
    app_.resultView().pages().setMediaSelection(std::move(items));
}

void MediaBrowser::currentChanged(const QModelIndex& current) {
    ResultPages& pages = app_.resultView().pages();
    if (!current.isValid() || pages.currentTableView() != ResultCategory::Attachments) {
        details_->showDetails(ResultCategory::None);
        return;
    }
    pages.tableViewSelectionDidChange(static_cast<size_t>(current.row()));
    details_->showDetails(ResultCategory::Attachments);
}

void MediaBrowser::activated(const QModelIndex& index) {
    const QString file = index.data(MediaBrowserModel::FilePathRole).toString();
    if (!file.isEmpty()) {
        emit previewRequested(file, index.data(Qt::DisplayRole).toString());
    }
}

}  // namespace vessamo::gui
