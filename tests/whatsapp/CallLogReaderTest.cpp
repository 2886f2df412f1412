#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "common/PlistValue.h"
#include "results/DisplayText.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleCallLog.h"
#include "support/TestSupport.h"
#include "whatsapp/CallLogReader.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

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

using Row = test::CallRow;
using test::rowsOf;

class CallLogTest : public ::testing::Test {
protected:
    std::vector<KTCallHistoryNode> scan(const SampleBackupBuilder& builder) {
        const std::string folder = home_.path() + "/backup" + std::to_string(++backups_);
        EXPECT_TRUE(builder.write(folder));
        run_.state.biOS10version = builder.layout() == CatalogueLayout::ManifestDb;
        run_.state.wpCallArray.clear();
        status_ = scanWhatsAppCalllogThread(run_.state, folder);
        return run_.state.wpCallArray;
    }

    static SampleBackupBuilder withDatabase(const std::string& bytes) {
        SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
        builder.addFile(kShared, "CallHistory.sqlite", bytes);
        return builder;
    }

    test::TempHome home_;
    test::ScanRun run_;
    Status status_;
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
    EXPECT_TRUE(status_.ok());
    std::vector<Row> seen = rowsOf(calls);
    // The participants of the group call tie on the date; their order is free.
    std::sort(seen.begin(), seen.begin() + 3);
    // Times are whole seconds toward zero.
    EXPECT_EQ(seen, (std::vector<Row>{
                        {"12", "Outgoing", "2 hours", 400000000},
                        {"22", "Outgoing", "2 hours", 400000000},
                        {"32", "Outgoing", "2 hours", 400000000},
                        {"10", "Incoming", "Missed", 300000000},
                        {"14", "Outgoing", "Cancelled", 200000000},
                        {"11", "Incoming", "59 seconds", 59},
                        {"13", "Outgoing", "1 second", 0},
                    }));
    EXPECT_DOUBLE_EQ(calls[0].doubledatestamp, 400000000.75);
    EXPECT_EQ(calls[0].callTime, 7300);
}

TEST_F(CallLogTest, MissingColumnsKeepTheRecordsDefaults) {
    // A participant of no known event, and an event whose participant has no JID.
    auto calls = scan(withDatabase(test::afterSql(
        sample::callHistoryDatabase({{{"491701111111" + kJid}, 1000, 30, 0, true}}),
        "INSERT INTO ZWACDCALLEVENTPARTICIPANT VALUES (7, 3, 1, 0, 99, 2048, "
        "'4915@s.whatsapp.net'); UPDATE ZWACDCALLEVENTPARTICIPANT SET ZJIDSTRING = '' "
        "WHERE Z_PK = 1;")));
    EXPECT_EQ(rowsOf(calls), (std::vector<Row>{{"", "Incoming", "30 seconds", 1000},
                                               {"4915", "", "-1 second", std::nullopt}}));
    EXPECT_EQ(calls[1].doubledatestamp, 0.0);
    EXPECT_EQ(calls[1].callTime, -1);
}

TEST_F(CallLogTest, DatabaseNamesNeedTheWholeNumberWhileArchivesMatchItsMiddle) {
    KTContactNode& anna = run_.state.contactArray.emplace_back();
    anna.contactName = "Anna Berg";
    anna.contactPhone = "+49 170 1234567";
    // Holds the contact's middle digits but is not part of its number.
    const std::string partly = "999701234567000" + kJid;
    std::vector<SampleCall> sampleSet{{{"491701234567" + kJid, partly}, 5000, 60, 0, true}};

    auto fromDatabase = scan(withDatabase(sample::callHistoryDatabase(sampleSet)));
    ASSERT_EQ(fromDatabase.size(), 2u);
    for (const auto& call : fromDatabase) {
        EXPECT_EQ(call.callName, call.callPhone == "491701234567" ? "Anna Berg" : "");
    }

    SampleBackupBuilder archive(CatalogueLayout::ManifestDb);
    archive.addFile(kShared, "calls.log", sample::callLogArchive(sampleSet));
    auto fromArchive = scan(archive);
    ASSERT_EQ(fromArchive.size(), 2u);
    EXPECT_EQ(fromArchive[1].callPhone, "999701234567000");
    EXPECT_EQ(fromArchive[1].callName, "Anna Berg");
}

std::string archiveWithCallFrom(const std::string& phone) {
    return sample::callLogArchive({{{phone + kJid}, 100, 0, 0, true}});
}

// Where the calls come from: a database without calls, or one that is no
// database (reported as damaged), leaves them to the archives, in order;
// flat backups read the app's own call log.
TEST_F(CallLogTest, FallsBackToTheArchivesInOrder) {
    auto empty = withDatabase(sample::callHistoryDatabase({}));
    empty.addFile(kShared, "calls.log", archiveWithCallFrom("4911"));
    empty.addFile(kShared, "calls.backup.log", archiveWithCallFrom("4922"));
    EXPECT_EQ(test::fieldsOf(scan(empty), &KTCallHistoryNode::callPhone),
              std::vector<std::string>{"4911"});
    EXPECT_TRUE(status_.ok());

    auto unreadable = withDatabase("this is no database");
    unreadable.addFile(kShared, "calls.backup.log", archiveWithCallFrom("4922"));
    unreadable.addFile(kApp, "Documents/calls.backup.log", archiveWithCallFrom("4933"));
    EXPECT_EQ(test::fieldsOf(scan(unreadable), &KTCallHistoryNode::callPhone),
              std::vector<std::string>{"4922"});
    EXPECT_EQ(status_.code(), StatusCode::corrupt) << status_.toString();

    SampleBackupBuilder archiveOnly(CatalogueLayout::ManifestDb);
    archiveOnly.addFile(kApp, "Documents/calls.backup.log", archiveWithCallFrom("4933"));
    EXPECT_EQ(test::fieldsOf(scan(archiveOnly), &KTCallHistoryNode::callPhone),
              std::vector<std::string>{"4933"});

    const auto sampleCalls = sample::sampleCalls(6);
    SampleBackupBuilder flat(CatalogueLayout::Mbdb);
    flat.addFile(kApp, "Documents/calls.log", sample::callLogArchive(sampleCalls));
    auto calls = scan(flat);
    ASSERT_EQ(calls.size(), 8u);  // the fifth call is a group call of three
    EXPECT_EQ(calls[0].callPhone + kJid, sampleCalls[0].participantJids[0]);
    EXPECT_EQ(calls[0].callDuration, "Missed Call");
    EXPECT_EQ(calls[0].callDate, AppleTime{static_cast<int64_t>(sampleCalls[0].date2001)});
    EXPECT_EQ(calls[1].callType, "Outgoing Call");
    EXPECT_EQ(calls[1].callDuration, "1 minute");
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
    // A call before any date has none; later ones keep the last date seen.
    EXPECT_EQ(rowsOf(calls), (std::vector<Row>{
                                 {"4910", "Incoming Call", "Missed Call", std::nullopt},
                                 {"4911", "Incoming Call", "Missed Call", 100},
                                 {"4912", "Outgoing Call", "Cancelled Call", 200000},
                                 {"4914", "Incoming Call", "1 minute", 200000},
                             }));
    EXPECT_EQ(calls[3].callTime, -1);  // archives keep no length in seconds
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
    // Nothing of the second resolves: the date seen before is kept, the rest
    // is default.
    EXPECT_EQ(rowsOf(scan(builder)),
              (std::vector<Row>{{"4910", "Incoming Call", "2 minutes", 100},
                                {"4911", "Outgoing Call", "Cancelled Call", 100}}));
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
    EXPECT_EQ(calls.back().callPhone, "4999");
}

TEST_F(CallLogTest, WithoutACallFileTheStageIsNotFound) {
    SampleBackupBuilder nothing(CatalogueLayout::ManifestDb);
    nothing.addFile(kShared, "Contacts.sqlite", "unrelated");
    EXPECT_TRUE(scan(nothing).empty());
    EXPECT_EQ(status_, Status::notFound("WhatsAppMessageDB is not exist"));
    EXPECT_TRUE(scanWhatsAppCalllogThread(run_.state, "").ok());

    // Older catalogues point at the chat database, which is no call archive.
    SampleBackupBuilder chatOnly(CatalogueLayout::Mbdb);
    chatOnly.addFile(kShared, "ChatStorage.sqlite", sample::callHistoryDatabase({}));
    run_.state.index.whatsAppChatPath =
        run_.state.intern(SampleBackupBuilder::fileKey(kShared, "ChatStorage.sqlite"));
    EXPECT_TRUE(scan(chatOnly).empty());
    EXPECT_TRUE(status_.ok());
}

TEST_F(CallLogTest, RealCallHistoryMatchesAnIndependentQuery) {
    test::ScopedTimeZone utc("UTC");
    const std::string source =
        test::copyOfRealData("josh_ios15/CallHistory.sqlite", home_.path() + "/real");
    ASSERT_EQ(SampleBackupBuilder::fileKey(kShared, "CallHistory.sqlite"),
              "1b432994e958845fffe8e2f190f26d1511534088");
    const auto expected = test::queryRows(
        source,
        "select ZWACDCALLEVENTPARTICIPANT.ZJIDSTRING, quote(ZWACDCALLEVENT.ZDATE), "
        "ZWACDCALLEVENT.ZDURATION, ZWACDCALLEVENT.ZOUTCOME from ZWACDCALLEVENTPARTICIPANT left "
        "join ZWACDCALLEVENT on ZWACDCALLEVENTPARTICIPANT.Z1PARTICIPANTS = "
        "ZWACDCALLEVENT.Z1CALLEVENTS order by ZWACDCALLEVENT.ZDATE desc");
    ASSERT_EQ(expected.size(), 4u);

    auto calls = scan(withDatabase(test::readFile(source)));
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        const double date = std::stod(expected[i][1]);
        EXPECT_EQ(calls[i].callPhone + kJid, expected[i][0]);
        EXPECT_DOUBLE_EQ(calls[i].doubledatestamp, date);
        EXPECT_EQ(calls[i].callDate, AppleTime{static_cast<int64_t>(date)});
        EXPECT_EQ(calls[i].callTime, std::stoll(expected[i][2]));
        EXPECT_EQ(calls[i].callType, std::stoll(expected[i][3]) < 1 ? "Incoming" : "Outgoing");
    }
    EXPECT_EQ(callDateText(calls[0].callDate), "05-02-2023 16:24");
    EXPECT_EQ(calls[0].callDuration, "1 minute");
    EXPECT_EQ(callDateText(calls[3].callDate), "05-02-2023 16:12");
}

}  // namespace
}  // namespace vessamo
