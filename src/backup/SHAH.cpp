#include "backup/SHAH.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vessamo {

namespace {

constexpr size_t kBlockSize = 64;
constexpr size_t kLengthFieldSize = 8;

constexpr uint32_t rotl(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

uint32_t loadBigEndian(const uint8_t* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           uint32_t{bytes[3]};
}

void storeBigEndian(uint32_t value, uint8_t* bytes) {
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

}  // namespace

void SHAH::reset() {
    state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    block_.fill(0);
    blockUsed_ = 0;
    lengthBits_ = 0;
    overflowed_ = false;
    finished_ = false;
}

void SHAH::processBlock(const uint8_t* block) {
    // A 16-word ring instead of the 80-word schedule keeps the working set in registers.
    std::array<uint32_t, 16> w{};
    for (size_t i = 0; i < 16; ++i) {
        w[i] = loadBigEndian(block + 4 * i);
    }
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (size_t t = 0; t < 80; ++t) {
        if (t >= 16) {
            w[t & 15] = rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
        }
        uint32_t f = 0;
        uint32_t k = 0;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const uint32_t temp = rotl(a, 5) + f + e + k + w[t & 15];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void SHAH::update(const void* data, size_t length) {
    if (finished_ || overflowed_ || length == 0) {
        return;
    }
    // The length field is 64 bits of *bits*; past that the digest is undefined, so refuse it
    // rather than silently wrap.
    const uint64_t roomBytes = (std::numeric_limits<uint64_t>::max() - lengthBits_) / 8;
    if (uint64_t{length} > roomBytes) {
        overflowed_ = true;
        return;
    }
    lengthBits_ += uint64_t{length} * 8;

    const auto* bytes = static_cast<const uint8_t*>(data);
    if (blockUsed_ > 0) {
        const size_t take = std::min(length, kBlockSize - blockUsed_);
        std::memcpy(block_.data() + blockUsed_, bytes, take);
        blockUsed_ += take;
        bytes += take;
        length -= take;
        if (blockUsed_ < kBlockSize) {
            return;
        }
        processBlock(block_.data());
        blockUsed_ = 0;
    }
    // Whole blocks straight from the caller's buffer: hashing large files should not pay a copy.
    while (length >= kBlockSize) {
        processBlock(bytes);
        bytes += kBlockSize;
        length -= kBlockSize;
    }
    if (length > 0) {
        std::memcpy(block_.data(), bytes, length);
        blockUsed_ = length;
    }
}

bool SHAH::final(Digest& out) {
    if (finished_ || overflowed_) {
        return false;
    }
    finished_ = true;

    block_[blockUsed_++] = 0x80;
    if (blockUsed_ > kBlockSize - kLengthFieldSize) {
        std::memset(block_.data() + blockUsed_, 0, kBlockSize - blockUsed_);
        processBlock(block_.data());
        blockUsed_ = 0;
    }
    std::memset(block_.data() + blockUsed_, 0, kBlockSize - kLengthFieldSize - blockUsed_);
    storeBigEndian(static_cast<uint32_t>(lengthBits_ >> 32), block_.data() + 56);
    storeBigEndian(static_cast<uint32_t>(lengthBits_), block_.data() + 60);
    processBlock(block_.data());
    blockUsed_ = 0;

    for (size_t i = 0; i < state_.size(); ++i) {
        storeBigEndian(state_[i], out.data() + 4 * i);
    }
    return true;
}

std::string SHAH::hexDigest() {
    Digest digest{};
    if (!final(digest)) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex(digest.size() * 2, '0');
    for (size_t i = 0; i < digest.size(); ++i) {
        hex[2 * i] = kHex[digest[i] >> 4];
        hex[2 * i + 1] = kHex[digest[i] & 0x0F];
    }
    return hex;
}

std::string SHAH::hexOf(std::string_view text) {
    SHAH sha;
    sha.update(text);
    return sha.hexDigest();
}

}  // namespace vessamo
