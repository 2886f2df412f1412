#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "carving/CarvingFile.h"

namespace vessamo {

// Where in the database file a carved record was found.
enum class RecordOrigin : uint8_t {
    Unallocated,   // the gap between a live page's cell pointers and its cells
    Freeblock,     // a freed cell inside a live page
    FreelistPage,  // a page SQLite handed back to its free list
    InteriorPage,  // a page that became a b-tree interior page
    WalFrame,      // a page image in the write-ahead log
    Overflow,      // a row too long for its cell, its rest read from its overflow chain
    ReplacedPage,  // the database file's own image of a page the log replaced
};
[[nodiscard]] std::string_view originName(RecordOrigin origin);

// The pages (numbered from 0, as the carver counts them) on the free list,
// trunks and leaves. The list comes from the file and may be damaged: every
// number is checked and the walk ends at the page count.
[[nodiscard]] std::unordered_set<uint64_t> freelistPages(const CarvingFile& file, uint32_t pageSize,
                                                         uint64_t pages);

// What a page in use holds where: its live cells and its freeblocks, as
// byte ranges from the page's first byte. A record found inside a live cell
// is that live row (or part of it), never a deleted one.
class PageCells {
public:
    // page: the page's bytes; usable: page size less the reserved bytes.
    PageCells(std::span<const uint8_t> page, size_t usable);

    [[nodiscard]] bool insideLiveCell(size_t offset) const { return inside(live_, offset); }
    [[nodiscard]] bool insideFreeblock(size_t offset) const { return inside(free_, offset); }
    // Where the free room around offset ends: its freeblock's end, else the
    // next live cell, else `limit`.
    [[nodiscard]] size_t freeRegionEnd(size_t offset, size_t limit) const;
    // The freeblocks, as [first, last) from the page's first byte.
    [[nodiscard]] const std::vector<std::pair<size_t, size_t>>& freeblocks() const { return free_; }

private:
    using Ranges = std::vector<std::pair<size_t, size_t>>;  // [first, last), sorted
    static bool inside(const Ranges& ranges, size_t offset);
    void readLiveCells(std::span<const uint8_t> page, size_t usable);
    void readFreeblocks(std::span<const uint8_t> page);

    Ranges live_;
    Ranges free_;
};

}  // namespace vessamo
