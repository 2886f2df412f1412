#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "carving/DisplayConversions.h"

namespace vessamo {

// The address-book name of a phone number, for many look-ups against one
// contact list: the contacts' numbers are read once and every answer is
// remembered, so a scan of a million messages does not walk the address
// book a million times.
//
// Numbers are compared as country code and national number, so
// "19198887386" finds a contact saved as "(919) 888-7386". A number saved
// without its country code is read in the given region, or, where none is
// known, in the region of the number looked for. Where that finds nobody
// (either side is no number the phone library reads), the older rule
// decides: the first contact whose number, separators removed, contains the
// wanted one.
class PhoneNameIndex {
public:
    explicit PhoneNameIndex(std::span<const ContactPhoneEntry> contacts, std::string region = {});

    [[nodiscard]] std::optional<std::string> nameFor(std::string_view phone);

private:
    struct Contact {
        std::string name;
        std::string written;  // as the address book has it
        std::string phone;    // separators removed, ASCII lower case
    };
    using NamesByKey = std::unordered_map<std::string, std::string>;  // first contact of each

    [[nodiscard]] std::optional<std::string> byNumber(std::string_view phone);
    const NamesByKey& namesIn(const std::string& region);

    std::string region_;
    std::vector<Contact> contacts_;
    std::unordered_map<std::string, NamesByKey> byRegion_;
    std::unordered_map<std::string, std::optional<std::string>> answers_;
};

}  // namespace vessamo
