#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vessamo {

class SqliteStatement;

// One sqlite3 connection, closed when the object goes away.
class SqliteDatabase {
public:
    enum class Mode { ReadOnly, ReadWrite, Create };

    SqliteDatabase() = default;
    ~SqliteDatabase() { close(); }
    SqliteDatabase(SqliteDatabase&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Returns the sqlite result code; SQLITE_OK on success. Never creates a
    // file unless the mode is Create.
    [[nodiscard]] int open(const std::string& path, Mode mode);
    void close();
    [[nodiscard]] bool isOpen() const { return db_ != nullptr; }
    [[nodiscard]] sqlite3* handle() const { return db_; }

    // Runs one or more statements that return no rows of interest.
    [[nodiscard]] int execute(std::string_view sql);
    [[nodiscard]] std::string lastError() const;

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement, finalized when the object goes away.
class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement() { finalize(); }
    SqliteStatement(SqliteStatement&& other) noexcept : stmt_(other.stmt_) {
        other.stmt_ = nullptr;
    }
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    [[nodiscard]] int prepare(const SqliteDatabase& db, std::string_view sql);
    void finalize();
    [[nodiscard]] sqlite3_stmt* handle() const { return stmt_; }

    // SQLITE_ROW, SQLITE_DONE or an error code.
    [[nodiscard]] int step();
    [[nodiscard]] int reset();

    [[nodiscard]] int bind(int index, int64_t value);
    [[nodiscard]] int bind(int index, double value);
    [[nodiscard]] int bind(int index, std::string_view text);
    [[nodiscard]] int bindBlob(int index, const void* data, size_t length);
    [[nodiscard]] int bindNull(int index);

    [[nodiscard]] int columnCount() const;
    [[nodiscard]] int columnType(int column) const;
    [[nodiscard]] int64_t columnInt64(int column) const;
    [[nodiscard]] double columnDouble(int column) const;
    // The column's bytes as text; nullopt for NULL.
    [[nodiscard]] std::optional<std::string> columnText(int column) const;
    [[nodiscard]] std::string columnBlob(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace vessamo
