#include "export/KTVCFController.h"

#include <algorithm>
#include <initializer_list>

#include "common/WhatsAppIds.h"

namespace vessamo {

namespace {

std::string statusOnOneLine(std::string_view status) {
    std::string line(status);
    for (char& byte : line) {
        if (byte == '\n') {
            byte = ' ';
        }
    }
    return line;
}

}  // namespace

size_t KTVCFController::baseEncode(const unsigned char* srcBytes, size_t srcLen, char* destBytes,
                                   size_t destLen, std::string_view charset, bool padded) {
    if (srcBytes == nullptr || srcLen == 0 || destBytes == nullptr || destLen == 0 ||
        charset.size() < 64) {
        return 0;
    }
    const size_t tail = srcLen % 3;
    const size_t needed = srcLen / 3 * 4 + (tail == 0 ? 0 : (padded ? 4 : tail + 1));
    if (destLen < needed) {
        return 0;
    }
    size_t out = 0;
    for (size_t in = 0; in < srcLen; in += 3) {
        const size_t count = std::min<size_t>(3, srcLen - in);
        uint32_t group = static_cast<uint32_t>(srcBytes[in]) << 16;
        if (count > 1) {
            group |= static_cast<uint32_t>(srcBytes[in + 1]) << 8;
        }
        if (count > 2) {
            group |= srcBytes[in + 2];
        }
        for (size_t i = 0; i <= count; ++i) {
            destBytes[out++] = charset[(group >> (18 - 6 * i)) & 0x3F];
        }
        for (size_t i = count; padded && i < 3; ++i) {
            destBytes[out++] = '=';
        }
    }
    return out;
}

std::string KTVCFController::base64(std::string_view bytes) {
    std::string text((bytes.size() + 2) / 3 * 4, '\0');
    const size_t length = baseEncode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                     bytes.size(), text.data(), text.size(), kBase64Alphabet, true);
    text.resize(length);
    return text;
}

std::string KTVCFController::escapeValue(std::string_view value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char byte = value[i];
        if (byte == '\\' || byte == ',' || byte == ';') {
            escaped += '\\';
            escaped += byte;
        } else if (byte == '\r' || byte == '\n') {
            // CR LF is one break, not two.
            if (byte == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
                ++i;
            }
            escaped += "\\n";
        } else {
            escaped += byte;
        }
    }
    return escaped;
}

void KTVCFController::begin() {
    strContent = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
}

void KTVCFController::addLine(std::string_view property, std::string_view value) {
    // An empty property says nothing and some readers reject it.
    if (value.empty()) {
        return;
    }
    strContent.append(property);
    strContent += ':';
    strContent += escapeValue(value);
    strContent += "\r\n";
}

void KTVCFController::addNames(std::string_view displayName) {
    const std::string_view name = trimmed(displayName);
    strContent += "FN:";
    strContent += escapeValue(name);
    strContent += "\r\nN:";
    strContent += structuredName(name);
    strContent += "\r\n";
}

void KTVCFController::addTelephone(std::string_view number) {
    addLine("TEL;TYPE=CELL,PREF", telephoneOf(number));
}

void KTVCFController::addPhoto(std::string_view imageBytes) {
    // Base64 needs no escaping: its alphabet holds none of the special characters.
    strContent += "PHOTO;ENCODING=b;TYPE=JPEG:";
    strContent += base64(imageBytes);
    strContent += "\r\n";
}

Status KTVCFController::finish(const std::string& path, WriteMode mode) {
    strContent += "END:VCARD\r\n";
    return writeFileAtomically(path, strContent, mode, Flush::none, root_);
}

std::string KTVCFController::structuredName(std::string_view displayName) {
    // Family name, given name, additional names, prefixes, suffixes. A
    // display name is one text; its last word is taken as the family name
    // and the words before it as the given name, which is how address books
    // show most names. A single word is a given name.
    const std::string_view name = trimmed(displayName);
    const size_t blank = name.find_last_of(' ');
    std::string structured;
    if (blank != std::string_view::npos) {
        structured = escapeValue(name.substr(blank + 1));
    }
    structured += ';';
    structured +=
        escapeValue(blank == std::string_view::npos ? name : trimmed(name.substr(0, blank)));
    structured += ";;;";
    return structured;
}

std::string KTVCFController::telephoneOf(std::string_view number) {
    const std::string_view value = trimmed(number);
    // A group or a private identifier has no telephone number; a person's
    // JID carries one before its suffix.
    if (isGroupJid(value) || isLidJid(value)) {
        return "";
    }
    std::string digits = whatsAppNumber(value);
    if (digits.find('@') != std::string::npos) {
        return "";
    }
    const bool allDigits = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    // WhatsApp numbers are international without their "+".
    if (allDigits) {
        digits.insert(digits.begin(), '+');
    }
    return digits;
}

std::string_view KTVCFController::trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

namespace {

// The first of the texts that says something, else the last resort.
std::string firstGiven(std::initializer_list<std::string_view> texts, std::string lastResort) {
    for (std::string_view text : texts) {
        if (!text.empty() && text.find_first_not_of(" \t") != std::string_view::npos) {
            return std::string(text);
        }
    }
    return lastResort;
}

}  // namespace

Status KTVCFController::creatContactFile(const KTWhatsAppNode& message, const std::string& path,
                                         WriteMode mode) {
    begin();
    addNames(firstGiven({message.messageName, telephoneOf(message.messageNumb)}, "unknown"));
    addTelephone(message.messageNumb);
    return finish(path, mode);
}

Status KTVCFController::creatFavFile(const KTWhatsAppFavContact& contact, const std::string& path) {
    begin();
    addNames(firstGiven({contact.contactName, telephoneOf(contact.whatsAppID)}, "unknown"));
    addTelephone(contact.whatsAppID);
    addLine("NOTE", statusOnOneLine(contact.contactStatu));
    if (!contact.contactImagePath.empty()) {
        // The picture is a file of the source: never one a link points to.
        if (const StatusOr<std::string> picture =
                readWholeFile(PathWithin{{}, contact.contactImagePath.str()});
            picture.ok()) {
            addPhoto(*picture);
        }
    }
    return finish(path, WriteMode::replace);
}

Status KTVCFController::creatFile(const KTContactNode& contact, const std::string& path) {
    begin();
    addNames(firstGiven(
        {contact.contactName, contact.contactCompany, contact.contactPhone, contact.contactEmail},
        "unknown " + std::to_string(contact.rowid)));
    addLine("ORG", contact.contactCompany);
    addLine("EMAIL;TYPE=INTERNET,HOME,PREF", contact.contactEmail);
    addLine("TEL;TYPE=CELL,PREF", contact.contactPhone);
    addLine("URL", contact.contactHomepage);
    if (contact.imageData) {
        addPhoto(*contact.imageData);
    }
    return finish(path, WriteMode::replace);
}

}  // namespace vessamo
