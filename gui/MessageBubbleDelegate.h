#pragma once

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QStyledItemDelegate>

class QAbstractItemView;

namespace vessamo::gui {

// Paints the rows of a ChatViewModel as a conversation: received bubbles on
// the left in a neutral shade, sent ones on the right in the accent colour,
// group members' names above their bubbles, the time under each bubble,
// a separator where a day begins, recovered messages tagged and bordered,
// system notices centred and muted, pictures and video posters as rounded
// thumbnails, voice notes, cards and places as small cards.
class MessageBubbleDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // The view whose width the bubbles wrap to; without one, the width of
    // the option's rectangle.
    explicit MessageBubbleDelegate(QAbstractItemView* view = nullptr, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;

    // Where the parts of one row lie, relative to the row's top left.
    struct Layout {
        QRect day;     // the day separator, or empty
        QRect author;  // the member's name above the bubble, or empty
        QRect bubble;
        QRect media;  // picture, poster, player or card inside the bubble, or empty
        QRect text;   // the words inside the bubble (or the notice), or empty
        QRect tag;    // the "Recovered" tag under the bubble, or empty
        QRect time;   // the time under the bubble, or empty
        int height = 0;
    };
    [[nodiscard]] Layout layoutOf(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const;

    // The colours the bubbles are painted in, for the palette given.
    [[nodiscard]] static QColor sentBubble();
    [[nodiscard]] static QColor sentText();
    [[nodiscard]] static QColor receivedBubble(const QPalette& palette);
    [[nodiscard]] static QColor recoveredBorder();
    // The same author always gets the same colour, readable on the palette.
    [[nodiscard]] static QColor authorColour(const QString& author, const QPalette& palette);
    // WCAG contrast ratio of two colours, 1 to 21.
    [[nodiscard]] static double contrast(const QColor& a, const QColor& b);

private:
    [[nodiscard]] int widthFor(const QStyleOptionViewItem& option) const;
    void paintMedia(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                    const QRect& media) const;

    QPointer<QAbstractItemView> view_;
};

}  // namespace vessamo::gui
