#include "MessageBubbleDelegate.h"

#include <QAbstractItemView>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "ChatViewModel.h"
#include "Theme.h"
#include "VoiceNotePlayer.h"

namespace vessamo::gui {

namespace {

constexpr int kSide = 16;  // the conversation's margins
constexpr int kPadX = 10;  // inside a bubble
constexpr int kPadY = 6;
constexpr int kGap = 4;             // between a bubble and its lines
constexpr int kRowSpacing = 8;      // between messages
constexpr int kRadius = 10;         // bubble corners
constexpr int kMediaRadius = 8;     // thumbnail corners
constexpr int kMaxBubble = 560;     // the widest bubble on a wide window
constexpr int kPictureWidth = 240;  // pictures and posters, 4:3
constexpr int kPictureHeight = 180;
constexpr int kCardWidth = 260;
constexpr int kPlayer = 36;  // the play button's diameter

QFont smallFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() > 0 ? base.pointSizeF() * 0.85 : 8);
    return font;
}

QFont boldFont(const QFont& base) {
    QFont font = base;
    font.setBold(true);
    return font;
}

// Line breaks typed in a message become line separators, which a text
// layout honours; a word longer than the bubble breaks anywhere.
QString forLayout(QString text) {
    return text.replace(u'\n', QChar::LineSeparator);
}

QTextOption wrapping(Qt::Alignment alignment = Qt::AlignLeft) {
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Lays the text out in lines of the width; returns the size it takes.
QSize layOut(QTextLayout& layout, int width) {
    layout.beginLayout();
    qreal height = 0;
    qreal widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return {static_cast<int>(std::ceil(widest)), static_cast<int>(std::ceil(height))};
}

QSize wrappedSize(const QString& text, const QFont& font, int width,
                  Qt::Alignment alignment = Qt::AlignLeft) {
    if (text.isEmpty()) {
        return {};
    }
    QTextLayout layout(forLayout(text), font);
    layout.setTextOption(wrapping(alignment));
    return layOut(layout, width);
}

void drawWrapped(QPainter* painter, const QRect& rect, const QString& text, const QFont& font,
                 Qt::Alignment alignment = Qt::AlignLeft) {
    QTextLayout layout(forLayout(text), font);
    layout.setTextOption(wrapping(alignment));
    layOut(layout, rect.width());
    layout.draw(painter, rect.topLeft());
}

MessageKind kindAt(const QModelIndex& index) {
    return static_cast<MessageKind>(index.data(ChatViewModel::KindRole).toInt());
}

// The size of the picture, player or card a message of that kind carries
// in a bubble whose inside is at most `room` wide.
QSize mediaSize(MessageKind kind, int room, const QFont& font) {
    const int line = QFontMetrics(font).height();
    switch (kind) {
        case MessageKind::Picture:
        case MessageKind::Video: {
            const int width = std::min(kPictureWidth, room);
            return {width, width * kPictureHeight / kPictureWidth};
        }
        case MessageKind::Audio:
            return {std::min(kCardWidth, room), std::max(kPlayer, 2 * line) + 2 * kPadY};
        case MessageKind::VCard:
        case MessageKind::Location:
        case MessageKind::Document:
            return {std::min(kCardWidth, room), 2 * line + 2 * kPadY};
        case MessageKind::Text:
        case MessageKind::System:
            break;
    }
    return {};
}

// The notice a recovered message gets where its media item is gone: a
// card like a document's.
QSize lostMediaSize(int room, const QFont& font) {
    return {std::min(kCardWidth, room), 2 * QFontMetrics(font).height() + 2 * kPadY};
}

// The tag under a recovered bubble; a row made by hand may lack the place.
QString tagTextAt(const QModelIndex& index) {
    const QString tag = index.data(ChatViewModel::TagTextRole).toString();
    return tag.isEmpty() ? ChatViewModel::kRecoveredTag : tag;
}

// A card's words live in its card; any other kind may add a caption.
bool textIsCaption(MessageKind kind) {
    return kind == MessageKind::Text || kind == MessageKind::Picture ||
           kind == MessageKind::Video || kind == MessageKind::Audio;
}

double luminance(const QColor& colour) {
    auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

QColor blend(const QColor& from, const QColor& to, double amount) {
    return QColor::fromRgbF(
        static_cast<float>(from.redF() + (to.redF() - from.redF()) * amount),
        static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * amount),
        static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * amount));
}

bool darkPalette(const QPalette& palette) {
    return palette.color(QPalette::Base).lightnessF() < 0.5;
}

}  // namespace

MessageBubbleDelegate::MessageBubbleDelegate(QAbstractItemView* view, QObject* parent)
    : QStyledItemDelegate(parent), view_(view) {}

QColor MessageBubbleDelegate::sentBubble() {
    return Theme::accent();
}

QColor MessageBubbleDelegate::sentText() {
    // White reads at only 3.3:1 on the accent; this near-black at 5.6:1.
    return {0x06, 0x1a, 0x0d};
}

QColor MessageBubbleDelegate::receivedBubble(const QPalette& palette) {
    return blend(palette.color(QPalette::Base), palette.color(QPalette::Text),
                 darkPalette(palette) ? 0.12 : 0.07);
}

QColor MessageBubbleDelegate::recoveredBorder() {
    return {0xd9, 0x77, 0x06};
}

QColor MessageBubbleDelegate::authorColour(const QString& author, const QPalette& palette) {
    // Dark enough to read at 4.5:1 on a light base; lightened on a dark one.
    static constexpr std::array<QRgb, 8> kColours = {0xb03a2e, 0x7d3c98, 0x1f618d, 0x117864,
                                                     0x9a5b0c, 0x943126, 0x5b2c6f, 0x196f3d};
    // FNV-1a: the same name gets the same colour in every run.
    uint32_t hash = 2166136261U;
    for (const char byte : author.toUtf8()) {
        hash = (hash ^ static_cast<uint8_t>(byte)) * 16777619U;
    }
    const QColor colour(kColours[hash % kColours.size()]);
    return darkPalette(palette) ? blend(colour, Qt::white, 0.55) : colour;
}

double MessageBubbleDelegate::contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

int MessageBubbleDelegate::widthFor(const QStyleOptionViewItem& option) const {
    if (view_ != nullptr && view_->viewport()->width() > 0) {
        return view_->viewport()->width();
    }
    return option.rect.width() > 0 ? option.rect.width() : 480;
}

MessageBubbleDelegate::Layout MessageBubbleDelegate::layoutOf(const QStyleOptionViewItem& option,
                                                              const QModelIndex& index) const {
    Layout layout;
    const int width = widthFor(option);
    const int room = std::max(80, width - 2 * kSide);
    const QFont small = smallFont(option.font);
    const int smallLine = QFontMetrics(small).height();
    int y = 0;
    if (const QString day = index.data(ChatViewModel::DayTextRole).toString(); !day.isEmpty()) {
        layout.day = QRect(0, y, width, smallLine + 2 * kPadY);
        y += layout.day.height() + kGap;
    }
    const MessageKind kind = kindAt(index);
    const QString text = index.data(ChatViewModel::TextRole).toString();
    if (kind == MessageKind::System) {
        const int lineWidth = std::max(80, room * 4 / 5);
        const QSize size = wrappedSize(text, small, lineWidth - 2 * kPadX, Qt::AlignHCenter);
        layout.bubble = QRect((width - size.width()) / 2 - kPadX, y + kGap,
                              size.width() + 2 * kPadX, size.height() + 2 * kPadY);
        layout.text = layout.bubble.adjusted(kPadX, kPadY, -kPadX, -kPadY);
        y = layout.bubble.bottom() + 1 + kRowSpacing;
        layout.height = y;
        return layout;
    }
    const int bubbleRoom = std::max(80, std::min(kMaxBubble, room * 4 / 5));
    const int inside = bubbleRoom - 2 * kPadX;
    if (index.data(ChatViewModel::ShowsAuthorRole).toBool()) {
        layout.author =
            QRect(kSide + kPadX / 2, y, bubbleRoom, QFontMetrics(boldFont(small)).height());
        y += layout.author.height() + 2;
    }
    const bool lostMedia = !index.data(ChatViewModel::LostMediaRole).toString().isEmpty();
    const QSize media =
        lostMedia ? lostMediaSize(inside, option.font) : mediaSize(kind, inside, option.font);
    const QSize words = textIsCaption(kind) ? wrappedSize(text, option.font, inside) : QSize();
    const int innerWidth = std::max({media.width(), words.width(), 24});
    const int gap = !media.isEmpty() && !words.isEmpty() ? kGap + 2 : 0;
    const int innerHeight = std::max(media.height() + gap + words.height(), smallLine);
    const bool sent = index.data(ChatViewModel::SentRole).toBool();
    const int bubbleWidth = innerWidth + 2 * kPadX;
    const int x = sent ? width - kSide - bubbleWidth : kSide;
    layout.bubble = QRect(x, y, bubbleWidth, innerHeight + 2 * kPadY);
    if (!media.isEmpty()) {
        layout.media = QRect(QPoint(x + kPadX, y + kPadY), media);
    }
    if (!words.isEmpty()) {
        // As wide as its widest line, which it was measured at: laid out again
        // at that width it breaks at the same places.
        layout.text = QRect(QPoint(x + kPadX, y + kPadY + media.height() + gap), words);
    }
    y = layout.bubble.bottom() + 1 + kGap;
    // Under the bubble, at its outer edge: the tag of a recovered message,
    // then the time.
    const QFontMetrics smallMetrics(small);
    const QString time = index.data(ChatViewModel::TimeTextRole).toString();
    const int timeWidth = smallMetrics.horizontalAdvance(time);
    const bool recovered = index.data(ChatViewModel::RecoveredRole).toBool();
    const int tagWidth =
        recovered ? smallMetrics.horizontalAdvance(tagTextAt(index)) + 2 * kGap * 2 : 0;
    const int lineWidth = tagWidth + (recovered && timeWidth > 0 ? kGap * 2 : 0) + timeWidth;
    // Indented like the author's name, so the lines of a message align.
    int lineX =
        sent ? layout.bubble.right() + 1 - kPadX / 2 - lineWidth : layout.bubble.left() + kPadX / 2;
    if (recovered) {
        layout.tag = QRect(lineX, y, tagWidth, smallLine + 2);
        lineX += tagWidth + kGap * 2;
    }
    if (timeWidth > 0) {
        layout.time = QRect(lineX, y + (recovered ? 1 : 0), timeWidth, smallLine);
    }
    if (recovered || timeWidth > 0) {
        y += smallLine + (recovered ? 2 : 0);
    }
    layout.height = y + kRowSpacing;
    return layout;
}

QSize MessageBubbleDelegate::sizeHint(const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
    return {widthFor(option), layoutOf(option, index).height};
}

void MessageBubbleDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const Layout layout = layoutOf(option, index);
    const QPalette& palette = option.palette;
    const QColor muted = Theme::mutedText(palette);
    const QFont small = smallFont(option.font);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(option.rect.topLeft());
    if (!layout.day.isEmpty()) {
        const QString day = index.data(ChatViewModel::DayTextRole).toString();
        const int textWidth = QFontMetrics(boldFont(small)).horizontalAdvance(day);
        const QRect pill((layout.day.width() - textWidth) / 2 - kPadX, layout.day.top(),
                         textWidth + 2 * kPadX, layout.day.height());
        painter->setPen(Qt::NoPen);
        painter->setBrush(receivedBubble(palette));
        painter->drawRoundedRect(pill, pill.height() / 2.0, pill.height() / 2.0);
        painter->setPen(muted);
        painter->setFont(boldFont(small));
        painter->drawText(pill, Qt::AlignCenter, day);
    }
    const MessageKind kind = kindAt(index);
    const QString text = index.data(ChatViewModel::TextRole).toString();
    if (kind == MessageKind::System) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(
            blend(palette.color(QPalette::Base), palette.color(QPalette::Text), 0.04));
        painter->drawRoundedRect(layout.bubble, kRadius, kRadius);
        painter->setPen(muted);
        drawWrapped(painter, layout.text, text, small, Qt::AlignHCenter);
        painter->restore();
        return;
    }
    const bool sent = index.data(ChatViewModel::SentRole).toBool();
    const bool recovered = index.data(ChatViewModel::RecoveredRole).toBool();
    if (!layout.author.isEmpty()) {
        const QString author = index.data(ChatViewModel::AuthorRole).toString();
        painter->setFont(boldFont(small));
        painter->setPen(authorColour(author, palette));
        painter->drawText(layout.author, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(boldFont(small))
                              .elidedText(author, Qt::ElideRight, layout.author.width()));
    }
    painter->setBrush(sent ? sentBubble() : receivedBubble(palette));
    if (recovered) {
        painter->setPen(QPen(recoveredBorder(), 2, Qt::DashLine));
    } else {
        painter->setPen(Qt::NoPen);
    }
    painter->drawRoundedRect(QRectF(layout.bubble).adjusted(1, 1, -1, -1), kRadius, kRadius);
    if (!layout.media.isEmpty()) {
        paintMedia(painter, option, index, layout.media);
    }
    if (!layout.text.isEmpty()) {
        painter->setPen(sent ? sentText() : palette.color(QPalette::Text));
        drawWrapped(painter, layout.text, text, option.font);
    }
    painter->setFont(small);
    if (!layout.tag.isEmpty()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(recoveredBorder());
        painter->drawRoundedRect(layout.tag, layout.tag.height() / 2.0, layout.tag.height() / 2.0);
        painter->setPen(sentText());
        painter->drawText(layout.tag, Qt::AlignCenter, tagTextAt(index));
    }
    if (!layout.time.isEmpty()) {
        painter->setPen(muted);
        painter->drawText(layout.time, Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(ChatViewModel::TimeTextRole).toString());
    }
    painter->restore();
}

namespace {

// A picture scaled to fill the rounded box, its middle kept.
void drawThumbnail(QPainter* painter, const QRect& box, const QImage& image) {
    QPainterPath clip;
    clip.addRoundedRect(box, kMediaRadius, kMediaRadius);
    painter->save();
    painter->setClipPath(clip);
    const QSize filled = image.size().scaled(box.size(), Qt::KeepAspectRatioByExpanding);
    const QRect target(box.center() - QPoint(filled.width() / 2, filled.height() / 2), filled);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, image);
    painter->restore();
}

void drawPlayButton(QPainter* painter, const QPoint& centre, int diameter, const QColor& disc,
                    const QColor& arrow) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(disc);
    painter->drawEllipse(centre, diameter / 2, diameter / 2);
    const double side = diameter * 0.38;
    const QPointF points[3] = {{centre.x() - side * 0.4, centre.y() - side * 0.55},
                               {centre.x() - side * 0.4, centre.y() + side * 0.55},
                               {centre.x() + side * 0.6, static_cast<double>(centre.y())}};
    painter->setBrush(arrow);
    painter->drawPolygon(points, 3);
}

void drawPauseButton(QPainter* painter, const QPoint& centre, int diameter, const QColor& disc,
                     const QColor& bars) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(disc);
    painter->drawEllipse(centre, diameter / 2, diameter / 2);
    const double height = diameter * 0.4;
    const double width = diameter * 0.11;
    painter->setBrush(bars);
    for (const double offset : {-width * 1.6, width * 0.6}) {
        painter->drawRect(QRectF(centre.x() + offset, centre.y() - height / 2, width, height));
    }
}

// The small mark at the left of a card: a person, a pin or a page.
void drawCardMark(QPainter* painter, MessageKind kind, const QRect& box, const QColor& colour) {
    painter->setPen(QPen(colour, 1.5));
    painter->setBrush(Qt::NoBrush);
    const QPointF c = QRectF(box).center();
    const double r = box.width() / 2.0;
    switch (kind) {
        case MessageKind::VCard:
            painter->drawEllipse(QPointF(c.x(), c.y() - r * 0.3), r * 0.3, r * 0.3);
            painter->drawArc(QRectF(c.x() - r * 0.6, c.y() + r * 0.1, r * 1.2, r * 1.0), 0,
                             180 * 16);
            break;
        case MessageKind::Location:
            painter->drawEllipse(QPointF(c.x(), c.y() - r * 0.2), r * 0.45, r * 0.45);
            painter->drawLine(QPointF(c.x(), c.y() + r * 0.25), QPointF(c.x(), c.y() + r * 0.8));
            break;
        default:
            painter->drawRect(QRectF(c.x() - r * 0.45, c.y() - r * 0.6, r * 0.9, r * 1.2));
            break;
    }
}

}  // namespace

void MessageBubbleDelegate::paintMedia(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index, const QRect& media) const {
    const MessageKind kind = kindAt(index);
    const QString lostMedia = index.data(ChatViewModel::LostMediaRole).toString();
    const bool sent = index.data(ChatViewModel::SentRole).toBool();
    const QColor ink = sent ? sentText() : option.palette.color(QPalette::Text);
    const QColor frame = sent ? blend(sentBubble(), Qt::black, 0.18)
                              : blend(receivedBubble(option.palette), ink, 0.10);
    const QString name = index.data(ChatViewModel::MediaNameRole).toString();
    painter->save();
    if (lostMedia.isEmpty() && (kind == MessageKind::Picture || kind == MessageKind::Video)) {
        const QImage image = index.data(ChatViewModel::ThumbnailRole).value<QImage>();
        if (!image.isNull()) {
            drawThumbnail(painter, media, image);
        } else {
            painter->setPen(Qt::NoPen);
            painter->setBrush(kind == MessageKind::Video ? QColor(0x30, 0x30, 0x30) : frame);
            painter->drawRoundedRect(media, kMediaRadius, kMediaRadius);
        }
        if (kind == MessageKind::Video) {
            drawPlayButton(painter, media.center(), 44, QColor(0, 0, 0, 140), Qt::white);
        }
        painter->restore();
        return;
    }
    const QFontMetrics metrics(option.font);
    const int mark =
        kind == MessageKind::Audio && lostMedia.isEmpty() ? kPlayer : 2 * metrics.height() - 4;
    const QRect markBox(media.left() + kPadY, media.center().y() - mark / 2, mark, mark);
    const QRect words(markBox.right() + 1 + kPadX, media.top() + kPadY,
                      media.right() - markBox.right() - 2 * kPadX, media.height() - 2 * kPadY);
    QString title;
    QString detail;
    switch (lostMedia.isEmpty() ? kind : MessageKind::Document) {
        case MessageKind::Audio: {
            const auto state = static_cast<VoiceNotePlayer::State>(
                index.data(ChatViewModel::PlayStateRole).toInt());
            const QColor disc = sent ? sentText() : Theme::accent();
            const QColor glyph = sent ? sentBubble() : QColor(Qt::white);
            if (state == VoiceNotePlayer::State::Playing) {
                drawPauseButton(painter, markBox.center(), mark, disc, glyph);
            } else {
                drawPlayButton(painter, markBox.center(), mark, disc, glyph);
            }
            const bool voiceNote = VoiceNotePlayer::needsConversion(
                index.data(ChatViewModel::MediaPathRole).toString(), name);
            title = voiceNote ? QStringLiteral("Voice note")
                              : (name.isEmpty() ? QStringLiteral("Audio") : name);
            const QString length = index.data(ChatViewModel::DurationTextRole).toString();
            if (index.data(ChatViewModel::MediaPathRole).toString().isEmpty()) {
                detail = QStringLiteral("File not in the backup");
            } else if (state == VoiceNotePlayer::State::Converting) {
                detail = QStringLiteral("Preparing…");
            } else if (state == VoiceNotePlayer::State::WaitingForDecoder) {
                detail = QStringLiteral("Waiting for the voice note decoder…");
            } else if (state == VoiceNotePlayer::State::Failed) {
                detail = QStringLiteral("This file cannot be played");
            } else {
                detail = length.isEmpty() ? QStringLiteral("Audio") : length;
            }
            break;
        }
        case MessageKind::Document:
            if (!lostMedia.isEmpty()) {
                title = lostMedia;
                detail = ChatViewModel::kMediaNotRecovered;
                break;
            }
            title = name.isEmpty() ? QStringLiteral("Document") : name;
            detail = QStringLiteral("Document");
            break;
        case MessageKind::Location:
            title = QStringLiteral("Location");
            detail = index.data(ChatViewModel::TextRole).toString();
            break;
        default: {
            const QStringList lines = index.data(ChatViewModel::TextRole).toString().split(u'\n');
            title = lines.value(0);
            detail = lines.size() > 1 ? lines[1] : QStringLiteral("Contact card");
            break;
        }
    }
    if (kind != MessageKind::Audio || !lostMedia.isEmpty()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(frame);
        painter->drawRoundedRect(media, kMediaRadius, kMediaRadius);
        drawCardMark(painter, kind, markBox, ink);
    }
    const QFont bold = boldFont(option.font);
    painter->setPen(ink);
    painter->setFont(bold);
    const int line = metrics.height();
    painter->drawText(QRect(words.left(), words.top(), words.width(), line),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(bold).elidedText(title, Qt::ElideMiddle, words.width()));
    painter->setFont(option.font);
    painter->drawText(QRect(words.left(), words.top() + line, words.width(), line),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(detail, Qt::ElideRight, words.width()));
    painter->restore();
}

}  // namespace vessamo::gui
