#include "carving/PhoneNameIndex.h"

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

}  // namespace

PhoneNameIndex::PhoneNameIndex(std::span<const ContactPhoneEntry> contacts) {
    for (const ContactPhoneEntry& contact : contacts) {
        if (!contact.contactPhone.empty()) {
            contacts_.push_back(
                Cleaned{std::string(contact.contactName), cleaned(contact.contactPhone)});
        }
    }
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
    std::optional<std::string> answer;
    for (const Cleaned& contact : contacts_) {
        if (contact.phone.find(wanted) != std::string::npos) {
            answer = contact.name;
            break;
        }
    }
    answers_.emplace(std::move(wanted), answer);
    return answer;
}

}  // namespace vessamo
