#include "export/MessageAttachmentCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "common/Files.h"
#include "export/MediaExports.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

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
    if (const Status made = makeFolders(mediaFolder_); !made.ok()) {
        report_.failures.push_back(made.message());
        return std::nullopt;
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

// Moves the bytes of one open file to another. "" on success, else why.
std::string copyOpenFile(std::FILE* in, std::FILE* out, uintmax_t size, CopyBuffer& buffer) {
    uintmax_t left = size;
    std::string error;
    // The kernel copies between the files where it can, a piece at a time,
    // without the bytes passing through this process; the buffer serves
    // where it cannot (other file systems, older kernels).
    bool byKernel = true;  // once the buffer took over it keeps going: stdio buffers
    while (left > 0 && error.empty()) {
        const size_t want = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
        const ssize_t moved =
            !byKernel ? -1
                      : ::copy_file_range(::fileno(in), nullptr, ::fileno(out), nullptr, want, 0);
        if (moved > 0) {
            left -= static_cast<uintmax_t>(moved);
            continue;
        }
        if (moved == 0) {
            error = "source ended early or could not be read";
            break;
        }
        if (byKernel && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
            errno != EOPNOTSUPP) {
            error = std::strerror(errno);
            break;
        }
        byKernel = false;
        const size_t got = std::fread(buffer.data(), 1, want, in);
        if (got == 0) {
            error = "source ended early or could not be read";
        } else if (std::fwrite(buffer.data(), 1, got, out) != got) {
            error = std::strerror(errno);
        }
        left -= got;
    }
    return error;
}

}  // namespace

Status copyFileInPieces(const std::string& from, const std::string& to, CopyBuffer& buffer,
                        WriteMode mode) {
    const std::string what = "cannot copy " + from + " to " + to;
    std::error_code ec;
    const uintmax_t size = fs::file_size(from, ec);
    if (ec) {
        return Status::ioError(what + ": " + ec.message());
    }
    FilePtr in(std::fopen(from.c_str(), "rb"));
    if (!in) {
        return Status::fromErrno(what);
    }
    // Never through a link: one planted in the destination must not send
    // the copy elsewhere.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC |
                      (mode == WriteMode::keepExisting ? O_EXCL : O_TRUNC);
    const int fd = ::open(to.c_str(), flags, 0644);
    if (fd < 0) {
        return mode == WriteMode::keepExisting && errno == EEXIST
                   ? Status::alreadyExists(to + " exists already")
                   : Status::fromErrno(what);
    }
    FilePtr out(::fdopen(fd, "wb"));
    if (!out) {
        const Status failed = Status::fromErrno(what);
        ::close(fd);
        ::unlink(to.c_str());
        return failed;
    }
    std::string error = copyOpenFile(in.get(), out.get(), size, buffer);
    if (std::fclose(out.release()) != 0 && error.empty()) {
        error = std::strerror(errno);
    }
    if (!error.empty()) {
        // A truncated copy would pass for the media; better none at all.
        fs::remove(to, ec);
        return Status::ioError(what + ": " + error);
    }
    return Status();
}

}  // namespace vessamo
