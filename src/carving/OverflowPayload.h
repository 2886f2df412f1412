#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "carving/CarvingFile.h"

namespace vessamo {

// How SQLite splits a table row's payload between its cell and a chain of
// overflow pages: the bytes kept in the cell for a payload of `payload`
// bytes on pages of `usable` bytes (all of it when it fits).
[[nodiscard]] size_t localPayloadSize(uint64_t payload, size_t usable);

// Reads the rest of a payload from its overflow chain in the database
// file: each page a 4-byte next page number, then content. The chain comes
// from free room and may be damaged or reused: every page number is
// checked against the page count, a page is never read twice, and the
// chain must hold the whole payload. nullopt otherwise.
class OverflowReader {
public:
    OverflowReader(const CarvingFile& database, uint32_t pageSize, size_t usable);

    // The whole payload: `local` (the cell's part) followed by what the
    // chain starting at firstPage (numbered from 1) holds.
    [[nodiscard]] std::optional<std::vector<uint8_t>> payload(std::span<const uint8_t> local,
                                                              uint32_t firstPage,
                                                              uint64_t payloadSize) const;

private:
    const CarvingFile& database_;
    uint32_t pageSize_;
    size_t usable_;
    uint64_t pages_;
};

}  // namespace vessamo
