#include "export/MessageAttachmentCopy.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/Files.h"
#include "export/MediaExports.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxExtensionBytes = 32;  // keeps key and extension within NAME_MAX

// Stored media paths come from the chat database, which anyone can craft;
// a ".." component must not walk a Timeline or iCloud read out of its folder.
bool hasParentStep(std::string_view relative) {
    for (const fs::path& part : fs::path(relative)) {
        if (part == "..") {
            return true;
        }
    }
    return false;
}

// A file of an unpacked source: a regular file itself, not a link.
bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The file the index names for the message's media: its own file, else one
// of its thumbnails standing in for it.
std::optional<MessageMediaSource> indexedMedia(const ScanResult& result,
                                               const KTWhatsAppNode& message) {
    const std::string folder = result.bNewAppVersion() ? "Message/" : "Library/";
    const std::array<Text, 3> candidates = {message.messageAttchpath, message.messageThumPath,
                                            message.messagePPThumpath};
    for (const Text stored : candidates) {
        if (stored.empty()) {
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
    if (stored.empty() || hasParentStep(stored)) {
        return std::nullopt;
    }
    const bool newer = result.bNewAppVersion();
    for (const char* folder : {newer ? "Message/" : "Library/", newer ? "Library/" : "Message/"}) {
        std::string path = result.fullTimelinPath + "/" + folder + stored;
        if (isRegularFile(path)) {
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
        if (message.messageAttchpath.empty() || hasParentStep(message.messageAttchpath)) {
            return std::nullopt;
        }
        std::string path = result.tempfilePath + message.messageAttchpath;
        if (!isRegularFile(path)) {
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
    : result_(result), names_(std::move(recoverPath) + "/Media Files"), report_(report) {}

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
        if (const Status made = makeFolders(names_.folder()); !made.ok()) {
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
    const Status copied = copyFileInPieces(sourceFile, destination, buffer_);
    copied_.insert_or_assign(key,
                             CopiedName{names_.given(lastComponent(destination)), copied.ok()});
    if (!copied.ok()) {
        // Gone between the look and the copy: the source's matter, as above.
        std::error_code ec;
        if (!fs::is_regular_file(sourceFile, ec)) {
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

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Writes all of bytes to fd. "" on success, else why.
std::string writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return std::strerror(written < 0 ? errno : EIO);
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return "";
}

// Moves the bytes of one open file to another. "" on success, else why.
// Plain descriptors rather than stdio: most media files are small, and a
// stream per file (its own buffer, a size query, an extra copy) cost more
// than the copy itself.
std::string copyOpenFile(int in, int out, uintmax_t size, CopyBuffer& buffer) {
    uintmax_t left = size;
    // The kernel copies between the files where it can, a piece at a time,
    // without the bytes passing through this process: within one file
    // system directly, across two (a backup on disk, an export in memory)
    // through its page cache; the buffer serves where it can do neither.
    enum class Way { kernelCopy, kernelSend, userSpace };
    Way way = Way::kernelCopy;  // each way, once given up, stays given up
    while (left > 0) {
        const size_t want = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
        ssize_t moved = -1;
        if (way == Way::kernelCopy) {
            moved = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
        } else if (way == Way::kernelSend) {
            moved = ::sendfile(out, in, nullptr, want);
        }
        if (moved > 0) {
            left -= static_cast<uintmax_t>(moved);
            continue;
        }
        if (moved == 0) {
            return "source ended early or could not be read";
        }
        if (way != Way::userSpace) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                return std::strerror(errno);
            }
            way = way == Way::kernelCopy ? Way::kernelSend : Way::userSpace;
            continue;
        }
        ssize_t got = 0;
        do {
            got = ::read(in, buffer.data(), want);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            return "source ended early or could not be read";
        }
        if (std::string error = writeAll(out, buffer.data(), static_cast<size_t>(got));
            !error.empty()) {
            return error;
        }
        left -= static_cast<uintmax_t>(got);
    }
    return "";
}

// Why a source that cannot be opened is refused, in the words a look at
// its size would have used: missing files and folders read as such.
Status unopenableSource(const std::string& from, const std::string& what) {
    const int error = errno;
    std::error_code ec;
    (void)fs::file_size(from, ec);
    if (ec) {
        return Status::ioError(what + ": " + ec.message());
    }
    errno = error;
    return Status::fromErrno(what);
}

}  // namespace

Status copyFileInPieces(const std::string& from, const std::string& to, CopyBuffer& buffer,
                        WriteMode mode) {
    const std::string what = "cannot copy " + from + " to " + to;
    // Non-blocking, so that a FIFO put in a source's place is refused below
    // instead of waiting for a writer.
    const FdCloser in{::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (in.fd < 0) {
        return unopenableSource(from, what);
    }
    struct stat info {};
    if (::fstat(in.fd, &info) != 0) {
        return Status::fromErrno(what);
    }
    if (!S_ISREG(info.st_mode)) {
        const std::errc why =
            S_ISDIR(info.st_mode) ? std::errc::is_a_directory : std::errc::operation_not_supported;
        return Status::ioError(what + ": " + std::make_error_code(why).message());
    }
    // Never through a link: one planted in the destination must not send
    // the copy elsewhere.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC |
                      (mode == WriteMode::keepExisting ? O_EXCL : O_TRUNC);
    const int out = ::open(to.c_str(), flags, 0644);
    if (out < 0) {
        return mode == WriteMode::keepExisting && errno == EEXIST
                   ? Status::alreadyExists(to + " exists already")
                   : Status::fromErrno(what);
    }
    std::string error = copyOpenFile(in.fd, out, static_cast<uintmax_t>(info.st_size), buffer);
    if (::close(out) != 0 && error.empty()) {
        error = std::strerror(errno);
    }
    if (!error.empty()) {
        // A truncated copy would pass for the media; better none at all.
        std::error_code ec;
        fs::remove(to, ec);
        return Status::ioError(what + ": " + error);
    }
    return Status();
}

}  // namespace vessamo
