#include "common/Text.h"

#include <cstring>
#include <utility>

namespace vessamo {

TextStore::TextStore(TextStore&& other) noexcept {
    *this = std::move(other);
}

TextStore& TextStore::operator=(TextStore&& other) noexcept {
    blocks_ = std::move(other.blocks_);
    interned_ = std::move(other.interned_);
    free_ = std::exchange(other.free_, nullptr);
    left_ = std::exchange(other.left_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    other.blocks_.clear();
    other.interned_.clear();
    return *this;
}

Text TextStore::keep(std::string_view bytes) {
    if (bytes.empty()) {
        return Text();
    }
    if (bytes.size() > left_) {
        // A long text gets a block of its own, so the room left in the
        // current block still serves the short texts that follow.
        if (bytes.size() > kBlockSize / 4) {
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(bytes.size()));
            capacity_ += bytes.size();
            std::memcpy(blocks_.back().get(), bytes.data(), bytes.size());
            return Text::borrowed(std::string_view(blocks_.back().get(), bytes.size()));
        }
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
        capacity_ += kBlockSize;
        free_ = blocks_.back().get();
        left_ = kBlockSize;
    }
    std::memcpy(free_, bytes.data(), bytes.size());
    const Text kept = Text::borrowed(std::string_view(free_, bytes.size()));
    free_ += bytes.size();
    left_ -= bytes.size();
    return kept;
}

Text TextStore::intern(std::string_view bytes) {
    if (bytes.empty()) {
        return Text();
    }
    if (auto found = interned_.find(bytes); found != interned_.end()) {
        return Text::borrowed(*found);
    }
    const Text kept = keep(bytes);
    interned_.insert(kept);
    return kept;
}

}  // namespace vessamo
