#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "common/Files.h"
#include "common/Status.h"
#include "export/ExportReport.h"
#include "results/KTWhatsAppNode.h"
#include "results/ScanResult.h"

namespace vessamo {

// One copy buffer of a piece's size. Its room is left uninitialised, so
// copying small files touches only the pages they fill, not all 8 MiB.
class CopyBuffer {
public:
    static constexpr size_t kPieceSize = 8 * 1024 * 1024;

    [[nodiscard]] char* data() {
        if (!bytes_) {
            bytes_.reset(new char[kPieceSize]);
        }
        return bytes_.get();
    }
    [[nodiscard]] static constexpr size_t size() { return kPieceSize; }

private:
    std::unique_ptr<char[]> bytes_;
};

// Copies the media files of messages into "<recoverPath>/Media Files" and
// gives each copy the time of its message. One object serves a whole export
// so the copy buffer is allocated once.
class MessageAttachmentCopy {
public:
    MessageAttachmentCopy(const ScanResult& result, std::string recoverPath, ExportReport& report);

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

    const ScanResult& result_;
    std::string mediaFolder_;
    ExportReport& report_;
    CopyBuffer buffer_;
    bool mediaFolderMade_ = false;
};

// Copies a whole file through the buffer, a piece at a time, never through
// a link at the destination. A failed copy is removed rather than left short;
// keepExisting leaves a file already there alone (alreadyExists).
[[nodiscard]] Status copyFileInPieces(const std::string& from, const std::string& to,
                                      CopyBuffer& buffer, WriteMode mode = WriteMode::replace);

}  // namespace vessamo
