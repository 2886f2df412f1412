#include "export/ReportText.h"

#include <cstdint>

#include "common/WhatsAppIds.h"

namespace vessamo {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

// The length of the well-formed UTF-8 character at the start of text, or 0.
size_t characterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    size_t length = 0;
    uint32_t minimum = 0;
    uint32_t point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, point = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        point = (point << 6) | (next & 0x3F);
    }
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < minimum || point > 0x10FFFF || surrogate ? 0 : length;
}

void appendEscape(std::string& out, unsigned char c) {
    out.append("\\u00");
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0xF]);
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            const size_t length = characterLength(text.substr(at));
            if (length == 0) {
                out.append("\\ufffd");
                ++at;
            } else {
                out.append(text.substr(at, length));
                at += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\t':
                out.append("\\t");
                break;
            case '<':
            case '>':
            case '&':
                appendEscape(out, c);
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    appendEscape(out, c);
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
        ++at;
    }
    out.push_back('"');
}

void appendUrlComponent(std::string& out, std::string_view text) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kUpperHex[c >> 4]);
            out.push_back(kUpperHex[c & 0xF]);
        }
    }
}

std::string urlComponent(std::string_view text) {
    std::string out;
    appendUrlComponent(out, text);
    return out;
}

std::string phoneOfAddress(std::string_view address) {
    if (address.empty() || isGroupJid(address) || isLidJid(address)) {
        return "";
    }
    const std::string number = whatsAppNumber(address);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return number;
    }
    return "+" + number;
}

}  // namespace vessamo
