#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vessamo {

// SHA-256 (FIPS 180-4), our own like the SHA-1 of the file keys: a helper
// program is checked against it before it runs, and that check needs no
// crypto library.
class Sha256 {
public:
    Sha256();
    void update(std::string_view bytes);
    // The digest as 64 lowercase hex digits; the object is spent after it.
    [[nodiscard]] std::string hexDigest();

    [[nodiscard]] static std::string ofBytes(std::string_view bytes);

private:
    void block(const uint8_t* chunk);

    std::array<uint32_t, 8> state_{};
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes so far
};

}  // namespace vessamo
