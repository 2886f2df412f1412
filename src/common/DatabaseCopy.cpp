#include "common/DatabaseCopy.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/ConfinedFiles.h"
#include "common/Files.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

// The source is read inside its folder, never through a link; the copy is
// the scan's own, streamed a buffer at a time.
bool copyFile(const PathWithin& from, const std::string& to) {
    const StatusOr<UniqueFd> in = openSourceFile(from);
    struct stat info {};
    if (!in.ok() || ::fstat(in->get(), &info) != 0) {
        SystemLog::write("Could not copy " + from.path + ": " +
                         (in.ok() ? std::string(std::strerror(errno)) : in.status().message()));
        return false;
    }
    std::vector<char> buffer(1024 * 1024);
    AtomicFileWriter out(to, WriteMode::replace, Flush::none);
    out.appendFrom(in->get(), static_cast<uint64_t>(info.st_size), buffer);
    if (const Status written = out.commit(); !written.ok()) {
        SystemLog::write("Could not copy " + from.path + ": " + written.message());
        return false;
    }
    // The copy must be writable for the checkpoint even if the source was not.
    ::chmod(to.c_str(), 0600);
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
    return makeFoldedCopy(scratch, PathWithin{{}, source}, walSource);
}

std::optional<std::string> makeFoldedCopy(ScratchFolder& scratch, const PathWithin& source,
                                          const std::string& walSource) {
    if (!isSourceFile(source)) {
        return std::nullopt;
    }
    std::string copy = scratch.uniquePath(fs::path(source.path).filename().string());
    if (!copyFile(source, copy)) {
        return std::nullopt;
    }
    // The -shm index is deliberately not copied: SQLite rebuilds it from the
    // log, and a stale index taken from a backup could hide committed frames.
    const PathWithin wal{source.root, walSource.empty() ? source.path + "-wal" : walSource};
    if (isSourceFile(wal) && !copyFile(wal, copy + "-wal")) {
        return std::nullopt;
    }
    commitDB(copy);  // a copy that cannot be folded is still read as it is
    return copy;
}

}  // namespace vessamo
