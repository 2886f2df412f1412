#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "backup/BackupIndexReaders.h"
#include "common/NotificationCenter.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "sample/SampleSources.h"
#include "support/IndexRun.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::SampleBackupBuilder;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
const std::string kBusinessShared = "AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared";
const std::string kBusinessApp = "AppDomain-net.whatsapp.WhatsAppSMB";

using test::IndexRun;

class ManifestDbIndex : public ::testing::Test {
protected:
    std::string writeSample(SampleBackupBuilder builder) {
        EXPECT_TRUE(builder.write(folder));
        return folder;
    }

    test::TempHome home;
    std::string folder = home.backupRoot() + "/device";
};

TEST_F(ManifestDbIndex, KeepsTheExistingFilesOfTheFourWhatsAppDomains) {
    auto builder = sample::whatsAppBackup(CatalogueLayout::ManifestDb);
    builder.addFile(kBusinessApp, "Library/Preferences/net.whatsapp.WhatsAppSMB.plist", "p");
    writeSample(builder);

    IndexRun run;
    BackupFileIndex index = run.run(folder, true);

    // Every indexed entry is a file of a kept domain that exists at its two-level key.
    ASSERT_FALSE(index.whatsAppFileArray.empty());
    for (const KTTreeDirNode& entry : index.whatsAppFileArray) {
        EXPECT_NE(entry.fileDomain.find("whatsapp"), std::string::npos) << entry.fileDomain;
        EXPECT_TRUE(fs::is_regular_file(entry.fileKey)) << entry.fileKey;
        std::string key = SampleBackupBuilder::fileKey(entry.fileDomain, entry.filePath);
        EXPECT_EQ(entry.fileKey, folder + "/" + key.substr(0, 2) + "/" + key);
    }
    EXPECT_EQ(index.wpMediaArray, index.whatsAppFileArray);

    // Files of every kept domain made it; unrelated domains, folders and
    // catalogue-only entries did not.
    size_t expected = 0;
    for (const auto& file : builder.files()) {
        bool kept = file.domain.find("net.whatsapp.") != std::string::npos;
        if (kept && !file.catalogueOnly) {
            ++expected;
        }
    }
    EXPECT_EQ(index.whatsAppFileArray.size(), expected);
    EXPECT_TRUE(
        index.getFileKeyBytheFilepath("Library/Preferences/net.whatsapp.WhatsAppSMB.plist"));
    EXPECT_FALSE(index.getFileKeyBytheFilepath("Media/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_FALSE(index.getFileKeyBytheFilepath(
        "Message/Media/491701234567@s.whatsapp.net/a/b/ab0e1f2a-0000-4000-8000-000000000001.jpg"));
    EXPECT_TRUE(index.bNewAppVersion);

    // Both apps hold a ChatStorage.sqlite; the later row wins.
    EXPECT_EQ(index.whatsAppChatPath,
              SampleBackupBuilder::fileKey(kBusinessShared, "ChatStorage.sqlite"));

    ASSERT_FALSE(run.progress.empty());
    EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
    EXPECT_GE(run.progress.front(), 0);
    EXPECT_LE(run.progress.back(), 20);
}

TEST_F(ManifestDbIndex, ResolvedFileDisappearsLater) {
    writeSample(sample::whatsAppBackup(CatalogueLayout::ManifestDb));
    IndexRun run;
    BackupFileIndex index = run.run(folder, true);
    auto chat = index.getFileKeyBytheFilepath("Contacts.sqlite");
    ASSERT_TRUE(chat);
    fs::remove(*chat);
    EXPECT_FALSE(index.getFileKeyBytheFilepath("Contacts.sqlite"));
}

TEST_F(ManifestDbIndex, MissingChatFileStillNamesItsKey) {
    SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addCatalogueOnly(kShared, "ChatStorage.sqlite");
    builder.addFile(kShared, "Contacts.sqlite", "c");
    writeSample(builder);
    IndexRun run;
    BackupFileIndex index = run.run(folder, true);
    EXPECT_EQ(index.whatsAppChatPath, "7c7fba66680ef796b916b067077cc246adacf01d");
    EXPECT_FALSE(index.getFileKeyBytheFilepath("ChatStorage.sqlite"));
    EXPECT_EQ(index.whatsAppFileArray.size(), 1u);
    EXPECT_FALSE(index.bNewAppVersion);
}

TEST_F(ManifestDbIndex, StopDuringIndexingLeavesAPartialIndex) {
    writeSample(sample::whatsAppBackup(CatalogueLayout::ManifestDb));
    IndexRun full;
    size_t all = full.run(folder, true).whatsAppFileArray.size();

    IndexRun stopped(true);
    BackupFileIndex partial = stopped.run(folder, true);
    EXPECT_EQ(stopped.progress.size(), 1u);  // nothing is posted after the stop
    EXPECT_LE(partial.whatsAppFileArray.size(), 1u);
    EXPECT_LT(partial.whatsAppFileArray.size(), all);
}

TEST_F(ManifestDbIndex, ShortFileIDsNameNoFile) {
    SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addFile(kShared, "ChatStorage.sqlite", "db");
    builder.addRawCatalogueRow("7c", kShared, "ChatStorage.sqlite");
    builder.addRawCatalogueRow("", kShared, "Contacts.sqlite");
    writeSample(builder);
    IndexRun run;
    BackupFileIndex index = run.run(folder, true);
    EXPECT_EQ(index.whatsAppChatPath, "7c7fba66680ef796b916b067077cc246adacf01d");
    ASSERT_EQ(index.whatsAppFileArray.size(), 1u);
    EXPECT_EQ(run.progress.back(), 20);
}

TEST_F(ManifestDbIndex, DamagedCataloguesGiveAnEmptyIndex) {
    fs::create_directories(folder);
    {
        SystemLog::Capture log;
        IndexRun run;
        EXPECT_TRUE(run.run(folder, true).whatsAppFileArray.empty());
        EXPECT_TRUE(log.contains("messageDB is not exist"));
    }
    test::writeFile(folder + "/Manifest.db", "SQLite format 3 but not really");
    EXPECT_TRUE(IndexRun().run(folder, true).whatsAppFileArray.empty());

    fs::remove(folder + "/Manifest.db");
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(folder + "/Manifest.db", SqliteDatabase::Mode::Create), SQLITE_OK);
        ASSERT_EQ(db.execute("CREATE TABLE Other (x)"), SQLITE_OK);
    }
    EXPECT_TRUE(IndexRun().run(folder, true).whatsAppFileArray.empty());

    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(folder + "/Manifest.db", SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("CREATE TABLE Files (fileID, domain, relativePath, flags, file)"),
                  SQLITE_OK);
    }
    IndexRun empty;
    EXPECT_TRUE(empty.run(folder, true).whatsAppFileArray.empty());
    EXPECT_TRUE(empty.progress.empty());
}

TEST_F(ManifestDbIndex, TheBackupIsLeftByteForByteUnchanged) {
    writeSample(sample::whatsAppBackup(CatalogueLayout::ManifestDb));
    // A catalogue still in WAL mode, with its last rows only in the log.
    std::string walFile;
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(folder + "/Manifest.db", SqliteDatabase::Mode::ReadWrite), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"), SQLITE_OK);
        std::string key = SampleBackupBuilder::fileKey(kShared, "Late.sqlite");
        ASSERT_EQ(db.execute("INSERT INTO Files VALUES ('" + key + "','" + kShared +
                             "','Late.sqlite',1,NULL)"),
                  SQLITE_OK);
        test::writeFile(folder + "/" + key.substr(0, 2) + "/" + key, "late");
        fs::copy_file(folder + "/Manifest.db-wal", home.path() + "/saved-wal");
        fs::copy_file(folder + "/Manifest.db", home.path() + "/saved-db");
    }
    // Put the catalogue back as it was while the phone's log was still open.
    fs::copy_file(home.path() + "/saved-db", folder + "/Manifest.db",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(home.path() + "/saved-wal", folder + "/Manifest.db-wal",
                  fs::copy_options::overwrite_existing);
    auto before = test::treeDigest(folder);

    BackupFileIndex index = IndexRun().run(folder, true);
    EXPECT_TRUE(index.getFileKeyBytheFilepath("Late.sqlite"));
    EXPECT_EQ(test::treeDigest(folder), before);
}

TEST(RealManifestDb, IndexesEveryWhatsAppRowOfARealCatalogue) {
    test::TempHome home;
    const std::string folder = home.path() + "/backup";
    fs::create_directories(folder);
    ASSERT_EQ(test::copyOfRealData("mvt_ios14_backup/Manifest.db", folder),
              folder + "/Manifest.db");
    auto before = test::treeDigest(folder);

    // Counted on a copy of its own: even a read-only open of a WAL-mode
    // database creates files beside it.
    fs::copy_file(folder + "/Manifest.db", home.path() + "/count.db");
    size_t kept = 0;
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(home.path() + "/count.db", SqliteDatabase::Mode::ReadOnly), SQLITE_OK);
        SqliteStatement count;
        ASSERT_EQ(count.prepare(db,
                                "select count(*) from Files where domain in "
                                "('AppDomain-net.whatsapp.WhatsApp',"
                                "'AppDomainGroup-group.net.whatsapp.WhatsApp.shared',"
                                "'AppDomain-net.whatsapp.WhatsAppSMB',"
                                "'AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared')"),
                  SQLITE_OK);
        ASSERT_EQ(count.step(), SQLITE_ROW);
        kept = static_cast<size_t>(count.columnInt64(0));
    }
    SystemLog::Capture log;
    IndexRun run;
    BackupFileIndex index = run.run(folder, true);
    size_t logged = 0;
    for (const std::string& line : log.lines()) {
        logged += line.rfind("domain:", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(logged, kept);
    EXPECT_EQ(run.progress.size(), kept);
    // The data files are not part of the sample, so none can be indexed.
    EXPECT_TRUE(index.whatsAppFileArray.empty());
    EXPECT_EQ(test::treeDigest(folder), before);
}

}  // namespace
}  // namespace vessamo
