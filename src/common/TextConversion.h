#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vessamo {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates,
// nothing above U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view bytes);

// Column and record texts: the bytes up to the first NUL read as UTF-8. An
// absent, empty or malformed text becomes one blank, which readers treat as
// "no value" while views still have something to draw.
[[nodiscard]] std::string GetStringFormChar(const std::optional<std::string>& bytes);
[[nodiscard]] std::string GetStringFormChar(std::string_view bytes);
[[nodiscard]] inline std::string GetStringFormChar(const std::string& bytes) {
    return GetStringFormChar(std::string_view(bytes));
}

// ASCII-only case-insensitive helpers for the many "contains" rules.
[[nodiscard]] std::string asciiLower(std::string_view text);
[[nodiscard]] bool containsCaseInsensitive(std::string_view haystack, std::string_view needle);

}  // namespace vessamo
