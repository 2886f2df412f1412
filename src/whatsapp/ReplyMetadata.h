#pragma once

#include <optional>
#include <string_view>

namespace vessamo {

// The stanza id of the message a reply quotes, read from the reply's media
// item metadata (a protocol buffer whose field 5 holds it). nullopt when the
// blob quotes nothing or is not what it should be: a damaged blob gives no
// quote rather than a failure. The view lies inside metadata.
[[nodiscard]] std::optional<std::string_view> quotedStanzaId(std::string_view metadata);

}  // namespace vessamo
