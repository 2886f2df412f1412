#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QSet>
#include <optional>

#include "results/ResultPages.h"

namespace vessamo::gui {

class ThumbnailCache;

// The media page's tiles over the pages' resource rows: the source's media
// files (which line up with the media browser's items) and then the contact
// cards and places recovered from chats. Nothing is kept per tile; a tile's
// texts and its picture are looked up when a view paints it, so only the
// tiles in sight ever ask the thumbnail cache for a picture.
class MediaBrowserModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class Kind { Picture, Video, Audio, Document, Card, Location };
    enum Role {
        KindRole = Qt::UserRole + 1,  // Kind as int
        TypeRole,         // "Photo", "Video", "Audio", "VCard", "Location" or the extension
        FilePathRole,     // the file on disk; empty for cards and places
        MediaItemRole,    // position in the browser's items, or -1
        BadgeRole,        // the short type text drawn on the tile, or empty
        TextContentRole,  // a card's or place's own text
    };

    MediaBrowserModel(ResultPages& pages, ThumbnailCache& thumbnails, QObject* parent = nullptr);

    // The pages refilled or replaced the resource rows: every tile is new.
    void reload();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The browser item shown by a tile (cards and places have none).
    [[nodiscard]] std::optional<size_t> mediaItemOf(int row) const;
    [[nodiscard]] static Kind kindOfType(std::string_view type);
    // How many different files the tiles asked the thumbnail cache for.
    [[nodiscard]] int thumbnailRequests() const { return static_cast<int>(requested_.size()); }
    [[nodiscard]] const QSet<QString>& requestedThumbnails() const { return requested_; }

signals:
    // A tile's mark was set or cleared by the person.
    void markChanged(int row);

private:
    [[nodiscard]] const KTWhatsAppResourceNode* resourceAt(int row) const;
    [[nodiscard]] QString pictureFileOf(int row) const;
    [[nodiscard]] QImage thumbnailOf(int row) const;
    void thumbnailReady(const QString& file);

    ResultPages& pages_;
    ThumbnailCache& thumbnails_;
    // Filled as tiles are painted: the files asked for, and which tile
    // waits for each.
    mutable QSet<QString> requested_;
    mutable QHash<QString, int> waiting_;
};

}  // namespace vessamo::gui
