// The shortcuts the deleted-message recovery takes for speed must not
// change what it finds: the storage classes the carver skips on, and the
// in-memory index of live rows it asks instead of SQLite.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "carving/CarvedMessageCheck.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/FlatKeySet.h"
#include "carving/LiveMessageIndex.h"
#include "carving/RecordImages.h"
#include "carving/SchemaCarver.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleDeletedMessages.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using namespace test;

TableSchema messageTableOf(const std::string& database) {
    for (TableSchema& table : readTableSchemas(database)) {
        if (table.name == "ZWAMESSAGE") {
            return std::move(table);
        }
    }
    ADD_FAILURE() << "no message table in " << database;
    return {};
}

std::string buildChatDatabase(const TempHome& home, size_t messages) {
    const std::string path = home.path() + "/ChatStorage.sqlite";
    sample::DeletedRowsOptions options;
    options.messages = messages;
    std::string error;
    EXPECT_TRUE(sample::writeChatStorageWithDeletedRows(path, options, &error)) << error;
    return path;
}

// Every column class a message passes the checks with must be one the
// carver is told to parse; a class left out would lose that message.
TEST(CarverShortcuts, NoClassAMessageCanHoldIsSkipped) {
    TempHome home;
    const TableSchema table = messageTableOf(buildChatDatabase(home, 20));
    const auto columns = messageColumnsNamed(table.columns);
    ASSERT_TRUE(columns);
    ASSERT_EQ(columns->count, kWide.columns);
    const std::vector<uint8_t> classes = messageStorageClasses(*columns);

    std::vector<uint8_t> bytes = recordBytes(0x23, kWide, Message{});
    const auto message = parseSerialRecord(bytes, 1, kWide.columns, true, false);
    ASSERT_TRUE(message);
    bool deletedChat = false;
    ASSERT_EQ(checkMessage(bytes, *message, *columns, {}, deletedChat), Rejection::None);

    // Values of every class, put after the record; each replaces one column.
    std::vector<SerialField> values;
    const auto add = [&](uint64_t type, const std::vector<uint8_t>& content) {
        values.push_back({type, bytes.size(), content.size()});
        bytes.insert(bytes.end(), content.begin(), content.end());
    };
    const std::string address = "4915112345678@s.whatsapp.net";
    const auto seconds =
        std::bit_cast<std::array<uint8_t, 8>>(static_cast<double>(kMessageSeconds));
    add(0, {});
    add(8, {});
    add(9, {});
    add(1, {3});
    add(4, int32Column(static_cast<uint32_t>(kMessageSeconds)).data);
    add(7, {seconds.rbegin(), seconds.rend()});
    add(13 + 2 * address.size(), {address.begin(), address.end()});
    add(17, {'h', 'i'});
    add(16, {0xde, 0xad});

    size_t refused = 0;
    for (size_t column = 0; column < kWide.columns; ++column) {
        for (const SerialField& value : values) {
            SerialRecord changed = *message;
            changed.fields[column] = value;
            const bool accepted =
                checkMessage(bytes, changed, *columns, {}, deletedChat) == Rejection::None;
            const bool parsed = (storageClassOf(value.type) & classes[column]) != 0;
            EXPECT_TRUE(!accepted || parsed) << "column " << table.columns[column] << ", type "
                                             << value.type << " passes the checks but is skipped";
            refused += !accepted && !parsed ? 1 : 0;
        }
    }
    EXPECT_GT(refused, 20u);  // and the classes do skip what fails
}

// One record found: where, whether known as a live row, whether cut, its text.
struct Found {
    std::string place;
    bool live;
    bool cut;
    std::string text;

    bool operator==(const Found&) const = default;
};

void PrintTo(const Found& found, std::ostream* out) {
    *out << found.place << (found.live ? " live" : "") << (found.cut ? " cut" : "") << " \""
         << found.text << "\"";
}

// The records the recovery stage takes from a database, by its checks,
// with and without the storage classes; `live`: known as a live row by
// the row id in front of it.
std::vector<Found> carveAsTheStageDoes(const std::string& database, const CarvingFile* wal,
                                       bool withClasses, size_t& offered) {
    const ChatDatabaseFacts facts = ChatDatabaseFacts::of(database);
    const TableSchema table = messageTableOf(database);
    const auto columns = messageColumnsNamed(table.columns);
    const auto file = CarvingFile::open(database);
    EXPECT_TRUE(columns && file);
    SchemaCarver carver(table);
    if (withClasses) {
        carver.acceptOnly(messageStorageClasses(*columns));
    }
    std::vector<Found> found;
    offered = 0;
    carver.carve(*file, wal, [&](const FoundRecord& f) {
        ++offered;
        const std::string place = placeName(f.place);
        if (f.rowid && facts.liveMessages.stanzaOf(*f.rowid)) {
            found.push_back({place, true, false, ""});
            return true;
        }
        bool deletedChat = false;
        if (checkMessage(f.bytes, f.record, *columns, facts.context, deletedChat) !=
            Rejection::None) {
            return false;
        }
        const auto text = static_cast<size_t>(columns->text);
        found.push_back({place, false, f.record.cut, std::string(f.record.text(f.bytes, text))});
        return true;
    });
    return found;
}

TEST(CarverShortcuts, TheStorageClassesChangeNothingTheStageFinds) {
    TempHome home;
    const std::string path = buildChatDatabase(home, 3000);
    // Rows rewritten in place leave their old records, with their row ids,
    // behind, some with a blob where the text goes: the checks refuse
    // those, unless they know them as live rows. More traffic goes to the
    // log.
    const std::string copy = home.path() + "/copy.sqlite";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA secure_delete=OFF;"
                             "UPDATE ZWAMESSAGE SET ZTEXT = ZTEXT || ' (edited, and longer now)'"
                             " WHERE Z_PK % 7 = 0;"
                             "UPDATE ZWAMESSAGE SET ZTEXT = CAST(ZTEXT || ' as bytes' AS BLOB)"
                             " WHERE Z_PK % 13 = 0;"
                             "UPDATE ZWAMESSAGE SET ZTEXT = CAST(ZTEXT || ', twice' AS BLOB)"
                             " WHERE Z_PK % 13 = 0;"
                             "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                             "DELETE FROM ZWAMESSAGE WHERE Z_PK % 11 = 0;"),
                  SQLITE_OK)
            << db.lastError();
        std::filesystem::copy_file(path, copy);
        std::filesystem::copy_file(path + "-wal", copy + "-wal");
    }
    const auto wal = CarvingFile::open(copy + "-wal");
    ASSERT_TRUE(wal);

    size_t offeredWithout = 0;
    size_t offeredWith = 0;
    const std::vector<Found> without = carveAsTheStageDoes(copy, wal.get(), false, offeredWithout);
    const std::vector<Found> with = carveAsTheStageDoes(copy, wal.get(), true, offeredWith);
    EXPECT_EQ(with, without);
    EXPECT_LT(offeredWith, offeredWithout / 2);
    const auto count = [&](bool live) {
        return std::count_if(with.begin(), with.end(),
                             [&](const Found& f) { return f.live == live; });
    };
    EXPECT_GT(count(false), 500);
    EXPECT_GT(count(true), 0);
}

// A text running off the end of its region cuts the record there, and the
// columns after it read as NULL, whatever their types said: a class that
// does not fit after the cut must not hide the record.
TEST(CarverShortcuts, ARecordCutBeforeAColumnOfTheWrongClassIsStillFound) {
    TempHome home;
    const std::string path = buildChatDatabase(home, 10);
    std::string bytes = readFile(path);
    Message m;
    m.text = std::string(60, 'c') + " and the rest is gone";
    m.fromMe = true;
    m.from.clear();
    m.to.clear();
    std::vector<uint8_t> record = recordBytes(0x23, kWide, m);
    record[kWide.contentAt + 1] =
        0x0e;  // the last column's type, after the two-byte text type: a blob
    appendFreeTrunkEndingIn(bytes, 4096, record, 20);
    writeFile(path, bytes);

    size_t offered = 0;
    const std::vector<Found> without = carveAsTheStageDoes(path, nullptr, false, offered);
    const std::vector<Found> with = carveAsTheStageDoes(path, nullptr, true, offered);
    EXPECT_EQ(with, without);
    EXPECT_EQ(std::count_if(with.begin(), with.end(), [](const Found& f) { return f.cut; }), 1);
}

// The live rows come from one pass over the table: each key gives its
// stanza id, "" where it has none, and neither a deleted row's key nor
// its id is known.
TEST(CarverShortcuts, TheLiveRowIndexKnowsExactlyTheRowsLeft) {
    TempHome home;
    const std::string path = buildChatDatabase(home, 400);
    std::vector<std::tuple<int64_t, std::string>> live;
    std::string goneStanza;
    int64_t gone = 0;
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("UPDATE ZWAMESSAGE SET ZSTANZAID = NULL WHERE Z_PK % 5 = 1;"
                             "UPDATE ZWAMESSAGE SET ZSTANZAID = '' WHERE Z_PK % 5 = 2;"),
                  SQLITE_OK);
        SqliteStatement rows;
        ASSERT_EQ(rows.prepare(db, "SELECT Z_PK, ZSTANZAID FROM ZWAMESSAGE ORDER BY Z_PK DESC"),
                  SQLITE_OK);
        while (rows.step() == SQLITE_ROW) {
            live.emplace_back(rows.columnInt64(0), rows.columnText(1).value_or(""));
        }
        ASSERT_GT(live.size(), 100u);
        for (size_t at = live.size() / 2; goneStanza.empty() && at < live.size(); ++at) {
            std::tie(gone, goneStanza) = live[at];
        }
        ASSERT_FALSE(goneStanza.empty());
        ASSERT_EQ(db.execute("DELETE FROM ZWAMESSAGE WHERE Z_PK = " + std::to_string(gone)),
                  SQLITE_OK);
    }
    const ChatDatabaseFacts facts = ChatDatabaseFacts::of(path);
    EXPECT_EQ(facts.liveMessages.size(), live.size() - 1);
    for (const auto& [key, stanza] : live) {
        if (key == gone) {
            continue;
        }
        EXPECT_EQ(facts.liveMessages.stanzaOf(key), std::optional<std::string_view>(stanza));
        EXPECT_EQ(facts.liveMessages.hasStanza(stanza), !stanza.empty()) << key;
    }
    EXPECT_FALSE(facts.liveMessages.stanzaOf(gone));
    EXPECT_FALSE(facts.liveMessages.hasStanza(goneStanza));
    EXPECT_FALSE(facts.liveMessages.stanzaOf(0));
    EXPECT_FALSE(facts.liveMessages.hasStanza(""));

    // Rows handed over out of key order are found the same.
    LiveMessageIndex index;
    for (const auto& [key, stanza] : live) {
        index.add(key, stanza);
    }
    index.seal();
    for (const auto& [key, stanza] : live) {
        EXPECT_EQ(index.stanzaOf(key), std::optional<std::string_view>(stanza));
    }
}

// Repeats among carved records are left out by a set that grows as they
// come: each key is added once, whatever its hash shares with others.
TEST(CarverShortcuts, TheKeySetKeepsEveryKeyOnceAsItGrows) {
    struct FewHashes {  // a few hundred values, upper bits alike: every probe compares keys
        size_t operator()(const std::string& key) const {
            return std::hash<std::string>{}(key) % 331;
        }
    };
    FlatKeySet<std::string, FewHashes> keys;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 5000; ++i) {
            const auto [kept, added] = keys.insert("key " + std::to_string(i));
            EXPECT_EQ(added, round == 0) << i;
            EXPECT_EQ(*kept, "key " + std::to_string(i));
        }
    }
    EXPECT_EQ(keys.size(), 5000u);
    EXPECT_TRUE(keys.contains("key 0"));
    EXPECT_TRUE(keys.contains("key 4999"));
    EXPECT_FALSE(keys.contains("key 5000"));
    EXPECT_FALSE(keys.contains(""));
}

}  // namespace
}  // namespace vessamo
