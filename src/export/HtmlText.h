#pragma once

#include <string>
#include <string_view>

namespace vessamo {

// Message texts, names and numbers come from other people's phones; any of
// them may hold markup. Escaping all five characters makes a text safe both
// between tags and inside single- or double-quoted attribute values.
[[nodiscard]] std::string htmlEscape(std::string_view text);
// The same, appended to out: pages are built without a text per field.
void appendHtmlEscaped(std::string& out, std::string_view text);

// The page bytes: a byte-order mark then UTF-16LE. Malformed UTF-8 becomes
// U+FFFD so one broken message cannot make the whole page unreadable.
[[nodiscard]] std::string utf16LeWithBom(std::string_view utf8);
// The same units without the mark, appended; for writing in pieces. A piece
// must not end inside a character.
void appendUtf16Le(std::string& out, std::string_view utf8);

}  // namespace vessamo
