#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "carving/CarvingFile.h"
#include "carving/CarvingPrimitives.h"
#include "common/ScratchFolder.h"
#include "support/TestSupport.h"

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
    EXPECT_EQ(getAlterInteger(0x81, 0x05), 133);
    EXPECT_EQ(getAlterInteger(0x01, 0x05), 5);     // "1"+"0000101": the "10" goes
    EXPECT_EQ(getAlterInteger(0x01, 0x45), 0xC5);  // "1"+"1000101": nothing dropped
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

std::vector<uint8_t> patternBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

std::vector<uint8_t> readBack(const CarvingFile& file, uint64_t offset, size_t n) {
    std::vector<uint8_t> out(n, 0xEE);  // stale content must not survive a read
    file.readAt(offset, out.data(), out.size());
    return out;
}

TEST(CarvingFile, MemoryBytesReadBackAndPastTheEndReadsZero) {
    const CarvingFile file(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(file.size(), 10u);
    EXPECT_EQ(readBack(file, 0, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(readBack(file, 8, 4), (std::vector<uint8_t>{9, 10, 0, 0}));
    EXPECT_EQ(readBack(file, 10, 3), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(readBack(file, std::numeric_limits<uint64_t>::max() - 1, 4),
              (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(CarvingFile, DiskReadsMatchTheBytesAcrossCacheWindows) {
    auto folder = ScratchFolder::create("carving");
    ASSERT_TRUE(folder);
    const std::string path = folder->uniquePath("chat.sqlite");
    const std::vector<uint8_t> bytes = patternBytes(200 * 1024 + 77);
    test::writeFile(path, std::string(bytes.begin(), bytes.end()));
    const auto disk = CarvingFile::open(path);
    ASSERT_NE(disk, nullptr);
    ASSERT_EQ(disk->size(), bytes.size());
    const CarvingFile memory(bytes);

    // Within one window, straddling a boundary, spanning several windows,
    // jumping back to an earlier window, and running off the end.
    const std::vector<std::pair<uint64_t, size_t>> reads = {
        {16, 2},         {4096, 4096},   {65536 - 3, 8},         {70000, 1},
        {100, 150000},   {65535, 1},     {bytes.size() - 5, 64}, {bytes.size() + 9, 4},
        {131072, 65536}, {196608, 9000}, {0, bytes.size() + 10}};
    for (const auto& [offset, n] : reads) {
        EXPECT_EQ(readBack(*disk, offset, n), readBack(memory, offset, n))
            << "offset " << offset << " length " << n;
    }
}

// Only readable files open; a moved file keeps its bytes.
TEST(CarvingFile, OpenRefusesWhatIsNotAFileAndMovesKeepTheBytes) {
    auto folder = ScratchFolder::create("carving");
    ASSERT_TRUE(folder);
    EXPECT_EQ(CarvingFile::open(folder->path() + "/missing.sqlite"), nullptr);
    EXPECT_EQ(CarvingFile::open(folder->path()), nullptr);
    const std::string path = folder->uniquePath("moved.sqlite");
    test::writeFile(path, "SQLite format 3");
    auto opened = CarvingFile::open(path);
    ASSERT_NE(opened, nullptr);
    CarvingFile moved(std::move(*opened));
    EXPECT_EQ(readBack(moved, 7, 6), (std::vector<uint8_t>{'f', 'o', 'r', 'm', 'a', 't'}));
    CarvingFile assigned(std::vector<uint8_t>{9});
    assigned = std::move(moved);
    EXPECT_EQ(assigned.size(), 15u);
    EXPECT_EQ(readBack(assigned, 0, 2), (std::vector<uint8_t>{'S', 'Q'}));
}

}  // namespace
}  // namespace vessamo
