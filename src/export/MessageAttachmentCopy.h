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

// The same, with what names the file among the result's texts: the index's
// entry, or the stored path a Timeline or iCloud folder holds it under. The
// key is a view into the result, which outlives every export of it.
struct MessageMediaSource {
    enum class Origin : uint8_t { indexed, timelineFolder, iCloudFolder };
    std::string path;
    Text key;
    Origin origin = Origin::indexed;
};
[[nodiscard]] std::optional<MessageMediaSource> locateMessageMedia(const ScanResult& result,
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

    struct SourceKey {
        Text text;
        MessageMediaSource::Origin origin;
        bool operator==(const SourceKey&) const = default;
    };
    struct SourceKeyHash {
        size_t operator()(const SourceKey& key) const {
            return std::hash<std::string_view>{}(key.text) ^ static_cast<size_t>(key.origin);
        }
    };

    const ScanResult& result_;
    ExportFileNames names_;
    ExportReport& report_;
    CopyBuffer buffer_;
    // The name a source file was given in the media folder, and whether it
    // was written: one entry per media file of the export. The folder is
    // not repeated either: keys and names are views into the result and
    // into names_, so an entry costs no allocation of its own.
    struct CopiedName {
        Text name;
        bool written = false;
    };
    std::unordered_map<SourceKey, CopiedName, SourceKeyHash> copied_;  // source -> its copy
    bool mediaFolderMade_ = false;
};

// A file of the source a result was scanned from, with the folder it must
// be read inside: the unpacked iCloud archives, the Timeline or the backup.
[[nodiscard]] PathWithin withinSource(const ScanResult& result, std::string path);

// Copies a whole file through the buffer, a piece at a time. The source is
// read inside its folder without following links; the copy is made under a
// new name inside its own folder, entered from its root without following
// links, and renamed into place whole: never truncated in place, never short.
// keepExisting leaves a file already there alone (alreadyExists).
[[nodiscard]] Status copyFileInPieces(const PathWithin& from, const PathWithin& to,
                                      CopyBuffer& buffer, WriteMode mode = WriteMode::replace);

}  // namespace vessamo
