#include "carving/OverflowPayload.h"

#include <algorithm>
#include <unordered_set>

#include "carving/CarvingPrimitives.h"

namespace vessamo {

size_t localPayloadSize(uint64_t payload, size_t usable) {
    const size_t most = usable - 35;
    if (payload <= most) {
        return static_cast<size_t>(payload);
    }
    const size_t least = (usable - 12) * 32 / 255 - 23;
    const size_t kept = least + static_cast<size_t>((payload - least) % (usable - 4));
    return kept <= most ? kept : least;
}

OverflowReader::OverflowReader(const CarvingFile& database, uint32_t pageSize, size_t usable)
    : database_(database),
      pageSize_(pageSize),
      usable_(usable),
      pages_(pageCount(database.size(), pageSize)) {}

std::optional<std::vector<uint8_t>> OverflowReader::payload(std::span<const uint8_t> local,
                                                            uint32_t firstPage,
                                                            uint64_t payloadSize) const {
    constexpr size_t kLink = 4;
    if (usable_ <= kLink || local.size() >= payloadSize ||
        payloadSize > local.size() + pages_ * (usable_ - kLink) || firstPage < 2 ||
        firstPage > pages_) {
        return std::nullopt;  // most candidates from free room end here, before any allocation
    }
    std::vector<uint8_t> bytes(local.begin(), local.end());
    // The size comes from the file: what is reserved is no more than a few
    // pages of the chain ahead.
    bytes.reserve(static_cast<size_t>(std::min<uint64_t>(payloadSize, local.size() + 4 * usable_)));
    std::unordered_set<uint32_t> seen;
    std::vector<uint8_t> page(usable_);
    uint32_t next = firstPage;
    while (bytes.size() < payloadSize) {
        // Page 1 holds the schema and is never an overflow page.
        if (next < 2 || next > pages_ || !seen.insert(next).second) {
            return std::nullopt;
        }
        database_.readAt(uint64_t{next - 1} * pageSize_, page.data(), page.size());
        next = static_cast<uint32_t>(page[0]) << 24 | static_cast<uint32_t>(page[1]) << 16 |
               static_cast<uint32_t>(page[2]) << 8 | page[3];
        const size_t take =
            std::min(usable_ - kLink, static_cast<size_t>(payloadSize - bytes.size()));
        bytes.insert(bytes.end(), page.begin() + kLink,
                     page.begin() + static_cast<std::ptrdiff_t>(kLink + take));
    }
    return bytes;
}

}  // namespace vessamo
