#include "export/MessageAttachmentCopy.h"

#include <sys/stat.h>

#include <array>
#include <filesystem>

#include "common/ConfinedFiles.h"
#include "common/Files.h"
#include "export/MediaExports.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxExtensionBytes = 32;  // keeps key and extension within NAME_MAX

// The file the index names for the message's media: its own file, else one
// of its thumbnails standing in for it.
std::optional<MessageMediaSource> indexedMedia(const ScanResult& result,
                                               const KTWhatsAppNode& message) {
    const std::string folder = result.bNewAppVersion() ? "Message/" : "Library/";
    const std::array<Text, 3> candidates = {message.messageAttchpath, message.messageThumPath,
                                            message.messagePPThumpath};
    for (const Text stored : candidates) {
        // Stored paths come from the chat database, which anyone can craft.
        if (!isPlainRelativePath(stored)) {
            continue;
        }
        if (const std::optional<Text> file = result.getFileKeyBytheFilepath(folder + stored)) {
            return MessageMediaSource{file->str(), *file, MessageMediaSource::Origin::indexed};
        }
    }
    return std::nullopt;
}

// A Timeline made from a device keeps media under "Message/" or "Library/"
// (by the app's version); one made from a scan keeps a catalogue, and its
// media are found through the index as a backup's are.
std::optional<MessageMediaSource> timelineMedia(const ScanResult& result,
                                                const KTWhatsAppNode& message) {
    if (auto indexed = indexedMedia(result, message)) {
        return indexed;
    }
    const std::string stored(message.messageAttchpath.view());
    if (!isPlainRelativePath(stored)) {
        return std::nullopt;
    }
    const bool newer = result.bNewAppVersion();
    for (const char* folder : {newer ? "Message/" : "Library/", newer ? "Library/" : "Message/"}) {
        std::string path = result.fullTimelinPath + "/" + folder + stored;
        if (isSourceFile({result.fullTimelinPath, path})) {
            return MessageMediaSource{std::move(path), message.messageAttchpath,
                                      MessageMediaSource::Origin::timelineFolder};
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<MessageMediaSource> locateMessageMedia(const ScanResult& result,
                                                     const KTWhatsAppNode& message) {
    if (message.bTimelineNode) {
        return timelineMedia(result, message);
    }
    if (message.biCloudNode) {
        if (!isPlainRelativePath(message.messageAttchpath)) {
            return std::nullopt;
        }
        std::string path = result.tempfilePath + message.messageAttchpath;
        if (!isSourceFile({result.tempfilePath, path})) {
            return std::nullopt;
        }
        return MessageMediaSource{std::move(path), message.messageAttchpath,
                                  MessageMediaSource::Origin::iCloudFolder};
    }
    return indexedMedia(result, message);
}

std::optional<std::string> findMessageMedia(const ScanResult& result,
                                            const KTWhatsAppNode& message) {
    std::optional<MessageMediaSource> source = locateMessageMedia(result, message);
    return source ? std::optional<std::string>(std::move(source->path)) : std::nullopt;
}

MessageAttachmentCopy::MessageAttachmentCopy(const ScanResult& result, std::string recoverPath,
                                             ExportReport& report)
    : result_(result), names_(recoverPath + "/Media Files", recoverPath), report_(report) {}

std::string MessageAttachmentCopy::destinationOf(const KTWhatsAppNode& message,
                                                 const std::string& sourceFile) {
    // A backup file is named by its key, so the copy takes the key and the
    // media's own extension; a Timeline or iCloud file has its own name.
    // Either part may come from a crafted database, hence each is made safe.
    std::string name = safeFileName(lastComponent(sourceFile));
    const std::string extension = fs::path(message.messageAttchpath.view()).extension().string();
    const bool keyed = !message.biCloudNode && !message.bTimelineNode;
    if (keyed || (fs::path(name).extension().empty() && extension.size() > 1)) {
        name += '.';
        if (extension.size() > 1) {
            name += safeFileName(extension.substr(1)).substr(0, kMaxExtensionBytes);
        }
    }
    // No owner key: copied_ already answers for a source seen before, and a
    // second record of each file would double what a large export holds.
    return names_.claimFileName(name);
}

AttachmentCopy MessageAttachmentCopy::copyAttachment(const KTWhatsAppNode& message) {
    if (message.messageAttchpath.empty()) {
        return {AttachmentOutcome::noMediaPath, {}};
    }
    const std::optional<MessageMediaSource> source = locateMessageMedia(result_, message);
    if (!source) {
        report_.noteMissing(message.messageAttchpath);
        return {AttachmentOutcome::notInSource, {}};
    }
    // Made with the first copy rather than up front: an export without media
    // leaves no empty folder behind.
    if (!mediaFolderMade_) {
        if (const Status made = makeFoldersWithin({names_.root(), names_.folder()}); !made.ok()) {
            report_.failures.push_back(made.message());
            return {AttachmentOutcome::failed, {}};
        }
        mediaFolderMade_ = true;
    }
    // A file several messages share (forwarded, or a thumbnail standing in)
    // is copied once per export; one that failed before is tried again
    // under the name it was given.
    const std::string& sourceFile = source->path;
    const SourceKey key{source->key, source->origin};
    const auto known = copied_.find(key);
    if (known != copied_.end() && known->second.written) {
        return {AttachmentOutcome::copied, names_.folder() + "/" + known->second.name};
    }
    std::string destination = known != copied_.end() ? names_.folder() + "/" + known->second.name
                                                     : destinationOf(message, sourceFile);
    const PathWithin from = withinSource(result_, sourceFile);
    const Status copied = copyFileInPieces(from, {names_.root(), destination}, buffer_);
    copied_.insert_or_assign(key,
                             CopiedName{names_.given(lastComponent(destination)), copied.ok()});
    if (!copied.ok()) {
        // Gone between the look and the copy: the source's matter, as above.
        if (!isSourceFile(from)) {
            report_.noteMissing(message.messageAttchpath);
            return {AttachmentOutcome::notInSource, {}};
        }
        report_.failures.push_back(copied.message());
        return {AttachmentOutcome::failed, {}};
    }
    ++report_.filesWritten;
    applyMediaTime(result_, message.messageAttchpath, destination, report_);
    return {AttachmentOutcome::copied, std::move(destination)};
}

std::optional<std::string> MessageAttachmentCopy::recoverMessageAttachment(
    const KTWhatsAppNode& message) {
    AttachmentCopy copy = copyAttachment(message);
    if (copy.outcome != AttachmentOutcome::copied) {
        return std::nullopt;
    }
    return std::move(copy.path);
}

PathWithin withinSource(const ScanResult& result, std::string path) {
    for (const std::string* root : {&result.tempfilePath, &result.fullTimelinPath}) {
        if (!root->empty() && path.starts_with(*root)) {
            return {*root, std::move(path)};
        }
    }
    return {result.folder, std::move(path)};
}

Status copyFileInPieces(const PathWithin& from, const PathWithin& to, CopyBuffer& buffer,
                        WriteMode mode) {
    StatusOr<UniqueFd> in = openSourceFile(from);
    if (!in.ok()) {
        return in.status();
    }
    struct stat info {};
    if (::fstat(in->get(), &info) != 0) {
        return Status::fromErrno("cannot copy " + from.path);
    }
    AtomicFileWriter out(to.path, mode, Flush::none, to.root);
    out.appendFrom(in->get(), static_cast<uint64_t>(info.st_size), {buffer.data(), buffer.size()});
    return out.commit();
}

}  // namespace vessamo
