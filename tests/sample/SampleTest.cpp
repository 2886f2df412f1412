#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "backup/SHAH.h"
#include "common/PlistValue.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleCatalogueWriter.h"
#include "sample/SampleDeletedMessages.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::SampleBackupBuilder;

PlistValue::Bytes bytesOf(const std::string& text) {
    return PlistValue::Bytes(text.begin(), text.end());
}

// Real backups carry Info.plist as XML and Manifest.plist as a binary list;
// what they say is read back by the device discovery tests.
TEST(SampleBuilder, WritesThePlistsInTheFormatsRealBackupsUse) {
    test::TempHome home;
    const std::string folder = home.path() + "/b";
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::ManifestDb).write(folder));
    EXPECT_EQ(test::readFile(folder + "/Info.plist").rfind("<?xml", 0), 0u);
    EXPECT_EQ(test::readFile(folder + "/Manifest.plist").rfind("bplist00", 0), 0u);
}

TEST(SampleBuilder, ManifestDbRowsCarryAKeyedArchiveOfTheFile) {
    test::TempHome home;
    const std::string folder = home.path() + "/b";
    const std::string domain = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
    SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addFile(domain, "ChatStorage.sqlite", std::string(1234, 'z'));
    ASSERT_TRUE(builder.write(folder));

    const std::string key = "7c7fba66680ef796b916b067077cc246adacf01d";
    EXPECT_EQ(test::readFile(folder + "/7c/" + key), std::string(1234, 'z'));
    fs::copy_file(folder + "/Manifest.db", home.path() + "/read.db");
    SqliteDatabase db;
    ASSERT_EQ(db.open(home.path() + "/read.db", SqliteDatabase::Mode::ReadOnly), SQLITE_OK);
    SqliteStatement row;
    ASSERT_EQ(row.prepare(db, "select fileID,domain,relativePath,flags,file from Files"),
              SQLITE_OK);
    ASSERT_EQ(row.step(), SQLITE_ROW);
    EXPECT_EQ(row.columnText(0), key);
    EXPECT_EQ(row.columnInt64(3), 1);

    auto archive = PlistValue::fromBytes(bytesOf(row.columnBlob(4)));
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->stringFor("$archiver"), "NSKeyedArchiver");
    const auto* objects = archive->find("$objects")->asArray();
    ASSERT_NE(objects, nullptr);
    auto root = archive->find("$top")->find("root")->asUid();
    ASSERT_TRUE(root);
    const PlistValue& file = (*objects)[*root];
    EXPECT_EQ(file.find("Size")->asInteger(), 1234);
    EXPECT_EQ(file.find("Mode")->asInteger(), 0100644);
    auto pathIndex = file.find("RelativePath")->asUid();
    ASSERT_TRUE(pathIndex);
    EXPECT_EQ(*(*objects)[*pathIndex].asString(), "ChatStorage.sqlite");
    auto classIndex = file.find("$class")->asUid();
    ASSERT_TRUE(classIndex);
    EXPECT_EQ((*objects)[*classIndex].stringFor("$classname"), "MBFile");
}

// --- chat databases with deleted rows ----------------------------------------

using sample::DeletedRowsDatabase;
using sample::DeletedRowsOptions;
using sample::MessageTableShape;
using sample::SurvivingRow;

struct ShapeFacts {
    MessageTableShape shape;
    int columns;
    uint8_t headerLength;  // with a short text; one more with a text of 58 bytes or longer
};

constexpr ShapeFacts kShapes[] = {
    {MessageTableShape::Columns18, 18, 0x13},
    {MessageTableShape::Columns20, 20, 0x15},
    {MessageTableShape::Columns34, 34, 0x23},
};

std::set<int64_t> pksOf(const std::vector<SurvivingRow>& rows) {
    std::set<int64_t> pks;
    for (const SurvivingRow& row : rows) {
        pks.insert(row.pk);
    }
    return pks;
}

int64_t queryValue(const std::string& path, const std::string& sql) {
    return std::stoll(test::queryRows(path, sql).at(0).at(0));
}

class DeletedMessagesSample : public ::testing::Test {
protected:
    DeletedRowsDatabase write(const DeletedRowsOptions& options, const std::string& name) {
        path_ = home_.path() + "/" + name;
        std::string error;
        auto written = sample::writeChatStorageWithDeletedRows(path_, options, &error);
        EXPECT_TRUE(written) << error;
        return written.value_or(DeletedRowsDatabase{});
    }

    test::TempHome home_;
    std::string path_;
};

// Each shape holds exactly the live rows and frees whole pages; the
// survivors are deleted rows whose text still stands in the file.
TEST_F(DeletedMessagesSample, EveryShapeHoldsTheLiveRowsAndTheSurvivorsStandInTheFile) {
    for (const ShapeFacts& facts : kShapes) {
        SCOPED_TRACE(facts.columns);
        DeletedRowsOptions options;
        options.shape = facts.shape;
        const DeletedRowsDatabase content = write(options, std::to_string(facts.columns));

        const auto table = test::queryRows(path_,
                                           "SELECT Z_PK, ZCHATSESSION, coalesce(ZTEXT, ''), "
                                           "quote(ZMESSAGEDATE), ZISFROMME != 0 "
                                           "FROM ZWAMESSAGE ORDER BY Z_PK");
        ASSERT_EQ(table.size(), content.liveRows.size());
        for (size_t i = 0; i < table.size(); ++i) {
            const SurvivingRow& row = content.liveRows[i];
            EXPECT_EQ(table[i],
                      (std::vector<std::string>{std::to_string(row.pk), std::to_string(row.chat),
                                                row.text, table[i][3], row.fromMe ? "1" : "0"}));
            EXPECT_EQ(std::stod(table[i][3]), row.date) << row.pk;
        }
        EXPECT_EQ(content.liveRows.size() + content.deletedRows.size(), options.messages);
        const std::set<int64_t> live = pksOf(content.liveRows);
        for (int64_t pk : pksOf(content.deletedRows)) {
            EXPECT_FALSE(live.contains(pk)) << pk;
        }
        EXPECT_EQ(queryValue(path_, "SELECT count(*) FROM pragma_table_info('ZWAMESSAGE')"),
                  facts.columns);
        EXPECT_EQ(queryValue(path_,
                             "SELECT cid FROM pragma_table_info('ZWAMESSAGE') "
                             "WHERE name = 'ZTEXT'"),
                  facts.columns - 2);
        EXPECT_EQ(queryValue(path_, "PRAGMA page_size"), 4096);
        EXPECT_GT(queryValue(path_, "PRAGMA freelist_count"), 0);
        EXPECT_GE(content.deletedRows.size(), options.messages / options.deleteEvery);

        const std::string file = test::readFile(path_);
        EXPECT_FALSE(content.survivingDeletedRows.empty());
        EXPECT_LT(content.survivingDeletedRows.size(), content.deletedRows.size());
        const std::set<int64_t> deleted = pksOf(content.deletedRows);
        for (const SurvivingRow& row : content.survivingDeletedRows) {
            EXPECT_TRUE(deleted.contains(row.pk)) << row.pk;
            EXPECT_NE(file.find(row.text), std::string::npos) << row.pk;
        }
    }
}

// Whether some occurrence of text has, shortly before it, the start of a
// record header as recovery looks for it: header length, Z_PK's NULL, Z_ENT
// as a 1-byte integer, Z_OPT and the third column as accepted combinations.
bool headerPrecedes(const std::string& file, const SurvivingRow& row, const ShapeFacts& facts) {
    const auto length = static_cast<uint8_t>(facts.headerLength + (row.text.size() >= 58 ? 1 : 0));
    for (size_t at = file.find(row.text); at != std::string::npos;
         at = file.find(row.text, at + 1)) {
        for (size_t start = at >= 200 ? at - 200 : 0; start + 7 <= at; ++start) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(file.data() + start);
            if (bytes[0] != length || bytes[1] != 0x00 || bytes[2] != 0x01 ||
                (bytes[3] != 0x01 && bytes[3] != 0x09)) {
                continue;
            }
            if (facts.shape == MessageTableShape::Columns34) {
                if (bytes[4] == 0x08 && bytes[5] == 0x08 && bytes[6] == 0x08) {
                    return true;
                }
            } else if (facts.shape == MessageTableShape::Columns18) {
                // The third column is the from-me flag, so it tells sent from received.
                if (bytes[4] == (row.fromMe ? 0x09 : 0x08) &&
                    !(bytes[3] == 0x09 && bytes[4] == 0x09)) {
                    return true;
                }
            } else if (bytes[4] == 0x08 || bytes[4] == 0x01) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(DeletedMessagesSample, SurvivingRecordsStartWithTheHeaderRecoveryRecognises) {
    for (const ShapeFacts& facts : kShapes) {
        SCOPED_TRACE(facts.columns);
        DeletedRowsOptions options;
        options.shape = facts.shape;
        options.messages = 600;
        options.pageSize = facts.shape == MessageTableShape::Columns20 ? 1024 : 4096;
        const DeletedRowsDatabase content = write(options, std::to_string(facts.columns));
        const std::string file = test::readFile(path_);

        EXPECT_EQ(queryValue(path_, "PRAGMA page_size"), options.pageSize);
        size_t longTexts = 0;
        size_t sent = 0;
        for (const SurvivingRow& row : content.survivingDeletedRows) {
            if (row.text.empty()) {
                continue;
            }
            longTexts += row.text.size() >= 58 ? 1 : 0;
            sent += row.fromMe ? 1 : 0;
            EXPECT_TRUE(headerPrecedes(file, row, facts)) << row.pk << " " << row.text;
        }
        EXPECT_GT(longTexts, 0u);
        EXPECT_GT(sent, 0u);
    }
}

TEST_F(DeletedMessagesSample, RowsWhoseSpaceIsReusedNoLongerSurvive) {
    DeletedRowsOptions options;
    options.shape = MessageTableShape::Columns18;
    options.messages = 400;
    options.deleteEvery = 0;  // only the run, so reuse of the freed pages is what changes
    const DeletedRowsDatabase untouched = write(options, "untouched");
    options.laterMessages = 600;
    const DeletedRowsDatabase reused = write(options, "reused");
    const std::string file = test::readFile(path_);

    ASSERT_EQ(pksOf(reused.deletedRows), pksOf(untouched.deletedRows));
    ASSERT_FALSE(untouched.survivingDeletedRows.empty());
    EXPECT_EQ(reused.liveRows.size(), 400 - reused.deletedRows.size() + 600);
    EXPECT_LT(reused.survivingDeletedRows.size(), untouched.survivingDeletedRows.size());
    size_t vanished = 0;
    const std::set<int64_t> surviving = pksOf(reused.survivingDeletedRows);
    for (const SurvivingRow& row : reused.deletedRows) {
        if (!row.text.empty() && file.find(row.text) == std::string::npos) {
            ++vanished;
            EXPECT_FALSE(surviving.contains(row.pk)) << row.pk;
        }
    }
    EXPECT_GT(vanished, 0u);
}

TEST_F(DeletedMessagesSample, RefusesAPageSizeSQLiteCannotUse) {
    DeletedRowsOptions options;
    options.pageSize = 3000;
    std::string error;
    EXPECT_FALSE(
        sample::writeChatStorageWithDeletedRows(home_.path() + "/odd.sqlite", options, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace vessamo
