#include "common/DatabaseCopy.h"

#include <filesystem>

#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool copyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        SystemLog::write("Could not copy " + from + ": " + ec.message());
        return false;
    }
    // The copy must be writable for the checkpoint even if the source was not.
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    return true;
}

// Folds a database's write-ahead log into the database file; only ever
// called on a scratch copy.
bool commitDB(const std::string& databasePath) {
    SqliteDatabase db;
    if (db.open(databasePath, SqliteDatabase::Mode::ReadWrite) != SQLITE_OK) {
        return false;
    }
    if (db.execute("PRAGMA journal_mode=WAL;") != SQLITE_OK) {
        return false;
    }
    int logFrames = 0;
    int checkpointed = 0;
    int rc = sqlite3_wal_checkpoint_v2(db.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames,
                                       &checkpointed);
    if (rc != SQLITE_OK) {
        SystemLog::write("Failed to commit");
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> makeFoldedCopy(ScratchFolder& scratch, const std::string& source,
                                          const std::string& walSource) {
    if (!isRegularFile(source)) {
        return std::nullopt;
    }
    std::string copy = scratch.uniquePath(fs::path(source).filename().string());
    if (!copyFile(source, copy)) {
        return std::nullopt;
    }
    // The -shm index is deliberately not copied: SQLite rebuilds it from the
    // log, and a stale index taken from a backup could hide committed frames.
    std::string wal = walSource.empty() ? source + "-wal" : walSource;
    if (isRegularFile(wal) && !copyFile(wal, copy + "-wal")) {
        return std::nullopt;
    }
    commitDB(copy);  // a copy that cannot be folded is still read as it is
    return copy;
}

}  // namespace vessamo
