#include "common/WhatsAppIds.h"

#include <cstdint>

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

bool isGroupJid(std::string_view jid) {
    return containsCaseInsensitive(jid, kGroupSuffix);
}

bool isLidJid(std::string_view jid) {
    return jid.size() > kLidSuffix.size() &&
           asciiLower(jid.substr(jid.size() - kLidSuffix.size())) == kLidSuffix;
}

bool isPersonJid(std::string_view jid) {
    return containsCaseInsensitive(jid, kPersonSuffix) || isLidJid(jid);
}

namespace {

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

}  // namespace

// A name is text; a blob decodes to bytes with control characters in
// them. Names of letters alone ("BENJAMIN") can decode that way too, so a
// blob must also show what names do not: padding, a digit, "+" or "/".
bool looksLikeEncodedBlob(std::string_view text) {
    if (text.size() < 8 || text.size() % 4 != 0 ||
        text.find_first_of("=+/0123456789") == std::string_view::npos) {
        return false;
    }
    size_t padding = 0;
    while (padding < 2 && text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    std::string bytes;
    uint32_t bits = 0;
    int held = 0;
    for (char c : text.substr(0, text.size() - padding)) {
        const int value = base64Value(c);
        if (value < 0) {
            return false;
        }
        bits = (bits << 6) | static_cast<uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<char>((bits >> held) & 0xFF));
        }
    }
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
            return true;
        }
    }
    return false;
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
