#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "carving/PhoneNameIndex.h"
#include "common/Text.h"
#include "results/KTContactNode.h"
#include "results/KTWhatsAppFavContact.h"

namespace vessamo {

// The ways a WhatsApp number becomes a name, a status text or a picture:
// through the phone's address book or the account's WhatsApp contacts.
// Built once both lists are read, which must then stay as they are while
// it is used; every answer is remembered, and each is the one a walk of
// the lists in order would give. Texts answered are the lists' own.
class ContactLookups {
public:
    ContactLookups(const std::vector<KTContactNode>& contacts,
                   const std::vector<KTWhatsAppFavContact>& favourites);

    // The first contact whose phone holds the number (separators ignored).
    [[nodiscard]] std::optional<std::string> getNameByPhoneNumber(std::string_view phone);
    // The first contact whose phone and the number share the middle slice
    // of the shorter of the two.
    [[nodiscard]] std::optional<Text> getContactNameByWhatsAppNumber(std::string_view number);
    // Status text and picture path of the first WhatsApp contact whose
    // number contains the given one (ASCII case-insensitive).
    [[nodiscard]] std::optional<Text> getContactStatuByWhatsAppID(std::string_view id);
    [[nodiscard]] std::optional<Text> getContactImagepathByWhatsAppID(std::string_view id);

private:
    [[nodiscard]] const KTWhatsAppFavContact* favouriteFor(std::string_view id);

    std::vector<ContactPhoneEntry> entries_;
    PhoneNameIndex phoneNames_;
    std::vector<std::pair<Text, std::string>> sliceContacts_;  // name, normalised phone
    std::unordered_map<std::string, std::optional<Text>> sliceAnswers_;
    const std::vector<KTWhatsAppFavContact>& favourites_;
    std::vector<std::string> favouriteIds_;  // lower-cased whatsAppID
    std::unordered_map<std::string, const KTWhatsAppFavContact*> favouriteAnswers_;
};

}  // namespace vessamo
