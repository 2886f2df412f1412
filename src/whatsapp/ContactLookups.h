#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "backup/ScanState.h"
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
    // region: where address-book numbers without a country code belong
    // ("US"), see phoneRegionOf; empty when unknown.
    ContactLookups(const std::vector<KTContactNode>& contacts,
                   const std::vector<KTWhatsAppFavContact>& favourites, std::string region = {});

    // The address-book name of a number: the same number by country code
    // and national number, else the first contact whose phone holds it
    // (separators ignored).
    [[nodiscard]] std::optional<std::string> getNameByPhoneNumber(std::string_view phone);
    // WhatsApp's own name for a number: the first WhatsApp contact of
    // exactly that number that has a name other than the number itself.
    [[nodiscard]] std::optional<Text> whatsAppNameOf(std::string_view number);
    // The name a person is shown under everywhere: the address book's, else
    // WhatsApp's own, else the push name (never an encoded blob), else the
    // number itself.
    [[nodiscard]] std::string displayNameOf(std::string_view number,
                                            std::optional<std::string_view> pushName = {});
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
    std::unordered_map<std::string, Text> whatsAppNames_;  // lower-cased number, first name
};

// The region address-book numbers of this scan are read in: the account
// number's, else the backup's locale, else none.
[[nodiscard]] std::string phoneRegionOf(const ScanState& state);

// The lookups of a scan, over its address book and WhatsApp contacts.
[[nodiscard]] ContactLookups lookupsOf(const ScanState& state);

}  // namespace vessamo
