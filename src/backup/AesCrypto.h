#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Status.h"

namespace vessamo {

// Key material that is wiped (OPENSSL_cleanse) when it goes: a password,
// a derived key or an unwrapped class or file key. Move-only, so no stray
// copy outlives the one that is wiped.
class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(size_t size) : bytes_(size) {}
    SecretBytes(std::span<const uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}  // NOLINT
    // Takes the text's bytes and wipes the text.
    [[nodiscard]] static SecretBytes takeText(std::string& text);
    ~SecretBytes() { wipe(); }
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    [[nodiscard]] std::span<const uint8_t> view() const { return bytes_; }
    [[nodiscard]] uint8_t* data() { return bytes_.data(); }
    [[nodiscard]] size_t size() const { return bytes_.size(); }
    [[nodiscard]] bool empty() const { return bytes_.empty(); }

private:
    void wipe();
    std::vector<uint8_t> bytes_;
};

[[nodiscard]] inline std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// AES key wrap (RFC 3394) with a 128, 192 or 256-bit key-encryption key.
// Unwrapping fails (invalid) when the integrity check does not hold: the
// wrong key, or wrapped bytes that were altered.
[[nodiscard]] StatusOr<SecretBytes> aesUnwrap(std::span<const uint8_t> kek,
                                              std::span<const uint8_t> wrapped);
[[nodiscard]] StatusOr<std::string> aesWrap(std::span<const uint8_t> kek,
                                            std::span<const uint8_t> plain);

// AES-256-CBC with an all-zero IV and PKCS#7 padding, the way backups
// store their files. One call for data held whole; AesCbcDecryptor for
// data streamed in pieces.
[[nodiscard]] StatusOr<std::string> aesCbcDecrypt(std::span<const uint8_t> key,
                                                  std::string_view cipherText);
[[nodiscard]] StatusOr<std::string> aesCbcEncrypt(std::span<const uint8_t> key,
                                                  std::string_view plainText);

class AesCbcDecryptor {
public:
    // invalid() tells a key of the wrong size.
    explicit AesCbcDecryptor(std::span<const uint8_t> key);
    ~AesCbcDecryptor();
    AesCbcDecryptor(const AesCbcDecryptor&) = delete;
    AesCbcDecryptor& operator=(const AesCbcDecryptor&) = delete;

    [[nodiscard]] bool valid() const { return context_ != nullptr; }
    // Appends the plain text of the next piece to out.
    [[nodiscard]] Status update(std::string_view piece, std::string& out);
    // Appends the last block without its padding; corrupt when the input
    // was not whole blocks or the padding does not check.
    [[nodiscard]] Status finish(std::string& out);

private:
    void* context_ = nullptr;  // EVP_CIPHER_CTX
};

}  // namespace vessamo
