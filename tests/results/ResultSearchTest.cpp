#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "results/ResultSearch.h"
#include "support/QueuedUiPort.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using QueuedSearchUiPort = test::QueuedUiPort;

KTWhatsAppFavContactPtr fav(std::string name, std::string id) {
    auto node = std::make_shared<KTWhatsAppFavContact>();
    node->contactName = std::move(name);
    node->whatsAppID = std::move(id);
    return node;
}

KTContactNodePtr contact(std::string name, std::string phone) {
    auto node = std::make_shared<KTContactNode>();
    node->contactName = std::move(name);
    node->contactPhone = std::move(phone);
    return node;
}

KTWhatsAppCovNodePtr chat(std::string name, std::optional<std::string> subject) {
    auto node = std::make_shared<KTWhatsAppCovNode>();
    node->currentChatName = std::move(name);
    node->currentSubject = std::move(subject);
    node->bDeleted = true;  // nothing to fill when the page opens it
    return node;
}

template <typename T>
std::vector<std::string> namesOf(const std::vector<T>& rows) {
    std::vector<std::string> names;
    for (const T& row : rows) {
        names.push_back(row->contactName);
    }
    return names;
}

class ResultSearchTest : public ::testing::Test {
protected:
    void search(const std::string& text) {
        finder.controlTextDidChange(text);
        finder.waitUntilIdle();
        pages.waitForChatLoad();
    }

    test::RecordingUiPort ui;
    ResultPages pages{ui};
    ResultSearch finder{ui, pages};
};

TEST_F(ResultSearchTest, FavouritesByNameOrIdAndRestoreOnEmptyText) {
    ResultSourceLists lists;
    lists.WhatsAppFacContactArray = {fav("Joanne", "4471"), fav("Bob", "3300"),
                                     fav("Zed", "99ANN")};
    pages.setSource(lists);
    pages.actClickFavtContact();
    search("ANN");
    EXPECT_EQ(namesOf(pages.favRows()), (std::vector<std::string>{"Joanne", "Zed"}));
    EXPECT_FALSE(finder.bSearchThreadStart());
    search("");
    EXPECT_EQ(namesOf(pages.favRows()), (std::vector<std::string>{"Joanne", "Bob", "Zed"}));
}

TEST_F(ResultSearchTest, ContactsByPhoneFragmentSelectFirstRow) {
    ResultSourceLists lists;
    lists.WhatsAppContactArray = {contact("Ann", "+44 7700 1"), contact("Bob", "555"),
                                  contact("Cy", "07700")};
    pages.setSource(lists);
    pages.actContact();
    search("7700");
    EXPECT_EQ(namesOf(pages.contactRows()), (std::vector<std::string>{"Ann", "Cy"}));
    ASSERT_EQ(pages.selectedRow(), 0u);
    EXPECT_EQ(pages.details().lines.front(), "Ann");
    search("nobody");
    EXPECT_TRUE(pages.contactRows().empty());
}

TEST_F(ResultSearchTest, ResourcesByNameOrCardText) {
    ResultSourceLists lists;
    lists.WhatsAppMediaArray = {{"AppDomain", "Media/holiday.jpg", "/k/1"}};
    auto card = std::make_shared<KTWhatsAppResourceNode>();
    card->nodeName = "Card";
    card->nodeType = "VCard";
    card->textContent = "BEGIN:VCARD\nFN:Holiday Inn\nEND:VCARD";
    auto place = std::make_shared<KTWhatsAppResourceNode>();
    place->nodeName = "Location";
    place->textContent = "51.5 -0.1";
    lists.deletedResources = {card, place};
    pages.setSource(lists);
    pages.actClickResource();
    search("holiday");
    ASSERT_EQ(pages.resourceRows().size(), 2u);
    EXPECT_EQ(pages.resourceRows()[0]->nodeName, "holiday.jpg");
    EXPECT_EQ(pages.resourceRows()[1], card);
}

TEST_F(ResultSearchTest, ConversationsByNameOrSubjectIncludingRecovered) {
    ResultSourceLists lists;
    lists.WhatsAppConvChatArray = {chat("Family", "Sunday LUNCH"), chat("Work", std::nullopt),
                                   chat("Lunch club", "")};
    lists.deletedConversations = {chat("lunchbox", std::nullopt)};
    pages.setSource(lists);
    pages.actClickChat();
    pages.waitForChatLoad();
    search("lunch");
    ASSERT_EQ(pages.chatRows().size(), 3u);
    EXPECT_EQ(pages.chatRows()[0]->currentChatName, "Family");
    EXPECT_EQ(pages.chatRows()[1]->currentChatName, "Lunch club");
    EXPECT_EQ(pages.chatRows()[2]->currentChatName, "lunchbox");
    search("");
    EXPECT_EQ(pages.chatRows().size(), 4u);
}

TEST(ResultSearch, LaterTextWinsOverAnOvertakenSearch) {
    QueuedSearchUiPort ui;
    ResultPages pages(ui);
    ResultSearch finder(ui, pages);
    ResultSourceLists lists;
    lists.WhatsAppFacContactArray = {fav("Joanne", "1"), fav("Bob", "2"), fav("Bobby", "3")};
    pages.setSource(lists);
    pages.actClickFavtContact();

    finder.controlTextDidChange("jo");
    ui.waitForQueued(1);  // the first search has finished walking
    EXPECT_TRUE(finder.bSearchThreadStart());
    finder.controlTextDidChange("bob");
    ui.waitForQueued(2);
    // The older search's results arrive last and must not replace the newer.
    ui.pump(true);
    finder.waitUntilIdle();
    EXPECT_EQ(namesOf(pages.favRows()), (std::vector<std::string>{"Bob", "Bobby"}));

    // Clearing the field while a search waits restores the full list for good.
    finder.controlTextDidChange("joanne");
    ui.waitForQueued(1);
    finder.controlTextDidChange("");
    ui.pump(true);
    finder.waitUntilIdle();
    EXPECT_EQ(pages.favRows().size(), 3u);
}

TEST(ResultSearch, ManyKeystrokesLeaveOnlyTheLastResults) {
    test::RecordingUiPort ui;
    ResultPages pages(ui);
    ResultSearch finder(ui, pages);
    ResultSourceLists lists;
    for (int i = 0; i < 2000; ++i) {
        lists.WhatsAppContactArray.push_back(contact('n' + std::to_string(i), ""));
    }
    pages.setSource(lists);
    pages.actContact();
    for (const char* text : {"1", "12", "123", "1234", "n19"}) {
        finder.controlTextDidChange(text);
    }
    finder.waitUntilIdle();
    ASSERT_EQ(pages.contactRows().size(), 111u);  // n19, n190..n199, n1900..n1999
    for (const KTContactNodePtr& row : pages.contactRows()) {
        EXPECT_EQ(row->contactName.rfind("n19", 0), 0u);
    }
}

}  // namespace
}  // namespace vessamo
