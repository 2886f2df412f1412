#pragma once

#include <string>
#include <string_view>

namespace vessamo {

inline constexpr std::string_view kPersonSuffix = "@s.whatsapp.net";
inline constexpr std::string_view kGroupSuffix = "@g.us";

// A person's JID without its suffix: every exact "@s.whatsapp.net" removed.
[[nodiscard]] std::string withoutText(std::string_view text, std::string_view remove);
[[nodiscard]] inline std::string whatsAppNumber(std::string_view jid) {
    return withoutText(jid, kPersonSuffix);
}

}  // namespace vessamo
