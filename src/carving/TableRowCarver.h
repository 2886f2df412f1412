#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "carving/SchemaCarver.h"
#include "common/Status.h"

namespace vessamo {

// One value of a carved row, typed as the record stored it.
struct CarvedValue {
    enum class Kind : uint8_t { Null, Integer, Real, Text, Blob } kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string bytes;  // text or blob content
};

// A deleted row of any table, its values in column order.
struct CarvedRow {
    std::string table;
    std::vector<CarvedValue> values;
    RecordPlace place;
    bool cut = false;  // its last text ran off its free region
};

// Recovers deleted rows of every table (or of one) of a database file
// from its free room and from its write-ahead log ("-wal" beside it), by
// the tables' own schema. The file and its log are only read, never
// written, links never followed; the schema and the live rows are read
// from a private copy. A row counts when each value fits its column's
// declared type, some value is set, and no live row (of any table of the
// same columns) holds the same values; a row cut short that a whole row
// holds too is that row's stale copy. Where the records of two tables
// would share bytes, the one of more columns wins. notFound / corrupt
// when the file is missing or no database; notFound when it has no (live
// or dropped) table named onlyTable.
[[nodiscard]] StatusOr<std::vector<CarvedRow>> carveTableRows(
    const std::string& database, const std::optional<std::string>& onlyTable,
    std::stop_token stop = {});

}  // namespace vessamo
