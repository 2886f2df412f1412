#pragma once

// Hand-made message records and database images for the carver's tests:
// every byte is where the test says, which a real SQLite file never
// promises.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "carving/CarvingFile.h"
#include "support/TestSupport.h"

namespace vessamo::test {

struct Column {
    std::vector<uint8_t> type;
    std::vector<uint8_t> data;
};

inline Column nullColumn() {
    return {{0x00}, {}};
}
inline Column constant(uint8_t type) {  // 0x08 is the constant 0, 0x09 the constant 1
    return {{type}, {}};
}
inline Column int8Column(uint8_t value) {
    return {{0x01}, {value}};
}
// Big-endian integers (serial type 4) and doubles (7).
inline Column numberColumn(uint8_t type, uint64_t bits, int bytes) {
    Column column{{type}, {}};
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        column.data.push_back(static_cast<uint8_t>(bits >> shift));
    }
    return column;
}
inline Column int32Column(uint32_t value) {
    return numberColumn(0x04, value, 4);
}
inline Column realColumn(double value) {
    return numberColumn(0x07, std::bit_cast<uint64_t>(value), 8);
}
inline Column textColumn(const std::string& text) {
    const uint64_t type = 13 + 2 * text.size();
    Column column{{static_cast<uint8_t>(type)}, {text.begin(), text.end()}};
    if (type >= 0x80) {
        column.type = {static_cast<uint8_t>(0x80 | (type >> 7)), static_cast<uint8_t>(type & 0x7f)};
    }
    return column;
}

// Where a table shape keeps its interesting columns, and how far from the
// byte before p the carver expects the content.
struct Shape {
    size_t columns, chat, date, from, name, text, to;
    size_t contentAt;
    size_t fromMe, groupMember;
};
inline constexpr Shape kEighteen{18, 8, 12, 13, 14, 16, 17, 18, 3, 9};
inline constexpr Shape kTwenty{20, 10, 14, 15, 16, 18, 19, 20, 5, 11};
inline constexpr Shape kWide{34, 19, 25, 27, 30, 32, 33, 34, 12, 20};

inline constexpr int64_t kMessageSeconds = 600000000;  // 2020-01-06 10:40 UTC

struct Message {
    std::vector<uint8_t> lead = {0x01, 0x09, 0x08};  // serial types of columns 1..
    Column chat = int8Column(3);
    Column date = int32Column(kMessageSeconds);
    std::string from = "4915112345678@s.whatsapp.net";
    std::string name = "Anna";  // the push name column, empty for NULL
    std::optional<std::string> text = "hello there";
    std::string to = "4915199999999@s.whatsapp.net";  // empty for NULL
    bool fromMe = false;
    Column groupMember = nullColumn();
};

// Adds one page to a database file's bytes, on the free list as its only
// trunk, and writes `record` so that its last `lost` bytes would run past
// the page's end: the record of a text cut by the end of its free page.
// Returns where the record starts.
inline size_t appendFreeTrunkEndingIn(std::string& bytes, uint32_t pageSize,
                                      const std::vector<uint8_t>& record, size_t lost) {
    const size_t pages = bytes.size() / pageSize;
    bytes.resize(bytes.size() + pageSize, '\0');
    bytes[32] = 0;
    bytes[33] = 0;
    bytes[34] = static_cast<char>((pages + 1) >> 8);
    bytes[35] = static_cast<char>(pages + 1);
    const size_t at = (pages + 1) * pageSize - (record.size() - lost);
    std::copy(record.begin(), record.end() - static_cast<std::ptrdiff_t>(lost),
              bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return at;
}

// The record starting at its length byte: p is two bytes in.
inline std::vector<uint8_t> recordBytes(uint8_t lengthByte, const Shape& shape, const Message& m) {
    std::vector<Column> columns(shape.columns, nullColumn());
    for (size_t i = 0; i < m.lead.size(); ++i) {
        columns[1 + i] = m.lead[i] == 0x01 ? int8Column(9) : constant(m.lead[i]);
    }
    columns[shape.fromMe] = constant(m.fromMe ? 0x09 : 0x08);
    columns[shape.groupMember] = m.groupMember;
    columns[shape.chat] = m.chat;
    columns[shape.date] = m.date;
    columns[shape.name] = m.name.empty() ? nullColumn() : textColumn(m.name);
    columns[shape.text] = m.text ? textColumn(*m.text) : nullColumn();
    columns[shape.from] = m.from.empty() ? nullColumn() : textColumn(m.from);
    columns[shape.to] = m.to.empty() ? nullColumn() : textColumn(m.to);
    std::vector<uint8_t> types;
    std::vector<uint8_t> content;
    for (const Column& column : columns) {
        types.insert(types.end(), column.type.begin(), column.type.end());
        content.insert(content.end(), column.data.begin(), column.data.end());
    }
    const bool twoByteText = columns[shape.text].type.size() == 2;
    std::vector<uint8_t> bytes;
    bytes.reserve(1 + types.size() + 1 + content.size());
    bytes.push_back(lengthByte);
    bytes.insert(bytes.end(), types.begin(), types.end());
    bytes.resize(1 + shape.contentAt + (twoByteText ? 1 : 0), 0);
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

// A database image with the page size in its header and table-leaf pages
// to fill; the rest of each page is noise the carver must pass over.
class DatabaseImage {
public:
    DatabaseImage(uint32_t pageSize, size_t pages, std::optional<uint16_t> storedSize = {})
        : pageSize_(pageSize), bytes_(static_cast<size_t>(pageSize) * pages, 0xEE) {
        const std::string magic = "SQLite format 3";
        std::copy(magic.begin(), magic.end(), bytes_.begin());
        const uint16_t stored = storedSize.value_or(static_cast<uint16_t>(pageSize));
        bytes_[15] = 0;
        bytes_[16] = static_cast<uint8_t>(stored >> 8);
        bytes_[17] = static_cast<uint8_t>(stored);
        for (size_t page = 1; page < pages; ++page) {
            std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(start(page)), 16, 0);
            bytes_[start(page)] = 0x0d;
        }
    }

    [[nodiscard]] size_t start(size_t page) const { return page * pageSize_; }
    void setFlag(size_t page, uint8_t flag) { bytes_[start(page)] = flag; }
    void setCellPointer(size_t page, size_t cell, uint16_t pointer) {
        bytes_[start(page) + 8 + 2 * cell] = static_cast<uint8_t>(pointer >> 8);
        bytes_[start(page) + 9 + 2 * cell] = static_cast<uint8_t>(pointer);
    }
    void put(size_t offset, const std::vector<uint8_t>& bytes) {
        if (bytes_.size() < offset + bytes.size()) {
            bytes_.resize(offset + bytes.size(), 0);
        }
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    // A record at offset within page, named by cell pointer `cell` as a real
    // cell (payload length and row id before the record header) would be.
    void putRecord(size_t page, uint16_t offset, const std::vector<uint8_t>& record,
                   std::optional<size_t> cell = 0) {
        put(start(page) + offset, record);
        if (cell) {
            setCellPointer(page, *cell, static_cast<uint16_t>(offset - 2));
        }
    }
    void truncate(size_t size) { bytes_.resize(size); }
    [[nodiscard]] CarvingFile file() const { return CarvingFile(bytes_); }
    [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }
    void write(const std::string& path) const {
        writeFile(path, std::string(bytes_.begin(), bytes_.end()));
    }

private:
    uint32_t pageSize_;
    std::vector<uint8_t> bytes_;
};

}  // namespace vessamo::test
