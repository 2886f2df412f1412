#include "carving/PhoneNameIndex.h"

#include <algorithm>
#include <cctype>

#include "common/PhoneNumberKeys.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

std::string cleaned(std::string_view phone) {
    std::string out;
    out.reserve(phone.size());
    for (char c : phone) {
        if (c != '-' && c != '(' && c != ')' && c != ' ') {
            out += c;
        }
    }
    return asciiLower(out);
}

bool onlyDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

}  // namespace

PhoneNameIndex::PhoneNameIndex(std::span<const ContactPhoneEntry> contacts, std::string region)
    : region_(std::move(region)) {
    for (const ContactPhoneEntry& contact : contacts) {
        if (!contact.contactPhone.empty()) {
            contacts_.push_back(Contact{std::string(contact.contactName),
                                        std::string(contact.contactPhone),
                                        cleaned(contact.contactPhone)});
        }
    }
}

// The contacts' numbers as read in one region; most scans need one region,
// a few the regions of foreign numbers too.
const PhoneNameIndex::NamesByKey& PhoneNameIndex::namesIn(const std::string& region) {
    auto [at, added] = byRegion_.try_emplace(region);
    if (added) {
        const PhoneNumberKeys keys(region);
        for (const Contact& contact : contacts_) {
            for (std::string& key : keys.keysIn(contact.written)) {
                at->second.emplace(std::move(key), contact.name);
            }
        }
    }
    return at->second;
}

// WhatsApp keeps numbers as bare international digits; anything else is
// read the way an address book writes it.
std::optional<std::string> PhoneNameIndex::byNumber(std::string_view phone) {
    const std::optional<std::string> key = onlyDigits(phone)
                                               ? PhoneNumberKeys::keyOfInternational(phone)
                                               : PhoneNumberKeys(region_).key(phone);
    if (!key) {
        return std::nullopt;
    }
    const std::string region =
        region_.empty() ? regionOfInternationalNumber(std::string_view(*key).substr(1)) : region_;
    const NamesByKey& names = namesIn(region);
    auto found = names.find(*key);
    return found != names.end() ? std::optional(found->second) : std::nullopt;
}

std::optional<std::string> PhoneNameIndex::nameFor(std::string_view phone) {
    std::string wanted = cleaned(phone);
    if (wanted.empty()) {
        return std::nullopt;  // no number names nobody, not the first contact
    }
    auto known = answers_.find(wanted);
    if (known != answers_.end()) {
        return known->second;
    }
    std::optional<std::string> answer = byNumber(phone);
    for (size_t i = 0; !answer && i < contacts_.size(); ++i) {
        if (contacts_[i].phone.find(wanted) != std::string::npos) {
            answer = contacts_[i].name;
        }
    }
    answers_.emplace(std::move(wanted), answer);
    return answer;
}

}  // namespace vessamo
