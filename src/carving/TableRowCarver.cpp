#include "carving/TableRowCarver.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "carving/CarvingPrimitives.h"
#include "carving/DroppedTables.h"
#include "common/DatabaseCopy.h"
#include "common/ScratchFolder.h"
#include "common/SqliteDatabase.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

enum class Affinity { Integer, Text, Blob, Real, Numeric };

// SQLite's rules for a column's affinity from its declared type.
Affinity affinityOf(std::string type) {
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (type.find("INT") != std::string::npos) {
        return Affinity::Integer;
    }
    if (type.find("CHAR") != std::string::npos || type.find("CLOB") != std::string::npos ||
        type.find("TEXT") != std::string::npos) {
        return Affinity::Text;
    }
    if (type.empty() || type.find("BLOB") != std::string::npos) {
        return Affinity::Blob;
    }
    if (type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
        type.find("DOUB") != std::string::npos) {
        return Affinity::Real;
    }
    return Affinity::Numeric;
}

bool fitsAffinity(const SerialField& field, Affinity affinity) {
    if (field.isNull()) {
        return true;
    }
    switch (affinity) {
        case Affinity::Integer:
        case Affinity::Real:
            return field.isInteger() || field.isReal();
        case Affinity::Text:
            return field.isText();
        case Affinity::Numeric:
            return !field.isBlob();
        case Affinity::Blob:
            return true;
    }
    return true;
}

CarvedValue valueOf(std::span<const uint8_t> bytes, const SerialRecord& record, size_t column) {
    const SerialField& field = record.fields[column];
    CarvedValue value;
    if (field.isInteger()) {
        value.kind = CarvedValue::Kind::Integer;
        value.integer = record.integer(bytes, column);
    } else if (field.isReal()) {
        value.kind = CarvedValue::Kind::Real;
        value.real = record.real(bytes, column);
    } else if (field.isText() || field.isBlob()) {
        value.kind = field.isText() ? CarvedValue::Kind::Text : CarvedValue::Kind::Blob;
        value.bytes = std::string(record.text(bytes, column));
    }
    return value;
}

// Values as one string, to compare rows whatever their origin.
std::string fingerprint(const std::vector<CarvedValue>& values, size_t from) {
    std::string key;
    for (size_t i = from; i < values.size(); ++i) {
        const CarvedValue& v = values[i];
        key += static_cast<char>('0' + static_cast<int>(v.kind));
        if (v.kind == CarvedValue::Kind::Integer) {
            key += std::to_string(v.integer);
        } else if (v.kind == CarvedValue::Kind::Real) {
            key += std::to_string(v.real);
        } else {
            key += std::to_string(v.bytes.size()) + ':' + v.bytes;
        }
        key += '|';
    }
    return key;
}

CarvedValue liveValue(const SqliteStatement& row, int column) {
    CarvedValue value;
    switch (row.columnType(column)) {
        case SQLITE_INTEGER:
            value.kind = CarvedValue::Kind::Integer;
            value.integer = row.columnInt64(column);
            break;
        case SQLITE_FLOAT:
            value.kind = CarvedValue::Kind::Real;
            value.real = row.columnDouble(column);
            break;
        case SQLITE_TEXT:
            value.kind = CarvedValue::Kind::Text;
            value.bytes = row.columnText(column).value_or("");
            break;
        case SQLITE_BLOB:
            value.kind = CarvedValue::Kind::Blob;
            value.bytes = row.columnBlob(column);
            break;
        default:
            break;
    }
    return value;
}

// The live rows of a table, by their values (the row id left out).
std::unordered_set<std::string> liveRowsOf(const SqliteDatabase& db, const TableSchema& table) {
    std::unordered_set<std::string> rows;
    std::string quoted = "\"";
    for (const char c : table.name) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    quoted += '"';
    SqliteStatement select;
    if (select.prepare(db, "SELECT * FROM " + quoted) != SQLITE_OK) {
        return rows;
    }
    const size_t from = table.rowidAlias ? 1 : 0;
    while (select.step() == SQLITE_ROW) {
        std::vector<CarvedValue> values;
        for (int c = 0; c < select.columnCount(); ++c) {
            values.push_back(liveValue(select, c));
        }
        rows.insert(fingerprint(values, from));
    }
    return rows;
}

// A candidate found by one table's carve, before overlaps are settled.
struct Candidate {
    uint64_t pageKey;
    size_t first;
    size_t end;
    size_t columns;
    bool rowid;       // its cell header survived: it starts where a cell started
    size_t set;       // values that tell something
    std::string key;  // the table and its values, to drop repeats
    CarvedRow row;

    // Among records that share bytes: the table of more columns, then the
    // one a surviving cell header vouches for, then the fuller one.
    [[nodiscard]] auto weight() const { return std::tuple(columns, rowid, set); }
};

// Text as people and programs write it: valid UTF-8 without control
// bytes other than line breaks and tabs. Runs of zeros parse as records of
// empty texts; they are not rows.
bool isWrittenText(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) {
                            const auto byte = static_cast<unsigned char>(c);
                            return (byte < 0x20 && c != '\n' && c != '\r' && c != '\t') ||
                                   byte == 0x7f;
                        }) &&
           isValidUtf8(text);
}

// Whether a value tells anything: zero runs read as zeros, empty texts and
// zero-filled blobs, which every free page is full of.
bool carriesSomething(std::span<const uint8_t> bytes, const SerialRecord& record, size_t column) {
    const SerialField& field = record.fields[column];
    if (field.isNull()) {
        return false;
    }
    if (field.type == 8 || field.type == 9) {
        return field.type == 9;
    }
    const auto content = bytes.subspan(field.offset, field.length);
    return std::any_of(content.begin(), content.end(), [](uint8_t b) { return b != 0; });
}

// The values that tell something, or 0 when the record is no row of the table.
size_t acceptRow(const FoundRecord& found, const TableSchema& table,
                 const std::vector<Affinity>& affinities, CarvedRow& row) {
    constexpr size_t kLeastSetValues = 2;
    size_t set = 0;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const SerialField& field = found.record.fields[c];
        if (!fitsAffinity(field, affinities[c]) ||
            (field.isNull() && table.notNull[c] && !(c == 0 && table.rowidAlias))) {
            return 0;
        }
        if (field.isText() && !isWrittenText(found.record.text(found.bytes, c))) {
            return 0;
        }
        set +=
            carriesSomething(found.bytes, found.record, c) && !(c == 0 && table.rowidAlias) ? 1 : 0;
    }
    if (set < kLeastSetValues) {
        return 0;
    }
    row.table = table.name;
    row.place = found.place;
    row.cut = found.record.cut;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        row.values.push_back(valueOf(found.bytes, found.record, c));
    }
    if (table.rowidAlias && found.rowid) {
        row.values[0].kind = CarvedValue::Kind::Integer;
        row.values[0].integer = *found.rowid;
    }
    return set;
}

// Keeps, among records that share bytes, the one of more columns.
std::vector<CarvedRow> settleOverlaps(std::vector<Candidate> candidates) {
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.weight() > b.weight(); });
    std::map<uint64_t, std::vector<const Candidate*>> keptByPage;
    for (const Candidate& candidate : candidates) {
        std::vector<const Candidate*>& kept = keptByPage[candidate.pageKey];
        const bool overlaps = std::any_of(kept.begin(), kept.end(), [&](const Candidate* k) {
            return k->first < candidate.end && candidate.first < k->end;
        });
        if (!overlaps) {
            kept.push_back(&candidate);
        }
    }
    std::vector<CarvedRow> rows;
    std::unordered_set<std::string_view> seen;  // the same row in two places is one row
    for (auto& [page, kept] : keptByPage) {
        std::sort(kept.begin(), kept.end(),
                  [](const Candidate* a, const Candidate* b) { return a->first < b->first; });
        for (const Candidate* candidate : kept) {
            if (seen.insert(candidate->key).second) {
                rows.push_back(candidate->row);
            }
        }
    }
    return rows;
}

}  // namespace

StatusOr<std::vector<CarvedRow>> carveTableRows(const std::string& database,
                                                const std::optional<std::string>& onlyTable,
                                                std::stop_token stop) {
    const std::unique_ptr<CarvingFile> file = CarvingFile::open(database);
    if (!file) {
        return Status::notFound(database + " is not a regular file that can be read");
    }
    if (readPageSize(file.get()) == 0) {
        return Status::corrupt(database + " is not an SQLite database");
    }
    const std::unique_ptr<CarvingFile> wal = CarvingFile::open(database + "-wal");
    auto scratch = ScratchFolder::create("vessamo-carve");
    if (!scratch) {
        return Status::ioError("cannot create a private folder for the database copy");
    }
    const auto copy = makeFoldedCopy(*scratch, database, wal ? database + "-wal" : std::string());
    if (!copy) {
        return Status::ioError("cannot copy " + database);
    }
    SqliteDatabase db;
    if (db.open(*copy, SqliteDatabase::Mode::ReadOnly) != SQLITE_OK) {
        return Status::corrupt(database + " cannot be opened as a database");
    }
    std::vector<TableSchema> tables = readTableSchemas(*copy);
    // A dropped table's pages went to the free list with its rows still on
    // them; its old tree, where not reused, says which pages were its own.
    for (TableSchema& dropped : droppedTables(*file, tables, scratch->uniquePath("dropped.db"))) {
        tables.push_back(std::move(dropped));
    }
    // A page of one table's tree holds no rows of another, however alike
    // their columns; free pages and log frames may hold anyone's. Live
    // tables come first and keep the pages they use now.
    std::unordered_map<uint64_t, std::string> owner;
    for (const TableSchema& table : tables) {
        for (const uint64_t page : treePages(*file, table.rootPage)) {
            owner.emplace(page, table.name);
        }
    }
    std::vector<Candidate> candidates;
    for (const TableSchema& table : tables) {
        if (onlyTable && table.name != *onlyTable) {
            continue;
        }
        std::vector<Affinity> affinities;
        for (const std::string& type : table.types) {
            affinities.push_back(affinityOf(type));
        }
        const std::unordered_set<std::string> live = liveRowsOf(db, table);
        SchemaCarver carver(table, stop);
        // Every parse is kept as a candidate; which of those that share
        // bytes is the row is settled once all are known.
        const bool finished = carver.carve(*file, wal.get(), [&](const FoundRecord& found) {
            const auto owned = owner.find(found.pageKey);
            if (owned != owner.end() && owned->second != table.name) {
                return false;
            }
            CarvedRow row;
            const size_t set = acceptRow(found, table, affinities, row);
            if (set == 0) {
                return false;
            }
            std::string key = fingerprint(row.values, table.rowidAlias ? 1 : 0);
            if (!live.contains(key)) {
                key.insert(0, table.name + '\n');
                candidates.push_back({found.pageKey, found.record.headerStart, found.record.end,
                                      table.columns.size(), found.rowid.has_value(), set,
                                      std::move(key), std::move(row)});
            }
            return false;
        });
        if (!finished) {
            return Status::cancelled("carving stopped");
        }
    }
    return settleOverlaps(std::move(candidates));
}

}  // namespace vessamo
