#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/ExportFileNames.h"
#include "export/MessageAttachmentCopy.h"
#include "export/ReportClock.h"
#include "export/ReportOrigin.h"
#include "export/ReportOutput.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

class ReportChat;

// What became of a message's media file in the report.
enum class ReportMedia { none, copied, notInSource, failed };

struct ReportPlace {
    double latitude = 0;
    double longitude = 0;
};

struct ReportCard {
    std::string_view name;
    std::vector<std::string_view> numbers;
    std::string file;  // below the report folder, "" when not written
};

// One message as both the pages and the JSON show it, worked out once:
// author and colour, time in the report's zone, the copied media file, the
// place and the contact card.
struct ReportMessage {
    const KTWhatsAppNode* node = nullptr;
    size_t number = 0;  // place in the conversation, oldest first, from 0
    std::string_view author;
    int colour = 0;
    std::optional<ClockReading> at;
    ReportMedia media = ReportMedia::none;
    std::string mediaFile;  // the copy's name in "Media Files"
    std::optional<ReportPlace> place;
    std::optional<ReportCard> card;
    RecoveredPlace origin;  // a recovered message's place in the chat database
    // A reply's quoted message, when its chat holds it: where it is, who
    // wrote it and its text.
    struct Quote {
        size_t number = 0;
        std::string_view author;
        int colour = 0;
        const KTWhatsAppNode* node = nullptr;
    };
    std::optional<Quote> quote;
};

// Makes ReportMessages for a run: copies media through the export's
// copier, writes each contact card once into "Cards".
class ReportMessageMaker {
public:
    ReportMessageMaker(const ScanResult& result, MessageAttachmentCopy& media, ReportOutput& output,
                       ReportClock& clock)
        : result_(result),
          media_(media),
          output_(output),
          clock_(clock),
          cards_(output.folder() + "/Cards") {}

    [[nodiscard]] ReportMessage make(const ReportChat& chat, size_t number);

private:
    void copyMedia(ReportMessage& made);
    [[nodiscard]] ReportCard cardOf(const KTWhatsAppNode& message);

    const ScanResult& result_;
    MessageAttachmentCopy& media_;
    ReportOutput& output_;
    ReportClock& clock_;
    ExportFileNames cards_;
    std::unordered_map<std::string_view, std::string> cardFiles_;  // vCard text -> file
    bool cardsFolderMade_ = false;
};

// "48.1372 11.5756" as the location column stores it; nullopt for
// anything that is not two coordinates in range.
[[nodiscard]] std::optional<ReportPlace> parsePlace(std::string_view text);

// The telephone numbers of a vCard's TEL lines.
[[nodiscard]] std::vector<std::string_view> cardNumbers(std::string_view vcard);

}  // namespace vessamo
