#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/SqliteDatabase.h"

namespace vessamo {

// How the WhatsApp readers take a column: NULL and the empty text count as
// absent; anything else is a value.
[[nodiscard]] bool hasValue(const SqliteStatement& row, int column);

// The column's text up to its first NUL, or one blank when that is empty
// or malformed UTF-8; nullopt when absent. The bytes are SQLite's: they
// last until the statement steps again, so keep what you need.
[[nodiscard]] std::optional<std::string_view> textValue(const SqliteStatement& row, int column);

// The column's bytes as stored (a blob, or text's bytes); nullopt when
// absent. The bytes are SQLite's, as with textValue.
[[nodiscard]] std::optional<std::string_view> blobValue(const SqliteStatement& row, int column);

// The column as a 32-bit integer the way a text's leading number reads:
// fractions dropped, out-of-range values held at the limits, text without
// digits 0. nullopt when absent.
[[nodiscard]] std::optional<int32_t> intValue(const SqliteStatement& row, int column);

// The column as whole seconds (a stored time): the same reading, 64 bits wide.
[[nodiscard]] std::optional<int64_t> wholeSeconds(const SqliteStatement& row, int column);

}  // namespace vessamo
