// The conversation view as a person uses it: pages of 25 messages with a
// "More..." button, bubbles by direction and author, the recovered tag,
// pictures that arrive after the view is up, and files of the backup that
// are links pointing elsewhere left unread.
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
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
}

TEST(ChatView, WhatsAppsOwnLinesShowTheirDescriptionAsASystemLineWithoutAnAuthor) {
    ResultFactory factory;
    factory.chat(1, "Climbing club", "", true);
    KTWhatsAppNode& created = factory.message(1, "", Direction::Receive);
    created.messageKind = MessageKind::System;
    created.systemText = factory.text("Group created");
    created.messageName = factory.text("Bea");  // a system row names nobody
    factory.message(1, "Welcome!", Direction::Receive).messageName = factory.text("Bea");
    OpenedChat chat(factory.finish());

    ASSERT_EQ(chat.view.model().rowCount(), 2);
    EXPECT_EQ(chat.data(0, ChatViewModel::KindRole).toInt(),
              static_cast<int>(gui::MessageKind::System));
    EXPECT_EQ(chat.data(0, ChatViewModel::TextRole).toString(), "Group created");
    EXPECT_FALSE(chat.data(0, ChatViewModel::ShowsAuthorRole).toBool());
    EXPECT_EQ(chat.data(1, ChatViewModel::KindRole).toInt(),
              static_cast<int>(gui::MessageKind::Text));
    EXPECT_TRUE(chat.data(1, ChatViewModel::ShowsAuthorRole).toBool());
}

TEST(ChatView, WithoutAConversationThePaneSaysWhatToDo) {
    gui::QtUiPort ui;
    ResultPages pages(ui);
    gui::ChatView view(pages);
    view.show();
    EXPECT_FALSE(view.messageList()->isVisible());
    EXPECT_EQ(view.countLabel()->text(), "Choose a chat in the list to read its messages.");

    ResultFactory factory;
    pages.setSource(chatOf(3, factory));
    pages.actClickChat();
    view.showConversationOnceOpened();
    ASSERT_TRUE(waitUntil([&] { return view.model().conversation() != nullptr; }));
    EXPECT_TRUE(view.messageList()->isVisible());
    EXPECT_EQ(view.countLabel()->text(), "3 messages");
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

// A message of chat 1 with the attachment "Media/<name>", which the backup
// holds in `file`.
KTWhatsAppNode& attachment(ResultFactory& factory, int type, const std::string& name,
                           const std::string& file, Direction direction = Direction::Receive,
                           std::string_view text = "") {
    KTWhatsAppNode& message = factory.message(1, text, direction);
    message.attchType = type;
    message.isHaveAttch = true;
    message.messageAttchpath = factory.text("Media/" + name);
    factory.media("Library/Media/" + name, file);
    return message;
}

TEST(ChatView, PicturesArriveAfterTheViewIsUpAndLinksOutOfTheBackupStayUnread) {
    PictureBackup backup;
    ResultFactory factory;
    factory.chat(1, "Ana");
    for (const std::string name : {"picture", "link"}) {
        attachment(factory, 1, name + ".jpg", backup.folder + "/ab/" + name);
    }
    OpenedChat chat(factory.finish(SourceKind::Backup, backup.folder));
    const QString picture = chat.data(0, ChatViewModel::MediaPathRole).toString();
    const QString link = chat.data(1, ChatViewModel::MediaPathRole).toString();
    ASSERT_EQ(picture.toStdString(), backup.folder + "/ab/picture");
    // A link in the backup never enters its index: its row names no file.
    EXPECT_TRUE(link.isEmpty()) << link.toStdString();
    gui::ThumbnailCache& cache = chat.view.thumbnails();
    ASSERT_TRUE(waitUntil([&] { return cache.contains(picture); }));
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

// A little Motion-JPEG AVI film of `frames` frames of one colour: what
// phones wrote for years, and what the desktop's media framework reads.
std::string mjpegFilm(const QColor& colour, int frames = 3) {
    QImage frame(64, 48, QImage::Format_RGB32);
    frame.fill(colour);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    frame.save(&buffer, "JPG", 95);
    auto u32 = [](std::string& out, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            out += static_cast<char>((value >> (8 * i)) & 0xff);
        }
    };
    auto u16 = [](std::string& out, uint16_t value) {
        out += static_cast<char>(value & 0xff);
        out += static_cast<char>(value >> 8);
    };
    auto chunk = [&](const std::string& id, const std::string& body) {
        std::string out = id;
        u32(out, static_cast<uint32_t>(body.size()));
        out += body;
        if (body.size() % 2 != 0) {
            out += '\0';
        }
        return out;
    };
    auto list = [&](const std::string& type, const std::string& body) {
        return chunk("LIST", type + body);
    };
    const auto w = static_cast<uint32_t>(frame.width());
    const auto h = static_cast<uint32_t>(frame.height());
    std::string avih;
    for (const uint32_t value : {40000U, 0U, 0U, 0x10U, uint32_t(frames), 0U, 1U,
                                 uint32_t(jpeg.size()), w, h, 0U, 0U, 0U, 0U}) {
        u32(avih, value);
    }
    std::string strh = "vidsMJPG";
    for (const uint32_t value :
         {0U, 0U, 0U, 1U, 25U, 0U, uint32_t(frames), uint32_t(jpeg.size()), 0xffffffffU, 0U}) {
        u32(strh, value);
    }
    for (const uint16_t value : {uint16_t(0), uint16_t(0), uint16_t(w), uint16_t(h)}) {
        u16(strh, value);
    }
    std::string strf;
    u32(strf, 40);
    u32(strf, w);
    u32(strf, h);
    u16(strf, 1);
    u16(strf, 24);
    strf += "MJPG";
    for (const uint32_t value : {w * h * 3, 0U, 0U, 0U, 0U}) {
        u32(strf, value);
    }
    const std::string hdrl =
        list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
    std::string movi;
    std::string index;
    for (int i = 0; i < frames; ++i) {
        index += "00dc";
        u32(index, 0x10);
        u32(index, static_cast<uint32_t>(4 + movi.size()));
        u32(index, static_cast<uint32_t>(jpeg.size()));
        movi += chunk("00dc", jpeg.toStdString());
    }
    const std::string body = "AVI " + hdrl + list("movi", movi) + chunk("idx1", index);
    return chunk("RIFF", body);
}

// A film that came without a still gets its first frame as the poster,
// taken by the media framework from the file inside the backup; a film
// reached through a link out of the backup gets none.
TEST(ChatView, AVideoWithoutAStillShowsItsFirstFrame) {
    PictureBackup backup;
    fs::create_directories(backup.folder + "/ef");
    std::ofstream(backup.folder + "/ef/film", std::ios::binary) << mjpegFilm(Qt::blue);
    std::ofstream(backup.outside + "/film", std::ios::binary) << mjpegFilm(Qt::blue);
    fs::create_symlink(backup.outside + "/film", backup.folder + "/ef/linked-film");
    ResultFactory factory;
    factory.chat(1, "Ana");
    for (const std::string name : {"film", "linked-film"}) {
        attachment(factory, 2, name + ".avi", backup.folder + "/ef/" + name);
    }
    OpenedChat chat(factory.finish(SourceKind::Backup, backup.folder));
    gui::ThumbnailCache& cache = chat.view.thumbnails();
    const QString film = QString::fromStdString(backup.folder + "/ef/film");
    const QString linked = QString::fromStdString(backup.folder + "/ef/linked-film");
    ASSERT_TRUE(waitUntil([&] { return cache.contains(film) || cache.failed(film); }, 30000));
    ASSERT_TRUE(cache.contains(film)) << "no first frame was taken";
    const QImage poster = chat.data(0, ChatViewModel::ThumbnailRole).value<QImage>();
    EXPECT_EQ(poster.size(), QSize(64, 48));
    const QColor middle = poster.pixelColor(32, 24);
    EXPECT_GT(middle.blue(), 200);
    EXPECT_LT(middle.red(), 40);
    // The linked film is left out of the backup's index, so nothing asks
    // the cache for it and its bubble has no poster.
    EXPECT_TRUE(chat.data(1, ChatViewModel::MediaPathRole).toString().isEmpty());
    EXPECT_FALSE(cache.contains(linked));
    EXPECT_TRUE(chat.data(1, ChatViewModel::ThumbnailRole).value<QImage>().isNull());
}

// A picture, a film with its stored still, a text: clicking the picture or
// the film asks for a closer look at the file; the film's bubble shows the
// still as its poster and never decodes the film itself on the way.
TEST(ChatView, PictureAndVideoBubblesAskForAPreviewAndTheVideoShowsItsPoster) {
    PictureBackup backup;
    fs::create_directories(backup.folder + "/cd");
    QImage still(80, 60, QImage::Format_RGB32);
    still.fill(Qt::darkRed);
    ASSERT_TRUE(still.save(QString::fromStdString(backup.folder + "/cd/still"), "JPG"));
    std::ofstream(backup.folder + "/cd/film") << "not a picture: a film";
    ResultFactory factory;
    factory.chat(1, "Ana");
    attachment(factory, 1, "beach.jpg", backup.folder + "/ab/picture");
    attachment(factory, 2, "surf.mp4", backup.folder + "/cd/film", Direction::Send, "look at this")
        .messageThumPath = factory.text("Media/surf.thumb");
    factory.media("Library/Media/surf.thumb", backup.folder + "/cd/still");
    factory.message(1, "just words", Direction::Receive);
    OpenedChat chat(factory.finish(SourceKind::Backup, backup.folder));
    ASSERT_EQ(chat.view.model().rowCount(), 3);

    gui::ThumbnailCache& cache = chat.view.thumbnails();
    const QString stillPath = QString::fromStdString(backup.folder + "/cd/still");
    ASSERT_TRUE(waitUntil([&] { return cache.contains(stillPath); }));
    EXPECT_EQ(chat.data(1, ChatViewModel::ThumbnailRole).value<QImage>().size(), QSize(80, 60));
    EXPECT_FALSE(cache.contains(QString::fromStdString(backup.folder + "/cd/film")));
    EXPECT_FALSE(cache.failed(QString::fromStdString(backup.folder + "/cd/film")));
    // The poster is painted inside the film's bubble.
    chat.view.messageList()->scrollToTop();
    const QRect poster = chat.view.mediaRect(chat.view.model().index(1));
    ASSERT_FALSE(poster.isEmpty());
    const QImage shown = chat.view.messageList()->viewport()->grab().toImage();
    const QPoint corner = (poster.topLeft() + QPoint(14, 14)) * shown.devicePixelRatio();
    EXPECT_NEAR(shown.pixelColor(corner).red(), QColor(Qt::darkRed).red(), 12) << "no poster";
    EXPECT_LT(shown.pixelColor(corner).green(), 24) << "no poster painted";

    QSignalSpy asked(&chat.view, &gui::ChatView::previewRequested);
    QListView* list = chat.view.messageList();
    for (const int row : {0, 1, 2}) {
        const QModelIndex index = chat.view.model().index(row);
        const QRect media = chat.view.mediaRect(index);
        const QPoint at = media.isEmpty() ? list->visualRect(index).center() : media.center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    ASSERT_EQ(asked.count(), 2) << "the text bubble asked for a preview, or a media one did not";
    EXPECT_EQ(asked[0][0].toString().toStdString(), backup.folder + "/ab/picture");
    EXPECT_EQ(asked[0][1].toString(), "beach.jpg");
    EXPECT_EQ(asked[1][0].toString().toStdString(), backup.folder + "/cd/film");
    EXPECT_EQ(asked[1][1].toString(), "surf.mp4");
    // Enter on the focused bubble does what a click does.
    list->setCurrentIndex(chat.view.model().index(0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(asked.count(), 3);
}

// A selection that arrives while a conversation is still being opened
// opens nothing: the first one is shown, and once it is, a new selection
// opens again.
TEST(ChatView, ASelectionWhileAConversationOpensOpensNothing) {
    ResultFactory factory;
    factory.chat(1, "Ana");
    factory.message(1, "from Ana");
    factory.chat(2, "Bo");
    factory.message(2, "from Bo");
    gui::QtUiPort ui;
    ResultPages pages(ui);
    gui::ChatView view(pages);
    pages.setSource(factory.finish());
    // The first row opens on a worker that hands the conversation over on
    // this thread, which no event has been processed on yet.
    pages.actClickChat();
    view.showConversationOnceOpened();
    ASSERT_TRUE(pages.bstartloadChat());
    pages.tableViewSelectionDidChange(1);
    view.showConversationOnceOpened();
    ASSERT_TRUE(waitUntil([&] { return view.model().conversation() != nullptr; }));
    QTest::qWait(100);  // a second opener, had one started, would be done by now
    EXPECT_EQ(view.title()->text(), "Ana");
    ASSERT_EQ(view.model().rowCount(), 1);
    EXPECT_EQ(view.model().data(view.model().index(0), ChatViewModel::TextRole).toString(),
              "from Ana");

    pages.tableViewSelectionDidChange(1);
    view.showConversationOnceOpened();
    ASSERT_TRUE(waitUntil([&] { return view.title()->text() == "Bo"; }));
    EXPECT_EQ(view.model().data(view.model().index(0), ChatViewModel::TextRole).toString(),
              "from Bo");
}

}  // namespace
}  // namespace vessamo::test
