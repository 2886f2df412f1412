// Marking records for the recovery as a person does it: the check box of a
// row, the select-all box of a list, the label that counts the marks and
// the save button it enables.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include "MarkedResultsFixture.h"
#include "SelectionBar.h"

namespace vessamo::test {
namespace {

QString labelOf(int count) {
    return QString("You select %1 files in the recovery results.").arg(count);
}

TEST(MarkingTest, ThreeRowsMarkedAndOneClearedCountTwoAndClearingAllHidesTheLabel) {
    MarkedResults results;
    results.show(ResultCategory::Contacts);
    gui::SelectionBar& bar = *results.page->selectionBar();
    QLabel* label = bar.selectionLabel();
    QPushButton* save = bar.saveButton();
    ASSERT_EQ(results.table()->rowCount(), MarkedResults::kContacts);
    EXPECT_FALSE(label->isVisible());
    EXPECT_FALSE(save->isEnabled());

    for (int row : {0, 1, 3}) {
        results.clickCheckBox(row);
        EXPECT_TRUE(results.checked(row)) << "row " << row;
    }
    EXPECT_FALSE(results.checked(2));
    EXPECT_EQ(label->text(), labelOf(3));
    EXPECT_TRUE(label->isVisible());
    EXPECT_TRUE(save->isEnabled());

    results.clickCheckBox(1);
    EXPECT_FALSE(results.checked(1));
    EXPECT_EQ(label->text(), labelOf(2));
    EXPECT_TRUE(label->isVisible());
    // The marks are the ones the recovery takes.
    const auto marked = results.pages().markedContacts();
    ASSERT_EQ(marked.size(), 2u);
    EXPECT_EQ(marked[0], results.pages().contactRows()[0]);
    EXPECT_EQ(marked[1], results.pages().contactRows()[3]);

    results.clickCheckBox(0);
    results.clickCheckBox(3);
    EXPECT_FALSE(label->isVisible());
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(results.pages().markedContacts().empty());
}

// The label counts records, not clicks: a box set to what it already shows
// changes nothing, and marks of several lists add up.
TEST(MarkingTest, TheCountIsTheMarkedRecordsOfEveryList) {
    MarkedResults results;
    results.show(ResultCategory::Chats);
    QAbstractItemModel* chats = results.table();
    const QModelIndex first = chats->index(0, gui::ResultListModel::CheckColumn);
    ASSERT_TRUE(chats->flags(first) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(chats->flags(chats->index(0, 1)) & Qt::ItemIsUserCheckable);
    ASSERT_TRUE(chats->setData(first, Qt::Checked, Qt::CheckStateRole));
    ASSERT_TRUE(chats->setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(results.page->selectionBar()->selectionLabel()->text(), labelOf(1));
    ASSERT_TRUE(chats->setData(first, Qt::Unchecked, Qt::CheckStateRole));
    ASSERT_TRUE(chats->setData(first, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(results.page->selectionBar()->saveButton()->isEnabled());

    results.clickCheckBox(2);
    results.show(ResultCategory::Calls);
    results.clickCheckBox(1);
    results.show(ResultCategory::Favorites);
    results.clickCheckBox(0);
    EXPECT_EQ(results.page->selectionBar()->selectionLabel()->text(), labelOf(3));
    // Back on the chats, the mark made there still shows.
    results.show(ResultCategory::Chats);
    EXPECT_TRUE(results.checked(2));
    EXPECT_FALSE(results.checked(0));
}

TEST(MarkingTest, EachListHasItsSelectAllBoxAndTheCallsHaveNone) {
    MarkedResults results;
    gui::SelectionBar& bar = *results.page->selectionBar();
    const struct {
        ResultCategory category;
        int rows;
    } lists[] = {{ResultCategory::Chats, MarkedResults::kChats},
                 {ResultCategory::Attachments, 3},
                 {ResultCategory::Contacts, MarkedResults::kContacts},
                 {ResultCategory::Favorites, MarkedResults::kFavourites}};
    int marked = 0;
    for (const auto& list : lists) {
        results.show(list.category);
        QCheckBox* box = bar.selectAllBox(list.category);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        for (const auto& other : lists) {
            if (other.category != list.category) {
                EXPECT_FALSE(bar.selectAllBox(other.category)->isVisible());
            }
        }
        EXPECT_FALSE(box->isChecked());
        box->click();
        marked += list.rows;
        EXPECT_EQ(results.pages().selectionLabelText(), labelOf(marked).toStdString());
        EXPECT_EQ(bar.selectionLabel()->text(), labelOf(marked));
        if (list.category != ResultCategory::Attachments) {
            for (int row = 0; row < list.rows; ++row) {
                EXPECT_TRUE(results.checked(row)) << "row " << row;
            }
        } else {
            EXPECT_EQ(results.pages().markedResources().size(), static_cast<size_t>(list.rows));
        }
    }
    results.show(ResultCategory::Calls);
    for (const auto& list : lists) {
        EXPECT_FALSE(bar.selectAllBox(list.category)->isVisible());
    }
    EXPECT_TRUE(bar.saveButton()->isEnabled());
}

// A select-all after single marks counts each record once, and clearing it
// afterwards leaves nothing counted that is not marked.
TEST(MarkingTest, SelectAllAfterSingleMarksCountsEachRecordOnce) {
    MarkedResults results;
    results.show(ResultCategory::Contacts);
    gui::SelectionBar& bar = *results.page->selectionBar();
    QCheckBox* box = bar.selectAllBox(ResultCategory::Contacts);
    results.clickCheckBox(1);
    results.clickCheckBox(2);
    box->click();
    EXPECT_EQ(bar.selectionLabel()->text(), labelOf(MarkedResults::kContacts));

    // One row cleared by hand: the list is no longer all marked.
    results.clickCheckBox(0);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(bar.selectionLabel()->text(), labelOf(MarkedResults::kContacts - 1));
    // The last row marked by hand makes the list whole again.
    results.clickCheckBox(0);
    EXPECT_TRUE(box->isChecked());

    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(bar.selectionLabel()->isVisible());
    EXPECT_FALSE(bar.saveButton()->isEnabled());
    // Marking one row now counts one, not less.
    results.clickCheckBox(3);
    EXPECT_EQ(bar.selectionLabel()->text(), labelOf(1));
    EXPECT_TRUE(bar.saveButton()->isEnabled());
}

}  // namespace
}  // namespace vessamo::test
