#include "export/HtmlText.h"

#include <cstdint>

namespace vessamo {

namespace {

// The entity of a character that needs one, or "" for one that stands as it is.
constexpr std::string_view entityOf(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&#39;";
        default:
            return "";
    }
}

}  // namespace

void appendHtmlEscaped(std::string& out, std::string_view text) {
    // Most texts need no entity at all: runs between them go in whole.
    size_t run = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const std::string_view entity = entityOf(text[at]);
        if (!entity.empty()) {
            out.append(text.substr(run, at - run)).append(entity);
            run = at + 1;
        }
    }
    out.append(text.substr(run));
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendHtmlEscaped(out, text);
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
    // Every input byte gives at most two output bytes (a four-byte character
    // gives a surrogate pair), so the room is made once and filled by hand;
    // pages are mostly ASCII, which goes through sixteen bytes at a time.
    const size_t start = out.size();
    out.resize(start + 2 * utf8.size());
    char* to = out.data() + start;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    auto put = [&to](uint32_t unit) {
        to[0] = static_cast<char>(unit & 0xFF);
        to[1] = static_cast<char>((unit >> 8) & 0xFF);
        to += 2;
    };
    constexpr size_t kBlock = 16;
    size_t pos = 0;
    while (pos < utf8.size()) {
        if (utf8.size() - pos >= kBlock) {
            unsigned char high = 0;
            for (size_t i = 0; i < kBlock; ++i) {
                high |= bytes[pos + i];
            }
            if (high < 0x80) {
                for (size_t i = 0; i < kBlock; ++i) {
                    to[2 * i] = static_cast<char>(bytes[pos + i]);
                    to[2 * i + 1] = 0;
                }
                to += 2 * kBlock;
                pos += kBlock;
                continue;
            }
        }
        if (bytes[pos] < 0x80) {
            put(bytes[pos++]);
            continue;
        }
        const char32_t cp = decodeOne(utf8, pos);
        if (cp < 0x10000) {
            put(cp);
        } else {
            const uint32_t rest = cp - 0x10000;
            put(0xD800 + (rest >> 10));
            put(0xDC00 + (rest & 0x3FF));
        }
    }
    out.resize(static_cast<size_t>(to - out.data()));
}

std::string utf16LeWithBom(std::string_view utf8) {
    std::string out;
    out.reserve(2 + utf8.size() * 2);
    appendUnit(out, 0xFEFF);
    appendUtf16Le(out, utf8);
    return out;
}

}  // namespace vessamo
