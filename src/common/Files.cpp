#include "common/Files.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace vessamo {

namespace {

bool isUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// A name for the temporary file nobody else is writing. A short prefix
// keeps the name within NAME_MAX however long the target's is.
std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".vessamo-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) +
           ".tmp";
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

StatusOr<std::string> readOpenFile(int fd, const std::string& path, uint64_t limit) {
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

// Writes all of bytes to fd; false with errno set when it cannot.
bool writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Moves size bytes from one open file to another; "" on success, else why.
// The kernel copies between the files where it can, a piece at a time,
// without the bytes passing through this process: within one file system
// directly, across two through its page cache; the buffer serves where it
// can do neither.
std::string copyBetween(int in, int out, uint64_t size, std::span<char> buffer) {
    enum class Way { kernelCopy, kernelSend, userSpace };
    Way way = Way::kernelCopy;  // each way, once given up, stays given up
    uint64_t left = size;
    while (left > 0) {
        const size_t want = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
        ssize_t moved = -1;
        if (way == Way::kernelCopy) {
            moved = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
        } else if (way == Way::kernelSend) {
            moved = ::sendfile(out, in, nullptr, want);
        } else {
            do {
                moved = ::read(in, buffer.data(), want);
            } while (moved < 0 && errno == EINTR);
            if (moved > 0 && !writeAll(out, buffer.data(), static_cast<size_t>(moved))) {
                return std::strerror(errno);
            }
        }
        if (moved > 0) {
            left -= static_cast<uint64_t>(moved);
            continue;
        }
        if (moved == 0 || way == Way::userSpace) {
            return "source ended early or could not be read";
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            return std::strerror(errno);
        }
        way = way == Way::kernelCopy ? Way::kernelSend : Way::userSpace;
    }
    return "";
}

}  // namespace

StatusOr<std::string> readWholeFile(const std::string& path, uint64_t limit) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        return Status::fromErrno("cannot open " + path);
    }
    return readOpenFile(fd.get(), path, limit);
}

StatusOr<std::string> readWholeFile(const PathWithin& file, uint64_t limit) {
    StatusOr<UniqueFd> fd = openSourceFile(file);
    if (!fd.ok()) {
        return fd.status();
    }
    return readOpenFile(fd->get(), file.path, limit);
}

AtomicFileWriter::AtomicFileWriter(std::string path, WriteMode mode, Flush flush,
                                   const std::string& root)
    : path_(std::move(path)),
      name_(lastComponent(path_)),
      mode_(mode),
      flush_(flush),
      temporary_(temporaryName()) {
    const std::string folder = folderOf(path_);
    if (root.empty()) {
        folder_.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder_.valid()) {
            status_ = Status::fromErrno("cannot open the folder of " + path_);
            return;
        }
    } else if (StatusOr<UniqueFd> opened = openFolderWithin({root, folder}, false); opened.ok()) {
        folder_ = std::move(*opened);
    } else {
        status_ = opened.status();
        return;
    }
    if (name_.empty() || name_ == "." || name_ == "..") {
        status_ = Status::invalid(path_ + " names no file");
        return;
    }
    file_.reset(::openat(folder_.get(), temporary_.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file_.valid()) {
        status_ = Status::fromErrno("cannot create a file in the folder of " + path_);
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    abandon();
}

void AtomicFileWriter::abandon() {
    if (file_.valid()) {
        file_.reset();
        ::unlinkat(folder_.get(), temporary_.c_str(), 0);
    }
}

void AtomicFileWriter::append(std::string_view bytes) {
    if (status_.ok() && !writeAll(file_.get(), bytes.data(), bytes.size())) {
        status_ = Status::fromErrno("cannot write " + path_);
    }
}

void AtomicFileWriter::appendFrom(int source, uint64_t size, std::span<char> buffer) {
    if (!status_.ok()) {
        return;
    }
    if (std::string error = copyBetween(source, file_.get(), size, buffer); !error.empty()) {
        status_ = Status::ioError("cannot write " + path_ + ": " + error);
    }
}

Status AtomicFileWriter::commit() {
    if (!status_.ok()) {
        abandon();
        return status_;
    }
    if (flush_ == Flush::toDisk && ::fsync(file_.get()) != 0) {
        status_ = Status::fromErrno("cannot flush " + path_);
    }
    if (::close(file_.release()) != 0 && status_.ok()) {
        status_ = Status::fromErrno("cannot write " + path_);
    }
    const int folder = folder_.get();
    if (status_.ok()) {
        if (mode_ == WriteMode::replace) {
            if (::renameat(folder, temporary_.c_str(), folder, name_.c_str()) != 0) {
                status_ = Status::fromErrno("cannot put " + path_ + " in place");
            }
        } else if (::linkat(folder, temporary_.c_str(), folder, name_.c_str(), 0) != 0) {
            // link() refuses to replace anything, which is the point.
            status_ = errno == EEXIST ? Status::alreadyExists(path_ + " exists already")
                                      : Status::fromErrno("cannot put " + path_ + " in place");
        }
    }
    if (!status_.ok() || mode_ == WriteMode::keepExisting) {
        ::unlinkat(folder, temporary_.c_str(), 0);
    }
    return status_;
}

Status writeFileAtomically(const std::string& path, std::string_view bytes, WriteMode mode,
                           Flush flush, const std::string& root) {
    AtomicFileWriter writer(path, mode, flush, root);
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

Status makeFoldersWithin(const PathWithin& folder) {
    return openFolderWithin(folder, true).status();
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
