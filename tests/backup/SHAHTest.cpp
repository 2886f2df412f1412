#include "backup/SHAH.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace vessamo {
namespace {

std::string hexInChunks(std::string_view text, const std::vector<size_t>& cuts) {
    SHAH sha;
    size_t start = 0;
    for (size_t cut : cuts) {
        sha.update(text.substr(start, cut - start));
        start = cut;
    }
    sha.update(text.substr(start));
    return sha.hexDigest();
}

// Published vectors, and lengths around 56 and 64 bytes, which decide
// whether padding spills into an extra block.
TEST(SHAHVectors, PublishedVectorsAndPaddingBoundaries) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
        {std::string(119, 'a'), "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
        {std::string(120, 'a'), "f34c1488385346a55709ba056ddd08280dd4c6d6"},
        {std::string(128, 'a'), "ad5b3fdbcb526778c2839d2f151ea753995e26a0"},
    };
    for (const auto& [text, hex] : cases) {
        EXPECT_EQ(SHAH::hexOf(text), hex) << "length " << text.size();
    }
    // A million "a" fed in uneven pieces.
    const std::string chunk(997, 'a');
    SHAH sha;
    size_t fed = 0;
    for (size_t step = 1; fed < 1000000; step = step * 7 % 997 + 1) {
        const size_t take = std::min(step, size_t{1000000} - fed);
        sha.update(chunk.data(), take);
        fed += take;
    }
    EXPECT_EQ(sha.hexDigest(), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(SHAHStreaming, RandomSplitPointsGiveTheSameDigest) {
    std::mt19937 random(20240611);
    std::string text(1000, '\0');
    for (char& ch : text) {
        ch = static_cast<char>(random() & 0xFF);
    }
    const std::string whole = SHAH::hexOf(text);
    ASSERT_EQ(whole.size(), 40u);
    for (int round = 0; round < 50; ++round) {
        std::vector<size_t> cuts(static_cast<size_t>(round % 9) + 1);
        for (size_t& cut : cuts) {
            cut = random() % (text.size() + 1);
        }
        std::sort(cuts.begin(), cuts.end());
        EXPECT_EQ(hexInChunks(text, cuts), whole) << "round " << round;
    }
}

// final() closes a message: a second one fails and later input is ignored
// until reset(), which also discards whatever was fed before it.
TEST(SHAHStreaming, FinalClosesTheMessageUntilReset) {
    SHAH sha;
    sha.update("abc");
    SHAH::Digest first{};
    ASSERT_TRUE(sha.final(first));
    EXPECT_EQ(first[0], 0xa9);
    EXPECT_EQ(first[19], 0x9d);

    SHAH::Digest second{};
    EXPECT_FALSE(sha.final(second));
    sha.update("more");
    EXPECT_EQ(sha.hexDigest(), "");

    sha.reset();
    sha.update("discarded, and long enough to leave a partial block behind it");
    sha.reset();
    sha.update("ab");
    sha.update("c");
    EXPECT_EQ(sha.hexDigest(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

}  // namespace
}  // namespace vessamo
