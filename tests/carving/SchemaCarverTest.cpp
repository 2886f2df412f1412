#include "carving/SchemaCarver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "carving/CarvedMessageCheck.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/RecordImages.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleDeletedMessages.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using namespace test;

struct Carved {
    std::string text;
    RecordPlace place;
    bool cut = false;
};

// Every record of the message table that passes the message checks.
std::vector<Carved> carveMessages(const std::string& database, const CarvingFile* wal) {
    const auto file = CarvingFile::open(database);
    EXPECT_TRUE(file);
    std::vector<Carved> found;
    for (const TableSchema& table : readTableSchemas(database)) {
        const auto columns = messageColumnsNamed(table.columns);
        if (table.name != "ZWAMESSAGE" || !columns) {
            continue;
        }
        const CarveContext context = ChatDatabaseFacts::of(database).context;
        SchemaCarver carver(table);
        EXPECT_TRUE(carver.carve(*file, wal, [&](const FoundRecord& f) {
            bool deletedChat = false;
            if (checkMessage(f.bytes, f.record, *columns, context, deletedChat) !=
                Rejection::None) {
                return false;
            }
            found.push_back(
                {std::string(f.record.text(f.bytes, static_cast<size_t>(columns->text))), f.place,
                 f.record.cut});
            return true;
        }));
    }
    return found;
}

// Deleted rows come back from freeblocks, the unallocated gap and pages on
// the free list; rows written and deleted while the log was in use come
// back from its frames, named by frame.
TEST(SchemaCarver, EveryKindOfFreeRoomYieldsItsRecordsWithTheirOrigin) {
    TempHome home;
    const std::string path = home.path() + "/ChatStorage.sqlite";
    sample::DeletedRowsOptions options;
    options.messages = 3000;
    std::string error;
    const auto written = sample::writeChatStorageWithDeletedRows(path, options, &error);
    ASSERT_TRUE(written) << error;

    // More traffic with the log in use: the copy is taken before the last
    // connection closes, as a phone's backup takes it.
    const std::string copy = home.path() + "/copy.sqlite";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                             "PRAGMA secure_delete=OFF;"
                             "INSERT INTO ZWAMESSAGE (Z_PK, Z_ENT, Z_OPT, ZISFROMME, ZCHATSESSION,"
                             " ZMESSAGEDATE, ZFROMJID, ZSTANZAID, ZTEXT) VALUES (90001, 9, 2, 0, 1,"
                             " 700000000, '491720007919@s.whatsapp.net', 'WAL1',"
                             " 'written to the log, then deleted');"
                             "DELETE FROM ZWAMESSAGE WHERE Z_PK = 90001;"),
                  SQLITE_OK)
            << db.lastError();
        std::filesystem::copy_file(path, copy);
        std::filesystem::copy_file(path + "-wal", copy + "-wal");
    }
    const auto wal = CarvingFile::open(copy + "-wal");
    ASSERT_TRUE(wal);

    std::map<RecordOrigin, size_t> origins;
    std::set<std::string> texts;
    std::string walPlace;
    for (const Carved& carved : carveMessages(copy, wal.get())) {
        ++origins[carved.place.origin];
        texts.insert(carved.text);
        if (carved.text == "written to the log, then deleted") {
            walPlace = placeName(carved.place);
        }
    }
    EXPECT_GT(origins[RecordOrigin::Freeblock], 0u);
    EXPECT_GT(origins[RecordOrigin::FreelistPage], 0u);
    EXPECT_GT(origins[RecordOrigin::Unallocated], 0u);
    EXPECT_TRUE(walPlace.starts_with("wal frame ")) << walPlace;
    for (const sample::SurvivingRow& row : written->survivingDeletedRows) {
        if (!row.text.empty()) {
            EXPECT_TRUE(texts.contains(row.text)) << row.pk;
        }
    }
}

// A record whose text runs off the end of its free page keeps the start
// of its text and says it was cut; a record of a page in use never reaches
// into the cells after its gap.
TEST(SchemaCarver, ACutTextKeepsItsStartAndSaysSo) {
    TempHome home;
    const std::string path = home.path() + "/ChatStorage.sqlite";
    sample::DeletedRowsOptions options;
    options.messages = 10;
    options.deleteEvery = 0;
    options.freeWholePages = false;
    ASSERT_TRUE(sample::writeChatStorageWithDeletedRows(path, options));
    std::string bytes = readFile(path);
    Message m;
    m.text = std::string(60, 'c') + " and the rest is gone";
    m.fromMe = true;
    m.from.clear();
    m.to.clear();  // the text is the record's last content
    appendFreeTrunkEndingIn(bytes, 4096, recordBytes(0x23, kWide, m), 20);
    writeFile(path, bytes);

    std::vector<Carved> cut;
    for (const Carved& carved : carveMessages(path, nullptr)) {
        if (carved.cut) {
            cut.push_back(carved);
        }
    }
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].place.origin, RecordOrigin::FreelistPage);
    EXPECT_TRUE(m.text->starts_with(cut[0].text));
    EXPECT_EQ(cut[0].text.size(), m.text->size() - 20);
}

}  // namespace
}  // namespace vessamo
