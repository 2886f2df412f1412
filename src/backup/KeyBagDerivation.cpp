#include "backup/KeyBagDerivation.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <array>
#include <memory>

namespace vessamo {

namespace {

constexpr uint32_t kRoundsPerReport = 65536;

struct MacFree {
    void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
    void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};

// One HMAC keyed once; each round re-initialises it from the stored key.
class Hmac {
public:
    Hmac(KeyBagDigest digest, std::span<const uint8_t> key) {
        mac_.reset(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
        context_.reset(mac_ ? EVP_MAC_CTX_new(mac_.get()) : nullptr);
        char name[8] = "SHA1";
        if (digest == KeyBagDigest::sha256) {
            std::copy_n("SHA256", 7, name);
        }
        const OSSL_PARAM params[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, name, 0),
            OSSL_PARAM_construct_end()};
        static const uint8_t kEmpty = 0;
        ok_ = context_ && EVP_MAC_init(context_.get(), key.empty() ? &kEmpty : key.data(),
                                       key.size(), params) == 1;
        size_ = ok_ ? EVP_MAC_CTX_get_mac_size(context_.get()) : 0;
    }
    [[nodiscard]] bool ok() const { return ok_; }
    [[nodiscard]] size_t size() const { return size_; }

    // HMAC of the parts, written to out (size() bytes).
    bool run(std::span<const uint8_t> first, std::span<const uint8_t> second, uint8_t* out) {
        size_t written = 0;
        return EVP_MAC_init(context_.get(), nullptr, 0, nullptr) == 1 &&
               EVP_MAC_update(context_.get(), first.data(), first.size()) == 1 &&
               (second.empty() || EVP_MAC_update(context_.get(), second.data(), second.size())) &&
               EVP_MAC_final(context_.get(), out, &written, size_) == 1 && written == size_;
    }

private:
    std::unique_ptr<EVP_MAC, MacFree> mac_;
    std::unique_ptr<EVP_MAC_CTX, MacFree> context_;
    bool ok_ = false;
    size_t size_ = 0;
};

bool report(const DerivationSteps& steps, uint64_t done) {
    if (steps.progress == nullptr || !*steps.progress || steps.total == 0) {
        return true;
    }
    const uint64_t percent = std::min<uint64_t>(100, (steps.offset + done) * 100 / steps.total);
    return (*steps.progress)(static_cast<int>(percent));
}

}  // namespace

StatusOr<SecretBytes> pbkdf2(KeyBagDigest digest, std::span<const uint8_t> password,
                             std::span<const uint8_t> salt, uint32_t iterations, size_t length,
                             const DerivationSteps& steps) {
    Hmac hmac(digest, password);
    if (!hmac.ok() || iterations == 0 || length == 0) {
        return Status::invalid("the key derivation cannot run");
    }
    const size_t blockSize = hmac.size();
    const size_t blocks = (length + blockSize - 1) / blockSize;
    DerivationSteps counted = steps;
    if (counted.total == 0) {
        counted.total = uint64_t{iterations} * blocks;
    }
    SecretBytes out(blocks * blockSize);
    SecretBytes round(blockSize);
    uint64_t done = 0;
    for (uint32_t block = 1; block <= blocks; ++block) {
        const std::array<uint8_t, 4> index = {
            static_cast<uint8_t>(block >> 24), static_cast<uint8_t>(block >> 16),
            static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
        uint8_t* sum = out.data() + (block - 1) * blockSize;
        if (!hmac.run(salt, index, round.data())) {
            return Status::invalid("the key derivation failed");
        }
        std::copy_n(round.data(), blockSize, sum);
        for (uint32_t i = 1; i < iterations; ++i) {
            if (!hmac.run(round.view(), {}, round.data())) {
                return Status::invalid("the key derivation failed");
            }
            for (size_t b = 0; b < blockSize; ++b) {
                sum[b] ^= round.data()[b];
            }
            if (++done % kRoundsPerReport == 0 && !report(counted, done)) {
                return Status::cancelled("the key derivation was stopped");
            }
        }
        ++done;
    }
    report(counted, done);
    if (out.size() == length) {
        return out;
    }
    return SecretBytes(out.view().first(length));
}

}  // namespace vessamo
