#include "ChatViewModel.h"

#include <QDate>
#include <QImage>
#include <QLocale>

#include "ThumbnailCache.h"
#include "VoiceNotePlayer.h"
#include "common/AppleTime.h"
#include "common/Files.h"
#include "export/ExportReport.h"
#include "export/MessageAttachmentCopy.h"
#include "export/ReportOrigin.h"
#include "results/DisplayText.h"
#include "results/ResultPages.h"

namespace vessamo::gui {

namespace {

QString qtext(Text text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<QDate> localDayOf(const std::optional<AppleTime>& time) {
    if (!time) {
        return std::nullopt;
    }
    const std::optional<LocalTime> local = localTimeOf(*time);
    if (!local) {
        return std::nullopt;
    }
    return QDate(local->year, local->month, local->day);
}

// A card's first telephone number ("TEL;type=CELL:+1 555 0100"), if any.
QString firstPhoneOf(const QString& card) {
    for (const QStringView line : QStringView(card).split(u'\n')) {
        if (line.startsWith(u"TEL", Qt::CaseInsensitive)) {
            const qsizetype colon = line.lastIndexOf(u':');
            if (colon >= 0) {
                return line.mid(colon + 1).trimmed().toString();
            }
        }
    }
    return {};
}

QString cardTextOf(const KTWhatsAppNode& message) {
    const QString name = qtext(message.vcardName).trimmed();
    const QString phone = firstPhoneOf(qtext(message.vcardInfo));
    return phone.isEmpty() ? name : name + u'\n' + phone;
}

// The media a message carried, in a word.
QString mediaNounOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Picture:
            return QStringLiteral("Photo");
        case MessageKind::Video:
            return QStringLiteral("Video");
        case MessageKind::Audio:
            return QStringLiteral("Audio");
        case MessageKind::Document:
            return QStringLiteral("Document");
        default:
            return QStringLiteral("Attachment");
    }
}

QString locationTextOf(const KTWhatsAppNode& message) {
    const QStringList parts = qtext(message.locationInfo).split(u' ', Qt::SkipEmptyParts);
    return parts.size() == 2 ? parts[0] + QStringLiteral(", ") + parts[1]
                             : qtext(message.locationInfo);
}

}  // namespace

MessageKind kindOf(const KTWhatsAppNode& message) {
    if (message.isSystem()) {
        return MessageKind::System;
    }
    switch (message.attchType) {
        case 1:
            return MessageKind::Picture;
        case 2:
        case 11:  // a GIF, stored as a video
            return MessageKind::Video;
        case 3:
            return MessageKind::Audio;
        case 4:
            return MessageKind::VCard;
        case 5:
            return MessageKind::Location;
        case 6:   // group events: joined, left, subject changed
        case 10:  // the app's own notices
            return MessageKind::System;
        case 8:
            return MessageKind::Document;
        default:
            break;
    }
    // Recovered rows may lack the type but keep the card or the place.
    if (message.vcardInfo.size() >= 2) {
        return MessageKind::VCard;
    }
    if (!message.locationInfo.empty()) {
        return MessageKind::Location;
    }
    return MessageKind::Text;
}

ChatViewModel::ChatViewModel(const ResultPages& pages, ThumbnailCache& thumbnails, QObject* parent)
    : QAbstractListModel(parent),
      pages_(pages),
      thumbnails_(thumbnails),
      unusedReport_(std::make_unique<ExportReport>()) {
    connect(&thumbnails_, &ThumbnailCache::thumbnailReady, this, &ChatViewModel::thumbnailReady);
}

ChatViewModel::~ChatViewModel() = default;

int ChatViewModel::refresh() {
    const vessamo::ChatView& view = pages_.chatView();
    const ResultListsPtr& lists = pages_.lists();
    const bool sameConversation = view.conversation == conversation_ && lists == lists_ &&
                                  view.conversation != nullptr &&
                                  view.shown.size() >= shown_.size();
    if (!sameConversation) {
        beginResetModel();
        thumbnails_.cancelPending();
        lists_ = view.conversation != nullptr ? lists : nullptr;
        conversation_ = view.conversation;
        shown_ = conversation_ != nullptr ? view.shown : MessageRange();
        rows_.assign(shown_.size(), std::nullopt);
        rowOfThumbnail_.clear();
        rowOfSound_.clear();
        rowsMaterialised_ = 0;
        files_.reset();
        if (lists_ != nullptr && lists_->result != nullptr) {
            // Only its look-up of a message's file is used: nothing is copied.
            files_ = std::make_unique<MessageAttachmentCopy>(*lists_->result, std::string(),
                                                             *unusedReport_);
        }
        endResetModel();
        return 0;
    }
    const size_t added = view.shown.size() - shown_.size();
    if (added == 0) {
        return 0;
    }
    beginInsertRows(QModelIndex(), 0, static_cast<int>(added) - 1);
    shown_ = view.shown;
    rows_.resize(shown_.size());
    endInsertRows();
    // The earlier first row may now share its day with the row above it.
    const QModelIndex formerFirst = index(static_cast<int>(added));
    emit dataChanged(formerFirst, formerFirst, {DayTextRole});
    return static_cast<int>(added);
}

int ChatViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

const ChatViewModel::Row& ChatViewModel::rowAt(int row) const {
    std::optional<Row>& kept = rows_[fromEnd(row)];
    if (!kept) {
        kept = makeRow(row);
        ++rowsMaterialised_;
        if (!kept->thumbnailPath.isEmpty()) {
            rowOfThumbnail_.insert(kept->thumbnailPath, fromEnd(row));
        }
        if (kept->kind == MessageKind::Audio && !kept->mediaPath.isEmpty()) {
            rowOfSound_.insert(kept->mediaPath, fromEnd(row));
        }
    }
    return *kept;
}

ChatViewModel::Row ChatViewModel::makeRow(int row) const {
    const KTWhatsAppNode& message = shown_[static_cast<size_t>(row)];
    Row made;
    made.kind = kindOf(message);
    made.sent = message.messageType == Direction::Send;
    made.recovered = message.bDeleted;
    if (made.sent) {
        made.author = QStringLiteral("Me");
    } else {
        made.author =
            qtext(!message.messageName.empty() ? message.messageName : message.messageNumb);
        if (made.author.isEmpty() && conversation_ != nullptr && !conversation_->isGroupCov) {
            made.author = qtext(conversation_->currentChatName);
        }
    }
    made.showsAuthor = conversation_ != nullptr && conversation_->isGroupCov && !made.sent &&
                       made.kind != MessageKind::System;
    made.dateText = QString::fromStdString(messageDateText(message.messageDate));
    if (const std::optional<LocalTime> local =
            message.messageDate ? localTimeOf(*message.messageDate) : std::nullopt) {
        made.timeText = QStringLiteral("%1:%2")
                            .arg(local->hour, 2, 10, QChar(u'0'))
                            .arg(local->minute, 2, 10, QChar(u'0'));
        made.dayText =
            QLocale().toString(QDate(local->year, local->month, local->day), QLocale::LongFormat);
    }
    switch (made.kind) {
        case MessageKind::VCard:
            made.text = cardTextOf(message);
            break;
        case MessageKind::Location:
            made.text = locationTextOf(message);
            break;
        case MessageKind::System:
            made.text =
                qtext(!message.systemText.empty() ? message.systemText : message.messageContent);
            break;
        default:
            made.text = qtext(message.messageContent);
            break;
    }
    resolveMedia(message, made);
    if (made.recovered) {
        describeRecovered(message, made);
    }
    return made;
}

// A carved row tells where it lay, and that it had media even when the
// media item's row is gone with the file's name.
void ChatViewModel::describeRecovered(const KTWhatsAppNode& message, Row& made) const {
    const RecoveredPlace place = lists_ != nullptr && lists_->result != nullptr
                                     ? recoveredPlaceOf(*lists_->result, message)
                                     : RecoveredPlace();
    made.tag = QString::fromStdString(recoveredCaption(place));
    made.origin = QString::fromStdString(recoveredExplanation(place));
    const bool carriesItsOwn = made.kind == MessageKind::VCard ||
                               made.kind == MessageKind::Location ||
                               made.kind == MessageKind::System;
    if (message.isHaveAttch && message.messageAttchpath.empty() && !carriesItsOwn) {
        made.lostMedia = mediaNounOf(made.kind);
    }
}

void ChatViewModel::resolveMedia(const KTWhatsAppNode& message, Row& made) const {
    const bool hasFile = made.kind == MessageKind::Picture || made.kind == MessageKind::Video ||
                         made.kind == MessageKind::Audio || made.kind == MessageKind::Document;
    if (!hasFile || files_ == nullptr) {
        return;
    }
    const std::string_view name = lastComponent(message.messageAttchpath.view());
    made.mediaName = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    if (const std::optional<std::string> file = files_->sourceFileOf(message)) {
        made.mediaPath = QString::fromStdString(*file);
    }
    made.sourceRoot = sourceRootOf(message);
    if (made.kind == MessageKind::Audio && !made.mediaPath.isEmpty() &&
        VoiceNotePlayer::needsConversion(made.mediaPath, made.mediaName)) {
        // Only the rows in sight are made, so a note's file is read at most
        // once per opening, and only its few pages.
        if (const auto length = VoiceNotePlayer::opusDuration(made.mediaPath, made.sourceRoot)) {
            made.durationText = VoiceNotePlayer::durationText(*length);
        }
    }
    if (made.kind == MessageKind::Picture) {
        made.thumbnailPath = made.mediaPath;
    } else if (made.kind == MessageKind::Video) {
        // A video's poster is its stored still; without one, the film's first frame.
        KTWhatsAppNode posterOnly = message;
        posterOnly.messageAttchpath = Text();
        if (const std::optional<std::string> poster = files_->sourceFileOf(posterOnly)) {
            made.thumbnailPath = QString::fromStdString(*poster);
        } else if (!made.mediaPath.isEmpty()) {
            made.thumbnailPath = made.mediaPath;
            made.posterFromFilm = true;
        }
    }
}

QString ChatViewModel::sourceRootOf(const KTWhatsAppNode& message) const {
    const ScanResult& result = *lists_->result;
    if (message.bTimelineNode) {
        return QString::fromStdString(result.fullTimelinPath);
    }
    if (message.biCloudNode) {
        return QString::fromStdString(result.tempfilePath);
    }
    return QString::fromStdString(result.folder);
}

QVariant ChatViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = rowAt(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case TextRole:
            return row.text;
        case Qt::AccessibleTextRole:
            return spokenText(row);
        case Qt::ToolTipRole:
            return row.origin.isEmpty() ? row.dateText : row.dateText + u'\n' + row.origin;
        case DateTextRole:
            return row.dateText;
        case SentRole:
            return row.sent;
        case AuthorRole:
            return row.author;
        case ShowsAuthorRole:
            return row.showsAuthor;
        case TimeTextRole:
            return row.timeText;
        case DayTextRole: {
            // Only the first message of a day carries the separator; the
            // one above is compared by its time alone, never materialised.
            if (index.row() == 0) {
                return row.dayText;
            }
            const auto& above = shown_[static_cast<size_t>(index.row()) - 1];
            const auto& self = shown_[static_cast<size_t>(index.row())];
            return localDayOf(above.messageDate) != localDayOf(self.messageDate) ? row.dayText
                                                                                 : QString();
        }
        case KindRole:
            return static_cast<int>(row.kind);
        case MediaPathRole:
            return row.mediaPath;
        case MediaNameRole:
            return row.mediaName;
        case ThumbnailRole:
            if (row.thumbnailPath.isEmpty()) {
                return QImage();
            }
            return row.posterFromFilm ? thumbnails_.poster(row.thumbnailPath, row.sourceRoot)
                                      : thumbnails_.thumbnail(row.thumbnailPath, row.sourceRoot);
        case RecoveredRole:
            return row.recovered;
        case PlayStateRole:
            return static_cast<int>(player_ != nullptr ? player_->stateOf(row.mediaPath)
                                                       : VoiceNotePlayer::State::Idle);
        case DurationTextRole:
            return durationTextOf(row);
        case TagTextRole:
            return row.tag;
        case LostMediaRole:
            return row.lostMedia;
        default:
            return {};
    }
}

// What a screen reader says for a bubble: who, when, whether it came back,
// then the words.
QString ChatViewModel::spokenText(const Row& row) {
    QStringList parts;
    if (!row.author.isEmpty() && row.kind != MessageKind::System) {
        parts << row.author;
    }
    if (!row.dateText.isEmpty()) {
        parts << row.dateText;
    }
    if (row.recovered) {
        parts << row.tag;
    }
    QString said = row.text.isEmpty() ? row.mediaName : row.text;
    if (!row.lostMedia.isEmpty()) {
        const QString lost = row.lostMedia + u' ' + kMediaNotRecovered.toLower();
        said = said.isEmpty() ? lost : lost + QStringLiteral(", ") + said;
    }
    return parts.join(QStringLiteral(", ")) + QStringLiteral(": ") + said;
}

QHash<int, QByteArray> ChatViewModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert({{TextRole, "text"},
                  {SentRole, "sent"},
                  {AuthorRole, "author"},
                  {ShowsAuthorRole, "showsAuthor"},
                  {DateTextRole, "dateText"},
                  {TimeTextRole, "timeText"},
                  {DayTextRole, "dayText"},
                  {KindRole, "kind"},
                  {MediaPathRole, "mediaPath"},
                  {MediaNameRole, "mediaName"},
                  {ThumbnailRole, "thumbnail"},
                  {RecoveredRole, "recovered"},
                  {PlayStateRole, "playState"},
                  {DurationTextRole, "durationText"},
                  {TagTextRole, "tagText"},
                  {LostMediaRole, "lostMedia"}});
    return names;
}

void ChatViewModel::setPlayer(const VoiceNotePlayer* player) {
    if (player_ != nullptr) {
        disconnect(player_, nullptr, this, nullptr);
    }
    player_ = player;
    if (player_ != nullptr) {
        connect(player_, &VoiceNotePlayer::changed, this, &ChatViewModel::playbackChanged);
    }
}

// The stored length until the player knows better; while a sound plays or
// pauses, where it is of how long.
QString ChatViewModel::durationTextOf(const Row& row) const {
    if (player_ == nullptr || row.mediaPath.isEmpty() || player_->currentFile() != row.mediaPath) {
        return row.durationText;
    }
    const auto length = player_->duration();
    const QString total =
        length.count() > 0 ? VoiceNotePlayer::durationText(length) : row.durationText;
    switch (player_->state()) {
        case VoiceNotePlayer::State::Playing:
        case VoiceNotePlayer::State::Paused:
            return total.isEmpty() ? VoiceNotePlayer::durationText(player_->position())
                                   : VoiceNotePlayer::durationText(player_->position()) +
                                         QStringLiteral(" / ") + total;
        default:
            return total;
    }
}

void ChatViewModel::playbackChanged(const QString& file) {
    for (auto it = rowOfSound_.constFind(file); it != rowOfSound_.cend() && it.key() == file;
         ++it) {
        if (*it < shown_.size()) {
            const QModelIndex changed = index(static_cast<int>(shown_.size() - 1 - *it));
            emit dataChanged(changed, changed, {PlayStateRole, DurationTextRole});
        }
    }
}

void ChatViewModel::thumbnailReady(const QString& file) {
    for (auto it = rowOfThumbnail_.constFind(file);
         it != rowOfThumbnail_.cend() && it.key() == file; ++it) {
        if (*it < shown_.size()) {
            const QModelIndex changed = index(static_cast<int>(shown_.size() - 1 - *it));
            emit dataChanged(changed, changed, {ThumbnailRole});
        }
    }
}

}  // namespace vessamo::gui
