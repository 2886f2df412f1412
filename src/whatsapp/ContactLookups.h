#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "carving/PhoneNameIndex.h"
#include "results/KTContactNode.h"
#include "results/KTWhatsAppFavContact.h"

namespace vessamo {

// The ways a WhatsApp number becomes a name, a status text or a picture:
// through the phone's address book or the account's WhatsApp contacts.
// Built once both lists are read; every answer is remembered, and each is
// the one a walk of the lists in order would give.
class ContactLookups {
public:
    ContactLookups(const std::vector<KTContactNodePtr>& contacts,
                   const std::vector<KTWhatsAppFavContactPtr>& favourites);

    // The first contact whose phone holds the number (separators ignored).
    [[nodiscard]] std::optional<std::string> getNameByPhoneNumber(std::string_view phone);
    // The first contact whose phone and the number share the middle slice
    // of the shorter of the two.
    [[nodiscard]] std::optional<std::string> getContactNameByWhatsAppNumber(
        std::string_view number);
    // Status text and picture path of the first WhatsApp contact whose
    // number contains the given one (ASCII case-insensitive).
    [[nodiscard]] std::optional<std::string> getContactStatuByWhatsAppID(std::string_view id);
    [[nodiscard]] std::optional<std::string> getContactImagepathByWhatsAppID(std::string_view id);

private:
    [[nodiscard]] const KTWhatsAppFavContact* favouriteFor(std::string_view id);

    std::vector<ContactPhoneEntry> entries_;
    PhoneNameIndex phoneNames_;
    std::vector<std::pair<std::string, std::string>> sliceContacts_;  // name, normalised phone
    std::unordered_map<std::string, std::optional<std::string>> sliceAnswers_;
    const std::vector<KTWhatsAppFavContactPtr>& favourites_;
    std::vector<std::string> favouriteIds_;  // lower-cased whatsAppID
    std::unordered_map<std::string, const KTWhatsAppFavContact*> favouriteAnswers_;
};

}  // namespace vessamo
