#include "ChatView.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "ChatViewModel.h"
#include "MediaSourceRoot.h"
#include "MessageBubbleDelegate.h"
#include "Theme.h"
#include "ThumbnailCache.h"
#include "VoiceNotePlayer.h"
#include "export/ReportOrigin.h"
#include "results/ResultPages.h"

namespace vessamo::gui {

ChatView::ChatView(ResultPages& pages, QWidget* parent)
    : QWidget(parent),
      pages_(pages),
      thumbnails_(new ThumbnailCache(QSize(480, 480), ThumbnailCache::kDefaultCapacity, this)),
      player_(new VoiceNotePlayer(this)),
      model_(new ChatViewModel(pages, *thumbnails_, this)),
      title_(new QLabel(this)),
      count_(new QLabel(this)),
      more_(new QPushButton(QStringLiteral("More..."), this)),
      list_(new QListView(this)),
      delegate_(new MessageBubbleDelegate(list_, this)),
      opening_(new QTimer(this)) {
    opening_->setInterval(10);
    connect(opening_, &QTimer::timeout, this, [this] {
        if (!pages_.bstartloadChat()) {
            opening_->stop();
            showConversation();
        }
    });
    title_->setFont(Theme::titleFont(font()));
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Theme::makeMuted(count_);
    auto* header = new QVBoxLayout;
    header->setSpacing(2);
    header->addWidget(title_);
    header->addWidget(count_);

    setObjectName("chatView");
    list_->setObjectName("chatMessages");
    more_->setObjectName("chatMore");
    title_->setObjectName("chatTitle");
    model_->setPlayer(player_);
    list_->setModel(model_);
    list_->viewport()->installEventFilter(this);
    connect(list_, &QListView::activated, this, &ChatView::activate);
    list_->setItemDelegate(delegate_);
    // Bubbles differ in height; word wrap makes the list lay them out again
    // whenever its width changes.
    list_->setUniformItemSizes(false);
    list_->setWordWrap(true);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->verticalScrollBar()->setSingleStep(24);
    QScrollBar* bar = list_->verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (followNewest_) {
            bar->setValue(maximum);
        }
    });
    connect(bar, &QScrollBar::actionTriggered, this, [this] { followNewest_ = false; });
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setFrameShape(QFrame::NoFrame);

    more_->setVisible(false);
    connect(more_, &QPushButton::clicked, this, &ChatView::showMore);
    auto* moreRow = new QHBoxLayout;
    moreRow->addStretch();
    moreRow->addWidget(more_);
    moreRow->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin, 0);
    layout->setSpacing(Theme::relatedSpacing);
    layout->addLayout(header);
    layout->addLayout(moreRow);
    layout->addWidget(list_, 1);
    updateHeader();
}

ChatView::~ChatView() {
    model_->setPlayer(nullptr);  // the player, an older child, goes first
}

void ChatView::showConversation() {
    if (pages_.chatView().conversation != model_->conversation()) {
        player_->stop();  // the sound belonged to the conversation that went
    }
    model_->refresh();
    updateHeader();
    // A conversation opens at its newest message, and stays there while
    // its rows find their heights at the view's final width.
    followNewest_ = true;
    list_->scrollToBottom();
}

void ChatView::showConversationOnceOpened() {
    if (pages_.bstartloadChat()) {
        opening_->start();
    } else {
        showConversation();
    }
}

QRect ChatView::mediaRect(const QModelIndex& index) const {
    if (!index.isValid()) {
        return {};
    }
    QStyleOptionViewItem option;
    option.initFrom(list_->viewport());
    option.font = list_->font();
    option.rect = list_->visualRect(index);
    const QRect media = delegate_->layoutOf(option, index).media;
    return media.isEmpty() ? QRect() : media.translated(option.rect.topLeft());
}

void ChatView::activate(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    const QString file = index.data(ChatViewModel::MediaPathRole).toString();
    const QString name = index.data(ChatViewModel::MediaNameRole).toString();
    if (file.isEmpty()) {
        return;  // not in the source: nothing to look at or play
    }
    switch (static_cast<MessageKind>(index.data(ChatViewModel::KindRole).toInt())) {
        case MessageKind::Picture:
        case MessageKind::Video:
        case MessageKind::Document:
            emit previewRequested(file, name.isEmpty() ? QFileInfo(file).fileName() : name);
            break;
        case MessageKind::Audio:
            player_->toggle(file, name, sourceRootOf(*pages_.lists()->result, file));
            break;
        default:
            break;
    }
}

bool ChatView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        const QModelIndex index = list_->indexAt(at);
        if (mouse->button() == Qt::LeftButton && mediaRect(index).contains(at)) {
            activate(index);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ChatView::showMore() {
    // The first message shown so far stays where it is on the screen while
    // the earlier ones come in above it.
    followNewest_ = false;
    const int offset = model_->rowCount() > 0 ? list_->visualRect(model_->index(0)).top() : 0;
    pages_.ClickMoreBtn();
    const int added = model_->refresh();
    updateHeader();
    if (added > 0) {
        list_->doItemsLayout();
        const QRect formerFirst = list_->visualRect(model_->index(added));
        QScrollBar* bar = list_->verticalScrollBar();
        bar->setValue(bar->value() + formerFirst.top() - offset);
    }
}

void ChatView::updateHeader() {
    const vessamo::ChatView& chat = pages_.chatView();
    more_->setVisible(chat.moreButton);
    // Without a conversation (a search emptied the list, or none is chosen)
    // the pane says what to do rather than standing blank.
    list_->setVisible(chat.conversation != nullptr);
    if (chat.conversation == nullptr) {
        title_->clear();
        count_->setText(tr("Choose a chat in the list to read its messages."));
        return;
    }
    const KTWhatsAppCovNode& conversation = *chat.conversation;
    Text name = conversation.currentChatName;
    if (name.empty() && conversation.currentChatNumber) {
        name = *conversation.currentChatNumber;
    }
    title_->setText(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    const ScanResult& result = *pages_.lists()->result;
    const size_t total = result.messagesOf(conversation).size();
    QString count =
        total == 1
            ? QStringLiteral("1 message")
            : QStringLiteral("%1 messages").arg(QLocale().toString(static_cast<qulonglong>(total)));
    // Said at the top as well as on each bubble: the whole chat came back.
    if (isDeletedChat(result, conversation)) {
        count = tr("Deleted chat, recovered \u00b7 %1").arg(count);
    } else if (conversation.bDeleted) {
        count = tr("Recovered messages \u00b7 %1").arg(count);
    }
    count_->setText(count);
}

}  // namespace vessamo::gui
