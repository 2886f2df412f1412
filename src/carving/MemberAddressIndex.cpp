#include "carving/MemberAddressIndex.h"

#include <array>
#include <optional>
#include <set>
#include <span>
#include <string_view>

#include "carving/CarvingPrimitives.h"
#include "common/SqliteDatabase.h"

namespace vessamo {

namespace {

constexpr size_t kWalHeader = 32;
constexpr size_t kFrameHeader = 24;
constexpr uint8_t kInteriorIndex = 0x02;
constexpr uint8_t kLeafIndex = 0x0a;

uint32_t bigEndian(const uint8_t* bytes, size_t size) {
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// The root page of the member table's index on the address alone.
std::optional<uint32_t> addressIndexRoot(const std::string& databaseCopy) {
    SqliteDatabase db;
    SqliteStatement indexes;
    if (db.open(databaseCopy, SqliteDatabase::Mode::ReadOnly) != SQLITE_OK ||
        indexes.prepare(db,
                        "SELECT name, rootpage FROM sqlite_master WHERE type = 'index' AND "
                        "tbl_name = 'ZWAGROUPMEMBER'") != SQLITE_OK) {
        return std::nullopt;
    }
    while (indexes.step() == SQLITE_ROW) {
        const std::string name = indexes.columnText(0).value_or("");
        SqliteStatement columns;
        if (columns.prepare(db, "SELECT name FROM pragma_index_info(?)") != SQLITE_OK ||
            columns.bind(1, std::string_view(name)) != SQLITE_OK) {
            continue;
        }
        std::vector<std::string> names;
        while (columns.step() == SQLITE_ROW) {
            names.push_back(columns.columnText(0).value_or(""));
        }
        if (names == std::vector<std::string>{"ZMEMBERJID"}) {
            return static_cast<uint32_t>(indexes.columnInt64(1));
        }
    }
    return std::nullopt;
}

// The index's pages (numbered from 1) as the copy links them.
std::set<uint32_t> indexPages(const CarvingFile& file, uint32_t root, uint32_t pageSize) {
    const uint64_t count = pageCount(file.size(), pageSize);
    std::set<uint32_t> pages;
    std::vector<uint32_t> pending = {root};
    std::vector<uint8_t> page(pageSize);
    while (!pending.empty() && pages.size() < count) {
        const uint32_t number = pending.back();
        pending.pop_back();
        if (number < 2 || number > count || !pages.insert(number).second) {
            continue;
        }
        file.readAt(uint64_t{number - 1} * pageSize, page.data(), page.size());
        if (page[0] != kInteriorIndex) {
            continue;
        }
        const size_t cells = bigEndian(&page[3], 2);
        for (size_t i = 0; i < cells && 12 + 2 * i + 2 <= pageSize; ++i) {
            const size_t cell = bigEndian(&page[12 + 2 * i], 2);
            if (cell + 4 <= pageSize) {
                pending.push_back(bigEndian(&page[cell], 4));
            }
        }
        pending.push_back(bigEndian(&page[8], 4));
    }
    return pages;
}

int64_t keyOf(std::span<const uint8_t> image, size_t at, size_t width) {
    const uint32_t raw = bigEndian(&image[at], width);
    return width == 1 ? static_cast<int8_t>(raw) : static_cast<int16_t>(raw);
}

// The keys that may follow an address found at `at` of a page image. An
// intact index cell says: header length 3, the address's text type, and
// the key's integer type: one or two bytes, or none for the key 1. Where
// the freeblock link took those bytes, its size says when the cell was
// freed on its own; in a merged freeblock it covers more, and both widths
// are offered: the caller's range of keys tells them apart (a key below 128
// takes one byte).
std::vector<int64_t> keysAfter(std::span<const uint8_t> image, size_t at, size_t length) {
    constexpr uint8_t kOne = 9;  // the serial type of the constant 1
    std::vector<size_t> widths;
    if (at >= 3 && image[at - 3] == 3 && image[at - 2] == 13 + 2 * length &&
        (image[at - 1] == 1 || image[at - 1] == 2 || image[at - 1] == kOne)) {
        widths = {image[at - 1] == kOne ? size_t{0} : image[at - 1]};
    } else if (at >= 4) {
        const size_t size = bigEndian(&image[at - 2], 2);
        widths = size >= 4 + length && size <= 4 + length + 2
                     ? std::vector<size_t>{size - 4 - length}
                     : std::vector<size_t>{1, 2};
    }
    std::vector<int64_t> keys;
    for (const size_t width : widths) {
        if (width == 0) {
            keys.push_back(1);
        } else if (at + length + width <= image.size()) {
            const int64_t key = keyOf(image, at + length, width);
            const bool shortest = width == 1 || key >= 128 || key < -128;
            if (key >= 1 && shortest) {
                keys.push_back(key);
            }
        }
    }
    return keys;
}

void readPairs(std::span<const uint8_t> image, const std::unordered_set<std::string>& addresses,
               std::vector<std::pair<std::string, int64_t>>& pairs) {
    const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
    if (image.empty() || (image[0] != kLeafIndex && image[0] != kInteriorIndex)) {
        return;  // an index page no more: its bytes belong to something else now
    }
    for (const std::string& address : addresses) {
        for (size_t at = bytes.find(address); at != std::string_view::npos;
             at = bytes.find(address, at + 1)) {
            for (const int64_t key : keysAfter(image, at, address.size())) {
                pairs.emplace_back(address, key);
            }
        }
    }
}

}  // namespace

std::vector<std::pair<std::string, int64_t>> memberKeysByAddress(
    const std::string& databaseCopy, const CarvingFile& copy, const CarvingFile* wal,
    const CarvingFile* original, const std::unordered_set<std::string>& addresses) {
    std::vector<std::pair<std::string, int64_t>> pairs;
    const uint32_t pageSize = readPageSize(&copy);
    const auto root = addresses.empty() ? std::nullopt : addressIndexRoot(databaseCopy);
    if (!root || pageSize == 0) {
        return pairs;
    }
    const std::set<uint32_t> pages = indexPages(copy, *root, pageSize);
    std::vector<uint8_t> image(pageSize);
    for (const CarvingFile* file : {&copy, original}) {
        for (const uint32_t number : pages) {
            if (file != nullptr && uint64_t{number} * pageSize <= file->size()) {
                file->readAt(uint64_t{number - 1} * pageSize, image.data(), image.size());
                readPairs(image, addresses, pairs);
            }
        }
    }
    if (wal == nullptr || wal->size() < kWalHeader) {
        return pairs;
    }
    const uint64_t frames = (wal->size() - kWalHeader) / (kFrameHeader + pageSize);
    std::array<uint8_t, 4> number{};
    for (uint64_t frame = 0; frame < frames; ++frame) {
        const uint64_t at = kWalHeader + frame * (kFrameHeader + pageSize);
        wal->readAt(at, number.data(), number.size());
        if (pages.contains(bigEndian(number.data(), 4))) {
            wal->readAt(at + kFrameHeader, image.data(), image.size());
            readPairs(image, addresses, pairs);
        }
    }
    return pairs;
}

}  // namespace vessamo
