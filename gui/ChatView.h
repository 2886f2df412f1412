#pragma once

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

signals:
    // A message's picture or video was chosen for a closer look.
    void previewRequested(const QString& filePath, const QString& displayName);

private:
    void showMore();
    void updateHeader();

    ResultPages& pages_;
    ThumbnailCache* thumbnails_;
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
