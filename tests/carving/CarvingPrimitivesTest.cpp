#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "carving/CarvingFile.h"
#include "carving/CarvingPrimitives.h"

namespace vessamo {
namespace {

constexpr uint64_t kTop = std::numeric_limits<uint64_t>::max();

TEST(CarvingBigEndian, ReadsUnsignedFromStart) {
    const std::vector<uint8_t> bytes = {0x00, 0x12, 0x34, 0x56, 0xff, 0xff,
                                        0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(readBigEndian(bytes.data(), 1, 2), 0x1234u);
    EXPECT_EQ(readBigEndian(bytes.data(), 0, 4), 0x123456u);
    EXPECT_EQ(readBigEndian(bytes.data(), 4, 1), 0xffu);
    EXPECT_EQ(readBigEndian(bytes.data(), 4, 8), kTop);
    EXPECT_EQ(readBigEndian(bytes.data(), 1, 0), 0u);
    EXPECT_EQ(readBigEndian(bytes.data(), 1, -3), 0u);
    EXPECT_EQ(readBigEndian(bytes.data(), -1, 2), 0u);
    EXPECT_EQ(readBigEndian(nullptr, 0, 2), 0u);
}

TEST(CarvingFieldLength, FollowsTheSerialTypeTable) {
    const std::vector<std::pair<int64_t, int64_t>> table = {
        {-7, 0}, {-1, 0}, {0, 0},  {1, 1},  {2, 2},     {3, 3},       {4, 4},      {5, 6},
        {6, 8},  {7, 8},  {8, 0},  {9, 0},  {10, 0},    {11, 0},      {12, 0},     {13, 0},
        {14, 1}, {15, 1}, {16, 2}, {17, 2}, {255, 121}, {4095, 2041}, {4096, 2042}};
    for (const auto& [type, length] : table) {
        EXPECT_EQ(getFieldDataLengthBy(type), length) << "serial type " << type;
    }
}

// The digit-string procedure the integer version must reproduce exactly.
int64_t alterIntegerByDigits(uint8_t a, uint8_t b) {
    auto binary = [](unsigned value) {
        std::string digits;
        for (; value != 0; value >>= 1) {
            digits.insert(digits.begin(), static_cast<char>('0' + (value & 1)));
        }
        return digits.empty() ? std::string("0") : digits;
    };
    std::string low = binary(b);
    if (low.size() < 7) {
        low.insert(0, 7 - low.size(), '0');
    }
    std::string joined = binary(a) + low;
    if (joined.compare(0, 2, "10") == 0) {
        joined.erase(0, 2);
    }
    int64_t value = 0;
    for (char digit : joined) {
        value = value * 2 + (digit - '0');
    }
    return value;
}

TEST(CarvingAlterInteger, MatchesTheDigitProcedureForEveryPair) {
    int mismatches = 0;
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const auto first = static_cast<uint8_t>(a);
            const auto second = static_cast<uint8_t>(b);
            if (getAlterInteger(first, second) != alterIntegerByDigits(first, second)) {
                ADD_FAILURE() << "a=" << a << " b=" << b;
                if (++mismatches > 10) {
                    return;
                }
            }
        }
    }
}

TEST(CarvingAlterInteger, KnownValuesAndTheLargeTypeBoundary) {
    EXPECT_EQ(getAlterInteger(0x80, 0x05), 5);
    EXPECT_EQ(getAlterInteger(0x81, 0x05), 133);
    EXPECT_EQ(getAlterInteger(0x9f, 0x7f), 4095);
    EXPECT_EQ(getAlterInteger(0x00, 0x05), 5);
    EXPECT_EQ(getAlterInteger(0x01, 0x05), 5);     // "1"+"0000101": the "10" goes
    EXPECT_EQ(getAlterInteger(0x01, 0x45), 0xC5);  // "1"+"1000101": nothing dropped
    for (int a = 0xA0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            ASSERT_GT(getAlterInteger(static_cast<uint8_t>(a), static_cast<uint8_t>(b)), 4095)
                << "a=" << a << " b=" << b;
        }
    }
}

CarvingFile headerWithPageSize(uint16_t stored) {
    std::vector<uint8_t> header(100, 0);
    header[16] = static_cast<uint8_t>(stored >> 8);
    header[17] = static_cast<uint8_t>(stored & 0xff);
    return CarvingFile(header);
}

TEST(CarvingPageSize, AcceptsOnlyPowersOfTwoFrom512) {
    const std::vector<std::pair<uint16_t, uint32_t>> table = {
        {0, 0}, {1, 65536}, {512, 512}, {1024, 1024}, {4096, 4096}, {32768, 32768}, {256, 0},
        {2, 0}, {3, 0},     {513, 0},   {1000, 0},    {4097, 0},    {0xffff, 0}};
    for (const auto& [stored, expected] : table) {
        const CarvingFile file = headerWithPageSize(stored);
        EXPECT_EQ(readPageSize(&file), expected) << "stored " << stored;
    }
    std::vector<uint8_t> shortHeader(99, 0);
    shortHeader[16] = 0x10;
    const CarvingFile truncated(shortHeader);
    EXPECT_EQ(readPageSize(&truncated), 0u);
    EXPECT_EQ(readPageSize(nullptr), 0u);
}

TEST(CarvingPageSize, PageCountCountsWholePagesAndNeverDividesByZero) {
    EXPECT_EQ(pageCount(8192, 4096), 2u);
    EXPECT_EQ(pageCount(8191, 4096), 1u);
    EXPECT_EQ(pageCount(0, 4096), 0u);
    EXPECT_EQ(pageCount(8192, 0), 0u);
    EXPECT_EQ(pageCount(kTop, 65536), kTop >> 16);
}

}  // namespace
}  // namespace vessamo
