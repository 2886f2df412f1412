#include "carving/SchemaCarver.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "carving/CarvingPrimitives.h"
#include "carving/OverflowPayload.h"
#include "common/SqliteDatabase.h"

namespace vessamo {

namespace {

constexpr size_t kWalHeader = 32;
constexpr size_t kFrameHeader = 24;
constexpr uint32_t kWalMagic = 0x377f0682;  // and 0x377f0683: the checksum byte order

uint32_t bigEndian(std::span<const uint8_t> bytes, size_t at, size_t size) {
    uint32_t value = 0;
    for (size_t i = 0; i < size && at + i < bytes.size(); ++i) {
        value = (value << 8) | bytes[at + i];
    }
    return value;
}

// A free region of a page: where records may lie and what to call them.
struct Region {
    size_t first;
    size_t end;
    RecordOrigin origin;
};

// The free room of a page in use: the gap between its cell pointers and
// its cells, and its freeblocks.
std::vector<Region> freeRegions(std::span<const uint8_t> page, size_t usable) {
    std::vector<Region> regions;
    const uint8_t flag = page[0];
    if (flag != 0x0d && flag != 0x05) {
        return regions;  // index and overflow pages hold no table rows
    }
    const size_t header = flag == 0x0d ? 8 : 12;
    const size_t cells = bigEndian(page, 3, 2);
    size_t content = bigEndian(page, 5, 2);
    content = content == 0 ? 65536 : content;
    const size_t gapStart = header + 2 * cells;
    const RecordOrigin gapOrigin =
        flag == 0x05 ? RecordOrigin::InteriorPage : RecordOrigin::Unallocated;
    if (gapStart < content && content <= usable) {
        regions.push_back({gapStart, content, gapOrigin});
    }
    const PageCells cellMap(page, usable);
    for (const auto& [first, last] : cellMap.freeblocks()) {
        regions.push_back({first, std::min(last, usable),
                           flag == 0x05 ? RecordOrigin::InteriorPage : RecordOrigin::Freeblock});
    }
    return regions;
}

// The row id in front of a record whose cell header survived: payload
// length, row id and header length, each a varint, the payload length
// agreeing with the record found. nullopt when they do not agree.
std::optional<int64_t> rowidBefore(std::span<const uint8_t> bytes, size_t regionStart,
                                   size_t typesAt, const SerialRecord& record) {
    const size_t header = record.fields.empty() ? 0 : record.fields.front().offset - typesAt + 1;
    if (typesAt < 3 || header >= 128 || bytes[typesAt - 1] != header) {
        return std::nullopt;
    }
    // Walk back over a varint ending at `last`: its last byte is below
    // 0x80, the ones before it 0x80 or more.
    const auto varintStart = [&](size_t last) -> std::optional<size_t> {
        if (bytes[last] >= 0x80) {
            return std::nullopt;
        }
        size_t first = last;
        while (first > 0 && last - first < 8 && bytes[first - 1] >= 0x80) {
            --first;
        }
        return first;
    };
    const auto rowidAt = varintStart(typesAt - 2);
    if (!rowidAt || *rowidAt <= regionStart) {
        return std::nullopt;
    }
    // All of the cell header must lie in the free region: in front of it
    // are cell pointers or live cells, whose bytes say nothing of this one.
    auto payloadAt = varintStart(*rowidAt - 1);
    if (payloadAt && *payloadAt < regionStart) {
        payloadAt = std::nullopt;
    }
    const auto rowid = readVarint(bytes, *rowidAt);
    const auto payload = payloadAt ? readVarint(bytes, *payloadAt) : std::nullopt;
    if (!rowid || !payload || payload->value != record.end - (typesAt - 1)) {
        return std::nullopt;
    }
    return static_cast<int64_t>(rowid->value);
}

// The payload size a record's serial types declare: its header (a one-byte
// length, then the types) and its content. nullopt when they are no types.
std::optional<uint64_t> declaredPayload(std::span<const uint8_t> bytes, size_t typesAt,
                                        size_t columns, bool column0IsRowid) {
    uint64_t content = 0;
    size_t at = typesAt;
    for (size_t column = 0; column < columns; ++column) {
        const auto type = readVarint(bytes, at);
        const auto length = type ? serialContentLength(type->value) : std::nullopt;
        if (!length) {
            return std::nullopt;
        }
        content += column == 0 && column0IsRowid ? 0 : *length;
        at += type->length;
    }
    return 1 + (at - typesAt) + content;
}

// Each cell freed on its own got a link at its start, kept when later
// frees merged it into a bigger freeblock: the next freeblock (beyond it,
// or 0) and a size reaching no further than the region. A small row's link
// took its header length and column 0's type, so the type at typesAt
// follows such a link.
bool behindFreedCellLink(std::span<const uint8_t> region, size_t first, size_t typesAt,
                         size_t columns) {
    constexpr size_t kLinkBeforeType = 3;
    if (typesAt < first + kLinkBeforeType) {
        return false;
    }
    const size_t cell = typesAt - kLinkBeforeType;
    const size_t next = bigEndian(region, cell, 2);
    const size_t size = bigEndian(region, cell + 2, 2);
    return size >= kLinkBeforeType + 1 + columns && cell + size <= region.size() &&
           (next == 0 || next >= cell + size);
}

}  // namespace

std::string placeName(const RecordPlace& place) {
    std::string name(originName(place.origin));
    if (place.origin == RecordOrigin::WalFrame) {
        name += " frame " + std::to_string(place.walFrame);
    }
    return name;
}

std::vector<uint64_t> treePages(const CarvingFile& file, uint32_t rootPage) {
    std::vector<uint64_t> pages;
    const uint32_t pageSize = readPageSize(&file);
    const uint64_t count = pageCount(file.size(), pageSize);
    std::unordered_set<uint64_t> seen;
    std::vector<uint64_t> pending = {rootPage};
    std::vector<uint8_t> page(pageSize);
    while (!pending.empty() && seen.size() < count) {
        const uint64_t number = pending.back();
        pending.pop_back();
        if (number < 1 || number > count || !seen.insert(number).second) {
            continue;
        }
        pages.push_back(number - 1);
        file.readAt((number - 1) * pageSize, page.data(), page.size());
        const size_t header = number == 1 ? 100 : 0;  // page 1 starts with the file header
        if (page[header] != 0x05) {
            continue;
        }
        const size_t cells = bigEndian(page, header + 3, 2);
        for (size_t i = 0; i < cells && header + 12 + 2 * i + 2 <= pageSize; ++i) {
            pending.push_back(bigEndian(page, bigEndian(page, header + 12 + 2 * i, 2), 4));
        }
        pending.push_back(bigEndian(page, header + 8, 4));
    }
    return pages;
}

std::vector<TableSchema> readTableSchemas(const std::string& databaseCopy) {
    std::vector<TableSchema> tables;
    SqliteDatabase db;
    if (db.open(databaseCopy, SqliteDatabase::Mode::ReadOnly) != SQLITE_OK) {
        return tables;
    }
    SqliteStatement names;
    if (names.prepare(
            db,
            "SELECT name, rootpage FROM sqlite_master WHERE type = 'table' AND sql NOT LIKE "
            "'CREATE VIRTUAL%' ORDER BY rootpage") != SQLITE_OK) {
        return tables;
    }
    while (names.step() == SQLITE_ROW) {
        TableSchema table;
        table.name = names.columnText(0).value_or("");
        table.rootPage = static_cast<uint32_t>(names.columnInt64(1));
        SqliteStatement columns;
        if (columns.prepare(db, "SELECT name, type, pk, \"notnull\" FROM pragma_table_info(?)") !=
                SQLITE_OK ||
            columns.bind(1, std::string_view(table.name)) != SQLITE_OK) {
            continue;
        }
        int primaryKeys = 0;
        bool firstIsIntegerKey = false;
        while (columns.step() == SQLITE_ROW) {
            primaryKeys += columns.columnInt64(2) > 0 ? 1 : 0;
            if (table.columns.empty()) {
                const std::string type = columns.columnText(1).value_or("");
                firstIsIntegerKey = columns.columnInt64(2) == 1 && (type == "INTEGER");
            }
            table.columns.push_back(columns.columnText(0).value_or(""));
            table.types.push_back(columns.columnText(1).value_or(""));
            table.notNull.push_back(columns.columnInt64(3) != 0);
        }
        table.rowidAlias = firstIsIntegerKey && primaryKeys == 1;
        if (!table.columns.empty()) {
            tables.push_back(std::move(table));
        }
    }
    return tables;
}

SchemaCarver::SchemaCarver(const TableSchema& table, std::stop_token stop)
    : columns_(table.columns.size()), rowidAlias_(table.rowidAlias), stop_(std::move(stop)) {}

namespace {

// Where freed cells begin inside one freeblock. When neighbouring cells
// are freed SQLite merges them into one freeblock, but each cell freed on
// its own first keeps the link written at its start then: a next offset
// beyond it (or 0) and its own size, which ends inside the freeblock.
std::vector<size_t> freedCellStarts(std::span<const uint8_t> page, size_t first, size_t end,
                                    size_t leastSize) {
    std::vector<size_t> starts = {first};
    for (size_t at = first + leastSize; at + leastSize <= end; ++at) {
        const size_t next = bigEndian(page, at, 2);
        const size_t size = bigEndian(page, at + 2, 2);
        if (size >= leastSize && at + size <= end && (next == 0 || next >= at + size)) {
            starts.push_back(at);
        }
    }
    return starts;
}

// Where cells of a merged freeblock end: the freeblock's end, the freed
// cells' starts, and the starts of cells freed whole (never a link's
// place), whose intact header says they run up to one of those. Walked
// from the end, so a run of intact cells is followed back to its first.
std::vector<bool> cellBoundaries(std::span<const uint8_t> page, size_t first, size_t end,
                                 const std::vector<size_t>& starts) {
    std::vector<bool> boundary(end + 1, false);
    boundary[end] = true;
    for (const size_t start : starts) {
        boundary[start] = true;
    }
    for (size_t at = end; at-- > first;) {
        const auto payload = readVarint(page.first(end), at);
        const auto rowid =
            payload ? readVarint(page.first(end), at + payload->length) : std::nullopt;
        if (!rowid) {
            continue;
        }
        const size_t cellEnd = at + payload->length + rowid->length + payload->value;
        if (payload->value > 0 && cellEnd <= end && boundary[cellEnd]) {
            boundary[at] = true;
        }
    }
    return boundary;
}

}  // namespace

// A freed cell of a small row (one-byte payload length and row id) lost
// its header length and column 0's serial type to the freeblock link. The
// other types survive, and the link's size, or the start of the next cell
// of the same freeblock, says where the record ended, so column 0's
// type is the one that makes the record end exactly there.
void SchemaCarver::rebuildFreeblockStart(std::span<const uint8_t> page, size_t first, size_t end,
                                         RecordPlace place, const Check& check) {
    constexpr size_t kLostType = 3;  // link (4 bytes) = payload, row id, header length, type 0
    if (rowidAlias_ || columns_ < 2 || first + kLostType + columns_ > end) {
        return;
    }
    const std::vector<size_t> starts = freedCellStarts(page, first, end, kLostType + columns_);
    const std::vector<bool> boundary = cellBoundaries(page, first, end, starts);
    std::vector<uint8_t> copy(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(end));
    for (const size_t at : starts) {
        // Bytes of a row may read as a cell ending on a boundary too, so the
        // nearest few boundaries are tried, then the link's own size.
        constexpr size_t kTried = 8;
        std::vector<size_t> ends;
        for (size_t next = at + kLostType + columns_; next <= end && ends.size() < kTried; ++next) {
            if (boundary[next]) {
                ends.push_back(next);
            }
        }
        ends.push_back(std::min(end, at + bigEndian(page, at + 2, 2)));
        rebuildCell(copy, at + kLostType, ends, place, check);
        copy[at + kLostType] = page[at + kLostType];
    }
}

// Tries each serial type for the lost byte at `lost`, keeping the first
// record that ends at one of the wanted ends, in their order.
void SchemaCarver::rebuildCell(std::vector<uint8_t>& copy, size_t lost,
                               const std::vector<size_t>& ends, RecordPlace place,
                               const Check& check) {
    const size_t furthest = *std::max_element(ends.begin(), ends.end());
    const size_t textLength = furthest > lost ? furthest - lost : 0;
    std::vector<uint64_t> guesses = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (size_t length = 0; length < textLength && 13 + 2 * length < 0x80; ++length) {
        guesses.push_back(13 + 2 * length);
    }
    for (const size_t end : ends) {
        for (const uint64_t guess : guesses) {
            copy[lost] = static_cast<uint8_t>(guess);
            const auto record =
                parseSerialRecord(std::span(copy).first(end), lost, columns_, false, false);
            if (record && record->end == end) {
                check(FoundRecord{std::span(copy).first(end), *record, place, std::nullopt,
                                  pageKey_});
                return;
            }
        }
    }
}

// A row too long for its cell keeps its first part there, followed by the
// number of the first overflow page; the rest is read from that chain.
// Returns where the cell ended when the whole row was found and kept, else 0.
size_t SchemaCarver::carveOverflowing(std::span<const uint8_t> region, size_t first, size_t typesAt,
                                      RecordPlace place, const Check& check) {
    constexpr size_t kLink = 4;
    if (!overflow_ || typesAt == 0) {
        return 0;
    }
    const auto payload = declaredPayload(region, typesAt, columns_, rowidAlias_);
    const size_t payloadStart = typesAt - 1;
    if (!payload || *payload <= usable_ - 35) {
        return 0;
    }
    const size_t local = localPayloadSize(*payload, usable_);
    if (payloadStart + local + kLink > region.size()) {
        return 0;
    }
    const size_t linkAt = payloadStart + local;
    const uint32_t firstPage = bigEndian(region, linkAt, kLink);
    const auto bytes = overflow_->payload(region.subspan(payloadStart, local), firstPage, *payload);
    if (!bytes) {
        return 0;
    }
    const auto record = parseSerialRecord(*bytes, 1, columns_, rowidAlias_, false);
    if (!record || record->end != bytes->size()) {
        return 0;
    }
    // The cell header in front is checked against the record where it lay.
    SerialRecord inPlace = *record;
    for (SerialField& field : inPlace.fields) {
        field.offset += payloadStart;
    }
    inPlace.end += payloadStart;
    const FoundRecord found{*bytes, *record, place, rowidBefore(region, first, typesAt, inPlace),
                            pageKey_};
    return check(found) ? linkAt + kLink : 0;
}

void SchemaCarver::carveRegion(std::span<const uint8_t> page, size_t first, size_t end,
                               RecordPlace place, const Check& check) {
    const std::span<const uint8_t> region = page.first(end);
    scanned_ += end > first ? end - first : 0;
    // The gap of a page whose last cells were deleted holds the cells freed
    // before, with their links: SQLite resets an emptied page's header only.
    if (place.origin == RecordOrigin::Freeblock || place.origin == RecordOrigin::Unallocated) {
        rebuildFreeblockStart(page, first, end, place, check);
    }
    // typesAt is column 0's serial type. An INTEGER PRIMARY KEY stores NULL
    // there, unless the freeblock link overwrote that byte.
    for (size_t typesAt = first; typesAt + columns_ <= end; ++typesAt) {
        if (rowidAlias_ && region[typesAt] != 0 &&
            !(place.origin == RecordOrigin::Freeblock && typesAt < first + 4) &&
            !behindFreedCellLink(region, first, typesAt, columns_)) {
            continue;
        }
        // A row too long for one page cannot be read in place: its parse
        // fails, runs off the region, or takes more than a cell may hold.
        const bool parsed =
            parseSerialRecordInto(record_, region, typesAt, columns_, rowidAlias_, true);
        if (!parsed || record_.cut || record_.end - typesAt + 1 > usable_ - 35) {
            if (const size_t cellEnd = carveOverflowing(region, first, typesAt, place, check)) {
                typesAt = cellEnd - 1;
                continue;
            }
        }
        if (!parsed) {
            continue;
        }
        const FoundRecord found{region, record_, place,
                                rowidBefore(region, first, typesAt, record_), pageKey_};
        if (check(found) && record_.end > typesAt) {
            typesAt = record_.end - 1;  // what was kept is not offered again
        }
    }
}

bool SchemaCarver::carvePage(std::span<const uint8_t> page, size_t usable, bool whole,
                             RecordPlace place, const Check& check) {
    if (stop_.stop_requested()) {
        return false;
    }
    if (whole) {
        // A freed page keeps the links of its freed cells, and their sizes,
        // even when it became a trunk of the free list and lost its header.
        rebuildFreeblockStart(page, 8, usable, place, check);
        carveRegion(page, page[0] == 0x0d ? 8 : 0, usable, place, check);
        return true;
    }
    for (const Region& region : freeRegions(page, usable)) {
        carveRegion(page, region.first, region.end, {region.origin, place.walFrame}, check);
    }
    return true;
}

bool SchemaCarver::carve(const CarvingFile& database, const CarvingFile* wal, const Check& check) {
    scanned_ = 0;
    const uint32_t pageSize = readPageSize(&database);
    const uint64_t pages = pageCount(database.size(), pageSize);
    if (pages == 0 || columns_ == 0) {
        return true;
    }
    uint8_t reserved = 0;
    database.readAt(20, &reserved, 1);
    const size_t usable = pageSize > reserved ? pageSize - reserved : pageSize;
    usable_ = usable;
    overflow_.emplace(database, pageSize, usable);
    const std::unordered_set<uint64_t> freelist = freelistPages(database, pageSize, pages);
    std::vector<uint8_t> page(pageSize);
    for (uint64_t index = 1; index < pages; ++index) {
        if (wanted_ && !wanted_(index)) {
            continue;
        }
        database.readAt(index * pageSize, page.data(), page.size());
        pageKey_ = index;
        if (!carvePage(page, usable, freelist.contains(index), {RecordOrigin::FreelistPage, 0},
                       check)) {
            return false;
        }
    }
    if (wal == nullptr || wal->size() < kWalHeader) {
        return true;
    }
    std::array<uint8_t, kWalHeader> header{};
    wal->readAt(0, header.data(), header.size());
    if ((bigEndian(header, 0, 4) & ~1u) != kWalMagic || bigEndian(header, 8, 4) != pageSize) {
        return true;  // no log of this database
    }
    // Every frame, the ones a checkpoint already copied back included: the
    // log is reused from its start, and older frames keep older page images.
    const uint64_t frames = (wal->size() - kWalHeader) / (kFrameHeader + pageSize);
    for (uint64_t frame = 0; frame < frames; ++frame) {
        const uint64_t at = kWalHeader + frame * (kFrameHeader + pageSize);
        if (wanted_) {
            std::array<uint8_t, 4> number{};
            wal->readAt(at, number.data(), number.size());
            if (!wanted_(uint64_t{bigEndian(number, 0, 4)} - 1)) {
                continue;
            }
        }
        wal->readAt(at + kFrameHeader, page.data(), page.size());
        pageKey_ = (uint64_t{1} << 48) + frame;
        if (!carvePage(page, usable, true,
                       {RecordOrigin::WalFrame, static_cast<uint32_t>(frame + 1)}, check)) {
            return false;
        }
    }
    return true;
}

bool SchemaCarver::carveReplaced(const CarvingFile& original, const CarvingFile& wal,
                                 const Check& check) {
    const uint32_t pageSize = readPageSize(&original);
    const uint64_t pages = pageCount(original.size(), pageSize);
    std::array<uint8_t, kWalHeader> header{};
    if (pages == 0 || columns_ == 0 || wal.size() < kWalHeader) {
        return true;
    }
    wal.readAt(0, header.data(), header.size());
    if ((bigEndian(header, 0, 4) & ~1u) != kWalMagic || bigEndian(header, 8, 4) != pageSize) {
        return true;
    }
    uint8_t reserved = 0;
    original.readAt(20, &reserved, 1);
    usable_ = pageSize > reserved ? pageSize - reserved : pageSize;
    overflow_.emplace(original, pageSize, usable_);
    std::set<uint64_t> replaced;  // in file order
    const uint64_t frames = (wal.size() - kWalHeader) / (kFrameHeader + pageSize);
    std::array<uint8_t, 4> number{};
    for (uint64_t frame = 0; frame < frames; ++frame) {
        wal.readAt(kWalHeader + frame * (kFrameHeader + pageSize), number.data(), number.size());
        const uint32_t page = bigEndian(number, 0, 4);
        // Page 1 holds the schema, never a row.
        if (page >= 2 && page <= pages && (!wanted_ || wanted_(page - 1))) {
            replaced.insert(page - 1);
        }
    }
    std::vector<uint8_t> page(pageSize);
    for (const uint64_t index : replaced) {
        original.readAt(index * pageSize, page.data(), page.size());
        pageKey_ = (uint64_t{2} << 48) + index;
        if (!carvePage(page, usable_, true, {RecordOrigin::ReplacedPage, 0}, check)) {
            return false;
        }
    }
    return true;
}

}  // namespace vessamo
