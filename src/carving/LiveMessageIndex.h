#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vessamo {

// The message rows still in a chat database, by key and by stanza id, so
// that each carved record is looked up in memory rather than through
// SQLite. A table holds millions of rows: they are kept in a few blocks
// (the ids' bytes, the rows in key order, a hash table and a filter over
// the ids) instead of a node and a string each.
class LiveMessageIndex {
public:
    // Rows come in any order; seal() must follow the last one.
    void add(int64_t rowid, std::string_view stanza);
    void seal();

    // The stanza id of the live row with that key, "" when it has none;
    // nullopt when no live row has the key.
    [[nodiscard]] std::optional<std::string_view> stanzaOf(int64_t rowid) const;
    // Whether a live row has this stanza id; never for "".
    [[nodiscard]] bool hasStanza(std::string_view stanza) const;
    [[nodiscard]] size_t size() const { return rows_.size(); }

private:
    struct Row {
        int64_t rowid;
        size_t offset;  // of its stanza id in ids_
        size_t length;
    };
    // A slot of the hash table: the row holding the id and part of the
    // id's hash, so that a probe rarely reads a row or an id in vain.
    struct Slot {
        uint32_t row = 0;  // row index + 1, 0 for an empty slot
        uint32_t tag = 0;
    };
    [[nodiscard]] std::string_view idOf(const Row& row) const {
        return {ids_.data() + row.offset, row.length};
    }
    // The slot holding stanza, or the empty one where it would go.
    [[nodiscard]] size_t slotOf(std::string_view stanza, size_t hash) const;
    [[nodiscard]] size_t filterWordOf(size_t hash) const;

    std::string ids_;
    std::vector<Row> rows_;
    std::vector<Slot> slots_;       // a power of two long
    std::vector<uint64_t> filter_;  // a Bloom filter over the ids, a power of two long
};

}  // namespace vessamo
