#include "carving/LiveMessageIndex.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <functional>

namespace vessamo {

namespace {

// The bits of a hash the table's index does not use, unless the table
// grows beyond 2^32 slots.
uint32_t tagOf(size_t hash) {
    return static_cast<uint32_t>(static_cast<uint64_t>(hash) >> 32);
}

// Three bits of one word of the filter stand for an id.
uint64_t filterBitsOf(size_t hash) {
    return (uint64_t{1} << (hash & 63)) | (uint64_t{1} << ((hash >> 6) & 63)) |
           (uint64_t{1} << ((hash >> 12) & 63));
}

}  // namespace

void LiveMessageIndex::add(int64_t rowid, std::string_view stanza) {
    rows_.push_back({rowid, ids_.size(), stanza.size()});
    ids_.append(stanza);
}

void LiveMessageIndex::seal() {
    const auto byKey = [](const Row& a, const Row& b) { return a.rowid < b.rowid; };
    // A table read in key order, as SQLite reads one, needs no sorting.
    if (!std::is_sorted(rows_.begin(), rows_.end(), byKey)) {
        std::stable_sort(rows_.begin(), rows_.end(), byKey);
    }
    // A slot per row holds 2^32 rows; no chat database comes near that,
    // and rows beyond it are still found by key.
    const size_t hashed = std::min<size_t>(rows_.size(), UINT32_MAX - 1);
    // Open addressing, at most two thirds full: the filter turns most
    // absent ids away, and a probe walks slots of the same cache line.
    slots_.assign(std::bit_ceil(std::max<size_t>(hashed + hashed / 2, 16)), Slot{});
    // About ten bits an id: a few MiB, which the caches keep.
    filter_.assign(std::bit_ceil(std::max<size_t>(hashed / 6, 1)), 0);
    // The table is far larger than the caches: the slots of a batch of ids
    // are fetched together, so their misses overlap rather than follow.
    constexpr size_t kBatch = 16;
    std::array<size_t, kBatch> hashes{};
    for (size_t first = 0; first < hashed; first += kBatch) {
        const size_t count = std::min(kBatch, hashed - first);
        for (size_t i = 0; i < count; ++i) {
            hashes[i] = std::hash<std::string_view>{}(idOf(rows_[first + i]));
            __builtin_prefetch(&slots_[hashes[i] & (slots_.size() - 1)]);
        }
        for (size_t i = 0; i < count; ++i) {
            const std::string_view stanza = idOf(rows_[first + i]);
            Slot& slot = slots_[slotOf(stanza, hashes[i])];
            if (!stanza.empty() && slot.row == 0) {
                slot = {static_cast<uint32_t>(first + i + 1), tagOf(hashes[i])};
                filter_[filterWordOf(hashes[i])] |= filterBitsOf(hashes[i]);
            }
        }
    }
}

size_t LiveMessageIndex::slotOf(std::string_view stanza, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    const uint32_t tag = tagOf(hash);
    size_t at = hash & mask;
    while (slots_[at].row != 0 &&
           (slots_[at].tag != tag || idOf(rows_[slots_[at].row - 1]) != stanza)) {
        at = (at + 1) & mask;
    }
    return at;
}

std::optional<std::string_view> LiveMessageIndex::stanzaOf(int64_t rowid) const {
    const auto row = std::lower_bound(rows_.begin(), rows_.end(), rowid,
                                      [](const Row& r, int64_t key) { return r.rowid < key; });
    if (row == rows_.end() || row->rowid != rowid) {
        return std::nullopt;
    }
    return idOf(*row);
}

size_t LiveMessageIndex::filterWordOf(size_t hash) const {
    const uint64_t mixed = static_cast<uint64_t>(hash) * 0x9e3779b97f4a7c15;
    return static_cast<size_t>(mixed >> 32) & (filter_.size() - 1);
}

// The ids asked for are mostly of deleted rows, which the filter turns
// away without a look into the table, whose every probe misses the caches.
bool LiveMessageIndex::hasStanza(std::string_view stanza) const {
    if (stanza.empty() || slots_.empty()) {
        return false;
    }
    const size_t hash = std::hash<std::string_view>{}(stanza);
    const uint64_t bits = filterBitsOf(hash);
    return (filter_[filterWordOf(hash)] & bits) == bits && slots_[slotOf(stanza, hash)].row != 0;
}

}  // namespace vessamo
