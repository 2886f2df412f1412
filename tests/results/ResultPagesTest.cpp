#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "results/ResultPages.h"
#include "support/QueuedUiPort.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using test::QueuedUiPort;

KTWhatsAppCovNodePtr chat(int32_t id, std::string name) {
    auto node = std::make_shared<KTWhatsAppCovNode>();
    node->chatID = id;
    node->currentChatName = std::move(name);
    return node;
}

std::vector<KTWhatsAppNodePtr> messagesOf(int32_t chatID, int count) {
    std::vector<KTWhatsAppNodePtr> messages;
    for (int i = 0; i < count; ++i) {
        auto message = std::make_shared<KTWhatsAppNode>();
        message->chatID = chatID;
        message->messageContent = 'm' + std::to_string(i);
        messages.push_back(message);
    }
    return messages;
}

KTContactNodePtr contact(std::string name, bool deleted = false) {
    auto node = std::make_shared<KTContactNode>();
    node->contactName = std::move(name);
    node->bDeleted = deleted;
    return node;
}

ResultSourceLists threeContacts() {
    ResultSourceLists lists;
    lists.WhatsAppContactArray = {contact("Ann"), contact("Bob", true), contact("Cy")};
    return lists;
}

TEST(ResultPages, MarkingCountsEditsAndFormatsTheLabel) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    pages.setSource(threeContacts());
    pages.actContact();
    EXPECT_FALSE(pages.selectionLabelVisible());
    EXPECT_FALSE(pages.saveEnabled());

    pages.setMarked({0, 1, 2}, true);
    pages.setMarked({1}, false);
    EXPECT_EQ(pages.selectedFilesNum(), 2);
    EXPECT_TRUE(pages.saveEnabled());
    EXPECT_EQ(pages.selectionLabelText(), "You select 2 files in the recovery results.");
    EXPECT_TRUE(pages.contactRows()[0]->bSelected);
    EXPECT_FALSE(pages.contactRows()[1]->bSelected);

    // The count follows the edits, not the records: a marked row counts twice.
    pages.setMarked({0}, true);
    EXPECT_EQ(pages.selectedFilesNum(), 3);
    pages.setMarked({0, 2, 7}, false);  // row 7 does not exist
    pages.setMarked({0}, false);
    EXPECT_EQ(pages.selectedFilesNum(), 0);
    EXPECT_FALSE(pages.selectionLabelVisible());
    EXPECT_FALSE(pages.saveEnabled());
    EXPECT_EQ(pages.selectionLabelText(), "");
}

TEST(ResultPages, SelectAllMarksEveryRowOfItsList) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    ResultSourceLists lists = threeContacts();
    auto fav = std::make_shared<KTWhatsAppFavContact>();
    lists.WhatsAppFacContactArray = {fav, std::make_shared<KTWhatsAppFavContact>()};
    pages.setSource(lists);
    pages.actContact();
    pages.ClickSelectAllContact(true);
    EXPECT_EQ(pages.selectedFilesNum(), 3);
    for (const KTContactNodePtr& row : lists.WhatsAppContactArray) {
        EXPECT_TRUE(row->bSelected);
    }
    pages.actClickFavtContact();
    pages.ClickSelectAllFavtContact(true);
    EXPECT_EQ(pages.selectionLabelText(), "You select 5 files in the recovery results.");
    pages.ClickSelectAllContact(false);
    EXPECT_EQ(pages.selectedFilesNum(), 2);
    EXPECT_FALSE(lists.WhatsAppContactArray[0]->bSelected);
    EXPECT_TRUE(fav->bSelected);
}

TEST(ResultPages, OnlyDeletedFilterAppliesToCallsAndContacts) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    ResultSourceLists lists = threeContacts();
    auto liveCall = std::make_shared<KTCallHistoryNode>();
    auto deletedCall = std::make_shared<KTCallHistoryNode>();
    deletedCall->bDeleted = true;
    lists.WhatsAppCallArray = {liveCall, deletedCall};
    pages.setSource(lists);

    pages.actCallHistory();
    EXPECT_EQ(pages.callRows().size(), 2u);
    pages.setOnlyDeleted(true);
    pages.actCallHistory();
    ASSERT_EQ(pages.callRows().size(), 1u);
    EXPECT_EQ(pages.callRows()[0], deletedCall);
    pages.actContact();
    ASSERT_EQ(pages.contactRows().size(), 1u);
    EXPECT_EQ(pages.contactRows()[0]->contactName, "Bob");
    EXPECT_EQ(pages.details().lines.front(), "Bob");  // first row selected
}

TEST(ResultPages, ScrollerFromFourteenRows) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    ResultSourceLists lists;
    for (int i = 0; i < 13; ++i) {
        lists.WhatsAppFacContactArray.push_back(std::make_shared<KTWhatsAppFavContact>());
    }
    pages.setSource(lists);
    pages.actClickFavtContact();
    EXPECT_FALSE(pages.scrollerVisible());
    lists.WhatsAppFacContactArray.push_back(std::make_shared<KTWhatsAppFavContact>());
    pages.setSource(lists);
    pages.actClickFavtContact();
    EXPECT_TRUE(pages.scrollerVisible());
}

TEST(ResultPages, ChatPagesByTwentyFiveWithMoreButton) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    ResultSourceLists lists;
    lists.WhatsAppConvChatArray = {chat(4, "Ann")};
    lists.WhatsAppChatArray = messagesOf(4, 60);
    std::vector<KTWhatsAppNodePtr> all = lists.WhatsAppChatArray;
    pages.setSource(lists);
    pages.actClickChat();  // selects and opens the first conversation
    pages.waitForChatLoad();

    const ChatView& view = pages.chatView();
    ASSERT_EQ(view.shown.size(), 25u);
    EXPECT_EQ(view.shown.front(), all[35]);
    EXPECT_EQ(view.shown.back(), all[59]);
    EXPECT_TRUE(view.moreButton);
    pages.ClickMoreBtn();
    ASSERT_EQ(pages.chatView().shown.size(), 50u);
    EXPECT_EQ(pages.chatView().shown.front(), all[10]);
    EXPECT_TRUE(pages.chatView().moreButton);
    pages.ClickMoreBtn();
    ASSERT_EQ(pages.chatView().shown.size(), 60u);
    EXPECT_EQ(pages.chatView().shown, all);
    EXPECT_FALSE(pages.chatView().moreButton);
    EXPECT_FALSE(pages.bstartloadChat());
}

TEST(ResultPages, ChatPageAddsRecoveredConversationsAsTheyAre) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    ResultSourceLists lists;
    lists.WhatsAppConvChatArray = {chat(1, "Live")};
    KTWhatsAppCovNodePtr recovered = chat(1, "Recovered");
    recovered->bDeleted = true;
    recovered->appNodeArray = messagesOf(1, 2);
    lists.deletedConversations = {recovered};
    lists.WhatsAppChatArray = messagesOf(1, 3);
    pages.setSource(lists);
    pages.actClickChat();
    pages.waitForChatLoad();
    ASSERT_EQ(pages.chatRows().size(), 2u);
    EXPECT_EQ(pages.chatView().shown.size(), 3u);

    pages.tableViewSelectionDidChange(1);
    pages.waitForChatLoad();
    EXPECT_EQ(pages.chatView().conversation, recovered);
    EXPECT_EQ(recovered->appNodeArray.size(), 2u);  // never refilled from the live list
}

TEST(ResultPages, SelectionWhileOpeningOpensNothing) {
    QueuedUiPort ui;
    ResultPages pages(ui);
    ResultSourceLists lists;
    lists.WhatsAppConvChatArray = {chat(1, "First"), chat(2, "Second")};
    std::vector<KTWhatsAppNodePtr> messages = messagesOf(1, 2);
    std::vector<KTWhatsAppNodePtr> second = messagesOf(2, 1);
    messages.push_back(second[0]);
    lists.WhatsAppChatArray = messages;
    pages.setSource(lists);
    pages.actClickChat();
    ui.waitForQueued(1);
    EXPECT_TRUE(pages.bstartloadChat());
    pages.tableViewSelectionDidChange(1);  // ignored, not remembered
    ui.pump();
    pages.waitForChatLoad();
    EXPECT_FALSE(pages.bstartloadChat());
    EXPECT_EQ(pages.chatView().conversation->currentChatName, "First");
    EXPECT_FALSE(lists.WhatsAppConvChatArray[1]->hasload);

    pages.tableViewSelectionDidChange(1);
    ui.waitForQueued(1);
    ui.pump();
    pages.waitForChatLoad();
    EXPECT_EQ(pages.chatView().conversation->currentChatName, "Second");
    EXPECT_EQ(pages.chatView().shown, second);
}

TEST(ResultPages, RowDetailsTexts) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    ResultSourceLists lists;
    lists.WhatsAppMediaArray = {{"AppDomain", "Media/a.JPG", "/src/a"},
                                {"AppDomain", "Media/b.opus", "/src/b"}};
    auto card = std::make_shared<KTWhatsAppResourceNode>();
    card->nodeName = "Ann";
    card->nodeType = "VCard";
    card->textContent = "BEGIN:VCARD";
    lists.deletedResources = {card};
    auto fav = std::make_shared<KTWhatsAppFavContact>();
    fav->contactName = "Jo";
    fav->whatsAppID = "123";
    fav->contactStatu = "Hi";
    fav->contactImagePath = "Media/Profile/jo";
    lists.WhatsAppFacContactArray = {fav};
    pages.setSource(lists);
    pages.setFileKeyLookup([](const std::string& path) -> std::optional<std::string> {
        if (path == "Media/Profile/jo.thumb")
            return "/src/jo-thumb";
        return std::nullopt;
    });

    pages.actClickResource();
    ASSERT_EQ(pages.mediaBroswerArray().size(), 2u);
    pages.tableViewSelectionDidChange(0);
    EXPECT_EQ(pages.details().lines,
              (std::vector<std::string>{"File Name: a.JPG", "File Type: Photo"}));
    EXPECT_EQ(pages.details().look, RowDetails::Look::Image);
    EXPECT_EQ(pages.details().picturePath, "/src/a");
    pages.tableViewSelectionDidChange(1);
    EXPECT_EQ(pages.details().look, RowDetails::Look::FileIcon);
    pages.tableViewSelectionDidChange(2);
    EXPECT_EQ(pages.details().look, RowDetails::Look::Text);
    EXPECT_EQ(pages.details().text, "BEGIN:VCARD");

    pages.actClickFavtContact();
    pages.tableViewSelectionDidChange(0);
    EXPECT_EQ(pages.details().lines, (std::vector<std::string>{"Jo", "Phone: 123", "Status: Hi"}));
    EXPECT_EQ(pages.details().picturePath, "/src/jo-thumb");
    pages.setFileKeyLookup(nullptr);
    pages.tableViewSelectionDidChange(0);
    EXPECT_EQ(pages.details().picturePath, "contact");
}

TEST(ResultPages, GoingHomeAsksAndResets) {
    test::RecordingUiPort ui;
    ui.scriptedAnswers = {AlertAnswer{1, false}};  // "Cancel"
    ResultPages pages(ui);
    ResultSourceLists lists = threeContacts();
    lists.deletedConversations = {chat(8, "Recovered")};
    pages.setSource(lists);
    pages.actContact();
    pages.setMarked({0}, true);
    pages.recovredFilesNum = 4;

    EXPECT_FALSE(pages.actHome());
    ASSERT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(ui.alerts[0].title,
              "Are you sure you want to go back to Home? If Back, the scanning results will not "
              "be saved.");
    EXPECT_EQ(ui.alerts[0].buttons, (std::vector<std::string>{" Back ", "Cancel"}));
    EXPECT_EQ(pages.selectedFilesNum(), 1);
    EXPECT_EQ(pages.contactRows().size(), 3u);
    EXPECT_FALSE(pages.homeShown());

    EXPECT_TRUE(pages.actHome());  // default answer: " Back "
    EXPECT_TRUE(pages.homeShown());
    EXPECT_TRUE(pages.windowFixed());
    EXPECT_EQ(pages.selectedFilesNum(), 0);
    EXPECT_EQ(pages.recovredFilesNum, 0);
    EXPECT_TRUE(pages.contactRows().empty());
    EXPECT_EQ(pages.currentTableView(), ResultCategory::None);

    // The source's own lists come back without a scan, the recovered ones do not.
    pages.actContact();
    EXPECT_EQ(pages.contactRows().size(), 3u);
    EXPECT_EQ(pages.allChats().size(), 0u);
}

}  // namespace
}  // namespace vessamo
