#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "carving/CarvingFile.h"
#include "carving/RecordFieldReader.h"

namespace vessamo {
namespace {

constexpr uint64_t kBase = 40;
constexpr int64_t kHeaderLength = 6;
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// A record at kBase: serial-type bytes from its start, content kHeaderLength
// bytes later, plus `contentAt` bytes of earlier columns.
CarvingFile recordFile(const std::vector<uint8_t>& types, const std::vector<uint8_t>& content,
                       int64_t contentAt = 0) {
    std::vector<uint8_t> bytes(512, 0);
    std::copy(types.begin(), types.end(), bytes.begin() + kBase);
    std::copy(content.begin(), content.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(kBase + kHeaderLength + contentAt));
    return CarvingFile(bytes);
}

std::string textAtStart(const std::vector<uint8_t>& out) {
    const auto* begin = reinterpret_cast<const char*>(out.data());
    return std::string(begin, strnlen(begin, out.size()));
}

std::vector<uint8_t> bigEndianDouble(double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    std::vector<uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    }
    return bytes;
}

struct IntegerCase {
    uint8_t type;
    std::vector<uint8_t> content;
    std::string text;
};

TEST(CarvingRecordFields, IntegersShowTheirLow32BitsSigned) {
    const std::vector<IntegerCase> cases = {
        {1, {0xFF}, "255"},
        {2, {0xFF, 0xFE}, "65534"},
        {3, {0x80, 0x00, 0x00}, "8388608"},
        {4, {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        {4, {0x00, 0x00, 0x01, 0x00}, "256"},
        {5, {0x00, 0x00, 0x5A, 0x00, 0x00, 0x01}, std::to_string(int32_t{0x5A000001})},
        {5, {0x12, 0x34, 0x80, 0x00, 0x00, 0x01}, "-2147483647"},
        {6, {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05}, "5"},
        {6, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, "-2"},
    };
    for (const auto& [type, content, text] : cases) {
        // Earlier columns took 3 bytes; the byte after the field must not leak in.
        std::vector<uint8_t> withNeighbour = content;
        withNeighbour.push_back(0x37);
        const CarvingFile file = recordFile({0x17, type}, withNeighbour, 3);
        int64_t offset = 3;
        std::vector<uint8_t> out(300, 0xEE);
        ASSERT_TRUE(AnalyseDBDataFile(&file, 1, offset, kBase, kHeaderLength, out));
        EXPECT_EQ(textAtStart(out), text) << "type " << int{type};
        EXPECT_EQ(offset, 3 + static_cast<int64_t>(content.size())) << "type " << int{type};
    }
}

TEST(CarvingRecordFields, NumberTooLongForTheBufferIsLeftOutButSkipped) {
    const CarvingFile file = recordFile({4}, {0x80, 0x00, 0x00, 0x01});
    int64_t offset = 0;
    std::vector<uint8_t> out(11, 0xEE);  // "-2147483647" needs 12 with its NUL
    ASSERT_TRUE(AnalyseDBDataFile(&file, 0, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(out, std::vector<uint8_t>(11, 0xEE));
    EXPECT_EQ(offset, 4);
}

TEST(CarvingRecordFields, DoublesShowTheirWholePart) {
    const std::vector<std::pair<double, std::string>> cases = {
        {1.5, "1"},
        {-1.5, "-1"},
        {-0.5, "0"},
        {650000000.75, "650000000"},
        {474554040.0, "474554040"},
        {4.0e12, "4000000000000"},  // past 32 bits, still exact
        {std::nan(""), "0"},
        {std::numeric_limits<double>::infinity(), "0"},
        {-std::numeric_limits<double>::infinity(), "0"},
        {1.0e19, "0"},
        {-9.3e18, "0"},
    };
    for (const auto& [value, text] : cases) {
        const CarvingFile file = recordFile({7}, bigEndianDouble(value));
        int64_t offset = 0;
        std::vector<uint8_t> out(300, 0xEE);
        ASSERT_TRUE(AnalyseDBDataFile(&file, 0, offset, kBase, kHeaderLength, out));
        EXPECT_EQ(textAtStart(out), text) << value;
        EXPECT_EQ(offset, 8);
    }
}

TEST(CarvingRecordFields, TextAndBlobsAreCopiedRawAndAdvanceTheCursor) {
    // Type 23 is five bytes of text, type 18 three bytes of blob.
    const CarvingFile file = recordFile({23, 18}, {'h', 'e', 'l', 'l', 'o', 0x00, 0xC3, 0x01}, 2);
    int64_t offset = 2;
    std::vector<uint8_t> out(512, 0);
    ASSERT_TRUE(AnalyseDBDataFile(&file, 0, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(textAtStart(out), "hello");
    EXPECT_EQ(offset, 7);
    out.assign(512, 0);
    ASSERT_TRUE(AnalyseDBDataFile(&file, 1, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4),
              (std::vector<uint8_t>{0x00, 0xC3, 0x01, 0x00}));
    EXPECT_EQ(offset, 10);
}

TEST(CarvingRecordFields, LongTextIsCutToTheBufferButSkippedWhole) {
    std::vector<uint8_t> text(121);
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<uint8_t>('A' + i % 26);
    }
    const CarvingFile file = recordFile({255}, text);  // (255 - 13) / 2 = 121 bytes
    int64_t offset = 0;
    std::vector<uint8_t> page(64, 0xEE);
    const std::span<uint8_t> out(page.data() + 8, 40);  // guards on both sides
    ASSERT_TRUE(AnalyseDBDataFile(&file, 0, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(offset, 121);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), text.begin()));
    EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 8), std::vector<uint8_t>(8, 0xEE));
    EXPECT_EQ(std::vector<uint8_t>(page.begin() + 48, page.end()), std::vector<uint8_t>(16, 0xEE));
}

TEST(CarvingRecordFields, ContentPastTheEndReadsAsZeros) {
    const CarvingFile file = recordFile({23, 4}, {});
    int64_t offset = 1000;  // far beyond the 512-byte file
    std::vector<uint8_t> out(300, 0xEE);
    ASSERT_TRUE(AnalyseDBDataFile(&file, 0, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), std::vector<uint8_t>(5, 0));
    EXPECT_EQ(out[5], 0xEE);
    EXPECT_EQ(offset, 1005);
    ASSERT_TRUE(AnalyseDBDataFile(&file, 1, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(textAtStart(out), "0");
    EXPECT_EQ(offset, 1009);
}

TEST(CarvingRecordFields, PositionsThatWrapOrGoNegativeAreRefused) {
    const CarvingFile file = recordFile({23}, {'h', 'e', 'l', 'l', 'o'});
    std::vector<uint8_t> out(300, 0);
    auto refused = [&](int position, int64_t start, uint64_t base, int64_t headerLength) {
        int64_t offset = start;
        const bool plain = AnalyseDBDataFile(&file, position, offset, base, headerLength, out);
        const bool alter = AnalyseAlterbleDB(&file, position, offset, base, headerLength, out);
        return !plain && !alter && offset == start;
    };
    EXPECT_TRUE(refused(0, kInt64Max - 5, kBase, kInt64Max));      // base + length + offset wraps
    EXPECT_TRUE(refused(0, kInt64Max - 2, kBase, kHeaderLength));  // the cursor would wrap
    EXPECT_TRUE(refused(0, -1, kBase, kHeaderLength));
    EXPECT_TRUE(refused(0, 0, kBase, -1));
    EXPECT_TRUE(refused(-1, 0, kBase + 1, kHeaderLength));
    EXPECT_EQ(out, std::vector<uint8_t>(300, 0)) << "refused reads wrote into the buffer";
    EXPECT_FALSE(refused(0, 0, kBase, kHeaderLength));  // the same field is readable
    int64_t offset = 0;
    EXPECT_FALSE(AnalyseDBDataFile(nullptr, 0, offset, kBase, kHeaderLength, out));
    EXPECT_FALSE(AnalyseAlterbleDB(nullptr, 0, offset, kBase, kHeaderLength, out));
}

// Types 0 and 8..13 carry nothing to read. Skipping a column must move the
// cursor exactly as reading it would, or every later column is read from
// the wrong place.
TEST(CarvingRecordFields, SkippingAColumnMovesTheCursorAsReadingItDoes) {
    for (int type = 0; type < 256; ++type) {
        const CarvingFile file = recordFile({static_cast<uint8_t>(type)}, {'x', 'y'});
        const bool empty = type == 0 || (type >= 8 && type <= 13);
        for (const auto& [start, headerLength] :
             std::vector<std::pair<int64_t, int64_t>>{{0, kHeaderLength},
                                                      {kInt64Max - 2, kHeaderLength},
                                                      {-1, kHeaderLength},
                                                      {0, kInt64Max},
                                                      {0, -1}}) {
            int64_t read = start;
            int64_t skipped = start;
            std::vector<uint8_t> out(512, 0);
            const bool readSome = AnalyseDBDataFile(&file, 0, read, kBase, headerLength, out);
            skipColumn(file, 0, skipped, kBase, headerLength);
            ASSERT_EQ(skipped, read) << "type " << type << " from " << start;
            if (empty) {
                ASSERT_FALSE(readSome);
                ASSERT_EQ(read, start);
                ASSERT_EQ(out, std::vector<uint8_t>(512, 0)) << "type " << type;
            }
        }
    }
}

TEST(CarvingRecordFields, TwoByteTypeCopiesItsContentRaw) {
    std::vector<uint8_t> text(61);
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<uint8_t>('a' + i % 26);
    }
    // 0x81 0x05 is type 133: (133 - 13) / 2 = 60 bytes of text.
    const CarvingFile file = recordFile({0x00, 0x81, 0x05}, text, 4);
    int64_t offset = 4;
    std::vector<uint8_t> out(512, 0);
    ASSERT_TRUE(AnalyseAlterbleDB(&file, 1, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(offset, 64);
    EXPECT_TRUE(std::equal(text.begin(), text.begin() + 60, out.begin()));
    EXPECT_EQ(out[60], 0) << "read one byte too many";

    // Numbers are not converted on this path.
    const CarvingFile number = recordFile({0x80, 0x04}, {0x00, 0x00, 0x00, 0x2A});
    offset = 0;
    out.assign(512, 0);
    ASSERT_TRUE(AnalyseAlterbleDB(&number, 0, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4),
              (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x2A}));
    EXPECT_EQ(offset, 4);
}

TEST(CarvingRecordFields, TwoByteTypeAbove4095IsRejected) {
    const CarvingFile tooLarge = recordFile({0xA0, 0x00}, {'x', 'y'});
    int64_t offset = 9;
    std::vector<uint8_t> out(512, 0);
    EXPECT_FALSE(AnalyseAlterbleDB(&tooLarge, 0, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(offset, 9);
    EXPECT_EQ(out, std::vector<uint8_t>(512, 0));

    // 4095 is still a record field: 2041 bytes, cut to the buffer.
    const CarvingFile largest = recordFile({0x9F, 0x7F}, std::vector<uint8_t>(400, 0x5A));
    offset = 0;
    ASSERT_TRUE(AnalyseAlterbleDB(&largest, 0, offset, kBase, kHeaderLength, out));
    EXPECT_EQ(offset, 2041);
    EXPECT_EQ(out[0], 0x5A);
}

}  // namespace
}  // namespace vessamo
