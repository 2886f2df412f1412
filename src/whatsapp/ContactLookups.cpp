#include "whatsapp/ContactLookups.h"

#include "common/PhoneNumberKeys.h"
#include "common/TextConversion.h"
#include "common/WhatsAppIds.h"

namespace vessamo {

namespace {

std::vector<ContactPhoneEntry> phoneEntries(const std::vector<KTContactNode>& contacts) {
    std::vector<ContactPhoneEntry> entries;
    entries.reserve(contacts.size());
    for (const KTContactNode& contact : contacts) {
        entries.push_back(ContactPhoneEntry{contact.contactName, contact.contactPhone});
    }
    return entries;
}

std::string without(std::string_view text, std::string_view characters) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (characters.find(c) == std::string_view::npos) {
            out += c;
        }
    }
    return out;
}

// The middle slice of a text: from a quarter of its length, half of it long.
std::string_view middleSlice(std::string_view text) {
    size_t quarter = text.size() / 4;
    return text.substr(quarter, quarter + text.size() / 2);
}

}  // namespace

ContactLookups::ContactLookups(const std::vector<KTContactNode>& contacts,
                               const std::vector<KTWhatsAppFavContact>& favourites,
                               std::string region)
    : entries_(phoneEntries(contacts)),
      phoneNames_(entries_, std::move(region)),
      favourites_(favourites) {
    for (const KTContactNode& contact : contacts) {
        if (!contact.contactPhone.empty()) {
            sliceContacts_.emplace_back(contact.contactName,
                                        asciiLower(without(contact.contactPhone, "-() +")));
        }
    }
    favouriteIds_.reserve(favourites.size());
    for (const KTWhatsAppFavContact& favourite : favourites) {
        favouriteIds_.push_back(asciiLower(favourite.whatsAppID));
        // A group member without a name is listed under its number: that
        // is no name.
        if (!favourite.contactName.empty() && favourite.contactName != favourite.whatsAppID) {
            whatsAppNames_.emplace(favouriteIds_.back(), favourite.contactName);
        }
    }
}

std::optional<Text> ContactLookups::whatsAppNameOf(std::string_view number) {
    auto found = whatsAppNames_.find(asciiLower(number));
    return found != whatsAppNames_.end() ? std::optional(found->second) : std::nullopt;
}

std::string ContactLookups::displayNameOf(std::string_view number,
                                          std::optional<std::string_view> pushName) {
    if (!number.empty() && !isLidJid(number)) {
        if (auto name = getNameByPhoneNumber(number)) {
            return *name;
        }
    }
    if (auto name = whatsAppNameOf(number)) {
        return std::string(*name);
    }
    if (pushName && !pushName->empty() && !looksLikeEncodedBlob(*pushName)) {
        return std::string(*pushName);
    }
    return std::string(number);
}

std::string phoneRegionOf(const ScanState& state) {
    if (!state.currentNodeInfo) {
        return {};
    }
    std::string region =
        regionOfInternationalNumber(whatsAppNumber(state.currentNodeInfo->whatsAppNodeNumber));
    return region.empty() ? std::string(state.currentNodeInfo->localeRegion) : region;
}

ContactLookups lookupsOf(const ScanState& state) {
    return ContactLookups(state.contactArray, state.whatsAppFavContactArray, phoneRegionOf(state));
}

std::optional<std::string> ContactLookups::getNameByPhoneNumber(std::string_view phone) {
    return phoneNames_.nameFor(phone);
}

std::optional<Text> ContactLookups::getContactNameByWhatsAppNumber(std::string_view number) {
    std::string wanted = number.size() < 4 ? without(number, "-") : std::string(number);
    wanted = asciiLower(without(wanted, "() "));
    if (wanted.empty()) {
        return std::nullopt;
    }
    auto known = sliceAnswers_.find(wanted);
    if (known != sliceAnswers_.end()) {
        return known->second;
    }
    std::optional<Text> answer;
    for (const auto& [name, phone] : sliceContacts_) {
        bool found = phone.size() < wanted.size()
                         ? wanted.find(middleSlice(phone)) != std::string::npos
                         : phone.find(middleSlice(wanted)) != std::string::npos;
        if (found) {
            answer = name;
            break;
        }
    }
    sliceAnswers_.emplace(std::move(wanted), answer);
    return answer;
}

const KTWhatsAppFavContact* ContactLookups::favouriteFor(std::string_view id) {
    std::string wanted = asciiLower(id);
    if (wanted.empty()) {
        return nullptr;
    }
    auto known = favouriteAnswers_.find(wanted);
    if (known != favouriteAnswers_.end()) {
        return known->second;
    }
    const KTWhatsAppFavContact* answer = nullptr;
    for (size_t i = 0; i < favouriteIds_.size(); ++i) {
        if (favouriteIds_[i].find(wanted) != std::string::npos) {
            answer = &favourites_[i];
            break;
        }
    }
    favouriteAnswers_.emplace(std::move(wanted), answer);
    return answer;
}

std::optional<Text> ContactLookups::getContactStatuByWhatsAppID(std::string_view id) {
    const KTWhatsAppFavContact* favourite = favouriteFor(id);
    return favourite != nullptr ? std::optional<Text>(favourite->contactStatu) : std::nullopt;
}

std::optional<Text> ContactLookups::getContactImagepathByWhatsAppID(std::string_view id) {
    const KTWhatsAppFavContact* favourite = favouriteFor(id);
    return favourite != nullptr ? std::optional<Text>(favourite->contactImagePath) : std::nullopt;
}

}  // namespace vessamo
