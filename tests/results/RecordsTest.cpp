#include <gtest/gtest.h>

#include "results/ConversationFiller.h"
#include "results/DeletedMessageIntake.h"
#include "results/IKImageItem.h"
#include "results/KTWhatsAppCovNode.h"

namespace vessamo {
namespace {

KTWhatsAppNodePtr message(int32_t chat, std::string name, std::string text) {
    auto node = std::make_shared<KTWhatsAppNode>();
    node->chatID = chat;
    node->messageName = std::move(name);
    node->messageContent = std::move(text);
    return node;
}

TEST(ConversationFilling, StarredListGathersEveryChatAndNothingRepeats) {
    auto a1 = message(1, "Ann", "hi");
    auto b1 = message(2, "Bob", "yo");
    auto a2 = message(1, "Ann", "starred");
    a2->bStarredMessage = true;
    auto b2 = message(2, "Bob", "starred too");
    b2->bStarredMessage = true;
    std::vector<KTWhatsAppNodePtr> all{a1, b1, a2, b2};

    KTWhatsAppCovNode ann;
    ann.chatID = 1;
    fillConversation(ann, all);
    fillConversation(ann, all);  // opened twice
    EXPECT_EQ(ann.appNodeArray, (std::vector<KTWhatsAppNodePtr>{a1, a2}));
    EXPECT_TRUE(ann.hasload);

    auto starred = makeStarredConversation();
    EXPECT_EQ(starred->chatID, 9999);
    EXPECT_EQ(starred->currentChatName, "Starred Messages");
    EXPECT_EQ(starred->currentSubject, "Here are Starred Messages");
    EXPECT_FALSE(starred->currentChatNumber.has_value());
    EXPECT_FALSE(starred->groupChatImagePath.has_value());
    fillConversation(*starred, all);
    EXPECT_EQ(starred->appNodeArray, (std::vector<KTWhatsAppNodePtr>{a2, b2}));
    // The same message object: a mark set in one list shows in the other.
    starred->appNodeArray[0]->bSelected = true;
    EXPECT_TRUE(ann.appNodeArray[1]->bSelected);

    KTWhatsAppCovNode recovered;
    recovered.chatID = 1;
    recovered.bDeleted = true;
    fillConversation(recovered, all);
    EXPECT_TRUE(recovered.appNodeArray.empty());
}

TEST(DeletedIntake, GroupsDropsRepeatsAndListsCardsAndPlaces) {
    DeletedMessageIntake intake;
    auto first = message(7, "", "hello");
    intake.take(first);
    ASSERT_EQ(intake.conversations().size(), 1u);
    const auto& chat = *intake.conversations()[0];
    EXPECT_TRUE(chat.bDeleted);
    EXPECT_EQ(chat.currentSubject, "UnknownSubject");
    EXPECT_EQ(chat.chatID, 7);
    EXPECT_EQ(chat.currentChatName, "");

    intake.take(message(7, "X", "one-letter names do not name a chat"));
    EXPECT_EQ(intake.conversations()[0]->currentChatName, "");
    intake.take(message(7, "Zoë", "hello"));  // same text, other name: kept
    EXPECT_EQ(intake.conversations()[0]->currentChatName, "Zoë");
    intake.take(message(7, "Zoë", "hello"));  // repeat: dropped
    intake.take(message(7, "", "hello"));     // repeat of the first: dropped
    EXPECT_EQ(chat.appNodeArray.size(), 3u);

    auto card = message(8, "Eve", "");
    card->vcardName = "Carl";
    card->vcardInfo = "BEGIN:VCARD";
    card->locationInfo = "52.5 13.4";
    intake.take(card);
    auto place = message(8, "Eve", "here");
    place->locationInfo = "48.1 11.6";
    intake.take(place);
    ASSERT_EQ(intake.conversations().size(), 2u);
    EXPECT_EQ(intake.conversations()[1]->currentChatName, "Eve");
    ASSERT_EQ(intake.resources().size(), 2u);
    EXPECT_EQ(intake.resources()[0]->nodeType, "VCard");
    EXPECT_EQ(intake.resources()[0]->nodeName, "Carl");
    EXPECT_EQ(intake.resources()[0]->textContent, "BEGIN:VCARD");
    EXPECT_EQ(intake.resources()[0]->nodeSize, "4.00K");
    EXPECT_EQ(intake.resources()[1]->nodeType, "Location");
    EXPECT_EQ(intake.resources()[1]->nodeName, "Location");
    EXPECT_EQ(intake.resources()[1]->textContent, "48.1 11.6");

    intake.clear();
    EXPECT_TRUE(intake.conversations().empty());
    intake.take(message(7, "", "hello"));
    EXPECT_EQ(intake.conversations().size(), 1u);
}

TEST(MediaBrowserItem, TypeFollowsTheExtension) {
    EXPECT_EQ(IKImageItem::typeOfPath("Message/Media/a/IMG.JPG"), "Photo");
    EXPECT_EQ(IKImageItem::typeOfPath("x.jpg.thumb"), "Photo");
    EXPECT_EQ(IKImageItem::typeOfPath("voice.opus"), "Audio");
    EXPECT_EQ(IKImageItem::typeOfPath("clip.MP4"), "Video");
    EXPECT_EQ(IKImageItem::typeOfPath("doc.pdf"), "pdf");
    EXPECT_EQ(IKImageItem::typeOfPath("folder.d/README"), "");

    KTTreeDirNode node{"AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "Message/Media/1/a.gif",
                       "/backup/ab/abcdef"};
    IKImageItem item = IKImageItem::fromTreeNode(node);
    EXPECT_EQ(item.filePath, "/backup/ab/abcdef");
    EXPECT_EQ(item.fileVirtualPath, "Message/Media/1/a.gif");
    EXPECT_EQ(item.fileName, "a.gif");
    EXPECT_EQ(item.fileType, "Photo");
}

}  // namespace
}  // namespace vessamo

namespace vessamo {
namespace {

// The indexed filler gives exactly what the walk of the list gives, the
// starred list included.
TEST(ConversationFilling, IndexedFillingMatchesTheWalk) {
    std::vector<KTWhatsAppNodePtr> all;
    for (int i = 0; i < 500; ++i) {
        auto node = message(i % 7 == 0 ? 9999 : i % 5, "n", 'm' + std::to_string(i));
        node->bStarredMessage = i % 11 == 3;
        all.push_back(node);
    }
    const ConversationFiller filler(all);
    for (int32_t chat : {0, 1, 4, 6, 9999}) {
        for (bool starredList : {false, true}) {
            KTWhatsAppCovNode walked;
            walked.chatID = chat;
            walked.bStarredCovMessage = starredList;
            KTWhatsAppCovNode indexed = walked;
            fillConversation(walked, all);
            filler.fill(indexed);
            EXPECT_EQ(indexed.appNodeArray, walked.appNodeArray) << chat << starredList;
            EXPECT_TRUE(indexed.hasload);
        }
    }
    KTWhatsAppCovNode own;
    own.chatID = 9999;
    own.bStarredCovMessage = true;
    filler.fillOwnMessagesOnly(own);
    for (const auto& m : own.appNodeArray) {
        EXPECT_EQ(m->chatID, 9999);
    }
}

// Runs fill what the indexed filler fills, each run's conversations in list
// order, a long chat alone in its run, loaded and recovered ones untouched.
TEST(ConversationFilling, RunsFillTheChatsOwnMessagesAndHandEveryChatOutOnce) {
    std::vector<KTWhatsAppNodePtr> all;
    for (int i = 0; i < 300; ++i) {
        all.push_back(message(i < 120 ? 1 : i % 4, "n", 'm' + std::to_string(i)));
    }
    std::vector<KTWhatsAppCovNodePtr> chats;
    for (int32_t key : {0, 1, 2, 3, 2, 7}) {  // key 2 twice, key 7 has no messages
        auto chat = std::make_shared<KTWhatsAppCovNode>();
        chat->chatID = key;
        chats.push_back(chat);
    }
    chats[3]->hasload = true;  // opened in the view: its list is its own
    chats[5]->bDeleted = true;

    const ConversationFiller filler(all);
    ConversationBatches batches(all, chats, 50);
    std::vector<size_t> runSizes;
    size_t handedOut = 0;
    for (auto batch = batches.next(); !batch.conversations.empty(); batch = batches.next()) {
        runSizes.push_back(batch.conversations.size());
        for (size_t i = 0; i < batch.conversations.size(); ++i) {
            const KTWhatsAppCovNodePtr& chat = batch.conversations[i];
            EXPECT_EQ(chat, chats[handedOut++]);
            EXPECT_EQ(batch.filledHere[i], chat != chats[3] && chat != chats[5]);
            if (batch.filledHere[i]) {
                KTWhatsAppCovNode expected;
                expected.chatID = chat->chatID;
                filler.fillOwnMessagesOnly(expected);
                EXPECT_EQ(chat->appNodeArray, expected.appNodeArray) << chat->chatID;
                EXPECT_TRUE(chat->hasload);
                ConversationBatches::giveBack(*chat);
                EXPECT_FALSE(chat->hasload);
                EXPECT_TRUE(chat->appNodeArray.empty());
            } else {
                EXPECT_TRUE(chat->appNodeArray.empty());
            }
        }
    }
    EXPECT_EQ(handedOut, chats.size());
    // Keys 0, 2 and 3 hold 45 messages each, key 1 holds 165: a run ends
    // once it holds 50; loaded and recovered chats add nothing to it.
    EXPECT_EQ(runSizes, (std::vector<size_t>{2, 3, 1}));
}

}  // namespace
}  // namespace vessamo
