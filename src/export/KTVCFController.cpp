#include "export/KTVCFController.h"

#include <algorithm>

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
    strContent.append(property);
    strContent += ':';
    strContent += escapeValue(value);
    strContent += "\r\n";
}

void KTVCFController::addPhoto(std::string_view imageBytes) {
    // Base64 needs no escaping: its alphabet holds none of the special characters.
    strContent += "PHOTO;ENCODING=b;TYPE=JPEG:";
    strContent += base64(imageBytes);
    strContent += "\r\n";
}

Status KTVCFController::finish(const std::string& path, WriteMode mode) {
    strContent += "END:VCARD";
    return writeFileAtomically(path, strContent, mode, Flush::none);
}

Status KTVCFController::creatContactFile(const KTWhatsAppNode& message, const std::string& path,
                                         WriteMode mode) {
    begin();
    addLine("N", message.messageName);
    addLine("TEL;CELL;PREF", message.messageNumb);
    return finish(path, mode);
}

Status KTVCFController::creatFavFile(const KTWhatsAppFavContact& contact, const std::string& path) {
    begin();
    addLine("N", contact.contactName);
    addLine("TEL;CELL;PREF", contact.whatsAppID);
    addLine("NOTE", statusOnOneLine(contact.contactStatu));
    if (!contact.contactImagePath.empty()) {
        if (const StatusOr<std::string> picture = readWholeFile(contact.contactImagePath);
            picture.ok()) {
            addPhoto(*picture);
        }
    }
    return finish(path, WriteMode::replace);
}

Status KTVCFController::creatFile(const KTContactNode& contact, const std::string& path) {
    begin();
    addLine("N", contact.contactName);
    addLine("ORG", contact.contactCompany);
    addLine("EMAIL;INTERNET;HOME;PREF", contact.contactEmail);
    addLine("TEL;CELL;PREF", contact.contactPhone);
    addLine("URL", contact.contactHomepage);
    if (contact.imageData) {
        addPhoto(*contact.imageData);
    }
    return finish(path, WriteMode::replace);
}

}  // namespace vessamo
