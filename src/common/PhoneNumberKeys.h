#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vessamo {

// Turns phone numbers as people write them ("(919) 888-7386",
// "0170 1234567", "+49 170 1234567", "0049…") into one comparable key,
// country code and national number, so a number saved without its country
// code still meets the international form WhatsApp stores. Numbers without
// a country code are read as numbers of the given region.
class PhoneNumberKeys {
public:
    // region: a two-letter region code ("US", "DE"), or empty when none is
    // known, in which case only numbers that carry their country code parse.
    explicit PhoneNumberKeys(std::string region = {});

    // "+<country code><national number>", or nothing for a text that is no
    // phone number (too short, letters, an unknown country code).
    [[nodiscard]] std::optional<std::string> key(std::string_view written) const;
    // Every number a text holds: an address book keeps a person's numbers
    // in one text (" (919) 579-0479 (919) 391-2507").
    [[nodiscard]] std::vector<std::string> keysIn(std::string_view text) const;
    // The same for WhatsApp's own form: the international digits without "+".
    [[nodiscard]] static std::optional<std::string> keyOfInternational(std::string_view digits);

    [[nodiscard]] const std::string& region() const { return region_; }

private:
    std::string region_;
};

// The region an international number belongs to ("19195794674" gives "US"),
// or empty when it cannot tell.
[[nodiscard]] std::string regionOfInternationalNumber(std::string_view digits);

// The region of a locale identifier ("en_US", "de-DE", "fr_CH@currency=CHF"),
// upper case, or empty when the locale names none.
[[nodiscard]] std::string regionOfLocale(std::string_view locale);

}  // namespace vessamo
