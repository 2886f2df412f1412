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

}  // namespace

MessageAttachmentCopy::MessageAttachmentCopy(const ScanResult& result, std::string recoverPath,
                                             ExportReport& report)
    : result_(result), mediaFolder_(std::move(recoverPath) + "/Media Files"), report_(report) {}

std::optional<std::string> MessageAttachmentCopy::sourceFileOf(
    const KTWhatsAppNode& message) const {
    const std::string folder = result_.bNewAppVersion() ? "Message/" : "Library/";
    if (message.bTimelineNode || message.biCloudNode) {
        if (message.messageAttchpath.empty() || hasParentStep(message.messageAttchpath)) {
            return std::nullopt;
        }
        if (message.bTimelineNode) {
            return result_.fullTimelinPath + "/" + folder + message.messageAttchpath;
        }
        return result_.tempfilePath + message.messageAttchpath;
    }
    const std::array<Text, 3> candidates = {message.messageAttchpath, message.messageThumPath,
                                            message.messagePPThumpath};
    for (const Text stored : candidates) {
        if (stored.empty()) {
            continue;
        }
        if (const std::optional<Text> file = result_.getFileKeyBytheFilepath(folder + stored)) {
            return file->str();
        }
    }
    return std::nullopt;
}

std::string MessageAttachmentCopy::destinationOf(const KTWhatsAppNode& message,
                                                 const std::string& sourceFile) const {
    // A backup file is named by its key, so the copy takes the key and the
    // media's own extension. Either part may come from a crafted database,
    // hence each is made safe.
    std::string name = safeFileName(lastComponent(sourceFile));
    if (!message.biCloudNode) {
        const std::string extension =
            fs::path(message.messageAttchpath.view()).extension().string();
        name += '.';
        if (extension.size() > 1) {
            name += safeFileName(extension.substr(1)).substr(0, kMaxExtensionBytes);
        }
    }
    return mediaFolder_ + "/" + name;
}

std::optional<std::string> MessageAttachmentCopy::recoverMessageAttachment(
    const KTWhatsAppNode& message) {
    if (message.messageAttchpath.empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> sourceFile = sourceFileOf(message);
    if (!sourceFile) {
        report_.failures.push_back("media file not found: " + message.messageAttchpath);
        return std::nullopt;
    }
    // Made with the first copy rather than up front: an export without media
    // leaves no empty folder behind.
    if (!mediaFolderMade_) {
        if (const Status made = makeFolders(mediaFolder_); !made.ok()) {
            report_.failures.push_back(made.message());
            return std::nullopt;
        }
        mediaFolderMade_ = true;
    }
    const std::string destination = destinationOf(message, *sourceFile);
    if (const Status copied = copyFileInPieces(*sourceFile, destination, buffer_); !copied.ok()) {
        report_.failures.push_back(copied.message());
        return std::nullopt;
    }
    ++report_.filesWritten;
    applyMediaTime(result_, message.messageAttchpath, destination, report_);
    return destination;
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
