#include "carving/PageMap.h"

#include <algorithm>

#include "carving/SerialRecord.h"

namespace vessamo {

namespace {

uint32_t bigEndian(std::span<const uint8_t> bytes, size_t at, size_t size) {
    uint32_t value = 0;
    for (size_t i = 0; i < size && at + i < bytes.size(); ++i) {
        value = (value << 8) | bytes[at + i];
    }
    return value;
}

uint32_t fileWord(const CarvingFile& file, uint64_t offset) {
    uint8_t bytes[4] = {};
    file.readAt(offset, bytes, sizeof bytes);
    return bigEndian(bytes, 0, 4);
}

// Bytes of a table-leaf cell's payload kept on the page itself, as SQLite
// splits a payload too large for it; the rest goes to overflow pages.
size_t localPayload(uint64_t payload, size_t usable) {
    const size_t maxLocal = usable - 35;
    if (payload <= maxLocal) {
        return static_cast<size_t>(payload);
    }
    const size_t minLocal = (usable - 12) * 32 / 255 - 23;
    const size_t kept = minLocal + static_cast<size_t>((payload - minLocal) % (usable - 4));
    return (kept <= maxLocal ? kept : minLocal) + 4;  // and the first overflow page's number
}

}  // namespace

std::string_view originName(RecordOrigin origin) {
    switch (origin) {
        case RecordOrigin::Unallocated:
            return "unallocated";
        case RecordOrigin::Freeblock:
            return "freeblock";
        case RecordOrigin::FreelistPage:
            return "freelist";
        case RecordOrigin::InteriorPage:
            return "interior";
        case RecordOrigin::WalFrame:
            return "wal";
        case RecordOrigin::Overflow:
            return "overflow";
        case RecordOrigin::ReplacedPage:
            return "replaced page";
    }
    return "unallocated";
}

std::unordered_set<uint64_t> freelistPages(const CarvingFile& file, uint32_t pageSize,
                                           uint64_t pages) {
    std::unordered_set<uint64_t> free;
    const auto valid = [pages](uint64_t number) { return number >= 2 && number <= pages; };
    uint64_t trunk = fileWord(file, 32);
    while (valid(trunk) && free.insert(trunk - 1).second) {
        const uint64_t start = (trunk - 1) * pageSize;
        const uint32_t leaves = std::min<uint32_t>(fileWord(file, start + 4), pageSize / 4 - 2);
        for (uint32_t i = 0; i < leaves; ++i) {
            const uint64_t leaf = fileWord(file, start + 8 + uint64_t{4} * i);
            if (valid(leaf)) {
                free.insert(leaf - 1);
            }
        }
        trunk = fileWord(file, start);
    }
    return free;
}

PageCells::PageCells(std::span<const uint8_t> page, size_t usable) {
    if (page.size() < 12 || usable < 480 || usable > page.size()) {
        return;
    }
    readLiveCells(page, usable);
    readFreeblocks(page);
    std::sort(live_.begin(), live_.end());
    std::sort(free_.begin(), free_.end());
}

void PageCells::readLiveCells(std::span<const uint8_t> page, size_t usable) {
    const uint8_t flag = page[0];
    const bool leaf = flag == 0x0d;
    if (!leaf && flag != 0x05) {
        return;
    }
    const size_t pointers = leaf ? 8 : 12;
    const size_t cells = std::min<size_t>(bigEndian(page, 3, 2), (usable - pointers) / 2);
    for (size_t i = 0; i < cells; ++i) {
        const size_t start = bigEndian(page, pointers + 2 * i, 2);
        if (start < pointers || start >= usable) {
            continue;
        }
        size_t end = start;
        if (leaf) {
            const auto payload = readVarint(page.first(usable), start);
            const auto rowid =
                payload ? readVarint(page.first(usable), start + payload->length) : std::nullopt;
            if (!rowid) {
                continue;
            }
            end = start + payload->length + rowid->length + localPayload(payload->value, usable);
        } else {
            const auto rowid = readVarint(page.first(usable), start + 4);
            end = start + 4 + (rowid ? rowid->length : 0);
        }
        live_.emplace_back(start, std::min(end, usable));
    }
}

void PageCells::readFreeblocks(std::span<const uint8_t> page) {
    size_t next = bigEndian(page, 1, 2);
    // Each freeblock lies after the one before it; anything else is damage.
    size_t floor = 8;
    while (next >= floor && next + 4 <= page.size()) {
        const size_t size = bigEndian(page, next + 2, 2);
        if (size < 4 || next + size > page.size()) {
            break;
        }
        free_.emplace_back(next, next + size);
        floor = next + size;
        next = bigEndian(page, next, 2);
    }
}

size_t PageCells::freeRegionEnd(size_t offset, size_t limit) const {
    auto block = std::upper_bound(free_.begin(), free_.end(), std::pair(offset, ~size_t{0}));
    if (block != free_.begin() && offset < std::prev(block)->second) {
        return std::min(std::prev(block)->second, limit);
    }
    auto cell = std::lower_bound(live_.begin(), live_.end(), std::pair(offset, size_t{0}));
    return cell != live_.end() ? std::min(cell->first, limit) : limit;
}

bool PageCells::inside(const Ranges& ranges, size_t offset) {
    auto after = std::upper_bound(ranges.begin(), ranges.end(), std::pair(offset, ~size_t{0}));
    return after != ranges.begin() && offset < std::prev(after)->second;
}

}  // namespace vessamo
