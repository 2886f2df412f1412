#include <gtest/gtest.h>

#include <tuple>

#include "results/IKImageItem.h"
#include "results/ResultRows.h"

namespace vessamo {
namespace {

using test::contentsOf;
using Texts = std::vector<std::string>;

// A media browser item's type follows the extension.
TEST(Records, MediaItemTypes) {
    for (const auto& [path, type] : {std::pair<Text, Text>{"Message/Media/a/IMG.JPG", "Photo"},
                                     {"x.jpg.thumb", "Photo"},
                                     {"voice.opus", "Audio"},
                                     {"clip.MP4", "Video"},
                                     {"doc.pdf", "pdf"},
                                     {"folder.d/README", ""}}) {
        EXPECT_EQ(IKImageItem::typeOfPath(path), type) << path;
    }
    const IKImageItem item = IKImageItem::fromTreeNode(
        {"AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "Message/Media/1/a.gif", "/bk/ab"});
    EXPECT_EQ(
        std::tuple(item.filePath, item.fileVirtualPath, item.fileName, item.fileType),
        std::tuple(Text("/bk/ab"), Text("Message/Media/1/a.gif"), Text("a.gif"), Text("Photo")));
}

class ScanResultTest : public ::testing::Test {
protected:
    // The conversation of a chat key: live, or recovered-only when asked.
    Texts messagesOf(int32_t chatID, bool recovered = false) {
        const auto& chats = recovered ? result->whatsAppArray : result->WhatsAppConvChatArray;
        for (const KTWhatsAppCovNode& chat : chats) {
            if (chat.chatID == chatID) {
                return contentsOf(result->messagesOf(chat));
            }
        }
        ADD_FAILURE() << "no chat " << chatID;
        return {};
    }

    test::ResultFactory make;
    ScanResultPtr result;
};

// Rows come chats interleaved, the carver's recovered rows last; each chat
// reads its own in that order, the starred list its own key's and every
// starred one, each once; recovered-only chats read only what was recovered.
TEST_F(ScanResultTest, EachConversationReadsItsOwnMessagesInRowOrder) {
    make.chat(5, "Ann");
    make.chat(2, "Bob");
    make.chat(7, "Nobody wrote");
    make.state().wpConvChatArray.push_back(makeStarredConversation());
    for (const auto& [chat, text] : {std::pair{5, "a1"},
                                     {2, "b1"},
                                     {5, "a2"},
                                     {3, "stray"},
                                     {kStarredChatID, "own"},
                                     {2, "b2"},
                                     {5, "a3"}}) {
        make.message(chat, text);
    }
    make.message(2, "b-starred").bStarredMessage = true;
    make.message(kStarredChatID, "own starred").bStarredMessage = true;
    make.message(2, "b-recovered").bDeleted = true;
    make.message(5, "a-recovered").bDeleted = true;
    test::recover(make, 5, "Ann", "lost");
    result = make.finish();

    EXPECT_EQ(messagesOf(5), (Texts{"a1", "a2", "a3", "a-recovered"}));
    EXPECT_EQ(messagesOf(2), (Texts{"b1", "b2", "b-starred", "b-recovered"}));
    EXPECT_TRUE(messagesOf(7).empty());
    EXPECT_EQ(messagesOf(kStarredChatID), (Texts{"own", "b-starred", "own starred"}));
    EXPECT_EQ(messagesOf(5, true), Texts{"lost"});

    // Views of one list, never copies: the chats and the starred list share
    // the records of WhatsAppChatArray, which keeps the database's order.
    const MessageRange ann = result->messagesOf(result->WhatsAppConvChatArray[0]);
    for (const KTWhatsAppNode& message : ann) {
        EXPECT_TRUE(&message >= result->WhatsAppChatArray.data() &&
                    &message < result->WhatsAppChatArray.data() + result->WhatsAppChatArray.size());
    }
    EXPECT_LT(&ann[0], &ann[1]);
    const MessageRange starred = result->messagesOf(result->WhatsAppConvChatArray[3]);
    EXPECT_EQ(contentsOf(starred.slice(1, 2)), (Texts{"b-starred", "own starred"}));
    EXPECT_EQ(&starred[1], &result->messagesOf(result->WhatsAppConvChatArray[1])[2]);
}

// A message recovered for a live chat reads where it was written: before
// the first row of a later moment, the rows in their own order (even where
// that is not the order of their dates), one without a date at the end.
TEST_F(ScanResultTest, RecoveredMessagesTakeTheirPlaceInTheirChatByTime) {
    make.chat(4, "Cleo");
    for (const auto& [text, seconds] :
         {std::pair{"r100", 100}, {"r300", 300}, {"r250 sent late", 250}, {"r400", 400}}) {
        make.message(4, text, Direction::Receive, AppleTime{seconds});
    }
    for (const auto& [text, seconds] : {std::pair{"lost 350", 350}, {"lost 50", 50}}) {
        make.message(4, text, Direction::Send, AppleTime{seconds}).bDeleted = true;
    }
    make.message(4, "lost, no date").bDeleted = true;
    make.message(4, "lost 200", Direction::Receive, AppleTime{200}).bDeleted = true;
    result = make.finish();
    EXPECT_EQ(messagesOf(4), (Texts{"lost 50", "r100", "lost 200", "r300", "r250 sent late",
                                    "lost 350", "r400", "lost, no date"}));
}

TEST_F(ScanResultTest, MediaTimeIsTheLastOwningMessagesTimeForTheExactPath) {
    for (const auto& [path, seconds] :
         {std::pair{"Media/a.jpg", 100}, {"Media/ab.jpg", 200}, {"Media/a.jpg", 300}, {"", 400}}) {
        make.message(1, "m", Direction::Send, AppleTime{seconds}).messageAttchpath =
            make.text(path);
    }
    result = make.finish();
    EXPECT_EQ(result->mediaTime("Media/a.jpg"), AppleTime{300});
    EXPECT_EQ(result->mediaTime("Media/ab.jpg"), AppleTime{200});
    for (const char* absent : {"Media/a", "Media/a.jpg.thumb", "", "Media/b.jpg"}) {
        EXPECT_FALSE(result->mediaTime(absent).has_value()) << absent;
    }
}

TEST_F(ScanResultTest, IntakeGroupsDropsRepeatsNamesChatsAndListsCardsAndPlaces) {
    for (const auto& [chat, name, text] :
         {std::tuple{7, "", "hello"},
          {7, "X", "one-letter names do not name a chat"},
          {7, "\xC3\xAB", "one character of two bytes is no name either"},
          {8, "Eve", "other chat"},
          {7, "Zo\xC3\xAB", "hello"},  // same text, other name: kept, and names the chat
          {7, "Zo\xC3\xAB", "hello"},  // repeat: dropped
          {7, "", "hello"},            // repeat of the first: dropped
          {7, "Al", "named already"}}) {
        test::recover(make, chat, name, text);
    }
    result = make.finish();

    ASSERT_EQ(result->whatsAppArray.size(), 2u);
    const KTWhatsAppCovNode& seven = result->whatsAppArray[0];
    EXPECT_EQ(std::tuple(seven.chatID, seven.bDeleted, seven.currentChatName, seven.currentSubject),
              std::tuple(7, true, Text("Zo\xC3\xAB"), std::optional(Text("UnknownSubject"))));
    EXPECT_EQ(messagesOf(7, true),
              (Texts{"hello", "one-letter names do not name a chat",
                     "one character of two bytes is no name either", "hello", "named already"}));
    EXPECT_EQ(result->whatsAppArray[1].currentChatName, "Eve");

    // Cards before locations, each a resource; plain texts add none.
    test::ResultFactory more;
    KTWhatsAppNode both = test::lostMessage(more, 8, "Eve");
    both.vcardName = more.text("Carl");
    both.vcardInfo = more.text("BEGIN:VCARD");
    both.locationInfo = more.text("52.5 13.4");
    more.recovered(both);
    KTWhatsAppNode place = test::lostMessage(more, 8, "Eve", "here");
    place.locationInfo = more.text("48.1 11.6");
    more.recovered(place);
    test::recover(more, 8, "Eve", "plain text adds no resource");
    const ScanResultPtr cards = more.finish();
    std::vector<Texts> resources;
    for (const KTWhatsAppResourceNode& r : cards->someResourceArray) {
        resources.push_back({r.nodeType, r.nodeName, r.textContent, r.nodeSize});
    }
    EXPECT_EQ(resources, (std::vector<Texts>{{"VCard", "Carl", "BEGIN:VCARD", "4.00K"},
                                             {"Location", "Location", "48.1 11.6", "4.00K"}}));
}

}  // namespace
}  // namespace vessamo
