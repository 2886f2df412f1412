#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "carving/CarvingFile.h"

namespace vessamo {

// A group member's row keeps its key only in its cell header, which the
// freeblock link overwrites when the row is deleted. The member table's
// index by address keeps the pair (address, key) in a cell of its own:
// this reads those pairs for the given addresses from every image of the
// index's pages (the copy's, the log's frames and the source's own images
// of the pages the log replaced; wal and original may be null). A pair is
// read from an intact index cell, or from one whose first bytes the
// freeblock link took; there the key's width may be unsure, and both
// readings are given for the caller to weigh against the keys given out.
[[nodiscard]] std::vector<std::pair<std::string, int64_t>> memberKeysByAddress(
    const std::string& databaseCopy, const CarvingFile& copy, const CarvingFile* wal,
    const CarvingFile* original, const std::unordered_set<std::string>& addresses);

}  // namespace vessamo
