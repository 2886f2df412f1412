#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "export/ExportSource.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

// Copies the media files of messages into "<destination>/Media Files" and
// gives each copy the time of its message. One object serves a whole export
// so the copy buffer is allocated once.
class MessageAttachmentCopy {
public:
    static constexpr size_t kPieceSize = 8 * 1024 * 1024;

    MessageAttachmentCopy(const ExportSource& source, std::string recoverPath,
                          ExportReport& report);

    // The copy's path, or nullopt when the message has no media path, its
    // file cannot be found or the copy failed (each failure one report line).
    [[nodiscard]] std::optional<std::string> recoverMessageAttachment(
        const KTWhatsAppNode& message);

    // The file that holds the message's media, by where the message came
    // from: a backup's index, an unpacked Timeline folder or iCloud archive.
    [[nodiscard]] std::optional<std::string> sourceFileOf(const KTWhatsAppNode& message) const;

private:
    [[nodiscard]] std::string destinationOf(const KTWhatsAppNode& message,
                                            const std::string& sourceFile) const;
    [[nodiscard]] bool copyFile(const std::string& from, const std::string& to);
    void applyMessageTime(const KTWhatsAppNode& message, const std::string& copy);

    const ExportSource& source_;
    std::string mediaFolder_;
    ExportReport& report_;
    std::vector<char> buffer_;
};

// A message time text ("MM-DD-YYYY hh:mm", local time) as a moment; nullopt
// for dates the calendar does not have.
[[nodiscard]] std::optional<std::time_t> parseMessageTime(const std::string& text);

}  // namespace vessamo
