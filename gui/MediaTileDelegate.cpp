#include "MediaTileDelegate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "MediaBrowserModel.h"
#include "MediaIcons.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

constexpr int kPicture = 112;  // the square's side
constexpr int kPad = Theme::relatedSpacing;
constexpr int kRadius = 6;
constexpr int kCheck = 22;  // the check mark's circle
constexpr int kTypeIcon = 48;

// The middle square of an image, so every tile is filled alike.
QImage squareOf(const QImage& image) {
    const int side = std::min(image.width(), image.height());
    return image.copy((image.width() - side) / 2, (image.height() - side) / 2, side, side);
}

bool toggle(QAbstractItemModel* model, const QModelIndex& index) {
    const bool marked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, marked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

}  // namespace

MediaTileDelegate::MediaTileDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

int MediaTileDelegate::pictureSide() {
    return kPicture;
}

QSize MediaTileDelegate::tileSize(const QFontMetrics& metrics) {
    return {kPicture + 2 * kPad, kPad + kPicture + kPad + metrics.height() + kPad};
}

QRect MediaTileDelegate::pictureRect(const QRect& tile) {
    return {tile.left() + (tile.width() - kPicture) / 2, tile.top() + kPad, kPicture, kPicture};
}

QRect MediaTileDelegate::checkRect(const QRect& tile) {
    const QRect square = pictureRect(tile);
    return {square.right() - kCheck - 4, square.top() + 4, kCheck, kCheck};
}

QSize MediaTileDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return tileSize(option.fontMetrics);
}

void MediaTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect tile = option.rect.adjusted(2, 2, -2, -2);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);
    if (selected || hovered) {
        QColor back = option.palette.color(QPalette::Highlight);
        back.setAlpha(selected ? 70 : 28);
        painter->setPen(selected ? QPen(option.palette.color(QPalette::Highlight), 1.5)
                                 : Qt::NoPen);
        painter->setBrush(back);
        painter->drawRoundedRect(QRectF(tile).adjusted(0.5, 0.5, -0.5, -0.5), kRadius + 2,
                                 kRadius + 2);
    }
    const QRect square = pictureRect(option.rect);
    paintPicture(painter, option, index, square);
    paintBadge(painter, option, index, square);
    paintCheck(painter, option, index.data(Qt::CheckStateRole).toInt() == Qt::Checked, option.rect);

    const QRect nameRect(tile.left() + kPad / 2, square.bottom() + kPad, tile.width() - kPad,
                         option.fontMetrics.height());
    painter->setPen(option.palette.color(QPalette::Text));
    painter->setFont(option.font);
    painter->drawText(nameRect, Qt::AlignHCenter | Qt::AlignVCenter,
                      option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                    Qt::ElideMiddle, nameRect.width()));
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QPen ring(option.palette.color(QPalette::Highlight), 2);
        painter->setPen(ring);
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(tile).adjusted(1, 1, -1, -1), kRadius + 2, kRadius + 2);
    }
    painter->restore();
}

void MediaTileDelegate::paintPicture(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index, const QRect& square) const {
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(square), kRadius, kRadius);
    const QImage image = index.data(Qt::DecorationRole).value<QImage>();
    if (!image.isNull()) {
        painter->save();
        painter->setClipPath(rounded);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(QRectF(square), squareOf(image));
        painter->restore();
        return;
    }
    painter->fillPath(rounded, option.palette.color(QPalette::AlternateBase));
    painter->setPen(QPen(option.palette.color(QPalette::Mid), 1));
    painter->drawPath(rounded);
    const auto kind =
        static_cast<MediaBrowserModel::Kind>(index.data(MediaBrowserModel::KindRole).toInt());
    const QIcon icon = MediaIcons::of(kind, index.data(Qt::DisplayRole).toString());
    const QRect place(square.center().x() - kTypeIcon / 2 + 1,
                      square.center().y() - kTypeIcon / 2 + 1, kTypeIcon, kTypeIcon);
    icon.paint(painter, place);
}

void MediaTileDelegate::paintBadge(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index, const QRect& square) const {
    const QString badge = index.data(MediaBrowserModel::BadgeRole).toString();
    if (badge.isEmpty()) {
        return;
    }
    QFont small = option.font;
    small.setPointSizeF(small.pointSizeF() * 0.85);
    small.setBold(true);
    const QFontMetrics metrics(small);
    const bool video = index.data(MediaBrowserModel::KindRole).toInt() ==
                       static_cast<int>(MediaBrowserModel::Kind::Video);
    const int triangle = video ? metrics.ascent() * 2 / 3 + 4 : 0;
    const int height = metrics.height() + 2;
    const QString text = metrics.elidedText(badge, Qt::ElideRight, square.width() - 16 - triangle);
    const QRect box(square.left() + 4, square.bottom() - height - 3,
                    metrics.horizontalAdvance(text) + 8 + triangle, height);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(0, 0, 0, 165));  // reads on any picture, white text at 7:1
    painter->drawRoundedRect(box, 4, 4);
    painter->setBrush(Qt::white);
    if (video) {
        const qreal side = metrics.ascent() * 2.0 / 3.0;
        const QPointF at(box.left() + 5, box.center().y() - side / 2 + 1);
        const QPointF points[] = {at, at + QPointF(0, side), at + QPointF(side * 0.9, side / 2)};
        painter->drawPolygon(points, 3);
    }
    painter->setPen(Qt::white);
    painter->setFont(small);
    painter->drawText(box.adjusted(4 + triangle, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void MediaTileDelegate::paintCheck(QPainter* painter, const QStyleOptionViewItem& option,
                                   bool marked, const QRect& tile) const {
    const QRectF circle = QRectF(checkRect(tile)).adjusted(1, 1, -1, -1);
    if (marked) {
        painter->setPen(QPen(Qt::white, 1.5));
        painter->setBrush(Theme::accentForText());
        painter->drawEllipse(circle);
        QPen tick(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter->setPen(tick);
        const QPointF c = circle.center();
        const qreal s = circle.width() / 4.5;
        const QPointF points[] = {c + QPointF(-s, 0), c + QPointF(-s / 3, s * 0.75),
                                  c + QPointF(s, -s * 0.7)};
        painter->drawPolyline(points, 3);
        return;
    }
    // An empty ring: present on every tile so marking is discoverable,
    // stronger where the pointer or the selection is.
    const bool near = option.state.testFlag(QStyle::State_MouseOver) ||
                      option.state.testFlag(QStyle::State_Selected);
    painter->setPen(QPen(QColor(255, 255, 255, near ? 255 : 200), 1.8));
    painter->setBrush(QColor(0, 0, 0, near ? 90 : 50));
    painter->drawEllipse(circle);
}

bool MediaTileDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                    const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!index.flags().testFlag(Qt::ItemIsUserCheckable)) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // The check mark is a control of its own: no selection, no preview.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            return mouse->button() == Qt::LeftButton &&
                   checkRect(option.rect).contains(mouse->position().toPoint());
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton ||
                !checkRect(option.rect).contains(mouse->position().toPoint())) {
                return false;
            }
            toggle(model, index);
            return true;
        }
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select) {
                return false;
            }
            toggle(model, index);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace vessamo::gui
