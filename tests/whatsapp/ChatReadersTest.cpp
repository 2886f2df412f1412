#include <gtest/gtest.h>

#include <filesystem>

#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "whatsapp/AccountReader.h"
#include "whatsapp/FavouriteContactsReader.h"
#include "whatsapp/MessageReader.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

using sample::SampleChat;
using sample::SampleChatDatabase;
using sample::SampleMediaItem;
using sample::SampleMember;
using sample::SampleMessage;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
const std::string kAnna = "4917012345678@s.whatsapp.net";
const std::string kBen = "4917098765432@s.whatsapp.net";
const std::string kGroup = "4917012345678-1614000000@g.us";

KTContactNodePtr contact(std::string name, std::string phone) {
    auto node = std::make_shared<KTContactNode>();
    node->contactName = std::move(name);
    node->contactPhone = std::move(phone);
    return node;
}

SampleMessage message(int64_t pk, int64_t chat) {
    SampleMessage m;
    m.pk = pk;
    m.chat = chat;
    m.date = 474508800.5;  // 2016-01-15 00:00:00.5 UTC
    m.text = "message " + std::to_string(pk);
    return m;
}

// One chat with Anna, one group, and messages that walk through the rules.
SampleChatDatabase ruleDatabase() {
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna S", 0}, SampleChat{2, kGroup, "Climbing", 1}};
    db.members = {SampleMember{1, 2, kBen, "Ben B"}, SampleMember{2, 2, kAnna, std::nullopt},
                  SampleMember{3, 2, kBen, "Ben again"}};
    db.pushNames = {{kAnna, "Anna ✨"}, {kBen, "Benny"}};
    db.pictures = {{kAnna, "Media/Profile/4917012345678-1"}, {kGroup, "Media/Profile/group-2"}};

    SampleMessage pushAndFromMe = message(1, 1);  // push name, but sent by the owner
    pushAndFromMe.pushName = "Anna ✨";
    pushAndFromMe.fromMe = true;
    pushAndFromMe.fromJid = kAnna;
    pushAndFromMe.toJid = kBen;
    SampleMessage noPushNotMe = message(2, 1);  // received, yet numbered from ZTOJID
    noPushNotMe.fromJid = kBen;
    noPushNotMe.toJid = kAnna;
    SampleMessage member = message(3, 2);
    member.pushName = "Benny";
    member.fromJid = kGroup;
    member.groupMember = 3;
    SampleMessage groupNoMember = message(4, 2);
    groupNoMember.pushName = "Someone";
    groupNoMember.fromJid = kGroup;
    SampleMessage groupSent = message(5, 2);
    groupSent.fromMe = true;
    groupSent.toJid = kGroup;
    SampleMessage zeroPlace = message(6, 1);
    zeroPlace.fromMe = true;
    zeroPlace.toJid = kAnna;
    zeroPlace.media = SampleMediaItem{};
    zeroPlace.media->latitude = 0.0;
    zeroPlace.media->longitude = 0.0;
    SampleMessage place = zeroPlace;
    place.pk = 7;
    place.media->latitude = 48.25;
    place.media->longitude = 11.5;
    place.starred = true;
    SampleMessage thumbOnly = message(8, 1);
    thumbOnly.fromMe = true;
    thumbOnly.toJid = kAnna;
    thumbOnly.media = SampleMediaItem{};
    thumbOnly.media->xmppThumbPath = "Media/x/thumb-only.thumb";
    SampleMessage picture = thumbOnly;
    picture.pk = 9;
    picture.type = 1;
    picture.media->localPath = "Media/4917012345678@s.whatsapp.net/a/b/pic.jpg";
    db.messages = {pushAndFromMe, noPushNotMe, member,    groupNoMember, groupSent,
                   zeroPlace,     place,       thumbOnly, picture};
    return db;
}

class ChatReaders : public ::testing::Test {
protected:
    void SetUp() override {
        fixture.addChatDatabase(ruleDatabase());
        fixture.builder.addFile(kShared, "Media/Profile/4917012345678-1.thumb", "png");
        fixture.builder.addFile(kShared, "Message/Media/4917012345678@s.whatsapp.net/a/b/pic.jpg",
                                "jpg");
        fixture.writeAndIndex();
        fixture.state.contactArray = {contact("Nobody", ""),
                                      contact("Anna Adressbuch", "+49 170 12345678")};
    }

    std::vector<KTWhatsAppNodePtr> readAll() {
        getWhatsAppFavateContact(fixture.state, fixture.folder);
        getWhatsAppIDInfo(fixture.state, fixture.folder);
        scanWhatsAppMessageThread(fixture.state, fixture.folder);
        return fixture.state.wpChatArray;
    }

    test::WhatsAppBackupFixture fixture;
    test::ScopedTimeZone utc{"UTC"};
};

TEST_F(ChatReaders, DirectionNumberAndNameRules) {
    auto messages = readAll();
    ASSERT_EQ(messages.size(), 9u);
    // Push name says "Receive", ZISFROMME = 1 makes it "Send"; the number
    // still comes from ZFROMJID, which the push name chose.
    EXPECT_EQ(messages[0]->messageType, "Send");
    EXPECT_EQ(messages[0]->messageNumb, "4917012345678");
    EXPECT_EQ(messages[0]->messageName, "Anna Adressbuch");
    EXPECT_EQ(messages[0]->messageDate, "01-15-2016 00:00");
    // No push name and ZISFROMME = 0: received, numbered from ZTOJID.
    EXPECT_EQ(messages[1]->messageType, "Receive");
    EXPECT_EQ(messages[1]->messageNumb, "4917012345678");
    // A group member's number; the same key twice takes the first member.
    EXPECT_EQ(messages[2]->messageNumb, "4917098765432");
    EXPECT_EQ(messages[2]->messageName, "");
    // Group JID pieces: the sender's part for received, the creator's for sent.
    EXPECT_EQ(messages[3]->messageNumb, "1614000000");
    EXPECT_EQ(messages[4]->messageNumb, "4917012345678");
    EXPECT_EQ(messages[4]->messageType, "Send");
}

TEST_F(ChatReaders, LocationsAttachmentsAndStars) {
    auto messages = readAll();
    ASSERT_EQ(messages.size(), 9u);
    EXPECT_EQ(messages[5]->locationInfo, "");
    EXPECT_EQ(messages[6]->locationInfo, "48.25 11.5");
    EXPECT_TRUE(messages[6]->bStarredMessage);
    EXPECT_TRUE(messages[7]->isHaveAttch);
    EXPECT_EQ(messages[8]->messageAttchpath, "Media/4917012345678@s.whatsapp.net/a/b/pic.jpg");
    // Only the message with a media file gets an attachment record.
    ASSERT_EQ(fixture.state.wpAttachArray.size(), 1u);
    EXPECT_EQ(fixture.state.wpAttachArray[0]->filePath, messages[8]->messageAttchpath);
    EXPECT_EQ(fixture.state.wpAttachArray[0]->fileDate, "01-15-2016 00:00");
    EXPECT_EQ(fixture.state.fileDateDict.at(messages[8]->messageAttchpath), "01-15-2016 00:00");
    EXPECT_EQ(fixture.state.currentScanPath,
              fixture.folder + "/7c/7c7fba66680ef796b916b067077cc246adacf01d");
}

TEST_F(ChatReaders, ConversationsPicturesAndTheStarredList) {
    readAll();
    const auto& chats = fixture.state.wpConvChatArray;
    ASSERT_EQ(chats.size(), 3u);
    EXPECT_EQ(chats[0]->currentChatName, "Anna S");
    EXPECT_EQ(chats[0]->currentChatNumber, kAnna);
    EXPECT_FALSE(chats[0]->isGroupCov);
    EXPECT_EQ(chats[0]->currentSubject, "");  // a WhatsApp contact without status text
    ASSERT_TRUE(chats[0]->groupChatImagePath.has_value());
    EXPECT_EQ(
        *chats[0]->groupChatImagePath,
        fixture.builder.dataPath(fixture.folder, kShared, "Media/Profile/4917012345678-1.thumb"));
    EXPECT_TRUE(chats[1]->isGroupCov);
    EXPECT_EQ(chats[1]->currentChatName, "Group Chat");
    EXPECT_EQ(chats[1]->currentSubject, "Climbing");
    EXPECT_FALSE(chats[1]->groupChatImagePath.has_value());  // picture file missing
    EXPECT_TRUE(chats[2]->bStarredCovMessage);
    EXPECT_EQ(chats[2]->chatID, 9999);
    ASSERT_EQ(fixture.state.whatsAppGroupMemberArray.size(), 3u);
    EXPECT_EQ(fixture.state.whatsAppGroupMemberArray[1]->groupMemberAppID, kAnna);
}

TEST_F(ChatReaders, FavouritesAndAccount) {
    readAll();
    const auto& favourites = fixture.state.wpfContactArray;
    // Two push names, then the members once each; a nameless member is
    // named by its number.
    ASSERT_EQ(favourites.size(), 4u);
    EXPECT_EQ(favourites[0]->whatsAppID, "4917012345678");
    EXPECT_EQ(favourites[0]->contactName, "Anna ✨");
    EXPECT_EQ(favourites[2]->contactName, "Ben B");
    EXPECT_EQ(favourites[3]->contactName, "4917012345678");
    EXPECT_EQ(fixture.progress, (std::vector<int>{70, 78, 95}));
    ASSERT_TRUE(fixture.state.currentNodeInfo);
    EXPECT_EQ(fixture.state.currentNodeInfo->whatsAppNodeName, "");  // no preferences file
}

TEST(ChatReadersMissing, NoDatabaseMeansNoAccountAndALogLine) {
    test::WhatsAppBackupFixture fixture;
    fixture.builder.addFile("HomeDomain", "x", "y");
    fixture.writeAndIndex();
    SystemLog::Capture log;
    getWhatsAppFavateContact(fixture.state, fixture.folder);
    getWhatsAppIDInfo(fixture.state, fixture.folder);
    scanWhatsAppMessageThread(fixture.state, fixture.folder);
    EXPECT_FALSE(fixture.state.currentNodeInfo);
    EXPECT_TRUE(fixture.progress.empty());
    EXPECT_TRUE(log.contains("WhatsAppMessageDB is not exist"));
    EXPECT_TRUE(fixture.state.wpConvChatArray.empty());
}

TEST(ChatReadersMissing, GarbageDatabaseStillFinishes) {
    test::WhatsAppBackupFixture fixture;
    fixture.builder.addFile(kShared, "ChatStorage.sqlite", std::string(8192, 'x'));
    fixture.writeAndIndex();
    getWhatsAppIDInfo(fixture.state, fixture.folder);
    scanWhatsAppMessageThread(fixture.state, fixture.folder);
    EXPECT_EQ(fixture.state.wpConvChatArray.size(), 1u);  // the starred list only
    EXPECT_TRUE(fixture.state.wpChatArray.empty());
    EXPECT_EQ(fixture.progress, (std::vector<int>{78, 95}));
}

TEST(MessageProgress, ThresholdsAndTheCounter) {
    EXPECT_EQ(progressForMessageCount(550), 0);
    EXPECT_EQ(progressForMessageCount(551), 79);
    EXPECT_EQ(progressForMessageCount(1551), 80);
    EXPECT_EQ(progressForMessageCount(15000), 84);
    EXPECT_EQ(progressForMessageCount(22000), 0);
    EXPECT_EQ(progressForMessageCount(42000), 85);
    EXPECT_EQ(progressForMessageCount(242000), 94);
    EXPECT_EQ(progressForMessageCount(262000), 94);

    test::WhatsAppBackupFixture fixture;
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna", 0}};
    for (int64_t i = 1; i <= 15000; ++i) {
        SampleMessage m = message(i, 1);
        m.fromMe = true;
        m.toJid = kAnna;
        db.messages.push_back(m);
    }
    fixture.addChatDatabase(db);
    fixture.writeAndIndex();
    scanWhatsAppMessageThread(fixture.state, fixture.folder);
    EXPECT_EQ(fixture.state.wpChatArray.size(), 15000u);
    EXPECT_EQ(fixture.progress, (std::vector<int>{79, 80, 81, 82, 83, 84, 95}));
    EXPECT_TRUE(fixture.counts.empty());
}

TEST(MessageStop, StopsAfterTheCurrentMessageWithoutFinalProgress) {
    test::WhatsAppBackupFixture fixture;
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna", 0}};
    for (int64_t i = 1; i <= 600; ++i) {
        db.messages.push_back(message(i, 1));
    }
    fixture.addChatDatabase(db);
    fixture.writeAndIndex();
    ScopedObserver stopper(fixture.center, "ScanProgressInfo",
                           [&](const Notification&) { fixture.state.bStopScan = true; });
    scanWhatsAppMessageThread(fixture.state, fixture.folder);
    EXPECT_EQ(fixture.state.wpChatArray.size(), 551u);
    EXPECT_EQ(fixture.progress, std::vector<int>{79});
}

TEST(MessageLog, AMessageOnlyInTheWriteAheadLogIsRead) {
    test::WhatsAppBackupFixture fixture;
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna", 0}};
    db.messages = {message(1, 1)};
    std::string chat = fixture.builder.temporaryFile("chat.sqlite");
    ASSERT_TRUE(sample::writeChatStorage(chat, db));
    std::string wal;
    {
        SqliteDatabase live;
        ASSERT_EQ(live.open(chat, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(live.execute("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; "
                               "INSERT INTO ZWAMESSAGE (Z_PK, ZCHATSESSION, ZTEXT, ZISFROMME) "
                               "VALUES (2, 1, 'only in the log', 1)"),
                  SQLITE_OK);
        wal = fixture.builder.temporaryFile("chat.wal");
        std::filesystem::copy_file(chat + "-wal", wal);
        std::string frozen = fixture.builder.temporaryFile("chat.frozen");
        std::filesystem::copy_file(chat, frozen);
        chat = frozen;
    }
    fixture.builder.addFileFromDisk(kShared, "ChatStorage.sqlite", chat);
    fixture.builder.addFileFromDisk(kShared, "ChatStorage.sqlite-wal", wal);
    fixture.writeAndIndex();
    scanWhatsAppMessageThread(fixture.state, fixture.folder);
    ASSERT_EQ(fixture.state.wpChatArray.size(), 2u);
    EXPECT_EQ(fixture.state.wpChatArray[1]->messageContent, "only in the log");
}

}  // namespace
}  // namespace vessamo
