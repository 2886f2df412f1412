#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/DatabaseCopy.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

int64_t countRows(const std::string& path) {
    return std::stoll(test::queryRows(path, "select count(*) from t").at(0).at(0));
}

// A database as a phone leaves it: the newest rows only in the -wal file.
void writeDatabaseWithLog(const std::string& folder, const std::string& walName) {
    SqliteDatabase db;
    ASSERT_EQ(db.open(folder + "/source.db", SqliteDatabase::Mode::Create), SQLITE_OK);
    ASSERT_EQ(db.execute("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                         "CREATE TABLE t(x); INSERT INTO t VALUES (1);"
                         "PRAGMA wal_checkpoint(TRUNCATE); INSERT INTO t VALUES (2),(3);"),
              SQLITE_OK);
    fs::copy_file(folder + "/source.db", folder + "/frozen.db");
    fs::copy_file(folder + "/source.db-wal", folder + "/frozen.wal");
    db.close();
    fs::remove(folder + "/source.db");
    fs::remove(folder + "/source.db-wal");
    fs::rename(folder + "/frozen.db", folder + "/source.db");
    fs::rename(folder + "/frozen.wal", folder + "/" + walName);
}

// The log beside the source, or one under another name when told, is
// folded into a private copy; the source is never touched.
TEST(DatabaseCopy, FoldsTheLogIntoAPrivateCopyAndLeavesTheSourceAlone) {
    test::TempHome home;
    const std::string otherName = home.path() + "/5c4d7de09390070f38417f9be6946bcc823e1b2f";
    writeDatabaseWithLog(home.path(), "source.db-wal");
    fs::copy_file(home.path() + "/source.db-wal", otherName);
    auto before = test::treeDigest(home.path());

    auto scratch = ScratchFolder::create();
    ASSERT_TRUE(scratch);
    auto copy = makeFoldedCopy(*scratch, home.path() + "/source.db");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->rfind(scratch->path(), 0), 0u);
    EXPECT_FALSE(fs::exists(*copy + "-wal") && fs::file_size(*copy + "-wal") > 0);
    EXPECT_EQ(countRows(*copy), 3);
    EXPECT_EQ(test::treeDigest(home.path()), before);

    fs::remove(home.path() + "/source.db-wal");
    auto withoutLog = makeFoldedCopy(*scratch, home.path() + "/source.db");
    ASSERT_TRUE(withoutLog);
    EXPECT_EQ(countRows(*withoutLog), 1);
    auto withLog = makeFoldedCopy(*scratch, home.path() + "/source.db", otherName);
    ASSERT_TRUE(withLog);
    EXPECT_NE(*withLog, *withoutLog);
    EXPECT_EQ(countRows(*withLog), 3);
}

TEST(DatabaseCopy, NonDatabasesAndMissingFiles) {
    test::TempHome home;
    auto scratch = ScratchFolder::create();
    ASSERT_TRUE(scratch);
    EXPECT_FALSE(makeFoldedCopy(*scratch, home.path() + "/missing.db"));
    EXPECT_FALSE(makeFoldedCopy(*scratch, home.path()));  // a folder is no database

    // A file that is no database is copied as it is, for its reader to judge.
    test::writeFile(home.path() + "/garbage.db", std::string(4096, 'G'));
    auto copy = makeFoldedCopy(*scratch, home.path() + "/garbage.db");
    ASSERT_TRUE(copy);
    EXPECT_EQ(test::readFile(*copy), std::string(4096, 'G'));
}

// A backup's database, or its log, that is a link (or lies behind a linked
// folder) is somebody else's file: it is not copied.
TEST(DatabaseCopy, LinkedDatabasesAndLogsAreNotRead) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    const std::string outside = home.path() + "/outside";
    fs::create_directories(backup + "/7c");
    fs::create_directories(outside);
    writeDatabaseWithLog(outside, "source.db-wal");
    fs::create_symlink(outside + "/source.db", backup + "/7c/linked.db");
    fs::create_directory_symlink(outside, backup + "/ab");
    fs::copy_file(outside + "/source.db", backup + "/7c/own.db");
    fs::create_symlink(outside + "/source.db-wal", backup + "/7c/own.db-wal");

    auto scratch = ScratchFolder::create();
    ASSERT_TRUE(scratch);
    EXPECT_FALSE(makeFoldedCopy(*scratch, PathWithin{backup, backup + "/7c/linked.db"}));
    EXPECT_FALSE(makeFoldedCopy(*scratch, PathWithin{backup, backup + "/ab/source.db"}));
    const auto own = makeFoldedCopy(*scratch, PathWithin{backup, backup + "/7c/own.db"});
    ASSERT_TRUE(own);
    EXPECT_EQ(countRows(*own), 1);  // the linked log's rows stay out
}

TEST(ScratchFolder, IsPrivateAndRemovedWithItsContents) {
    std::string path;
    {
        auto scratch = ScratchFolder::create("vessamo-check");
        ASSERT_TRUE(scratch);
        path = scratch->path();
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        std::string a = scratch->uniquePath("../../etc/passwd");
        std::string b = scratch->uniquePath("../../etc/passwd");
        EXPECT_NE(a, b);
        EXPECT_EQ(fs::path(a).parent_path(), fs::path(path));
        test::writeFile(a, "x");
        fs::create_directories(path + "/deeper/still");
        ScratchFolder moved = std::move(*scratch);
        EXPECT_EQ(moved.path(), path);
    }
    EXPECT_FALSE(fs::exists(path));
}

// A folder whose owner is still alive when the program ends (held by
// something that never let it go) does not outlive the program.
TEST(ScratchFolder, OneStillHeldAtExitIsRemovedAllTheSame) {
    const test::TempHome home;
    const std::string parent = home.path() + "/tmp";
    fs::create_directories(parent);
    EXPECT_EXIT(
        {
            setenv("TMPDIR", parent.c_str(), 1);
            auto* held = new ScratchFolder(std::move(*ScratchFolder::create("vessamo-held")));
            test::writeFile(held->path() + "/copy.sqlite", "plaintext");
            std::exit(fs::exists(held->path() + "/copy.sqlite") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::is_empty(parent)) << "left behind in " << parent;
}

}  // namespace
}  // namespace vessamo
