#pragma once

#include <string>
#include <string_view>

#include "backup/ScanState.h"
#include "common/SqliteDatabase.h"
#include "common/Status.h"

namespace vessamo {

// One database of a source as a scan stage reads it: through its private
// copy, never the file itself. The first time SQLite says the file is
// damaged (on opening, preparing or stepping) becomes the stage's status,
// "<source> is damaged: <SQLite's words>"; other failures, such as a table
// an older app version does not have, only mean no rows.
class SourceDatabase {
public:
    // Opens the scan's private copy of source.
    SourceDatabase(ScanState& state, const std::string& source);
    // Opens a copy the caller made itself; source names it in the status.
    SourceDatabase(const std::string& copy, std::string source);

    [[nodiscard]] const SqliteDatabase& db() const { return db_; }
    // The name statuses give the database.
    [[nodiscard]] const std::string& source() const { return source_; }

    // False, and the damage noted, when the statement does not prepare.
    [[nodiscard]] bool prepare(SqliteStatement& query, std::string_view sql);
    // True for a row; the end of the rows and failures are false, damage noted.
    [[nodiscard]] bool step(SqliteStatement& query);
    // Notes what a call on this database returned; damage only counts once.
    void note(int sqliteCode);
    // Notes how a statement's rows ended: SQLITE_DONE, damage, or an early
    // end of another kind, which the log explains.
    void noteEnd(int sqliteCode);

    // ok, the damage first seen, or why the copy could not be made.
    [[nodiscard]] const Status& status() const { return status_; }

private:
    void open(const std::string& copy);

    SqliteDatabase db_;
    std::string source_;
    Status status_;
};

}  // namespace vessamo
