#pragma once

#include <string>
#include <vector>

#include "carving/CarvingFile.h"
#include "carving/SchemaCarver.h"

namespace vessamo {

// The tables a database once had and dropped, as far as their schema rows
// survive in the free room of its first page (where the schema table
// lives). A dropped table's pages go to the free list with their rows; its
// schema row says what columns those rows have. Each CREATE TABLE text is
// read by SQLite itself, in a database of its own inside `scratchFolder`,
// never run against the carved file. Tables named like a live one are left
// out: their rows are carved by the live schema.
[[nodiscard]] std::vector<TableSchema> droppedTables(const CarvingFile& file,
                                                     const std::vector<TableSchema>& live,
                                                     const std::string& scratchDatabase);

}  // namespace vessamo
