#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vessamo {

// SHA-1 (FIPS 180-1), our own so the file-key rule has no crypto dependency.
// Usage: reset(), update() any number of times, then final() or hexDigest().
class SHAH {
public:
    using Digest = std::array<uint8_t, 20>;

    SHAH() { reset(); }
    void reset();
    void update(const void* data, size_t length);
    void update(std::string_view text) { update(text.data(), text.size()); }
    // False when the digest cannot be computed: the message passed 2^64 - 1
    // bits, or update() was called after final() without a reset().
    [[nodiscard]] bool final(Digest& out);
    // The 40 lowercase hex digits, or "" when final() failed.
    [[nodiscard]] std::string hexDigest();

    // Lowercase hex SHA-1 of one whole text.
    [[nodiscard]] static std::string hexOf(std::string_view text);

private:
    void processBlock(const uint8_t* block);

    std::array<uint32_t, 5> state_{};
    std::array<uint8_t, 64> block_{};
    size_t blockUsed_ = 0;
    uint64_t lengthBits_ = 0;
    bool overflowed_ = false;
    bool finished_ = false;
};

}  // namespace vessamo
