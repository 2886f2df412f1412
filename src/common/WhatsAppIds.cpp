#include "common/WhatsAppIds.h"

#include "common/TextConversion.h"

namespace vessamo {

std::string withoutText(std::string_view text, std::string_view remove) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t found = remove.empty() ? std::string_view::npos : text.find(remove, at);
        if (found == std::string_view::npos) {
            out.append(text.substr(at));
            break;
        }
        out.append(text.substr(at, found - at));
        at = found + remove.size();
    }
    return out;
}

std::string numberOfAddress(std::string_view address, bool sentByOwner) {
    if (containsCaseInsensitive(address, kPersonSuffix)) {
        return whatsAppNumber(address);
    }
    const size_t dash = address.find('-');
    if (!containsCaseInsensitive(address, kGroupSuffix) || dash == std::string_view::npos) {
        return std::string(address);
    }
    if (sentByOwner) {
        return std::string(address.substr(0, dash));
    }
    const size_t next = address.find('-', dash + 1);
    const std::string_view rest = address.substr(
        dash + 1, next == std::string_view::npos ? std::string_view::npos : next - dash - 1);
    // The suffix may be in any case here too.
    const std::string lower = asciiLower(rest);
    const size_t suffix = lower.find(kGroupSuffix);
    return suffix == std::string::npos ? withoutText(rest, kGroupSuffix)
                                       : std::string(rest.substr(0, suffix)) +
                                             std::string(rest.substr(suffix + kGroupSuffix.size()));
}

}  // namespace vessamo
