#include "export/ReportMessage.h"

#include <charconv>
#include <cmath>

#include "common/Files.h"
#include "export/ReportChat.h"

namespace vessamo {

namespace {

std::optional<double> parseNumber(std::string_view& text) {
    const size_t start = text.find_first_not_of(" ,;");
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(start);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value)) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return value;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<ReportPlace> parsePlace(std::string_view text) {
    const std::optional<double> latitude = parseNumber(text);
    const std::optional<double> longitude = latitude ? parseNumber(text) : std::nullopt;
    if (!longitude || text.find_first_not_of(' ') != std::string_view::npos ||
        std::fabs(*latitude) > 90 || std::fabs(*longitude) > 180) {
        return std::nullopt;
    }
    return ReportPlace{*latitude, *longitude};
}

std::vector<std::string_view> cardNumbers(std::string_view vcard) {
    std::vector<std::string_view> numbers;
    while (!vcard.empty()) {
        const size_t end = vcard.find('\n');
        std::string_view line = vcard.substr(0, end);
        vcard.remove_prefix(end == std::string_view::npos ? vcard.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const size_t colon = line.find(':');
        // "TEL;type=CELL:+49 ..." and grouped "item1.TEL:..." alike.
        const size_t dot = line.find('.');
        const std::string_view name =
            dot != std::string_view::npos && dot < colon ? line.substr(dot + 1) : line;
        if (colon != std::string_view::npos && startsWithNoCase(name, "tel") &&
            colon + 1 < line.size()) {
            numbers.push_back(line.substr(colon + 1));
        }
    }
    return numbers;
}

ReportMessage ReportMessageMaker::make(const ReportChat& chat, size_t number) {
    const KTWhatsAppNode& message = chat[number];
    ReportMessage made;
    made.node = &message;
    made.number = number;
    made.at = clock_.read(message.messageDate);
    if (message.isSystem()) {
        return made;
    }
    made.author = chat.authorOf(message);
    made.colour = chat.colourOf(message);
    made.origin = recoveredPlaceOf(result_, message);
    if (message.isHaveAttch) {
        copyMedia(made);
    }
    if (!message.locationInfo.empty()) {
        made.place = parsePlace(message.locationInfo);
    }
    if (message.vcardInfo.size() >= 2) {
        made.card = cardOf(message);
    }
    if (const std::optional<size_t> quoted = chat.placeOfQuoted(message)) {
        const KTWhatsAppNode& original = chat[*quoted];
        made.quote = ReportMessage::Quote{*quoted, chat.authorOf(original), chat.colourOf(original),
                                          &original};
    }
    return made;
}

void ReportMessageMaker::copyMedia(ReportMessage& made) {
    const AttachmentCopy copy = media_.copyAttachment(*made.node);
    switch (copy.outcome) {
        case AttachmentOutcome::copied:
            made.media = ReportMedia::copied;
            made.mediaFile = std::string(lastComponent(copy.path));
            break;
        case AttachmentOutcome::noMediaPath:
            made.media = ReportMedia::none;
            break;
        case AttachmentOutcome::notInSource:
            made.media = ReportMedia::notInSource;
            break;
        case AttachmentOutcome::failed:
            made.media = ReportMedia::failed;
            break;
    }
}

// The card a person can open in an address book, written once per message.
ReportCard ReportMessageMaker::cardOf(const KTWhatsAppNode& message) {
    ReportCard card;
    card.name = message.vcardName;
    card.numbers = cardNumbers(message.vcardInfo);
    if (!cardsFolderMade_) {
        cardsFolderMade_ = output_.prepareSubfolder("Cards");
        if (!cardsFolderMade_) {
            return card;
        }
    }
    // The starred list shows a card a second time: one file serves both.
    if (const auto written = cardFiles_.find(message.vcardInfo); written != cardFiles_.end()) {
        card.file = written->second;
        return card;
    }
    const std::string_view name = message.vcardName.empty() ? "Contact" : message.vcardName.view();
    const std::string path = cards_.claim(name, ".vcf");
    const std::string file = "Cards/" + std::string(lastComponent(path));
    std::string bytes = message.vcardInfo.str();
    if (bytes.back() != '\n') {
        bytes.push_back('\n');
    }
    if (output_.write(file, bytes)) {
        card.file = file;
        cardFiles_.emplace(message.vcardInfo, file);
    }
    return card;
}

}  // namespace vessamo
