// Recovered messages in the desktop view, on a scanned backup whose chat
// database lost messages and a whole chat: the chat list tells the deleted
// chat apart, each recovered bubble says where it was found, and a picture
// whose media item is gone says so instead of standing empty.
#include <QFontMetrics>
#include <QLabel>
#include <QListView>
#include <QPushButton>

#include <gtest/gtest.h>

#include "ChatView.h"
#include "ChatViewModel.h"
#include "GuiTestSupport.h"
#include "MessageBubbleDelegate.h"
#include "QtUiPort.h"
#include "ResultListModels.h"
#include "export/DeletedChatSample.h"
#include "export/ReportOrigin.h"
#include "results/ResultPages.h"
#include "support/TestSupport.h"

namespace vessamo::test {
namespace {

using gui::ChatViewModel;

class RecoveredMessagesView : public ::testing::Test {
protected:
    void SetUp() override {
        result = scanBackupWithDeletedChat(home.path() + "/backup");
        ASSERT_TRUE(result);
        pages.setSource(result);
        pages.actClickChat();
        view.showConversationOnceOpened();
        // The first row opens on a worker; a selection meanwhile would be lost.
        ASSERT_TRUE(waitUntil(
            [&] { return !pages.bstartloadChat() && view.model().conversation() != nullptr; }));
        view.resize(640, 720);
        view.show();
    }

    // The list's row of the conversation with that key, recovered-only or not.
    [[nodiscard]] size_t rowOf(int32_t key, bool recoveredOnly) const {
        const auto& rows = pages.chatRows();
        for (size_t row = 0; row < rows.size(); ++row) {
            if (rows[row]->chatID == key && rows[row]->bDeleted == recoveredOnly) {
                return row;
            }
        }
        ADD_FAILURE() << "no row for the chat " << key;
        return 0;
    }

    // Opens the conversation at row with all its messages shown.
    ::testing::AssertionResult open(size_t row) {
        pages.tableViewSelectionDidChange(row);
        view.showConversationOnceOpened();
        // The opener's worker waits for this thread to take the chat over.
        if (!waitUntil([&] {
                return !pages.bstartloadChat() &&
                       view.model().conversation() == pages.chatRows()[row];
            })) {
            return ::testing::AssertionFailure() << "the conversation did not open";
        }
        // Each press brings a page of earlier messages; a chat of a few
        // hundred needs a few.
        for (int presses = 0; presses < 100 && view.moreButton()->isVisible(); ++presses) {
            view.moreButton()->click();
        }
        if (view.moreButton()->isVisible()) {
            return ::testing::AssertionFailure() << "More never showed every message";
        }
        return ::testing::AssertionSuccess();
    }

    [[nodiscard]] QVariant data(int row, int role) const {
        return view.model().data(view.model().index(row), role);
    }

    [[nodiscard]] gui::MessageBubbleDelegate::Layout layoutOf(int row) const {
        auto* delegate =
            static_cast<gui::MessageBubbleDelegate*>(view.messageList()->itemDelegate());
        QStyleOptionViewItem option;
        option.initFrom(view.messageList()->viewport());
        return delegate->layoutOf(option, view.model().index(row));
    }

    TempHome home;
    ScanResultPtr result;
    gui::QtUiPort ui;
    ResultPages pages{ui};
    gui::ChatView view{pages};
};

TEST_F(RecoveredMessagesView, TheDeletedChatIsListedAsSuchAndEachBubbleSaysWhereItWasFound) {
    gui::ChatListModel list(pages);
    const size_t deleted = rowOf(kDeletedChatKey, true);
    const size_t live = rowOf(kPictureChatKey, false);
    const auto cell = [&](size_t row, int column, int role = Qt::DisplayRole) {
        return list.index(static_cast<int>(row), column).data(role).toString();
    };
    EXPECT_TRUE(cell(deleted, gui::ChatListModel::Recovered).startsWith("Deleted chat"))
        << cell(deleted, gui::ChatListModel::Recovered).toStdString();
    EXPECT_FALSE(cell(live, gui::ChatListModel::Recovered).contains("Deleted"));
    EXPECT_EQ(cell(deleted, gui::ChatListModel::Name, Qt::ToolTipRole),
              "A deleted chat: only its recovered messages are left.");
    EXPECT_TRUE(cell(live, gui::ChatListModel::Name, Qt::ToolTipRole).isEmpty());

    ASSERT_TRUE(open(deleted));
    EXPECT_TRUE(view.countLabel()->text().startsWith("Deleted chat, recovered"));
    const MessageRange messages = result->messagesOf(*pages.chatRows()[deleted]);
    ASSERT_EQ(view.model().rowCount(), static_cast<int>(messages.size()));
    for (int row = 0; row < view.model().rowCount(); ++row) {
        SCOPED_TRACE(row);
        const QString tag = data(row, ChatViewModel::TagTextRole).toString();
        ASSERT_TRUE(tag.startsWith(QStringLiteral("Recovered \u00b7 "))) << tag.toStdString();
        const QString place = tag.mid(12);
        EXPECT_TRUE(QStringList({"freeblock", "unallocated", "freelist", "interior", "overflow"})
                        .contains(place.section(QStringLiteral(" \u00b7 "), 0, 0)) ||
                    place.startsWith("wal frame "))
            << tag.toStdString();
        EXPECT_TRUE(data(row, Qt::ToolTipRole).toString().contains("\nFound in "));
        EXPECT_TRUE(data(row, Qt::AccessibleTextRole).toString().contains(tag));
        // The tag is drawn under the bubble, wide enough for its words.
        const auto layout = layoutOf(row);
        EXPECT_GT(layout.tag.width(), QFontMetrics(view.font()).horizontalAdvance(tag) * 0.8);
        EXPECT_GE(layout.tag.top(), layout.bubble.bottom());
        EXPECT_GE(layout.tag.left(), 0);
        EXPECT_LE(layout.tag.right(), view.messageList()->viewport()->width());
    }
}

TEST_F(RecoveredMessagesView, LiveBubblesCarryNoTagAndALostPictureSaysSo) {
    ASSERT_TRUE(open(rowOf(kPictureChatKey, false)));
    EXPECT_TRUE(view.countLabel()->text().endsWith("messages"));
    int recovered = 0;
    int lost = 0;
    for (int row = 0; row < view.model().rowCount(); ++row) {
        SCOPED_TRACE(row);
        const bool carved = data(row, ChatViewModel::RecoveredRole).toBool();
        const auto layout = layoutOf(row);
        EXPECT_EQ(!layout.tag.isEmpty(), carved);
        EXPECT_EQ(data(row, ChatViewModel::TagTextRole).toString().isEmpty(), !carved);
        recovered += carved ? 1 : 0;
        if (data(row, ChatViewModel::LostMediaRole).toString().isEmpty()) {
            continue;
        }
        ++lost;
        EXPECT_TRUE(carved);
        EXPECT_EQ(data(row, ChatViewModel::LostMediaRole).toString(), "Attachment");
        // A card where the file would be, not a bubble with nothing in it.
        EXPECT_GE(layout.media.height(), 2 * QFontMetrics(view.font()).height());
        EXPECT_TRUE(layout.bubble.contains(layout.media));
        EXPECT_TRUE(data(row, Qt::AccessibleTextRole)
                        .toString()
                        .contains("Attachment not recovered with the message"));
    }
    EXPECT_GT(recovered, 10);
    EXPECT_EQ(lost, 1);
}

}  // namespace
}  // namespace vessamo::test
