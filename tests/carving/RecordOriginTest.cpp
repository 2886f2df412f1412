#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/CarvedMessageCheck.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/PageMap.h"
#include "carving/SchemaCarver.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleChatStorage.h"
#include "support/TestSupport.h"
#include "whatsapp/DeletedMessagesStage.h"

// Each kind of free room SQLite leaves behind, made by SQLite itself: the
// deleted row must come back with its values, named by where it was.

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using namespace test;

constexpr const char* kPartner = "491720007919@s.whatsapp.net";
constexpr uint32_t kPageSize = 4096;

struct Row {
    int64_t pk = 0;
    std::string text;
    bool fromMe = false;
    double date = 0;
};

std::string stanzaOf(int64_t pk) {
    char id[32];
    std::snprintf(id, sizeof id, "3EB0%08lld", static_cast<long long>(pk));
    return id;
}

// A chat database as a phone keeps it: the sample's tables and one chat,
// messages written and deleted through SQLite with secure delete off, so
// whatever SQLite leaves behind stays in the file.
class PhoneChatDatabase {
public:
    explicit PhoneChatDatabase(std::string path) : path_(std::move(path)) {
        sample::SampleChatDatabase content;
        content.chats.push_back({1, kPartner, "Anna", 0});
        EXPECT_TRUE(sample::writeChatStorage(path_, content));
        EXPECT_EQ(db_.open(path_, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        run("PRAGMA secure_delete=OFF;");
        EXPECT_EQ(insert_.prepare(db_,
                                  "INSERT INTO ZWAMESSAGE (Z_PK, Z_ENT, Z_OPT, ZISFROMME, "
                                  "ZMESSAGESTATUS, ZCHATSESSION, ZMESSAGEDATE, ZSORT, ZFROMJID, "
                                  "ZTOJID, ZSTANZAID, ZTEXT) VALUES (?, 9, 1, ?, ?, 1, ?, ?, ?, ?, "
                                  "?, ?)"),
                  SQLITE_OK);
    }

    void run(const std::string& sql) { ASSERT_EQ(db_.execute(sql), SQLITE_OK) << db_.lastError(); }

    // Every third message is the owner's; the others come from the partner.
    void insert(int64_t pk, std::string text) {
        const Row row{pk, std::move(text), pk % 3 == 0, 700000000.5 + static_cast<double>(pk)};
        const std::string stanza = stanzaOf(pk);
        ASSERT_TRUE(insert_.bind(1, pk) == SQLITE_OK &&
                    insert_.bind(2, int64_t{row.fromMe ? 1 : 0}) == SQLITE_OK &&
                    insert_.bind(3, int64_t{row.fromMe ? 6 : 8}) == SQLITE_OK &&
                    insert_.bind(4, row.date) == SQLITE_OK && insert_.bind(5, pk) == SQLITE_OK &&
                    (row.fromMe ? insert_.bindNull(6) : insert_.bind(6, kPartner)) == SQLITE_OK &&
                    (row.fromMe ? insert_.bind(7, kPartner) : insert_.bindNull(7)) == SQLITE_OK &&
                    insert_.bind(8, std::string_view(stanza)) == SQLITE_OK &&
                    insert_.bind(9, std::string_view(row.text)) == SQLITE_OK);
        ASSERT_EQ(insert_.step(), SQLITE_DONE) << db_.lastError();
        ASSERT_EQ(insert_.reset(), SQLITE_OK);
        rows_[pk] = row;
    }

    void insertMany(int64_t first, int64_t last) {
        run("BEGIN");
        for (int64_t pk = first; pk <= last; ++pk) {
            insert(pk, "message number " + std::to_string(pk) + " of a long afternoon");
        }
        run("COMMIT");
    }

    [[nodiscard]] const Row& row(int64_t pk) const { return rows_.at(pk); }
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] uint32_t messageRoot() const {
        SqliteStatement root;
        EXPECT_EQ(root.prepare(db_, "SELECT rootpage FROM sqlite_master WHERE name='ZWAMESSAGE'"),
                  SQLITE_OK);
        return root.step() == SQLITE_ROW ? static_cast<uint32_t>(root.columnInt64(0)) : 0;
    }
    void close() { db_.close(); }

private:
    std::string path_;
    SqliteDatabase db_;
    SqliteStatement insert_;
    std::map<int64_t, Row> rows_;
};

// A message record the schema engine found and the message checks kept.
struct Found {
    int64_t pk = 0;  // from its stanza id
    std::string text;
    int64_t chat = 0;
    bool fromMe = false;
    double date = 0;
    RecordPlace place;
    uint64_t page = 0;  // database page, numbered from 1; 0 for a log frame
    std::optional<int64_t> rowid;
    bool cut = false;
};

Found foundOf(const FoundRecord& f, const MessageColumns& c) {
    const auto column = [](int at) { return static_cast<size_t>(at); };
    Found found;
    const std::string stanza(f.record.text(f.bytes, column(c.stanza)));
    found.pk = stanza.starts_with("3EB0") ? std::stoll(stanza.substr(4)) : 0;
    found.text = std::string(f.record.text(f.bytes, column(c.text)));
    found.chat = f.record.integer(f.bytes, column(c.chat));
    found.fromMe = f.record.integer(f.bytes, column(c.fromMe)) == 1;
    const bool real = f.record.fields[column(c.date)].isReal();
    found.date = real ? f.record.real(f.bytes, column(c.date))
                      : static_cast<double>(f.record.integer(f.bytes, column(c.date)));
    found.place = f.place;
    found.page = f.place.walFrame == 0 ? f.pageKey + 1 : 0;
    found.rowid = f.rowid;
    found.cut = f.record.cut;
    return found;
}

// Every message record of the file and its log that passes the message
// checks, wherever it lies. The file is read as bytes while the writer
// may still hold it open; SQLite reads a copy of it.
std::vector<Found> carveMessages(const std::string& source) {
    const std::string copy = source + ".schema";
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    const bool logged = fs::exists(source + "-wal");
    if (logged) {
        fs::copy_file(source + "-wal", copy + "-wal", fs::copy_options::overwrite_existing);
    }
    const auto file = CarvingFile::open(source);
    const auto wal = logged ? CarvingFile::open(source + "-wal") : nullptr;
    EXPECT_TRUE(file);
    const CarveContext context = ChatDatabaseFacts::of(copy).context;
    std::vector<Found> found;
    for (const TableSchema& table : readTableSchemas(copy)) {
        const auto columns = messageColumnsNamed(table.columns);
        if (table.name != "ZWAMESSAGE" || !columns || !file) {
            continue;
        }
        SchemaCarver carver(table);
        EXPECT_TRUE(carver.carve(*file, wal.get(), [&](const FoundRecord& f) {
            bool deletedChat = false;
            if (checkMessage(f.bytes, f.record, *columns, context, deletedChat) !=
                Rejection::None) {
                return false;
            }
            found.push_back(foundOf(f, *columns));
            return true;
        }));
    }
    return found;
}

std::vector<Found> findsOf(const std::vector<Found>& all, int64_t pk) {
    std::vector<Found> finds;
    std::copy_if(all.begin(), all.end(), std::back_inserter(finds),
                 [pk](const Found& f) { return f.pk == pk; });
    return finds;
}

void expectValues(const Found& found, const Row& row) {
    EXPECT_EQ(found.text, row.text) << row.pk;
    EXPECT_EQ(found.chat, 1) << row.pk;
    EXPECT_EQ(found.fromMe, row.fromMe) << row.pk;
    EXPECT_DOUBLE_EQ(found.date, row.date) << row.pk;
}

// The database pages (numbered from 1) holding a byte string, once for
// each time it occurs.
std::vector<uint64_t> pagesHolding(const std::string& bytes, const std::string& needle) {
    std::vector<uint64_t> pages;
    for (size_t at = bytes.find(needle); at != std::string::npos; at = bytes.find(needle, at + 1)) {
        pages.push_back(at / kPageSize + 1);
    }
    return pages;
}

uint32_t word(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

// The free list as SQLite links it: its trunk pages and the leaves they list.
struct FreeList {
    std::set<uint64_t> trunks;
    std::set<uint64_t> leaves;
};
FreeList walkFreeList(const std::string& bytes) {
    FreeList list;
    for (uint64_t trunk = word(bytes, 32); trunk != 0 && list.trunks.insert(trunk).second;) {
        const size_t start = (trunk - 1) * kPageSize;
        for (uint32_t i = 0; i < word(bytes, start + 4); ++i) {
            list.leaves.insert(word(bytes, start + 8 + 4 * i));
        }
        trunk = word(bytes, start);
    }
    return list;
}

class RecordOrigins : public ::testing::Test {
protected:
    TempHome home;
    PhoneChatDatabase phone{home.path() + "/ChatStorage.sqlite"};
};

// A small row deleted between live ones becomes a freeblock whose link
// takes its first four bytes: its header length and Z_PK's type are gone,
// and it still comes back. The newest row of a page, deleted, returns its
// room to the unallocated gap, but SQLite writes the link there all the
// same.
TEST_F(RecordOrigins, FreedCellsOfALivePage) {
    for (int64_t pk = 1; pk <= 20; ++pk) {
        phone.insert(pk, "hi " + std::to_string(pk));
    }
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK IN (10, 20);");
    const uint32_t root = phone.messageRoot();
    phone.close();

    const std::string bytes = readFile(phone.path());
    const size_t at = bytes.find(stanzaOf(10));
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(at / kPageSize + 1, root);
    const std::span<const uint8_t> image(
        reinterpret_cast<const uint8_t*>(bytes.data()) + (at / kPageSize) * kPageSize, kPageSize);
    const PageCells cells(image, kPageSize);
    const auto& freeblocks = cells.freeblocks();
    ASSERT_EQ(freeblocks.size(), 1u);
    // Right after the link: Z_ENT's type, so the link took everything before it.
    ASSERT_EQ(image[freeblocks[0].first + 4], 0x01);
    const size_t gapEnd = size_t{image[5]} << 8 | image[6];
    const size_t newestAt = bytes.find(stanzaOf(20));
    ASSERT_EQ(newestAt / kPageSize + 1, root);
    ASSERT_LT(newestAt % kPageSize, gapEnd);

    const std::vector<Found> all = carveMessages(phone.path());
    const std::vector<Found> clobbered = findsOf(all, 10);
    ASSERT_EQ(clobbered.size(), 1u);
    EXPECT_EQ(placeName(clobbered[0].place), "freeblock");
    EXPECT_FALSE(clobbered[0].rowid);
    expectValues(clobbered[0], phone.row(10));

    const std::vector<Found> newest = findsOf(all, 20);
    ASSERT_EQ(newest.size(), 1u);
    EXPECT_EQ(placeName(newest[0].place), "unallocated");
    EXPECT_FALSE(newest[0].rowid);
    EXPECT_EQ(newest[0].page, root);
    expectValues(newest[0], phone.row(20));
    EXPECT_EQ(all.size(), 2u);  // and no live row
}

// A run of deleted messages hands whole pages back to the free list: the
// first becomes a trunk (its header overwritten by the list), the others
// its leaves. Every deleted record on either kind comes back from it.
TEST_F(RecordOrigins, FreeListTrunkAndLeafPages) {
    phone.insertMany(1000, 1299);
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK BETWEEN 1040 AND 1139;");
    phone.close();

    const std::string bytes = readFile(phone.path());
    const FreeList list = walkFreeList(bytes);
    ASSERT_FALSE(list.trunks.empty());
    ASSERT_FALSE(list.leaves.empty());
    const std::vector<Found> all = carveMessages(phone.path());
    std::map<std::string, size_t> onKind;
    for (int64_t pk = 1040; pk <= 1139; ++pk) {
        for (const uint64_t page : pagesHolding(bytes, stanzaOf(pk))) {
            const bool trunk = list.trunks.contains(page);
            if (!trunk && !list.leaves.contains(page)) {
                continue;
            }
            ++onKind[trunk ? "trunk" : "leaf"];
            const std::vector<Found> finds = findsOf(all, pk);
            const auto there = std::find_if(finds.begin(), finds.end(), [&](const Found& f) {
                return f.page == page && f.place.origin == RecordOrigin::FreelistPage;
            });
            ASSERT_NE(there, finds.end()) << pk << " on page " << page;
            EXPECT_EQ(placeName(there->place), "freelist");
            expectValues(*there, phone.row(pk));
        }
    }
    EXPECT_GT(onKind["trunk"], 0u);
    EXPECT_GT(onKind["leaf"], 0u);
}

// When the table's only page fills up, SQLite moves its cells to a new
// child and makes it an interior page, rewriting just its header: the row
// deleted from it before lingers in the interior page's free room.
TEST_F(RecordOrigins, ALeafThatBecameAnInteriorPage) {
    int64_t pk = 1000;
    for (; pk < 1037; ++pk) {  // about 100 bytes short of a full page
        phone.insert(pk, "message number " + std::to_string(pk));
    }
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK = 1005;");
    // Too long for the freed cell or the gap: the page must split.
    phone.insert(pk, std::string(150, 'x'));
    const uint32_t root = phone.messageRoot();
    phone.close();

    const std::string bytes = readFile(phone.path());
    ASSERT_EQ(static_cast<uint8_t>(bytes[(root - 1) * kPageSize]), 0x05);
    const std::vector<uint64_t> holding = pagesHolding(bytes, stanzaOf(1005));
    ASSERT_NE(std::find(holding.begin(), holding.end(), root), holding.end());

    const std::vector<Found> finds = findsOf(carveMessages(phone.path()), 1005);
    const auto interior =
        std::find_if(finds.begin(), finds.end(), [&](const Found& f) { return f.page == root; });
    ASSERT_NE(interior, finds.end());
    EXPECT_EQ(placeName(interior->place), "interior");
    expectValues(*interior, phone.row(1005));
}

// A row longer than a page keeps its start in its cell and the rest on
// overflow pages, which go to the free list as leaves when it is deleted:
// the whole text comes back, named by the chain it was read from. A row
// deleted while the free list was empty gives its first overflow page to
// the list as its trunk, which overwrites the page's first bytes: its text
// comes back as far as its cell held it, marked cut.
TEST_F(RecordOrigins, RowsLongerThanAPage) {
    phone.run("BEGIN");
    for (int64_t pk = 1000; pk < 1300; ++pk) {
        std::string text = "message number " + std::to_string(pk);
        for (int i = 0; (pk == 1050 || pk == 1061) && text.size() < 6000; ++i) {
            text += " and " + std::to_string(pk) + "." + std::to_string(i);
        }
        phone.insert(pk, text);
    }
    phone.run("COMMIT");
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK = 1061;");
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK BETWEEN 1100 AND 1250;");
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK = 1050;");
    phone.close();

    const std::string bytes = readFile(phone.path());
    const FreeList list = walkFreeList(bytes);
    const std::vector<uint64_t> chain = pagesHolding(bytes, phone.row(1050).text.substr(5000));
    ASSERT_EQ(chain.size(), 1u);
    ASSERT_TRUE(list.leaves.contains(chain[0]));
    const std::vector<uint64_t> broken = pagesHolding(bytes, phone.row(1061).text.substr(5000));
    ASSERT_EQ(broken.size(), 1u);
    ASSERT_TRUE(list.trunks.contains(broken[0]));

    const std::vector<Found> all = carveMessages(phone.path());
    const std::vector<Found> whole = findsOf(all, 1050);
    ASSERT_FALSE(whole.empty());
    for (const Found& found : whole) {
        EXPECT_EQ(placeName(found.place), "overflow");
        EXPECT_FALSE(found.cut);
        expectValues(found, phone.row(1050));
    }
    const std::vector<Found> cut = findsOf(all, 1061);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_NE(cut[0].place.origin, RecordOrigin::Overflow);
    EXPECT_TRUE(cut[0].cut);
    EXPECT_GT(cut[0].text.size(), 1000u);
    EXPECT_TRUE(phone.row(1061).text.starts_with(cut[0].text)) << cut[0].text;
}

// The log's frames keep page images: those written since the last
// checkpoint, and older ones the restarted log has not yet overwritten,
// which carry the salts of the log before.
class LogFrames : public RecordOrigins {
protected:
    void SetUp() override {
        phone.insertMany(1000, 1004);
        phone.run("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
        for (int unread = 1; unread <= 3; ++unread) {  // a few frames first
            phone.run("UPDATE ZWACHATSESSION SET ZUNREADCOUNT = " + std::to_string(unread) +
                      " WHERE Z_PK = 1;");
        }
        // Seen by the log only: the row's room is taken by another of the
        // same size before the checkpoint copies its page back.
        phone.insert(2001, "written, seen by the log, then replaced");
        phone.run("BEGIN; DELETE FROM ZWAMESSAGE WHERE Z_PK = 2001;");
        phone.insert(2002, "written, seen by the log, then REPLACED");
        phone.run("COMMIT; PRAGMA wal_checkpoint(RESTART);");
        // The log starts over: fewer frames than before, new salts.
        phone.run("BEGIN;");
        phone.insert(2003, "in the current log, then deleted");
        phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK = 2003; COMMIT;");
        // Copied while the connection is open, as a backup copies it.
        fs::copy_file(phone.path(), copy);
        fs::copy_file(phone.path() + "-wal", copy + "-wal");
    }

    // The frames (from 1) holding a byte string, and whether each has the
    // log's current salts.
    std::map<uint32_t, bool> framesHolding(const std::string& needle) const {
        const std::string log = readFile(copy + "-wal");
        std::map<uint32_t, bool> frames;
        const size_t frameSize = 24 + kPageSize;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) {
            const size_t frame = (at - 32) / frameSize;
            const size_t header = 32 + frame * frameSize;
            frames[static_cast<uint32_t>(frame + 1)] = log.compare(header + 8, 8, log, 16, 8) == 0;
        }
        return frames;
    }

    std::string copy = home.path() + "/copy.sqlite";
};

TEST_F(LogFrames, CurrentAndOlderFramesKeepTheirRows) {
    ASSERT_EQ(readFile(copy).find(stanzaOf(2001)), std::string::npos);
    ASSERT_EQ(readFile(copy).find(stanzaOf(2003)), std::string::npos);
    const std::vector<Found> all = carveMessages(copy);
    for (const auto& [pk, current] : {std::pair{2001, false}, std::pair{2003, true}}) {
        const std::map<uint32_t, bool> frames = framesHolding(stanzaOf(pk));
        ASSERT_FALSE(frames.empty());
        const std::vector<Found> finds = findsOf(all, pk);
        ASSERT_EQ(finds.size(), frames.size()) << pk;
        for (const Found& found : finds) {
            ASSERT_EQ(found.place.origin, RecordOrigin::WalFrame);
            ASSERT_TRUE(frames.contains(found.place.walFrame)) << placeName(found.place);
            EXPECT_EQ(frames.at(found.place.walFrame), current) << placeName(found.place);
            EXPECT_EQ(placeName(found.place), "wal frame " + std::to_string(found.place.walFrame));
            expectValues(found, phone.row(pk));
        }
    }
}

// Texts of 54 to 57 bytes take the one-byte serial types 121 to 127, the
// last below 0x80; from 58 bytes on a text's type takes two bytes.
TEST_F(RecordOrigins, TextsAroundTheOneByteTypeLimit) {
    const std::vector<size_t> lengths = {53, 54, 55, 56, 57, 58, 59, 63, 64, 300};
    int64_t pk = 1000;
    for (const size_t length : lengths) {
        std::string text = "length " + std::to_string(length) + " ";
        text.resize(length, static_cast<char>('a' + length % 26));
        phone.insert(pk++, "a live neighbour");
        phone.insert(pk++, text);
    }
    phone.insert(pk, "the newest live message");
    std::string deleted;
    for (size_t i = 0; i < lengths.size(); ++i) {
        deleted += (i == 0 ? "" : ", ") + std::to_string(1001 + 2 * i);
    }
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK IN (" + deleted + ");");
    phone.close();

    const std::vector<Found> all = carveMessages(phone.path());
    for (size_t i = 0; i < lengths.size(); ++i) {
        const int64_t key = 1001 + 2 * static_cast<int64_t>(i);
        const std::vector<Found> finds = findsOf(all, key);
        ASSERT_EQ(finds.size(), 1u) << lengths[i];
        EXPECT_EQ(placeName(finds[0].place), "freeblock");
        EXPECT_EQ(finds[0].text.size(), lengths[i]);
        expectValues(finds[0], phone.row(key));
    }
    EXPECT_EQ(all.size(), lengths.size());
}

struct Silent : ScanReporter {};

// Copies of live rows lie all over the free room: three rows in four
// deleted leave pages so empty that SQLite merges them and frees the rest,
// which keep the cells moved off them; a row that grew leaves its old
// record; every log frame holds the live rows of its page. The scan of a
// backup shows the deleted rows and none of those.
TEST_F(RecordOrigins, LiveRowsNeverComeBackFromTheScan) {
    phone.insertMany(1000, 1399);
    const auto gone = [](int64_t pk) {
        return (pk >= 1100 && pk < 1300 && pk % 4 != 0) || pk == 1405 || pk == 1406;
    };
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK BETWEEN 1100 AND 1299 AND Z_PK % 4 != 0;");
    phone.run("UPDATE ZWAMESSAGE SET Z_OPT = 2 WHERE Z_PK BETWEEN 1300 AND 1310;");
    phone.run("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    phone.insertMany(1400, 1420);
    phone.run("DELETE FROM ZWAMESSAGE WHERE Z_PK IN (1405, 1406);");
    const std::string folder = home.path() + "/backup";
    const std::string database = folder + "/7c7fba66680ef796b916b067077cc246adacf01d";
    const std::string wal = BackupFileLocator::keyPath(
        folder,
        BackupFileLocator::fileKey("AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
                                   "ChatStorage.sqlite-wal"),
        false);
    fs::create_directories(folder);
    fs::copy_file(phone.path(), database);
    fs::copy_file(phone.path() + "-wal", wal);
    phone.close();

    // The files do hold copies of live rows outside their cells: on pages
    // of the free list and in the log.
    const std::string file = readFile(database);
    const FreeList list = walkFreeList(file);
    std::map<int64_t, std::string> deleted;
    size_t freePageCopies = 0;
    size_t logCopies = 0;
    for (int64_t pk = 1000; pk <= 1420; ++pk) {
        if (gone(pk)) {
            deleted[pk] = phone.row(pk).text;
            continue;
        }
        for (const uint64_t page : pagesHolding(file, stanzaOf(pk))) {
            freePageCopies += list.trunks.contains(page) || list.leaves.contains(page) ? 1 : 0;
        }
        logCopies += pagesHolding(readFile(wal), stanzaOf(pk)).size();
    }
    ASSERT_GT(freePageCopies, 0u);
    ASSERT_GT(logCopies, 0u);

    Silent reporter;
    ScanState state(reporter, {});
    ASSERT_EQ(scanDeletedWhatsAppMessageThread(state, folder), Status());
    const auto result = state.finish(SourceKind::Backup, folder);
    // Each deleted row at most once, a cut copy only when no whole one came back.
    std::map<int64_t, size_t> shown;
    std::set<std::string> origins;
    const auto look = [&](const KTWhatsAppNode& m) {
        const std::string text(m.messageContent);
        const int64_t pk = std::stoll(text.substr(std::string("message number ").size()));
        EXPECT_TRUE(deleted.contains(pk) && deleted[pk].starts_with(text)) << text;
        ++shown[pk];
        origins.insert(std::string(result->recoveredOriginOf(m).value_or("none")));
    };
    std::for_each(result->recoveredMessages.begin(), result->recoveredMessages.end(), look);
    for (const KTWhatsAppNode& m : result->WhatsAppChatArray) {
        if (m.bDeleted) {
            look(m);
        }
    }
    for (const auto& [pk, times] : shown) {
        EXPECT_EQ(times, 1u) << pk;
    }
    EXPECT_TRUE(shown.contains(1405) && shown.contains(1406));
    EXPECT_TRUE(origins.contains("freelist") && origins.contains("freeblock"));
    EXPECT_FALSE(origins.contains("none"));
}

}  // namespace
}  // namespace vessamo
