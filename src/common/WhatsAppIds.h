#pragma once

#include <string>
#include <string_view>

namespace vessamo {

inline constexpr std::string_view kPersonSuffix = "@s.whatsapp.net";
inline constexpr std::string_view kGroupSuffix = "@g.us";
// WhatsApp's newer private identifiers: digits that are no phone number.
inline constexpr std::string_view kLidSuffix = "@lid";

[[nodiscard]] bool isGroupJid(std::string_view jid);
[[nodiscard]] bool isLidJid(std::string_view jid);
// A person's JID, by phone number or by private identifier.
[[nodiscard]] bool isPersonJid(std::string_view jid);

// Whether a push-name column holds one of the Base64-encoded binary blobs
// newer WhatsApp versions write there instead of a name ("CO/kxKIGIAA=").
[[nodiscard]] bool looksLikeEncodedBlob(std::string_view text);

// A person's JID without its suffix: every exact "@s.whatsapp.net" removed.
[[nodiscard]] std::string withoutText(std::string_view text, std::string_view remove);
[[nodiscard]] inline std::string whatsAppNumber(std::string_view jid) {
    return withoutText(jid, kPersonSuffix);
}

// The number a message's address stands for, by the one rule every reader
// (live rows and carved ones alike) uses: a person's JID loses its suffix; a
// group JID "creator-created@g.us" gives the creator for messages the owner
// sent and the part after the dash for received ones. Suffixes are matched
// without regard to case. Anything else is returned as it is.
[[nodiscard]] std::string numberOfAddress(std::string_view address, bool sentByOwner);

}  // namespace vessamo
