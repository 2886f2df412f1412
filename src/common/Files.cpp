#include "common/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <utility>

namespace vessamo {

namespace {

bool isUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// A name for the temporary file nobody else is writing.
std::string temporaryNameBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string_view name = lastComponent(path);
    const std::string folder = path.substr(0, path.size() - name.size());
    // A short prefix keeps the name within NAME_MAX however long the target's is.
    return folder + ".vessamo-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + ".tmp";
}

}  // namespace

StatusOr<std::string> readWholeFile(const std::string& path, uint64_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return Status::fromErrno("cannot open " + path);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return Status::fromErrno("cannot examine " + path);
    }
    if (!S_ISREG(info.st_mode)) {
        return Status::invalid(path + " is not a regular file");
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        return Status::invalid(path + " is larger than " + std::to_string(limit) + " bytes");
    }
    std::string bytes(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Status::fromErrno("cannot read " + path);
        }
        if (got == 0) {
            bytes.resize(done);  // shrank while being read
            break;
        }
        done += static_cast<size_t>(got);
    }
    return bytes;
}

AtomicFileWriter::AtomicFileWriter(std::string path, WriteMode mode, Flush flush)
    : path_(std::move(path)), mode_(mode), flush_(flush), temporary_(temporaryNameBeside(path_)) {
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        status_ = Status::fromErrno("cannot create a file in the folder of " + path_);
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    abandon();
}

void AtomicFileWriter::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(temporary_.c_str());
    }
}

void AtomicFileWriter::append(std::string_view bytes) {
    while (status_.ok() && !bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            status_ = Status::fromErrno("cannot write " + path_);
            return;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

Status AtomicFileWriter::commit() {
    if (!status_.ok()) {
        abandon();
        return status_;
    }
    if (flush_ == Flush::toDisk && ::fsync(fd_) != 0) {
        status_ = Status::fromErrno("cannot flush " + path_);
    }
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && status_.ok()) {
        status_ = Status::fromErrno("cannot write " + path_);
    }
    if (status_.ok()) {
        if (mode_ == WriteMode::replace) {
            if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
                status_ = Status::fromErrno("cannot put " + path_ + " in place");
            }
        } else if (::link(temporary_.c_str(), path_.c_str()) != 0) {
            // link() refuses to replace anything, which is the point.
            status_ = errno == EEXIST ? Status::alreadyExists(path_ + " exists already")
                                      : Status::fromErrno("cannot put " + path_ + " in place");
        }
    }
    if (!status_.ok() || mode_ == WriteMode::keepExisting) {
        ::unlink(temporary_.c_str());
    }
    return status_;
}

Status writeFileAtomically(const std::string& path, std::string_view bytes, WriteMode mode,
                           Flush flush) {
    AtomicFileWriter writer(path, mode, flush);
    writer.append(bytes);
    return writer.commit();
}

Status makeFolders(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        return Status::ioError("cannot create the folder " + path + ": " + error.message());
    }
    if (!std::filesystem::is_directory(path, error)) {
        return Status::ioError(path + " is not a folder");
    }
    return Status();
}

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

std::string_view lastComponent(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace vessamo
