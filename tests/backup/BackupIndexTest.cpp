#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

#include "backup/BackupIndexReaders.h"
#include "backup/MbdbRecordParser.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::SampleBackupBuilder;
using test::ScanRun;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
const std::string kApp = "AppDomain-net.whatsapp.WhatsApp";
const std::string kBusinessShared = "AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared";
const std::string kBusinessApp = "AppDomain-net.whatsapp.WhatsAppSMB";
const std::string kMagic("mbdb\x05\x00", 6);

// Hand-written mbdb records for the cases no builder would make.
std::string beString(const std::string& text) {
    std::string out;
    out += static_cast<char>(text.size() >> 8);
    out += static_cast<char>(text.size() & 0xFF);
    return out + text;
}

std::string mbdbRecord(const std::string& domain, const std::string& path,
                       const std::string& domainField = "") {
    std::string out = domainField.empty() ? beString(domain) : domainField;
    out += beString(path);
    out += std::string("\xFF\xFF\xFF\xFF\xFF\xFF", 6);  // link, hash, key absent
    out += std::string(39, '\0');
    out += '\x01';  // one property
    out += beString("com.apple.assetsd.UUID") + beString("0123");
    return out;
}

bool twoLevel(CatalogueLayout layout) {
    return layout == CatalogueLayout::ManifestDb;
}

class BackupIndex : public ::testing::Test {
protected:
    void write(const SampleBackupBuilder& builder) {
        fs::remove_all(folder);
        std::string error;
        ASSERT_TRUE(builder.write(folder, &error)) << error;
    }
    // One catalogue reader run on the folder as it is.
    struct Run : ScanRun {
        Run(const std::string& folder, CatalogueLayout layout, bool stopEarly = false) {
            state.biOS10version = twoLevel(layout);
            if (stopEarly) {
                stopAtFirstProgress();
            }
            status = index(folder);
        }
        const BackupFileIndex& files() const { return state.index; }
        Status status;
    };

    test::TempHome home;
    std::string folder = home.backupRoot() + "/device";
};

TEST_F(BackupIndex, ManifestDbKeepsTheExistingFilesOfTheFourWhatsAppDomains) {
    auto builder = sample::whatsAppBackup(CatalogueLayout::ManifestDb);
    builder.addFile(kBusinessApp, "Library/Preferences/net.whatsapp.WhatsAppSMB.plist", "p");
    write(builder);
    Run run(folder, CatalogueLayout::ManifestDb);
    const BackupFileIndex& index = run.files();
    EXPECT_TRUE(run.status.ok()) << run.status.toString();

    // Every indexed entry is a file of a kept domain that exists at its two-level key.
    ASSERT_FALSE(index.whatsAppFileArray.empty());
    size_t expected = 0;
    for (const auto& file : builder.files()) {
        expected += file.domain.find("net.whatsapp.") != std::string::npos && !file.catalogueOnly;
    }
    EXPECT_EQ(index.whatsAppFileArray.size(), expected);
    for (const KTTreeDirNode& entry : index.whatsAppFileArray) {
        EXPECT_NE(entry.fileDomain.find("whatsapp"), std::string::npos) << entry.fileDomain;
        const std::string key = SampleBackupBuilder::fileKey(entry.fileDomain, entry.filePath);
        EXPECT_EQ(entry.fileKey, folder + "/" + key.substr(0, 2) + "/" + key);
    }
    EXPECT_EQ(index.wpMediaArray, index.whatsAppFileArray);
    EXPECT_TRUE(
        index.getFileKeyBytheFilepath("Library/Preferences/net.whatsapp.WhatsAppSMB.plist"));
    EXPECT_FALSE(index.getFileKeyBytheFilepath("Media/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_FALSE(index.getFileKeyBytheFilepath(
        "Message/Media/491701234567@s.whatsapp.net/a/b/ab0e1f2a-0000-4000-8000-000000000001.jpg"));
    EXPECT_TRUE(index.bNewAppVersion);
    // Both apps hold a ChatStorage.sqlite; the later row wins.
    EXPECT_EQ(index.whatsAppChatPath,
              SampleBackupBuilder::fileKey(kBusinessShared, "ChatStorage.sqlite"));

    ASSERT_FALSE(run.progress().empty());
    EXPECT_TRUE(std::is_sorted(run.progress().begin(), run.progress().end()));
    EXPECT_GE(run.progress().front(), 0);
    EXPECT_EQ(run.progress().back(), 20);

    // A file that goes after indexing is no longer found.
    const auto contacts = index.getFileKeyBytheFilepath("Contacts.sqlite");
    ASSERT_TRUE(contacts);
    fs::remove(std::string(*contacts));
    EXPECT_FALSE(index.getFileKeyBytheFilepath("Contacts.sqlite"));
}

TEST_F(BackupIndex, ManifestDbChatKeyComesFromUsableRowsEvenWithoutTheFile) {
    SampleBackupBuilder missing(CatalogueLayout::ManifestDb);
    missing.addCatalogueOnly(kShared, "ChatStorage.sqlite");
    missing.addFile(kShared, "Contacts.sqlite", "c");
    write(missing);
    Run withoutFile(folder, CatalogueLayout::ManifestDb);
    EXPECT_EQ(withoutFile.files().whatsAppChatPath, "7c7fba66680ef796b916b067077cc246adacf01d");
    EXPECT_FALSE(withoutFile.files().getFileKeyBytheFilepath("ChatStorage.sqlite"));
    EXPECT_EQ(withoutFile.files().whatsAppFileArray.size(), 1u);
    EXPECT_FALSE(withoutFile.files().bNewAppVersion);

    // File IDs too short to name their folder name no file, and must not
    // replace the chat database found before them.
    SampleBackupBuilder shortIds(CatalogueLayout::ManifestDb);
    shortIds.addFile(kShared, "ChatStorage.sqlite", "db");
    shortIds.addRawCatalogueRow("7c", kShared, "ChatStorage.sqlite");
    shortIds.addRawCatalogueRow("", kShared, "Contacts.sqlite");
    write(shortIds);
    Run withShortIds(folder, CatalogueLayout::ManifestDb);
    EXPECT_EQ(withShortIds.files().whatsAppChatPath, "7c7fba66680ef796b916b067077cc246adacf01d");
    EXPECT_EQ(withShortIds.files().whatsAppFileArray.size(), 1u);
    EXPECT_EQ(withShortIds.progress().back(), 20);
}

TEST_F(BackupIndex, MbdbKeepsOnlyTheTwoClassicDomainsInTheFlatLayout) {
    auto builder = sample::whatsAppBackup(CatalogueLayout::Mbdb);
    builder.addFile(kBusinessShared, "ChatStorage.sqlite", "business");
    write(builder);
    Run run(folder, CatalogueLayout::Mbdb);
    const BackupFileIndex& index = run.files();
    EXPECT_TRUE(run.status.ok()) << run.status.toString();
    ASSERT_FALSE(index.whatsAppFileArray.empty());
    for (const KTTreeDirNode& entry : index.whatsAppFileArray) {
        EXPECT_TRUE(entry.fileDomain == kShared || entry.fileDomain == kApp) << entry.fileDomain;
        EXPECT_EQ(entry.fileKey,
                  folder + "/" + SampleBackupBuilder::fileKey(entry.fileDomain, entry.filePath));
    }
    // Old backups keep the chat database in the app's own container.
    EXPECT_EQ(index.whatsAppChatPath, "");
    EXPECT_EQ(index.getFileKeyBytheFilepath("Documents/ChatStorage.sqlite"),
              folder + "/1b6b187a1b60b9ae8b720c79e2c67f472bab09c0");
    // Only the Manifest.db reader decides the media layout.
    EXPECT_FALSE(index.bNewAppVersion);
    EXPECT_TRUE(std::is_sorted(run.progress().begin(), run.progress().end()));
    EXPECT_LE(run.progress().back(), 20);
}

TEST_F(BackupIndex, MbdbStringsAbsentEmptyAndTooLong) {
    fs::create_directories(folder);
    const std::string longPath = "Library/" + std::string(300, 'x');
    const std::string cutPath = longPath.substr(0, 259);
    const std::string absentDomain =
        mbdbRecord("", "ChatStorage.sqlite", std::string("\xFF\xFF", 2));
    test::writeFile(folder + "/Manifest.mbdb", kMagic + absentDomain +
                                                   mbdbRecord(kShared, longPath) +
                                                   mbdbRecord(kShared, "Contacts.sqlite"));
    test::writeFile(folder + "/" + SampleBackupBuilder::fileKey(kShared, cutPath), "cut");
    test::writeFile(folder + "/" + SampleBackupBuilder::fileKey(kShared, "Contacts.sqlite"), "c");
    test::writeFile(folder + "/" + SampleBackupBuilder::fileKey("", "ChatStorage.sqlite"), "x");

    Run run(folder, CatalogueLayout::Mbdb);
    // The domain-less record is dropped; the long path is kept cut, and the
    // record after it is still read from the right place.
    ASSERT_EQ(run.files().whatsAppFileArray.size(), 2u);
    EXPECT_EQ(run.files().whatsAppFileArray[0].filePath, cutPath);
    EXPECT_EQ(run.files().whatsAppFileArray[1].filePath, "Contacts.sqlite");
    EXPECT_EQ(run.files().whatsAppChatPath, "");
    EXPECT_EQ(run.progress().back(), 20);

    // An absent string consumes only its length field.
    const std::string bytes = kMagic + absentDomain;
    MbdbRecordParser parser(
        std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(parser.readHeader());
    auto parsed = parser.next();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->domain, "");
    EXPECT_EQ(parsed->path, "ChatStorage.sqlite");
    EXPECT_EQ(parsed->endOffset, bytes.size());
    EXPECT_TRUE(parser.atEnd());
}

// A cut catalogue yields a leading part of the full index, never more, and
// is damaged unless the cut falls between two records.
TEST_F(BackupIndex, MbdbEveryCutCatalogueGivesALeadingPart) {
    write(sample::whatsAppBackup(CatalogueLayout::Mbdb));
    const std::string full = test::readFile(folder + "/Manifest.mbdb");
    Run complete(folder, CatalogueLayout::Mbdb);
    const auto& all = complete.files().whatsAppFileArray;
    std::set<size_t> boundaries = {kMagic.size()};
    MbdbRecordParser parser(std::span(reinterpret_cast<const uint8_t*>(full.data()), full.size()));
    ASSERT_TRUE(parser.readHeader());
    while (auto record = parser.next()) {
        boundaries.insert(record->endOffset);
    }
    ASSERT_TRUE(boundaries.contains(full.size()));

    // Every length where the outcome can change: around each record's end
    // and in the middle of each record (a file per length is slow enough
    // that trying every one took half a minute).
    std::set<size_t> lengths;
    size_t previous = 0;
    for (size_t boundary : boundaries) {
        for (size_t near = boundary >= 2 ? boundary - 2 : 0; near <= boundary + 2; ++near) {
            lengths.insert(std::min(near, full.size()));
        }
        lengths.insert((previous + boundary) / 2);
        previous = boundary;
    }
    for (size_t length : lengths) {
        test::writeFile(folder + "/Manifest.mbdb", full.substr(0, length));
        Run run(folder, CatalogueLayout::Mbdb);
        const auto& some = run.files().whatsAppFileArray;
        ASSERT_LE(some.size(), all.size()) << length;
        ASSERT_TRUE(std::equal(some.begin(), some.end(), all.begin())) << length;
        ASSERT_EQ(run.status.ok(), boundaries.contains(length)) << length;
    }
}

// Absent catalogues are notFound with the line the log always had; files
// that are no catalogue are damaged; a catalogue without WhatsApp rows is
// simply empty. None of them indexes anything.
TEST_F(BackupIndex, MissingDamagedAndEmptyCatalogues) {
    struct Case {
        const char* what;
        CatalogueLayout layout;
        std::optional<std::string> bytes;  // the catalogue file, if any
        std::string sql;                   // else run on a fresh database, if any
        StatusCode code;
    };
    const std::vector<Case> cases = {
        {"no Manifest.db", CatalogueLayout::ManifestDb, std::nullopt, "", StatusCode::notFound},
        {"garbage", CatalogueLayout::ManifestDb, "SQLite format 3 but not really", "",
         StatusCode::corrupt},
        {"another table", CatalogueLayout::ManifestDb, std::nullopt, "CREATE TABLE Other (x)",
         StatusCode::ok},
        {"empty Files", CatalogueLayout::ManifestDb, std::nullopt,
         "CREATE TABLE Files (fileID, domain, relativePath, flags, file)", StatusCode::ok},
        {"no Manifest.mbdb", CatalogueLayout::Mbdb, std::nullopt, "", StatusCode::notFound},
        {"version 4", CatalogueLayout::Mbdb,
         std::string("mbdb\x04\x00", 6) + mbdbRecord(kShared, "ChatStorage.sqlite"), "",
         StatusCode::corrupt},
        {"bytes", CatalogueLayout::Mbdb, std::string(5000, '\xFF'), "", StatusCode::corrupt},
        {"empty", CatalogueLayout::Mbdb, std::string(), "", StatusCode::corrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        fs::create_directories(folder);
        const std::string name = twoLevel(c.layout) ? "/Manifest.db" : "/Manifest.mbdb";
        if (!c.sql.empty() || c.bytes) {
            test::writeFile(folder + name, c.sql.empty() ? *c.bytes : test::afterSql("", c.sql));
        }
        Run run(folder, c.layout);
        EXPECT_EQ(run.status.code(), c.code) << run.status.toString();
        EXPECT_TRUE(run.files().whatsAppFileArray.empty());
        EXPECT_TRUE(run.files().whatsAppChatPath.empty());
        EXPECT_TRUE(run.progress().empty());
    }
    EXPECT_EQ(Run(folder + "/gone", CatalogueLayout::ManifestDb).status.message(),
              "messageDB is not exist");
}

TEST_F(BackupIndex, StopAfterTheFirstKeptEntryLeavesAPartialIndex) {
    for (CatalogueLayout layout : {CatalogueLayout::ManifestDb, CatalogueLayout::Mbdb}) {
        SCOPED_TRACE(twoLevel(layout) ? "Manifest.db" : "Manifest.mbdb");
        write(sample::whatsAppBackup(layout));
        const size_t all = Run(folder, layout).files().whatsAppFileArray.size();
        Run stopped(folder, layout, true);
        EXPECT_EQ(stopped.progress().size(), 1u);  // nothing is reported after the stop
        EXPECT_LE(stopped.files().whatsAppFileArray.size(), 1u);
        EXPECT_LT(stopped.files().whatsAppFileArray.size(), all);
        EXPECT_TRUE(stopped.status.ok());
    }
}

TEST_F(BackupIndex, ReadsRowsOnlyInTheLogAndLeavesTheBackupByteForByteUnchanged) {
    write(sample::whatsAppBackup(CatalogueLayout::Mbdb));
    auto before = test::treeDigest(folder);
    EXPECT_FALSE(Run(folder, CatalogueLayout::Mbdb).files().whatsAppFileArray.empty());
    EXPECT_EQ(test::treeDigest(folder), before);

    write(sample::whatsAppBackup(CatalogueLayout::ManifestDb));
    {
        // A catalogue still in WAL mode, with its last row only in the log.
        SqliteDatabase db;
        ASSERT_EQ(db.open(folder + "/Manifest.db", SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"), SQLITE_OK);
        fs::copy_file(folder + "/Manifest.db", home.path() + "/saved-db");
        const std::string key = SampleBackupBuilder::fileKey(kShared, "Late.sqlite");
        ASSERT_EQ(db.execute("INSERT INTO Files VALUES ('" + key + "','" + kShared +
                             "','Late.sqlite',1,NULL)"),
                  SQLITE_OK);
        test::writeFile(folder + "/" + key.substr(0, 2) + "/" + key, "late");
        fs::copy_file(folder + "/Manifest.db-wal", home.path() + "/saved-wal");
    }
    // Put the catalogue back as it was while the phone's log was still open.
    fs::copy_file(home.path() + "/saved-db", folder + "/Manifest.db",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(home.path() + "/saved-wal", folder + "/Manifest.db-wal",
                  fs::copy_options::overwrite_existing);
    before = test::treeDigest(folder);
    EXPECT_TRUE(
        Run(folder, CatalogueLayout::ManifestDb).files().getFileKeyBytheFilepath("Late.sqlite"));
    EXPECT_EQ(test::treeDigest(folder), before);
}

TEST(RealManifestDb, IndexesEveryWhatsAppRowOfARealCatalogue) {
    test::TempHome home;
    const std::string folder = home.path() + "/backup";
    fs::create_directories(folder);
    ASSERT_EQ(test::copyOfRealData("mvt_ios14_backup/Manifest.db", folder),
              folder + "/Manifest.db");
    const auto before = test::treeDigest(folder);

    // Counted on a copy of its own: even a read-only open of a WAL-mode
    // database creates files beside it.
    const size_t kept =
        std::stoul(test::queryRows(folder + "/Manifest.db",
                                   "select count(*) from Files where domain in "
                                   "('AppDomain-net.whatsapp.WhatsApp',"
                                   "'AppDomainGroup-group.net.whatsapp.WhatsApp.shared',"
                                   "'AppDomain-net.whatsapp.WhatsAppSMB',"
                                   "'AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared')")
                       .at(0)
                       .at(0));
    SystemLog::Capture log;
    ScanRun run;
    run.state.biOS10version = true;
    EXPECT_TRUE(run.index(folder).ok());
    const auto lines = log.lines();
    EXPECT_EQ(static_cast<size_t>(std::count_if(
                  lines.begin(), lines.end(),
                  [](const std::string& line) { return line.rfind("domain:", 0) == 0; })),
              kept);
    EXPECT_EQ(run.progress().size(), kept);
    // The data files are not part of the sample, so none can be indexed.
    EXPECT_TRUE(run.state.index.whatsAppFileArray.empty());
    EXPECT_EQ(test::treeDigest(folder), before);
}

}  // namespace
}  // namespace vessamo
