#include "backup/AesCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace vessamo {

namespace {

constexpr size_t kBlock = 16;
constexpr size_t kCbcKeyBytes = 32;

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const EVP_CIPHER* wrapCipherFor(size_t kekBytes) {
    switch (kekBytes) {
        case 16:
            return EVP_aes_128_wrap();
        case 24:
            return EVP_aes_192_wrap();
        case 32:
            return EVP_aes_256_wrap();
        default:
            return nullptr;
    }
}

// One pass of the wrap cipher; the output is at most one block longer.
bool runWrap(bool encrypt, std::span<const uint8_t> kek, std::span<const uint8_t> input,
             uint8_t* output, int& produced) {
    const EVP_CIPHER* cipher = wrapCipherFor(kek.size());
    CipherContext context(EVP_CIPHER_CTX_new());
    if (cipher == nullptr || !context || input.size() > INT_MAX - kBlock) {
        return false;
    }
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    int last = 0;
    return EVP_CipherInit_ex(context.get(), cipher, nullptr, kek.data(), nullptr,
                             encrypt ? 1 : 0) == 1 &&
           EVP_CipherUpdate(context.get(), output, &produced, input.data(),
                            static_cast<int>(input.size())) == 1 &&
           EVP_CipherFinal_ex(context.get(), output + produced, &last) == 1 &&
           (produced += last, true);
}

}  // namespace

SecretBytes SecretBytes::takeText(std::string& text) {
    SecretBytes secret(bytesOf(text));
    OPENSSL_cleanse(text.data(), text.size());
    text.clear();
    return secret;
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept : bytes_(std::move(other.bytes_)) {
    other.bytes_.clear();
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
    if (this != &other) {
        wipe();
        bytes_ = std::move(other.bytes_);
        other.bytes_.clear();
    }
    return *this;
}

void SecretBytes::wipe() {
    if (!bytes_.empty()) {
        OPENSSL_cleanse(bytes_.data(), bytes_.size());
    }
}

StatusOr<SecretBytes> aesUnwrap(std::span<const uint8_t> kek, std::span<const uint8_t> wrapped) {
    if (wrapped.size() < 24 || wrapped.size() % 8 != 0) {
        return Status::invalid("a wrapped key must be 24 or more bytes, in steps of 8");
    }
    SecretBytes plain(wrapped.size() + kBlock);
    int produced = 0;
    if (!runWrap(false, kek, wrapped, plain.data(), produced) ||
        static_cast<size_t>(produced) != wrapped.size() - 8) {
        return Status::invalid("the wrapped key fails its integrity check");
    }
    return SecretBytes(plain.view().first(static_cast<size_t>(produced)));
}

StatusOr<std::string> aesWrap(std::span<const uint8_t> kek, std::span<const uint8_t> plain) {
    if (plain.size() < 16 || plain.size() % 8 != 0) {
        return Status::invalid("a key to wrap must be 16 or more bytes, in steps of 8");
    }
    std::string wrapped(plain.size() + 8 + kBlock, '\0');
    int produced = 0;
    if (!runWrap(true, kek, plain, reinterpret_cast<uint8_t*>(wrapped.data()), produced)) {
        return Status::invalid("the key could not be wrapped");
    }
    wrapped.resize(static_cast<size_t>(produced));
    return wrapped;
}

AesCbcDecryptor::AesCbcDecryptor(std::span<const uint8_t> key) {
    if (key.size() != kCbcKeyBytes) {
        return;
    }
    CipherContext context(EVP_CIPHER_CTX_new());
    const uint8_t iv[kBlock] = {};
    if (context &&
        EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) == 1) {
        context_ = context.release();
    }
}

AesCbcDecryptor::~AesCbcDecryptor() {
    EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(context_));
}

Status AesCbcDecryptor::update(std::string_view piece, std::string& out) {
    if (context_ == nullptr || piece.size() > INT_MAX - kBlock) {
        return Status::invalid("no usable file key");
    }
    const size_t start = out.size();
    out.resize(start + piece.size() + kBlock);
    int produced = 0;
    if (EVP_DecryptUpdate(static_cast<EVP_CIPHER_CTX*>(context_),
                          reinterpret_cast<uint8_t*>(out.data() + start), &produced,
                          reinterpret_cast<const uint8_t*>(piece.data()),
                          static_cast<int>(piece.size())) != 1) {
        out.resize(start);
        return Status::corrupt("its data does not decrypt");
    }
    out.resize(start + static_cast<size_t>(produced));
    return Status();
}

Status AesCbcDecryptor::finish(std::string& out) {
    if (context_ == nullptr) {
        return Status::invalid("no usable file key");
    }
    const size_t start = out.size();
    out.resize(start + kBlock);
    int produced = 0;
    if (EVP_DecryptFinal_ex(static_cast<EVP_CIPHER_CTX*>(context_),
                            reinterpret_cast<uint8_t*>(out.data() + start), &produced) != 1) {
        out.resize(start);
        return Status::corrupt("its encrypted data is cut short or its padding is wrong");
    }
    out.resize(start + static_cast<size_t>(produced));
    return Status();
}

StatusOr<std::string> aesCbcDecrypt(std::span<const uint8_t> key, std::string_view cipherText) {
    AesCbcDecryptor decryptor(key);
    std::string plain;
    Status status = decryptor.update(cipherText, plain);
    if (status.ok()) {
        status = decryptor.finish(plain);
    }
    if (!status.ok()) {
        return status;
    }
    return plain;
}

StatusOr<std::string> aesCbcEncrypt(std::span<const uint8_t> key, std::string_view plainText) {
    CipherContext context(EVP_CIPHER_CTX_new());
    const uint8_t iv[kBlock] = {};
    if (key.size() != kCbcKeyBytes || !context || plainText.size() > INT_MAX - kBlock ||
        EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) != 1) {
        return Status::invalid("no usable key to encrypt with");
    }
    std::string out(plainText.size() + kBlock, '\0');
    int produced = 0;
    int last = 0;
    auto* into = reinterpret_cast<uint8_t*>(out.data());
    if (EVP_EncryptUpdate(context.get(), into, &produced,
                          reinterpret_cast<const uint8_t*>(plainText.data()),
                          static_cast<int>(plainText.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), into + produced, &last) != 1) {
        return Status::invalid("the data could not be encrypted");
    }
    out.resize(static_cast<size_t>(produced + last));
    return out;
}

}  // namespace vessamo
