#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "common/Files.h"
#include "common/Status.h"
#include "results/KTContactNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Builds one vCard 3.0 file per person (RFC 2426): the display name as FN
// and, structured, as N; only properties that have a value; every line,
// the last included, ends with CR LF. Each creat* method leaves the card in
// strContent and writes it to the path.
class KTVCFController {
public:
    KTVCFController() = default;
    // Cards written inside an export's destination: their folder is entered
    // from it without following links.
    explicit KTVCFController(std::string destinationRoot) : root_(std::move(destinationRoot)) {}

    // A chat participant: name and number of a message.
    Status creatContactFile(const KTWhatsAppNode& message, const std::string& path,
                            WriteMode mode = WriteMode::replace);
    // A WhatsApp contact, with its picture when the file can be read.
    Status creatFavFile(const KTWhatsAppFavContact& contact, const std::string& path);
    // An address-book contact, with its picture when it has one.
    Status creatFile(const KTContactNode& contact, const std::string& path);

    // RFC 4648 encoding with the given 64-character alphabet, on one line.
    // Returns the characters written, or 0 when a pointer or length is zero,
    // the alphabet is short, or the destination cannot hold the result.
    static size_t baseEncode(const unsigned char* srcBytes, size_t srcLen, char* destBytes,
                             size_t destLen, std::string_view charset, bool padded);
    [[nodiscard]] static std::string base64(std::string_view bytes);

    // A value as vCard 3.0 wants it: backslash, comma, semicolon and line
    // breaks escaped. Names and statuses are free text from other people; left
    // raw, a ";" or a line break would split or inject properties.
    [[nodiscard]] static std::string escapeValue(std::string_view value);

    // N's value for a display name: "Family;Given;;;", each part escaped.
    [[nodiscard]] static std::string structuredName(std::string_view displayName);
    // A TEL value for a WhatsApp number or JID: "+<digits>" for a phone
    // number, "" for a group or a private identifier, which have none.
    [[nodiscard]] static std::string telephoneOf(std::string_view number);

    std::string strContent;

private:
    [[nodiscard]] static std::string_view trimmed(std::string_view text);
    void begin();
    void addNames(std::string_view displayName);
    void addTelephone(std::string_view number);
    void addLine(std::string_view property, std::string_view value);
    void addPhoto(std::string_view imageBytes);
    Status finish(const std::string& path, WriteMode mode);

    std::string root_;
};

}  // namespace vessamo
