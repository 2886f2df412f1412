#include "export/SafeFileName.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vessamo {

namespace {

bool isUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Owns a descriptor so every early return closes it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] int get() const { return fd_; }
    // Close explicitly: a failing close can mean the data never reached disk.
    [[nodiscard]] bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

std::string failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::string safeFileName(std::string_view name) {
    if (name.empty() || name == ".") {
        return "_";
    }
    if (name == "..") {
        return "__";
    }
    std::string safe(name.substr(0, kSafeFileNameMaxBytes + 1));
    for (char& byte : safe) {
        if (byte == '/' || byte == '\0') {
            byte = '_';
        }
    }
    if (safe.size() > kSafeFileNameMaxBytes) {
        size_t cut = kSafeFileNameMaxBytes;
        while (cut > 0 && isUtf8Continuation(safe[cut])) {
            --cut;
        }
        safe.resize(cut == 0 ? kSafeFileNameMaxBytes : cut);
    }
    return safe;
}

FileWrite writeFileSafely(const std::string& path, std::string_view bytes, WriteMode mode) {
    FileWrite result;
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    flags |= mode == WriteMode::replace ? O_TRUNC : O_EXCL;
    FileDescriptor file(::open(path.c_str(), flags, 0644));
    if (file.get() < 0) {
        if (mode == WriteMode::keepExisting && errno == EEXIST) {
            result.alreadyThere = true;
            return result;
        }
        result.error = failure("cannot open for writing");
        return result;
    }
    const bool wrote = writeAll(file.get(), bytes);
    const int writeErrno = errno;
    if (!file.close() || !wrote) {
        if (!wrote) {
            errno = writeErrno;
        }
        result.error = failure("cannot write");
        ::unlink(path.c_str());
        return result;
    }
    result.written = true;
    return result;
}

}  // namespace vessamo
