#pragma once

#include <QStyledItemDelegate>

namespace vessamo::gui {

// Paints one tile of the media grid: a square picture (or the icon of the
// file's type), a badge with the type, the check mark of the tile's mark in
// the corner and the file name below. Every tile has the same size, so the
// grid lays out a large list without asking the model for anything.
class MediaTileDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit MediaTileDelegate(QObject* parent = nullptr);

    [[nodiscard]] static int pictureSide();
    // The tile's whole size for a font.
    [[nodiscard]] static QSize tileSize(const QFontMetrics& metrics);
    // Where the square picture and the check mark sit within a tile.
    [[nodiscard]] static QRect pictureRect(const QRect& tile);
    [[nodiscard]] static QRect checkRect(const QRect& tile);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    // A click on the check mark, or the space bar, turns the mark over.
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    void paintPicture(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index, const QRect& square) const;
    void paintBadge(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                    const QRect& square) const;
    void paintCheck(QPainter* painter, const QStyleOptionViewItem& option, bool marked,
                    const QRect& tile) const;
};

}  // namespace vessamo::gui
