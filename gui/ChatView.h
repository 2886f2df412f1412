#pragma once

#include <QModelIndex>
#include <QWidget>

class QLabel;
class QListView;
class QPushButton;
class QTimer;

namespace vessamo {
class ResultPages;
}

namespace vessamo::gui {

class ChatViewModel;
class MessageBubbleDelegate;
class ThumbnailCache;
class VoiceNotePlayer;

// The opened conversation: its name and message count, the "More..."
// button while earlier messages remain, and the messages as bubbles.
class ChatView : public QWidget {
    Q_OBJECT

public:
    explicit ChatView(ResultPages& pages, QWidget* parent = nullptr);
    ~ChatView() override;

    // Shows what the pages have opened now (call after a chat was opened).
    void showConversation();
    // The chat list's selection opens a conversation on a worker, which
    // hands it over on this thread a little later: shows it once there.
    void showConversationOnceOpened();

    [[nodiscard]] QListView* messageList() const { return list_; }
    [[nodiscard]] QPushButton* moreButton() const { return more_; }
    [[nodiscard]] QLabel* title() const { return title_; }
    [[nodiscard]] QLabel* countLabel() const { return count_; }
    [[nodiscard]] ChatViewModel& model() const { return *model_; }
    [[nodiscard]] ThumbnailCache& thumbnails() const { return *thumbnails_; }
    [[nodiscard]] VoiceNotePlayer& player() const { return *player_; }

    // A message's picture, film, sound or document was clicked (or chosen
    // with Enter): a picture, film or document opens for a closer look, a
    // sound plays or pauses. Other messages do nothing.
    void activate(const QModelIndex& index);
    // Where the message's picture, player or card lies in the list's
    // viewport; empty when it has none.
    [[nodiscard]] QRect mediaRect(const QModelIndex& index) const;

signals:
    // A message's picture or video was chosen for a closer look.
    void previewRequested(const QString& filePath, const QString& displayName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showMore();
    void updateHeader();

    ResultPages& pages_;
    ThumbnailCache* thumbnails_;
    VoiceNotePlayer* player_;
    ChatViewModel* model_;
    QLabel* title_;
    QLabel* count_;
    QPushButton* more_;
    QListView* list_;
    MessageBubbleDelegate* delegate_;
    QTimer* opening_;  // polls for the opener to hand over
    // The newest message stays in sight while rows settle their heights,
    // until the person scrolls or asks for earlier messages.
    bool followNewest_ = false;
};

}  // namespace vessamo::gui
