#include "common/PhoneNumberKeys.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>

#include <cctype>

namespace vessamo {

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberMatch;
using i18n::phonenumbers::PhoneNumberMatcher;
using i18n::phonenumbers::PhoneNumberUtil;

// Only digits and the usual separators make a phone number; anything with
// letters or "@" (a JID, an e-mail address) is left to the caller's
// fallback rather than have the library find digits in it.
bool looksLikeNumber(std::string_view text) {
    size_t digits = 0;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            ++digits;
        } else if (std::string_view(" +-().\t/").find(c) == std::string_view::npos) {
            return false;
        }
    }
    return digits >= 3;
}

std::optional<PhoneNumber> parse(std::string_view written, const std::string& region) {
    if (!looksLikeNumber(written)) {
        return std::nullopt;
    }
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    const std::string text(written);
    if (util.Parse(text, region.empty() ? "ZZ" : region, &number) !=
        PhoneNumberUtil::NO_PARSING_ERROR) {
        return std::nullopt;
    }
    if (!util.IsPossibleNumber(number)) {
        return std::nullopt;
    }
    return number;
}

std::string keyOf(const PhoneNumber& number) {
    std::string key;
    PhoneNumberUtil::GetInstance()->Format(number, PhoneNumberUtil::E164, &key);
    return key;
}

// "+" and the digits; appended, as GCC 12 warns falsely about "+" + string.
std::string international(std::string_view digits) {
    std::string text;
    text.reserve(digits.size() + 1);
    text.push_back('+');
    text.append(digits);
    return text;
}

bool allDigits(std::string_view text) {
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return !text.empty();
}

}  // namespace

PhoneNumberKeys::PhoneNumberKeys(std::string region) : region_(std::move(region)) {
    if (!region_.empty() && PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(region_) == 0) {
        region_.clear();  // an unknown region would make every national number fail
    }
}

std::optional<std::string> PhoneNumberKeys::key(std::string_view written) const {
    auto number = parse(written, region_);
    return number ? std::optional(keyOf(*number)) : std::nullopt;
}

std::vector<std::string> PhoneNumberKeys::keysIn(std::string_view text) const {
    std::vector<std::string> keys;
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    // Possible, not only valid: made-up and brand-new number ranges count.
    PhoneNumberMatcher matcher(util, std::string(text), region_.empty() ? "ZZ" : region_,
                               PhoneNumberMatcher::POSSIBLE, 64);
    PhoneNumberMatch match;
    while (matcher.HasNext() && matcher.Next(&match)) {
        keys.push_back(keyOf(match.number()));
    }
    if (keys.empty()) {
        if (auto whole = key(text)) {
            keys.push_back(std::move(*whole));
        }
    }
    return keys;
}

std::optional<std::string> PhoneNumberKeys::keyOfInternational(std::string_view digits) {
    if (!allDigits(digits)) {
        return std::nullopt;
    }
    auto number = parse(international(digits), {});
    return number ? std::optional(keyOf(*number)) : std::nullopt;
}

std::string regionOfInternationalNumber(std::string_view digits) {
    if (!allDigits(digits)) {
        return {};
    }
    auto number = parse(international(digits), {});
    if (!number) {
        return {};
    }
    std::string region;
    PhoneNumberUtil::GetInstance()->GetRegionCodeForNumber(*number, &region);
    return region == "ZZ" || region == "001" ? std::string() : region;
}

std::string regionOfLocale(std::string_view locale) {
    locale = locale.substr(0, locale.find('@'));
    locale = locale.substr(0, locale.find('.'));
    const size_t separator = locale.find_last_of("_-");
    if (separator == std::string_view::npos) {
        return {};
    }
    const std::string_view part = locale.substr(separator + 1);
    if (part.size() != 2 || std::isalpha(static_cast<unsigned char>(part[0])) == 0 ||
        std::isalpha(static_cast<unsigned char>(part[1])) == 0) {
        return {};
    }
    std::string region(part);
    for (char& c : region) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return region;
}

}  // namespace vessamo
