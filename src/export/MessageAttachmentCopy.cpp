#include "export/MessageAttachmentCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "export/MediaExports.h"
#include "export/SafeFileName.h"

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

MessageAttachmentCopy::MessageAttachmentCopy(const ExportSource& source, std::string recoverPath,
                                             ExportReport& report)
    : source_(source), mediaFolder_(std::move(recoverPath) + "/Media Files"), report_(report) {}

std::optional<std::string> MessageAttachmentCopy::sourceFileOf(
    const KTWhatsAppNode& message) const {
    const std::string folder = source_.bNewAppVersion ? "Message/" : "Library/";
    if (message.bTimelineNode || message.biCloudNode) {
        if (message.messageAttchpath.empty() || hasParentStep(message.messageAttchpath)) {
            return std::nullopt;
        }
        if (message.bTimelineNode) {
            return source_.fullTimelinPath + "/" + folder + message.messageAttchpath;
        }
        return source_.tempfilePath + message.messageAttchpath;
    }
    if (!source_.getFileKeyBytheFilepath) {
        return std::nullopt;
    }
    const std::array<const std::string*, 3> candidates = {
        &message.messageAttchpath, &message.messageThumPath, &message.messagePPThumpath};
    for (const std::string* stored : candidates) {
        if (stored->empty()) {
            continue;
        }
        if (auto file = source_.getFileKeyBytheFilepath(folder + *stored)) {
            return file;
        }
    }
    return std::nullopt;
}

std::string MessageAttachmentCopy::destinationOf(const KTWhatsAppNode& message,
                                                 const std::string& sourceFile) const {
    // A backup file is named by its key, so the copy takes the key and the
    // media's own extension. Either part may come from a crafted database,
    // hence each is made safe.
    std::string name = safeFileName(fs::path(sourceFile).filename().string());
    if (!message.biCloudNode) {
        const std::string extension = fs::path(message.messageAttchpath).extension().string();
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
    std::error_code ec;
    fs::create_directories(mediaFolder_, ec);
    if (ec) {
        report_.failures.push_back("cannot create " + mediaFolder_ + ": " + ec.message());
        return std::nullopt;
    }
    const std::string destination = destinationOf(message, *sourceFile);
    if (!copyFile(*sourceFile, destination)) {
        return std::nullopt;
    }
    ++report_.filesWritten;
    applyMessageTime(message, destination);
    return destination;
}

bool MessageAttachmentCopy::copyFile(const std::string& from, const std::string& to) {
    const std::string error = copyFileInPieces(from, to, buffer_);
    if (!error.empty()) {
        report_.failures.push_back("cannot copy " + from + " to " + to + ": " + error);
        return false;
    }
    return true;
}

std::string copyFileInPieces(const std::string& from, const std::string& to, CopyBuffer& buffer) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(from, ec);
    if (ec) {
        return ec.message();
    }
    FilePtr in(std::fopen(from.c_str(), "rb"));
    if (!in) {
        return std::strerror(errno);
    }
    // Never through a link: one planted in the destination must not send
    // the copy elsewhere.
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    FilePtr out(fd < 0 ? nullptr : ::fdopen(fd, "wb"));
    if (!out) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return reason;
    }
    uintmax_t left = size;
    std::string error;
    // The kernel copies between the files where it can, a piece at a time,
    // without the bytes passing through this process; the buffer serves
    // where it cannot (other file systems, older kernels).
    bool byKernel = true;  // once the buffer took over it keeps going: stdio buffers
    while (left > 0 && error.empty()) {
        const size_t want = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
        const ssize_t moved = !byKernel ? -1
                                        : ::copy_file_range(::fileno(in.get()), nullptr,
                                                            ::fileno(out.get()), nullptr, want, 0);
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
        const size_t got = std::fread(buffer.data(), 1, want, in.get());
        if (got == 0) {
            error = "source ended early or could not be read";
        } else if (std::fwrite(buffer.data(), 1, got, out.get()) != got) {
            error = std::strerror(errno);
        }
        left -= got;
    }
    if (std::fclose(out.release()) != 0 && error.empty()) {
        error = std::strerror(errno);
    }
    if (!error.empty()) {
        // A truncated copy would pass for the media; better none at all.
        fs::remove(to, ec);
    }
    return error;
}

void MessageAttachmentCopy::applyMessageTime(const KTWhatsAppNode& message,
                                             const std::string& copy) {
    applyMediaTime(source_, message.messageAttchpath, copy, report_);
}

// Message times read "MM-DD-YYYY hh:mm" in local time. The older
// colon-separated reading carries the same numbers, so one parse covers both.
// Dates the calendar does not have (02-31) are refused rather than rolled.
std::optional<std::time_t> parseMessageTime(const std::string& text) {
    int month = 0, day = 0, year = 0, hour = 0, minute = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%2d-%2d-%4d %2d:%2d%c", &month, &day, &year, &hour, &minute,
                    &tail) != 5) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    std::tm normalised = fields;
    const std::time_t when = std::mktime(&normalised);
    if (when == static_cast<std::time_t>(-1) || normalised.tm_mday != day ||
        normalised.tm_mon != month - 1 || normalised.tm_year != year - 1900 || hour > 23 ||
        minute > 59) {
        return std::nullopt;
    }
    return when;
}

}  // namespace vessamo
