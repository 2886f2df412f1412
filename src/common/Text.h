#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vessamo {

// An immutable text whose bytes live elsewhere: in the TextStore of the
// scan result that holds the record, or in a string literal. Records of a
// finished scan are read by several threads and never change, so they hold
// these 16-byte views instead of owning strings: a million messages then
// cost one allocation per 64 KiB of text rather than several per message.
//
// A Text is never made from a std::string, whose bytes would go with it;
// texts come from TextStore::keep/intern, from literals, or explicitly from
// bytes the caller knows outlive it (Text::borrowed).
class Text : public std::string_view {
public:
    constexpr Text() = default;
    template <size_t N>
    constexpr Text(const char (&literal)[N])  // NOLINT: literals live forever
        : std::string_view(literal, N - 1) {}

    // A view of bytes that the caller keeps alive at least as long as the
    // Text: a part of another Text, or a store's bytes.
    [[nodiscard]] static constexpr Text borrowed(std::string_view bytes) { return Text(bytes); }

    Text(const std::string&) = delete;
    Text(std::string&&) = delete;

    [[nodiscard]] std::string str() const { return std::string(data(), size()); }
    operator std::string() const { return str(); }  // NOLINT: texts flow into std::string freely
    [[nodiscard]] std::string_view view() const { return *this; }

private:
    constexpr explicit Text(std::string_view bytes) : std::string_view(bytes) {}
};

// Building display strings out of texts reads as it does with std::string.
[[nodiscard]] inline std::string operator+(std::string left, Text right) {
    return std::move(left.append(right));
}
[[nodiscard]] inline std::string operator+(Text left, const std::string& right) {
    return std::string(left).append(right);
}
[[nodiscard]] inline std::string operator+(const char* left, Text right) {
    return std::string(left).append(right);
}
[[nodiscard]] inline std::string operator+(Text left, const char* right) {
    return std::string(left).append(right);
}
[[nodiscard]] inline std::string operator+(Text left, Text right) {
    return std::string(left).append(right);
}
[[nodiscard]] inline std::string operator+(Text left, char right) {
    std::string joined(left);
    joined.push_back(right);
    return joined;
}

// Owns the bytes of many texts: appended in blocks, never moved, freed
// together. Not thread-safe: one scan fills it, then it is only read.
class TextStore {
public:
    TextStore() = default;
    // A moved-from store is empty and may be filled again.
    TextStore(TextStore&& other) noexcept;
    TextStore& operator=(TextStore&& other) noexcept;
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    // A copy of the bytes that lives as long as the store.
    [[nodiscard]] Text keep(std::string_view bytes);
    // The same, but equal bytes share one copy: for names, numbers and
    // paths that thousands of records repeat.
    [[nodiscard]] Text intern(std::string_view bytes);

    // Bytes held, for the benchmarks' accounting.
    [[nodiscard]] size_t capacityBytes() const { return capacity_; }

private:
    static constexpr size_t kBlockSize = 64 * 1024;

    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    size_t left_ = 0;
    size_t capacity_ = 0;
    std::unordered_set<std::string_view> interned_;
};

}  // namespace vessamo
