#include "common/SqliteDatabase.h"

#include <utility>

namespace vessamo {

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

int SqliteDatabase::open(const std::string& path, Mode mode) {
    close();
    // A connection belongs to one thread at a time, so SQLite need not lock
    // around every call; that lock cost more than the rest of a large scan.
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
        case Mode::ReadOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
        case Mode::ReadWrite:
            flags |= SQLITE_OPEN_READWRITE;
            break;
        case Mode::Create:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
    }
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        close();
    }
    return rc;
}

void SqliteDatabase::close() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

int SqliteDatabase::execute(std::string_view sql) {
    if (db_ == nullptr) {
        return SQLITE_MISUSE;
    }
    std::string text(sql);
    return sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
}

std::string SqliteDatabase::lastError() const {
    return db_ != nullptr ? sqlite3_errmsg(db_) : "database not open";
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        finalize();
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

int SqliteStatement::prepare(const SqliteDatabase& db, std::string_view sql) {
    finalize();
    if (!db.isOpen()) {
        return SQLITE_MISUSE;
    }
    return sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &stmt_,
                              nullptr);
}

void SqliteStatement::finalize() {
    if (stmt_ != nullptr) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

int SqliteStatement::step() {
    return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_MISUSE;
}

int SqliteStatement::reset() {
    return stmt_ != nullptr ? sqlite3_reset(stmt_) : SQLITE_MISUSE;
}

int SqliteStatement::bind(int index, int64_t value) {
    return sqlite3_bind_int64(stmt_, index, value);
}

int SqliteStatement::bind(int index, double value) {
    return sqlite3_bind_double(stmt_, index, value);
}

int SqliteStatement::bind(int index, std::string_view text) {
    return sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
}

int SqliteStatement::bindBlob(int index, const void* data, size_t length) {
    return sqlite3_bind_blob64(stmt_, index, data, length, SQLITE_TRANSIENT);
}

int SqliteStatement::bindNull(int index) {
    return sqlite3_bind_null(stmt_, index);
}

int SqliteStatement::columnCount() const {
    return stmt_ != nullptr ? sqlite3_column_count(stmt_) : 0;
}

int SqliteStatement::columnType(int column) const {
    return sqlite3_column_type(stmt_, column);
}

int64_t SqliteStatement::columnInt64(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double SqliteStatement::columnDouble(int column) const {
    return sqlite3_column_double(stmt_, column);
}

std::optional<std::string> SqliteStatement::columnText(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    if (text == nullptr) {
        return std::nullopt;
    }
    int length = sqlite3_column_bytes(stmt_, column);
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

std::string SqliteStatement::columnBlob(int column) const {
    const void* blob = sqlite3_column_blob(stmt_, column);
    int length = sqlite3_column_bytes(stmt_, column);
    if (blob == nullptr || length <= 0) {
        return {};
    }
    return std::string(static_cast<const char*>(blob), static_cast<size_t>(length));
}

}  // namespace vessamo
