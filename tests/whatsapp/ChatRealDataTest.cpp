#include <gtest/gtest.h>

#include <filesystem>

#include "common/SqliteDatabase.h"
#include "whatsapp/AccountReader.h"
#include "whatsapp/FavouriteContactsReader.h"
#include "whatsapp/MessageReader.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

struct ExpectedMessage {
    int32_t chat = 0;
    std::string text;
    bool fromMe = false;
};

// What the phone's own database says, read through SQLite on a copy of its own.
std::vector<ExpectedMessage> expectedMessages(const std::string& original,
                                              const std::string& scratch) {
    fs::copy_file(original, scratch);
    SqliteDatabase db;
    EXPECT_EQ(db.open(scratch, SqliteDatabase::Mode::ReadOnly), SQLITE_OK);
    SqliteStatement rows;
    EXPECT_EQ(rows.prepare(db,
                           "select ZWAMESSAGE.ZCHATSESSION, ZTEXT, ZISFROMME from ZWAMESSAGE "
                           "left join ZWAMEDIAITEM on ZWAMESSAGE.Z_PK = ZWAMEDIAITEM.ZMESSAGE"),
              SQLITE_OK);
    std::vector<ExpectedMessage> expected;
    while (rows.step() == SQLITE_ROW) {
        expected.push_back(ExpectedMessage{static_cast<int32_t>(rows.columnInt64(0)),
                                           rows.columnText(1).value_or(""),
                                           rows.columnInt64(2) == 1});
    }
    return expected;
}

TEST(RealChatStorage, EveryMessageConversationAndMemberOfARealPhone) {
    test::WhatsAppBackupFixture fixture;
    const std::string original =
        test::copyOfRealData("josh_ios15/ChatStorage.sqlite", fixture.home.path() + "/real");
    fixture.builder.addFileFromDisk("AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
                                    "ChatStorage.sqlite", original);
    fixture.writeAndIndex();
    const auto expected = expectedMessages(original, fixture.home.path() + "/copy.sqlite");
    ASSERT_EQ(expected.size(), 32u);

    EXPECT_TRUE(getWhatsAppFavateContact(fixture.state, fixture.folder).ok());
    EXPECT_TRUE(getWhatsAppIDInfo(fixture.state, fixture.folder).ok());
    EXPECT_TRUE(scanWhatsAppMessageThread(fixture.state, fixture.folder).ok());

    const auto& messages = fixture.state.wpChatArray;
    ASSERT_EQ(messages.size(), expected.size());
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].chatID, expected[i].chat) << i;
        EXPECT_EQ(messages[i].messageContent, expected[i].text) << i;
        EXPECT_EQ(messages[i].messageType,
                  expected[i].fromMe ? Direction::Send : Direction::Receive)
            << i;
        EXPECT_EQ(messages[i].messageNumb.find("@s.whatsapp.net"), std::string::npos) << i;
        EXPECT_TRUE(messages[i].messageDate) << i;
    }
    // Five chat sessions, four of them groups, then the starred list.
    const auto& chats = fixture.state.wpConvChatArray;
    ASSERT_EQ(chats.size(), 6u);
    EXPECT_EQ(std::count_if(chats.begin(), chats.end(),
                            [](const auto& chat) { return chat.currentChatName == "Group Chat"; }),
              4);
    EXPECT_EQ(chats[4].currentChatName, "This Is DFIR Two");
    EXPECT_TRUE(chats[5].bStarredCovMessage);
    EXPECT_FALSE(fixture.state.whatsAppGroupMemberArray.empty());
    EXPECT_FALSE(fixture.state.whatsAppFavContactArray.empty());
    EXPECT_EQ(fixture.progress().back(), 95);
}

}  // namespace
}  // namespace vessamo
