#include "carving/DroppedTables.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "carving/CarvingPrimitives.h"
#include "carving/SerialRecord.h"
#include "common/SqliteDatabase.h"

namespace vessamo {

namespace {

constexpr size_t kSchemaColumns = 5;    // type, name, tbl_name, rootpage, sql
constexpr uint8_t kTableTypeText = 23;  // serial type of the five-byte text "table"

struct SchemaRow {
    std::string name;
    uint32_t rootPage = 0;
    std::string sql;
};

bool startsWithCreateTable(std::string_view sql) {
    constexpr std::string_view kCreate = "CREATE TABLE";
    return sql.size() > kCreate.size() &&
           std::equal(kCreate.begin(), kCreate.end(), sql.begin(), [](char a, char b) {
               return a == std::toupper(static_cast<unsigned char>(b));
           });
}

// A schema row of a table at `typesAt`: "table", its name twice, a page
// number and its CREATE TABLE text.
std::optional<SchemaRow> schemaRowAt(std::span<const uint8_t> bytes, size_t typesAt) {
    const auto record = parseSerialRecord(bytes, typesAt, kSchemaColumns, false, false);
    if (!record) {
        return std::nullopt;
    }
    const auto& f = record->fields;
    if (!f[0].isText() || !f[1].isText() || !f[2].isText() || !f[3].isInteger() || !f[4].isText() ||
        record->text(bytes, 0) != "table") {
        return std::nullopt;
    }
    SchemaRow row{std::string(record->text(bytes, 1)),
                  static_cast<uint32_t>(record->integer(bytes, 3)),
                  std::string(record->text(bytes, 4))};
    // One statement only: the text is handed to SQLite to read its columns.
    if (row.name.empty() || row.rootPage < 2 || !startsWithCreateTable(row.sql) ||
        row.sql.find(';') != std::string::npos) {
        return std::nullopt;
    }
    return row;
}

// Schema rows in the first page, live ones included. A freed row's first
// serial type ("table") may have been overwritten by the freeblock link and
// is then tried as what it must have been.
std::vector<SchemaRow> schemaRowsOfFirstPage(const CarvingFile& file) {
    std::vector<SchemaRow> rows;
    const uint32_t pageSize = readPageSize(&file);
    std::vector<uint8_t> page(pageSize);
    if (pageSize == 0 || file.size() < pageSize) {
        return rows;
    }
    file.readAt(0, page.data(), page.size());
    constexpr size_t kFileHeader = 100;
    for (size_t at = kFileHeader; at + kSchemaColumns < page.size(); ++at) {
        auto row = schemaRowAt(page, at);
        if (!row && page[at] != kTableTypeText) {
            const uint8_t kept = page[at];
            page[at] = kTableTypeText;
            row = schemaRowAt(page, at);
            page[at] = kept;
        }
        if (row) {
            rows.push_back(std::move(*row));
        }
    }
    return rows;
}

}  // namespace

std::vector<TableSchema> droppedTables(const CarvingFile& file,
                                       const std::vector<TableSchema>& live,
                                       const std::string& scratchDatabase) {
    std::map<std::string, uint32_t> roots;
    {
        SqliteDatabase scratch;
        if (scratch.open(scratchDatabase, SqliteDatabase::Mode::Create) != SQLITE_OK) {
            return {};
        }
        for (const SchemaRow& row : schemaRowsOfFirstPage(file)) {
            const bool isLive = std::any_of(
                live.begin(), live.end(), [&](const TableSchema& t) { return t.name == row.name; });
            if (!isLive && !roots.contains(row.name) && scratch.execute(row.sql) == SQLITE_OK) {
                roots.emplace(row.name, row.rootPage);
            }
        }
    }
    std::vector<TableSchema> tables = readTableSchemas(scratchDatabase);
    std::erase_if(tables, [&](const TableSchema& t) { return !roots.contains(t.name); });
    for (TableSchema& table : tables) {
        table.rootPage = roots.at(table.name);
    }
    return tables;
}

}  // namespace vessamo
