#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/CarvingFile.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/DeletedMessageCarver.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleDeletedMessages.h"
#include "support/TestSupport.h"
#include "whatsapp/DeletedMessagesStage.h"

namespace vessamo {
namespace {

const std::string kChatKey = "7c7fba66680ef796b916b067077cc246adacf01d";

struct Silent : ScanReporter {};

class RecoveredChats : public ::testing::Test {
protected:
    std::shared_ptr<const ScanResult> scan() {
        ScanState state(reporter, {});
        EXPECT_EQ(scanDeletedWhatsAppMessageThread(state, folder), Status());
        return state.finish(SourceKind::Backup, folder);
    }

    test::TempHome home;
    std::string folder = home.path() + "/backup";
    std::string database = folder + "/" + kChatKey;
    Silent reporter;
};

// A phone's own database where nothing was deleted gives nothing back: its
// free space holds no message a person could read.
TEST_F(RecoveredChats, UntouchedRealDatabaseGivesNothing) {
    std::filesystem::create_directories(folder);
    const std::string copy = test::copyOfRealData("josh_ios15/ChatStorage.sqlite", folder);
    std::filesystem::rename(copy, database);
    const auto result = scan();
    EXPECT_TRUE(result->recoveredMessages.empty());
    EXPECT_TRUE(result->whatsAppArray.empty());
    EXPECT_EQ(std::count_if(result->WhatsAppChatArray.begin(), result->WhatsAppChatArray.end(),
                            [](const KTWhatsAppNode& m) { return m.bDeleted; }),
              0);
}

// Two messages deleted from a phone's own database (the current 34-column
// table, real traffic) come back alone, each with its chat, direction,
// date and author: the received one by its sender's number, the sent one
// by the owner.
TEST_F(RecoveredChats, MessagesDeletedFromARealDatabaseComeBackRight) {
    std::filesystem::create_directories(folder);
    const std::string copy = test::copyOfRealData("josh_ios15/ChatStorage.sqlite", folder);
    std::filesystem::rename(copy, database);
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(database, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA secure_delete=OFF; DELETE FROM ZWAMESSAGE WHERE Z_PK IN (13, "
                             "14);"),
                  SQLITE_OK);
    }
    const auto result = scan();
    std::vector<std::string> found;
    for (const KTWhatsAppNode& m : result->recoveredMessages) {
        found.push_back(std::to_string(m.chatID) + " " + std::to_string(m.messageDate->seconds) +
                        (m.messageType == Direction::Send ? " sent " : " received ") +
                        std::string(m.messageNumb) + " " + std::string(m.messageName) + ": " +
                        std::string(m.messageContent));
    }
    for (const KTWhatsAppNode& m : result->WhatsAppChatArray) {
        if (m.bDeleted) {
            found.push_back(std::to_string(m.chatID) + " " +
                            std::to_string(m.messageDate->seconds) +
                            (m.messageType == Direction::Send ? " sent " : " received ") +
                            std::string(m.messageNumb) + " " + std::string(m.messageName) + ": " +
                            std::string(m.messageContent));
        }
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{
                         "5 704735850 received 19198887386 19198887386: Awesome. You had some "
                         "chat history, eh?",
                         "5 704735904 sent  Me: Yep. I don’t recall setting it to back up, but "
                         "who knows."}));
}

// A chat deleted with its session row comes back as a conversation of its
// own, named after the other party, holding its messages and no other.
TEST_F(RecoveredChats, DeletedChatBecomesAConversation) {
    std::filesystem::create_directories(folder);
    for (const int64_t deletedChat : {1, 3}) {  // a person's chat, then the group
        std::filesystem::remove(database);
        sample::DeletedRowsOptions options;
        options.messages = 600;
        options.deletedChat = deletedChat;
        std::string error;
        const auto written = sample::writeChatStorageWithDeletedRows(database, options, &error);
        ASSERT_TRUE(written) << error;
        const auto result = scan();
        ASSERT_EQ(result->deletedChats, std::vector<int32_t>{static_cast<int32_t>(deletedChat)});
        const auto chat =
            std::find_if(result->whatsAppArray.begin(), result->whatsAppArray.end(),
                         [&](const KTWhatsAppCovNode& c) { return c.chatID == deletedChat; });
        ASSERT_NE(chat, result->whatsAppArray.end());
        EXPECT_TRUE(chat->bDeleted);
        EXPECT_EQ(chat->isGroupCov, deletedChat == 3);
        const std::string number(chat->currentChatNumber.value_or(Text()));
        EXPECT_EQ(number, deletedChat == 1 ? "491720007919@s.whatsapp.net"
                                           : "491720007919-1609459200@g.us");
        EXPECT_FALSE(chat->currentChatName.empty());
        // Every surviving record of the chat, and records whose first bytes a
        // freeblock link overwrote as well; nothing that was not a row of it.
        std::set<std::string> surviving;
        std::set<std::string> deleted;
        for (const sample::SurvivingRow& row : written->survivingDeletedRows) {
            if (row.chat == deletedChat && !row.text.empty()) {
                surviving.insert(row.text);
            }
        }
        for (const sample::SurvivingRow& row : written->deletedRows) {
            if (row.chat == deletedChat) {
                deleted.insert(row.text);
            }
        }
        ASSERT_FALSE(surviving.empty());
        std::set<std::string> shown;
        std::set<std::string> origins;
        for (const KTWhatsAppNode& message : result->messagesOf(*chat)) {
            EXPECT_EQ(message.chatID, deletedChat);
            origins.insert(std::string(result->recoveredOriginOf(message).value_or("none")));
            EXPECT_TRUE(deleted.contains(std::string(message.messageContent)))
                << message.messageContent;
            shown.insert(std::string(message.messageContent));
        }
        EXPECT_TRUE(std::includes(shown.begin(), shown.end(), surviving.begin(), surviving.end()));
        // Each says where it was found; a deleted chat's rows lie in
        // freeblocks and on pages handed back to the free list.
        EXPECT_FALSE(origins.contains("none"));
        EXPECT_TRUE(origins.contains("freeblock") || origins.contains("freelist"));
    }
}

// Records come from every kind of free room, and each says which.
TEST_F(RecoveredChats, RecordsTellWhereTheyWereFound) {
    std::filesystem::create_directories(folder);
    sample::DeletedRowsOptions options;
    options.messages = 3000;
    std::string error;
    ASSERT_TRUE(sample::writeChatStorageWithDeletedRows(database, options, &error)) << error;
    const auto file = CarvingFile::open(database);
    ASSERT_TRUE(file);
    TextStore texts;
    DeletedMessageCarver carver(CarverVariant::Backup, texts, {},
                                ChatDatabaseFacts::of(database).context);
    std::set<RecordOrigin> origins;
    ASSERT_TRUE(carver.carve(*file, [&](const CarvedRecord& r) { origins.insert(r.origin); }));
    EXPECT_TRUE(origins.contains(RecordOrigin::Freeblock));
    EXPECT_TRUE(origins.contains(RecordOrigin::FreelistPage));
    EXPECT_GT(carver.rejections()[static_cast<size_t>(Rejection::LiveRow)], 0u);
}

}  // namespace
}  // namespace vessamo
