#include "whatsapp/ColumnValues.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "common/TextConversion.h"

namespace vessamo {

namespace {

int64_t clampedToInt64(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 9.2233720368547758e18) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value <= -9.2233720368547758e18) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value);  // truncates toward zero
}

int64_t leadingNumber(const SqliteStatement& row, int column) {
    // SQLite's text is NUL-terminated, which is all strtoll needs.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row.handle(), column));
    if (text == nullptr) {
        return 0;
    }
    errno = 0;
    return static_cast<int64_t>(std::strtoll(text, nullptr, 10));  // held at the limits
}

std::optional<int64_t> wideValue(const SqliteStatement& row, int column) {
    if (!hasValue(row, column)) {
        return std::nullopt;
    }
    switch (row.columnType(column)) {
        case SQLITE_INTEGER:
            return row.columnInt64(column);
        case SQLITE_FLOAT:
            return clampedToInt64(row.columnDouble(column));
        default:
            return leadingNumber(row, column);
    }
}

}  // namespace

bool hasValue(const SqliteStatement& row, int column) {
    int type = row.columnType(column);
    if (type == SQLITE_NULL) {
        return false;
    }
    if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
        return sqlite3_column_bytes(row.handle(), column) > 0;
    }
    return true;
}

std::optional<std::string_view> textValue(const SqliteStatement& row, int column) {
    if (!hasValue(row, column)) {
        return std::nullopt;
    }
    const auto* text = sqlite3_column_text(row.handle(), column);
    const int length = sqlite3_column_bytes(row.handle(), column);
    if (text == nullptr || length <= 0) {
        return std::string_view(" ");
    }
    std::string_view bytes(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    bytes = bytes.substr(0, bytes.find('\0'));
    if (bytes.empty() || !isValidUtf8(bytes)) {
        return std::string_view(" ");
    }
    return bytes;
}

std::optional<int32_t> intValue(const SqliteStatement& row, int column) {
    auto wide = wideValue(row, column);
    if (!wide) {
        return std::nullopt;
    }
    if (*wide > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (*wide < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(*wide);
}

std::optional<int64_t> wholeSeconds(const SqliteStatement& row, int column) {
    return wideValue(row, column);
}

std::optional<std::string_view> blobValue(const SqliteStatement& row, int column) {
    if (!hasValue(row, column)) {
        return std::nullopt;
    }
    const void* bytes = sqlite3_column_blob(row.handle(), column);
    const int size = sqlite3_column_bytes(row.handle(), column);
    if (bytes == nullptr || size <= 0) {
        return std::nullopt;
    }
    return std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

}  // namespace vessamo
