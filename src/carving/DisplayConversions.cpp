#include "carving/DisplayConversions.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "common/AppleTime.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

template <typename... Args>
std::string formatted(const char* format, Args... args) {
    std::array<char, 64> buffer{};
    const int written = std::snprintf(buffer.data(), buffer.size(), format, args...);
    if (written < 0) {
        return {};
    }
    return std::string(buffer.data(), std::min(static_cast<size_t>(written), buffer.size() - 1));
}

std::string withoutSeparators(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (c != '-' && c != '(' && c != ')' && c != ' ') {
            kept.push_back(c);
        }
    }
    return kept;
}

}  // namespace

std::optional<std::string> GetDateTime(int64_t seconds2001, [[maybe_unused]] int fileType) {
    return displayTimeText(AppleTime{seconds2001});
}

size_t Char2Unicode(const uint8_t* utf8, std::u32string& out) {
    out.clear();
    if (utf8 == nullptr) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(utf8));
    if (!isValidUtf8(text)) {
        return 0;
    }
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        static constexpr std::array<uint8_t, 5> kLeadMask{0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t point = lead & kLeadMask[length];
        for (size_t k = 1; k < length; ++k) {
            point = (point << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
        }
        out.push_back(point);
        i += length;
    }
    return out.size();
}

std::string getCallHistoryDuration(int32_t seconds) {
    if (seconds >= 7200) {
        return formatted("%d hours", seconds / 3600);
    }
    if (seconds >= 3600) {
        return "1 hour";
    }
    if (seconds >= 120) {
        return formatted("%d minutes", seconds / 60);
    }
    if (seconds >= 60) {
        return "1 minute";
    }
    if (seconds >= 2) {
        return formatted("%d seconds", seconds);
    }
    return formatted("%d second", seconds % 60);
}

std::string size_to_unit(uint64_t bytes) {
    auto value = static_cast<float>(bytes);
    if (bytes < 1000ULL) {
        return formatted("%.2fB", static_cast<double>(value));
    }
    value /= 1000.0f;
    if (bytes < 1000000ULL) {
        return formatted("%.2fK", static_cast<double>(value));
    }
    value /= 1000.0f;
    if (bytes < 1000000000ULL) {
        return formatted("%.2fM", static_cast<double>(value));
    }
    value /= 1000.0f;
    if (bytes < 1000000000000ULL) {
        return formatted("%.2fG", static_cast<double>(value));
    }
    value /= 1000.0f;
    return formatted("%.2fT", static_cast<double>(value));
}

std::string getFullName(uint64_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 8) {
        digits.insert(0, 8 - digits.size(), '0');
    }
    return digits;
}

std::optional<std::string> getNameByPhoneNumber(std::string_view phone,
                                                std::span<const ContactPhoneEntry> contacts) {
    const std::string wanted = withoutSeparators(phone);
    if (wanted.empty()) {
        return std::nullopt;  // no number names nobody, not the first contact
    }
    for (const ContactPhoneEntry& contact : contacts) {
        if (contact.contactPhone.empty()) {
            continue;
        }
        const std::string candidate = withoutSeparators(contact.contactPhone);
        if (containsCaseInsensitive(candidate, wanted)) {
            return std::string(contact.contactName);
        }
    }
    return std::nullopt;
}

}  // namespace vessamo
