#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QString>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "results/ResultPages.h"
#include "results/ScanResult.h"

namespace vessamo {
class MessageAttachmentCopy;
struct ExportReport;
}  // namespace vessamo

namespace vessamo::gui {

class ThumbnailCache;
class VoiceNotePlayer;

// What a message bubble shows, by WhatsApp's message type and its fields.
enum class MessageKind { Text, Picture, Video, Audio, Document, VCard, Location, System };

// The opened conversation's shown messages, oldest first, one row each.
// A conversation may hold a million messages: a row's texts are made only
// when the view asks for that row, and kept until another conversation
// is opened.
class ChatViewModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        TextRole = Qt::UserRole + 1,  // QString: the words, card or place shown
        SentRole,                     // bool: written by the account owner
        AuthorRole,                   // QString: "Me", the member's name or number
        ShowsAuthorRole,              // bool: a group message by someone else
        DateTextRole,                 // QString: "MM-DD-YYYY hh:mm"
        TimeTextRole,                 // QString: "hh:mm", under the bubble
        DayTextRole,                  // QString: the day, on the first message of a day
        KindRole,                     // int: MessageKind
        MediaPathRole,                // QString: the message's file in the source, or ""
        MediaNameRole,                // QString: the stored file name, or ""
        ThumbnailRole,                // QImage: the picture's thumbnail once decoded
        RecoveredRole,                // bool: a deleted message brought back
        PlayStateRole,                // int: VoiceNotePlayer::State of a sound file
        DurationTextRole,             // QString: a sound's length, or where it plays, or ""
        TagTextRole,    // QString: "Recovered · freeblock" under a recovered bubble, or ""
        LostMediaRole,  // QString: "Photo" when a recovered message's media item is gone, or ""
    };

    // The tag a recovered message carries, on the screen and read aloud.
    static inline const QString kRecoveredTag = QStringLiteral("Recovered");
    // What a recovered message whose media item is gone says in its bubble.
    static inline const QString kMediaNotRecovered =
        QStringLiteral("Not recovered with the message");

    ChatViewModel(const ResultPages& pages, ThumbnailCache& thumbnails, QObject* parent = nullptr);
    ~ChatViewModel() override;

    // Re-reads the pages' opened conversation: another conversation starts
    // afresh, earlier messages shown by "More..." come in as rows at the top.
    // Returns how many rows came in at the top (0 after a fresh start).
    int refresh();

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    // The player whose state the sound files' rows show; may be nullptr.
    void setPlayer(const VoiceNotePlayer* player);

    // The conversation shown, or nullptr.
    [[nodiscard]] const KTWhatsAppCovNode* conversation() const { return conversation_; }
    // Rows whose texts were made since the conversation was opened.
    [[nodiscard]] size_t rowsMaterialised() const { return rowsMaterialised_; }

private:
    struct Row {
        QString text;
        QString author;
        QString dateText;
        QString timeText;
        QString dayText;
        QString mediaPath;
        QString mediaName;
        QString thumbnailPath;  // the picture to decode for a picture or video
        QString sourceRoot;     // the folder that file must lie in
        QString durationText;   // a voice note's length, read from its last page
        QString tag;            // a recovered message's tag with where it was found
        QString origin;         // that place explained, for the tool tip
        QString lostMedia;      // what a recovered message carried whose item is gone
        MessageKind kind = MessageKind::Text;
        bool sent = false;
        bool showsAuthor = false;
        bool recovered = false;
        bool posterFromFilm = false;  // a film without a still: its first frame
    };

    // Rows are kept by their distance from the conversation's end, which
    // stays the same when earlier messages come in at the top.
    [[nodiscard]] size_t fromEnd(int row) const { return shown_.size() - 1 - size_t(row); }
    const Row& rowAt(int row) const;
    [[nodiscard]] Row makeRow(int row) const;
    [[nodiscard]] static QString spokenText(const Row& row);
    void resolveMedia(const KTWhatsAppNode& message, Row& made) const;
    void describeRecovered(const KTWhatsAppNode& message, Row& made) const;
    [[nodiscard]] QString sourceRootOf(const KTWhatsAppNode& message) const;
    void thumbnailReady(const QString& file);
    void playbackChanged(const QString& file);
    [[nodiscard]] QString durationTextOf(const Row& row) const;

    const ResultPages& pages_;
    ThumbnailCache& thumbnails_;
    ResultListsPtr lists_;  // keeps the records of the rows alive
    const KTWhatsAppCovNode* conversation_ = nullptr;
    MessageRange shown_;
    std::unique_ptr<ExportReport> unusedReport_;
    std::unique_ptr<MessageAttachmentCopy> files_;
    mutable std::vector<std::optional<Row>> rows_;        // by fromEnd()
    mutable QMultiHash<QString, size_t> rowOfThumbnail_;  // file -> fromEnd()
    mutable QMultiHash<QString, size_t> rowOfSound_;      // file -> fromEnd()
    const VoiceNotePlayer* player_ = nullptr;
    mutable size_t rowsMaterialised_ = 0;
};

// The kind of bubble a message gets.
[[nodiscard]] MessageKind kindOf(const KTWhatsAppNode& message);

}  // namespace vessamo::gui
