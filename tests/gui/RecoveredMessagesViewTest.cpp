// Recovered messages in the desktop view, on a scanned backup whose chat
// database lost messages and a whole chat: the chat list tells the deleted
// chat apart, each recovered bubble says where it was found, and a picture
// whose media item is gone says so instead of standing empty.
#include <QFontMetrics>
#include <QLabel>
#include <QListView>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

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
        view.resize(640, 720);
        view.show();
    }

    // Opens the list's row of the chat with all its messages shown. The
    // opener's worker waits for this thread to take the chat over.
    ::testing::AssertionResult open(int32_t key, bool recoveredOnly) {
        const auto& rows = pages.chatRows();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto* chat) {
            return chat->chatID == key && chat->bDeleted == recoveredOnly;
        });
        if (row == rows.end()) {
            return ::testing::AssertionFailure() << "no row for the chat " << key;
        }
        waitUntil([&] { return !pages.bstartloadChat(); });
        pages.tableViewSelectionDidChange(static_cast<size_t>(row - rows.begin()));
        view.showConversationOnceOpened();
        if (!waitUntil(
                [&] { return !pages.bstartloadChat() && view.model().conversation() == *row; })) {
            return ::testing::AssertionFailure() << "the conversation did not open";
        }
        for (int presses = 0; presses < 100 && view.moreButton()->isVisible(); ++presses) {
            view.moreButton()->click();
        }
        messages = result->messagesOf(**row);
        return ::testing::AssertionSuccess();
    }

    [[nodiscard]] QVariant data(int row, int role) const {
        return view.model().data(view.model().index(row), role);
    }

    [[nodiscard]] gui::MessageBubbleDelegate::Layout layoutOf(int row) const {
        QStyleOptionViewItem option;
        option.initFrom(view.messageList()->viewport());
        return static_cast<gui::MessageBubbleDelegate*>(view.messageList()->itemDelegate())
            ->layoutOf(option, view.model().index(row));
    }

    // Every row's tag names the place the scan noted for its message, and
    // is laid out under the bubble, wide enough for its words.
    void expectTagsOfEveryRow() const {
        ASSERT_EQ(view.model().rowCount(), static_cast<int>(messages.size()));
        for (int row = 0; row < view.model().rowCount(); ++row) {
            SCOPED_TRACE(row);
            const KTWhatsAppNode& message = messages[static_cast<size_t>(row)];
            const QString tag = data(row, ChatViewModel::TagTextRole).toString();
            const auto layout = layoutOf(row);
            EXPECT_EQ(layout.tag.isEmpty(), !message.bDeleted);
            if (!message.bDeleted) {
                EXPECT_TRUE(tag.isEmpty());
                continue;
            }
            const RecoveredPlace place = recoveredPlaceOf(*result, message);
            ASSERT_FALSE(place.where.empty());
            EXPECT_EQ(tag.toStdString(), recoveredCaption(place));
            EXPECT_TRUE(data(row, Qt::ToolTipRole).toString().contains("\nFound in "));
            EXPECT_TRUE(data(row, Qt::AccessibleTextRole).toString().contains(tag));
            EXPECT_GE(layout.tag.top(), layout.bubble.bottom());
            EXPECT_GE(layout.tag.width(), QFontMetrics(view.font()).horizontalAdvance(tag) * 4 / 5);
        }
    }

    TempHome home;
    ScanResultPtr result;
    gui::QtUiPort ui;
    ResultPages pages{ui};
    gui::ChatView view{pages};
    MessageRange messages;
};

TEST_F(RecoveredMessagesView, TheDeletedChatIsListedAsSuchAndEachBubbleSaysWhereItWasFound) {
    ASSERT_TRUE(open(kDeletedChatKey, true));
    EXPECT_TRUE(view.countLabel()->text().startsWith("Deleted chat, recovered"));
    expectTagsOfEveryRow();

    gui::ChatListModel list(pages);
    for (int row = 0; row < list.rowCount(); ++row) {
        const bool deleted = pages.chatRows()[static_cast<size_t>(row)]->chatID == kDeletedChatKey;
        EXPECT_EQ(list.index(row, gui::ChatListModel::Recovered)
                      .data()
                      .toString()
                      .startsWith("Deleted chat"),
                  deleted);
        EXPECT_EQ(list.index(row, gui::ChatListModel::Name).data(Qt::ToolTipRole).toString(),
                  deleted ? "A deleted chat: only its recovered messages are left." : "");
    }
}

TEST_F(RecoveredMessagesView, LiveBubblesCarryNoTagAndALostPictureSaysSo) {
    ASSERT_TRUE(open(kPictureChatKey, false));
    EXPECT_TRUE(view.countLabel()->text().endsWith(" messages"));
    expectTagsOfEveryRow();
    int lost = 0;
    for (int row = 0; row < view.model().rowCount(); ++row) {
        // The message's kind survived with it, its media row did not.
        if (data(row, ChatViewModel::LostMediaRole).toString() != "Photo") {
            continue;
        }
        ++lost;
        // A card where the file would be, not a bubble with nothing in it.
        const auto layout = layoutOf(row);
        EXPECT_GE(layout.media.height(), 2 * QFontMetrics(view.font()).height());
        EXPECT_TRUE(layout.bubble.contains(layout.media));
        EXPECT_TRUE(data(row, Qt::AccessibleTextRole)
                        .toString()
                        .contains("Photo not recovered with the message"));
    }
    EXPECT_EQ(lost, 1);
}

}  // namespace
}  // namespace vessamo::test
