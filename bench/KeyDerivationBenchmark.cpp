// Times what opening an encrypted backup costs before any file is read:
// the key bag's derivation at the rounds iOS uses (10,000,000 rounds of
// PBKDF2-HMAC-SHA256, then 10,000 of PBKDF2-HMAC-SHA1) and the unwrapping
// of its class keys. Our round-by-round derivation, which reports progress
// and can be stopped, is set beside libcrypto's one-call PBKDF2 to show
// what that costs. "--rounds N" changes the SHA-256 count.
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backup/KeyBag.h"
#include "sample/SampleEncryption.h"

using namespace vessamo;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t rounds = 10'000'000;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    }
    sample::SampleEncryptionOptions options;
    options.password = "a realistic passphrase";
    options.dataProtectionRounds = rounds;
    auto start = Clock::now();
    auto made = sample::SampleEncryption::make(options);
    if (!made) {
        std::fprintf(stderr, "cannot make a key bag\n");
        return 1;
    }
    std::printf("key bag made (one derivation):         %.2f s\n", secondsSince(start));

    auto bag = KeyBag::parse(bytesOf(made->keyBag()));
    int reports = 0;
    const DerivationProgress counting = [&reports](int) {
        ++reports;
        return true;
    };
    start = Clock::now();
    auto keys = bag->unlock(bytesOf(options.password), counting);
    const double unlock = secondsSince(start);
    if (!keys.ok()) {
        std::fprintf(stderr, "unlock failed: %s\n", keys.status().message().c_str());
        return 1;
    }
    std::printf("unlock, %u SHA-256 + %u SHA-1 rounds: %.2f s (%d progress reports)\n", rounds,
                options.rounds, unlock, reports);

    start = Clock::now();
    auto wrong = bag->unlock(bytesOf("not the passphrase"));
    std::printf("wrong password refused after:          %.2f s (%s)\n", secondsSince(start),
                wrong.ok() ? "accepted!" : "refused");

    unsigned char out[32];
    const char salt[] = "0123456789abcdefghij";
    start = Clock::now();
    PKCS5_PBKDF2_HMAC(options.password.data(), static_cast<int>(options.password.size()),
                      reinterpret_cast<const unsigned char*>(salt), 20, static_cast<int>(rounds),
                      EVP_sha256(), sizeof out, out);
    std::printf("libcrypto one-call PBKDF2-SHA256:       %.2f s\n", secondsSince(start));
    return 0;
}
