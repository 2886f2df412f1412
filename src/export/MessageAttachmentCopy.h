#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "common/Files.h"
#include "common/Status.h"
#include "export/ExportFileNames.h"
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

// The file that holds a message's media, by where the message came from: a
// backup's index, a Timeline folder (or the backup index its scan built) or
// an unpacked iCloud archive. nullopt when the source does not hold it.
[[nodiscard]] std::optional<std::string> findMessageMedia(const ScanResult& result,
                                                          const KTWhatsAppNode& message);

// What became of one message's media file.
enum class AttachmentOutcome {
    copied,       // path is the copy
    noMediaPath,  // the message stores no media file (a thumbnail at most)
    notInSource,  // the source does not hold the file: listed as missing
    failed,       // the file is there but could not be copied: a failure
};
struct AttachmentCopy {
    AttachmentOutcome outcome = AttachmentOutcome::noMediaPath;
    std::string path;
};

// Copies the media files of messages into "<recoverPath>/Media Files" and
// gives each copy the time of its message. One object serves a whole export
// so the copy buffer is allocated once, and two files of one name are both
// kept ("name.jpg", "name (2).jpg").
class MessageAttachmentCopy {
public:
    MessageAttachmentCopy(const ScanResult& result, std::string recoverPath, ExportReport& report);

    [[nodiscard]] AttachmentCopy copyAttachment(const KTWhatsAppNode& message);

    // The copy's path, or nullopt when there is none (see copyAttachment).
    [[nodiscard]] std::optional<std::string> recoverMessageAttachment(
        const KTWhatsAppNode& message);

    [[nodiscard]] std::optional<std::string> sourceFileOf(const KTWhatsAppNode& message) const {
        return findMessageMedia(result_, message);
    }

private:
    [[nodiscard]] std::string destinationOf(const KTWhatsAppNode& message,
                                            const std::string& sourceFile);

    const ScanResult& result_;
    ExportFileNames names_;
    ExportReport& report_;
    CopyBuffer buffer_;
    // The name a source file was given in the media folder (the folder is
    // not repeated: there is one entry per media file of the export), and
    // whether it was written.
    struct CopiedName {
        std::string name;
        bool written = false;
    };
    std::unordered_map<std::string, CopiedName> copied_;  // source -> its copy
    bool mediaFolderMade_ = false;
};

// Copies a whole file through the buffer, a piece at a time, never through
// a link at the destination. A failed copy is removed rather than left short;
// keepExisting leaves a file already there alone (alreadyExists).
[[nodiscard]] Status copyFileInPieces(const std::string& from, const std::string& to,
                                      CopyBuffer& buffer, WriteMode mode = WriteMode::replace);

}  // namespace vessamo
