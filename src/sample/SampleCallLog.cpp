#include "sample/SampleCallLog.h"

#include <array>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>

#include "common/PlistValue.h"
#include "common/ScratchFolder.h"
#include "common/SqliteDatabase.h"

namespace vessamo::sample {

namespace {

// The tables and indexes of WhatsApp's CallHistory.sqlite on iOS 15.
constexpr const char* kCallHistorySchema = R"sql(
PRAGMA synchronous=OFF;
CREATE TABLE ZWAAGGREGATECALLEVENT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZINCOMING INTEGER, ZMISSED INTEGER, ZMISSEDREASON INTEGER, ZVIDEO INTEGER,
  ZFIRSTDATE TIMESTAMP, ZLINKTOKEN VARCHAR );
CREATE TABLE ZWACDCALLEVENT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZBYTESRECEIVED INTEGER, ZBYTESSENT INTEGER, ZOUTCOME INTEGER, Z1CALLEVENTS INTEGER,
  Z_FOK_1CALLEVENTS INTEGER, ZDATE TIMESTAMP, ZDURATION FLOAT,
  ZGROUPCALLCREATORUSERJIDSTRING VARCHAR, ZGROUPJIDSTRING VARCHAR, ZSCHEDULEDID VARCHAR );
CREATE TABLE ZWACDCALLEVENTPARTICIPANT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER,
  Z_OPT INTEGER, ZOUTCOME INTEGER, Z1PARTICIPANTS INTEGER, Z_FOK_1PARTICIPANTS INTEGER,
  ZJIDSTRING VARCHAR );
CREATE TABLE ZWAJOINABLECALLEVENT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZBADGEREMOVED INTEGER, ZBYTESRECEIVED INTEGER, ZBYTESSENT INTEGER, ZCURRENTOUTCOME INTEGER,
  ZISRERING INTEGER, ZPREVIOUSOUTCOME INTEGER, ZVIDEO INTEGER, ZDATE TIMESTAMP,
  ZDURATION FLOAT, ZCALLCREATORJIDSTRING VARCHAR, ZCALLIDSTRING VARCHAR,
  ZCALLRANDOMIDSTRING VARCHAR, ZFROMJIDSTRING VARCHAR, ZGROUPJIDSTRING VARCHAR,
  ZLINKTOKEN VARCHAR, ZSCHEDULEDID VARCHAR );
CREATE TABLE ZWAJOINABLECALLEVENTPARTICIPANT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER,
  Z_OPT INTEGER, ZJOINED INTEGER, Z4PARTICIPANTS INTEGER, Z_FOK_4PARTICIPANTS INTEGER,
  ZJIDSTRING VARCHAR );
CREATE TABLE ZWAUPCOMINGCALLEVENT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCALLTYPE INTEGER, ZISSYSTEMMESSAGEINSERTED INTEGER, ZSTATUS INTEGER, ZUNIXTIMEMS INTEGER,
  ZCHATJIDSTRING VARCHAR, ZCREATORJIDSTRING VARCHAR, ZMESSAGESTANZAID VARCHAR, ZTITLE VARCHAR );
CREATE INDEX Z_WAAggregateCallEvent_byDate ON ZWAAGGREGATECALLEVENT (ZFIRSTDATE COLLATE BINARY ASC);
CREATE INDEX Z_WAAggregateCallEvent_byMissedDate ON ZWAAGGREGATECALLEVENT
  (ZMISSED COLLATE BINARY ASC, ZFIRSTDATE COLLATE BINARY ASC);
CREATE INDEX ZWACDCALLEVENT_Z1CALLEVENTS_INDEX ON ZWACDCALLEVENT (Z1CALLEVENTS);
CREATE INDEX ZWACDCALLEVENTPARTICIPANT_Z1PARTICIPANTS_INDEX ON ZWACDCALLEVENTPARTICIPANT
  (Z1PARTICIPANTS);
CREATE INDEX Z_WAJoinableCallEvent_byDate ON ZWAJOINABLECALLEVENT (ZDATE COLLATE BINARY ASC);
CREATE INDEX ZWAJOINABLECALLEVENTPARTICIPANT_Z4PARTICIPANTS_INDEX ON
  ZWAJOINABLECALLEVENTPARTICIPANT (Z4PARTICIPANTS);
CREATE INDEX Z_WAUpcomingCallEvent_byChatJID ON ZWAUPCOMINGCALLEVENT
  (ZCHATJIDSTRING COLLATE BINARY ASC);
CREATE INDEX Z_WAUpcomingCallEvent_byTime ON ZWAUPCOMINGCALLEVENT (ZUNIXTIMEMS COLLATE BINARY ASC);
CREATE INDEX Z_WAUpcomingCallEvent_byStatus ON ZWAUPCOMINGCALLEVENT (ZSTATUS COLLATE BINARY ASC);
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER,
  Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);
INSERT INTO Z_METADATA VALUES (1, '6B0E4C1A-3F52-4D8E-9A77-2C51D0E8B4F3', NULL);
)sql";

// Core Data's ordering key for the first member of a to-many relation.
constexpr int64_t kFirstOrderKey = 2048;

struct CallInserts {
    SqliteStatement aggregate;
    SqliteStatement event;
    SqliteStatement participant;
};

bool prepareInserts(const SqliteDatabase& db, CallInserts& inserts) {
    return inserts.aggregate.prepare(
               db, "INSERT INTO ZWAAGGREGATECALLEVENT VALUES (?1, 1, 1, ?2, ?3, 1, 0, ?4, NULL)") ==
               SQLITE_OK &&
           inserts.event.prepare(db,
                                 "INSERT INTO ZWACDCALLEVENT VALUES (?1, 2, 1, 0, 0, ?2, ?1, "
                                 "?3, ?4, ?5, ?6, NULL, NULL)") == SQLITE_OK &&
           inserts.participant.prepare(db,
                                       "INSERT INTO ZWACDCALLEVENTPARTICIPANT VALUES (?1, 3, 1, "
                                       "?2, ?3, ?4, ?5)") == SQLITE_OK;
}

bool allOk(std::initializer_list<int> codes) {
    for (int code : codes) {
        if (code != SQLITE_OK) {
            return false;
        }
    }
    return true;
}

bool finished(SqliteStatement& statement) {
    return statement.step() == SQLITE_DONE && statement.reset() == SQLITE_OK;
}

// Each call gets an aggregate event of its own with the same key, as the
// app does for calls that are not folded together.
bool insertCall(CallInserts& inserts, const SampleCall& call, int64_t key,
                int64_t& participantKey) {
    const bool missed = call.incoming && call.duration == 0;
    SqliteStatement& aggregate = inserts.aggregate;
    if (!allOk({aggregate.bind(1, key), aggregate.bind(2, int64_t{call.incoming}),
                aggregate.bind(3, int64_t{missed}), aggregate.bind(4, call.date2001)}) ||
        !finished(aggregate)) {
        return false;
    }
    SqliteStatement& event = inserts.event;
    const std::string creator = call.participantJids.empty() ? "" : call.participantJids.front();
    if (!allOk({event.bind(1, key), event.bind(2, call.outcome), event.bind(3, kFirstOrderKey),
                event.bind(4, call.date2001), event.bind(5, static_cast<double>(call.duration)),
                event.bind(6, creator)}) ||
        !finished(event)) {
        return false;
    }
    int64_t order = kFirstOrderKey;
    for (const std::string& jid : call.participantJids) {
        SqliteStatement& row = inserts.participant;
        if (!allOk({row.bind(1, ++participantKey), row.bind(2, call.outcome), row.bind(3, key),
                    row.bind(4, order), row.bind(5, jid)}) ||
            !finished(row)) {
            return false;
        }
        order += kFirstOrderKey;
    }
    return true;
}

bool fillCallHistory(SqliteDatabase& db, const std::vector<SampleCall>& calls) {
    if (db.execute(kCallHistorySchema) != SQLITE_OK || db.execute("BEGIN") != SQLITE_OK) {
        return false;
    }
    CallInserts inserts;
    if (!prepareInserts(db, inserts)) {
        return false;
    }
    int64_t participantKey = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (!insertCall(inserts, calls[i], static_cast<int64_t>(i + 1), participantKey)) {
            return false;
        }
    }
    const std::string callCount = std::to_string(calls.size());
    const std::string keys =
        "INSERT INTO Z_PRIMARYKEY VALUES (1, 'WAAggregateCallEvent', 0, " + callCount +
        "), (2, 'WACDCallEvent', 0, " + callCount + "), (3, 'WACDCallEventParticipant', 0, " +
        std::to_string(participantKey) +
        "), (4, 'WAJoinableCallEvent', 0, 0), (5, 'WAJoinableCallEventParticipant', 0, 0), "
        "(6, 'WAUpcomingCallEvent', 0, 0);";
    return db.execute(keys) == SQLITE_OK && db.execute("COMMIT") == SQLITE_OK;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

PlistValue classEntry(const std::string& name) {
    PlistValue::Dictionary entry;
    entry["$classname"] = PlistValue::string(name);
    entry["$classes"] =
        PlistValue::array({PlistValue::string(name), PlistValue::string("NSObject")});
    return PlistValue::dictionary(std::move(entry));
}

// Fields the app keeps beside the three a call needs; used to pad entries.
constexpr std::array<const char*, 16> kOtherCallFields = {
    "callIDString", "video",      "groupCall",   "bytesSent",        "bytesReceived",
    "outcome",      "creatorJID", "rejectCause", "offerSilenced",    "joinable",
    "scheduledID",  "groupJID",   "callLinkID",  "participantCount", "audioCodec",
    "lidJID"};

PlistValue callEntry(double date2001, bool incoming, int64_t duration, size_t values,
                     uint64_t dictionaryClass) {
    PlistValue::Dictionary entry;
    entry["NS.time"] = PlistValue::real(date2001);
    entry["incoming"] = PlistValue::boolean(incoming);
    entry["duration"] = PlistValue::integer(duration);
    entry["$class"] = PlistValue::uid(dictionaryClass);
    for (size_t i = 0; entry.size() < values && i < kOtherCallFields.size(); ++i) {
        entry[kOtherCallFields[i]] = PlistValue::integer(0);
    }
    return PlistValue::dictionary(std::move(entry));
}

}  // namespace

std::string callHistoryDatabase(const std::vector<SampleCall>& calls) {
    std::optional<ScratchFolder> scratch = ScratchFolder::create("vessamo-sample");
    if (!scratch) {
        return {};
    }
    const std::string path = scratch->uniquePath("CallHistory.sqlite");
    {
        SqliteDatabase db;
        if (db.open(path, SqliteDatabase::Mode::Create) != SQLITE_OK ||
            !fillCallHistory(db, calls)) {
            return {};
        }
    }
    return readAll(path);
}

std::string callLogArchive(const std::vector<SampleCall>& calls,
                           const std::vector<CallArchiveShape>& shapes) {
    auto shapeOf = [&](size_t i) { return i < shapes.size() ? shapes[i] : CallArchiveShape{}; };
    size_t entries = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        entries += calls[i].participantJids.size() * (shapeOf(i).decoyValues != 0 ? 3 : 2);
    }
    // "$null", the root array, a JID, any decoy and a dictionary per entry,
    // then the classes.
    const uint64_t dictionaryClass = 2 + entries;
    const uint64_t arrayClass = dictionaryClass + 1;

    PlistValue::Array objects{PlistValue::string("$null"), PlistValue()};
    PlistValue::Array members;
    for (size_t i = 0; i < calls.size(); ++i) {
        const SampleCall& call = calls[i];
        const CallArchiveShape shape = shapeOf(i);
        for (const std::string& jid : call.participantJids) {
            objects.push_back(PlistValue::string(jid));
            if (shape.decoyValues != 0) {
                objects.push_back(
                    callEntry(call.date2001 + 60, true, 4242, shape.decoyValues, dictionaryClass));
            }
            members.push_back(PlistValue::uid(objects.size()));
            objects.push_back(callEntry(call.date2001, call.incoming, call.duration, shape.values,
                                        dictionaryClass));
        }
    }
    objects.push_back(classEntry("NSDictionary"));
    objects.push_back(classEntry("NSArray"));
    PlistValue::Dictionary root;
    root["NS.objects"] = PlistValue::array(std::move(members));
    root["$class"] = PlistValue::uid(arrayClass);
    objects[1] = PlistValue::dictionary(std::move(root));

    PlistValue::Dictionary archive;
    archive["$archiver"] = PlistValue::string("NSKeyedArchiver");
    archive["$version"] = PlistValue::integer(100000);
    archive["$top"] = PlistValue::dictionary({{"root", PlistValue::uid(1)}});
    archive["$objects"] = PlistValue::array(std::move(objects));
    PlistValue::Bytes bytes = PlistValue::dictionary(std::move(archive)).toBinary();
    return std::string(bytes.begin(), bytes.end());
}

std::vector<SampleCall> sampleCalls(size_t count) {
    std::vector<SampleCall> calls;
    calls.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        SampleCall call;
        const size_t members = i % 5 == 4 ? 3 : 1;
        for (size_t m = 0; m < members; ++m) {
            const size_t number = 10000000 + (i * 7919 + m * 104729) % 90000000;
            call.participantJids.push_back("4917" + std::to_string(number) + "@s.whatsapp.net");
        }
        call.date2001 = 664000000.0 + static_cast<double>(i) * 5400.25;
        call.outcome = static_cast<int64_t>(i % 2);
        call.incoming = call.outcome == 0;
        call.duration = i % 3 == 0 ? 0 : static_cast<int64_t>(5 + (i * 97) % 7200);
        calls.push_back(std::move(call));
    }
    return calls;
}

}  // namespace vessamo::sample
