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
    // A varint ending at `last` has its last byte below 0x80 and the ones
    // before it 0x80 or more; where it starts is not certain, since the
    // bytes in front of it may be 0x80 or more too. Each start is tried,
    // shortest first; the payload length must agree with the record.
    // All of the cell header must lie in the free region: in front of it
    // are cell pointers or live cells, whose bytes say nothing of this one.
    const auto endsVarintAt = [&](size_t first, size_t last) {
        return first >= regionStart && bytes[last] < 0x80 &&
               std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                           bytes.begin() + static_cast<std::ptrdiff_t>(last),
                           [](uint8_t b) { return b >= 0x80; });
    };
    const size_t rowidLast = typesAt - 2;
    for (size_t rowidLength = 1; rowidLength <= 9 && rowidLength < rowidLast; ++rowidLength) {
        const size_t rowidAt = rowidLast + 1 - rowidLength;
        if (rowidAt <= regionStart || !endsVarintAt(rowidAt, rowidLast)) {
            break;
        }
        for (size_t payloadLength = 1; payloadLength <= 9 && payloadLength <= rowidAt;
             ++payloadLength) {
            const size_t payloadAt = rowidAt - payloadLength;
            if (!endsVarintAt(payloadAt, rowidAt - 1)) {
                break;
            }
            const auto payload = readVarint(bytes, payloadAt);
            const auto rowid = readVarint(bytes, rowidAt);
            if (payload && rowid && payload->length == payloadLength &&
                rowid->length == rowidLength && payload->value == record.end - (typesAt - 1)) {
                return static_cast<int64_t>(rowid->value);
            }
        }
    }
    return std::nullopt;
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

// A small freed cell (one-byte payload length and row id) lost its first
// four bytes, column 0's type among them, to the freeblock link SQLite
// writes there: also when the cell then joined the unallocated gap, or its
// page moved or went to the free list. The link is a later freeblock's
// offset on the page (or 0) and the freed size, which holds at least the
// cell's header; the record ends within it, and within the 127 bytes a
// one-byte payload length allows. Returns where the record must end, 0
// when the bytes before typesAt are no such link.
size_t freedCellEnd(std::span<const uint8_t> region, size_t first, size_t typesAt, size_t columns,
                    size_t usable) {
    constexpr size_t kLinkToType = 3;  // payload length, row id, header length
    constexpr size_t kLargestCell = 2 + 127;
    if (typesAt < first + kLinkToType) {
        return 0;
    }
    const size_t at = typesAt - kLinkToType;
    const size_t next = bigEndian(region, at, 2);
    const size_t size = bigEndian(region, at + 2, 2);
    const size_t roomEnd = at + size;
    if (size < kLinkToType + columns || roomEnd > region.size() ||
        (next != 0 && (next < roomEnd || next >= usable))) {
        return 0;
    }
    return std::min(roomEnd, at + kLargestCell);
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
    : columns_(table.columns.size()),
      rowidAlias_(table.rowidAlias),
      firstNotNull_(columns_),
      stop_(std::move(stop)) {}

namespace {

// Where freed cells begin inside one freeblock. When neighbouring cells
// are freed SQLite merges them into one freeblock, but each cell freed on
// its own first keeps the link written at its start then: a next offset
// beyond it (or 0) and the size of the freeblock it headed, which ends
// inside the page. That size may run past the freeblock as it is now:
// a row written since took the freeblock's end, or the page's cells were
// all deleted and its header reset. A link too small or too close to the
// end for a record (what was left of a freeblock a row was written into)
// still says where the record before it ended.
std::vector<size_t> freedCellStarts(std::span<const uint8_t> page, size_t first, size_t end,
                                    size_t usable, size_t leastSize) {
    constexpr size_t kLink = 4;
    std::vector<size_t> starts = {first};
    for (size_t at = first + leastSize; at + kLink <= end; ++at) {
        const size_t next = bigEndian(page, at, 2);
        const size_t size = bigEndian(page, at + 2, 2);
        if (size >= kLink && at + size <= usable && (next == 0 || next >= at + size)) {
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

// Where a freed cell starting at `at` may end, in the order tried: the
// nearest few boundaries (bytes of a row may read as a cell ending on one
// too), the nearest few links (a row's text may hold many a boundary), the
// end its own link gives, then each link's place less a fragment: a row
// written into a freeblock leaves what it did not need, when less than a
// link, as up to three bytes.
std::vector<size_t> cellEndsToTry(std::span<const uint8_t> page, size_t at, size_t least,
                                  size_t end, const std::vector<bool>& boundary,
                                  const std::vector<size_t>& links) {
    constexpr size_t kTried = 8;
    constexpr size_t kLargestFragment = 3;
    std::vector<size_t> ends;
    for (size_t next = at + least; next <= end && ends.size() < kTried; ++next) {
        if (boundary[next]) {
            ends.push_back(next);
        }
    }
    std::vector<size_t> linked;
    for (const size_t link : links) {
        if (link >= at + least && linked.size() < kTried) {
            linked.push_back(link);
        }
    }
    linked.push_back(std::min(end, at + bigEndian(page, at + 2, 2)));
    for (const size_t link : linked) {
        if (std::find(ends.begin(), ends.end(), link) == ends.end()) {
            ends.push_back(link);
        }
    }
    for (const size_t link : linked) {
        for (size_t gap = 1; gap <= kLargestFragment && link >= at + least + gap; ++gap) {
            ends.push_back(link - gap);
        }
    }
    return ends;
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
    const std::vector<size_t> starts =
        freedCellStarts(page, first, end, usable_, kLostType + columns_);
    const std::vector<bool> boundary = cellBoundaries(page, first, end, starts);
    std::vector<uint8_t> copy(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(end));
    for (const size_t at : starts) {
        rebuildCell(copy, at + kLostType,
                    cellEndsToTry(page, at, kLostType + columns_, end, boundary, starts), place,
                    check);
        copy[at + kLostType] = page[at + kLostType];
    }
}

// Tries each serial type for the lost byte at `lost`, keeping the first
// record that ends at one of the wanted ends, in their order, and that the
// check takes: bytes of a row may read as a shorter record of the wrong
// types ending where another cell seems to start. The types after the
// lost one fix where the content starts and how long the rest of it is,
// so each end leaves one length for column 0: only types of that length
// are tried.
void SchemaCarver::rebuildCell(std::vector<uint8_t>& copy, size_t lost,
                               const std::vector<size_t>& ends, RecordPlace place,
                               const Check& check) {
    copy[lost] = 0;
    const auto empty = parseSerialRecord(copy, lost, columns_, false, false);
    if (!empty) {
        return;  // the other columns run off the region whatever column 0 holds
    }
    for (const size_t end : ends) {
        if (end < empty->end) {
            continue;
        }
        const size_t length = end - empty->end;
        std::vector<uint64_t> guesses;
        for (uint64_t type = 0; type <= 9; ++type) {
            if (serialContentLength(type) == length) {
                guesses.push_back(type);
            }
        }
        if (13 + 2 * length < 0x80) {
            guesses.push_back(13 + 2 * length);
        }
        for (const uint64_t guess : guesses) {
            copy[lost] = static_cast<uint8_t>(guess);
            const auto record =
                parseSerialRecord(std::span(copy).first(end), lost, columns_, false, false);
            if (record && record->end == end &&
                check(FoundRecord{std::span(copy).first(end), *record, place, std::nullopt,
                                  pageKey_})) {
                return;
            }
        }
    }
}

// A row too long for its cell keeps its first part there, followed by the
// number of the first overflow page; the rest is read from that chain.
// Returns where the cell ended when the whole row was found and kept, else 0.
size_t SchemaCarver::carveOverflowing(std::span<const uint8_t> region, size_t first, size_t typesAt,
                                      RecordPlace place, const Check& check, size_t& localEnd) {
    constexpr size_t kLink = 4;
    if (!overflow_ || typesAt == 0) {
        return 0;
    }
    const auto payload = declaredPayload(region, typesAt, columns_, rowidAlias_);
    const size_t payloadStart = typesAt - 1;
    if (!payload || *payload <= usable_ - 35) {
        return 0;
    }
    const size_t linkAt = payloadStart + localPayloadSize(*payload, usable_);
    localEnd = linkAt <= region.size() ? linkAt : 0;
    if (linkAt + kLink > region.size()) {
        return 0;
    }
    const uint32_t firstPage = bigEndian(region, linkAt, kLink);
    const auto bytes = overflow_->payload(region.subspan(payloadStart, linkAt - payloadStart),
                                          firstPage, *payload);
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
    // Most of such a row lies on its overflow pages, whatever room its cell was in.
    const RecordPlace chained{RecordOrigin::Overflow, place.walFrame};
    const FoundRecord found{*bytes, *record, chained, rowidBefore(region, first, typesAt, inPlace),
                            pageKey_};
    return check(found) ? linkAt + kLink : 0;
}

void SchemaCarver::acceptOnly(std::vector<uint8_t> classes) {
    classes_ = classes.size() == columns_ ? std::move(classes) : std::vector<uint8_t>();
    firstNotNull_ = columns_;
    for (size_t column = 0; column < classes_.size() && firstNotNull_ == columns_; ++column) {
        firstNotNull_ = (classes_[column] & kNullClass) == 0 ? column : columns_;
    }
}

// Where the offsets of a run of zero bytes stop failing mayBeAccepted
// (typesAt itself when they do not): zeros read as NULL types up to a
// column that may not be NULL, and a zero in front is no header length.
size_t SchemaCarver::pastZeroRun(std::span<const uint8_t> region, size_t typesAt) const {
    if (firstNotNull_ >= columns_ || firstNotNull_ + 2 > surelyInPlace_ || typesAt == 0 ||
        region[typesAt - 1] != 0 || region[typesAt] != 0) {
        return typesAt;
    }
    const auto nonZero = std::find_if(region.begin() + static_cast<std::ptrdiff_t>(typesAt),
                                      region.end(), [](uint8_t byte) { return byte != 0; });
    const auto runEnd = static_cast<size_t>(nonZero - region.begin());
    return runEnd > typesAt + firstNotNull_ ? runEnd - firstNotNull_ : typesAt;
}

// Whether the serial types at typesAt may make a record the check keeps.
// Types that do not read as a record fail the parse too, in place or
// with an overflow chain; a class outside its column's is refused by the
// check unless the record can have a cell header, whose length byte,
// just in front of the types, must then count them, or unless a text
// before it runs off the region, which cuts the record there and shows
// the columns after it as NULL. (Types that do not read here cannot be
// read for an overflow chain either: its payload size comes from them.)
bool SchemaCarver::mayBeAccepted(std::span<const uint8_t> region, size_t typesAt) const {
    if (classes_.empty()) {
        return true;
    }
    const uint8_t headerByte = typesAt > 0 ? region[typesAt - 1] : 0;
    const bool headerPossible = typesAt >= 3 && headerByte > columns_ && headerByte < 0x80;
    bool classesFit = true;
    bool textBefore = false;
    size_t at = typesAt;
    for (size_t column = 0; column < columns_; ++column) {
        // A row id's type is the one byte 0x00, as the parse reads it, even
        // where a freeblock link overwrote it.
        const auto type = column == 0 && rowidAlias_ ? std::optional<Varint>(Varint{0, 1})
                                                     : readVarint(region, at);
        if (!type || !serialContentLength(type->value)) {
            return false;
        }
        const uint8_t shown = storageClassOf(type->value);
        // A type past what a cell surely holds may read otherwise when the
        // row is put together from its overflow chain: it decides nothing.
        const bool inPlace = at + type->length - typesAt + 1 <= surelyInPlace_;
        if (inPlace && (shown & classes_[column]) == 0) {
            if (!headerPossible && !textBefore) {
                return false;
            }
            classesFit = false;
        }
        textBefore = textBefore || shown == kTextClass;
        at += type->length;
    }
    return classesFit || headerByte == at - typesAt + 1 || cutRecordFits(region, typesAt, at);
}

// Whether the record read in place is cut short by the end of the region
// before every column whose class does not fit, as the parse shows it.
bool SchemaCarver::cutRecordFits(std::span<const uint8_t> region, size_t typesAt,
                                 size_t typesEnd) const {
    size_t content = typesEnd;
    bool cut = false;
    size_t at = typesAt;
    for (size_t column = 0; column < columns_; ++column) {
        const bool rowid = column == 0 && rowidAlias_;
        const auto type = rowid ? std::optional<Varint>(Varint{0, 1}) : readVarint(region, at);
        at += type->length;
        const uint64_t shown = cut ? 0 : type->value;
        const uint64_t length = *serialContentLength(shown);
        if (length > region.size() - content) {
            if (storageClassOf(shown) != kTextClass) {
                return false;  // no record in place
            }
            cut = true;
            content = region.size();
        } else {
            content += static_cast<size_t>(length);
        }
        if ((storageClassOf(shown) & classes_[column]) == 0) {
            return false;
        }
    }
    return cut;
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
        size_t linkEnd = 0;
        if (rowidAlias_ && region[typesAt] != 0 &&
            !(place.origin == RecordOrigin::Freeblock && typesAt < first + 4)) {
            linkEnd = freedCellEnd(region, first, typesAt, columns_, usable_);
            if (linkEnd == 0) {
                continue;
            }
        }
        if (const size_t next = pastZeroRun(region, typesAt); next > typesAt) {
            typesAt = next - 1;
            continue;
        }
        if (!mayBeAccepted(region, typesAt)) {
            continue;
        }
        // A row too long for one page cannot be read in place: its parse
        // fails, runs off the region, or takes more than a cell may hold.
        const bool parsed =
            parseSerialRecordInto(record_, region, typesAt, columns_, rowidAlias_, true);
        if (linkEnd != 0) {
            if (!parsed || record_.cut || record_.end > linkEnd) {
                continue;  // a small cell: never one of overflow pages
            }
        } else if (!parsed || record_.cut || record_.end - typesAt + 1 > usable_ - 35) {
            size_t localEnd = 0;
            if (const size_t cellEnd =
                    carveOverflowing(region, first, typesAt, place, check, localEnd)) {
                typesAt = cellEnd - 1;
                continue;
            }
            // A row whose overflow chain was reused, or whose first overflow
            // page became a trunk of the free list, still has the part its
            // cell held: its text is cut there, never read into the page
            // number behind it.
            if (parsed && localEnd != 0 &&
                !parseSerialRecordInto(record_, region.first(localEnd), typesAt, columns_,
                                       rowidAlias_, true)) {
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
    // However long a payload, its cell keeps at least this much of it; a
    // row's types beyond that may lie on an overflow page instead.
    const size_t leastLocal = (usable - 12) * 32 / 255;
    surelyInPlace_ = leastLocal > 23 ? leastLocal - 23 : 0;
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
