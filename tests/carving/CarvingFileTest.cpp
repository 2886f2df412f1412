#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "carving/CarvingFile.h"
#include "common/ScratchFolder.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

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

TEST(CarvingFile, OpenRefusesWhatIsNotAReadableFile) {
    auto folder = ScratchFolder::create("carving");
    ASSERT_TRUE(folder);
    EXPECT_EQ(CarvingFile::open(folder->path() + "/missing.sqlite"), nullptr);
    EXPECT_EQ(CarvingFile::open(folder->path()), nullptr);
}

TEST(CarvingFile, MovedFileKeepsItsBytes) {
    auto folder = ScratchFolder::create("carving");
    ASSERT_TRUE(folder);
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
