#pragma once

#include <string>
#include <string_view>

namespace vessamo {

// Text pieces of the chat report that HtmlText does not cover.

// A JSON string with its quotes. "<", ">" and "&" are written as \u escapes
// so that the text is also safe inside a script; malformed UTF-8 becomes
// U+FFFD so that one broken message cannot make the file unreadable.
void appendJsonString(std::string& out, std::string_view text);

// A path component percent-encoded for a link: only unreserved characters
// stand as they are.
void appendUrlComponent(std::string& out, std::string_view text);
[[nodiscard]] std::string urlComponent(std::string_view text);

// A WhatsApp address as a person reads it: "+4917012345678" for a phone
// number, "" for group and private identifiers.
[[nodiscard]] std::string phoneOfAddress(std::string_view address);

}  // namespace vessamo
