#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "results/ResultRows.h"
#include "results/ResultSearch.h"
#include "support/QueuedUiPort.h"

namespace vessamo {
namespace {

using test::namesOf;
using Texts = std::vector<std::string>;

class ResultSearchTest : public ::testing::Test {
protected:
    ~ResultSearchTest() override { endWhileAnswering(); }

    // Types a text and shows what its search sends, as the event loop would.
    void type(const std::string& text) {
        finder->controlTextDidChange(text);
        ui.waitForQueued(1);
        ui.pump();
    }
    // Lets the search go while answering the hops its workers still wait
    // for, as a running event loop would.
    void endWhileAnswering() {
        std::atomic<bool> gone = false;
        std::jthread ender([&] {
            finder.reset();
            gone = true;
        });
        while (!gone) {
            ui.pump();
            std::this_thread::yield();
        }
    }

    test::QueuedUiPort ui;
    test::ResultFactory make;
    ResultPages pages{ui};
    std::unique_ptr<ResultSearch> finder = std::make_unique<ResultSearch>(ui, pages);
};

// Each list is searched in either of its two fields, in any case, as a plain
// substring, recovered records included; an empty text shows it whole again.
TEST_F(ResultSearchTest, FiltersTheShowingListByEitherField) {
    make.favourite("Joanne", "4471");
    make.favourite("Bob", "3300");
    make.favourite("Zed", "99ANN");
    make.contact("Ann", "+44 7700 1");
    make.contact("Bob", "555");
    make.contact("Cy", "07700");
    make.call("Ann", "1");
    make.media("Message/Media/holiday.jpg", "/k/1");
    make.media("Message/Media/work.jpg", "/k/2");
    KTWhatsAppNode card = test::lostMessage(make, 9, "lunchbox");
    card.vcardName = make.text("Card");
    card.vcardInfo = make.text("BEGIN:VCARD\nFN:Holiday Inn\nEND:VCARD");
    make.recovered(card);
    make.chat(1, "Family").currentSubject = make.text("Sunday LUNCH");
    make.chat(2, "Work").currentSubject = std::nullopt;
    make.chat(3, "Lunch club");
    pages.setSource(make.finish());

    pages.actClickFavtContact();
    type("ANN");
    EXPECT_EQ(namesOf(pages.favRows()), (Texts{"Joanne", "Zed"}));
    finder->controlTextDidChange("");
    EXPECT_EQ(namesOf(pages.favRows()), (Texts{"Joanne", "Bob", "Zed"}));

    // The contacts page also selects the first row found.
    pages.actContact();
    pages.tableViewSelectionDidChange(1);
    type("7700");
    EXPECT_EQ(namesOf(pages.contactRows()), (Texts{"Ann", "Cy"}));
    EXPECT_EQ(pages.selectedRow(), 0u);
    EXPECT_EQ(pages.details().lines.front(), "Ann");
    type("nobody");
    EXPECT_TRUE(pages.contactRows().empty());

    pages.actClickResource();
    type("holiday");
    EXPECT_EQ(namesOf(pages.resourceRows()), (Texts{"holiday.jpg", "Card"}));

    pages.actClickChat();
    ui.waitForQueued(1);  // the first chat opens
    ui.pump();
    type("lunch");
    EXPECT_EQ(namesOf(pages.chatRows()), (Texts{"Family", "Lunch club", "lunchbox"}));
    type("");  // the chat list comes back and opens its first chat again
    EXPECT_EQ(pages.chatRows().size(), 4u);

    pages.actCallHistory();
    finder->controlTextDidChange("Ann");  // the calls page has no search
    EXPECT_EQ(pages.callRows().size(), 1u);
}

TEST_F(ResultSearchTest, LaterTextWinsOverAnOvertakenSearch) {
    make.favourite("Joanne", "1");
    make.favourite("Bob", "2");
    make.favourite("Bobby", "3");
    const ScanResultPtr result = make.finish();
    pages.setSource(result);
    pages.actClickFavtContact();

    finder->controlTextDidChange("jo");
    ui.waitForQueued(1);  // the first search has walked its list
    finder->controlTextDidChange("bob");
    ui.waitForQueued(2);
    ui.pump(true);  // the older results arrive last and must not win
    EXPECT_EQ(namesOf(pages.favRows()), (Texts{"Bob", "Bobby"}));

    // Neither after the field was cleared, nor over lists shown no longer.
    finder->controlTextDidChange("joanne");
    ui.waitForQueued(1);
    finder->controlTextDidChange("");
    ui.pump();
    EXPECT_EQ(pages.favRows().size(), 3u);
    finder->controlTextDidChange("bob");
    ui.waitForQueued(1);
    pages.setSource(nullptr);
    pages.setSource(result);
    pages.actClickFavtContact();
    ui.pump();
    EXPECT_EQ(pages.favRows().size(), 3u);
}

TEST_F(ResultSearchTest, ManyKeystrokesLeaveOnlyTheLastResults) {
    for (int i = 0; i < 2000; ++i) {
        make.contact(std::string("n").append(std::to_string(i)), "");
    }
    pages.setSource(make.finish());
    pages.actContact();
    for (const char* text : {"1", "12", "123", "1234", "n19"}) {
        finder->controlTextDidChange(text);
    }
    while (pages.contactRows().empty()) {  // overtaken searches stop or show nothing
        ui.waitForQueued(1);
        ui.pump();
    }
    endWhileAnswering();
    ASSERT_EQ(pages.contactRows().size(), 111u);  // n19, n190..n199, n1900..n1999
    for (const KTContactNode* row : pages.contactRows()) {
        EXPECT_TRUE(row->contactName.starts_with("n19")) << row->contactName;
    }
}

// The view hears of every change of the showing list, the late results
// included, and of nothing an overtaken search found.
TEST_F(ResultSearchTest, TellsTheViewWhenTheShowingListWasReplaced) {
    make.favourite("Joanne", "1");
    make.favourite("Bob", "2");
    pages.setSource(make.finish());
    pages.actClickFavtContact();
    std::vector<size_t> rowsWhenTold;
    finder->setRowsReplacedObserver([&] { rowsWhenTold.push_back(pages.favRows().size()); });

    type("jo");  // emptied at once, then filled with what was found
    EXPECT_EQ(rowsWhenTold, (std::vector<size_t>{0, 1}));

    rowsWhenTold.clear();
    finder->controlTextDidChange("b");
    ui.waitForQueued(1);
    finder->controlTextDidChange("");  // the whole list before "b" arrives
    ui.pump(true);
    EXPECT_EQ(rowsWhenTold, (std::vector<size_t>{0, 2}));

    rowsWhenTold.clear();
    pages.actCallHistory();
    finder->controlTextDidChange("Bob");  // nothing to search, nothing replaced
    EXPECT_TRUE(rowsWhenTold.empty());
}

}  // namespace
}  // namespace vessamo
