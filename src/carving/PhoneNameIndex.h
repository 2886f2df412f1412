#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "carving/DisplayConversions.h"

namespace vessamo {

// getNameByPhoneNumber for many look-ups against one contact list: the
// contacts' numbers are cleaned once and every answer is remembered, so a
// scan of a million messages does not walk the address book a million
// times. Answers are exactly those of getNameByPhoneNumber.
class PhoneNameIndex {
public:
    explicit PhoneNameIndex(std::span<const ContactPhoneEntry> contacts);

    [[nodiscard]] std::optional<std::string> nameFor(std::string_view phone);

private:
    struct Cleaned {
        std::string name;
        std::string phone;  // separators removed, ASCII lower case
    };
    std::vector<Cleaned> contacts_;
    std::unordered_map<std::string, std::optional<std::string>> answers_;
};

}  // namespace vessamo
