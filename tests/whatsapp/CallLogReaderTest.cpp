#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "backup/ScanState.h"
#include "common/NotificationCenter.h"
#include "common/PlistValue.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleCallLog.h"
#include "support/TestSupport.h"
#include "whatsapp/CallLogReader.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::SampleBackupBuilder;
using sample::SampleCall;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
const std::string kApp = "AppDomain-net.whatsapp.WhatsApp";
const std::string kJid = "@s.whatsapp.net";

std::string toBytes(const PlistValue& value) {
    PlistValue::Bytes bytes = value.toBinary();
    return std::string(bytes.begin(), bytes.end());
}

std::string archiveOf(PlistValue::Array objects) {
    return toBytes(PlistValue::dictionary({{"$archiver", PlistValue::string("NSKeyedArchiver")},
                                           {"$objects", PlistValue::array(std::move(objects))}}));
}

PlistValue entry(std::optional<PlistValue> time, PlistValue incoming, PlistValue duration) {
    PlistValue::Dictionary fields{{"incoming", std::move(incoming)},
                                  {"duration", std::move(duration)},
                                  {"$class", PlistValue::uid(0)}};
    if (time) {
        fields["NS.time"] = std::move(*time);
    }
    return PlistValue::dictionary(std::move(fields));
}

PlistValue dateObject(double seconds2001) {
    return PlistValue::dictionary({{"NS.time", PlistValue::real(seconds2001)}});
}

using Row = std::vector<std::string>;  // phone, type, duration, date

std::vector<Row> rowsOf(const std::vector<KTCallHistoryNodePtr>& calls) {
    std::vector<Row> rows;
    for (const auto& call : calls) {
        rows.push_back({call->callPhone, call->callType, call->callDuration, call->callDate});
    }
    return rows;
}

class CallLogTest : public ::testing::Test {
protected:
    std::vector<KTCallHistoryNodePtr> scan(const SampleBackupBuilder& builder) {
        const std::string folder = home_.path() + "/backup" + std::to_string(++backups_);
        EXPECT_TRUE(builder.write(folder));
        state_.biOS10version = builder.layout() == CatalogueLayout::ManifestDb;
        state_.wpCallArray.clear();
        scanWhatsAppCalllogThread(state_, folder);
        return state_.wpCallArray;
    }

    static SampleBackupBuilder withDatabase(const std::string& bytes) {
        SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
        builder.addFile(kShared, "CallHistory.sqlite", bytes);
        return builder;
    }

    // The database of calls with one statement run over it afterwards.
    std::string patchedDatabase(const std::vector<SampleCall>& calls, const std::string& sql) {
        const std::string path = home_.path() + "/patch" + std::to_string(++backups_);
        test::writeFile(path, sample::callHistoryDatabase(calls));
        SqliteDatabase db;
        EXPECT_EQ(db.open(path, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        EXPECT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
        db.close();
        return test::readFile(path);
    }

    void addContact(const std::string& name, const std::string& phone) {
        auto contact = std::make_shared<KTContactNode>();
        contact->contactName = name;
        contact->contactPhone = phone;
        state_.contactArray.push_back(contact);
    }

    test::TempHome home_;
    test::ScopedTimeZone utc_{"UTC"};
    NotificationCenter center_;
    ScanState state_{center_};
    int backups_ = 0;
};

TEST_F(CallLogTest, DatabaseCallsComeNewestFirstWithTypeAndLength) {
    auto calls = scan(withDatabase(sample::callHistoryDatabase({
        {{"10" + kJid}, 300000000, 0, 0, true},
        {{"11" + kJid}, 59.9, 59, 0, true},
        {{"12" + kJid, "22" + kJid, "32" + kJid}, 400000000.75, 7300, 2, false},
        {{"13" + kJid}, -0.5, 1, 1, false},
        {{"14" + kJid}, 200000000, 0, 1, false},
    })));
    ASSERT_EQ(calls.size(), 7u);
    std::vector<Row> seen = rowsOf(calls);
    // The participants of the group call tie on the date; their order is free.
    std::sort(seen.begin(), seen.begin() + 3);
    EXPECT_EQ(seen, (std::vector<Row>{
                        {"12", "Outgoing", "2 hours", "09-04-2013 15:06"},
                        {"22", "Outgoing", "2 hours", "09-04-2013 15:06"},
                        {"32", "Outgoing", "2 hours", "09-04-2013 15:06"},
                        {"10", "Incoming", "Missed", "07-05-2010 05:20"},
                        {"14", "Outgoing", "Cancelled", "05-04-2007 19:33"},
                        {"11", "Incoming", "59 seconds", "01-01-2001 00:00"},
                        {"13", "Outgoing", "1 second", "01-01-2001 00:00"},
                    }));
    EXPECT_DOUBLE_EQ(calls[0]->doubledatestamp, 400000000.75);
    EXPECT_EQ(calls[0]->callTime, 7300);
}

TEST_F(CallLogTest, MissingColumnsKeepTheRecordsDefaults) {
    // A participant of no known event, and an event whose participant has no JID.
    auto calls = scan(withDatabase(patchedDatabase(
        {{{"491701111111" + kJid}, 1000, 30, 0, true}},
        "INSERT INTO ZWACDCALLEVENTPARTICIPANT VALUES (7, 3, 1, 0, 99, 2048, "
        "'4915@s.whatsapp.net'); UPDATE ZWACDCALLEVENTPARTICIPANT SET ZJIDSTRING = '' "
        "WHERE Z_PK = 1;")));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0]->callPhone, "");
    EXPECT_EQ(calls[0]->callDuration, "30 seconds");
    EXPECT_EQ(calls[1]->callPhone, "4915");
    EXPECT_EQ(calls[1]->callDate, "");
    EXPECT_EQ(calls[1]->doubledatestamp, 0.0);
    EXPECT_EQ(calls[1]->callType, "");
    EXPECT_EQ(calls[1]->callTime, -1);
    EXPECT_EQ(calls[1]->callDuration, "-1 second");
}

TEST_F(CallLogTest, DatabaseNamesNeedTheWholeNumberWhileArchivesMatchItsMiddle) {
    addContact("Anna Berg", "+49 170 1234567");
    // Holds the contact's middle digits but is not part of its number.
    const std::string partly = "999701234567000" + kJid;
    std::vector<SampleCall> sampleSet{{{"491701234567" + kJid, partly}, 5000, 60, 0, true}};

    auto fromDatabase = scan(withDatabase(sample::callHistoryDatabase(sampleSet)));
    ASSERT_EQ(fromDatabase.size(), 2u);
    for (const auto& call : fromDatabase) {
        EXPECT_EQ(call->callName, call->callPhone == "491701234567" ? "Anna Berg" : "");
    }

    SampleBackupBuilder archive(CatalogueLayout::ManifestDb);
    archive.addFile(kShared, "calls.log", sample::callLogArchive(sampleSet));
    auto fromArchive = scan(archive);
    ASSERT_EQ(fromArchive.size(), 2u);
    EXPECT_EQ(fromArchive[1]->callPhone, "999701234567000");
    EXPECT_EQ(fromArchive[1]->callName, "Anna Berg");
}

// The phone of the only call found, or "" when there is not exactly one.
std::string onlyPhone(const std::vector<KTCallHistoryNodePtr>& calls) {
    return calls.size() == 1 ? calls[0]->callPhone : "";
}

std::string archiveWithCallFrom(const std::string& phone) {
    return sample::callLogArchive({{{phone + kJid}, 100, 0, 0, true}});
}

TEST_F(CallLogTest, DatabaseWithoutCallsFallsBackToTheArchivesInOrder) {
    auto empty = withDatabase(sample::callHistoryDatabase({}));
    empty.addFile(kShared, "calls.log", archiveWithCallFrom("4911"));
    empty.addFile(kShared, "calls.backup.log", archiveWithCallFrom("4922"));
    EXPECT_EQ(onlyPhone(scan(empty)), "4911");

    auto unreadable = withDatabase("this is no database");
    unreadable.addFile(kShared, "calls.backup.log", archiveWithCallFrom("4922"));
    unreadable.addFile(kApp, "Documents/calls.backup.log", archiveWithCallFrom("4933"));
    EXPECT_EQ(onlyPhone(scan(unreadable)), "4922");

    SampleBackupBuilder archiveOnly(CatalogueLayout::ManifestDb);
    archiveOnly.addFile(kApp, "Documents/calls.backup.log", archiveWithCallFrom("4933"));
    EXPECT_EQ(onlyPhone(scan(archiveOnly)), "4933");
}

TEST_F(CallLogTest, ArchiveCallsTakeTheLatestJidAndDate) {
    SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addFile(
        kShared, "calls.log",
        archiveOf(
            {PlistValue::string("$null"), PlistValue::string("4910" + kJid),
             entry(std::nullopt, PlistValue::boolean(true), PlistValue::integer(0)),
             dateObject(100), PlistValue::string("4911" + kJid),
             entry(std::nullopt, PlistValue::boolean(true), PlistValue::integer(0)),
             PlistValue::string("4912" + kJid), PlistValue::string("not a JID"),
             entry(PlistValue::real(200000), PlistValue::boolean(false), PlistValue::integer(0)),
             PlistValue::string("4913" + kJid), PlistValue::string("4914" + kJid),
             entry(std::nullopt, PlistValue::integer(1), PlistValue::integer(61)),
             entry(PlistValue::real(300000000), PlistValue::boolean(true),
                   PlistValue::integer(5))}));
    auto calls = scan(builder);
    EXPECT_EQ(rowsOf(calls), (std::vector<Row>{
                                 {"4910", "Incoming Call", "Missed Call", ""},
                                 {"4911", "Incoming Call", "Missed Call", "01-01-2001 00:01"},
                                 {"4912", "Outgoing Call", "Cancelled Call", "01-03-2001 07:33"},
                                 {"4914", "Incoming Call", "1 minute", "01-03-2001 07:33"},
                             }));
    EXPECT_EQ(calls[3]->callTime, -1);  // archives keep no length in seconds
}

TEST_F(CallLogTest, ArchiveValuesBehindUidsAreFollowedButCyclesAreNot) {
    SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addFile(
        kShared, "calls.log",
        archiveOf({PlistValue::string("$null"), PlistValue::boolean(true), PlistValue::uid(3),
                   PlistValue::integer(125), PlistValue::real(100), PlistValue::uid(6),
                   PlistValue::uid(5), PlistValue::string("4910" + kJid),
                   entry(PlistValue::uid(4), PlistValue::uid(1), PlistValue::uid(2)),
                   PlistValue::string("4911" + kJid),
                   entry(PlistValue::uid(5), PlistValue::uid(6), PlistValue::uid(999))}));
    auto calls = scan(builder);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0]->callType, "Incoming Call");
    EXPECT_EQ(calls[0]->callDuration, "2 minutes");
    EXPECT_EQ(calls[0]->callDate, "01-01-2001 00:01");
    // Nothing resolves: the date seen before is kept, the rest is default.
    EXPECT_EQ(calls[1]->callType, "Outgoing Call");
    EXPECT_EQ(calls[1]->callDuration, "Cancelled Call");
    EXPECT_EQ(calls[1]->callDate, "01-01-2001 00:01");
}

TEST_F(CallLogTest, DamagedOrHugeArchivesNeitherCrashNorHang) {
    for (const std::string& bytes :
         {std::string("bplist00 garbage"), toBytes(PlistValue::array({PlistValue::string("x")})),
          toBytes(PlistValue::dictionary({{"$objects", PlistValue::string("4910" + kJid)}}))}) {
        SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
        builder.addFile(kShared, "calls.log", bytes);
        EXPECT_TRUE(scan(builder).empty());
    }
    PlistValue::Array many{PlistValue::string("$null")};
    for (int i = 0; i < 5000; ++i) {
        many.push_back(PlistValue::string(std::to_string(i) + kJid));
        many.push_back(entry(PlistValue::uid(many.size() + 1), PlistValue::uid(many.size()),
                             PlistValue::uid(many.size() - 1)));
    }
    SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addFile(kShared, "calls.log", archiveOf(std::move(many)));
    auto calls = scan(builder);
    ASSERT_EQ(calls.size(), 5000u);
    EXPECT_EQ(calls.back()->callPhone, "4999");
}

TEST_F(CallLogTest, FlatBackupsReadTheAppsOwnCallLog) {
    SampleBackupBuilder builder(CatalogueLayout::Mbdb);
    builder.addFile(kApp, "Documents/calls.log", sample::callLogArchive(sample::sampleCalls(6)));
    auto calls = scan(builder);
    ASSERT_EQ(calls.size(), 8u);  // the fifth call is a group call of three
    EXPECT_EQ(calls[0]->callPhone + kJid, sample::sampleCalls(1)[0].participantJids[0]);
    EXPECT_EQ(calls[0]->callDuration, "Missed Call");
    EXPECT_EQ(calls[1]->callType, "Outgoing Call");
    EXPECT_EQ(calls[1]->callDuration, "1 minute");
    EXPECT_EQ(calls[0]->callDate, "01-16-2022 04:26");
}

TEST_F(CallLogTest, WithoutACallFileOnlyALogLineRemains) {
    SampleBackupBuilder nothing(CatalogueLayout::ManifestDb);
    nothing.addFile(kShared, "Contacts.sqlite", "unrelated");
    {
        SystemLog::Capture log;
        EXPECT_TRUE(scan(nothing).empty());
        EXPECT_TRUE(log.contains("WhatsAppMessageDB is not exist"));
    }
    {
        SystemLog::Capture log;
        scanWhatsAppCalllogThread(state_, "");
        EXPECT_TRUE(log.lines().empty());
    }
    // Older catalogues point at the chat database, which is no call archive.
    SampleBackupBuilder chatOnly(CatalogueLayout::Mbdb);
    chatOnly.addFile(kShared, "ChatStorage.sqlite", sample::callHistoryDatabase({}));
    state_.index.whatsAppChatPath = SampleBackupBuilder::fileKey(kShared, "ChatStorage.sqlite");
    SystemLog::Capture log;
    EXPECT_TRUE(scan(chatOnly).empty());
    EXPECT_FALSE(log.contains("WhatsAppMessageDB is not exist"));
}

struct QueriedCall {
    std::string jid;
    double date = 0;
    int64_t duration = 0;
    int64_t outcome = 0;
};

std::vector<QueriedCall> queryIndependently(const std::string& path) {
    sqlite3* db = nullptr;
    std::vector<QueriedCall> rows;
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db,
                                 "select ZWACDCALLEVENTPARTICIPANT.ZJIDSTRING,ZWACDCALLEVENT.ZDATE,"
                                 "ZWACDCALLEVENT.ZDURATION,ZWACDCALLEVENT.ZOUTCOME from "
                                 "ZWACDCALLEVENTPARTICIPANT left join ZWACDCALLEVENT on "
                                 "ZWACDCALLEVENTPARTICIPANT.Z1PARTICIPANTS=ZWACDCALLEVENT."
                                 "Z1CALLEVENTS order by ZWACDCALLEVENT.ZDATE desc",
                                 -1, &stmt, nullptr),
              SQLITE_OK);
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        rows.push_back({reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                        sqlite3_column_double(stmt, 1), sqlite3_column_int64(stmt, 2),
                        sqlite3_column_int64(stmt, 3)});
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

TEST_F(CallLogTest, RealCallHistoryMatchesAnIndependentQuery) {
    const std::string source =
        test::copyOfRealData("josh_ios15/CallHistory.sqlite", home_.path() + "/real");
    ASSERT_EQ(SampleBackupBuilder::fileKey(kShared, "CallHistory.sqlite"),
              "1b432994e958845fffe8e2f190f26d1511534088");
    const std::string independent = home_.path() + "/independent.sqlite";
    fs::copy_file(source, independent);
    const std::vector<QueriedCall> expected = queryIndependently(independent);
    ASSERT_EQ(expected.size(), 4u);

    auto calls = scan(withDatabase(test::readFile(source)));
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i]->callPhone + kJid, expected[i].jid);
        EXPECT_DOUBLE_EQ(calls[i]->doubledatestamp, expected[i].date);
        EXPECT_EQ(calls[i]->callTime, expected[i].duration);
        EXPECT_EQ(calls[i]->callType, expected[i].outcome < 1 ? "Incoming" : "Outgoing");
    }
    EXPECT_EQ(calls[0]->callDate, "05-02-2023 16:24");
    EXPECT_EQ(calls[0]->callDuration, "1 minute");
    EXPECT_EQ(calls[3]->callDate, "05-02-2023 16:12");
}

}  // namespace
}  // namespace vessamo
