#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <tuple>

#include "sample/SampleICloudDrive.h"
#include "whatsapp/ICloudMediaUnpacker.h"
#include "whatsapp/PushNameChatReaders.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

using sample::SampleChat;
using sample::SampleChatDatabase;
using sample::SampleMediaItem;
using sample::SampleMember;
using sample::SampleMessage;

// The stages of an iCloud Drive scan, in the order a scan runs them.
std::vector<Status> scanICloud(ScanState& state, const std::string& folder) {
    return {compressWhatsAppMedia(state, folder), scanWhatsaAppMedia(state, folder),
            getiCloudWhatsAppIDInfo(state, folder), scaniCloudWhatsAppMessageThread(state, folder)};
}

bool hasStarredList(const std::vector<KTWhatsAppCovNode>& chats) {
    return std::any_of(chats.begin(), chats.end(), [](const KTWhatsAppCovNode& chat) {
        return chat.chatID == kStarredChatID || chat.bStarredCovMessage ||
               chat.currentChatName == "Starred Messages";
    });
}

// Without address book or WhatsApp contacts a sender is named by the title
// of their own chat with the owner, else by the push name, else by number;
// what the owner sent is "Me", as no account names the owner here.
std::string expectedName(const sample::WhatsAppSample& world, const SampleMessage& row) {
    if (row.fromMe) {
        return "Me";
    }
    std::string jid = row.fromJid.value_or("");
    for (const SampleMember& member : world.database.members) {
        if (row.groupMember != 0 && member.pk == row.groupMember) {
            jid = member.jid;
        }
    }
    for (const SampleChat& chat : world.database.chats) {
        if (chat.groupInfo == 0 && chat.jid == jid) {
            return chat.partnerName;
        }
    }
    return row.pushName.value_or(jid.substr(0, jid.find('@')));
}

class ICloudChats : public ::testing::Test {
protected:
    test::WhatsAppBackupFixture fixture;
};

TEST_F(ICloudChats, ScanReadsChatsByPushNameWithoutStarsOrMediaRecords) {
    auto sample = sample::writeICloudDriveBackup(fixture.home.path());
    ASSERT_TRUE(sample);
    const auto backupBefore = test::treeDigest(sample->backupFolder);
    EXPECT_EQ(scanICloud(fixture.state, sample->backupFolder), std::vector<Status>(4));
    ScanState& state = fixture.state;

    EXPECT_EQ(fixture.progress(), (std::vector<int>{78, 80}));
    EXPECT_EQ(state.currentScanPath, sample->backupFolder + "/ChatStorage.sqlite");
    EXPECT_EQ(test::treeDigest(sample->backupFolder), backupBefore);

    ASSERT_EQ(state.wpConvChatArray.size(), sample->conversations);
    EXPECT_FALSE(hasStarredList(state.wpConvChatArray));
    for (const KTWhatsAppCovNode& chat : state.wpConvChatArray) {
        if (chat.isGroupCov) {
            EXPECT_EQ(chat.currentChatName, "Group Chat");
        } else {
            EXPECT_FALSE(chat.currentSubject) << chat.currentChatName;  // no favourites here
        }
    }
    EXPECT_EQ(state.whatsAppGroupMemberArray.size(), sample->groupMembers);
    ASSERT_EQ(state.whatsAppGroupInfoArray.size(), sample->world.database.pictures.size());
    for (const KTWhatAppGroupInfo& picture : state.whatsAppGroupInfoArray) {
        EXPECT_FALSE(picture.groupImagePath) << picture.groupzjid;  // no file index
    }

    const auto& rows = sample->world.database.messages;
    ASSERT_EQ(state.wpChatArray.size(), sample->messages);
    size_t starredRows = 0;
    size_t receivedWithoutPushName = 0;
    size_t filesFound = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const KTWhatsAppNode& message = state.wpChatArray[i];
        SCOPED_TRACE("message " + std::to_string(rows[i].pk));
        EXPECT_EQ(message.chatID, rows[i].chat);
        EXPECT_EQ(message.messageType, rows[i].fromMe ? Direction::Send : Direction::Receive);
        EXPECT_EQ(message.messageName, expectedName(sample->world, rows[i]));
        EXPECT_FALSE(message.bStarredMessage);
        EXPECT_TRUE(message.biCloudNode);
        EXPECT_FALSE(message.bTimelineNode);
        starredRows += rows[i].starred ? 1 : 0;
        receivedWithoutPushName += !rows[i].fromMe && !rows[i].pushName ? 1 : 0;
        if (!message.messageAttchpath.empty()) {
            EXPECT_TRUE(fs::is_regular_file(state.tempfilePath + message.messageAttchpath.str()));
            ++filesFound;
        }
    }
    // The sample holds what would tell the sources apart.
    EXPECT_GT(starredRows, 0u);
    EXPECT_GT(receivedWithoutPushName, 0u);
    EXPECT_GT(filesFound, 0u);
    EXPECT_TRUE(state.wpAttachArray.empty());
    EXPECT_FALSE(state.index.wpMediaArray.empty());
}

TEST_F(ICloudChats, WithoutAChatDatabaseTheScanStillListsMedia) {
    sample::ICloudDriveOptions options;
    options.chatStorage = false;
    auto sample = sample::writeICloudDriveBackup(fixture.home.path(), options);
    ASSERT_TRUE(sample);
    const Status missing = Status::notFound("WhatsAppMessageDB is not exist");
    EXPECT_EQ(scanICloud(fixture.state, sample->backupFolder),
              (std::vector<Status>{Status(), Status(), missing, missing}));
    EXPECT_TRUE(fixture.state.wpConvChatArray.empty());
    EXPECT_TRUE(fixture.state.wpChatArray.empty());
    EXPECT_TRUE(fixture.state.whatsAppGroupMemberArray.empty());
    EXPECT_TRUE(fixture.progress().empty());
    EXPECT_FALSE(fixture.state.index.wpMediaArray.empty());
}

// A Timeline folder keeps the chat database and every file flat.
class TimelineChats : public ::testing::Test {
protected:
    const std::string kAnna = "4917012345678@s.whatsapp.net";
    const std::string kBen = "4917098765432@s.whatsapp.net";
    const std::string kGroup = "4917012345678-1614000000@g.us";

    void SetUp() override {
        fs::create_directories(folder);
        SampleChatDatabase db;
        db.chats = {SampleChat{1, kAnna, "Anna S", 0}, SampleChat{2, kGroup, "Climbing", 1}};
        db.members = {SampleMember{1, 2, kBen, "Ben B"}};
        db.pictures = {{kAnna, "Media/Profile/anna-1"},
                       {kBen, "Media/Profile/ben-2"},
                       {kGroup, "Media/Profile/group-3"}};
        SampleMessage fromAnna;  // a push name and "from me": the owner's
        fromAnna.pk = 1;
        fromAnna.chat = 1;
        fromAnna.date = 474508800;
        fromAnna.pushName = "Anna ✨";
        fromAnna.fromMe = true;
        fromAnna.fromJid = kAnna;
        fromAnna.toJid = kBen;
        fromAnna.starred = true;
        SampleMessage fromBen = fromAnna;  // in the group, named by its member row
        fromBen.pk = 2;
        fromBen.chat = 2;
        fromBen.pushName = "Benny";
        fromBen.fromMe = false;
        fromBen.fromJid = kGroup;
        fromBen.groupMember = 1;
        SampleMessage sent;
        sent.pk = 3;
        sent.chat = 2;
        sent.date = 474508900;
        sent.fromMe = true;
        sent.toJid = kGroup;
        sent.media = SampleMediaItem{};
        sent.media->localPath = "Media/" + kGroup + "/a/b/pic.jpg";
        db.messages = {fromAnna, fromBen, sent};
        ASSERT_TRUE(sample::writeChatStorage(folder + "/ChatStorage.sqlite", db));
        for (const char* file : {"anna-1", "anna-1.jpg", "ben-2.jpg", "ben-2.thumb"}) {
            test::writeFile(folder + "/" + file, "picture");
        }
        addFavourite("4917012345678", folder + "/anna-1", "climbing");
        addFavourite("4917098765432", "Media/Profile/ben-2", "busy");
    }

    void addFavourite(const std::string& number, const std::string& picture,
                      const std::string& status) {
        KTWhatsAppFavContact& favourite = fixture.state.whatsAppFavContactArray.emplace_back();
        favourite.whatsAppID = fixture.state.intern(number);
        favourite.contactImagePath = fixture.state.intern(picture);
        favourite.contactStatu = fixture.state.intern(status);
    }

    test::WhatsAppBackupFixture fixture;
    std::string folder = fixture.home.path() + "/Timeline/WhatsApp-2022-01-15";
};

TEST_F(TimelineChats, PicturesByFileNameAndMessagesByPushName) {
    EXPECT_TRUE(getTimelineWhatsAppIDInfo(fixture.state, folder).ok());
    EXPECT_TRUE(scanTimelineWhatsAppMessageThread(fixture.state, folder).ok());
    ScanState& state = fixture.state;

    EXPECT_EQ(fixture.progress(), std::vector<int>{80});
    ASSERT_EQ(state.whatsAppGroupInfoArray.size(), 3u);
    EXPECT_EQ(state.whatsAppGroupInfoArray[0].groupImagePath, folder + "/anna-1");
    EXPECT_EQ(state.whatsAppGroupInfoArray[1].groupImagePath, folder + "/ben-2.jpg");
    EXPECT_EQ(state.whatsAppGroupInfoArray[2].groupImagePath, folder + "/group-3.thumb");

    ASSERT_EQ(state.wpConvChatArray.size(), 2u);
    EXPECT_FALSE(hasStarredList(state.wpConvChatArray));
    EXPECT_EQ(state.wpConvChatArray[0].groupChatImagePath, folder + "/anna-1");
    EXPECT_EQ(state.wpConvChatArray[0].currentSubject, "climbing");
    EXPECT_EQ(state.wpConvChatArray[1].currentSubject, "Climbing");

    // Direction, name, number and sender picture of each message.
    std::vector<std::tuple<Direction, std::string, std::string, std::optional<std::string>>> seen;
    for (const KTWhatsAppNode& m : state.wpChatArray) {
        seen.emplace_back(m.messageType, m.messageName, m.messageNumb, m.whatsAppcontactPath);
    }
    EXPECT_EQ(seen,
              (decltype(seen){{Direction::Send, "Me", "", std::nullopt},
                              {Direction::Receive, "Benny", "4917098765432", folder + "/ben-2.jpg"},
                              {Direction::Send, "Me", "", std::nullopt}}));
    EXPECT_FALSE(state.wpChatArray[0].bStarredMessage);
    EXPECT_TRUE(state.wpChatArray[2].isHaveAttch);
    for (const KTWhatsAppNode& message : state.wpChatArray) {
        EXPECT_TRUE(message.bTimelineNode);
        EXPECT_FALSE(message.biCloudNode);
    }
    EXPECT_TRUE(state.wpAttachArray.empty());
    EXPECT_EQ(state.currentScanPath, folder + "/ChatStorage.sqlite");
}

TEST_F(TimelineChats, MissingChatDatabaseIsNotFoundAndYieldsNothing) {
    fs::remove(folder + "/ChatStorage.sqlite");
    const Status missing = Status::notFound("WhatsAppMessageDB is not exist");
    EXPECT_EQ(getTimelineWhatsAppIDInfo(fixture.state, folder), missing);
    EXPECT_EQ(scanTimelineWhatsAppMessageThread(fixture.state, folder), missing);
    EXPECT_TRUE(getTimelineWhatsAppIDInfo(fixture.state, "").ok());
    EXPECT_TRUE(fixture.state.wpConvChatArray.empty());
    EXPECT_TRUE(fixture.state.whatsAppGroupInfoArray.empty());
    EXPECT_TRUE(fixture.state.wpChatArray.empty());
    EXPECT_TRUE(fixture.progress().empty());
}

}  // namespace
}  // namespace vessamo
