#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vessamo {

// A set that keys are only ever added to, for the hundreds of thousands of
// records one recovery takes: the keys lie in one block, in the order they
// came, and an open-addressing table over them holds each key's place and
// part of its hash. A node-based set allocates and chases a pointer per key
// and took a fifth of the recovery's time.
template <typename Key, typename Hash>
class FlatKeySet {
public:
    void reserve(size_t count) {
        keys_.reserve(count);
        hashes_.reserve(count);
        if (2 * count > slots_.size()) {
            rehash(std::bit_ceil(2 * count));
        }
    }

    [[nodiscard]] bool contains(const Key& key) const {
        return !slots_.empty() && slots_[slotOf(key, Hash{}(key))].place != 0;
    }

    // The key as kept, and whether it was added (false: it was there).
    std::pair<const Key*, bool> insert(const Key& key) {
        if (2 * (keys_.size() + 1) > slots_.size()) {
            rehash(std::max<size_t>(16, 2 * slots_.size()));
        }
        const size_t hash = Hash{}(key);
        Slot& slot = slots_[slotOf(key, hash)];
        if (slot.place != 0) {
            return {&keys_[slot.place - 1], false};
        }
        keys_.push_back(key);
        hashes_.push_back(hash);
        slot = {keys_.size(), tagOf(hash)};
        return {&keys_.back(), true};
    }

    [[nodiscard]] size_t size() const { return keys_.size(); }

private:
    struct Slot {
        size_t place = 0;  // index in keys_ + 1, 0 for an empty slot
        uint32_t tag = 0;  // the hash's upper bits, compared before the key
    };

    static uint32_t tagOf(size_t hash) { return static_cast<uint32_t>(uint64_t{hash} >> 32); }

    // The slot holding key, or the empty one where it would go; the table
    // is at most half full, so the walk is short.
    size_t slotOf(const Key& key, size_t hash) const {
        const size_t mask = slots_.size() - 1;
        const uint32_t tag = tagOf(hash);
        size_t at = hash & mask;
        while (slots_[at].place != 0 &&
               (slots_[at].tag != tag || !(keys_[slots_[at].place - 1] == key))) {
            at = (at + 1) & mask;
        }
        return at;
    }

    void rehash(size_t slots) {
        slots_.assign(slots, Slot{});
        const size_t mask = slots - 1;
        for (size_t index = 0; index < keys_.size(); ++index) {
            size_t at = hashes_[index] & mask;
            while (slots_[at].place != 0) {
                at = (at + 1) & mask;
            }
            slots_[at] = {index + 1, tagOf(hashes_[index])};
        }
    }

    std::vector<Key> keys_;
    std::vector<size_t> hashes_;  // of each key, so that growing never hashes again
    std::vector<Slot> slots_;     // a power of two long
};

}  // namespace vessamo
