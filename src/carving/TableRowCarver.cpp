#include "carving/TableRowCarver.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "carving/CarvingPrimitives.h"
#include "carving/DroppedTables.h"
#include "carving/OverflowPayload.h"
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

// Hands each live row of a table to `take`, its values in column order.
void forEachLiveRow(const SqliteDatabase& db, const TableSchema& table,
                    const std::function<void(const std::vector<CarvedValue>&)>& take) {
    std::string quoted = "\"";
    for (const char c : table.name) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    quoted += '"';
    SqliteStatement select;
    if (select.prepare(db, "SELECT * FROM " + quoted) != SQLITE_OK) {
        return;  // a dropped table has no live rows
    }
    std::vector<CarvedValue> values;
    while (select.step() == SQLITE_ROW) {
        values.clear();
        for (int c = 0; c < select.columnCount(); ++c) {
            values.push_back(liveValue(select, c));
        }
        take(values);
    }
}

// The live rows of every table, by their values, to tell the stale copy
// of a live row (left behind where SQLite moved it from) from a deleted
// row. Tables of the same columns read each other's rows alike, so a copy
// carved under any of them is still that live row.
class LiveRows {
public:
    // Only tables of `columns` columns are read, when given: no other
    // table's rows can be mistaken for the rows carved.
    LiveRows(const SqliteDatabase& db, const std::vector<TableSchema>& tables,
             std::optional<size_t> columns) {
        for (const TableSchema& table : tables) {
            if (columns && table.columns.size() != *columns) {
                continue;
            }
            Table& live = tables_.emplace_back(Table{table.columns.size(), fromOf(table), {}});
            forEachLiveRow(db, table, [&](const std::vector<CarvedValue>& values) {
                live.rows.insert(hashOf(values, live.from));
            });
        }
    }

    [[nodiscard]] bool holds(const std::vector<CarvedValue>& values) const {
        return std::any_of(tables_.begin(), tables_.end(), [&](const Table& table) {
            return table.columns == values.size() &&
                   table.rows.contains(hashOf(values, table.from));
        });
    }

    // The row id alias is left out: a carved row has it only when its cell
    // header survived.
    static size_t fromOf(const TableSchema& table) { return table.rowidAlias ? 1 : 0; }

private:
    struct Table {
        size_t columns;
        size_t from;
        std::unordered_set<size_t> rows;  // hashes keep a large database's rows small
    };
    static size_t hashOf(const std::vector<CarvedValue>& values, size_t from) {
        return std::hash<std::string>{}(fingerprint(values, from));
    }
    std::vector<Table> tables_;
};

// The cells of a whole page image (a page on the free list, a frame of
// the log) as the image's own header lists them: a table page's rows as
// they were when the image was written. A record inside one of those
// cells is that cell's own record, starting where its record starts; one
// read from anywhere else in a cell is the middle of a row, and an index
// entry or a child pointer holds no row at all. Free list trunks and
// pages that are no b-tree page list no cells.
class ImageCells {
public:
    ImageCells(const CarvingFile& file, const CarvingFile* wal)
        : file_(file), wal_(wal), pageSize_(readPageSize(&file)), image_(pageSize_) {
        uint8_t reserved = 0;
        file.readAt(20, &reserved, 1);
        usable_ = pageSize_ > reserved ? pageSize_ - reserved : pageSize_;
    }

    // Whether the record may be a row of the image: clear of its cells, or
    // the very record of one.
    [[nodiscard]] bool admits(const FoundRecord& found) {
        if (found.place.origin != RecordOrigin::FreelistPage &&
            found.place.origin != RecordOrigin::WalFrame) {
            return true;
        }
        load(found.pageKey);
        const size_t at = found.record.headerStart;
        // Rows too long for their cell are read from the pages they run on
        // to, not from the image: nothing to compare.
        if (!readFromImage(found)) {
            return true;
        }
        const size_t end = found.record.end;
        return std::none_of(cells_.begin(), cells_.end(), [&](const Cell& cell) {
            return at < cell.end && cell.first < end && (at != cell.typesAt || end > cell.end);
        });
    }

private:
    struct Cell {
        size_t first;
        size_t end;
        size_t typesAt;  // column 0's serial type; 0 when the cell holds no record
    };

    void load(uint64_t pageKey) {
        constexpr uint64_t kFrameKey = uint64_t{1} << 48;  // the carver's key of log frames
        constexpr size_t kWalHeader = 32;
        constexpr size_t kFrameHeader = 24;
        if (loaded_ == pageKey) {
            return;
        }
        loaded_ = pageKey;
        cells_.clear();
        if (pageKey < kFrameKey) {
            file_.readAt(pageKey * pageSize_, image_.data(), image_.size());
        } else if (wal_ != nullptr) {
            wal_->readAt(
                kWalHeader + (pageKey - kFrameKey) * (kFrameHeader + pageSize_) + kFrameHeader,
                image_.data(), image_.size());
        } else {
            return;
        }
        readCells();
    }

    void readCells() {
        const size_t header = image_[0] == 'S' ? 100 : 0;  // page 1 starts with the file header
        const uint8_t flag = image_[header];
        const bool interior = flag == 0x05 || flag == 0x02;
        if (flag != 0x0d && flag != 0x05 && flag != 0x0a && flag != 0x02) {
            return;
        }
        const size_t pointers = header + (interior ? 12 : 8);
        const size_t count = static_cast<size_t>(image_[header + 3]) << 8 | image_[header + 4];
        for (size_t i = 0; i < count && pointers + 2 * i + 2 <= usable_; ++i) {
            const size_t first =
                static_cast<size_t>(image_[pointers + 2 * i]) << 8 | image_[pointers + 2 * i + 1];
            if (first >= pointers && first < usable_) {
                readCell(flag, first);
            }
        }
    }

    // One cell: a table leaf's row, whose record may be carved; a child
    // page and a row id, or an index entry, which hold no row.
    void readCell(uint8_t flag, size_t first) {
        const std::span<const uint8_t> page(image_.data(), usable_);
        if (flag == 0x05) {
            const auto rowid = readVarint(page, first + 4);
            cells_.push_back({first, first + 4 + (rowid ? rowid->length : 0), 0});
            return;
        }
        const size_t at = flag == 0x02 ? first + 4 : first;
        const auto payload = readVarint(page, at);
        if (!payload) {
            return;
        }
        if (flag != 0x0d) {
            const size_t local = indexLocalPayload(payload->value);
            const size_t end = at + payload->length + local + (local < payload->value ? 4 : 0);
            cells_.push_back({first, std::min(end, usable_), 0});
            return;
        }
        const auto rowid = readVarint(page, at + payload->length);
        const size_t record = at + payload->length + (rowid ? rowid->length : 0);
        const auto headerLength = rowid ? readVarint(page, record) : std::nullopt;
        if (headerLength) {
            const size_t local = localPayloadSize(payload->value, usable_);
            const size_t end = record + local + (local < payload->value ? 4 : 0);
            cells_.push_back({first, std::min(end, usable_), record + headerLength->length});
        }
    }

    // The part of an index entry SQLite keeps in its cell.
    [[nodiscard]] size_t indexLocalPayload(uint64_t payload) const {
        const size_t most = (usable_ - 12) * 64 / 255 - 23;
        const size_t least = (usable_ - 12) * 32 / 255 - 23;
        if (payload <= most) {
            return static_cast<size_t>(payload);
        }
        const size_t kept = least + static_cast<size_t>((payload - least) % (usable_ - 4));
        return kept <= most ? kept : least;
    }

    // Whether the record's bytes are the image's own bytes at its place
    // (the first serial type aside, which a rebuilt record guessed).
    [[nodiscard]] bool readFromImage(const FoundRecord& found) const {
        const size_t from = found.record.headerStart + 1;
        const size_t to = std::min(found.record.end, found.bytes.size());
        return to <= image_.size() && from <= to &&
               std::equal(found.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                          found.bytes.begin() + static_cast<std::ptrdiff_t>(to),
                          image_.begin() + static_cast<std::ptrdiff_t>(from));
    }

    const CarvingFile& file_;
    const CarvingFile* wal_;
    uint32_t pageSize_;
    size_t usable_ = 0;
    std::vector<uint8_t> image_;
    std::optional<uint64_t> loaded_;
    std::vector<Cell> cells_;
};

// A candidate found by one table's carve, before overlaps are settled.
struct Candidate {
    uint64_t pageKey;
    size_t first;
    size_t end;
    size_t columns;
    bool rowid;       // its cell header survived: it starts where a cell started
    size_t set;       // values that tell something
    bool live;        // a copy of a live row: it holds its bytes, but is not shown
    std::string key;  // the table and its values, to drop repeats
    CarvedRow row;

    // Among records that share bytes: a live row's copy, then the table of
    // more columns, then the one a surviving cell header vouches for, then
    // the fuller one.
    [[nodiscard]] auto weight() const { return std::tuple(live, columns, rowid, set); }
};

// A real as a program may have stored it. SQLite stores no NaN (it writes
// NULL instead); and the reals programs write (times, amounts, places,
// measures) are of everyday size, while the bytes of other values read as
// a real give one of any size at all, mostly far beyond it.
bool isStorableReal(double value) {
    constexpr double kLeast = 1e-100;
    constexpr double kMost = 1e100;
    const double size = std::fabs(value);
    return !std::isnan(value) &&
           (size == 0 || std::isinf(size) || (size >= kLeast && size <= kMost));
}

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
        if (field.isReal() && !isStorableReal(found.record.real(found.bytes, c))) {
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

// Whether `longer` holds everything a cut row kept: the same values up to
// its last one, a text `longer` starts with. What the cut row lost says
// nothing either way.
bool extendsCutRow(const std::vector<CarvedValue>& longer, const CarvedRow& cut, size_t from) {
    size_t last = cut.values.size();
    while (last > from && cut.values[last - 1].kind == CarvedValue::Kind::Null) {
        --last;
    }
    if (last == from || longer.size() != cut.values.size()) {
        return false;
    }
    for (size_t c = from; c + 1 < last; ++c) {
        if (fingerprint({cut.values[c]}, 0) != fingerprint({longer[c]}, 0)) {
            return false;
        }
    }
    const CarvedValue& tail = cut.values[last - 1];
    const CarvedValue& whole = longer[last - 1];
    return tail.kind == CarvedValue::Kind::Text && whole.kind == CarvedValue::Kind::Text &&
           whole.bytes.starts_with(tail.bytes);
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
            if (!candidate->live && seen.insert(candidate->key).second) {
                rows.push_back(candidate->row);
            }
        }
    }
    return rows;
}

// A row cut short by its free region is often the stale copy of a row
// that SQLite moved to another page: the whole row, live or carved
// elsewhere, holds everything the cut one kept. Such copies are dropped.
std::vector<CarvedRow> dropCutCopies(std::vector<CarvedRow> rows, const SqliteDatabase& db,
                                     const std::vector<TableSchema>& tables) {
    std::vector<bool> copy(rows.size(), false);
    for (const TableSchema& table : tables) {
        const size_t from = table.rowidAlias ? 1 : 0;
        std::vector<size_t> cut;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].cut && rows[i].table == table.name) {
                cut.push_back(i);
            }
        }
        const auto markCopies = [&](const std::vector<CarvedValue>& whole) {
            for (const size_t i : cut) {
                copy[i] = copy[i] || extendsCutRow(whole, rows[i], from);
            }
        };
        if (cut.empty()) {
            continue;
        }
        for (const CarvedRow& row : rows) {
            if (!row.cut && row.table == table.name) {
                markCopies(row.values);
            }
        }
        forEachLiveRow(db, table, markCopies);
    }
    std::vector<CarvedRow> kept;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!copy[i]) {
            kept.push_back(std::move(rows[i]));
        }
    }
    return kept;
}

// Offers every record of `table` in the file's free room as a candidate.
// False when stopped.
bool carveTable(const TableSchema& table, const CarvingFile& file, const CarvingFile* wal,
                const std::unordered_map<uint64_t, std::string>& owner, const LiveRows& live,
                std::vector<Candidate>& candidates, std::stop_token stop) {
    std::vector<Affinity> affinities;
    for (const std::string& type : table.types) {
        affinities.push_back(affinityOf(type));
    }
    ImageCells images(file, wal);
    SchemaCarver carver(table, std::move(stop));
    // Every parse is kept as a candidate; which of those that share bytes
    // is the row is settled once all are known.
    return carver.carve(file, wal, [&](const FoundRecord& found) {
        const auto owned = owner.find(found.pageKey);
        if ((owned != owner.end() && owned->second != table.name) || !images.admits(found)) {
            return false;
        }
        CarvedRow row;
        const size_t set = acceptRow(found, table, affinities, row);
        if (set == 0) {
            return false;
        }
        std::string key = table.name + '\n' + fingerprint(row.values, LiveRows::fromOf(table));
        candidates.push_back({found.pageKey, found.record.headerStart, found.record.end,
                              table.columns.size(), found.rowid.has_value(), set,
                              live.holds(row.values), std::move(key), std::move(row)});
        return false;
    });
}

// Which table's tree each page is in. A page of one table's tree holds no
// rows of another, however alike their columns; free pages and log frames
// may hold anyone's. Live tables come first and keep the pages they use now.
std::unordered_map<uint64_t, std::string> pageOwners(const CarvingFile& file,
                                                     const std::vector<TableSchema>& tables) {
    std::unordered_map<uint64_t, std::string> owner;
    for (const TableSchema& table : tables) {
        for (const uint64_t page : treePages(file, table.rootPage)) {
            owner.emplace(page, table.name);
        }
    }
    return owner;
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
    // The copy is made through the folder the file lies in, which must be
    // named in full: a name relative to the working folder has none.
    std::error_code error;
    const std::string source = std::filesystem::absolute(database, error).string();
    const auto copy = error
                          ? std::nullopt
                          : makeFoldedCopy(*scratch, source, wal ? source + "-wal" : std::string());
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
    const std::unordered_map<uint64_t, std::string> owner = pageOwners(*file, tables);
    std::optional<size_t> columns;
    if (onlyTable) {
        const auto only = std::find_if(tables.begin(), tables.end(),
                                       [&](const TableSchema& t) { return t.name == *onlyTable; });
        if (only == tables.end()) {
            return Status::notFound(database + " has no table named " + *onlyTable);
        }
        columns = only->columns.size();
    }
    const LiveRows live(db, tables, columns);
    std::vector<Candidate> candidates;
    for (const TableSchema& table : tables) {
        if ((!onlyTable || table.name == *onlyTable) &&
            !carveTable(table, *file, wal.get(), owner, live, candidates, stop)) {
            return Status::cancelled("carving stopped");
        }
    }
    return dropCutCopies(settleOverlaps(std::move(candidates)), db, tables);
}

}  // namespace vessamo
