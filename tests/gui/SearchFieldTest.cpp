// The search field of the result view as a person uses it: typing filters
// the list that shows, by either of its two fields and in any case; clearing
// the field gives the whole list back; another list empties the field.
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableView>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ResultListModels.h"
#include "ResultSearchField.h"
#include "ScannedSource.h"

namespace vessamo::test {
namespace {

struct Fields {
    std::string first;
    std::string second;
};

bool contains(const std::string& field, const QString& term) {
    return QString::fromStdString(field).contains(term, Qt::CaseInsensitive);
}

// A few letters of some record's field that some records have and others
// lack, so the search has something to leave out; in upper case, which the
// search must not mind.
template <typename T>
QString discriminatingTerm(const std::vector<const T*>& all,
                           const std::function<Fields(const T&)>& fieldsOf, bool fromSecond) {
    for (const T* record : all) {
        const Fields fields = fieldsOf(*record);
        const QString source = QString::fromStdString(fromSecond ? fields.second : fields.first);
        for (int at = 0; at + 3 <= source.size(); ++at) {
            const QString term = source.mid(at, 3).toUpper();
            if (term.trimmed().size() < 3) {
                continue;
            }
            size_t matches = 0;
            for (const T* other : all) {
                const Fields o = fieldsOf(*other);
                matches += contains(o.first, term) || contains(o.second, term) ? 1 : 0;
            }
            if (matches > 0 && matches < all.size()) {
                return term;
            }
        }
    }
    return {};
}

// What a person sees of the list: the count beside the title and, on the
// pages with a table, the table's own rows.
bool showsRows(gui::ResultsPage& page, ResultCategory category, size_t rows) {
    const QString count = QLocale().toString(static_cast<qulonglong>(rows)) + " ";
    if (!page.countLabel()->text().startsWith(count)) {
        return false;
    }
    return category == ResultCategory::Attachments ||
           page.table()->verticalHeader()->count() == static_cast<int>(rows);
}

void clearByKeyboard(gui::ResultSearchField& field) {
    field.setFocus();
    QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&field, Qt::Key_Backspace);
}

// Types a term into the field of the category's page and checks the rows
// that show, in the pages and in the table's model, then clears the field.
template <typename T>
void searchAndRestore(GuiHarness& harness, ResultCategory category,
                      const std::function<const std::vector<const T*>&()>& rowsShown,
                      const std::function<Fields(const T&)>& fieldsOf, bool termFromSecond) {
    gui::ResultsPage& page = harness.window().results();
    gui::ResultSearchField& field = *page.searchField();
    const QAbstractItemModel& model = *page.modelOf(category);
    const std::vector<const T*> all = rowsShown();
    ASSERT_GE(all.size(), 2u);
    ASSERT_EQ(static_cast<size_t>(model.rowCount()), all.size());
    ASSERT_TRUE(waitUntil([&] { return field.isEnabled(); }, 2000));

    const QString term = discriminatingTerm(all, fieldsOf, termFromSecond);
    ASSERT_FALSE(term.isEmpty()) << "the sample offers no term to search for";
    std::vector<const T*> expected;
    for (const T* record : all) {
        const Fields fields = fieldsOf(*record);
        if (contains(fields.first, term) || contains(fields.second, term)) {
            expected.push_back(record);
        }
    }

    field.setFocus();
    QTest::keyClicks(&field, term);
    // Each keystroke searched; the last one's rows are the ones that stay.
    ASSERT_TRUE(waitUntil([&] { return rowsShown() == expected; }, 10000))
        << "searching " << term.toStdString() << " shows " << rowsShown().size() << " rows, not "
        << expected.size();
    EXPECT_EQ(static_cast<size_t>(model.rowCount()), expected.size());
    EXPECT_TRUE(waitUntil([&] { return showsRows(page, category, expected.size()); }, 5000))
        << "the page shows " << page.countLabel()->text().toStdString() << " after the search";

    clearByKeyboard(field);
    EXPECT_TRUE(field.text().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return rowsShown() == all; }, 5000));
    EXPECT_EQ(static_cast<size_t>(model.rowCount()), all.size());
    EXPECT_TRUE(waitUntil([&] { return showsRows(page, category, all.size()); }, 5000))
        << "the page shows " << page.countLabel()->text().toStdString() << " when cleared";
}

class SearchFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(openCategory(harness, SourceEntryType::ITunes, ResultCategory::Chats));
    }
    ResultPages& pages() { return harness.app().resultView().pages(); }
    void open(ResultCategory category) {
        ASSERT_TRUE(openCategory(harness, SourceEntryType::ITunes, category));
    }

    GuiHarness harness;
    OpeningSettler settler{harness};  // after the harness: goes before it
};

TEST_F(SearchFieldTest, ChatsByNameOrSubject) {
    searchAndRestore<KTWhatsAppCovNode>(
        harness, ResultCategory::Chats, [&]() -> const auto& { return pages().chatRows(); },
        [](const KTWhatsAppCovNode& chat) {
            return Fields{chat.currentChatName, chat.currentSubject.value_or(Text())};
        },
        false);
    // The count beside the title follows the whole list again.
    const size_t chats = pages().chatRows().size();
    EXPECT_EQ(harness.window().results().countLabel()->text(), QString("%1 chats").arg(chats));
}

TEST_F(SearchFieldTest, MediaByNameOrContent) {
    open(ResultCategory::Attachments);
    searchAndRestore<KTWhatsAppResourceNode>(
        harness,
        ResultCategory::Attachments, [&]() -> const auto& { return pages().resourceRows(); },
        [](const KTWhatsAppResourceNode& resource) {
            return Fields{resource.nodeName, resource.textContent};
        },
        false);
}

TEST_F(SearchFieldTest, ContactsByANumberFragment) {
    open(ResultCategory::Contacts);
    searchAndRestore<KTContactNode>(
        harness, ResultCategory::Contacts, [&]() -> const auto& { return pages().contactRows(); },
        [](const KTContactNode& contact) {
            return Fields{contact.contactName, contact.contactPhone};
        },
        true);
}

TEST_F(SearchFieldTest, WhatsAppContactsByName) {
    open(ResultCategory::Favorites);
    searchAndRestore<KTWhatsAppFavContact>(
        harness, ResultCategory::Favorites, [&]() -> const auto& { return pages().favRows(); },
        [](const KTWhatsAppFavContact& contact) {
            return Fields{contact.contactName, contact.whatsAppID};
        },
        false);
}

// Another list starts with an empty field and shows whole; the calls page,
// which has no search, turns the field off.
TEST_F(SearchFieldTest, AnotherListEmptiesTheFieldAndCallsHaveNone) {
    gui::ResultSearchField& field = *harness.window().results().searchField();
    field.setFocus();
    QTest::keyClicks(&field, "zzzz-nothing");
    ASSERT_TRUE(waitUntil([&] { return pages().chatRows().empty(); }, 10000));

    open(ResultCategory::Favorites);
    EXPECT_TRUE(field.text().isEmpty());
    const size_t favourites = pages().lists()->favourites.size();
    ASSERT_GT(favourites, 0u);
    EXPECT_EQ(pages().favRows().size(), favourites);

    open(ResultCategory::Calls);
    EXPECT_TRUE(waitUntil([&] { return !field.isEnabled(); }, 2000));
    open(ResultCategory::Chats);
    EXPECT_TRUE(waitUntil([&] { return field.isEnabled(); }, 2000));
    EXPECT_EQ(pages().chatRows().size(), pages().lists()->chats.size());
}

}  // namespace
}  // namespace vessamo::test
