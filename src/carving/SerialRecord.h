#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vessamo {

// A SQLite varint read from carved bytes: its value and how many bytes it
// took. nullopt when the bytes end before the varint does.
struct Varint {
    uint64_t value = 0;
    size_t length = 0;
};
// Inline: a byte scan reads one at nearly every offset of the free room.
[[nodiscard]] inline std::optional<Varint> readVarint(std::span<const uint8_t> bytes, size_t at) {
    if (at < bytes.size() && bytes[at] < 0x80) {
        return Varint{bytes[at], 1};
    }
    uint64_t value = 0;
    for (size_t i = 0; i < 9; ++i) {
        if (at + i >= bytes.size()) {
            return std::nullopt;
        }
        const uint8_t byte = bytes[at + i];
        if (i == 8) {
            return Varint{(value << 8) | byte, 9};
        }
        value = (value << 7) | (byte & 0x7f);
        if (byte < 0x80) {
            return Varint{value, i + 1};
        }
    }
    return std::nullopt;
}

// Content bytes of a serial type; nullopt for the reserved types 10 and 11,
// which no record holds.
[[nodiscard]] inline std::optional<uint64_t> serialContentLength(uint64_t serialType) {
    constexpr uint64_t kFixed[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0};
    if (serialType < 10) {
        return kFixed[serialType];
    }
    if (serialType < 12) {
        return std::nullopt;
    }
    return (serialType - 12) / 2;
}

// The storage classes, as bits, so that a set of them fits one byte.
enum StorageClass : uint8_t {
    kNullClass = 1,
    kIntegerClass = 2,
    kRealClass = 4,
    kTextClass = 8,
    kBlobClass = 16,
    kAnyClass = 31,
};
// The class of a valid serial type (not 10 or 11).
[[nodiscard]] inline uint8_t storageClassOf(uint64_t serialType) {
    if (serialType == 0) {
        return kNullClass;
    }
    if (serialType == 7) {
        return kRealClass;
    }
    if (serialType < 12) {
        return kIntegerClass;
    }
    return serialType % 2 == 1 ? kTextClass : kBlobClass;
}

// One column of a carved record: its serial type and where its content
// lies in the bytes the record was parsed from.
struct SerialField {
    uint64_t type = 0;
    size_t offset = 0;
    size_t length = 0;

    [[nodiscard]] bool isNull() const { return type == 0; }
    [[nodiscard]] bool isInteger() const {
        return (type >= 1 && type <= 6) || type == 8 || type == 9;
    }
    [[nodiscard]] bool isReal() const { return type == 7; }
    [[nodiscard]] bool isText() const { return type >= 13 && type % 2 == 1; }
    [[nodiscard]] bool isBlob() const { return type >= 12 && type % 2 == 0; }
};

// A record's columns, parsed from its serial types with full varints. The
// content ends at `end`; `cut` when the last text ran past the region the
// record was read from and was shortened to what survives.
struct SerialRecord {
    std::vector<SerialField> fields;
    size_t headerStart = 0;  // the serial type of column 0
    size_t end = 0;          // one past the last content byte
    bool cut = false;

    [[nodiscard]] int64_t integer(std::span<const uint8_t> bytes, size_t column) const;
    [[nodiscard]] double real(std::span<const uint8_t> bytes, size_t column) const;
    [[nodiscard]] std::string_view text(std::span<const uint8_t> bytes, size_t column) const;
};

// Parses `columns` serial types starting at bytes[typesAt] (column 0's
// type), followed directly by their content, all inside bytes. When
// column0IsRowid, column 0's type byte may have been overwritten (an
// INTEGER PRIMARY KEY column always stores NULL) and is taken as NULL.
// A text that runs past the end is kept as far as it goes when allowCut.
// nullopt when the types are not a record that fits.
[[nodiscard]] std::optional<SerialRecord> parseSerialRecord(std::span<const uint8_t> bytes,
                                                            size_t typesAt, size_t columns,
                                                            bool column0IsRowid, bool allowCut);
// The same into a record whose storage is reused: a byte scan tries every
// offset and must not allocate for each. False when no record fits.
[[nodiscard]] bool parseSerialRecordInto(SerialRecord& record, std::span<const uint8_t> bytes,
                                         size_t typesAt, size_t columns, bool column0IsRowid,
                                         bool allowCut);

}  // namespace vessamo
