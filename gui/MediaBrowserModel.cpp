#include "MediaBrowserModel.h"

#include <functional>

#include "MediaSourceRoot.h"
#include "ThumbnailCache.h"

namespace vessamo::gui {

namespace {

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view extensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

}  // namespace

MediaBrowserModel::MediaBrowserModel(ResultPages& pages, ThumbnailCache& thumbnails,
                                     QObject* parent)
    : QAbstractListModel(parent), pages_(pages), thumbnails_(thumbnails) {
    connect(&thumbnails_, &ThumbnailCache::thumbnailReady, this,
            &MediaBrowserModel::thumbnailReady);
}

void MediaBrowserModel::reload() {
    beginResetModel();
    waiting_.clear();
    thumbnails_.cancelPending();  // tiles that went out of sight need nothing
    endResetModel();
}

int MediaBrowserModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(std::min<size_t>(pages_.resourceRows().size(), INT32_MAX));
}

const KTWhatsAppResourceNode* MediaBrowserModel::resourceAt(int row) const {
    const auto& rows = pages_.resourceRows();
    return row >= 0 && static_cast<size_t>(row) < rows.size() ? rows[static_cast<size_t>(row)]
                                                              : nullptr;
}

// The pages' media rows are the lists' own entries, one per browser item
// and in the same order, whatever a search left of them.
std::optional<size_t> MediaBrowserModel::mediaItemOf(int row) const {
    const KTWhatsAppResourceNode* node = resourceAt(row);
    const std::vector<KTWhatsAppResourceNode>& media = pages_.lists()->mediaResources;
    if (node == nullptr || media.empty()) {
        return std::nullopt;
    }
    const std::less<const KTWhatsAppResourceNode*> before;
    if (before(node, media.data()) || !before(node, media.data() + media.size())) {
        return std::nullopt;
    }
    const auto item = static_cast<size_t>(node - media.data());
    if (item >= pages_.mediaBroswerArray().size()) {
        return std::nullopt;
    }
    return item;
}

MediaBrowserModel::Kind MediaBrowserModel::kindOfType(std::string_view type) {
    if (type == "Photo") {
        return Kind::Picture;
    }
    if (type == "Video") {
        return Kind::Video;
    }
    if (type == "Audio") {
        return Kind::Audio;
    }
    if (type == "VCard") {
        return Kind::Card;
    }
    if (type == "Location") {
        return Kind::Location;
    }
    return Kind::Document;
}

// A picture shows itself; a film its stored poster (WhatsApp keeps one
// beside it with the extension "thumb"), when the source has it.
QString MediaBrowserModel::pictureFileOf(int row) const {
    const KTWhatsAppResourceNode* node = resourceAt(row);
    const Kind kind = kindOfType(node->nodeType);
    if (kind == Kind::Picture) {
        return qtext(node->nodePath);
    }
    const std::optional<size_t> item = mediaItemOf(row);
    const ScanResultPtr& result = pages_.lists()->result;
    if (kind != Kind::Video || !item || !result) {
        return {};
    }
    const std::optional<Text>& relative = pages_.mediaBroswerArray()[*item].fileVirtualPath;
    if (!relative) {
        return {};
    }
    const std::string_view extension = extensionOf(*relative);
    const std::string stem(relative->substr(0, relative->size() - extension.size()));
    if (const std::optional<Text> poster = result->getFileKeyBytheFilepath(stem + "thumb")) {
        return qtext(*poster);
    }
    return {};
}

QImage MediaBrowserModel::thumbnailOf(int row) const {
    const QString file = pictureFileOf(row);
    const ScanResultPtr& result = pages_.lists()->result;
    if (file.isEmpty() || !result) {
        return {};
    }
    requested_.insert(file);
    QImage image = thumbnails_.thumbnail(file, sourceRootOf(*result, file));
    if (image.isNull() && !thumbnails_.failed(file)) {
        waiting_.insert(file, row);
    }
    return image;
}

void MediaBrowserModel::thumbnailReady(const QString& file) {
    const auto waiting = waiting_.find(file);
    if (waiting == waiting_.end()) {
        return;
    }
    const int row = waiting.value();
    waiting_.erase(waiting);
    if (row < rowCount()) {
        const QModelIndex at = index(row);
        emit dataChanged(at, at, {Qt::DecorationRole});
    }
}

QVariant MediaBrowserModel::data(const QModelIndex& index, int role) const {
    const KTWhatsAppResourceNode* node = index.isValid() ? resourceAt(index.row()) : nullptr;
    if (node == nullptr) {
        return {};
    }
    const Kind kind = kindOfType(node->nodeType);
    switch (role) {
        case Qt::DisplayRole:
            return qtext(node->nodeName);
        case Qt::ToolTipRole:
            return QStringLiteral("%1\n%2").arg(qtext(node->nodeName), qtext(node->nodeType));
        case Qt::DecorationRole:
            return thumbnailOf(index.row());
        case Qt::CheckStateRole:
            return pages_.isMarked(static_cast<size_t>(index.row())) ? Qt::Checked : Qt::Unchecked;
        case KindRole:
            return static_cast<int>(kind);
        case TypeRole:
            return qtext(node->nodeType);
        case FilePathRole:
            return qtext(node->nodePath);
        case MediaItemRole: {
            const std::optional<size_t> item = mediaItemOf(index.row());
            return item ? static_cast<qlonglong>(*item) : qlonglong{-1};
        }
        case BadgeRole:
            switch (kind) {
                case Kind::Picture:
                    return QString();
                case Kind::Video:
                    return tr("Video");
                case Kind::Audio:
                    return tr("Audio");
                case Kind::Card:
                    return tr("Card");
                case Kind::Location:
                    return tr("Location");
                case Kind::Document:
                    return qtext(node->nodeType).toUpper();
            }
            return QString();
        case TextContentRole:
            return qtext(node->textContent);
        default:
            return {};
    }
}

bool MediaBrowserModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    // Marks go to the showing list: only while it is the resources list.
    if (role != Qt::CheckStateRole || !index.isValid() || resourceAt(index.row()) == nullptr ||
        pages_.currentTableView() != ResultCategory::Attachments) {
        return false;
    }
    const bool on = value.toInt() == Qt::Checked;
    const auto row = static_cast<size_t>(index.row());
    if (pages_.isMarked(row) == on) {
        return false;  // counted once per change, not per click on a marked tile
    }
    pages_.setMarked({row}, on);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit markChanged(index.row());
    return true;
}

Qt::ItemFlags MediaBrowserModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemNeverHasChildren;
}

}  // namespace vessamo::gui
