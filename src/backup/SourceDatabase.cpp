#include "backup/SourceDatabase.h"

#include <utility>

#include "common/SystemLog.h"

namespace vessamo {

namespace {

// Whether an SQLite result code says a file is damaged or no database at all.
bool isDamageCode(int sqliteCode) {
    const int primary = sqliteCode & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace

SourceDatabase::SourceDatabase(ScanState& state, const std::string& source)
    : source_(state.nameOf(source)) {
    StatusOr<std::string> copy = state.databaseCopy(source);
    if (!copy.ok()) {
        status_ = copy.status();
        return;
    }
    open(*copy);
}

SourceDatabase::SourceDatabase(const std::string& copy, std::string source)
    : source_(std::move(source)) {
    open(copy);
}

void SourceDatabase::open(const std::string& copy) {
    note(db_.open(copy, SqliteDatabase::Mode::ReadOnly));
}

bool SourceDatabase::prepare(SqliteStatement& query, std::string_view sql) {
    const int rc = query.prepare(db_, sql);
    note(rc);
    return rc == SQLITE_OK;
}

bool SourceDatabase::step(SqliteStatement& query) {
    const int rc = query.step();
    if (rc == SQLITE_ROW) {
        return true;
    }
    noteEnd(rc);
    return false;
}

void SourceDatabase::noteEnd(int sqliteCode) {
    note(sqliteCode);
    if (sqliteCode != SQLITE_DONE && status_.ok()) {
        // Not damage, yet the rows ended early (out of memory, an I/O error):
        // what was read stands, and the log says why there is no more.
        SystemLog::write(source_ + " read stopped early: " + db_.lastError());
    }
}

void SourceDatabase::note(int sqliteCode) {
    if (!status_.ok() || !isDamageCode(sqliteCode)) {
        return;
    }
    // A failed open leaves no connection to ask, only the code.
    const std::string words = db_.isOpen() ? db_.lastError() : sqlite3_errstr(sqliteCode);
    status_ = Status::corrupt(source_ + " is damaged: " + words);
}

}  // namespace vessamo
