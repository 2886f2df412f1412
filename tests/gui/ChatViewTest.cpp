// The conversation view as a person uses it: pages of 25 messages with a
// "More..." button, bubbles by direction and author, the recovered tag,
// pictures that arrive after the view is up, and files of the backup that
// are links pointing elsewhere left unread.
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ChatView.h"
#include "ChatViewModel.h"
#include "GuiTestSupport.h"
#include "MessageBubbleDelegate.h"
#include "QtUiPort.h"
#include "ThumbnailCache.h"
#include "results/ResultPages.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

using gui::ChatViewModel;

// A result shown on the chat page with its first conversation opened in a
// ChatView, laid out on a window of an ordinary size.
struct OpenedChat {
    explicit OpenedChat(ScanResultPtr result) : pages(ui), view(pages) {
        pages.setSource(std::move(result));
        pages.actClickChat();  // selects the first row, which opens on a worker
        view.showConversationOnceOpened();
        EXPECT_TRUE(waitUntil([&] { return view.model().conversation() != nullptr; }));
        view.resize(640, 720);
        view.show();
        waitUntil([&] { return view.isVisible(); }, 1000);
    }
    QVariant data(int row, int role) const {
        return view.model().data(view.model().index(row), role);
    }

    gui::QtUiPort ui;
    ResultPages pages;
    gui::ChatView view;
};

ScanResultPtr chatOf(size_t messages, ResultFactory& factory) {
    factory.chat(1, "Ana", "+15550100");
    for (size_t i = 0; i < messages; ++i) {
        factory.message(1, "message " + std::to_string(i),
                        i % 2 == 0 ? Direction::Receive : Direction::Send,
                        AppleTime{static_cast<int64_t>(700'000'000 + i * 60)});
    }
    return factory.finish();
}

TEST(ChatView, MoreAddsEarlierPagesUntilNoneRemainKeepingTheFirstShownMessageInPlace) {
    ResultFactory factory;
    OpenedChat chat(chatOf(60, factory));
    ChatViewModel& model = chat.view.model();
    EXPECT_EQ(chat.view.title()->text(), "Ana");
    EXPECT_EQ(chat.view.countLabel()->text(), "60 messages");
    ASSERT_EQ(model.rowCount(), 25);
    EXPECT_EQ(chat.data(0, ChatViewModel::TextRole).toString(), "message 35");
    EXPECT_EQ(chat.data(24, ChatViewModel::TextRole).toString(), "message 59");

    const struct {
        int rows;
        bool moreShown;
        QString first;
    } pages[] = {{50, true, "message 10"}, {60, false, "message 0"}};
    for (const auto& page : pages) {
        ASSERT_TRUE(chat.view.moreButton()->isVisible());
        QListView* list = chat.view.messageList();
        list->verticalScrollBar()->setValue(0);
        const int firstTop = list->visualRect(model.index(0)).top();
        const int before = model.rowCount();
        chat.view.moreButton()->click();
        EXPECT_EQ(model.rowCount(), page.rows);
        EXPECT_EQ(chat.view.moreButton()->isVisible(), page.moreShown);
        EXPECT_EQ(chat.data(0, ChatViewModel::TextRole).toString(), page.first);
        const int added = page.rows - before;
        EXPECT_NEAR(list->visualRect(model.index(added)).top(), firstTop, 1)
            << "the message at the top before More... moved";
    }
}

TEST(ChatView, AHundredThousandMessageChatOpensMakingOnlyTheRowsShown) {
    ResultFactory factory;
    OpenedChat chat(chatOf(100'000, factory));
    ChatViewModel& model = chat.view.model();
    chat.view.repaint();
    ASSERT_EQ(model.rowCount(), 25);
    EXPECT_EQ(chat.data(24, ChatViewModel::TextRole).toString(), "message 99999");
    EXPECT_EQ(chat.view.countLabel()->text(), QLocale().toString(100000) + " messages");
    EXPECT_GT(model.rowsMaterialised(), 0U);
    EXPECT_LE(model.rowsMaterialised(), 300U);
}

TEST(ChatView, GroupMessagesShowWhoWroteThemWhichCameBackAndWhereEachBubbleSits) {
    ResultFactory factory;
    factory.chat(1, "Climbing club", "", true);
    factory.message(1, "Who is in on Saturday?", Direction::Receive).messageName =
        factory.text("Bea");
    factory.message(1, "Count me in", Direction::Send);
    factory.message(1, "Me too", Direction::Receive).messageNumb = factory.text("+15550111");
    KTWhatsAppNode& deleted = factory.message(1, "sorry, wrong chat", Direction::Receive);
    deleted.messageName = factory.text("Bea");
    deleted.bDeleted = true;
    OpenedChat chat(factory.finish());

    const struct {
        int row;
        QString author;
        bool showsAuthor;
        bool sent;
        bool recovered;
    } rows[] = {{0, "Bea", true, false, false},
                {1, "Me", false, true, false},
                {2, "+15550111", true, false, false},
                {3, "Bea", true, false, true}};
    gui::MessageBubbleDelegate& delegate =
        *static_cast<gui::MessageBubbleDelegate*>(chat.view.messageList()->itemDelegate());
    QStyleOptionViewItem option;
    option.initFrom(chat.view.messageList()->viewport());
    const int width = chat.view.messageList()->viewport()->width();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        EXPECT_EQ(chat.data(row.row, ChatViewModel::AuthorRole).toString(), row.author);
        EXPECT_EQ(chat.data(row.row, ChatViewModel::ShowsAuthorRole).toBool(), row.showsAuthor);
        EXPECT_EQ(chat.data(row.row, ChatViewModel::SentRole).toBool(), row.sent);
        EXPECT_EQ(chat.data(row.row, ChatViewModel::RecoveredRole).toBool(), row.recovered);
        const auto layout = delegate.layoutOf(option, chat.view.model().index(row.row));
        EXPECT_EQ(layout.bubble.center().x() > width / 2, row.sent) << "bubble on the wrong side";
        EXPECT_EQ(!layout.author.isEmpty(), row.showsAuthor);
        EXPECT_EQ(!layout.tag.isEmpty(), row.recovered);
        const QString spoken = chat.data(row.row, Qt::AccessibleTextRole).toString();
        EXPECT_TRUE(spoken.startsWith(row.author)) << spoken.toStdString();
        EXPECT_EQ(spoken.contains(", Recovered: "), row.recovered) << spoken.toStdString();
    }
    // The sent bubble is painted in the accent, its words readable on it.
    const auto sentLayout = delegate.layoutOf(option, chat.view.model().index(1));
    const QImage shown = chat.view.messageList()->viewport()->grab().toImage();
    const QRect sentOnScreen = chat.view.messageList()->visualRect(chat.view.model().index(1));
    const QPoint inside = sentOnScreen.topLeft() + sentLayout.bubble.topLeft() + QPoint(4, 12);
    EXPECT_EQ(shown.pixelColor(inside * shown.devicePixelRatio()).rgb(),
              gui::MessageBubbleDelegate::sentBubble().rgb());
    EXPECT_GE(gui::MessageBubbleDelegate::contrast(gui::MessageBubbleDelegate::sentBubble(),
                                                   gui::MessageBubbleDelegate::sentText()),
              4.5);
    EXPECT_EQ(gui::MessageBubbleDelegate::authorColour("Bea", option.palette),
              gui::MessageBubbleDelegate::authorColour("Bea", option.palette));
}

TEST(ChatView, LongMessagesWrapInsideTheRowAtAnyWidth) {
    ResultFactory factory;
    factory.chat(1, "Ana");
    factory.message(1, QString("word ").repeated(200).toStdString(), Direction::Send);
    factory.message(1, std::string(600, 'x'), Direction::Receive);
    OpenedChat chat(factory.finish());
    gui::MessageBubbleDelegate delegate;  // no view: the option's width counts
    int previousHeight = 0;               // the narrower, the taller
    for (const int width : {1200, 480, 200}) {
        SCOPED_TRACE(width);
        QStyleOptionViewItem option;
        option.initFrom(chat.view.messageList()->viewport());
        option.rect = QRect(0, 0, width, 10);
        for (int row = 0; row < 2; ++row) {
            const auto layout = delegate.layoutOf(option, chat.view.model().index(row));
            EXPECT_GE(layout.bubble.left(), 0);
            EXPECT_LE(layout.bubble.right(), width);
            EXPECT_TRUE(layout.bubble.contains(layout.text)) << "words spill out of the bubble";
            EXPECT_GT(layout.height, layout.time.bottom());
            if (row == 0) {
                EXPECT_GT(layout.height, previousHeight);
                previousHeight = layout.height;
            }
        }
    }
}

// A picture of the backup, a link to one outside it, and the backup folder.
struct PictureBackup {
    PictureBackup() {
        fs::create_directories(folder + "/ab");
        fs::create_directories(outside);
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        EXPECT_TRUE(picture.save(QString::fromStdString(folder + "/ab/picture"), "PNG"));
        EXPECT_TRUE(picture.save(QString::fromStdString(outside + "/secret.png"), "PNG"));
        fs::create_symlink(outside + "/secret.png", folder + "/ab/link");
        fs::create_symlink(folder + "/ab/picture", folder + "/ab/inner-link");
        fs::create_directory_symlink(outside, folder + "/linked-folder");
    }
    TempHome home;
    std::string folder = home.path() + "/backup";
    std::string outside = home.path() + "/elsewhere";
};

TEST(ChatView, PicturesArriveAfterTheViewIsUpAndLinksOutOfTheBackupStayUnread) {
    PictureBackup backup;
    ResultFactory factory;
    factory.chat(1, "Ana");
    for (const char* name : {"picture", "link"}) {
        KTWhatsAppNode& message = factory.message(1, "", Direction::Receive);
        message.attchType = 1;
        message.isHaveAttch = true;
        message.messageAttchpath = factory.text(std::string("Media/") + name + ".jpg");
        factory.media(std::string("Library/Media/") + name + ".jpg", backup.folder + "/ab/" + name);
    }
    OpenedChat chat(factory.finish(SourceKind::Backup, backup.folder));
    const QString picture = chat.data(0, ChatViewModel::MediaPathRole).toString();
    const QString link = chat.data(1, ChatViewModel::MediaPathRole).toString();
    ASSERT_EQ(picture.toStdString(), backup.folder + "/ab/picture");
    gui::ThumbnailCache& cache = chat.view.thumbnails();
    ASSERT_TRUE(waitUntil([&] { return cache.contains(picture) && cache.failed(link); }));
    EXPECT_EQ(chat.data(0, ChatViewModel::ThumbnailRole).value<QImage>().size(), QSize(64, 48));
    EXPECT_TRUE(chat.data(1, ChatViewModel::ThumbnailRole).value<QImage>().isNull());

    const QString root = QString::fromStdString(backup.folder);
    const struct {
        std::string file;
        bool read;
    } files[] = {{backup.folder + "/ab/picture", true},
                 {backup.folder + "/ab/link", false},
                 {backup.folder + "/ab/inner-link", false},
                 {backup.folder + "/linked-folder/secret.png", false},
                 {backup.folder + "/ab", false},
                 {backup.folder + "/ab/missing", false}};
    for (const auto& file : files) {
        EXPECT_EQ(!gui::ThumbnailCache::load(QString::fromStdString(file.file), root, {480, 480})
                       .isNull(),
                  file.read)
            << file.file;
    }
}

}  // namespace
}  // namespace vessamo::test
