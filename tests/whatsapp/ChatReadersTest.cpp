#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "common/SqliteDatabase.h"
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
constexpr AppleTime kJanuary15{474508800};  // 2016-01-15 00:00 UTC

SampleMessage message(int64_t pk, int64_t chat) {
    SampleMessage m;
    m.pk = pk;
    m.chat = chat;
    m.date = 474508800.5;  // stored with a fraction, read as whole seconds
    m.text = "message " + std::to_string(pk);
    return m;
}

SampleMessage toAnna(int64_t pk) {
    SampleMessage m = message(pk, 1);
    m.fromMe = true;
    m.toJid = kAnna;
    m.media = SampleMediaItem{};
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
    db.messages = {message(1, 1), message(2, 1), message(3, 2), message(4, 2), message(5, 2),
                   toAnna(6),     toAnna(7),     toAnna(8),     toAnna(9)};
    auto& m = db.messages;
    // A push name, but sent by the owner.
    m[0].pushName = "Anna ✨";
    m[0].fromMe = true;
    m[0].fromJid = kAnna;
    m[0].toJid = kBen;
    // No push name and not from the owner: received, yet numbered from ZTOJID.
    m[1].fromJid = kBen;
    m[1].toJid = kAnna;
    // A group member, then the group JID taken apart both ways.
    m[2].pushName = "Benny";
    m[2].fromJid = kGroup;
    m[2].groupMember = 3;
    m[3].pushName = "Someone";
    m[3].fromJid = kGroup;
    m[4].fromMe = true;
    m[4].toJid = kGroup;
    // Places, a star, a thumbnail alone and a media file.
    m[5].media->latitude = 0.0;
    m[5].media->longitude = 0.0;
    m[6].media->latitude = 48.25;
    m[6].media->longitude = 11.5;
    m[6].starred = true;
    m[7].media->xmppThumbPath = "Media/x/thumb-only.thumb";
    m[8].media = m[7].media;
    m[8].media->localPath = "Media/4917012345678@s.whatsapp.net/a/b/pic.jpg";
    m[8].type = 1;
    return db;
}

// The three readers of a chat database, as a scan runs them.
const std::vector<KTWhatsAppNode>& readChats(test::WhatsAppBackupFixture& fixture) {
    EXPECT_TRUE(getWhatsAppFavateContact(fixture.state, fixture.folder).ok());
    EXPECT_TRUE(getWhatsAppIDInfo(fixture.state, fixture.folder).ok());
    EXPECT_TRUE(scanWhatsAppMessageThread(fixture.state, fixture.folder).ok());
    return fixture.state.wpChatArray;
}

class ChatReaders : public ::testing::Test {
protected:
    void SetUp() override {
        fixture.addChatDatabase(ruleDatabase());
        fixture.builder.addFile(kShared, "Media/Profile/4917012345678-1.thumb", "png");
        fixture.builder.addFile(kShared, "Message/Media/4917012345678@s.whatsapp.net/a/b/pic.jpg",
                                "jpg");
        fixture.writeAndIndex();
        for (auto [name, phone] :
             {std::pair{"Nobody", ""}, std::pair{"Anna Adressbuch", "+49 170 12345678"}}) {
            KTContactNode& contact = fixture.state.contactArray.emplace_back();
            contact.contactName = fixture.state.intern(name);
            contact.contactPhone = fixture.state.intern(phone);
        }
    }

    const std::vector<KTWhatsAppNode>& readAll() { return readChats(fixture); }

    test::WhatsAppBackupFixture fixture;
};

// Direction, number, name and chat of a message.
std::tuple<Direction, std::string, std::string, int32_t> who(const KTWhatsAppNode& m) {
    return {m.messageType, m.messageNumb, m.messageName, m.chatID};
}

TEST_F(ChatReaders, DirectionNumberAndNameRules) {
    const auto& messages = readAll();
    ASSERT_EQ(messages.size(), 9u);
    // Push name says "Receive", ZISFROMME = 1 makes it "Send": the owner's,
    // whom no account record names here.
    EXPECT_EQ(who(messages[0]), std::tuple(Direction::Send, "", "Me", 1));
    EXPECT_EQ(messages[0].messageDate, kJanuary15);
    EXPECT_EQ(messages[0].messageContent, "message 1");
    // No push name and ZISFROMME = 0: received, from whom ZFROMJID names,
    // under WhatsApp's name where the address book has none.
    EXPECT_EQ(who(messages[1]), std::tuple(Direction::Receive, "4917098765432", "Benny", 1));
    // A group member's number; the same key twice takes the first member.
    EXPECT_EQ(who(messages[2]), std::tuple(Direction::Receive, "4917098765432", "Benny", 2));
    // No member row and a push name nobody is known by: the push name alone.
    EXPECT_EQ(who(messages[3]), std::tuple(Direction::Receive, "", "Someone", 2));
    EXPECT_EQ(who(messages[4]), std::tuple(Direction::Send, "", "Me", 2));
    EXPECT_FALSE(messages[0].biCloudNode || messages[0].bTimelineNode);
}

TEST_F(ChatReaders, LocationsAttachmentsAndStars) {
    const auto& messages = readAll();
    ASSERT_EQ(messages.size(), 9u);
    EXPECT_EQ(messages[5].locationInfo, "");
    EXPECT_EQ(messages[6].locationInfo, "48.25 11.5");
    EXPECT_TRUE(messages[6].bStarredMessage);
    EXPECT_FALSE(messages[5].bStarredMessage);
    EXPECT_FALSE(messages[5].isHaveAttch);
    EXPECT_TRUE(messages[7].isHaveAttch);
    EXPECT_EQ(messages[7].messagePPThumpath, "Media/x/thumb-only.thumb");
    EXPECT_EQ(messages[8].messageAttchpath, "Media/4917012345678@s.whatsapp.net/a/b/pic.jpg");
    EXPECT_EQ(messages[8].attchType, 1);
    // Only the message with a media file gets an attachment record.
    ASSERT_EQ(fixture.state.wpAttachArray.size(), 1u);
    EXPECT_EQ(fixture.state.wpAttachArray[0].filePath, messages[8].messageAttchpath);
    EXPECT_EQ(fixture.state.wpAttachArray[0].fileDate, kJanuary15);
    EXPECT_EQ(fixture.state.currentScanPath,
              fixture.folder + "/7c/7c7fba66680ef796b916b067077cc246adacf01d");
}

TEST_F(ChatReaders, ConversationsPicturesFavouritesAndTheAccount) {
    readAll();
    const auto& chats = fixture.state.wpConvChatArray;
    ASSERT_EQ(chats.size(), 3u);
    EXPECT_EQ(chats[0].currentChatName, "Anna Adressbuch");  // the address book's name first
    EXPECT_EQ(chats[0].currentChatNumber, kAnna);
    EXPECT_FALSE(chats[0].isGroupCov);
    EXPECT_EQ(chats[0].currentSubject, "");  // a WhatsApp contact without status text
    EXPECT_EQ(
        chats[0].groupChatImagePath,
        fixture.builder.dataPath(fixture.folder, kShared, "Media/Profile/4917012345678-1.thumb"));
    EXPECT_TRUE(chats[1].isGroupCov);
    EXPECT_EQ(chats[1].currentChatName, "Group Chat");
    EXPECT_EQ(chats[1].currentSubject, "Climbing");
    EXPECT_FALSE(chats[1].groupChatImagePath.has_value());  // picture file missing
    EXPECT_TRUE(chats[2].bStarredCovMessage);
    EXPECT_EQ(chats[2].chatID, 9999);
    ASSERT_EQ(fixture.state.whatsAppGroupMemberArray.size(), 3u);
    EXPECT_EQ(fixture.state.whatsAppGroupMemberArray[1].groupMemberAppID, kAnna);

    // Two push names, then the members once each; a nameless member is
    // named by its number.
    EXPECT_EQ(
        test::fieldsOf(fixture.state.whatsAppFavContactArray, &KTWhatsAppFavContact::contactName),
        (std::vector<std::string>{"Anna ✨", "Benny", "Ben B", "4917012345678"}));
    EXPECT_EQ(fixture.state.whatsAppFavContactArray[0].whatsAppID, "4917012345678");
    EXPECT_EQ(fixture.progress(), (std::vector<int>{70, 78, 95}));
    ASSERT_TRUE(fixture.state.currentNodeInfo);
    EXPECT_EQ(fixture.state.currentNodeInfo->whatsAppNodeName, "");  // no preferences file
}

TEST(ChatReadersMissing, NoDatabaseMeansNoAccountAndNotFound) {
    test::WhatsAppBackupFixture fixture;
    fixture.builder.addFile("HomeDomain", "x", "y");
    fixture.writeAndIndex();
    const Status missing = Status::notFound("WhatsAppMessageDB is not exist");
    EXPECT_EQ(getWhatsAppFavateContact(fixture.state, fixture.folder), missing);
    EXPECT_EQ(getWhatsAppIDInfo(fixture.state, fixture.folder), missing);
    EXPECT_EQ(scanWhatsAppMessageThread(fixture.state, fixture.folder), missing);
    EXPECT_FALSE(fixture.state.currentNodeInfo);
    EXPECT_TRUE(fixture.progress().empty());
    EXPECT_TRUE(fixture.state.wpConvChatArray.empty());
}

// A chat database that is no database, or whose pages were overwritten
// behind an intact header: every reader says it is damaged and reads
// nothing, and the scan still ends its stages.
TEST(ChatReadersMissing, DamagedDatabasesAreCorruptAndGiveNoMessages) {
    test::TempHome scratch;
    const std::string good = scratch.path() + "/good.sqlite";
    SampleChatDatabase content = ruleDatabase();
    ASSERT_TRUE(sample::writeChatStorage(good, content));
    const std::string bytes = test::readFile(good);
    std::string garbled = bytes.substr(0, 100);
    for (size_t i = garbled.size(); i < bytes.size(); ++i) {
        garbled += static_cast<char>(i * 7919 % 251);
    }
    for (const std::string& damaged : {std::string(8192, 'x'), garbled}) {
        test::WhatsAppBackupFixture fixture;
        fixture.builder.addFile(kShared, "ChatStorage.sqlite", damaged);
        fixture.writeAndIndex();
        const Status account = getWhatsAppIDInfo(fixture.state, fixture.folder);
        const Status messages = scanWhatsAppMessageThread(fixture.state, fixture.folder);
        EXPECT_EQ(account.code(), StatusCode::corrupt) << account.toString();
        EXPECT_EQ(messages.code(), StatusCode::corrupt) << messages.toString();
        // Named as the catalogue names it: the file key tells a person nothing.
        EXPECT_EQ(messages.message().rfind("ChatStorage.sqlite is damaged: ", 0), 0u)
            << messages.message();
        EXPECT_EQ(fixture.state.wpConvChatArray.size(), 1u);  // the starred list only
        EXPECT_TRUE(fixture.state.wpChatArray.empty());
        EXPECT_EQ(fixture.progress(), (std::vector<int>{78, 95}));
    }
}

SampleChatDatabase sentMessages(int64_t count) {
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna", 0}};
    for (int64_t i = 1; i <= count; ++i) {
        db.messages.push_back(toAnna(i));
        db.messages.back().media.reset();
    }
    return db;
}

TEST(MessageProgress, ThresholdsAndTheCounter) {
    const std::vector<std::pair<int64_t, int>> steps = {
        {550, 0},   {551, 79},   {1551, 80}, {3000, 81},   {15000, 84},  {15001, 0},
        {22000, 0}, {42000, 85}, {62001, 0}, {242000, 94}, {262000, 94},
    };
    for (const auto& [count, percent] : steps) {
        EXPECT_EQ(progressForMessageCount(count), percent) << count;
    }

    test::WhatsAppBackupFixture fixture;
    fixture.addChatDatabase(sentMessages(15003));
    fixture.writeAndIndex();
    EXPECT_TRUE(scanWhatsAppMessageThread(fixture.state, fixture.folder).ok());
    EXPECT_EQ(fixture.state.wpChatArray.size(), 15003u);
    EXPECT_EQ(fixture.progress(), (std::vector<int>{79, 80, 81, 82, 83, 84, 95}));
    // The running count starts past the fixed steps.
    EXPECT_EQ(fixture.reporter.counts, (std::vector<int>{15001, 15002, 15003}));
}

TEST(MessageStop, StopsAfterTheCurrentMessageWithoutFinalProgress) {
    test::WhatsAppBackupFixture fixture;
    fixture.addChatDatabase(sentMessages(600));
    fixture.writeAndIndex();
    fixture.stopAtFirstProgress();
    EXPECT_TRUE(scanWhatsAppMessageThread(fixture.state, fixture.folder).ok());
    EXPECT_EQ(fixture.state.wpChatArray.size(), 551u);
    EXPECT_EQ(fixture.progress(), std::vector<int>{79});
}

TEST(MessageLog, AMessageOnlyInTheWriteAheadLogIsRead) {
    test::WhatsAppBackupFixture fixture;
    SampleChatDatabase db = sentMessages(1);
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
    EXPECT_TRUE(scanWhatsAppMessageThread(fixture.state, fixture.folder).ok());
    ASSERT_EQ(fixture.state.wpChatArray.size(), 2u);
    EXPECT_EQ(fixture.state.wpChatArray[1].messageContent, "only in the log");
    EXPECT_FALSE(fixture.state.wpChatArray[1].messageDate);  // no stored time
}

// What the phone's own database says, read with plain SQLite on a copy.
TEST(RealChatStorage, EveryMessageConversationAndMemberOfARealPhone) {
    test::WhatsAppBackupFixture fixture;
    const std::string original =
        test::copyOfRealData("josh_ios15/ChatStorage.sqlite", fixture.home.path() + "/real");
    fixture.builder.addFileFromDisk(kShared, "ChatStorage.sqlite", original);
    fixture.writeAndIndex();
    const auto expected =
        test::queryRows(original,
                        "select ZWAMESSAGE.ZCHATSESSION, ZTEXT, ZISFROMME from ZWAMESSAGE "
                        "left join ZWAMEDIAITEM on ZWAMESSAGE.Z_PK = ZWAMEDIAITEM.ZMESSAGE");
    ASSERT_EQ(expected.size(), 32u);
    readChats(fixture);

    const auto& messages = fixture.state.wpChatArray;
    ASSERT_EQ(messages.size(), expected.size());
    for (size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(messages[i].chatID, std::stoi(expected[i][0]));
        EXPECT_EQ(messages[i].messageContent, expected[i][1]);
        EXPECT_EQ(messages[i].messageType,
                  expected[i][2] == "1" ? Direction::Send : Direction::Receive);
        EXPECT_EQ(messages[i].messageNumb.find("@s.whatsapp.net"), std::string::npos);
        EXPECT_TRUE(messages[i].messageDate);
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
