#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "carving/CarvingFile.h"
#include "carving/OverflowPayload.h"
#include "carving/PageMap.h"
#include "carving/SerialRecord.h"

namespace vessamo {

// A table as the database's own schema describes it.
struct TableSchema {
    std::string name;
    std::vector<std::string> columns;
    std::vector<std::string> types;  // declared types, one per column
    std::vector<bool> notNull;       // declared NOT NULL
    uint32_t rootPage = 0;           // first page of its b-tree, numbered from 1
    bool rowidAlias = false;         // column 0 is the INTEGER PRIMARY KEY, stored as NULL
};

// The pages (numbered from 0) of the table b-tree rooted at rootPage, as
// the file links them; a damaged tree just yields fewer pages.
[[nodiscard]] std::vector<uint64_t> treePages(const CarvingFile& file, uint32_t rootPage);

// The tables of a database copy, read through SQLite from its schema;
// empty when the file is no database SQLite can open.
[[nodiscard]] std::vector<TableSchema> readTableSchemas(const std::string& databaseCopy);

// Where a carved record came from, as a person reads it.
struct RecordPlace {
    RecordOrigin origin = RecordOrigin::Unallocated;
    uint32_t walFrame = 0;  // 1-based frame of the write-ahead log, 0 when in the database
};
[[nodiscard]] std::string placeName(const RecordPlace& place);

// One record found in free room, offered to the caller for its checks.
struct FoundRecord {
    std::span<const uint8_t> bytes;  // the region it was parsed from
    const SerialRecord& record;
    RecordPlace place;
    std::optional<int64_t> rowid;  // when the cell header in front of it survived
    uint64_t pageKey = 0;          // which page image: database page index, or log frame
};

// Finds the records of one table in the free room of a database file:
// freeblocks and the unallocated gap of table pages, pages on the free
// list (trunks and leaves), pages that became interior pages, and every
// frame of the write-ahead log, older ones after a checkpoint included.
// Each offset is tried as the start of a record of the table's column
// count, parsed with full varints; the first bytes of a freed cell may
// have been overwritten by the freeblock link, so a record is rebuilt from
// its serial types alone. A text that runs off its region is kept as far
// as it goes (marked cut). The caller's check decides what a record is;
// a kept record's bytes are not offered again.
class SchemaCarver {
public:
    using Check = std::function<bool(const FoundRecord&)>;

    SchemaCarver(const TableSchema& table, std::stop_token stop = {});

    // The storage classes (StorageClass bits) each column may hold, in
    // column order, for a check that refuses every record holding another
    // class, except one it knows by the row id of a surviving cell header
    // (a live row's old copy). Records the check would refuse anyway are
    // then not parsed in full: at most offsets of the free room they fail
    // within a few bytes.
    void acceptOnly(std::vector<uint8_t> classes);

    // False when stopped. wal may be null.
    bool carve(const CarvingFile& database, const CarvingFile* wal, const Check& check);

    // The pages the log replaced, as the database file itself still holds
    // them: older images, whose rows may have been deleted since. For a
    // carve of a copy with the log folded in, this reads the source file
    // (never written). False when stopped.
    bool carveReplaced(const CarvingFile& original, const CarvingFile& wal, const Check& check);

    // Limits the carve to some pages (numbered from 0; log frames by the
    // page they hold): for a table whose rows cannot be anywhere else.
    void onlyPages(std::function<bool(uint64_t)> wanted) { wanted_ = std::move(wanted); }

    // Bytes looked at, for throughput figures.
    [[nodiscard]] uint64_t bytesScanned() const { return scanned_; }

private:
    bool carvePage(std::span<const uint8_t> page, size_t usable, bool whole, RecordPlace place,
                   const Check& check);
    [[nodiscard]] bool mayBeAccepted(std::span<const uint8_t> region, size_t typesAt) const;
    [[nodiscard]] bool cutRecordFits(std::span<const uint8_t> region, size_t typesAt,
                                     size_t typesEnd) const;
    [[nodiscard]] size_t pastZeroRun(std::span<const uint8_t> region, size_t typesAt) const;
    void carveRegion(std::span<const uint8_t> page, size_t first, size_t end, RecordPlace place,
                     const Check& check);
    void rebuildFreeblockStart(std::span<const uint8_t> page, size_t first, size_t end,
                               RecordPlace place, const Check& check);
    // localEnd: where the cell's own part of such a row ends, when it lies
    // in the region, whether or not the rest could be read.
    size_t carveOverflowing(std::span<const uint8_t> region, size_t first, size_t typesAt,
                            RecordPlace place, const Check& check, size_t& localEnd);
    void rebuildCell(std::vector<uint8_t>& copy, size_t lost, const std::vector<size_t>& ends,
                     RecordPlace place, const Check& check);

    size_t columns_;
    bool rowidAlias_;
    std::vector<uint8_t> classes_;  // empty: every class in every column
    size_t firstNotNull_;           // the first column that may not be NULL, else columns_
    std::stop_token stop_;
    uint64_t scanned_ = 0;
    uint64_t pageKey_ = 0;                    // the page image being carved
    SerialRecord record_;                     // reused from offset to offset
    size_t usable_ = 0;                       // page size less the reserved bytes
    size_t surelyInPlace_ = 0;                // payload bytes every cell keeps on its page
    std::optional<OverflowReader> overflow_;  // the rest of rows too long for their cell
    std::function<bool(uint64_t)> wanted_;    // pages to carve; all when empty
};

}  // namespace vessamo
