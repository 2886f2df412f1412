#include "carving/SerialRecord.h"

#include <bit>

namespace vessamo {

int64_t SerialRecord::integer(std::span<const uint8_t> bytes, size_t column) const {
    const SerialField& field = fields[column];
    if (field.type == 8 || field.type == 9) {
        return static_cast<int64_t>(field.type - 8);
    }
    if (!field.isInteger() || field.length == 0) {
        return 0;
    }
    // Big-endian two's complement: start from the sign of the first byte.
    uint64_t value = (bytes[field.offset] & 0x80) != 0 ? ~uint64_t{0} : 0;
    for (size_t i = 0; i < field.length; ++i) {
        value = (value << 8) | bytes[field.offset + i];
    }
    return static_cast<int64_t>(value);
}

double SerialRecord::real(std::span<const uint8_t> bytes, size_t column) const {
    const SerialField& field = fields[column];
    if (!field.isReal()) {
        return static_cast<double>(integer(bytes, column));
    }
    uint64_t bits = 0;
    for (size_t i = 0; i < 8; ++i) {
        bits = (bits << 8) | bytes[field.offset + i];
    }
    return std::bit_cast<double>(bits);
}

std::string_view SerialRecord::text(std::span<const uint8_t> bytes, size_t column) const {
    const SerialField& field = fields[column];
    if (!field.isText() && !field.isBlob()) {
        return {};
    }
    return {reinterpret_cast<const char*>(bytes.data() + field.offset), field.length};
}

std::optional<SerialRecord> parseSerialRecord(std::span<const uint8_t> bytes, size_t typesAt,
                                              size_t columns, bool column0IsRowid, bool allowCut) {
    SerialRecord record;
    if (!parseSerialRecordInto(record, bytes, typesAt, columns, column0IsRowid, allowCut)) {
        return std::nullopt;
    }
    return record;
}

bool parseSerialRecordInto(SerialRecord& record, std::span<const uint8_t> bytes, size_t typesAt,
                           size_t columns, bool column0IsRowid, bool allowCut) {
    if (columns == 0 || typesAt >= bytes.size()) {
        return false;
    }
    record.headerStart = typesAt;
    record.cut = false;
    record.fields.resize(columns);
    size_t at = typesAt;
    for (size_t column = 0; column < columns; ++column) {
        // An INTEGER PRIMARY KEY's type is the one byte 0x00; overwritten,
        // it may read as the start of a longer varint, which it never was.
        if (column == 0 && column0IsRowid) {
            record.fields[0].type = 0;
            at += 1;
            continue;
        }
        const auto type = readVarint(bytes, at);
        if (!type || !serialContentLength(type->value)) {
            return false;
        }
        record.fields[column].type = column == 0 && column0IsRowid ? 0 : type->value;
        at += type->length;
    }
    size_t content = at;
    for (SerialField& field : record.fields) {
        const uint64_t length = *serialContentLength(field.type);
        field.offset = content;
        field.length = 0;
        if (record.cut) {
            field = SerialField{0, content, 0};  // lost with the end of the region
            continue;
        }
        if (length > bytes.size() - content) {
            if (!allowCut || !field.isText()) {
                return false;
            }
            field.length = bytes.size() - content;
            record.cut = true;
            content = bytes.size();
            continue;
        }
        field.length = static_cast<size_t>(length);
        content += field.length;
    }
    record.end = content;
    return true;
}

}  // namespace vessamo
