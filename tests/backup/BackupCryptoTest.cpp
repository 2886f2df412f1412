#include <gtest/gtest.h>

#include <string>

#include "backup/AesCrypto.h"
#include "backup/KeyBag.h"
#include "backup/KeyBagDerivation.h"
#include "sample/SampleEncryption.h"

namespace vessamo {
namespace {

std::string hexOf(std::span<const uint8_t> bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

std::string derived(KeyBagDigest digest, const std::string& password, const std::string& salt,
                    uint32_t rounds, size_t length) {
    auto key = pbkdf2(digest, bytesOf(password), bytesOf(salt), rounds, length);
    return key.ok() ? hexOf(key->view()) : key.status().message();
}

// RFC 3394 section 4: 4.1 (128-bit KEK), 4.3 (256-bit KEK, 128-bit data)
// and 4.6 (256-bit KEK, 256-bit data).
TEST(AesKeyWrap, MatchesTheRfcVectorsAndRefusesAlteredKeys) {
    const std::string kek128 = fromHex("000102030405060708090a0b0c0d0e0f");
    const std::string kek256 =
        fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const struct {
        std::string kek, plain, wrapped;
    } vectors[] = {
        {kek128, "00112233445566778899aabbccddeeff",
         "1fa68b0a8112b447aef34bd8fb5a7b829d3e862371d2cfe5"},
        {kek256, "00112233445566778899aabbccddeeff",
         "64e8c3f9ce0f5ba263e9777905818a2a93c8191e7d6e8ae7"},
        {kek256, "00112233445566778899aabbccddeeff000102030405060708090a0b0c0d0e0f",
         "28c9f404c4b810f4cbccb35cfb87f8263f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21"},
    };
    for (const auto& v : vectors) {
        auto wrapped = aesWrap(bytesOf(v.kek), bytesOf(fromHex(v.plain)));
        ASSERT_TRUE(wrapped.ok());
        EXPECT_EQ(hexOf(bytesOf(*wrapped)), v.wrapped);
        auto plain = aesUnwrap(bytesOf(v.kek), bytesOf(fromHex(v.wrapped)));
        ASSERT_TRUE(plain.ok());
        EXPECT_EQ(hexOf(plain->view()), v.plain);

        std::string altered = fromHex(v.wrapped);
        altered[altered.size() - 1] ^= 1;
        EXPECT_FALSE(aesUnwrap(bytesOf(v.kek), bytesOf(altered)).ok());
        EXPECT_FALSE(aesUnwrap(bytesOf(v.kek), bytesOf(altered.substr(0, 20))).ok());
    }
}

TEST(Pbkdf2, MatchesPublishedVectors) {
    // RFC 6070, PBKDF2-HMAC-SHA1.
    EXPECT_EQ(derived(KeyBagDigest::sha1, "password", "salt", 1, 20),
              "0c60c80f961f0e71f3a9b524af6012062fe037a6");
    EXPECT_EQ(derived(KeyBagDigest::sha1, "password", "salt", 2, 20),
              "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    EXPECT_EQ(derived(KeyBagDigest::sha1, "password", "salt", 4096, 20),
              "4b007901b765489abead49d926f721d065a429c1");
    EXPECT_EQ(derived(KeyBagDigest::sha1, "passwordPASSWORDpassword",
                      "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25),
              "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    EXPECT_EQ(derived(KeyBagDigest::sha1, std::string("pass\0word", 9), std::string("sa\0lt", 5),
                      4096, 16),
              "56fa6aa75548099dcc37d7f03425e0c3");
    // RFC 7914 section 11, PBKDF2-HMAC-SHA256.
    EXPECT_EQ(derived(KeyBagDigest::sha256, "passwd", "salt", 1, 64),
              "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
              "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
    EXPECT_EQ(derived(KeyBagDigest::sha256, "Password", "NaCl", 80000, 64),
              "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
              "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d");
}

TEST(Pbkdf2, ReportsProgressAndStopsWhenTold) {
    std::vector<int> seen;
    const DerivationProgress untilHalf = [&seen](int percent) {
        seen.push_back(percent);
        return percent < 50;
    };
    auto key = pbkdf2(KeyBagDigest::sha256, bytesOf("pw"), bytesOf("salt"), 1'000'000, 32,
                      DerivationSteps{&untilHalf, 0, 0});
    ASSERT_FALSE(key.ok());
    EXPECT_TRUE(key.status().is(StatusCode::cancelled));
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(seen.back(), 50);
    EXPECT_LT(seen.back(), 60);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(AesCbc, RoundTripsAndRefusesCutOrBadlyPaddedData) {
    const std::string key(32, '\x42');
    auto sealed = aesCbcEncrypt(bytesOf(key), "seventeen bytes!!");
    ASSERT_TRUE(sealed.ok());
    EXPECT_EQ(sealed->size(), 32u);
    auto plain = aesCbcDecrypt(bytesOf(key), *sealed);
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(*plain, "seventeen bytes!!");

    // Cut inside a block.
    EXPECT_TRUE(
        aesCbcDecrypt(bytesOf(key), sealed->substr(0, 27)).status().is(StatusCode::corrupt));
    // A whole block whose last plain byte is 0 is never valid padding.
    auto zeroEnded = aesCbcEncrypt(bytesOf(key), std::string(16, '\0'));
    ASSERT_TRUE(zeroEnded.ok());
    EXPECT_TRUE(
        aesCbcDecrypt(bytesOf(key), zeroEnded->substr(0, 16)).status().is(StatusCode::corrupt));
    EXPECT_FALSE(aesCbcDecrypt(bytesOf(key.substr(0, 16)), *sealed).ok());
}

TEST(KeyBag, OpensWithItsPasswordOnlyForBothDerivations) {
    for (const bool dataProtection : {true, false}) {
        sample::SampleEncryptionOptions options;
        options.password = "correct horse";
        options.dataProtectionRounds = 1000;
        options.rounds = 100;
        options.dataProtection = dataProtection;
        auto made = sample::SampleEncryption::make(options);
        ASSERT_TRUE(made);
        auto bag = KeyBag::parse(bytesOf(made->keyBag()));
        ASSERT_TRUE(bag.ok()) << bag.status().message();
        EXPECT_EQ(bag->iterations(), 100u);
        EXPECT_EQ(bag->dataProtectionIterations().has_value(), dataProtection);
        EXPECT_EQ(bag->classKeys().size(), 11u);

        auto keys = bag->unlock(bytesOf("correct horse"));
        ASSERT_TRUE(keys.ok()) << keys.status().message();
        EXPECT_EQ((*keys)->classCount(), 11u);
        auto fileKey = made->newFileKey(sample::SampleEncryption::kFileClass);
        ASSERT_TRUE(fileKey);
        auto opened = (*keys)->unwrapFileKey(bytesOf(fileKey->stored));
        ASSERT_TRUE(opened.ok());
        EXPECT_EQ(hexOf(opened->view()), hexOf(fileKey->key.view()));

        auto wrong = bag->unlock(bytesOf("correct horse "));
        ASSERT_FALSE(wrong.ok());
        EXPECT_EQ(wrong.status().message(), kWrongPasswordText);
    }
}

TEST(KeyBag, DamagedBagsAndKeysAreReportedAsDamage) {
    sample::SampleEncryptionOptions options;
    options.password = "pw";
    options.dataProtectionRounds = 10;
    options.rounds = 10;
    auto made = sample::SampleEncryption::make(options);
    ASSERT_TRUE(made);
    const std::string& bag = made->keyBag();
    auto cut = KeyBag::parse(bytesOf(bag.substr(0, bag.size() - 3)));
    EXPECT_TRUE(cut.status().is(StatusCode::corrupt));
    EXPECT_TRUE(KeyBag::parse(bytesOf(bag.substr(0, 40))).status().is(StatusCode::corrupt));

    auto keys = KeyBag::parse(bytesOf(bag))->unlock(bytesOf("pw"));
    ASSERT_TRUE(keys.ok());
    auto fileKey = made->newFileKey(3);
    ASSERT_TRUE(fileKey);
    std::string altered = fileKey->stored;
    altered[10] ^= 0x20;
    EXPECT_EQ((*keys)->unwrapFileKey(bytesOf(altered)).status().message(),
              "its file key fails its integrity check");
    std::string otherClass = fileKey->stored;
    otherClass[0] = 42;
    EXPECT_TRUE((*keys)->unwrapFileKey(bytesOf(otherClass)).status().is(StatusCode::corrupt));
    EXPECT_FALSE((*keys)->unwrapFileKey(bytesOf(fileKey->stored.substr(0, 10))).ok());
}

}  // namespace
}  // namespace vessamo
