#include "export/HtmlText.h"

#include <cstdint>

namespace vessamo {

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at pos and moves pos past it; anything that is not
// shortest-form UTF-8 of a scalar value yields U+FFFD for its first byte.
char32_t decodeOne(std::string_view in, size_t& pos) {
    const auto lead = static_cast<unsigned char>(in[pos]);
    size_t length = 1;
    char32_t value = lead;
    char32_t minimum = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else if (lead >= 0xE0) {
        length = lead <= 0xEF ? 3 : 0, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xC2) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0x80) {
        length = 0;
    }
    if (length == 0 || pos + length > in.size()) {
        ++pos;
        return lead < 0x80 ? lead : kReplacement;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(in[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += length;
    return value;
}

void appendUnit(std::string& out, uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

}  // namespace

void appendUtf16Le(std::string& out, std::string_view utf8) {
    size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = decodeOne(utf8, pos);
        if (cp < 0x10000) {
            appendUnit(out, cp);
        } else {
            const uint32_t rest = cp - 0x10000;
            appendUnit(out, 0xD800 + (rest >> 10));
            appendUnit(out, 0xDC00 + (rest & 0x3FF));
        }
    }
}

std::string utf16LeWithBom(std::string_view utf8) {
    std::string out;
    out.reserve(2 + utf8.size() * 2);
    appendUnit(out, 0xFEFF);
    appendUtf16Le(out, utf8);
    return out;
}

}  // namespace vessamo
