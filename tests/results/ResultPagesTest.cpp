#include <gtest/gtest.h>

#include "common/Worker.h"
#include "export/HtmlChatExport.h"
#include "results/ResultPages.h"
#include "results/ResultRows.h"
#include "support/QueuedUiPort.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using test::contentsOf;
using test::namesOf;
using Texts = std::vector<std::string>;

class ResultPagesTest : public ::testing::Test {
protected:
    // Runs the chat opener's hop to the interface thread once it is queued.
    void showOpenedChat() {
        ui.waitForQueued(1);
        ui.pump();
    }
    void chatWithMessages(int32_t chat, std::string_view name, int count) {
        make.chat(chat, name);
        for (int i = 0; i < count; ++i) {
            make.message(chat, std::string(name) + std::to_string(i));
        }
    }

    test::QueuedUiPort ui;
    test::ResultFactory make;
    ResultPages pages{ui};
};

TEST_F(ResultPagesTest, MarksCountEditsNotRecordsAndFormatTheLabel) {
    for (const char* name : {"Ann", "Bob", "Cy"}) {
        make.contact(name, "");
    }
    make.favourite("Jo", "4");
    make.favourite("Al", "5");
    pages.setSource(make.finish());
    pages.actContact();
    EXPECT_FALSE(pages.selectionLabelVisible() || pages.saveEnabled());

    pages.setMarked({0, 1, 2}, true);
    pages.setMarked({1}, false);
    EXPECT_TRUE(pages.selectionLabelVisible() && pages.saveEnabled());
    EXPECT_EQ(pages.selectionLabelText(), "You select 2 files in the recovery results.");
    EXPECT_TRUE(pages.isMarked(0) && !pages.isMarked(1) && !pages.isMarked(9));
    // A marked row marked again counts again; rows past the end count nothing.
    pages.setMarked({0}, true);
    EXPECT_EQ(pages.selectedFilesNum(), 3);
    pages.setMarked({0, 2, 7}, false);
    pages.setMarked({0}, false);
    EXPECT_EQ(pages.selectedFilesNum(), 0);
    EXPECT_FALSE(pages.selectionLabelVisible() || pages.saveEnabled());
    EXPECT_EQ(pages.selectionLabelText(), "");
    EXPECT_TRUE(pages.markedContacts().empty());

    // Select-all acts on its own list's rows, whichever page is showing.
    pages.ClickSelectAllContact(true);
    pages.actClickFavtContact();
    pages.ClickSelectAllFavtContact(true);
    EXPECT_EQ(pages.selectionLabelText(), "You select 5 files in the recovery results.");
    pages.ClickSelectAllContact(false);
    EXPECT_EQ(pages.selectedFilesNum(), 2);
    EXPECT_TRUE(pages.markedContacts().empty());
    EXPECT_EQ(namesOf(pages.markedFavourites()), (Texts{"Jo", "Al"}));
}

TEST_F(ResultPagesTest, ExportsTakeTheSelectedChatAndMarkedRecordsInListOrder) {
    for (const auto& [chat, name] : {std::pair{1, "A"}, {2, "B"}, {3, "C"}}) {
        make.chat(chat, name);
    }
    test::recover(make, 9, "R9", "gone");
    KTWhatsAppNode card = test::lostMessage(make, 10, "S10");
    card.vcardName = make.text("Carl");
    card.vcardInfo = make.text("BEGIN:VCARD");
    make.recovered(card);
    make.media("Message/Media/a.jpg", "/src/a");
    make.media("Message/Media/b.opus", "/src/b");
    pages.setSource(make.finish());

    pages.actClickChat();  // row 0 selected, and opened
    showOpenedChat();
    EXPECT_EQ(namesOf(pages.chatsForExport()), Texts{"A"});
    pages.setMarked({2, 0}, true);
    EXPECT_EQ(namesOf(pages.chatsForExport()), (Texts{"A", "C"}));
    pages.tableViewSelectionDidChange(3);
    showOpenedChat();
    EXPECT_EQ(namesOf(pages.chatsForExport()), (Texts{"A", "C", "R9"}));
    EXPECT_TRUE(pages.deletedConversationsMarked().empty());  // selected is not marked
    pages.setMarked({4}, true);
    EXPECT_EQ(namesOf(pages.deletedConversationsMarked()), Texts{"S10"});

    // Another page showing: its selected row names no chat; marks stay.
    pages.actClickResource();
    EXPECT_EQ(namesOf(pages.chatsForExport()), (Texts{"A", "C", "S10"}));
    EXPECT_EQ(namesOf(pages.resourceRows()), (Texts{"a.jpg", "b.opus", "Carl"}));
    EXPECT_EQ(pages.resourceRows()[0]->nodePath, "/src/a");
    EXPECT_EQ(pages.resourceRows()[0]->nodeType, "Photo");
    pages.setMarked({2, 0}, true);
    EXPECT_EQ(namesOf(pages.markedResources()), (Texts{"a.jpg", "Carl"}));
    pages.actClickResource();  // refilled: the same entries, still marked
    EXPECT_TRUE(pages.isMarked(0));

    pages.setMediaSelection({1, 5});
    const std::vector<IKImageItem> media = pages.selectedMedia();
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0].fileName, "b.opus");
}

TEST_F(ResultPagesTest, OnlyDeletedFilterAndScroller) {
    make.call("Live", "1");
    make.call("Gone", "2").bDeleted = true;
    make.contact("Ann", "1");
    make.contact("Bob", "2").bDeleted = true;
    for (int i = 0; i < 13; ++i) {
        make.favourite("f", "");
    }
    pages.setSource(make.finish());
    pages.actCallHistory();
    EXPECT_EQ(pages.callRows().size(), 2u);
    pages.setOnlyDeleted(true);
    pages.actCallHistory();
    ASSERT_EQ(pages.callRows().size(), 1u);
    EXPECT_EQ(pages.callRows()[0]->callName, "Gone");
    pages.actContact();
    EXPECT_EQ(namesOf(pages.contactRows()), Texts{"Bob"});
    EXPECT_EQ(pages.details().lines.front(), "Bob");  // the first row is selected

    pages.actClickFavtContact();
    EXPECT_FALSE(pages.scrollerVisible());
    test::ResultFactory more;
    for (int i = 0; i < 14; ++i) {
        more.favourite("f", "");
    }
    pages.setSource(more.finish());
    EXPECT_TRUE(pages.favRows().empty());  // nothing shown points into the old result
    pages.actClickFavtContact();
    EXPECT_TRUE(pages.scrollerVisible());
}

// Each conversation shows its own messages: live, starred, recovered. A
// selection while one opens opens nothing and is not remembered.
TEST_F(ResultPagesTest, OpeningShowsEachConversationsOwnMessages) {
    chatWithMessages(1, "live", 3);
    make.state().wpConvChatArray.push_back(makeStarredConversation());
    make.message(2, "starred").bStarredMessage = true;
    test::recover(make, 1, "Ann", "recovered 1");
    test::recover(make, 1, "Ann", "recovered 2");
    pages.setSource(make.finish());
    pages.actClickChat();
    ui.waitForQueued(1);
    pages.tableViewSelectionDidChange(1);
    ui.pump();
    EXPECT_FALSE(pages.bstartloadChat());
    EXPECT_EQ(contentsOf(pages.chatView().shown), (Texts{"live0", "live1", "live2"}));
    for (const auto& [row, shown] : {std::pair{size_t{1}, Texts{"starred"}},
                                     {size_t{2}, Texts{"recovered 1", "recovered 2"}}}) {
        pages.tableViewSelectionDidChange(row);
        showOpenedChat();
        EXPECT_EQ(pages.chatView().conversation, pages.chatRows()[row]);
        EXPECT_EQ(contentsOf(pages.chatView().shown), shown) << row;
    }
}

TEST_F(ResultPagesTest, ALateOpenerShowsNothingAfterHomeOrAnotherResult) {
    chatWithMessages(1, "First", 2);
    const ScanResultPtr first = make.finish();
    for (const bool home : {true, false}) {
        pages.setSource(first);
        pages.actClickChat();
        ui.waitForQueued(1);
        if (home) {
            EXPECT_TRUE(pages.actHome());
        } else {
            pages.setSource(nullptr);
        }
        ui.pump();
        EXPECT_FALSE(pages.bstartloadChat());
        EXPECT_EQ(pages.chatView().conversation, nullptr);
    }
}

// The details of a media row: the extension, in any case, decides how the
// file is shown. What the details say of people is checked on the pane.
TEST_F(ResultPagesTest, MediaDetailsFollowTheExtension) {
    for (const char* name : {"a.JPG", "b.opus", "c.mp4", "d.png"}) {
        make.media("Message/Media/" + std::string(name), "/src/" + std::string(name));
    }
    KTWhatsAppNode place = test::lostMessage(make, 3, "Eve");
    place.locationInfo = make.text("52.5 13.4");
    make.recovered(place);
    pages.setSource(make.finish());

    pages.actClickResource();
    EXPECT_EQ(pages.mediaBroswerArray().size(), 4u);
    using Look = RowDetails::Look;
    for (const auto& [row, look, picture] : {std::tuple{0, Look::Image, "/src/a.JPG"},
                                             {1, Look::FileIcon, "/src/b.opus"},
                                             {2, Look::Movie, "/src/c.mp4"},
                                             {3, Look::Image, "/src/d.png"},
                                             {4, Look::Text, ""}}) {
        pages.tableViewSelectionDidChange(static_cast<size_t>(row));
        EXPECT_EQ(pages.details().look, look) << row;
        EXPECT_EQ(pages.details().picturePath, picture) << row;
    }
    EXPECT_EQ(pages.details().text, "52.5 13.4");
}

TEST_F(ResultPagesTest, GoingHomeAsksAndKeepsOnlyTheSourcesOwnLists) {
    make.contact("Ann", "1");
    make.contact("Bob", "2");
    make.chat(1, "Live");
    test::recover(make, 8, "Recovered", "gone");
    const ScanResultPtr result = make.finish();
    ui.scriptedAnswers = {AlertAnswer{1, false}};  // "Cancel"
    pages.setSource(result);
    pages.actContact();
    pages.setMarked({0}, true);

    EXPECT_FALSE(pages.actHome());
    ASSERT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(ui.alerts[0].title,
              "Are you sure you want to go back to Home? If Back, the scanning results will not "
              "be saved.");
    EXPECT_EQ(ui.alerts[0].buttons, (Texts{" Back ", "Cancel"}));
    EXPECT_EQ(pages.selectedFilesNum(), 1);
    EXPECT_EQ(pages.contactRows().size(), 2u);
    EXPECT_FALSE(pages.homeShown());

    EXPECT_TRUE(pages.actHome());  // default answer: " Back "
    EXPECT_TRUE(pages.homeShown() && pages.windowFixed());
    EXPECT_EQ(pages.selectedFilesNum(), 0);
    EXPECT_TRUE(pages.contactRows().empty());
    EXPECT_EQ(pages.currentTableView(), ResultCategory::None);
    // Shown again, as the same result or after another: its own lists
    // without the recovered ones, nothing marked.
    for (const bool afterAnother : {false, true}) {
        if (afterAnother) {
            pages.setSource(nullptr);
        }
        pages.setSource(result);
        EXPECT_FALSE(pages.homeShown());
        pages.actContact();
        EXPECT_EQ(pages.contactRows().size(), 2u);
        EXPECT_TRUE(pages.markedContacts().empty());
        EXPECT_EQ(namesOf(pages.lists()->chats), Texts{"Live"});
    }
}

// The opener, the interface and an export share nothing but the immutable
// result: chats opened and paged while an HTML export reads them give
// ThreadSanitizer nothing to report, and both finish whole.
TEST_F(ResultPagesTest, ChatsOpenWhileAnHtmlExportReadsThem) {
    test::TempHome home;
    for (int32_t chat = 1; chat <= 4; ++chat) {
        chatWithMessages(chat, std::string("c").append(std::to_string(chat)), 80);
    }
    pages.setSource(make.finish());
    const ResultListsPtr lists = pages.lists();
    ExportReport report;
    Worker exporter;
    exporter.start([&](const std::stop_token& stop) {
        report = exportChatsAsHtml(*lists->result, lists->chats, home.path() + "/out",
                                   ExportControl{stop, nullptr});
    });
    pages.actClickChat();
    showOpenedChat();
    for (size_t row = 1; row < 4; ++row) {
        pages.tableViewSelectionDidChange(row);
        showOpenedChat();
        pages.ClickMoreBtn();
        EXPECT_EQ(pages.chatView().shown.size(), 50u);
    }
    exporter.join();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_GE(report.filesWritten, 4u);
}

}  // namespace
}  // namespace vessamo
