// Deleted-message recovery on a real phone's chat database (current table
// shape, write-ahead log) after realistic deletions: what survives comes
// back as it was written, nothing live comes back, deleted chats become
// conversations, and the untouched database yields nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/CarvedMessageCheck.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/MemberAddressIndex.h"
#include "carving/SchemaCarver.h"
#include "carving/SerialRecord.h"
#include "common/SqliteDatabase.h"
#include "common/WhatsAppIds.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/ScanResult.h"
#include "sample/SampleRealSchemaTraffic.h"
#include "sample/SampleRecordImage.h"
#include "support/TestSupport.h"
#include "whatsapp/DeletedMessagesStage.h"

namespace vessamo {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string kChatKey = "7c7fba66680ef796b916b067077cc246adacf01d";
const std::string kRealChats = "josh_ios15/ChatStorage.sqlite";

struct Shown : ScanReporter {
    void recovered(const KTWhatsAppNode& m) override { messages.push_back(m); }
    std::vector<KTWhatsAppNode> messages;
};

// A recovered message as shown, copied out of the scan that owns its texts.
struct Message {
    int32_t chat = 0;
    Direction direction = Direction::Unknown;
    std::optional<AppleTime> date;
    std::string text;
    std::string number;
    bool media = false;
};

// What the scan stage recovered from one backup folder, by stanza id.
struct Recovery {
    std::map<std::string, Message> byStanza;
    size_t count = 0;
    std::vector<int32_t> deletedChats;
    std::map<int32_t, std::string> chatNames;  // of every recovered conversation
};

Recovery recover(const std::string& folder) {
    Shown shown;
    ScanState state(shown, {});
    EXPECT_TRUE(scanDeletedWhatsAppMessageThread(state, folder).ok());
    Recovery recovery;
    for (auto* list : {&shown.messages, &state.wpChatArray}) {
        for (const KTWhatsAppNode& m : *list) {
            recovery.byStanza.emplace(
                std::string(m.stanzaId),
                Message{m.chatID, m.messageType, m.messageDate, std::string(m.messageContent),
                        std::string(m.messageNumb), m.isHaveAttch});
            ++recovery.count;
        }
    }
    ScanResult result;
    state.intake.moveInto(result);
    recovery.deletedChats = result.deletedChats;
    for (const KTWhatsAppCovNode& conversation : result.whatsAppArray) {
        recovery.chatNames[conversation.chatID] = std::string(conversation.currentChatName);
    }
    return recovery;
}

class RealSchemaRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        if (!hasRealData(kRealChats)) {
            GTEST_SKIP() << "real-device data set missing";
        }
        source = copyOfRealData(kRealChats, home.path() + "/source");
        folder = home.path() + "/backup";
        fs::create_directories(folder);
    }

    TempHome home;
    std::string source;
    std::string folder;
};

TEST_F(RealSchemaRecovery, SurvivingDeletedMessagesComeBackAsWrittenAndNothingLive) {
    sample::RealTrafficOptions options;
    // Enough traffic that the log is checkpointed and reused, as on a
    // phone; in this run later rows overwrote the end of a deleted group's
    // session record in an older image of its page.
    options.messages = 4000;
    options.singleDeletes = 100;
    options.seed = 3;
    std::string error;
    const std::string wal =
        folder + "/" +
        BackupFileLocator::fileKey("AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
                                   "ChatStorage.sqlite-wal");
    const auto traffic =
        sample::writeRealSchemaTraffic(source, folder + "/" + kChatKey, wal, options, &error);
    ASSERT_TRUE(traffic) << error;
    ASSERT_EQ(traffic->deletedChats.size(), 2u);
    ASSERT_EQ(traffic->deletedGroups.size(), 1u);

    const Recovery recovery = recover(folder);
    size_t surviving = 0;
    for (size_t i = 0; i < traffic->deleted.size(); ++i) {
        const sample::TrafficMessage& expected = traffic->deleted[i];
        const auto found = recovery.byStanza.find(expected.stanzaId);
        if (!traffic->survives[i]) {
            continue;
        }
        ++surviving;
        ASSERT_NE(found, recovery.byStanza.end()) << "lost: " << expected.text;
        const Message& m = found->second;
        EXPECT_EQ(m.chat, expected.chat) << expected.text;
        EXPECT_EQ(m.direction, expected.fromMe ? Direction::Send : Direction::Receive);
        ASSERT_TRUE(m.date);
        EXPECT_EQ(m.date->seconds, static_cast<int64_t>(std::floor(expected.date)));
        EXPECT_EQ(m.text, expected.text);
        EXPECT_EQ(m.media, expected.media);
        // The author as the chat knew it, a deleted group's members too.
        EXPECT_EQ(m.number, expected.fromMe ? "" : whatsAppNumber(expected.senderJid))
            << expected.text;
    }
    // Most deleted rows survive a phone's deletions: the builder is no
    // case where recovery has nothing to find.
    EXPECT_GT(surviving, traffic->deleted.size() * 3 / 4);

    std::set<std::string> deleted;
    for (const auto& m : traffic->deleted) {
        deleted.insert(m.stanzaId);
    }
    for (const auto& m : traffic->live) {
        EXPECT_FALSE(recovery.byStanza.contains(m.stanzaId)) << "live row shown: " << m.text;
    }
    for (const auto& [stanza, m] : recovery.byStanza) {
        EXPECT_TRUE(deleted.contains(stanza)) << "not a deleted message: " << m.text;
    }
    // A deleted chat is named as it was where its session record survives,
    // else from its messages (no contacts here: numbers); never a name
    // read from bytes a later row overwrote.
    for (size_t i = 0; i < traffic->deletedChats.size(); ++i) {
        const auto chat = static_cast<int32_t>(traffic->deletedChats[i]);
        EXPECT_EQ(std::count(recovery.deletedChats.begin(), recovery.deletedChats.end(), chat), 1)
            << "deleted chat " << chat << " is no conversation";
        const auto named = recovery.chatNames.find(chat);
        const std::string name = named == recovery.chatNames.end() ? "" : named->second;
        const bool fromMessages =
            !name.empty() && name.find_first_not_of("0123456789, …") == std::string::npos;
        EXPECT_TRUE(name == traffic->deletedChatNames[i] || fromMessages) << name;
    }
}

TEST_F(RealSchemaRecovery, UntouchedDatabaseYieldsNothing) {
    fs::copy_file(source, folder + "/" + kChatKey);
    const Recovery recovery = recover(folder);
    EXPECT_EQ(recovery.count, 0u);
    EXPECT_TRUE(recovery.deletedChats.empty());
}

// A received message row of the real table, as SQLite lays out its record.
struct RealRow {
    std::vector<std::string> columns;
    sample::RecordImage image;
};

RealRow receivedRow(const std::string& database, const std::string& stanza, bool picture = false) {
    RealRow row;
    for (const TableSchema& table : readTableSchemas(database)) {
        if (table.name == "ZWAMESSAGE") {
            row.columns = table.columns;
        }
    }
    const std::map<std::string, sample::Value> filled = {
        {"Z_ENT", int64_t{9}},
        {"Z_OPT", int64_t{3}},
        {"ZISFROMME", int64_t{0}},
        {"ZMESSAGESTATUS", int64_t{8}},
        {"ZSORT", int64_t{5}},
        {"ZCHATSESSION", int64_t{5}},
        {"ZMESSAGEDATE", int64_t{704735850}},
        {"ZFROMJID", std::string("19198887386@s.whatsapp.net")},
        {"ZPUSHNAME", std::string("COrlxKIGIABIAQ==")},
        {"ZSTANZAID", stanza},
        {"ZMEDIAITEM", picture ? sample::Value(int64_t{3}) : sample::Value()},
        {"ZTEXT",
         picture ? sample::Value() : std::string("Awesome. You had some chat history, eh?")},
    };
    std::vector<sample::Value> values;
    size_t stanzaColumn = 0;
    for (const std::string& column : row.columns) {
        const auto value = filled.find(column);
        stanzaColumn = column == "ZSTANZAID" ? values.size() : stanzaColumn;
        values.push_back(value == filled.end() ? sample::Value() : value->second);
    }
    row.image =
        sample::recordImageOf(values, std::vector<bool>(values.size(), false), stanzaColumn);
    return row;
}

// What the message checks say of the record kept to its first `length` bytes.
Rejection checkCut(const RealRow& row, size_t length) {
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(row.image.bytes.data()), length);
    const auto record =
        parseSerialRecord(bytes, row.image.column1 - 1, row.columns.size(), true, true);
    if (!record) {
        return Rejection::Empty;
    }
    bool deletedChat = false;
    return checkMessage(bytes, *record, *messageColumnsNamed(row.columns), {}, deletedChat);
}

TEST_F(RealSchemaRecovery, ARecordThatLostWhatSaysWhatItWasIsNoMessage) {
    const RealRow row = receivedRow(source, "3A04DEF4811138F7C490");
    ASSERT_EQ(row.columns.size(), 34u);
    const size_t whole = row.image.bytes.size();
    EXPECT_EQ(checkCut(row, whole), Rejection::None);
    // Cut inside its text: the start of the text is kept.
    EXPECT_EQ(checkCut(row, whole - 10), Rejection::None);
    // A picture's record cut inside its stanza id: the NULLs read in place
    // of the lost columns must not pass for a picture without text.
    const RealRow picture = receivedRow(source, "3A122E2C181DAD156707", true);
    EXPECT_EQ(checkCut(picture, picture.image.bytes.size()), Rejection::None);
    EXPECT_EQ(checkCut(picture, picture.image.stanzaAt + 6), Rejection::Text);
    // A later row's bytes where its stanza id was.
    const RealRow overwritten =
        receivedRow(source, "3A122E2C181DA\xff\x01\x02\x03\x04\x05\x06", true);
    EXPECT_EQ(checkCut(overwritten, overwritten.image.bytes.size()), Rejection::Text);
}

// Rows deleted in the log with their bytes scrubbed there survive only in
// the database file's own image of their page, which the log replaced.
TEST(ReplacedPages, RowsDeletedInTheLogComeBackFromTheFilesOwnImage) {
    TempHome home;
    const std::string source = home.path() + "/source.sqlite";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(source, SqliteDatabase::Mode::Create), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA journal_mode=WAL; CREATE TABLE T (ID INTEGER PRIMARY KEY, "
                             "BODY TEXT); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                             "FROM n WHERE i < 20) INSERT INTO T SELECT i, 'row ' || i || ' of "
                             "the table' FROM n; PRAGMA wal_checkpoint(TRUNCATE);"
                             "PRAGMA secure_delete=ON; DELETE FROM T WHERE ID BETWEEN 5 AND 10;"),
                  SQLITE_OK);
        // A backup copies the files while the app holds them open.
        ASSERT_EQ(sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr),
                  SQLITE_OK);
    }
    const std::string copy = home.path() + "/copy.sqlite";
    fs::copy_file(source, copy);
    fs::copy_file(source + "-wal", copy + "-wal");
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(copy, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA wal_checkpoint(TRUNCATE)"), SQLITE_OK);
    }
    const auto file = CarvingFile::open(copy);
    const auto original = CarvingFile::open(source);
    const auto wal = CarvingFile::open(source + "-wal");
    ASSERT_TRUE(file && original && wal);
    const TableSchema table = readTableSchemas(copy).front();
    std::map<std::string, RecordOrigin> found;
    const SchemaCarver::Check take = [&](const FoundRecord& f) {
        const std::string_view body = f.record.text(f.bytes, 1);
        if (!body.starts_with("row ") || !body.ends_with(" of the table")) {
            return false;
        }
        found.emplace(body, f.place.origin);
        return true;
    };
    SchemaCarver carver(table);
    carver.carve(*file, wal.get(), take);
    EXPECT_FALSE(found.contains("row 7 of the table"));  // scrubbed from the log's image
    carver.carveReplaced(*original, *wal, take);
    for (int id = 5; id <= 10; ++id) {
        const auto row = found.find("row " + std::to_string(id) + " of the table");
        ASSERT_NE(row, found.end()) << id;
        EXPECT_EQ(row->second, RecordOrigin::ReplacedPage);
        EXPECT_EQ(placeName({row->second, 0}), "replaced page");
    }
}

// A group deleted with its members: small member rows freed one by one
// into one merged freeblock, each keeping the link written when it was
// freed, which took its key, its header length and column 0's type.
class DeletedMemberRows : public ::testing::Test {
protected:
    static constexpr int64_t kDeletedGroup = 5;
    static constexpr int64_t kLiveGroup = 6;

    void SetUp() override {
        path = home.path() + "/members.sqlite";
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE;"
                             "CREATE TABLE ZWAGROUPMEMBER ( Z_PK INTEGER PRIMARY KEY, Z_ENT "
                             "INTEGER, Z_OPT INTEGER, ZCONTACTABID INTEGER, ZISACTIVE INTEGER, "
                             "ZISADMIN INTEGER, ZSENDERKEYSENT INTEGER, ZCHATSESSION INTEGER, "
                             "ZRECENTGROUPCHAT INTEGER, ZCONTACTIDENTIFIER VARCHAR, ZCONTACTNAME "
                             "VARCHAR, ZFIRSTNAME VARCHAR, ZMEMBERJID VARCHAR );"
                             "CREATE INDEX Z_WAGroupMember_byMemberJIDIndex ON ZWAGROUPMEMBER "
                             "(ZMEMBERJID COLLATE BINARY ASC);"
                             "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME "
                             "VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);"
                             "INSERT INTO Z_PRIMARYKEY VALUES (6, 'WAGroupMember', 0, 16);"),
                  SQLITE_OK);
        for (int64_t pk = 1; pk <= 16; ++pk) {
            const int64_t chat = pk <= 12 ? kDeletedGroup : kLiveGroup;
            const std::string jid =
                "49151" + std::to_string(2000000 + pk * 7919) + "@s.whatsapp.net";
            jids[pk] = jid;
            ASSERT_EQ(db.execute("INSERT INTO ZWAGROUPMEMBER VALUES (" + std::to_string(pk) +
                                 ", 6, 1, 0, 1, 0, NULL, " + std::to_string(chat) +
                                 ", NULL, NULL, NULL, NULL, '" + jid + "')"),
                      SQLITE_OK);
        }
        ASSERT_EQ(db.execute("BEGIN; DELETE FROM ZWAGROUPMEMBER WHERE ZCHATSESSION = 5; COMMIT;"),
                  SQLITE_OK);
    }

    TempHome home;
    std::string path;
    std::map<int64_t, std::string> jids;
};

TEST_F(DeletedMemberRows, EveryDeletedMemberComesBackWithItsKeyAndGroup) {
    const auto file = CarvingFile::open(path);
    ASSERT_TRUE(file);
    // The records themselves, though their keys are gone.
    std::set<std::string> carved;
    for (const TableSchema& table : readTableSchemas(path)) {
        if (table.name != "ZWAGROUPMEMBER") {
            continue;
        }
        SchemaCarver carver(table);
        carver.carve(*file, nullptr, [&](const FoundRecord& found) {
            const std::string_view jid = found.record.text(found.bytes, 12);
            if (!isWhatsAppAddress(jid)) {
                return false;
            }
            carved.emplace(jid);
            return true;
        });
    }
    std::set<std::string> pairs;
    std::unordered_set<std::string> addresses;
    for (int64_t pk = 1; pk <= 12; ++pk) {
        EXPECT_TRUE(carved.contains(jids[pk])) << jids[pk];
        addresses.insert(jids[pk]);
    }
    // The address index pairs each address with its key.
    for (const auto& [address, key] :
         memberKeysByAddress(path, *file, nullptr, nullptr, addresses)) {
        pairs.insert(address + " " + std::to_string(key));
    }
    ChatDatabaseFacts facts = ChatDatabaseFacts::of(path);
    facts.recoverMembers(path, *file, nullptr, nullptr);
    for (int64_t pk = 1; pk <= 12; ++pk) {
        EXPECT_TRUE(pairs.contains(jids[pk] + " " + std::to_string(pk))) << jids[pk];
        const ChatDatabaseFacts::Member* member = facts.memberOf(pk, kDeletedGroup);
        ASSERT_NE(member, nullptr) << pk;
        EXPECT_EQ(member->jid, jids[pk]);
        // A message of another chat never borrows a deleted group's member.
        EXPECT_EQ(facts.memberOf(pk, kLiveGroup), nullptr);
    }
    for (int64_t pk = 13; pk <= 16; ++pk) {
        ASSERT_NE(facts.memberOf(pk, kLiveGroup), nullptr);
        EXPECT_EQ(facts.memberOf(pk, kLiveGroup)->jid, jids[pk]);
        EXPECT_FALSE(facts.deletedMembers.contains(pk));
    }
}

}  // namespace
}  // namespace vessamo
