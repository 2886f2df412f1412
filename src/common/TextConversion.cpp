#include "common/TextConversion.h"

#include <algorithm>
#include <cstdint>

namespace vessamo {

namespace {

// Length of the sequence a lead byte announces, 0 for a byte that cannot lead.
int sequenceLength(uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

bool validSecondByte(uint8_t lead, uint8_t second) {
    switch (lead) {
        case 0xE0:
            return second >= 0xA0 && second <= 0xBF;  // no overlongs
        case 0xED:
            return second >= 0x80 && second <= 0x9F;  // no surrogates
        case 0xF0:
            return second >= 0x90 && second <= 0xBF;
        case 0xF4:
            return second >= 0x80 && second <= 0x8F;  // nothing past U+10FFFF
        default:
            return second >= 0x80 && second <= 0xBF;
    }
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<uint8_t>(bytes[i]);
        int length = sequenceLength(lead);
        if (length == 0 || i + static_cast<size_t>(length) > bytes.size()) {
            return false;
        }
        if (length > 1 && !validSecondByte(lead, static_cast<uint8_t>(bytes[i + 1]))) {
            return false;
        }
        for (int k = 2; k < length; ++k) {
            auto next = static_cast<uint8_t>(bytes[i + static_cast<size_t>(k)]);
            if (next < 0x80 || next > 0xBF) {
                return false;
            }
        }
        i += static_cast<size_t>(length);
    }
    return true;
}

std::string GetStringFormChar(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    if (bytes.empty() || !isValidUtf8(bytes)) {
        return " ";
    }
    return std::string(bytes);
}

std::string GetStringFormChar(const std::optional<std::string>& bytes) {
    return bytes ? GetStringFormChar(std::string_view(*bytes)) : std::string(" ");
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

bool containsCaseInsensitive(std::string_view haystack, std::string_view needle) {
    return asciiLower(haystack).find(asciiLower(needle)) != std::string::npos;
}

}  // namespace vessamo
